// Time and position queries, written once for both playgraph flavors.

#include <cmath>
#include <limits>
#include <unordered_map>

#include "DefaultPathWalk.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}

std::optional<std::vector<std::string>>
PlaygraphBase::segmentIdsForPosition(double position, uint64_t inViewableId) const {
    const bool playToEndMatchesLater = flavor_ == Flavor::Editable;
    std::vector<std::string> ids;
    for (const auto& [id, segment] : segmentMap_) {
        if (!segment) continue;
        // The integer reading of a missing viewable id is 0.
        if (static_cast<uint64_t>(segment->viewableId().integerReading()) != inViewableId) continue;
        if (!(segment->startTime() <= position)) continue;
        const bool beforeEnd = position < segment->endTime();
        if (beforeEnd || (playToEndMatchesLater && segment->playToViewableEnd())) {
            ids.push_back(id);
        }
    }
    if (ids.empty()) return std::nullopt;
    return ids;
}

std::optional<std::string> PlaygraphBase::segmentIdAtPlaygraphTime(double time) const {
    if (const DefaultPathCache* path = currentDefaultPath()) {
        const std::size_t n = path->segments.size();
        const std::size_t i = pathIndexPast(*path, time);
        if (i < n) return path->segments[i]->segmentId();
        if (n > 0 && time == path->starts[n]) return path->segments[n - 1]->segmentId();
        return std::nullopt;
    }
    double acc = 0.0;
    const PlaygraphSegment* last = nullptr;
    const PlaygraphSegment* answer = nullptr;
    detail::walkDefaultPath(segmentMap_, initialSegmentId_, [&](PlaygraphSegment& s) {
        last = &s;
        const double d = s.segmentDuration();
        if (acc + d > time || std::isnan(d)) {
            answer = &s;
            return false;
        }
        acc += d;
        return true;
    });
    if (!answer && last && time == acc) answer = last;
    if (!answer) return std::nullopt;
    return answer->segmentId();
}

double PlaygraphBase::playgraphOffsetForPlayerTime(
    double playerTime, const std::shared_ptr<QZPlaygraphSegment>& inSegment) const {
    // The default path followed link by link. A path that comes back to a
    // segment it passed never reaches a segment it has not met, so a repeat
    // ends the walk with not-a-number.
    if (const DefaultPathCache* path = currentDefaultPath()) {
        const auto* target = inSegment.get();
        for (std::size_t i = 0; i < path->segments.size(); ++i) {
            const PlaygraphSegment* c = path->segments[i];
            if (static_cast<const QZPlaygraphSegment*>(c) == target || i == path->firstUnknown) {
                return path->starts[i] + (playerTime - c->startTime());
            }
        }
        return kNaN;
    }
    double acc = 0.0;
    const auto* entry = initialSegmentId_ ? segmentMap_.find(*initialSegmentId_) : nullptr;
    const PlaygraphSegment* c = entry ? entry->get() : nullptr;
    detail::PointerSet visited;
    while (c && visited.insert(c)) {
        const double d = c->segmentDuration();
        if (static_cast<const QZPlaygraphSegment*>(c) == inSegment.get() || std::isnan(d)) {
            return acc + (playerTime - c->startTime());
        }
        acc += d;
        c = c->defaultNext() ? findSegment(*c->defaultNext()) : nullptr;
    }
    return kNaN;
}

double PlaygraphBase::playerTimeForPlaygraphOffset(double offset) const {
    // A path that loops back is left to the walk below.
    if (const DefaultPathCache* path = currentDefaultPath();
        path && !path->loops && !path->segments.empty()) {
        const std::size_t n = path->segments.size();
        const std::size_t i = pathIndexPast(*path, offset);
        if (i < n) return offset - path->starts[i] + path->segments[i]->startTime();
        return path->starts[n] == offset ? path->segments[n - 1]->endTime() : kNaN;
    }
    const auto* entry = initialSegmentId_ ? segmentMap_.find(*initialSegmentId_) : nullptr;
    const PlaygraphSegment* c = entry ? entry->get() : nullptr;
    if (!c) {
        if (offset < 0.0) return offset;
        return offset == 0.0 ? 0.0 : kNaN;
    }
    // The default path followed link by link, around a loop as often as the
    // offset needs. On meeting a loop, whole turns are skipped at once; a
    // loop that adds no time, or an offset that is not finite, is never
    // reached and gives not-a-number.
    double acc = 0.0;
    std::unordered_map<const PlaygraphSegment*, double> accAtFirstVisit;
    bool loopSeen = false;
    uint64_t stepsLeft = 0;
    while (true) {
        const double d = c->segmentDuration();
        if (acc + d > offset || std::isnan(d)) return offset - acc + c->startTime();
        acc += d;
        const PlaygraphSegment* next = c->defaultNext() ? findSegment(*c->defaultNext()) : nullptr;
        if (!next) return acc == offset ? c->endTime() : kNaN;
        if (!loopSeen) {
            accAtFirstVisit.emplace(c, acc - d);
            const auto seen = accAtFirstVisit.find(next);
            if (seen != accAtFirstVisit.end()) {
                loopSeen = true;
                const double loopLength = acc - seen->second;
                if (!(loopLength > 0.0) || !std::isfinite(offset)) return kNaN;
                const double turns = std::floor((offset - acc) / loopLength) - 1.0;
                if (turns > 0.0) acc += turns * loopLength;
                // A few more turns must reach the offset; rounding that keeps
                // them from doing so ends the walk.
                uint64_t loopSegments = 0;
                for (const auto& visit : accAtFirstVisit) {
                    if (visit.second >= seen->second) ++loopSegments;
                }
                stepsLeft = 3 * loopSegments + 3;
            }
        } else if (stepsLeft-- == 0) {
            return kNaN;
        }
        c = next;
    }
}

bool PlaygraphBase::isPlaybackContiguousFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment,
    const std::shared_ptr<QZPlaygraphSegment>& toSegment) const {
    return toSegment && toSegment->isContiguousAfter(segment);
}

PlaygraphPosition PlaygraphBase::initialPosition() const {
    if (!initialSegmentId_) return {};
    auto segment = segmentById(*initialSegmentId_);
    if (!segment) return {};
    const double start = segment->startTime();
    return {std::move(segment), start};
}

PlaygraphPosition
PlaygraphBase::positionAtPlaygraphOffsetAlongDefaultPlaybackPath(double offset) const {
    const auto id = segmentIdAtPlaygraphTime(offset);
    if (!id) return initialPosition();
    return {segmentById(*id), playerTimeForPlaygraphOffset(offset)};
}

PlaygraphPosition PlaygraphBase::positionAtStartOfSegment(std::string_view segmentId) const {
    auto segment = segmentById(segmentId);
    if (!segment) return {};
    const double start = segment->startTime();
    return {std::move(segment), start};
}

PlaygraphPosition PlaygraphBase::positionAtSegmentViewableTime(std::string_view segmentId,
                                                               double viewableTime) const {
    auto segment = segmentById(segmentId);
    if (!segment || !(segment->startTime() <= viewableTime)) return initialPosition();
    const double end = segment->endTime();
    const bool accepted = flavor_ == Flavor::Editable
                              ? (segment->playToViewableEnd() || viewableTime < end)
                              : (viewableTime < end || std::isnan(end));
    if (!accepted) return initialPosition();
    return {std::move(segment), viewableTime};
}

PlaygraphPosition PlaygraphBase::positionAtSegmentSegmentOffset(std::string_view segmentId,
                                                                double segmentOffset) const {
    auto segment = segmentById(segmentId);
    if (!segment) return initialPosition();
    const double t = segment->startTime() + segmentOffset;
    if (segment->startTime() <= t && t < segment->endTime()) return {std::move(segment), t};
    return initialPosition();
}

PlaygraphPosition PlaygraphBase::positionAtViewableTime(double viewableTime,
                                                        const Value& inVideoId) const {
    if (std::isnan(viewableTime)) return initialPosition();
    const auto ids =
        segmentIdsForPosition(viewableTime, static_cast<uint64_t>(inVideoId.integerReading()));
    if (!ids) return initialPosition();
    // The editable playgraph trusts a viewable-time match only when it is unique.
    if (flavor_ == Flavor::Editable && ids->size() != 1) return initialPosition();
    return positionAtSegmentViewableTime(ids->front(), viewableTime);
}

} // namespace playgraph
