#include "playgraph/model/PlaygraphSegmentExitZone.hpp"

namespace playgraph::inline v1 {

std::shared_ptr<PlaygraphSegmentExitZone>
PlaygraphSegmentExitZone::create(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                 double startTime, double endTime) {
    std::shared_ptr<PlaygraphSegmentExitZone> zone(new PlaygraphSegmentExitZone());
    zone->segment_ = segment;
    zone->startTime_ = startTime;
    zone->endTime_ = endTime;
    return zone;
}

std::shared_ptr<PlaygraphSegmentExitZone>
PlaygraphSegmentExitZone::create(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                 double exitTime) {
    return create(segment, exitTime, exitTime);
}

bool PlaygraphSegmentExitZone::isTrailingZone() const {
    const auto s = segment_.lock();
    return endTime_ == (s ? s->endTime() : 0.0);
}

} // namespace playgraph::inline v1
