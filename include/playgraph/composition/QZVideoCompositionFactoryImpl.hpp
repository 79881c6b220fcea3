#pragma once

#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZVideoCompositionFactory.hpp"

namespace playgraph::inline v1 {

/// The library's composition factory. Stateless: every instance behaves the
/// same, and each operation hands its arguments unchanged to a class
/// factory (`VideoComposition`, `MutableVideoComposition` or
/// `WatchableComposition`), keeping no reference to the result. Never
/// throws except on allocation failure.
///
/// Threads: stateless, so any threads may call one instance at once.
class PLAYGRAPH_API QZVideoCompositionFactoryImpl : public QZVideoCompositionFactory {
public:
    static std::shared_ptr<QZVideoCompositionFactoryImpl> create();

    /// Makes a `VideoComposition`.
    std::shared_ptr<QZVideoComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        double endTime, const std::shared_ptr<QZPlaygraphParams>& params) override;
    /// Makes a `MutableVideoComposition`.
    std::shared_ptr<QZMutableVideoComposition> createMutableVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        double endTime, const std::shared_ptr<QZPlaygraphParams>& params) override;
    /// `WatchableComposition::watchableWithVideoId`.
    std::shared_ptr<PlayerAPIWatchablePlaygraph>
    watchableWithVideoId(const Value& videoId, const std::optional<std::string>& name,
                         double startTime, double endTime,
                         const std::optional<Dictionary>& uiPlayContext,
                         const std::shared_ptr<QZPlaygraphParams>& playgraphParams) override;
    /// `WatchableComposition::watchableWithMainViewableId`.
    std::shared_ptr<PlayerAPIWatchablePlaygraph>
    watchableWithMainVideoId(const Value& mainVideoId,
                             const std::shared_ptr<QZPlaygraph>& playgraph,
                             const std::optional<Dictionary>& uiPlayContext) override;
};

} // namespace playgraph::inline v1
