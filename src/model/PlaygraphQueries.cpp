// Time and position queries, written once for both playgraph flavors.

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/DefaultPathWalk.hpp"
#include "model/ModelAccess.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::inline v1 {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

/// `playerTimeForPlaygraphOffset` past the first pass along a path whose last
/// segment leads back to `segments[loopStart]`: the walk reached
/// `accAtLoopStart` there first and `acc` at the end of the pass.
double playerTimeAroundLoop(const std::vector<PlaygraphSegment*>& segments,
                            const std::vector<double>& durations, std::size_t loopStart,
                            double accAtLoopStart, double acc, double offset) {
    // Every turn adds the same durations in the same order, and a rounded sum
    // never decreases as its first term grows: once a turn ends no further
    // along than it began, every later turn falls short the same way. Nor
    // does the walk reach an offset that is not finite.
    if (!(acc > accAtLoopStart) || !std::isfinite(offset)) return kNaN;
    const std::size_t n = segments.size();
    uint64_t links = n;
    double turnStart = acc;
    uint64_t turns = 1; // completed, the one in the first pass included
    bool skipped = false;
    uint64_t linksLeft = 0;
    for (std::size_t i = loopStart;;) {
        const double d = durations[i];
        if (acc + d > offset) return offset - acc + segments[i]->startTime();
        acc += d;
        if (++i == n) {
            i = loopStart;
            if (!(acc > turnStart)) return kNaN;
            turnStart = acc;
            ++turns;
        }
        if (!skipped) {
            if (++links < PlaygraphBase::kExactLinkWalk) continue;
            // Far out: whole turns skipped at once, one short of the offset,
            // with the mean length of the turns walked. Rounding that keeps
            // the few turns left from reaching the offset ends the walk.
            const double turnLength = (turnStart - accAtLoopStart) / static_cast<double>(turns);
            const double skip = std::floor((offset - acc) / turnLength) - 1.0;
            if (skip > 0.0) acc += skip * turnLength;
            skipped = true;
            linksLeft = 3 * (n - loopStart) + 3;
        } else if (linksLeft-- == 0) {
            return kNaN;
        }
    }
}

} // namespace

std::optional<std::vector<std::string>>
PlaygraphBase::segmentIdsForPosition(double position, uint64_t inViewableId) const {
    state_->ensureCurrent();
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
    state_->ensureCurrent();
    if (const detail::DefaultPathCache* path = state_->currentDefaultPath()) {
        const std::size_t n = path->segments.size();
        const std::size_t i = State::pathIndexPast(*path, time);
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
    state_->ensureCurrent();
    // The default path followed link by link. A path that comes back to a
    // segment it passed never reaches a segment it has not met, so a repeat
    // ends the walk with not-a-number.
    if (const detail::DefaultPathCache* path = state_->currentDefaultPath()) {
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
        c = c->defaultNext() ? state_->findSegment(*c->defaultNext()) : nullptr;
    }
    return kNaN;
}

double PlaygraphBase::playerTimeForPlaygraphOffset(double offset) const {
    state_->ensureCurrent();
    if (const detail::DefaultPathCache* path = state_->currentDefaultPath();
        path && !path->segments.empty()) {
        const std::size_t n = path->segments.size();
        const std::size_t i = State::pathIndexPast(*path, offset);
        if (i < n) return offset - path->starts[i] + path->segments[i]->startTime();
        if (!path->loops)
            return path->starts[n] == offset ? path->segments[n - 1]->endTime() : kNaN;
        const PlaygraphSegment* back = state_->findSegment(*path->segments.back()->defaultNext());
        const auto loopStart = static_cast<std::size_t>(
            std::find(path->segments.begin(), path->segments.end(), back) - path->segments.begin());
        return playerTimeAroundLoop(path->segments, path->durations, loopStart,
                                    path->starts[loopStart], path->starts[n], offset);
    }
    const auto* entry = initialSegmentId_ ? segmentMap_.find(*initialSegmentId_) : nullptr;
    PlaygraphSegment* c = entry ? entry->get() : nullptr;
    if (!c) {
        if (offset < 0.0) return offset;
        return offset == 0.0 ? 0.0 : kNaN;
    }
    // The default path followed link by link, recording its segments, until
    // it ends or comes back to a segment it passed.
    std::vector<PlaygraphSegment*> segments;
    std::vector<double> durations;
    std::vector<double> starts;
    detail::PointerSet visited;
    double acc = 0.0;
    while (visited.insert(c)) {
        const double d = c->segmentDuration();
        if (acc + d > offset || std::isnan(d)) return offset - acc + c->startTime();
        segments.push_back(c);
        durations.push_back(d);
        starts.push_back(acc);
        acc += d;
        PlaygraphSegment* next =
            c->defaultNext() ? state_->findSegment(*c->defaultNext()) : nullptr;
        if (!next) return acc == offset ? c->endTime() : kNaN;
        c = next;
    }
    const auto loopStart =
        static_cast<std::size_t>(std::find(segments.begin(), segments.end(), c) - segments.begin());
    return playerTimeAroundLoop(segments, durations, loopStart, starts[loopStart], acc, offset);
}

bool PlaygraphBase::isPlaybackContiguousFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment,
    const std::shared_ptr<QZPlaygraphSegment>& toSegment) const {
    return toSegment && toSegment->isContiguousAfter(segment);
}

PlaygraphPosition PlaygraphBase::initialPosition() const {
    state_->ensureCurrent();
    if (!initialSegmentId_) return {};
    auto segment = segmentById(*initialSegmentId_);
    if (!segment) return {};
    const double start = segment->startTime();
    return {std::move(segment), start};
}

PlaygraphPosition
PlaygraphBase::positionAtPlaygraphOffsetAlongDefaultPlaybackPath(double offset) const {
    state_->ensureCurrent();
    const auto id = segmentIdAtPlaygraphTime(offset);
    if (!id) return initialPosition();
    return {segmentById(*id), playerTimeForPlaygraphOffset(offset)};
}

PlaygraphPosition PlaygraphBase::positionAtStartOfSegment(std::string_view segmentId) const {
    state_->ensureCurrent();
    auto segment = segmentById(segmentId);
    if (!segment) return {};
    const double start = segment->startTime();
    return {std::move(segment), start};
}

PlaygraphPosition PlaygraphBase::positionAtSegmentViewableTime(std::string_view segmentId,
                                                               double viewableTime) const {
    state_->ensureCurrent();
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
    state_->ensureCurrent();
    auto segment = segmentById(segmentId);
    if (!segment) return initialPosition();
    const double t = segment->startTime() + segmentOffset;
    if (segment->startTime() <= t && t < segment->endTime()) return {std::move(segment), t};
    return initialPosition();
}

PlaygraphPosition PlaygraphBase::positionAtViewableTime(double viewableTime,
                                                        const Value& inVideoId) const {
    state_->ensureCurrent();
    if (std::isnan(viewableTime)) return initialPosition();
    const auto ids =
        segmentIdsForPosition(viewableTime, static_cast<uint64_t>(inVideoId.integerReading()));
    if (!ids) return initialPosition();
    // The editable playgraph trusts a viewable-time match only when it is unique.
    if (flavor_ == Flavor::Editable && ids->size() != 1) return initialPosition();
    return positionAtSegmentViewableTime(ids->front(), viewableTime);
}

} // namespace playgraph::inline v1
