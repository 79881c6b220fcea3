#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"

namespace playgraph {

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
class PlaygraphBase : public virtual QZPlaygraph {
public:
    enum class Flavor { Immutable, Editable };

    // QZPlaygraph
    const std::optional<std::string>& initialSegmentId() const override {
        return initialSegmentId_;
    }
    std::shared_ptr<QZPlaygraphSegment> segmentById(std::string_view segmentId) const override;
    std::optional<std::vector<std::string>>
    segmentIdsForPosition(double position, uint64_t inViewableId) const override;
    std::optional<std::string> segmentIdAtPlaygraphTime(double time) const override;
    double playgraphOffsetForPlayerTime(
        double playerTime, const std::shared_ptr<QZPlaygraphSegment>& inSegment) const override;
    double playerTimeForPlaygraphOffset(double offset) const override;
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
    const std::optional<std::string>& type() const override { return type_; }
    const std::optional<std::string>& transitionType() const override { return transitionType_; }
    const std::string& playgraphId() const override { return playgraphId_; }
    const Value& mainViewableId() const override { return mainViewableId_; }
    double duration() const override { return duration_; }

    /// The recursive step of the depth-first walk: reports `segment` at
    /// `segmentDepth`, then walks its unvisited children. True when the
    /// callback asked to stop. A child id that names no segment is skipped
    /// (the walk goes on with the next sibling).
    bool depthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                        uint64_t segmentDepth, const TraversalCallback& callback,
                                        std::unordered_set<std::string>& visitedSegments) const;

    /// Builds one segment from its dictionary (not entered into the map).
    /// Wrongly typed entries read as absent.
    std::shared_ptr<PlaygraphSegment> buildSegment(const std::string& segmentId,
                                                   const Value& details,
                                                   const Value& defaultViewableId);
    /// Builds the transitions of a "next" dictionary from `sourceSegment`.
    /// Entries that are not dictionaries are skipped.
    TransitionMap buildTransitions(const Value& next,
                                   const std::shared_ptr<PlaygraphSegment>& sourceSegment);
    /// Checks nothing and changes nothing; kept for callers that expect it.
    void validatePlaygraph() const {}

    void setType(std::optional<std::string> type) { type_ = std::move(type); }
    void setTransitionType(std::optional<std::string> type) { transitionType_ = std::move(type); }
    /// Takes effect for the queries at once; `duration` and the offsets
    /// change only at the next `calculateDefaultPathDuration`.
    void setInitialSegmentId(std::optional<std::string> id) { initialSegmentId_ = std::move(id); }
    void setMainViewableId(Value id) { mainViewableId_ = std::move(id); }
    const SegmentMap& segmentMap() const { return segmentMap_; }
    void setSegmentMap(SegmentMap map) { segmentMap_ = std::move(map); }

    Flavor flavor() const { return flavor_; }

protected:
    explicit PlaygraphBase(Flavor flavor) : flavor_(flavor) {}

    /// Replaces the segment map with segments built from `segments` (a
    /// dictionary of segment dictionaries; anything else gives none).
    void buildSegmentMap(const Value& segments, const Value& defaultViewableId);
    /// The provider asked about "main" while building; the immutable
    /// playgraph asks the host's current provider each time.
    virtual std::shared_ptr<const PlatformConfigProvider> configProviderForBuilding() const {
        return PlatformConfigProvider::shared();
    }
    /// The segment under `id`, without sharing ownership; nullptr when absent.
    PlaygraphSegment* findSegment(std::string_view id) const;

    std::string playgraphId_;
    double duration_ = 0.0;
    std::optional<std::string> type_;
    std::optional<std::string> transitionType_;
    std::optional<std::string> initialSegmentId_;
    Value mainViewableId_;
    SegmentMap segmentMap_;

private:
    const Flavor flavor_;
};

} // namespace playgraph
