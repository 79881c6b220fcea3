#include "playgraph/datasource/InterPlaygraphSegmentTransition.hpp"

namespace playgraph::inline v1 {

std::shared_ptr<InterPlaygraphSegmentTransition> InterPlaygraphSegmentTransition::create(
    std::string destinationSegmentId, std::optional<std::string> transitionType, Value weight,
    std::optional<double> skipRegionOffset, int64_t autoplayType) {
    return std::shared_ptr<InterPlaygraphSegmentTransition>(new InterPlaygraphSegmentTransition(
        std::move(destinationSegmentId), std::move(transitionType), std::move(weight),
        skipRegionOffset, autoplayType));
}

std::shared_ptr<InterPlaygraphSegmentTransition>
InterPlaygraphSegmentTransition::create(std::string destinationSegmentId, const Value& dictionary) {
    TransitionEntry entry = TransitionEntry::read(dictionary);
    return create(std::move(destinationSegmentId), std::move(entry.transitionType),
                  std::move(entry.weight), entry.skipRegionOffset, entry.autoplayType);
}

} // namespace playgraph::inline v1
