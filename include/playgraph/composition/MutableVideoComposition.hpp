#pragma once

#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZMutableVideoComposition.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/composition/VideoComposition.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

/// A video composition edited clip by clip.
///
/// The clip operations map onto the editing operations (split, insert
/// before/after, remove) and throw their `InvalidArgumentError`s;
/// `combineClip1`, `makeRangeSkippable`, `localizeClip`, `defineRange`,
/// `observeRange` and `addTransitionFromSegment` do nothing at all, whatever
/// the arguments. All other editing operations work as on any editable
/// playgraph.
///
/// The factories here make a `MutableVideoComposition`; `WatchableComposition`
/// has the same factories making its own class. They never throw except on
/// allocation failure.
///
/// Threads: as for `MutablePlaygraph`; the factories may run on any threads
/// at once.
class PLAYGRAPH_API MutableVideoComposition : public VideoComposition,
                                              public virtual QZMutableVideoComposition {
public:
    /// A composition of one clip named `initialName` (or "video"):
    /// "viewableId" and "main" = `viewableId` (when it is a number, so
    /// `mainViewableId` becomes it), "startTimeMs" and "endTimeMs" =
    /// seconds x 1000 as unrounded doubles (an end of 0 or less makes a
    /// play-to-end clip; a non-finite product is left out), `params` in the
    /// segment's user info when given.
    static std::shared_ptr<MutableVideoComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        double endTime, const std::shared_ptr<QZPlaygraphParams>& playgraphParams);
    /// The five-argument factory with end 0.
    static std::shared_ptr<MutableVideoComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        const std::shared_ptr<QZPlaygraphParams>& playgraphParams);
    /// A composition converted from `playgraph`: the segments that a
    /// depth-first walk from its initial segment reaches, with "main" =
    /// `mainViewableId` (when not none) on every segment, times and skip
    /// region offsets in whole milliseconds (x 1000, halves rounded away
    /// from zero), transition weights as they read now (overrides
    /// included), copies of annotations and user info, and the playgraph's
    /// "annotations" only when it is an editable playgraph. Its id, its
    /// transition type, unreachable segments, segments' own transition types
    /// and transitions' exit zones are not carried. A time that is not
    /// finite (the end of a play-to-end segment whose movie duration is
    /// unknown) is left out, so such a segment again plays to its viewable's
    /// end. An empty `playgraph` gives an empty composition. The source is
    /// only read; this never throws except on allocation failure.
    static std::shared_ptr<MutableVideoComposition>
    createVideoCompositionForMainViewableId(const Value& mainViewableId,
                                            const std::shared_ptr<QZPlaygraph>& playgraph);

    // QZMutableVideoComposition
    void splitClip(const std::string& clipName, double atOffset, const std::string& firstClipName,
                   const std::string& secondClipName) override;
    void combineClip1(const std::string& clip1, const std::string& withClip2,
                      const std::string& newClipName) override;
    void prependClip(const std::string& newClipName, const Value& viewableId, double startTime,
                     double endTime, const std::shared_ptr<QZPlaygraphParams>& params) override;
    void appendClip(const std::string& newClipName, const Value& viewableId, double startTime,
                    double endTime, const std::shared_ptr<QZPlaygraphParams>& params) override;
    void insertClip(const std::string& newClipName, const Value& viewableId, double startTime,
                    double endTime, const std::string& afterClip,
                    const std::shared_ptr<QZPlaygraphParams>& params) override;
    void removeClip(const std::string& clipName) override;
    void makeRangeSkippable(const std::string& rangeName) override;
    void localizeClip(const std::string& clipName, const std::string& forLocale,
                      const Value& localizedViewableId, double startTime) override;

    /// Does nothing, whatever the arguments: transitions of a clip
    /// composition change only through the clip operations.
    void addTransitionFromSegment(const std::string& from, const std::string& toSegment,
                                  bool asDefault, const Value& properties = Value()) override;

protected:
    MutableVideoComposition() = default;

    /// The dictionary of a composition converted from `playgraph`.
    static Dictionary conversionDictionary(const Value& mainViewableId,
                                           const std::shared_ptr<QZPlaygraph>& playgraph);
};

} // namespace playgraph::inline v1
