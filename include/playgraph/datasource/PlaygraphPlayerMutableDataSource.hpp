#pragma once

#include <memory>
#include <optional>

#include "playgraph/Config.hpp"
#include "playgraph/datasource/PlaygraphPlayerDataSourceCore.hpp"

namespace playgraph::inline v1 {

/// The data source for one playgraph.
///
/// Owns its playgraph, its tracking info and its next-segment overrides;
/// holds its change observer weakly. Lookups and the graph walks use the
/// playgraph; `nextSegmentAfterSegment` and the playback-path walk follow
/// the overrides. It never edits the playgraph; the only change it makes to
/// model objects is the weight override of transitions
/// (`updateNextSegmentWeightsForSegment`). With no playgraph, lookups answer
/// none and `initialPosition` an empty segment at 0. Nothing here throws.
///
/// Threads: not synchronised (see `QZPlaygraphPlayerDataSource`): a call that
/// changes the data source must not overlap any other call on it or its
/// playgraph.
class PLAYGRAPH_API PlaygraphPlayerMutableDataSource : public PlaygraphPlayerDataSourceCore {
public:
    /// No playgraph, no tracking info, no overrides, no observer.
    static std::shared_ptr<PlaygraphPlayerMutableDataSource> create();
    /// Holds `playgraph` and a copy of `trackingInfo`. `startPosition` is
    /// not kept: playback always starts at the playgraph's initial position.
    static std::shared_ptr<PlaygraphPlayerMutableDataSource>
    create(std::shared_ptr<QZPlaygraph> playgraph, const std::optional<Dictionary>& trackingInfo,
           const PlaygraphPosition& startPosition);
    /// As above, with the playgraph's initial position.
    static std::shared_ptr<PlaygraphPlayerMutableDataSource>
    create(std::shared_ptr<QZPlaygraph> playgraph, const std::optional<Dictionary>& trackingInfo);

    // QZPlaygraphPlayerDataSource
    /// The playgraph's initial position.
    PlaygraphPosition initialPosition() const override;
    /// Always none: a single playgraph has no successor.
    std::shared_ptr<QZPlaygraph>
    nextPlaygraphAfterPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) const override;
    /// The values of `segment`'s own `next` map, in map order. The segment
    /// is used as given (not looked up); overrides play no part.
    std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>>
    transitionsFromSourceSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const override;
    /// `source`'s id looked up in the playgraph, then that segment's
    /// transition to `toDestinationSegment`'s id; none when either misses.
    std::shared_ptr<QZPlaygraphSegmentTransition> transitionFromSourceSegment(
        const std::shared_ptr<QZPlaygraphSegment>& source,
        const std::shared_ptr<QZPlaygraphSegment>& toDestinationSegment) const override;
    std::shared_ptr<QZPlaygraphSegment> segmentById(std::string_view segmentId) const override;
    /// The tracking info, whatever the segment.
    std::optional<Dictionary>
    trackingInfoForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const override;
    /// The tracking info, whatever the playgraph.
    std::optional<Dictionary>
    trackingInfoForPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) const override;
    /// The playgraph's depth-first walk from `segment`'s id (from the
    /// initial segment when `segment` is empty); follows transitions and
    /// default nexts, not the overrides. Nothing without a playgraph.
    void depthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                        const TraversalCallback& callback) const override;
    /// The playgraph's breadth-first walk, as `depthFirstTraversalFromSegment`.
    void bredthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                         uint64_t maxDepth,
                                         const TraversalCallback& callback) const override;

    // QZPlaygraphPlayerMutableDataSource
    /// Compares the override stored for `source` with `next`: when it is
    /// that very object, or when `next` is empty and nothing is stored,
    /// nothing happens. Otherwise stores `next` (the null marker when
    /// empty) and tells the observer. So a second empty `next` after a
    /// segment override stores the null marker again and tells again.
    void setNextSegmentAfter(const std::shared_ptr<QZPlaygraphSegment>& source,
                             const std::shared_ptr<QZPlaygraphSegment>& next) override;
    /// Replaces the playgraph and the tracking info (stored as given, not
    /// copied) and tells the observer, unless `playgraph` is the very
    /// playgraph object already held (or both are empty): then nothing
    /// changes. Playgraphs are compared by identity, so another playgraph
    /// object whose id has the same text is a replacement. Overrides are
    /// kept; `startPosition` is not used.
    void updatePlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph,
                         const std::optional<Dictionary>& trackingInfo,
                         const PlaygraphPosition& startPosition) override;

    /// The playgraph's segment under its `initialSegmentId`, or none.
    std::shared_ptr<QZPlaygraphSegment> initialSegment() const;
    /// Always 0.0 seconds.
    double initialStartTime() const { return 0.0; }

    /// A slot for the caller; the data source never reads or sets it.
    const std::shared_ptr<QZPlaygraph>& initialPlaygraph() const { return initialPlaygraph_; }
    void setInitialPlaygraph(std::shared_ptr<QZPlaygraph> playgraph) {
        initialPlaygraph_ = std::move(playgraph);
    }
    const std::shared_ptr<QZPlaygraph>& playgraph() const { return playgraph_; }
    /// Replaces the playgraph without telling the observer.
    void setPlaygraph(std::shared_ptr<QZPlaygraph> playgraph) { playgraph_ = std::move(playgraph); }
    const std::optional<Dictionary>& trackingInfo() const { return trackingInfo_; }
    void setTrackingInfo(std::optional<Dictionary> info) { trackingInfo_ = std::move(info); }

protected:
    PlaygraphPlayerMutableDataSource() = default;

private:
    std::shared_ptr<QZPlaygraph> initialPlaygraph_;
    std::shared_ptr<QZPlaygraph> playgraph_;
    std::optional<Dictionary> trackingInfo_;
};

} // namespace playgraph::inline v1
