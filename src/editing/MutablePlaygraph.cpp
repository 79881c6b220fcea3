#include "playgraph/editing/MutablePlaygraph.hpp"

#include <algorithm>

#include "editing/EditingState.hpp"
#include "editing/EditingSupport.hpp"
#include "playgraph/Constants.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/platform/Uuid.hpp"

namespace playgraph::inline v1 {

using namespace editing;
using detail::EditMark;

MutablePlaygraph::MutablePlaygraph()
    : PlaygraphBase(Flavor::Editable), edits_(std::make_unique<Edits>(*this)) {
    detail::ModelAccess::state(*this).upkeep = edits_.get();
}

MutablePlaygraph::~MutablePlaygraph() = default;

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
    auto& model = detail::ModelAccess::state(*this);
    model.idForSegments = std::make_shared<const std::string>(playgraphId_);
    mainViewableId_ = Value();
    // The provider obtained once, at construction.
    model.configProvider = PlatformConfigProvider::shared();
    load();
}

void MutablePlaygraph::load() {
    // "type" is read before the segments: building depends on it.
    initialSegmentId_ = stringAt(playgraphDictionary_, keys::initialSegment);
    type_ = stringAt(playgraphDictionary_, keys::type);
    Value segments = playgraphDictionary_.get(keys::segments);
    // Room for the segments that edits add: the first insertion then does
    // not move every entry.
    if (Dictionary* all = segments.dictionary()) all->reserve(all->size() + all->size() / 4 + 16);
    auto& model = detail::ModelAccess::state(*this);
    model.buildSegmentMap(segments, defaultViewableId_);
    Edits& edits = *edits_;
    edits.oddReferrers.clear();
    edits.hasMain.clear();
    edits.mainCount = 0;
    if (const Dictionary* all = segments.dictionary()) {
        for (const auto& [id, value] : *all) {
            if (const Dictionary* segment = value.dictionary()) {
                edits.noteReferences(model.internName(id), *segment);
            }
        }
    }
    edits.pending = Edits::Pending();
    model.modelStale = false;
    calculateDefaultPathDuration();
}

void MutablePlaygraph::Edits::noteReferences(uint32_t name, const Dictionary& segment) {
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
        oddReferrers.insert(name);
    } else if (!oddReferrers.empty()) {
        oddReferrers.erase(name);
    }
    if (hasMain.size() <= name)
        hasMain.resize(model().nameCount() + model().nameCount() / 4 + 16, 0);
    const Value* main = segment.find(keys::main);
    const uint8_t withMain = main && main->isNumber() ? 1 : 0;
    mainCount = mainCount - hasMain[name] + withMain;
    hasMain[name] = withMain;
}

Dictionary MutablePlaygraph::Edits::segmentsDictionary() const {
    return *dictionaryAt(p.playgraphDictionary_, keys::segments);
}

void MutablePlaygraph::Edits::touchSegment(const std::string& id) {
    if (recorder) recorder->willChangeSegment(id);
    markForRebuild(id);
}

void MutablePlaygraph::Edits::markForRebuild(const std::string& id) {
    const uint32_t name = model().internName(id);
    if (pending.mark.size() <= name) pending.mark.resize(model().nameCount(), EditMark::Untouched);
    if (pending.mark[name] == EditMark::Untouched) {
        pending.mark[name] = EditMark::Touched;
        pending.touched.push_back(name);
    }
}

void MutablePlaygraph::Edits::insertSegmentEntry(Dictionary& segments, const std::string& id,
                                                 Dictionary segment) {
    touchSegment(id);
    pending.inserted.push_back(model().findName(id));
    segments.set(id, std::move(segment));
}

void MutablePlaygraph::Edits::eraseSegmentEntry(Dictionary& segments, const std::string& id) {
    touchSegment(id);
    pending.mark[model().findName(id)] = EditMark::Erased;
    static_cast<void>(segments.erase(id));
}

std::vector<MutablePlaygraph::Edits::SegmentRef>
MutablePlaygraph::Edits::referringSegments(const std::string& id, bool orByDefaultNext) {
    std::vector<SegmentRef> out;
    const auto segments = dictionaryAt(p.playgraphDictionary_, keys::segments);
    if (!segments) return out;
    // Candidates: the segments the index says name `id`, those with "next"
    // entries that are not transitions, and those changed since they were
    // last read; each is checked against its dictionary. Without an index
    // that describes the dictionary, every segment is a candidate.
    std::vector<uint32_t> candidates;
    if (pending.full) {
        for (const auto& [candidateId, value] : *segments)
            candidates.push_back(model().internName(candidateId));
    } else {
        model().segmentsNaming(model().findName(id), candidates);
        candidates.insert(candidates.end(), oddReferrers.begin(), oddReferrers.end());
        candidates.insert(candidates.end(), pending.touched.begin(), pending.touched.end());
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    }
    for (const uint32_t candidate : candidates) {
        const std::string_view candidateId = model().nameOf(candidate);
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

void MutablePlaygraph::Edits::refresh() {
    // Inside a transaction the model catches up once, when it ends or when
    // something reads it.
    if (recorder) {
        model().modelStale = true;
        return;
    }
    refreshNow();
}

void MutablePlaygraph::Edits::bringModelUpToDate() { refreshNow(); }

void MutablePlaygraph::Edits::refreshNow() {
    model().modelStale = false;
    if (pending.full) {
        p.load();
        return;
    }
    std::optional<std::string> initial = stringAt(p.playgraphDictionary_, keys::initialSegment);
    // Edits away from the default path leave it, its duration and offsets
    // as they are; a change on it is walked from where it starts.
    const detail::PathPlan plan = model().planDefaultPath(pending.touched, initial);
    p.initialSegmentId_ = std::move(initial);
    p.type_ = stringAt(p.playgraphDictionary_, keys::type);
    const auto segments = dictionaryAt(p.playgraphDictionary_, keys::segments);
    const auto entryOf = [&](uint32_t name) -> std::optional<Dictionary> {
        return segments ? dictionaryAt(*segments, model().nameOf(name)) : std::nullopt;
    };
    const auto rebuild = [&](uint32_t name, const Dictionary& segment) {
        const std::string id(model().nameOf(name));
        model().putSegment(id,
                           model().buildSegment(id, Value(segment), p.defaultViewableId_, false));
        noteReferences(name, segment);
    };
    // Erased entries leave the map; one erased and inserted again goes
    // last, as in the dictionary.
    for (const uint32_t name : pending.touched) {
        if (pending.mark[name] == EditMark::Erased || !entryOf(name)) {
            const std::string id(model().nameOf(name));
            if (p.segmentMap_.contains(id)) model().dropSegment(id);
            if (name < hasMain.size() && hasMain[name]) {
                --mainCount;
                hasMain[name] = 0;
            }
        }
    }
    for (const uint32_t name : pending.touched) {
        if (!p.segmentMap_.contains(model().nameOf(name))) continue;
        if (auto segment = entryOf(name)) rebuild(name, *segment);
    }
    // New entries in the order they were inserted (the last insertion counts).
    std::vector<uint32_t> order;
    for (auto it = pending.inserted.rbegin(); it != pending.inserted.rend(); ++it) {
        if (pending.mark[*it] == EditMark::Placed) continue;
        pending.mark[*it] = EditMark::Placed;
        order.push_back(*it);
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (p.segmentMap_.contains(model().nameOf(*it))) continue;
        if (auto segment = entryOf(*it)) rebuild(*it, *segment);
    }
    for (const uint32_t name : pending.touched)
        pending.mark[name] = EditMark::Untouched;
    pending.touched.clear();
    pending.inserted.clear();
    askAboutMainAsARebuildWould();
    model().updateDefaultPath(plan);
}

void MutablePlaygraph::Edits::askAboutMainAsARebuildWould() {
    if (mainCount == 0) return;
    const auto provider = model().configProviderForBuilding();
    if (!p.mainViewableId_.isNone()) {
        // The answers can no longer change anything; the questions are asked.
        for (std::size_t i = 0; i < mainCount; ++i)
            provider->isFlagTrue(UseMainViewableIdInPlaygraphFlag, true);
        return;
    }
    for (const auto& [id, value] : segmentsDictionary()) {
        const Dictionary* segment = value.dictionary();
        const Value* main = segment ? segment->find(keys::main) : nullptr;
        if (!main || !main->isNumber()) continue;
        if (provider->isFlagTrue(UseMainViewableIdInPlaygraphFlag, true) &&
            p.mainViewableId_.isNone()) {
            p.mainViewableId_ = *main;
        }
    }
}

void MutablePlaygraph::Edits::segmentDidChange(PlaygraphSegment& segment, bool) {
    // A segment changed by a caller is rebuilt at the next edit, as a full
    // rebuild would.
    if (model().findSegment(segment.segmentId()) == &segment) markForRebuild(segment.segmentId());
}

void MutablePlaygraph::Edits::didReplaceSegmentMap() { pending.full = true; }

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
    Edits::Scope scope(*this);
    if (stringAtEquals(playgraphDictionary_, keys::initialSegment, oldId)) {
        playgraphDictionary_.set(keys::initialSegment, newId);
    }
    for (auto& [id, segment] : edits_->referringSegments(oldId, true)) {
        if (id == oldId || id == newId) continue;
        edits_->touchSegment(id);
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

std::optional<Dictionary>
MutablePlaygraph::Edits::segmentDictionary(std::string_view segmentId) const {
    auto segments = dictionaryAt(p.playgraphDictionary_, keys::segments);
    if (!segments) return std::nullopt;
    return dictionaryAt(*segments, segmentId);
}

Dictionary MutablePlaygraph::Edits::requireSegment(const std::string& segmentId) const {
    auto segment = segmentDictionary(segmentId);
    if (!segment) fail(cannotFindSegment(segmentId));
    return *segment;
}

void detail::EditingAccess::restoreEntries(
    MutablePlaygraph& p, const std::vector<std::string>& ids,
    const std::function<void(Dictionary&, std::size_t)>& restore, const Value& initial) {
    MutablePlaygraph::Edits& edits = *p.edits_;
    Dictionary segments = edits.segmentsDictionary();
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const bool wasThere = segments.contains(ids[i]);
        edits.markForRebuild(ids[i]);
        restore(segments, i);
        // An entry put back goes last in "segments", as an insertion does.
        if (!wasThere && segments.contains(ids[i]))
            edits.pending.inserted.push_back(edits.model().findName(ids[i]));
    }
    if (initial.isNone()) {
        static_cast<void>(p.playgraphDictionary_.erase(keys::initialSegment));
    } else {
        p.playgraphDictionary_.set(keys::initialSegment, initial);
    }
    edits.refreshNow();
}

bool MutablePlaygraph::Edits::isSegmentIdTaken(std::string_view segmentId) const {
    auto segments = dictionaryAt(p.playgraphDictionary_, keys::segments);
    return segments && segments->contains(segmentId);
}

} // namespace playgraph::inline v1
