#include "playgraph/datasource/PlaygraphPlayerDataSourceCore.hpp"

#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::inline v1 {

std::optional<NextSegmentOverride> PlaygraphPlayerDataSourceCore::storedNextSegmentOverride(
    const std::shared_ptr<QZPlaygraphSegment>& source) const {
    if (!source) return std::nullopt;
    const NextSegmentOverride* stored = nextSegmentOverrides_.find(source->canonicalSegmentId());
    if (!stored) return std::nullopt;
    return *stored;
}

std::shared_ptr<QZPlaygraphSegment> PlaygraphPlayerDataSourceCore::nextSegmentAfterSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment) const {
    if (!segment) return nullptr;
    // Without overrides there is nothing to look up (and no canonical id to form).
    if (const NextSegmentOverride* stored =
            nextSegmentOverrides_.empty()
                ? nullptr
                : nextSegmentOverrides_.find(segment->canonicalSegmentId())) {
        // An override never falls back to the default next, not even the null marker.
        const auto* next = std::get_if<std::shared_ptr<QZPlaygraphSegment>>(stored);
        return next ? *next : nullptr;
    }
    const auto playgraph = segment->playgraph();
    if (!playgraph) return nullptr;
    if (const auto* base = dynamic_cast<const PlaygraphBase*>(playgraph.get())) {
        return base->defaultNextSegment(*segment);
    }
    const auto& defaultNext = segment->defaultNext();
    return defaultNext ? playgraph->segmentById(*defaultNext) : nullptr;
}

void PlaygraphPlayerDataSourceCore::clearNextSegmentAfter(
    const std::shared_ptr<QZPlaygraphSegment>& source) {
    if (!source) return;
    auto segment = source; // the caller's pointer may live in state that changes here
    static_cast<void>(nextSegmentOverrides_.erase(segment->canonicalSegmentId()));
    notifyNextSegmentChanged(std::move(segment));
}

void PlaygraphPlayerDataSourceCore::updateNextSegmentWeightsForSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, const Dictionary& nextSegmentWeights) {
    if (!segment) return;
    for (const auto& transition : transitionsFromSourceSegment(segment)) {
        if (!transition) continue;
        const Value* weight = nextSegmentWeights.find(transition->destinationSegmentId());
        transition->overrideWeight(weight ? *weight : Value(0));
    }
}

void PlaygraphPlayerDataSourceCore::currentPlaybackPathTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, const TraversalCallback& callback) const {
    if (!callback) return;
    bool stop = false;
    std::shared_ptr<QZPlaygraphSegment> current = segment;
    for (uint64_t index = 0;; ++index) {
        callback(current, index, stop);
        if (stop || !current) return;
        current = nextSegmentAfterSegment(current);
        if (!current) return;
    }
}

void PlaygraphPlayerDataSourceCore::storeNextSegmentOverride(
    std::shared_ptr<QZPlaygraphSegment> source, std::shared_ptr<QZPlaygraphSegment> next) {
    // Taken by value: the caller's pointers may live in state that changes here.
    if (next) {
        nextSegmentOverrides_.set(source->canonicalSegmentId(), std::move(next));
    } else {
        nextSegmentOverrides_.set(source->canonicalSegmentId(), Null{});
    }
    notifyNextSegmentChanged(std::move(source));
}

std::shared_ptr<QZPlaygraphPlayerMutableDataSource> PlaygraphPlayerDataSourceCore::self() {
    return weak_from_this().lock();
}

void PlaygraphPlayerDataSourceCore::notifyNextSegmentChanged(
    std::shared_ptr<QZPlaygraphSegment> segment) {
    // Everything the call needs is held locally: the observer may change this
    // data source, or drop its last owner, from inside the call.
    const auto observer = changeObserver_.lock();
    if (!observer) return;
    const auto dataSource = self();
    observer->dataSourceDidChangeNextSegmentAfterSegment(dataSource, segment);
}

void PlaygraphPlayerDataSourceCore::notifyPlaygraphUpdated(std::shared_ptr<QZPlaygraph> playgraph) {
    const auto observer = changeObserver_.lock();
    if (!observer) return;
    const auto dataSource = self();
    observer->dataSourceDidUpdatePlaygraph(dataSource, playgraph);
}

} // namespace playgraph::inline v1
