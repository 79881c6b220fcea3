#pragma once

#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/PlayerAPIWatchablePlaygraph.hpp"
#include "playgraph/QZMutableVideoComposition.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/QZVideoComposition.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

/// Makes compositions and watchables for playback requests. Hosts obtain it
/// through their dependency registry under
/// `VideoCompositionFactoryDependencyKey`.
///
/// Every result is new and owned by the caller alone. A composition of one
/// clip is named `initialName` (or "video"), runs from `startTime` to
/// `endTime` seconds of viewable `viewableId` and carries `params` in its
/// segment's user info when given.
///
/// Threads: the library's factory keeps no state, so any threads may call it
/// at once; each result belongs to the caller, who serialises its use.
class PLAYGRAPH_API QZVideoCompositionFactory {
public:
    virtual ~QZVideoCompositionFactory() = default;

    /// A `VideoComposition` of one clip: no "main"; plays to the end of the
    /// viewable unless `endTime` is greater than 0.
    virtual std::shared_ptr<QZVideoComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        double endTime, const std::shared_ptr<QZPlaygraphParams>& params) = 0;
    /// A `MutableVideoComposition` of one clip, with "main" and "endTimeMs".
    virtual std::shared_ptr<QZMutableVideoComposition> createMutableVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        double endTime, const std::shared_ptr<QZPlaygraphParams>& params) = 0;
    /// A `WatchableComposition` of one clip carrying `uiPlayContext`.
    virtual std::shared_ptr<PlayerAPIWatchablePlaygraph>
    watchableWithVideoId(const Value& videoId, const std::optional<std::string>& name,
                         double startTime, double endTime,
                         const std::optional<Dictionary>& uiPlayContext,
                         const std::shared_ptr<QZPlaygraphParams>& playgraphParams) = 0;
    /// A `WatchableComposition` converted from `playgraph` (its part
    /// reachable from the initial segment), carrying `uiPlayContext`.
    virtual std::shared_ptr<PlayerAPIWatchablePlaygraph>
    watchableWithMainVideoId(const Value& mainVideoId,
                             const std::shared_ptr<QZPlaygraph>& playgraph,
                             const std::optional<Dictionary>& uiPlayContext) = 0;
};

} // namespace playgraph::inline v1
