// The segment edits of the editable playgraph: insertion after and before a
// segment, splitting a segment in two, and removing a segment.

#include "editing/EditingState.hpp"
#include "editing/EditingSupport.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::inline v1 {

using namespace editing;

namespace {

/// Copies `key` from `from` to `to` when it is present (the same value).
void copyEntry(const Dictionary& from, Dictionary& to, std::string_view key) {
    if (const Value* v = from.find(key)) to.set(key, *v);
}

/// The segment's start in whole milliseconds, read as the model reads it.
int64_t startMilliseconds(const Dictionary& segment) {
    return format::storedMilliseconds(segment.find(keys::startTimeMs)).value_or(0);
}

} // namespace

Dictionary MutablePlaygraph::Edits::checkInsertion(const std::string& existingId,
                                                   const std::string& newSegmentId,
                                                   const Value& viewableId, double startTimeSeconds,
                                                   double endTimeSeconds) const {
    Dictionary existing = requireSegment(existingId);
    if (isSegmentIdTaken(newSegmentId)) fail(segmentAlreadyExists(newSegmentId));
    if (endTimeSeconds < startTimeSeconds) {
        fail("endTime (" + formatFixed(endTimeSeconds) + ") must be after startTime (" +
             formatFixed(startTimeSeconds) + ")");
    }
    requireFinite("startTime", startTimeSeconds);
    requireFinite("endTime", endTimeSeconds);
    requireViewableId(viewableId);
    return existing;
}

Dictionary MutablePlaygraph::Edits::makeInsertedSegment(
    const Dictionary& existing, const Value& viewableId, double startTimeSeconds,
    double endTimeSeconds, const std::shared_ptr<QZPlaygraphParams>& params) const {
    Dictionary segment;
    if (viewableId.isNumber()) segment.set(keys::viewableId, viewableId);
    if (const Value* main = existing.find(keys::main); main && !main->isAbsent()) {
        segment.set(keys::main, *main);
    }
    segment.set(keys::startTimeMs, millisecondsFromSeconds(startTimeSeconds));
    segment.set(keys::endTimeMs, millisecondsFromSeconds(endTimeSeconds));
    if (params) addPlaygraphParams(params, segment);
    return segment;
}

void MutablePlaygraph::insertSegmentAfter(const std::string& existingId,
                                          const std::string& newSegmentId, const Value& viewableId,
                                          double startTimeSeconds, double endTimeSeconds,
                                          bool asDeafaultNext,
                                          const std::shared_ptr<QZPlaygraphParams>& params) {
    Edits::Scope scope(*this);
    Dictionary existing = edits_->checkInsertion(existingId, newSegmentId, viewableId,
                                                 startTimeSeconds, endTimeSeconds);
    Dictionary segment =
        edits_->makeInsertedSegment(existing, viewableId, startTimeSeconds, endTimeSeconds, params);
    Dictionary segments = edits_->segmentsDictionary();
    edits_->insertSegmentEntry(segments, newSegmentId, segment);
    edits_->touchSegment(existingId);
    ensureNext(existing).set(newSegmentId, newTransition());
    if (asDeafaultNext) existing.set(keys::defaultNext, newSegmentId);
    edits_->refresh();
    scope.completed([&] { return "insert " + newSegmentId + " after " + existingId; });
}

void MutablePlaygraph::insertSegmentBefore(const std::string& existingId,
                                           const std::string& newSegmentId, const Value& viewableId,
                                           double startTimeSeconds, double endTimeSeconds,
                                           const std::shared_ptr<QZPlaygraphParams>& params) {
    Edits::Scope scope(*this);
    Dictionary existing = edits_->checkInsertion(existingId, newSegmentId, viewableId,
                                                 startTimeSeconds, endTimeSeconds);

    // Every transition into the existing segment (its own to itself
    // included) now leads to the new one, with all its properties.
    for (auto& [predecessorId, predecessor] : edits_->referringSegments(existingId, false)) {
        edits_->touchSegment(predecessorId);
        if (stringAtEquals(predecessor, keys::defaultNext, existingId)) {
            predecessor.set(keys::defaultNext, newSegmentId);
        }
        Dictionary next = *dictionaryAt(predecessor, keys::next);
        Value transition = next.get(existingId);
        static_cast<void>(next.erase(existingId));
        next.set(newSegmentId, std::move(transition));
    }

    Dictionary segment =
        edits_->makeInsertedSegment(existing, viewableId, startTimeSeconds, endTimeSeconds, params);
    Dictionary segments = edits_->segmentsDictionary();
    edits_->insertSegmentEntry(segments, newSegmentId, segment);
    segment.set(keys::defaultNext, existingId);
    segment.set(keys::next, Dictionary{{existingId, newTransition()}});
    if (stringAtEquals(playgraphDictionary_, keys::initialSegment, existingId)) {
        playgraphDictionary_.set(keys::initialSegment, newSegmentId);
    }
    edits_->refresh();
    scope.completed([&] { return "insert " + newSegmentId + " before " + existingId; });
}

void MutablePlaygraph::splitSegment(const std::string& segmentId, double atOffset,
                                    const std::string& firstSegmentId,
                                    const std::string& secondSegmentId) {
    Edits::Scope scope(*this);
    if (firstSegmentId == secondSegmentId) fail("Split segments must have different names");
    if (firstSegmentId != segmentId && edits_->isSegmentIdTaken(firstSegmentId)) {
        fail(segmentAlreadyExists(firstSegmentId));
    }
    if (secondSegmentId != segmentId && edits_->isSegmentIdTaken(secondSegmentId)) {
        fail(segmentAlreadyExists(secondSegmentId));
    }
    Dictionary split = edits_->requireSegment(segmentId);
    requireFinite("offset", atOffset);

    Dictionary segments = *dictionaryAt(playgraphDictionary_, keys::segments);
    const int64_t boundary =
        saturatingAdd(startMilliseconds(split), millisecondsFromSeconds(atOffset));
    const auto defaultNext = stringAt(split, keys::defaultNext);
    const auto next = dictionaryAt(split, keys::next);

    // Which half goes on under the split segment's id, if either.
    enum class KeptId { ByFirstHalf, BySecondHalf, ByNeither };
    const KeptId kept = firstSegmentId == segmentId    ? KeptId::ByFirstHalf
                        : secondSegmentId == segmentId ? KeptId::BySecondHalf
                                                       : KeptId::ByNeither;

    // A new first half (unless the split segment stays as it): the start of
    // the split segment up to the boundary, leading to `leadsTo` only.
    const auto makeFirstHalf = [&](const std::string& leadsTo) {
        Dictionary first;
        copyEntry(split, first, keys::viewableId);
        copyEntry(split, first, keys::main);
        copyEntry(split, first, keys::startTimeMs);
        first.set(keys::endTimeMs, boundary);
        copyEntry(split, first, keys::userInfo);
        first.set(keys::defaultNext, leadsTo);
        edits_->insertSegmentEntry(segments, firstSegmentId, first);
        first.set(keys::next, Dictionary{{leadsTo, newTransition()}});
    };
    // A new second half (unless the split segment stays as it): the
    // boundary up to the end of the split segment, with everything that led
    // out of it.
    const auto makeSecondHalf = [&](bool withMain) {
        Dictionary second;
        copyEntry(split, second, keys::viewableId);
        if (withMain) copyEntry(split, second, keys::main);
        second.set(keys::startTimeMs, boundary);
        copyEntry(split, second, keys::endTimeMs);
        copyEntry(split, second, keys::userInfo);
        if (defaultNext) second.set(keys::defaultNext, *defaultNext);
        if (next) second.set(keys::next, *next);
        edits_->insertSegmentEntry(segments, secondSegmentId, second);
    };

    switch (kept) {
    case KeptId::ByFirstHalf:
        // The split segment becomes the first half; what leads to it stays.
        makeSecondHalf(true);
        edits_->touchSegment(segmentId);
        split.set(keys::defaultNext, secondSegmentId);
        split.set(keys::next, Dictionary{{secondSegmentId, newTransition()}});
        split.set(keys::endTimeMs, boundary);
        break;
    case KeptId::BySecondHalf:
        // The split segment becomes the second half and keeps its outgoing
        // transitions; what led to it now leads to the new first half.
        makeFirstHalf(segmentId);
        edits_->touchSegment(segmentId);
        split.set(keys::startTimeMs, boundary);
        replaceSegmentReferencesFor(segmentId, firstSegmentId);
        break;
    case KeptId::ByNeither:
        makeFirstHalf(secondSegmentId);
        makeSecondHalf(false);
        edits_->eraseSegmentEntry(segments, segmentId);
        // Also redirects the second half's references to the split segment
        // (a former transition of the split segment to itself).
        replaceSegmentReferencesFor(segmentId, firstSegmentId);
        break;
    }
    edits_->refresh();
    scope.completed([&] { return "split " + segmentId + " at " + labelSeconds(atOffset); });
}

void MutablePlaygraph::removeSegment(const std::string& segmentId) {
    Edits::Scope scope(*this);
    Dictionary removed = edits_->requireSegment(segmentId);
    const auto removedNext = dictionaryAt(removed, keys::next);
    const std::size_t outgoing = removedNext ? removedNext->size() : 0;
    // The removed segment counts as its own predecessor when it leads to itself.
    const std::vector<Edits::SegmentRef> predecessors = edits_->referringSegments(segmentId, false);
    if (predecessors.size() >= 2 && outgoing >= 2) {
        fail("Cannot remove segment " + segmentId +
             ". A segment with multiple incoming transitions and multiple outgoing transitions "
             "cannot be removed.");
    }

    Dictionary segments = edits_->segmentsDictionary();
    // Where the transitions into the removed segment lead from now on: its
    // "defaultNext" when that names another segment, even a missing one (the
    // reference already named no segment; moving it keeps the transitions'
    // properties). Without one they are dropped, so no reference to the
    // removed segment remains.
    std::optional<std::string> target = stringAt(removed, keys::defaultNext);
    if (target == segmentId) target.reset();

    for (auto [predecessorId, predecessor] : predecessors) {
        // The removed segment's own dictionary needs no rewiring.
        if (predecessor.sameAs(removed)) continue;
        edits_->touchSegment(predecessorId);
        if (stringAtEquals(predecessor, keys::defaultNext, segmentId)) {
            if (target) {
                predecessor.set(keys::defaultNext, *target);
            } else {
                static_cast<void>(predecessor.erase(keys::defaultNext));
            }
        }
        Dictionary next = *dictionaryAt(predecessor, keys::next);
        Value transition = next.get(segmentId);
        static_cast<void>(next.erase(segmentId));
        if (target) next.set(*target, std::move(transition));
    }

    // A single predecessor also takes over the transitions it lacks; a
    // transition it already has wins. Transitions back to the removed
    // segment are not taken over.
    if (predecessors.size() == 1 && !predecessors.front().segment.sameAs(removed) && removedNext) {
        Dictionary next = *dictionaryAt(predecessors.front().segment, keys::next);
        for (const auto& [destination, transition] : *removedNext) {
            if (destination == segmentId) continue;
            if (!next.contains(destination)) next.set(destination, transition);
        }
    }

    if (stringAtEquals(playgraphDictionary_, keys::initialSegment, segmentId)) {
        if (target) {
            playgraphDictionary_.set(keys::initialSegment, *target);
        } else {
            static_cast<void>(playgraphDictionary_.erase(keys::initialSegment));
        }
    }
    edits_->eraseSegmentEntry(segments, segmentId);
    edits_->refresh();
    scope.completed([&] { return "remove " + segmentId; });
}

} // namespace playgraph::inline v1
