#pragma once

#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/OrderedMap.hpp"
#include "playgraph/QZPlaygraphPlayerCompositeDataSource.hpp"
#include "playgraph/datasource/InterPlaygraphSegmentTransition.hpp"
#include "playgraph/datasource/PlaygraphPlayerDataSourceCore.hpp"

namespace playgraph::inline v1 {

/// Registered playgraphs keyed by `playgraphId`, in registration order.
using PlaygraphMap = OrderedMap<std::shared_ptr<QZPlaygraph>>;
/// Inter-playgraph transitions from one source segment, keyed by the plain
/// destination segment id.
using InterPlaygraphTransitionMap = OrderedMap<std::shared_ptr<InterPlaygraphSegmentTransition>>;
/// Inter-playgraph transitions keyed by the source's `canonicalSegmentId`.
using InterPlaygraphTransitionsBySource = OrderedMap<InterPlaygraphTransitionMap>;
/// Tracking info keyed by `playgraphId`.
using TrackingInfoMap = OrderedMap<Dictionary>;

/// A data source that plays through several playgraphs as one.
///
/// Owns its registered playgraphs, their tracking info, its next-segment
/// overrides and its inter-playgraph transitions; holds its change observer
/// and its bookmark's segment weakly. Playback leaves a playgraph only
/// through an override or an inter-playgraph transition; a segment's own
/// default next never does. Overrides and transition sources are keyed by
/// canonical segment ids; segment lookup, transition matching and the walks
/// use plain segment ids, which two playgraphs may share (the first
/// registered playgraph that knows an id answers). Nothing here throws; an
/// empty segment or playgraph argument answers none or does nothing.
///
/// Threads: not synchronised (see `QZPlaygraphPlayerDataSource`): a call that
/// changes the data source must not overlap any other call on it or its
/// playgraphs.
class PLAYGRAPH_API PlaygraphPlayerCompositeDataSource
    : public PlaygraphPlayerDataSourceCore,
      public virtual QZPlaygraphPlayerCompositeDataSource {
public:
    /// No playgraphs, a bookmark with no segment at 0, no observer.
    static std::shared_ptr<PlaygraphPlayerCompositeDataSource> create();
    /// Registers `playgraph` (which becomes the initial playgraph) with
    /// `trackingInfo` and bookmarks `startPosition`; with no playgraph, the
    /// same as `create()`.
    static std::shared_ptr<PlaygraphPlayerCompositeDataSource>
    create(const std::shared_ptr<QZPlaygraph>& playgraph,
           const std::optional<Dictionary>& trackingInfo, const PlaygraphPosition& startPosition);
    /// As above, starting at the playgraph's initial position.
    static std::shared_ptr<PlaygraphPlayerCompositeDataSource>
    create(const std::shared_ptr<QZPlaygraph>& playgraph,
           const std::optional<Dictionary>& trackingInfo);

    // QZPlaygraphPlayerDataSource
    /// The bookmark.
    PlaygraphPosition initialPosition() const override { return bookmarkPosition(); }
    /// The playgraph of the first segment on the current playback path from
    /// `playgraph`'s initial segment that belongs to a playgraph of another
    /// id; none when that path ends, or comes back to a segment it passed,
    /// without leaving `playgraph`.
    std::shared_ptr<QZPlaygraph>
    nextPlaygraphAfterPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) const override;
    /// `segment`'s own transitions, then its inter-playgraph transitions.
    std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>>
    transitionsFromSourceSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const override;
    /// The first of `transitionsFromSourceSegment(source)` whose destination
    /// id equals `toDestinationSegment`'s segment id, or none.
    std::shared_ptr<QZPlaygraphSegmentTransition> transitionFromSourceSegment(
        const std::shared_ptr<QZPlaygraphSegment>& source,
        const std::shared_ptr<QZPlaygraphSegment>& toDestinationSegment) const override;
    /// The segment from the first registered playgraph (in registration
    /// order) that knows `segmentId`, or none.
    std::shared_ptr<QZPlaygraphSegment> segmentById(std::string_view segmentId) const override;
    /// The tracking info of `segment`'s playgraph, or none.
    std::optional<Dictionary>
    trackingInfoForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const override;
    /// The tracking info stored under `playgraph`'s id, or none.
    std::optional<Dictionary>
    trackingInfoForPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) const override;
    /// Depth-first over the merged transitions, across playgraphs, from
    /// depth 0. A transition whose destination segment cannot be resolved
    /// (its playgraph gone, or no such id there) is skipped and the walk
    /// goes on with the next one. Nothing is reported for an empty start.
    void depthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                        const TraversalCallback& callback) const override;
    /// Breadth-first over the merged transitions, reporting depths 1 to
    /// `maxDepth`. Every id is resolved with `segmentById`, so an id no
    /// registered playgraph knows is reported with an empty segment and not
    /// expanded. Nothing is reported for an empty start.
    void bredthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                         uint64_t maxDepth,
                                         const TraversalCallback& callback) const override;

    // QZPlaygraphPlayerMutableDataSource
    /// Compares the effective next segment of `source` with `next`: when it
    /// is that very object (or both are none) nothing happens. Otherwise
    /// stores `next` (the null marker when empty) and tells the observer.
    void setNextSegmentAfter(const std::shared_ptr<QZPlaygraphSegment>& source,
                             const std::shared_ptr<QZPlaygraphSegment>& next) override;
    /// Does nothing: playgraphs are added with `addPlaygraph`.
    void updatePlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph,
                         const std::optional<Dictionary>& trackingInfo,
                         const PlaygraphPosition& startPosition) override;

    // QZPlaygraphPlayerCompositeDataSource
    /// Also makes `playgraph` the initial playgraph while there is none.
    /// The bookmark does not change and the observer is not told.
    void addPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph,
                      const std::optional<Dictionary>& withTrackingInfo) override;
    void updateTrackingInfo(const std::optional<Dictionary>& info,
                            const std::shared_ptr<QZPlaygraphSegment>& forSegment) override;
    /// Does nothing when `source` or `to` is empty. The destination's
    /// playgraph is not registered by this.
    void addTransitionFromSegment(const std::shared_ptr<QZPlaygraphSegment>& source,
                                  const std::shared_ptr<QZPlaygraphSegment>& to, bool setAsNext,
                                  const Dictionary& properties) override;
    void addTransitionFromSegment(const std::shared_ptr<QZPlaygraphSegment>& source,
                                  const std::shared_ptr<QZPlaygraphSegment>& to, bool setAsNext,
                                  const TransitionConfigure& configure) override;

    /// The inter-playgraph transitions leaving `segment`, in the order they
    /// were first added; empty when there are none.
    std::vector<std::shared_ptr<InterPlaygraphSegmentTransition>>
    interPlaygraphTransitionsForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const;
    /// One step of the depth-first walk: reports `segment` at
    /// `segmentDepth`, then walks the destinations of its transitions whose
    /// ids are not in `visitedSegments`. True when the callback asked to
    /// stop. Runs on an explicit stack, so long chains are safe.
    bool depthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                        uint64_t segmentDepth, const TraversalCallback& callback,
                                        std::unordered_set<std::string>& visitedSegments) const;

    /// Where playback starts. The segment is held weakly: once it is gone
    /// the bookmark reads as no segment at time 0.
    PlaygraphPosition bookmarkPosition() const;
    void setBookmarkPosition(const PlaygraphPosition& position);

    const std::shared_ptr<QZPlaygraph>& initialPlaygraph() const { return initialPlaygraph_; }
    void setInitialPlaygraph(std::shared_ptr<QZPlaygraph> playgraph) {
        initialPlaygraph_ = std::move(playgraph);
    }
    const PlaygraphMap& playgraphsById() const { return playgraphsById_; }
    void setPlaygraphsById(PlaygraphMap playgraphs) { playgraphsById_ = std::move(playgraphs); }
    const InterPlaygraphTransitionsBySource& interPlaygraphTransitions() const {
        return interPlaygraphTransitions_;
    }
    void setInterPlaygraphTransitions(InterPlaygraphTransitionsBySource transitions) {
        interPlaygraphTransitions_ = std::move(transitions);
    }
    const TrackingInfoMap& trackingInfoByPlaygraphId() const { return trackingInfoByPlaygraphId_; }
    void setTrackingInfoByPlaygraphId(TrackingInfoMap info) {
        trackingInfoByPlaygraphId_ = std::move(info);
    }

protected:
    PlaygraphPlayerCompositeDataSource() = default;

private:
    // Makes the transition's links, lets `configure` (when set) see it, then
    // stores it and applies `setAsNext`.
    void addTransition(const std::shared_ptr<InterPlaygraphSegmentTransition>& transition,
                       const std::shared_ptr<QZPlaygraphSegment>& source,
                       const std::shared_ptr<QZPlaygraphSegment>& to, bool setAsNext,
                       const TransitionConfigure* configure);

    std::shared_ptr<QZPlaygraph> initialPlaygraph_;
    PlaygraphMap playgraphsById_;
    InterPlaygraphTransitionsBySource interPlaygraphTransitions_;
    TrackingInfoMap trackingInfoByPlaygraphId_;
    std::weak_ptr<QZPlaygraphSegment> bookmarkSegment_;
    bool bookmarkHasSegment_ = false;
    double bookmarkTime_ = 0.0;
};

} // namespace playgraph::inline v1
