#include "playgraph/editing/MutablePlaygraph.hpp"

#include <algorithm>

#include "../model/NameTable.hpp"
#include "EditingSupport.hpp"
#include "playgraph/Constants.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/platform/Uuid.hpp"

namespace playgraph::inline v1 {

using namespace editing;

std::shared_ptr<MutablePlaygraph> MutablePlaygraph::create(const Value& dictionary,
                                                           const Value& defaultViewableId) {
    std::shared_ptr<MutablePlaygraph> playgraph(new MutablePlaygraph());
    playgraph->initialize(dictionary, defaultViewableId);
    return playgraph;
}

void MutablePlaygraph::initialize(const Value& dictionary, const Value& defaultViewableId) {
    playgraphDictionary_ = dictionary.dictionary() ? dictionary.dictionary()->copy() : Dictionary();
    defaultViewableId_ = defaultViewableId;
    // The id is never written into the dictionary, so a playgraph built
    // from this one's representation gets an id of its own.
    auto id = stringAt(playgraphDictionary_, keys::playgraphId);
    playgraphId_ = id ? std::move(*id) : makeUuidString();
    idForSegments_ = std::make_shared<const std::string>(playgraphId_);
    mainViewableId_ = Value();
    configProvider_ = PlatformConfigProvider::shared();
    load();
}

std::shared_ptr<const PlatformConfigProvider> MutablePlaygraph::configProviderForBuilding() const {
    return configProvider_ ? configProvider_ : PlatformConfigProvider::shared();
}

void MutablePlaygraph::load() {
    // "type" is read before the segments: building depends on it.
    initialSegmentId_ = stringAt(playgraphDictionary_, keys::initialSegment);
    type_ = stringAt(playgraphDictionary_, keys::type);
    Value segments = playgraphDictionary_.get(keys::segments);
    // Room for the segments that edits add: the first insertion then does
    // not move every entry.
    if (Dictionary* all = segments.dictionary()) all->reserve(all->size() + all->size() / 4 + 16);
    buildSegmentMap(segments, defaultViewableId_);
    oddReferrers_.clear();
    hasMain_.clear();
    mainCount_ = 0;
    if (const Dictionary* all = segments.dictionary()) {
        for (const auto& [id, value] : *all) {
            if (const Dictionary* segment = value.dictionary()) {
                noteReferences(internName(id), *segment);
            }
        }
    }
    pending_ = Pending();
    modelStale_ = false;
    calculateDefaultPathDuration();
}

void MutablePlaygraph::noteReferences(uint32_t name, const Dictionary& segment) {
    // The index knows the transitions (dictionary entries of "next") and the
    // default next; entries of "next" that are not transitions still make a
    // predecessor, so the few segments that have them are kept apart.
    bool odd = false;
    if (const Value* next = segment.find(keys::next)) {
        if (const Dictionary* transitions = next->dictionary()) {
            for (const auto& [target, transition] : *transitions)
                odd = odd || !transition.isDictionary();
        }
    }
    if (odd) {
        oddReferrers_.insert(name);
    } else if (!oddReferrers_.empty()) {
        oddReferrers_.erase(name);
    }
    if (hasMain_.size() <= name) hasMain_.resize(nameCount() + nameCount() / 4 + 16, 0);
    const Value* main = segment.find(keys::main);
    const uint8_t withMain = main && main->isNumber() ? 1 : 0;
    mainCount_ = mainCount_ - hasMain_[name] + withMain;
    hasMain_[name] = withMain;
}

Dictionary MutablePlaygraph::segmentsDictionary() const {
    return *dictionaryAt(playgraphDictionary_, keys::segments);
}

void MutablePlaygraph::touchSegment(const std::string& id) {
    if (recorder_) recorder_->willChangeSegment(id);
    markForRebuild(id);
}

void MutablePlaygraph::markForRebuild(const std::string& id) {
    const uint32_t name = internName(id);
    if (pending_.mark.size() <= name) pending_.mark.resize(nameCount(), 0);
    if (pending_.mark[name] == 0) {
        pending_.mark[name] = 1;
        pending_.touched.push_back(name);
    }
}

void MutablePlaygraph::insertSegmentEntry(Dictionary& segments, const std::string& id,
                                          Dictionary segment) {
    touchSegment(id);
    pending_.inserted.push_back(findName(id));
    segments.set(id, std::move(segment));
}

void MutablePlaygraph::eraseSegmentEntry(Dictionary& segments, const std::string& id) {
    touchSegment(id);
    pending_.mark[findName(id)] = 2;
    static_cast<void>(segments.erase(id));
}

std::vector<MutablePlaygraph::SegmentRef>
MutablePlaygraph::referringSegments(const std::string& id, bool orByDefaultNext) {
    std::vector<SegmentRef> out;
    const auto segments = dictionaryAt(playgraphDictionary_, keys::segments);
    if (!segments) return out;
    // Candidates: the segments the index says name `id`, those with "next"
    // entries that are not transitions, and those changed since they were
    // last read; each is checked against its dictionary. Without an index
    // that describes the dictionary, every segment is a candidate.
    std::vector<uint32_t> candidates;
    if (pending_.full) {
        for (const auto& [candidateId, value] : *segments)
            candidates.push_back(internName(candidateId));
    } else {
        segmentsNaming(findName(id), candidates);
        candidates.insert(candidates.end(), oddReferrers_.begin(), oddReferrers_.end());
        candidates.insert(candidates.end(), pending_.touched.begin(), pending_.touched.end());
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    }
    for (const uint32_t candidate : candidates) {
        const std::string_view candidateId = nameOf(candidate);
        const Value* value = segments->find(candidateId);
        const Dictionary* segment = value ? value->dictionary() : nullptr;
        if (!segment) continue;
        const auto next = dictionaryAt(*segment, keys::next);
        const bool byNext = next && next->contains(id);
        if (byNext || (orByDefaultNext && stringAtEquals(*segment, keys::defaultNext, id))) {
            out.push_back({std::string(candidateId), *segment});
        }
    }
    return out;
}

void MutablePlaygraph::refresh() {
    // Inside a transaction the model catches up once, when it ends or when
    // something reads it.
    if (recorder_) {
        modelStale_ = true;
        return;
    }
    refreshNow();
}

void MutablePlaygraph::bringModelUpToDate() { refreshNow(); }

void MutablePlaygraph::refreshNow() {
    modelStale_ = false;
    if (pending_.full) {
        load();
        return;
    }
    std::optional<std::string> initial = stringAt(playgraphDictionary_, keys::initialSegment);
    // Edits away from the default path leave it, its duration and offsets
    // as they are; a change on it is walked from where it starts.
    const PathPlan plan = planDefaultPath(pending_.touched, initial);
    initialSegmentId_ = std::move(initial);
    type_ = stringAt(playgraphDictionary_, keys::type);
    const auto segments = dictionaryAt(playgraphDictionary_, keys::segments);
    const auto entryOf = [&](uint32_t name) -> std::optional<Dictionary> {
        return segments ? dictionaryAt(*segments, nameOf(name)) : std::nullopt;
    };
    const auto rebuild = [&](uint32_t name, const Dictionary& segment) {
        const std::string id(nameOf(name));
        putSegment(id, buildSegment(id, Value(segment), defaultViewableId_, false));
        noteReferences(name, segment);
    };
    // Erased entries leave the map; one erased and inserted again goes
    // last, as in the dictionary.
    for (const uint32_t name : pending_.touched) {
        if (pending_.mark[name] == 2 || !entryOf(name)) {
            const std::string id(nameOf(name));
            if (segmentMap_.contains(id)) dropSegment(id);
            if (name < hasMain_.size() && hasMain_[name]) {
                --mainCount_;
                hasMain_[name] = 0;
            }
        }
    }
    for (const uint32_t name : pending_.touched) {
        if (!segmentMap_.contains(nameOf(name))) continue;
        if (auto segment = entryOf(name)) rebuild(name, *segment);
    }
    // New entries in the order they were inserted (the last insertion counts).
    std::vector<uint32_t> order;
    for (auto it = pending_.inserted.rbegin(); it != pending_.inserted.rend(); ++it) {
        if (pending_.mark[*it] == 3) continue;
        pending_.mark[*it] = 3;
        order.push_back(*it);
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (segmentMap_.contains(nameOf(*it))) continue;
        if (auto segment = entryOf(*it)) rebuild(*it, *segment);
    }
    for (const uint32_t name : pending_.touched)
        pending_.mark[name] = 0;
    pending_.touched.clear();
    pending_.inserted.clear();
    askAboutMainAsARebuildWould();
    updateDefaultPath(plan);
}

void MutablePlaygraph::askAboutMainAsARebuildWould() {
    if (mainCount_ == 0) return;
    const auto provider = configProviderForBuilding();
    if (!mainViewableId_.isNone()) {
        // The answers can no longer change anything; the questions are asked.
        for (std::size_t i = 0; i < mainCount_; ++i)
            provider->isFlagTrue(UseMainViewableIdInPlaygraphFlag, true);
        return;
    }
    for (const auto& [id, value] : segmentsDictionary()) {
        const Dictionary* segment = value.dictionary();
        const Value* main = segment ? segment->find(keys::main) : nullptr;
        if (!main || !main->isNumber()) continue;
        if (provider->isFlagTrue(UseMainViewableIdInPlaygraphFlag, true) &&
            mainViewableId_.isNone()) {
            mainViewableId_ = *main;
        }
    }
}

void MutablePlaygraph::segmentDidChange(PlaygraphSegment& segment, bool links) {
    PlaygraphBase::segmentDidChange(segment, links);
    // A segment changed by a caller is rebuilt at the next edit, as a full
    // rebuild would.
    if (findSegment(segment.segmentId()) == &segment) markForRebuild(segment.segmentId());
}

void MutablePlaygraph::didReplaceSegmentMap() { pending_.full = true; }

std::shared_ptr<MutablePlaygraph>
MutablePlaygraph::createPlaygraphWithViewableId(const Value& viewableId,
                                                const std::string& segmentId,
                                                double startTimeSeconds, double endTimeSeconds) {
    requireFinite("startTime", startTimeSeconds);
    requireFinite("endTime", endTimeSeconds);
    requireViewableId(viewableId);
    Dictionary segment;
    if (viewableId.isNumber()) segment.set(keys::viewableId, viewableId);
    segment.set(keys::startTimeMs, millisecondsFromSeconds(startTimeSeconds));
    segment.set(keys::endTimeMs, millisecondsFromSeconds(endTimeSeconds));
    Dictionary segments;
    segments.set(segmentId, segment);
    Dictionary dictionary;
    dictionary.set(keys::initialSegment, segmentId);
    dictionary.set(keys::segments, segments);
    // Always the base class, also when reached through a subclass.
    return MutablePlaygraph::create(dictionary, viewableId);
}

bool MutablePlaygraph::addPlaygraphParams(const std::shared_ptr<QZPlaygraphParams>& params,
                                          Dictionary& segment) {
    if (!params) return false;
    Dictionary userInfo;
    if (const Value* existing = segment.find(MutablePlaygraphUserInfoKey)) {
        if (!existing->isDictionary()) return false;
        userInfo = existing->dictionary()->copy();
    }
    userInfo.set(PlaygraphSegmentUserInfoPlaygraphParamsKey, Value(params));
    segment.set(MutablePlaygraphUserInfoKey, userInfo);
    return true;
}

void MutablePlaygraph::replaceSegmentReferencesFor(const std::string& oldId,
                                                   const std::string& newId) {
    EditScope scope(*this);
    if (stringAtEquals(playgraphDictionary_, keys::initialSegment, oldId)) {
        playgraphDictionary_.set(keys::initialSegment, newId);
    }
    for (auto& [id, segment] : referringSegments(oldId, true)) {
        if (id == oldId || id == newId) continue;
        touchSegment(id);
        if (stringAtEquals(segment, keys::defaultNext, oldId)) {
            segment.set(keys::defaultNext, newId);
        }
        if (auto next = dictionaryAt(segment, keys::next)) {
            if (const Value* transition = next->find(oldId)) {
                Value moved = *transition;
                static_cast<void>(next->erase(oldId));
                next->set(newId, std::move(moved));
            }
        }
    }
    scope.completed([&] { return "redirect references from " + oldId + " to " + newId; });
}

std::vector<Dictionary>
MutablePlaygraph::findSegmentsWithNextContainsSegment(std::string_view segmentId) const {
    std::vector<Dictionary> out;
    auto segments = dictionaryAt(playgraphDictionary_, keys::segments);
    if (!segments) return out;
    for (const auto& [id, value] : *segments) {
        const Dictionary* segment = value.dictionary();
        if (!segment) continue;
        auto next = dictionaryAt(*segment, keys::next);
        if (next && next->contains(segmentId)) out.push_back(*segment);
    }
    return out;
}

Dictionary MutablePlaygraph::dictionaryRepresentation() const {
    return playgraphDictionary_.copy();
}

std::optional<std::vector<std::string>> MutablePlaygraph::allSegmentIds() const {
    auto segments = dictionaryAt(playgraphDictionary_, keys::segments);
    if (!segments) return std::nullopt;
    return segments->keys();
}

std::optional<Dictionary> MutablePlaygraph::segmentDictionary(std::string_view segmentId) const {
    auto segments = dictionaryAt(playgraphDictionary_, keys::segments);
    if (!segments) return std::nullopt;
    return dictionaryAt(*segments, segmentId);
}

Dictionary MutablePlaygraph::requireSegment(const std::string& segmentId) const {
    auto segment = segmentDictionary(segmentId);
    if (!segment) fail(cannotFindSegment(segmentId));
    return *segment;
}

bool MutablePlaygraph::isSegmentIdTaken(std::string_view segmentId) const {
    auto segments = dictionaryAt(playgraphDictionary_, keys::segments);
    return segments && segments->contains(segmentId);
}

} // namespace playgraph::inline v1
