#include "playgraph/datasource/PlaygraphPlayerCompositeDataSource.hpp"

#include "model/DepthFirstWalk.hpp"

namespace playgraph::inline v1 {

std::shared_ptr<PlaygraphPlayerCompositeDataSource> PlaygraphPlayerCompositeDataSource::create() {
    return std::shared_ptr<PlaygraphPlayerCompositeDataSource>(
        new PlaygraphPlayerCompositeDataSource());
}

std::shared_ptr<PlaygraphPlayerCompositeDataSource>
PlaygraphPlayerCompositeDataSource::create(const std::shared_ptr<QZPlaygraph>& playgraph,
                                           const std::optional<Dictionary>& trackingInfo,
                                           const PlaygraphPosition& startPosition) {
    auto dataSource = create();
    if (playgraph) {
        dataSource->addPlaygraph(playgraph, trackingInfo);
        dataSource->setBookmarkPosition(startPosition);
    }
    return dataSource;
}

std::shared_ptr<PlaygraphPlayerCompositeDataSource>
PlaygraphPlayerCompositeDataSource::create(const std::shared_ptr<QZPlaygraph>& playgraph,
                                           const std::optional<Dictionary>& trackingInfo) {
    const PlaygraphPosition start = playgraph ? playgraph->initialPosition() : PlaygraphPosition{};
    return create(playgraph, trackingInfo, start);
}

PlaygraphPosition PlaygraphPlayerCompositeDataSource::bookmarkPosition() const {
    if (!bookmarkHasSegment_) return PlaygraphPosition{nullptr, bookmarkTime_};
    auto segment = bookmarkSegment_.lock();
    // A bookmark whose segment is gone reads as the position a miss gives.
    if (!segment) return PlaygraphPosition{};
    return PlaygraphPosition{std::move(segment), bookmarkTime_};
}

void PlaygraphPlayerCompositeDataSource::setBookmarkPosition(const PlaygraphPosition& position) {
    bookmarkSegment_ = position.segment;
    bookmarkHasSegment_ = position.segment != nullptr;
    bookmarkTime_ = position.watchableTime;
}

std::shared_ptr<QZPlaygraph> PlaygraphPlayerCompositeDataSource::nextPlaygraphAfterPlaygraph(
    const std::shared_ptr<QZPlaygraph>& playgraph) const {
    if (!playgraph) return nullptr;
    const std::string playgraphId = playgraph->playgraphId();
    const auto& initialId = playgraph->initialSegmentId();
    std::shared_ptr<QZPlaygraphSegment> current =
        initialId ? playgraph->segmentById(*initialId) : nullptr;
    // The segments passed are held (not just their addresses), so that a
    // loop is recognised even if overrides hand out short-lived segments.
    std::unordered_set<std::shared_ptr<QZPlaygraphSegment>> passed;
    while (current) {
        const auto currentPlaygraph = current->playgraph();
        if (!currentPlaygraph || currentPlaygraph->playgraphId() != playgraphId) {
            return currentPlaygraph;
        }
        // The path comes back to a segment it passed without leaving.
        if (!passed.insert(current).second) return nullptr;
        current = nextSegmentAfterSegment(current);
    }
    return nullptr;
}

std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>>
PlaygraphPlayerCompositeDataSource::transitionsFromSourceSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment) const {
    std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>> transitions;
    if (!segment) return transitions;
    const auto* inter = interPlaygraphTransitions_.find(segment->canonicalSegmentId());
    transitions.reserve(segment->next().size() + (inter ? inter->size() : 0));
    for (const auto& [id, transition] : segment->next())
        transitions.push_back(transition);
    if (inter) {
        for (const auto& [id, transition] : *inter)
            transitions.push_back(transition);
    }
    return transitions;
}

std::shared_ptr<QZPlaygraphSegmentTransition>
PlaygraphPlayerCompositeDataSource::transitionFromSourceSegment(
    const std::shared_ptr<QZPlaygraphSegment>& source,
    const std::shared_ptr<QZPlaygraphSegment>& toDestinationSegment) const {
    if (!source || !toDestinationSegment) return nullptr;
    for (auto& transition : transitionsFromSourceSegment(source)) {
        if (transition && transition->destinationSegmentId() == toDestinationSegment->segmentId()) {
            return transition;
        }
    }
    return nullptr;
}

std::shared_ptr<QZPlaygraphSegment>
PlaygraphPlayerCompositeDataSource::segmentById(std::string_view segmentId) const {
    for (const auto& [id, playgraph] : playgraphsById_) {
        if (!playgraph) continue;
        if (auto segment = playgraph->segmentById(segmentId)) return segment;
    }
    return nullptr;
}

std::optional<Dictionary> PlaygraphPlayerCompositeDataSource::trackingInfoForSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment) const {
    return segment ? trackingInfoForPlaygraph(segment->playgraph()) : std::nullopt;
}

std::optional<Dictionary> PlaygraphPlayerCompositeDataSource::trackingInfoForPlaygraph(
    const std::shared_ptr<QZPlaygraph>& playgraph) const {
    if (!playgraph) return std::nullopt;
    const Dictionary* info = trackingInfoByPlaygraphId_.find(playgraph->playgraphId());
    return info ? std::optional<Dictionary>(*info) : std::nullopt;
}

void PlaygraphPlayerCompositeDataSource::depthFirstTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, const TraversalCallback& callback) const {
    const auto start = segment; // the caller's pointer may live in state the callback changes
    std::unordered_set<std::string> visited;
    depthFirstTraversalFromSegment(start, 0, callback, visited);
}

bool PlaygraphPlayerCompositeDataSource::depthFirstTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t segmentDepth,
    const TraversalCallback& callback, std::unordered_set<std::string>& visitedSegments) const {
    // Each transition resolves its own destination: in its playgraph, or in
    // its destination playgraph. One that does not resolve is skipped.
    return detail::depthFirstWalk(
        segment, segmentDepth, callback, visitedSegments,
        [this](const std::shared_ptr<QZPlaygraphSegment>& s) {
            return transitionsFromSourceSegment(s);
        },
        [](const std::shared_ptr<QZPlaygraphSegmentTransition>& t) -> const std::string& {
            return t->destinationSegmentId();
        },
        [](const std::shared_ptr<QZPlaygraphSegmentTransition>& t) {
            return t->destinationSegment();
        });
}

void PlaygraphPlayerCompositeDataSource::bredthFirstTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t maxDepth,
    const TraversalCallback& callback) const {
    if (!segment || !callback) return;
    std::vector<std::string> queue{segment->segmentId()};
    std::vector<uint64_t> depths{1};
    std::unordered_set<std::string> queued{queue.front()};
    for (std::size_t position = 0; position < queue.size(); ++position) {
        const uint64_t depth = depths[position];
        const auto current = segmentById(queue[position]);
        bool stop = false;
        callback(current, depth, stop);
        if (stop) return;
        if (!current || maxDepth == 0 || depth >= maxDepth) continue;
        for (const auto& transition : transitionsFromSourceSegment(current)) {
            if (transition && queued.insert(transition->destinationSegmentId()).second) {
                queue.push_back(transition->destinationSegmentId());
                depths.push_back(depth + 1);
            }
        }
    }
}

void PlaygraphPlayerCompositeDataSource::setNextSegmentAfter(
    const std::shared_ptr<QZPlaygraphSegment>& source,
    const std::shared_ptr<QZPlaygraphSegment>& next) {
    if (!source) return;
    if (nextSegmentAfterSegment(source) == next) return;
    storeNextSegmentOverride(source, next);
}

void PlaygraphPlayerCompositeDataSource::updatePlaygraph(const std::shared_ptr<QZPlaygraph>&,
                                                         const std::optional<Dictionary>&,
                                                         const PlaygraphPosition&) {}

void PlaygraphPlayerCompositeDataSource::addPlaygraph(
    const std::shared_ptr<QZPlaygraph>& playgraph,
    const std::optional<Dictionary>& withTrackingInfo) {
    if (!playgraph) return;
    const std::string id = playgraph->playgraphId();
    playgraphsById_.set(id, playgraph);
    if (withTrackingInfo) {
        trackingInfoByPlaygraphId_.set(id, *withTrackingInfo);
    } else {
        static_cast<void>(trackingInfoByPlaygraphId_.erase(id));
    }
    if (!initialPlaygraph_) initialPlaygraph_ = playgraph;
}

void PlaygraphPlayerCompositeDataSource::updateTrackingInfo(
    const std::optional<Dictionary>& info, const std::shared_ptr<QZPlaygraphSegment>& forSegment) {
    if (!forSegment) return;
    const auto playgraph = forSegment->playgraph();
    if (!playgraph) return;
    if (info) {
        trackingInfoByPlaygraphId_.set(playgraph->playgraphId(), *info);
    } else {
        static_cast<void>(trackingInfoByPlaygraphId_.erase(playgraph->playgraphId()));
    }
}

std::vector<std::shared_ptr<InterPlaygraphSegmentTransition>>
PlaygraphPlayerCompositeDataSource::interPlaygraphTransitionsForSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment) const {
    std::vector<std::shared_ptr<InterPlaygraphSegmentTransition>> transitions;
    if (!segment) return transitions;
    if (const auto* inner = interPlaygraphTransitions_.find(segment->canonicalSegmentId())) {
        transitions.reserve(inner->size());
        for (const auto& [id, transition] : *inner)
            transitions.push_back(transition);
    }
    return transitions;
}

void PlaygraphPlayerCompositeDataSource::addTransitionFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& source,
    const std::shared_ptr<QZPlaygraphSegment>& to, bool setAsNext, const Dictionary& properties) {
    if (!source || !to) return;
    addTransition(InterPlaygraphSegmentTransition::create(to->segmentId(), Value(properties)),
                  source, to, setAsNext, nullptr);
}

void PlaygraphPlayerCompositeDataSource::addTransitionFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& source,
    const std::shared_ptr<QZPlaygraphSegment>& to, bool setAsNext,
    const TransitionConfigure& configure) {
    if (!source || !to) return;
    addTransition(InterPlaygraphSegmentTransition::create(to->segmentId(), Value(Dictionary())),
                  source, to, setAsNext, &configure);
}

void PlaygraphPlayerCompositeDataSource::addTransition(
    const std::shared_ptr<InterPlaygraphSegmentTransition>& transition,
    const std::shared_ptr<QZPlaygraphSegment>& source,
    const std::shared_ptr<QZPlaygraphSegment>& to, bool setAsNext,
    const TransitionConfigure* configure) {
    // Local copies: the configure callback may change this data source.
    const auto sourceSegment = source;
    const auto destination = to;
    transition->setSourceSegment(sourceSegment);
    transition->setDestinationPlaygraph(destination->playgraph());
    const std::string sourceKey = sourceSegment->canonicalSegmentId();
    if (!interPlaygraphTransitions_.contains(sourceKey)) {
        interPlaygraphTransitions_.set(sourceKey, InterPlaygraphTransitionMap());
    }
    if (configure && *configure) (*configure)(*transition);
    // Looked up again after the callback, which may have changed the maps.
    InterPlaygraphTransitionMap* inner = interPlaygraphTransitions_.find(sourceKey);
    if (!inner) inner = &interPlaygraphTransitions_.set(sourceKey, InterPlaygraphTransitionMap());
    inner->set(transition->destinationSegmentId(), transition);
    if (setAsNext) setNextSegmentAfter(sourceSegment, destination);
}

} // namespace playgraph::inline v1
