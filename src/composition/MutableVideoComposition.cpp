#include "playgraph/composition/MutableVideoComposition.hpp"

#include <cmath>
#include <cstdint>

#include "model/ModelAccess.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"

namespace playgraph::inline v1 {

namespace {

/// Seconds to whole milliseconds, halves rounded away from zero, as a
/// double; none when the time is not finite (it has no millisecond form).
std::optional<double> roundedMilliseconds(double seconds) {
    const double ms = std::round(seconds * 1000.0);
    if (!std::isfinite(ms)) return std::nullopt;
    return ms + 0.0; // no negative zero
}

/// The message of an edit that finds no segment where the composition has
/// no clip to name (no initial clip, no last clip).
[[noreturn]] void failWithoutClip() {
    throw InvalidArgumentError("Cannot find segment " + Value().text());
}

Dictionary convertedTransition(const QZPlaygraphSegmentTransition& transition) {
    Dictionary entry;
    // The weight as it reads now: the override when one is set.
    if (Value weight = transition.weight(); !weight.isNone()) entry.set(keys::weight, weight);
    if (const int64_t autoplay = transition.autoplayType(); autoplay != 0) {
        entry.set(keys::autoplayType, autoplay);
    }
    if (const auto offset = transition.skipRegionOffset()) {
        if (const auto ms = roundedMilliseconds(*offset)) entry.set(keys::skipRegionOffset, *ms);
    }
    if (const auto& type = transition.transitionType()) entry.set(keys::transitionType, *type);
    return entry;
}

Dictionary convertedSegment(const QZPlaygraphSegment& segment, const Value& mainViewableId) {
    Dictionary entry;
    if (!segment.viewableId().isAbsent()) entry.set(keys::viewableId, segment.viewableId());
    if (!mainViewableId.isNone()) entry.set(keys::main, mainViewableId);
    if (const auto ms = roundedMilliseconds(segment.startTime())) {
        entry.set(keys::startTimeMs, *ms);
    }
    // A play-to-end segment whose movie duration is unknown has no end
    // yet; without "endTimeMs" the new segment plays to the end as well.
    if (const auto ms = roundedMilliseconds(segment.endTime())) entry.set(keys::endTimeMs, *ms);
    if (const auto& defaultNext = segment.defaultNext()) entry.set(keys::defaultNext, *defaultNext);
    if (const auto& annotations = segment.annotations()) {
        entry.set(keys::annotations, annotations->copy());
    }
    if (const auto& userInfo = segment.userInfo()) entry.set(keys::userInfo, userInfo->copy());
    if (!segment.next().empty()) {
        Dictionary next;
        for (const auto& [destination, transition] : segment.next()) {
            if (transition) next.set(destination, convertedTransition(*transition));
        }
        entry.set(keys::next, next);
    }
    return entry;
}

} // namespace

Dictionary
MutableVideoComposition::conversionDictionary(const Value& mainViewableId,
                                              const std::shared_ptr<QZPlaygraph>& playgraph) {
    Dictionary dictionary;
    Dictionary segments;
    if (playgraph) {
        if (const auto& initial = playgraph->initialSegmentId()) {
            dictionary.set(keys::initialSegment, *initial);
        }
        if (const auto& type = playgraph->type()) dictionary.set(keys::type, *type);
        // Only an editable playgraph keeps its annotations in its dictionary.
        if (const auto editable = std::dynamic_pointer_cast<MutablePlaygraph>(playgraph)) {
            if (Value annotations = editable->dictionaryRepresentation().get(keys::annotations);
                !annotations.isNone()) {
                dictionary.set(keys::annotations, annotations);
            }
        }
        playgraph->depthFirstTraversalFromSegmentId(
            playgraph->initialSegmentId(),
            [&](const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t, bool&) {
                // A reported place without a segment (a dangling id) is skipped.
                if (segment) {
                    segments.set(segment->segmentId(), convertedSegment(*segment, mainViewableId));
                }
            });
    }
    dictionary.set(keys::segments, segments);
    return dictionary;
}

std::shared_ptr<MutableVideoComposition>
MutableVideoComposition::createVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    double endTime, const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    return loaded(std::shared_ptr<MutableVideoComposition>(new MutableVideoComposition()),
                  oneClipDictionary(viewableId, initialName, startTime, endTime, playgraphParams,
                                    /*withMain=*/true, /*alwaysWithEnd=*/true),
                  viewableId);
}

std::shared_ptr<MutableVideoComposition>
MutableVideoComposition::createVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    return createVideoCompositionForViewableId(viewableId, initialName, startTime, 0.0,
                                               playgraphParams);
}

std::shared_ptr<MutableVideoComposition>
MutableVideoComposition::createVideoCompositionForMainViewableId(
    const Value& mainViewableId, const std::shared_ptr<QZPlaygraph>& playgraph) {
    return loaded(std::shared_ptr<MutableVideoComposition>(new MutableVideoComposition()),
                  conversionDictionary(mainViewableId, playgraph), mainViewableId);
}

void MutableVideoComposition::splitClip(const std::string& clipName, double atOffset,
                                        const std::string& firstClipName,
                                        const std::string& secondClipName) {
    splitSegment(clipName, atOffset, firstClipName, secondClipName);
}

void MutableVideoComposition::combineClip1(const std::string&, const std::string&,
                                           const std::string&) {}

void MutableVideoComposition::prependClip(const std::string& newClipName, const Value& viewableId,
                                          double startTime, double endTime,
                                          const std::shared_ptr<QZPlaygraphParams>& params) {
    const auto initial = initialSegmentId();
    if (!initial) failWithoutClip();
    insertSegmentBefore(*initial, newClipName, viewableId, startTime, endTime, params);
}

void MutableVideoComposition::appendClip(const std::string& newClipName, const Value& viewableId,
                                         double startTime, double endTime,
                                         const std::shared_ptr<QZPlaygraphParams>& params) {
    // The last clip is the first one on the default path without a default
    // next; a path that loops or leads to a missing segment has none.
    const PlaygraphSegment* last = detail::ModelAccess::state(*this).defaultPathEndWithoutNext();
    if (!last) failWithoutClip();
    // A copy: the edit replaces the segment object.
    const std::string lastClip = last->segmentId();
    insertSegmentAfter(lastClip, newClipName, viewableId, startTime, endTime, true, params);
}

void MutableVideoComposition::insertClip(const std::string& newClipName, const Value& viewableId,
                                         double startTime, double endTime,
                                         const std::string& afterClip,
                                         const std::shared_ptr<QZPlaygraphParams>& params) {
    insertSegmentAfter(afterClip, newClipName, viewableId, startTime, endTime, true, params);
}

void MutableVideoComposition::removeClip(const std::string& clipName) { removeSegment(clipName); }

void MutableVideoComposition::makeRangeSkippable(const std::string&) {}

void MutableVideoComposition::localizeClip(const std::string&, const std::string&, const Value&,
                                           double) {}

void MutableVideoComposition::addTransitionFromSegment(const std::string&, const std::string&, bool,
                                                       const Value&) {}

} // namespace playgraph::inline v1
