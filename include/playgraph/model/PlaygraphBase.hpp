#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"

namespace playgraph::inline v1 {

namespace detail {
class ModelAccess;
}

/// All segments of a playgraph, keyed by segment id.
using SegmentMap = OrderedMap<std::shared_ptr<PlaygraphSegment>>;

/// The implementation that `Playgraph` and `MutablePlaygraph` share: the
/// segment builder, the segment map, the default-path walk and duration, and
/// every query and walk of `QZPlaygraph`.
///
/// The two classes differ only where `Flavor` says: the editable flavor does
/// not read segments' "transitionType", lets a play-to-end segment match
/// every later viewable time in `segmentIdsForPosition` and
/// `positionAtSegmentViewableTime`, and uses a viewable-time match in
/// `positionAtViewableTime` only when it is unique.
///
/// Owns its segments; segments and transitions refer back weakly. Made only
/// through the subclasses' `create` factories (two-phase: the object is
/// owned by a `std::shared_ptr` before its segments are built). Nothing here
/// throws except on allocation failure.
class PLAYGRAPH_API PlaygraphBase : public virtual QZPlaygraph {
public:
    enum class Flavor { Immutable, Editable };

    // QZPlaygraph
    const std::optional<std::string>& initialSegmentId() const override;
    [[nodiscard]] std::shared_ptr<QZPlaygraphSegment>
    segmentById(std::string_view segmentId) const override;
    [[nodiscard]] std::optional<std::vector<std::string>>
    segmentIdsForPosition(double position, uint64_t inViewableId) const override;
    [[nodiscard]] std::optional<std::string> segmentIdAtPlaygraphTime(double time) const override;
    double playgraphOffsetForPlayerTime(
        double playerTime, const std::shared_ptr<QZPlaygraphSegment>& inSegment) const override;
    /// Viewable time at playgraph time `offset`, as found by a walk from the
    /// initial segment along `defaultNext` that adds each segment's duration
    /// in turn. On a path that loops back the walk goes round as often as
    /// the offset needs: the answer is the walk's, to the last bit, whenever
    /// the walk visits at most `kExactLinkWalk` segments (or one pass along
    /// the path, if longer). Further out, whole turns are skipped at once
    /// (their mean length times their number), so the answer may differ from
    /// the walk's by the rounding the walk would accumulate. Where the walk
    /// would never end (a turn of the loop that does not advance, an offset
    /// that is not finite) the answer is not-a-number. Cost: a bisection of
    /// the kept path (one walk along it while it is out of date), plus at
    /// most `kExactLinkWalk` additions on flat arrays round a loop.
    double playerTimeForPlaygraphOffset(double offset) const override;
    /// Segments that `playerTimeForPlaygraphOffset` walks one by one.
    static constexpr uint64_t kExactLinkWalk = 1'000'000;
    bool isPlaybackContiguousFromSegment(
        const std::shared_ptr<QZPlaygraphSegment>& segment,
        const std::shared_ptr<QZPlaygraphSegment>& toSegment) const override;
    void defaultPathTraversal(const TraversalCallback& callback) const override;
    void depthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                          const TraversalCallback& callback) const override;
    void bredthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                           uint64_t maxDepth,
                                           const TraversalCallback& callback) const override;
    void calculateDefaultPathDuration() override;
    PlaygraphPosition initialPosition() const override;
    PlaygraphPosition
    positionAtPlaygraphOffsetAlongDefaultPlaybackPath(double offset) const override;
    PlaygraphPosition positionAtStartOfSegment(std::string_view segmentId) const override;
    PlaygraphPosition positionAtSegmentViewableTime(std::string_view segmentId,
                                                    double viewableTime) const override;
    PlaygraphPosition positionAtSegmentSegmentOffset(std::string_view segmentId,
                                                     double segmentOffset) const override;
    PlaygraphPosition positionAtViewableTime(double viewableTime,
                                             const Value& inVideoId) const override;
    const std::optional<std::string>& type() const override;
    const std::optional<std::string>& transitionType() const override { return transitionType_; }
    const std::string& playgraphId() const override { return playgraphId_; }
    const Value& mainViewableId() const override;
    double duration() const override;

    /// The recursive step of the depth-first walk: reports `segment` at
    /// `segmentDepth`, then walks its unvisited children. True when the
    /// callback asked to stop. A child id that names no segment is skipped
    /// (the walk goes on with the next sibling).
    bool depthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                        uint64_t segmentDepth, const TraversalCallback& callback,
                                        std::unordered_set<std::string>& visitedSegments) const;

    /// The segment that `segment`'s default next names in the map as it is
    /// now, or none: what `segmentById(*segment.defaultNext())` gives, read
    /// from the flat index while it describes `segment` (one of this
    /// playgraph's own, in its map), else through the map.
    std::shared_ptr<QZPlaygraphSegment> defaultNextSegment(const QZPlaygraphSegment& segment) const;
    void setType(std::optional<std::string> type) { type_ = std::move(type); }
    void setTransitionType(std::optional<std::string> type) { transitionType_ = std::move(type); }
    /// Takes effect for the queries at once; `duration` and the offsets
    /// change only at the next `calculateDefaultPathDuration`.
    void setInitialSegmentId(std::optional<std::string> id) { initialSegmentId_ = std::move(id); }
    void setMainViewableId(Value id) { mainViewableId_ = std::move(id); }
    const SegmentMap& segmentMap() const;
    /// Replaces the segment map. Segments of another playgraph (or entered
    /// under an id that is not their own) are allowed; the walks and the
    /// default path then follow the segments themselves rather than this
    /// playgraph's index, which they would not keep up to date.
    void setSegmentMap(SegmentMap map);

    Flavor flavor() const { return flavor_; }

    ~PlaygraphBase() override;

protected:
    explicit PlaygraphBase(Flavor flavor);

    std::string playgraphId_;
    double duration_ = 0.0;
    std::optional<std::string> type_;
    std::optional<std::string> transitionType_;
    std::optional<std::string> initialSegmentId_;
    Value mainViewableId_;
    SegmentMap segmentMap_;

private:
    friend class detail::ModelAccess;
    friend class PlaygraphSegment;
    /// The model's upkeep: the flat index of the segment map, the kept
    /// default path, what building needs. Defined in the library's sources;
    /// one per playgraph.
    struct State;
    std::unique_ptr<State> state_;
    const Flavor flavor_;
};

} // namespace playgraph::inline v1
