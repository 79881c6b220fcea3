#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/PlaygraphPosition.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"
#include "playgraph/QZPlaygraphSegmentTransition.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

/// What a player reads segments from: where playback starts, which segment
/// follows a segment, the transitions that leave a segment, tracking info
/// for reporting, and three walks over segments.
///
/// Implemented by `PlaygraphPlayerMutableDataSource` (one playgraph) and
/// `PlaygraphPlayerCompositeDataSource` (several). Data sources are held by
/// `std::shared_ptr` and own their playgraphs. Nothing here throws: a miss
/// is an empty pointer, an empty optional or an empty list, and an empty
/// segment or playgraph argument is answered with none (or, for the walks,
/// as each class documents). Callbacks run synchronously on the caller's
/// thread and may call back into the data source.
///
/// Threads: no locking of its own. Calls that only read may overlap each
/// other; every call that changes the data source (overrides, weights, its
/// playgraphs, the observer) must not overlap any other call on it or on its
/// playgraphs (the caller serialises).
class PLAYGRAPH_API QZPlaygraphPlayerDataSource {
public:
    virtual ~QZPlaygraphPlayerDataSource() = default;

    /// Where playback starts.
    virtual PlaygraphPosition initialPosition() const = 0;
    /// The segment played after `segment`: its next-segment override when
    /// one is stored, else its default next; none when nothing follows.
    virtual std::shared_ptr<QZPlaygraphSegment>
    nextSegmentAfterSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const = 0;
    /// The playgraph that playback enters after `playgraph`, or none.
    virtual std::shared_ptr<QZPlaygraph>
    nextPlaygraphAfterPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) const = 0;
    /// The transitions leaving `segment` (a new list; empty when none).
    virtual std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>>
    transitionsFromSourceSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const = 0;
    /// The transition from `source` to `toDestinationSegment`, or none.
    virtual std::shared_ptr<QZPlaygraphSegmentTransition> transitionFromSourceSegment(
        const std::shared_ptr<QZPlaygraphSegment>& source,
        const std::shared_ptr<QZPlaygraphSegment>& toDestinationSegment) const = 0;
    /// The segment with id `segmentId`, or none.
    virtual std::shared_ptr<QZPlaygraphSegment> segmentById(std::string_view segmentId) const = 0;
    /// Tracking info to report for `segment`, or none.
    virtual std::optional<Dictionary>
    trackingInfoForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const = 0;
    /// Tracking info to report for `playgraph`, or none.
    virtual std::optional<Dictionary>
    trackingInfoForPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) const = 0;
    /// Walks the current playback path (overrides followed) from `segment`,
    /// with step indexes 0, 1, 2, ...; remembers nothing, so on a looping
    /// path it goes on until the callback sets the stop flag.
    virtual void
    currentPlaybackPathTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                            const TraversalCallback& callback) const = 0;
    /// Depth-first walk from `segment`, depths from 0, each segment once.
    virtual void depthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                                const TraversalCallback& callback) const = 0;
    /// Breadth-first walk from `segment`, reporting depths 1 to `maxDepth`
    /// (a maximum of 0 or 1 reports the start alone).
    virtual void bredthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                                 uint64_t maxDepth,
                                                 const TraversalCallback& callback) const = 0;

    /// Optional member: replaces the playgraph. Does nothing unless a class
    /// provides it. `startPosition` is accepted for callers that have one.
    virtual void updatePlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph,
                                 const std::optional<Dictionary>& trackingInfo,
                                 const PlaygraphPosition& startPosition) {
        (void)playgraph;
        (void)trackingInfo;
        (void)startPosition;
    }
};

} // namespace playgraph::inline v1
