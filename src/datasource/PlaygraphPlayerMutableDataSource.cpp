#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"

namespace playgraph::inline v1 {

namespace {

std::optional<std::string> idOf(const std::shared_ptr<QZPlaygraphSegment>& segment) {
    if (!segment) return std::nullopt;
    return segment->segmentId();
}

} // namespace

std::shared_ptr<PlaygraphPlayerMutableDataSource> PlaygraphPlayerMutableDataSource::create() {
    return std::shared_ptr<PlaygraphPlayerMutableDataSource>(
        new PlaygraphPlayerMutableDataSource());
}

std::shared_ptr<PlaygraphPlayerMutableDataSource>
PlaygraphPlayerMutableDataSource::create(std::shared_ptr<QZPlaygraph> playgraph,
                                         const std::optional<Dictionary>& trackingInfo,
                                         const PlaygraphPosition& startPosition) {
    (void)startPosition;
    auto dataSource = create();
    dataSource->playgraph_ = std::move(playgraph);
    if (trackingInfo) dataSource->trackingInfo_ = trackingInfo->copy();
    return dataSource;
}

std::shared_ptr<PlaygraphPlayerMutableDataSource>
PlaygraphPlayerMutableDataSource::create(std::shared_ptr<QZPlaygraph> playgraph,
                                         const std::optional<Dictionary>& trackingInfo) {
    const PlaygraphPosition start = playgraph ? playgraph->initialPosition() : PlaygraphPosition{};
    return create(std::move(playgraph), trackingInfo, start);
}

PlaygraphPosition PlaygraphPlayerMutableDataSource::initialPosition() const {
    return playgraph_ ? playgraph_->initialPosition() : PlaygraphPosition{};
}

std::shared_ptr<QZPlaygraph> PlaygraphPlayerMutableDataSource::nextPlaygraphAfterPlaygraph(
    const std::shared_ptr<QZPlaygraph>&) const {
    return nullptr;
}

std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>>
PlaygraphPlayerMutableDataSource::transitionsFromSourceSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment) const {
    std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>> transitions;
    if (!segment) return transitions;
    transitions.reserve(segment->next().size());
    for (const auto& [id, transition] : segment->next())
        transitions.push_back(transition);
    return transitions;
}

std::shared_ptr<QZPlaygraphSegmentTransition>
PlaygraphPlayerMutableDataSource::transitionFromSourceSegment(
    const std::shared_ptr<QZPlaygraphSegment>& source,
    const std::shared_ptr<QZPlaygraphSegment>& toDestinationSegment) const {
    if (!source || !toDestinationSegment || !playgraph_) return nullptr;
    const auto own = playgraph_->segmentById(source->segmentId());
    if (!own) return nullptr;
    const auto* transition = own->next().find(toDestinationSegment->segmentId());
    return transition ? *transition : nullptr;
}

std::shared_ptr<QZPlaygraphSegment>
PlaygraphPlayerMutableDataSource::segmentById(std::string_view segmentId) const {
    return playgraph_ ? playgraph_->segmentById(segmentId) : nullptr;
}

std::optional<Dictionary> PlaygraphPlayerMutableDataSource::trackingInfoForSegment(
    const std::shared_ptr<QZPlaygraphSegment>&) const {
    return trackingInfo_;
}

std::optional<Dictionary> PlaygraphPlayerMutableDataSource::trackingInfoForPlaygraph(
    const std::shared_ptr<QZPlaygraph>&) const {
    return trackingInfo_;
}

void PlaygraphPlayerMutableDataSource::depthFirstTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, const TraversalCallback& callback) const {
    // Held for the whole walk: the callback may replace this data source's playgraph.
    const auto playgraph = playgraph_;
    if (playgraph) playgraph->depthFirstTraversalFromSegmentId(idOf(segment), callback);
}

void PlaygraphPlayerMutableDataSource::bredthFirstTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t maxDepth,
    const TraversalCallback& callback) const {
    const auto playgraph = playgraph_;
    if (playgraph) playgraph->bredthFirstTraversalFromSegmentId(idOf(segment), maxDepth, callback);
}

void PlaygraphPlayerMutableDataSource::setNextSegmentAfter(
    const std::shared_ptr<QZPlaygraphSegment>& source,
    const std::shared_ptr<QZPlaygraphSegment>& next) {
    if (!source) return;
    const auto stored = storedNextSegmentOverride(source);
    if (!stored) {
        if (!next) return; // none on none: the default next stays in force
    } else if (const auto* segment = std::get_if<std::shared_ptr<QZPlaygraphSegment>>(&*stored)) {
        if (*segment == next) return;
    }
    // A stored null marker is not the same as none: it is stored and told again.
    storeNextSegmentOverride(source, next);
}

void PlaygraphPlayerMutableDataSource::updatePlaygraph(
    const std::shared_ptr<QZPlaygraph>& playgraph, const std::optional<Dictionary>& trackingInfo,
    const PlaygraphPosition&) {
    if (playgraph == playgraph_) return;
    auto newPlaygraph = playgraph;
    playgraph_ = newPlaygraph;
    trackingInfo_ = trackingInfo;
    notifyPlaygraphUpdated(std::move(newPlaygraph));
}

std::shared_ptr<QZPlaygraphSegment> PlaygraphPlayerMutableDataSource::initialSegment() const {
    if (!playgraph_) return nullptr;
    const auto& id = playgraph_->initialSegmentId();
    return id ? playgraph_->segmentById(*id) : nullptr;
}

} // namespace playgraph::inline v1
