#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/PlaygraphPosition.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

/// A playgraph: a directed graph of segments joined by weighted transitions,
/// with one default path from the initial segment along each segment's
/// `defaultNext`.
///
/// Implemented by `Playgraph` (immutable) and `MutablePlaygraph` (editable).
/// Always held by `std::shared_ptr`; the playgraph owns its segments.
/// The read side never throws: a miss is an empty pointer or optional,
/// not-a-number, an empty list or the initial position, as documented per
/// member. Times are seconds; "viewable time" is a time within a segment's
/// viewable, "playgraph time" a time along the default path.
///
/// Threads: any number of threads may call the read members at once while
/// nothing changes the playgraph. An edit, a segment's `setMovieDuration` and
/// a transition's `setWeightOverride` change it: the caller must keep each of
/// them from overlapping any other call on the playgraph, its segments or its
/// transitions.
class PLAYGRAPH_API QZPlaygraph : public std::enable_shared_from_this<QZPlaygraph> {
public:
    virtual ~QZPlaygraph() = default;

    virtual const std::optional<std::string>& initialSegmentId() const = 0;
    /// The segment under `segmentId`, or empty.
    [[nodiscard]] virtual std::shared_ptr<QZPlaygraphSegment>
    segmentById(std::string_view segmentId) const = 0;
    /// Ids of the segments of viewable `inViewableId` covering viewable time
    /// `position`, in map order; none when there are none.
    [[nodiscard]] virtual std::optional<std::vector<std::string>>
    segmentIdsForPosition(double position, uint64_t inViewableId) const = 0;
    /// The segment at playgraph time `time` along the default path, or none.
    [[nodiscard]] virtual std::optional<std::string>
    segmentIdAtPlaygraphTime(double time) const = 0;
    /// Playgraph time of viewable time `playerTime` in `inSegment`, or
    /// not-a-number when the segment is not on the default path.
    virtual double
    playgraphOffsetForPlayerTime(double playerTime,
                                 const std::shared_ptr<QZPlaygraphSegment>& inSegment) const = 0;
    /// Viewable time at playgraph time `offset`, or not-a-number.
    virtual double playerTimeForPlaygraphOffset(double offset) const = 0;
    /// `toSegment` continues `segment` seamlessly; false without `toSegment`.
    virtual bool
    isPlaybackContiguousFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                    const std::shared_ptr<QZPlaygraphSegment>& toSegment) const = 0;
    /// Calls `callback` for each segment of the default path with indexes
    /// 0, 1, 2, ... up to (not including) the first repeated segment.
    virtual void defaultPathTraversal(const TraversalCallback& callback) const = 0;
    /// Depth-first walk over `defaultNext` and transitions from the segment
    /// (or the initial segment), reporting depths from 0, each segment once.
    virtual void depthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                                  const TraversalCallback& callback) const = 0;
    /// Breadth-first walk reporting depths 1 to `maxDepth` (at least 1); an
    /// id naming no segment is reported with an empty segment.
    virtual void bredthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                                   uint64_t maxDepth,
                                                   const TraversalCallback& callback) const = 0;
    /// Recomputes `duration` and the default-path segments' offsets.
    virtual void calculateDefaultPathDuration() = 0;
    /// The initial segment and its start time; empty and 0 without one.
    virtual PlaygraphPosition initialPosition() const = 0;
    virtual PlaygraphPosition
    positionAtPlaygraphOffsetAlongDefaultPlaybackPath(double offset) const = 0;
    /// The segment and its start; empty and 0 for an unknown id.
    virtual PlaygraphPosition positionAtStartOfSegment(std::string_view segmentId) const = 0;
    virtual PlaygraphPosition positionAtSegmentViewableTime(std::string_view segmentId,
                                                            double viewableTime) const = 0;
    virtual PlaygraphPosition positionAtSegmentSegmentOffset(std::string_view segmentId,
                                                             double segmentOffset) const = 0;
    virtual PlaygraphPosition positionAtViewableTime(double viewableTime,
                                                     const Value& inVideoId) const = 0;

    virtual const std::optional<std::string>& type() const = 0;
    virtual const std::optional<std::string>& transitionType() const = 0;
    virtual const std::string& playgraphId() const = 0;
    /// The main viewable id taken from the segments' "main" values, or none.
    virtual const Value& mainViewableId() const = 0;
    /// Length of the default path, seconds.
    virtual double duration() const = 0;

    /// Every segment id (optional member: none when not provided).
    [[nodiscard]] virtual std::optional<std::vector<std::string>> allSegmentIds() const {
        return std::nullopt;
    }
    /// The shortest segment an editor should make (optional member).
    virtual std::optional<double> minimumSegmentLengthMs() const { return std::nullopt; }
};

} // namespace playgraph::inline v1
