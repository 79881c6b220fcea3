#pragma once

#include <memory>
#include <optional>
#include <variant>

#include "playgraph/Config.hpp"
#include "playgraph/OrderedMap.hpp"
#include "playgraph/QZPlaygraphPlayerMutableDataSource.hpp"

namespace playgraph::inline v1 {

/// A stored next-segment override: the segment played next, or the null
/// marker (nothing follows). No entry in the map means no override.
using NextSegmentOverride = std::variant<std::shared_ptr<QZPlaygraphSegment>, Null>;
/// Next-segment overrides keyed by the source segment's `canonicalSegmentId`.
using NextSegmentOverrideMap = OrderedMap<NextSegmentOverride>;

/// The behaviour both data source classes share: the next-segment override
/// map and its reading, clearing, re-weighting, the current playback path
/// walk, and the weakly held change observer with its notifications.
///
/// A subclass says how an override is set (what counts as "no change") and
/// provides the rest of the read interface. Held by `std::shared_ptr` (the
/// classes' `create` factories); the observer receives that pointer. An
/// empty source segment makes every operation here do nothing or answer
/// none. Nothing here throws except on allocation failure.
///
/// Threads: not synchronised (see `QZPlaygraphPlayerDataSource`).
class PLAYGRAPH_API PlaygraphPlayerDataSourceCore
    : public virtual QZPlaygraphPlayerMutableDataSource,
      public std::enable_shared_from_this<PlaygraphPlayerDataSourceCore> {
public:
    /// The override of `segment` when one is stored, else its default next
    /// looked up in the segment's own playgraph (none when that playgraph
    /// is gone or lacks the id). A stored null marker answers none; a stored
    /// segment is answered without any check.
    std::shared_ptr<QZPlaygraphSegment>
    nextSegmentAfterSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) const override;
    void clearNextSegmentAfter(const std::shared_ptr<QZPlaygraphSegment>& source) override;
    void updateNextSegmentWeightsForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                            const Dictionary& nextSegmentWeights) override;
    /// Reports `segment` at index 0 and then each next segment (overrides
    /// followed) at 1, 2, ...; an empty `segment` is reported once, at 0.
    void currentPlaybackPathTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                                 const TraversalCallback& callback) const override;
    std::shared_ptr<QZPlaygraphPlayerDataSourceChangeObserver> changeObserver() const override {
        return changeObserver_.lock();
    }
    void setChangeObserver(
        const std::shared_ptr<QZPlaygraphPlayerDataSourceChangeObserver>& observer) override {
        changeObserver_ = observer;
    }

    /// The stored override of `source`, or none when it has no entry.
    std::optional<NextSegmentOverride>
    storedNextSegmentOverride(const std::shared_ptr<QZPlaygraphSegment>& source) const;
    const NextSegmentOverrideMap& nextSegmentOverrides() const { return nextSegmentOverrides_; }
    /// Replaces the whole map; the observer is not told.
    void setNextSegmentOverrides(NextSegmentOverrideMap overrides) {
        nextSegmentOverrides_ = std::move(overrides);
    }

protected:
    PlaygraphPlayerDataSourceCore() = default;

    /// Stores `next` (or the null marker when it is empty) as the override
    /// of `source`, then tells the observer.
    void storeNextSegmentOverride(std::shared_ptr<QZPlaygraphSegment> source,
                                  std::shared_ptr<QZPlaygraphSegment> next);
    /// Calls the observer's `dataSourceDidChangeNextSegmentAfterSegment`.
    void notifyNextSegmentChanged(std::shared_ptr<QZPlaygraphSegment> segment);
    /// Calls the observer's `dataSourceDidUpdatePlaygraph`.
    void notifyPlaygraphUpdated(std::shared_ptr<QZPlaygraph> playgraph);

private:
    std::shared_ptr<QZPlaygraphPlayerMutableDataSource> self();

    std::weak_ptr<QZPlaygraphPlayerDataSourceChangeObserver> changeObserver_;
    NextSegmentOverrideMap nextSegmentOverrides_;
};

} // namespace playgraph::inline v1
