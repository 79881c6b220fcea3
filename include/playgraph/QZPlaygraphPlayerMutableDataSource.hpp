#pragma once

#include <memory>
#include <optional>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraphPlayerDataSource.hpp"
#include "playgraph/QZPlaygraphPlayerDataSourceChangeObserver.hpp"

namespace playgraph::inline v1 {

/// A data source whose next segments a caller can override and re-weight,
/// whose playgraph can be replaced, and which tells one weakly held change
/// observer about override changes and playgraph replacements.
///
/// Next-segment overrides are kept per source segment under its
/// `canonicalSegmentId`, in one of three states: none (the segment's
/// default next applies), a segment (played next), or the null marker
/// (nothing follows). Overrides are not checked against the graph: the next
/// segment need not be reachable and may belong to another playgraph.
/// Nothing here throws. An empty source segment makes the override and
/// weight operations do nothing (the observer is not called).
///
/// Threads: every operation here changes the data source or its transitions
/// and must not overlap any other call on the data source or its playgraphs;
/// the observer is called on the calling thread.
class PLAYGRAPH_API QZPlaygraphPlayerMutableDataSource
    : public virtual QZPlaygraphPlayerDataSource {
public:
    /// Makes `next` follow `source`; an empty `next` makes nothing follow
    /// it. Tells the observer when the stored state changed (each class
    /// says what counts as a change).
    virtual void setNextSegmentAfter(const std::shared_ptr<QZPlaygraphSegment>& source,
                                     const std::shared_ptr<QZPlaygraphSegment>& next) = 0;
    /// Removes the override of `source`, so its default next applies again,
    /// and tells the observer, also when no override was stored.
    virtual void clearNextSegmentAfter(const std::shared_ptr<QZPlaygraphSegment>& source) = 0;
    /// Gives every transition of `transitionsFromSourceSegment(segment)` a
    /// weight override: the value under its destination segment id in
    /// `nextSegmentWeights`, or the integer 0 when that has no entry. Keys
    /// that name no transition are ignored. The overrides are set on the
    /// transition objects, so every holder of them sees the new weights.
    /// The observer is not told.
    virtual void
    updateNextSegmentWeightsForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                       const Dictionary& nextSegmentWeights) = 0;
    void updatePlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph,
                         const std::optional<Dictionary>& trackingInfo,
                         const PlaygraphPosition& startPosition) override = 0;
    /// The observer, or none once it is gone.
    virtual std::shared_ptr<QZPlaygraphPlayerDataSourceChangeObserver> changeObserver() const = 0;
    /// Holds `observer` weakly; earlier changes are not replayed.
    virtual void setChangeObserver(
        const std::shared_ptr<QZPlaygraphPlayerDataSourceChangeObserver>& observer) = 0;
};

} // namespace playgraph::inline v1
