#include "playgraph/model/PlaygraphBase.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "Compat.hpp"
#include "DictionaryFormat.hpp"
#include "model/DefaultPathWalk.hpp"
#include "model/FindEach.hpp"
#include "model/ModelAccess.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"

namespace playgraph::inline v1 {

using detail::GraphIndex;
using detail::kNoName;
using detail::OffsetMark;

PlaygraphBase::PlaygraphBase(Flavor flavor)
    : state_(std::make_unique<State>(*this)), flavor_(flavor) {}

PlaygraphBase::~PlaygraphBase() = default;

const std::optional<std::string>& PlaygraphBase::initialSegmentId() const {
    state_->ensureCurrent();
    return initialSegmentId_;
}

const std::optional<std::string>& PlaygraphBase::type() const {
    state_->ensureCurrent();
    return type_;
}

const Value& PlaygraphBase::mainViewableId() const {
    state_->ensureCurrent();
    return mainViewableId_;
}

double PlaygraphBase::duration() const {
    state_->ensureCurrent();
    return duration_;
}

const SegmentMap& PlaygraphBase::segmentMap() const {
    state_->ensureCurrent();
    return segmentMap_;
}

void PlaygraphBase::calculateDefaultPathDuration() { state_->calculateDefaultPathDuration(); }

PlaygraphSegment* PlaygraphBase::State::findSegment(std::string_view id) const {
    const auto* entry = g.segmentMap_.find(id);
    return entry ? entry->get() : nullptr;
}

std::shared_ptr<QZPlaygraphSegment> PlaygraphBase::segmentById(std::string_view segmentId) const {
    state_->ensureCurrent();
    const auto* entry = segmentMap_.find(segmentId);
    return entry ? *entry : nullptr;
}

std::shared_ptr<QZPlaygraphSegment>
PlaygraphBase::defaultNextSegment(const QZPlaygraphSegment& segment) const {
    state_->ensureCurrent();
    const GraphIndex& index = state_->index;
    const auto* own = dynamic_cast<const PlaygraphSegment*>(&segment);
    if (own && index.trusted() && own->slot_ < index.slots.size() &&
        index.slots[own->slot_].segment == own) {
        const uint32_t slot = index.slotOf(index.slots[own->slot_].defaultNext);
        return slot == GraphIndex::kNoSlot ? nullptr : index.handles[slot];
    }
    const auto& next = segment.defaultNext();
    return next ? segmentById(*next) : nullptr;
}

// ---- The index -------------------------------------------------------------

void PlaygraphBase::State::segmentsNaming(uint32_t name, std::vector<uint32_t>& out) const {
    if (name == kNoName) return;
    const uint32_t* children = index.children.data();
    for (const GraphIndex::Slot& slot : index.slots) {
        if (!slot.segment) continue;
        for (uint32_t i = 0; i < slot.childCount; ++i) {
            if (children[slot.childBegin + i] == name) {
                out.push_back(slot.name);
                break;
            }
        }
    }
}

void PlaygraphBase::State::indexLinks(uint32_t slot) {
    GraphIndex::Slot& entry = index.slots[slot];
    const PlaygraphSegment& segment = *entry.segment;
    index.childGarbage += entry.childCount;
    // Compact the children's storage once most of it is unused.
    if (index.childGarbage > 4096 && index.childGarbage * 2 > index.children.size()) {
        std::vector<uint32_t> kept;
        kept.reserve(index.children.size() - index.childGarbage);
        for (auto& other : index.slots) {
            if (!other.segment || &other == &entry) continue;
            const auto begin = index.children.begin() + other.childBegin;
            other.childBegin = static_cast<uint32_t>(kept.size());
            kept.insert(kept.end(), begin, begin + other.childCount);
        }
        index.children = std::move(kept);
        index.childGarbage = 0;
    }
    const auto& defaultNext = segment.defaultNext();
    entry.defaultNext = defaultNext ? index.names.intern(*defaultNext) : kNoName;
    entry.childBegin = static_cast<uint32_t>(index.children.size());
    if (defaultNext) index.children.push_back(entry.defaultNext);
    for (const auto& [id, transition] : segment.next()) {
        if (!defaultNext || id != *defaultNext) index.children.push_back(index.names.intern(id));
    }
    entry.childCount = static_cast<uint32_t>(index.children.size() - entry.childBegin);
    if (index.slotOfName.size() < index.names.size()) {
        index.slotOfName.resize(index.names.size(), GraphIndex::kNoSlot);
    }
}

void PlaygraphBase::State::putSegment(const std::string& id,
                                      std::shared_ptr<PlaygraphSegment> segment) {
    ++index.version;
    const uint32_t name = index.names.intern(id);
    if (index.slotOfName.size() < index.names.size()) {
        index.slotOfName.resize(index.names.size(), GraphIndex::kNoSlot);
    }
    uint32_t slot = index.slotOfName[name];
    if (slot != GraphIndex::kNoSlot) {
        GraphIndex::Slot& old = index.slots[slot];
        if (old.segment->slot_ == slot && old.segment->ownedBy(g)) {
            old.segment->slot_ = GraphIndex::kNoSlot;
        } else {
            --index.foreign;
        }
        index.childGarbage += old.childCount;
        old.childCount = 0;
    } else if (!index.freeSlots.empty()) {
        slot = index.freeSlots.back();
        index.freeSlots.pop_back();
    } else {
        slot = static_cast<uint32_t>(index.slots.size());
        index.slots.emplace_back();
        index.handles.emplace_back();
    }
    index.slotOfName[name] = slot;
    GraphIndex::Slot& entry = index.slots[slot];
    entry.segment = segment.get();
    entry.name = name;
    entry.childCount = 0;
    if (segment) {
        // The index follows only segments that tell this playgraph about
        // their changes and are entered under their own id, once.
        const bool own = segment->ownedBy(g) && segment->segmentId() == id &&
                         !(segment->slot_ < index.slots.size() &&
                           index.slots[segment->slot_].segment == segment.get());
        if (own) {
            segment->slot_ = slot;
        } else {
            ++index.foreign;
        }
        indexLinks(slot);
    }
    index.handles[slot] = segment;
    g.segmentMap_.set(id, std::move(segment));
}

void PlaygraphBase::State::dropSegment(const std::string& id) {
    ++index.version;
    static_cast<void>(g.segmentMap_.erase(id));
    const uint32_t slot = index.slotOf(index.names.find(id));
    if (slot == GraphIndex::kNoSlot) return;
    GraphIndex::Slot& entry = index.slots[slot];
    if (entry.segment) {
        if (entry.segment->slot_ == slot && entry.segment->ownedBy(g)) {
            entry.segment->slot_ = GraphIndex::kNoSlot;
        } else {
            --index.foreign;
        }
    } else {
        --index.foreign;
    }
    index.childGarbage += entry.childCount;
    index.slotOfName[entry.name] = GraphIndex::kNoSlot;
    entry = GraphIndex::Slot();
    index.handles[slot].reset();
    index.freeSlots.push_back(slot);
}

void PlaygraphBase::State::resetIndex() {
    for (const auto& [id, segment] : g.segmentMap_) {
        if (segment && segment->ownedBy(g)) segment->slot_ = GraphIndex::kNoSlot;
    }
    GraphIndex fresh;
    fresh.names = std::move(index.names);
    fresh.version = index.version + 1;
    index = std::move(fresh);
    for (const uint32_t name : offsetNames)
        offsetMark[name] = OffsetMark::Unset;
    offsetNames.clear();
    g.segmentMap_.clear();
}

void PlaygraphBase::setSegmentMap(SegmentMap map) {
    // Re-enters every segment, so that the index describes the new map.
    state_->resetIndex();
    segmentMap_.reserve(map.size());
    for (auto& [id, segment] : map)
        state_->putSegment(id, segment);
    if (state_->upkeep) state_->upkeep->didReplaceSegmentMap();
}

void PlaygraphBase::State::segmentDidChange(PlaygraphSegment& segment, bool links) {
    const uint32_t slot = segment.slot_;
    if (links && slot < index.slots.size() && index.slots[slot].segment == &segment) {
        ++index.version;
        indexLinks(slot);
        defaultPath.valid = false;
    }
    if (upkeep) upkeep->segmentDidChange(segment, links);
}

// ---- Building --------------------------------------------------------------

void PlaygraphBase::State::buildSegmentMap(const Value& segments, const Value& defaultViewableId) {
    resetIndex();
    const Dictionary* all = segments.dictionary();
    if (!all) return;
    // Room to grow: the first edits after a load should not reallocate.
    const std::size_t room = all->size() + all->size() / 4 + 16;
    g.segmentMap_.reserve(room);
    index.names.reserve(room);
    index.slots.reserve(room);
    index.handles.reserve(room);
    index.slotOfName.reserve(room);
    index.children.reserve(room + room / 2);
    // The segments go into one block and their transitions into another: an
    // allocation per chunk of them rather than per object, and one owner
    // count for every handle of each kind.
    buildingBlock = PlaygraphSegment::makeBlock(all->size());
    buildingTransitions = PlaygraphSegmentTransition::makeBlock();
    struct Done {
        State& self;
        ~Done() {
            self.buildingBlock.reset();
            self.buildingTransitions.reset();
        }
    } done{*this};
    for (const auto& [id, details] : *all) {
        // An entry that is not a segment dictionary is not a segment.
        if (!details.isDictionary()) continue;
        putSegment(id, buildSegment(id, details, defaultViewableId));
    }
    orderSlotsForWalks();
}

void PlaygraphBase::State::orderSlotsForWalks() {
    const std::size_t n = index.slots.size();
    if (n < 2 || !index.freeSlots.empty() || !index.trusted()) return;
    // The old slots in their new order: breadth first from the initial
    // segment along the children, then the rest as they were.
    std::vector<uint32_t> order;
    order.reserve(n);
    std::vector<uint8_t> placed(n);
    const auto place = [&](uint32_t slot) {
        if (slot == GraphIndex::kNoSlot || placed[slot]) return;
        placed[slot] = 1;
        order.push_back(slot);
    };
    if (g.initialSegmentId_) place(index.slotOf(index.names.find(*g.initialSegmentId_)));
    // Both passes below read the index in `order`, which is known some
    // steps ahead: fetching those entries early keeps several misses in
    // flight instead of one.
    constexpr std::size_t kAhead = 8;
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (i + kAhead < order.size()) {
            const GraphIndex::Slot& later = index.slots[order[i + kAhead]];
            __builtin_prefetch(index.children.data() + later.childBegin);
            if (i + 2 * kAhead < order.size())
                __builtin_prefetch(&index.slots[order[i + 2 * kAhead]]);
        }
        const GraphIndex::Slot& entry = index.slots[order[i]];
        for (uint32_t k = 0; k < entry.childCount; ++k)
            place(index.slotOf(index.children[entry.childBegin + k]));
    }
    for (uint32_t slot = 0; slot < n; ++slot)
        place(slot);

    std::vector<GraphIndex::Slot> slots;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> handles;
    std::vector<uint32_t> children;
    slots.reserve(index.slots.capacity());
    handles.reserve(index.handles.capacity());
    children.reserve(index.children.capacity());
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) {
            const GraphIndex::Slot& later = index.slots[order[i + kAhead]];
            __builtin_prefetch(index.children.data() + later.childBegin);
            __builtin_prefetch(&index.handles[order[i + kAhead]], 1);
            if (i + 2 * kAhead < n) __builtin_prefetch(&index.slots[order[i + 2 * kAhead]]);
        }
        const uint32_t from = order[i];
        GraphIndex::Slot entry = index.slots[from];
        const auto begin = index.children.begin() + entry.childBegin;
        entry.childBegin = static_cast<uint32_t>(children.size());
        children.insert(children.end(), begin, begin + entry.childCount);
        slots.push_back(entry);
        handles.push_back(std::move(index.handles[from]));
    }
    // Each segment and name learns its new slot, in the old slot order: the
    // segments were built, and sit in memory, in that order.
    std::vector<uint32_t> slotOf(n);
    for (uint32_t to = 0; to < n; ++to)
        slotOf[order[to]] = to;
    for (uint32_t from = 0; from < n; ++from) {
        const GraphIndex::Slot& entry = index.slots[from];
        index.slotOfName[entry.name] = slotOf[from];
        if (entry.segment) entry.segment->slot_ = slotOf[from];
    }
    index.slots = std::move(slots);
    index.handles = std::move(handles);
    index.children = std::move(children);
    index.childGarbage = 0;
}

std::shared_ptr<PlaygraphSegment> PlaygraphBase::State::buildSegment(const std::string& segmentId,
                                                                     const Value& details,
                                                                     const Value& defaultViewableId,
                                                                     bool askAboutMain) {
    static const Dictionary kEmpty;
    const Dictionary& d = details.dictionary() ? *details.dictionary() : kEmpty;

    // The entries a build reads, in one pass over the segment's dictionary.
    enum { kViewable, kStart, kEnd, kAnnotations, kUserInfo, kDefaultNext, kType, kNext, kMain };
    const auto found = detail::findEach<9>(d, {keys::viewableId, keys::startTimeMs, keys::endTimeMs,
                                               keys::annotations, keys::userInfo, keys::defaultNext,
                                               keys::transitionType, keys::next, keys::main});

    Value viewableId;
    if (const Value* v = found[kViewable]; v && v->isNumber()) {
        viewableId = *v;
    } else if (g.type_ && *g.type_ == keys::branchingType && defaultViewableId.isNumber()) {
        viewableId = defaultViewableId;
    }
    const double start = format::storedSeconds(found[kStart]).value_or(0.0);
    const double end = format::storedSeconds(found[kEnd]).value_or(-1.0);

    std::shared_ptr<PlaygraphSegment> segment = PlaygraphSegment::makeBlank(buildingBlock);
    segment->initialize(g.shared_from_this(), segmentId, std::move(viewableId), start, end,
                        std::numeric_limits<double>::quiet_NaN(),
                        format::dictionaryOf(found[kAnnotations]),
                        format::dictionaryOf(found[kUserInfo]));
    // Set directly: the segment is not in the map yet.
    segment->defaultNext_ = format::stringOf(found[kDefaultNext]);
    if (g.flavor_ == Flavor::Immutable) segment->transitionType_ = format::stringOf(found[kType]);
    if (const Value* next = found[kNext]; next && next->isDictionary()) {
        segment->next_ = buildTransitions(*next, segment);
    }
    if (!segment->defaultNext() && segment->next().size() == 1) {
        segment->defaultNext_ = segment->next().begin()->first;
    }
    if (const Value* main = found[kMain]; askAboutMain && main && main->isNumber()) {
        const bool useMain =
            configProviderForBuilding()->isFlagTrue(UseMainViewableIdInPlaygraphFlag, true);
        if (useMain && g.mainViewableId_.isNone()) g.mainViewableId_ = *main;
    }
    return segment;
}

TransitionMap
PlaygraphBase::State::buildTransitions(const Value& next,
                                       const std::shared_ptr<PlaygraphSegment>& sourceSegment) {
    TransitionMap out;
    const Dictionary* entries = next.dictionary();
    if (!entries) return out;
    out.reserve(entries->size());
    const auto self = g.shared_from_this();
    for (const auto& [destinationId, entry] : *entries) {
        if (!entry.isDictionary()) continue;
        auto transition =
            PlaygraphSegmentTransition::make(buildingTransitions, destinationId, entry);
        // Set directly: building is not a change made by a caller.
        transition->playgraph_ = self;
        transition->sourceSegment_ = sourceSegment;
        out.set(destinationId, std::move(transition));
    }
    return out;
}

// ---- The default path ------------------------------------------------------

void PlaygraphBase::State::collectDefaultPath(std::vector<PlaygraphSegment*>& out,
                                              std::vector<uint32_t>* names) const {
    if (!index.trusted()) {
        detail::walkDefaultPath(g.segmentMap_, g.initialSegmentId_, [&](PlaygraphSegment& segment) {
            out.push_back(&segment);
            return true;
        });
        return;
    }
    if (!g.initialSegmentId_) return;
    std::vector<bool> seen(index.slots.size());
    uint32_t slot = index.slotOf(index.names.find(*g.initialSegmentId_));
    while (slot != GraphIndex::kNoSlot && !seen[slot]) {
        seen[slot] = true;
        const GraphIndex::Slot& entry = index.slots[slot];
        out.push_back(entry.segment);
        if (names) names->push_back(entry.name);
        if (entry.defaultNext == kNoName) return;
        slot = index.slotOf(entry.defaultNext);
    }
}

PlaygraphSegment* PlaygraphBase::State::defaultPathEndWithoutNext() const {
    ensureCurrent();
    std::vector<PlaygraphSegment*> walked;
    const std::vector<PlaygraphSegment*>* path = &walked;
    if (const detail::DefaultPathCache* kept = currentDefaultPath()) {
        path = &kept->segments;
    } else {
        collectDefaultPath(walked);
    }
    if (path->empty() || path->back()->defaultNext()) return nullptr;
    return path->back();
}

void PlaygraphBase::State::calculateDefaultPathDuration() {
    detail::DefaultPathCache& path = defaultPath;
    // The segments along the path: as last walked when nothing that shapes
    // the path has changed since, else walked afresh.
    if (!currentDefaultPath()) {
        for (const uint32_t name : path.names)
            pathPosition[name] = detail::kNotOnPath;
        path = detail::DefaultPathCache();
        collectDefaultPath(path.segments, &path.names);
        path.loops = endsInLoop(path.segments);
        // Only segments that report their changes to this playgraph can be kept.
        path.valid = index.trusted();
        path.mapVersion = g.segmentMap_.version();
        path.initialSegmentId = g.initialSegmentId_;
        coverAllNames();
        for (std::size_t i = 0; i < path.names.size(); ++i) {
            const uint32_t name = path.names[i];
            pathPosition[name] = static_cast<uint32_t>(i);
            markOffsetSet(name);
        }
    }
    const std::size_t n = path.segments.size();
    path.durations.resize(n);
    path.decorative.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        path.durations[i] = path.segments[i]->segmentDuration();
        path.decorative[i] = path.segments[i]->isDecorativeSegment();
    }
    sumDefaultPath(0);
}

bool PlaygraphBase::State::endsInLoop(const std::vector<PlaygraphSegment*>& path) const {
    if (path.empty()) return false;
    const auto& next = path.back()->defaultNext();
    return next && findSegment(*next) != nullptr;
}

void PlaygraphBase::State::coverAllNames() {
    const std::size_t names = index.names.size();
    if (offsetMark.size() < names) offsetMark.resize(names);
    if (pathPosition.size() < names) pathPosition.resize(names, detail::kNotOnPath);
}

void PlaygraphBase::State::sumDefaultPath(std::size_t from) {
    detail::DefaultPathCache& path = defaultPath;
    const std::size_t n = path.segments.size();
    // The positions before `from` hold the segments, durations and sums of
    // the last summing. Where those sums say all they need to (no unknown
    // length and no negative one among them), the running sums go on from
    // there, adding the same numbers in the same order as from the start.
    std::size_t begin = 0;
    if (from > 0 && from <= n && from < path.starts.size() && path.firstUnknown >= from &&
        path.nonDecreasing) {
        begin = from;
    }
    path.offsets.resize(n);
    path.starts.resize(n + 1);
    path.firstUnknown = n;
    path.nonDecreasing = true;
    double acc = begin == 0 ? 0.0 : path.starts[begin];
    double total = acc; // equal while no length is unknown
    double offset = begin == 0 ? 0.0 : path.offsets[begin - 1];
    if (begin > 0 && !path.decorative[begin - 1]) offset += path.durations[begin - 1];
    path.starts[0] = 0.0;
    for (std::size_t i = begin; i < n; ++i) {
        if (i >= from) path.segments[i]->offsetInPlaygraph_ = offset;
        path.offsets[i] = offset;
        const double raw = path.durations[i];
        if (std::isnan(raw) && path.firstUnknown == n) path.firstUnknown = i;
        if (path.firstUnknown == n && !(raw >= 0.0)) path.nonDecreasing = false;
        acc += raw;
        path.starts[i + 1] = acc;
        const double d = std::isnan(raw) ? 0.0 : raw;
        total += d;
        if (!path.decorative[i]) offset += d;
    }
    g.duration_ = total;
}

detail::PathPlan
PlaygraphBase::State::planDefaultPath(const std::vector<uint32_t>& changed,
                                      const std::optional<std::string>& initial) const {
    detail::PathPlan plan;
    const detail::DefaultPathCache* path = currentDefaultPath();
    if (!path || initial != g.initialSegmentId_) return plan;
    plan.walk = false;
    plan.keep = true;
    // Past the end of a path that does not loop, a segment under the name
    // its last segment leads to would extend it.
    const std::size_t n = path->segments.size();
    uint32_t end = kNoName;
    if (n == 0) {
        end = initial ? findName(*initial) : kNoName;
    } else if (!path->loops) {
        if (const auto& next = path->segments.back()->defaultNext()) end = findName(*next);
    }
    for (const uint32_t name : changed) {
        std::size_t at = n;
        if (name == end) {
            plan.keep = false;
        } else if (name < pathPosition.size() && pathPosition[name] != detail::kNotOnPath) {
            at = pathPosition[name];
            const PlaygraphSegment* segment = index.segmentNamed(name);
            if (!segment) {
                plan.keep = false;
            } else {
                plan.onPath.push_back({name, segment->defaultNext(), segment->segmentDuration(),
                                       segment->isDecorativeSegment()});
            }
        } else {
            continue;
        }
        plan.first = std::min(plan.first, at);
        plan.last = std::max(plan.last, at);
    }
    return plan;
}

void PlaygraphBase::State::updateDefaultPath(const detail::PathPlan& plan) {
    if (!plan.walk) {
        if (plan.keep && keepDefaultPath(plan.onPath)) return;
        if (spliceDefaultPath(plan.first, plan.last)) return;
    }
    calculateDefaultPathDuration();
    resetOffsetsOffThePath();
}

bool PlaygraphBase::State::keepDefaultPath(const std::vector<detail::PathLink>& onPath) {
    detail::DefaultPathCache& path = defaultPath;
    const auto same = [](double a, double b) {
        return std::isnan(a) ? std::isnan(b)
                             : compat::bitCast<uint64_t>(a) == compat::bitCast<uint64_t>(b);
    };
    for (const detail::PathLink& link : onPath) {
        PlaygraphSegment* segment = index.segmentNamed(link.name);
        if (!segment || segment->defaultNext() != link.defaultNext ||
            !same(segment->segmentDuration(), link.duration) ||
            segment->isDecorativeSegment() != link.decorative) {
            return false;
        }
        const std::size_t i = pathPosition[link.name];
        path.segments[i] = segment;
        segment->offsetInPlaygraph_ = path.offsets[i];
    }
    path.mapVersion = g.segmentMap_.version();
    return true;
}

bool PlaygraphBase::State::spliceDefaultPath(std::size_t first, std::size_t last) {
    detail::DefaultPathCache& path = defaultPath;
    const std::size_t n = path.names.size();
    // Only a kept path whose offsets are all that this playgraph has set.
    if (!path.valid || !index.trusted() || first > n || offsetNames.size() != n) return false;
    const auto positionOf = [&](uint32_t name) -> std::size_t {
        return name < pathPosition.size() && pathPosition[name] != detail::kNotOnPath
                   ? pathPosition[name]
                   : SIZE_MAX;
    };
    // The segment the kept path's last one leads back to, when it loops.
    uint32_t loopTarget = kNoName;
    if (path.loops && last + 1 < n) {
        loopTarget = index.slots[index.slotOf(path.names[n - 1])].defaultNext;
    }

    // The positions before `first` hold unchanged segments leading to the
    // name at `first`. Walk on from there as a fresh walk would, until a
    // segment of the kept path that begins an unchanged rest of it: past
    // every changed position and every kept position walked so far, and
    // (when the path loops) with the segment it loops back to still seen.
    uint32_t current = kNoName;
    if (first < n) {
        current = path.names[first];
    } else if (n == 0) {
        current = g.initialSegmentId_ ? index.names.find(*g.initialSegmentId_) : kNoName;
    } else {
        current = index.slots[index.slotOf(path.names[n - 1])].defaultNext;
    }
    std::vector<uint32_t> middle;
    std::vector<uint8_t> inMiddle(index.names.size());
    std::size_t rejoin = n;
    std::size_t reached = 0; // one past the highest kept position walked
    while (current != kNoName) {
        const uint32_t slot = index.slotOf(current);
        if (slot == GraphIndex::kNoSlot || inMiddle[current]) break;
        const std::size_t at = positionOf(current);
        if (at < first) break;
        if (at != SIZE_MAX && at > last && at >= reached) {
            const std::size_t loopsTo = positionOf(loopTarget);
            if (loopTarget == kNoName || index.slotOf(loopTarget) == GraphIndex::kNoSlot ||
                loopsTo < first || (loopsTo != SIZE_MAX && loopsTo >= at) || inMiddle[loopTarget]) {
                rejoin = at;
                break;
            }
        }
        inMiddle[current] = 1;
        middle.push_back(current);
        if (at != SIZE_MAX) reached = std::max(reached, at + 1);
        current = index.slots[slot].defaultNext;
    }

    // Segments that leave the path get the offset 0 of a fresh one.
    coverAllNames();
    for (std::size_t i = first; i < std::min(rejoin, n); ++i) {
        const uint32_t name = path.names[i];
        pathPosition[name] = detail::kNotOnPath;
        if (inMiddle[name]) continue;
        offsetMark[name] = OffsetMark::Unset;
        // Past the last changed position the kept objects are the map's.
        PlaygraphSegment* segment = i > last ? path.segments[i] : index.segmentNamed(name);
        if (segment) segment->offsetInPlaygraph_ = 0.0;
    }
    std::vector<PlaygraphSegment*> segments;
    std::vector<double> durations;
    std::vector<uint8_t> decorative;
    segments.reserve(middle.size());
    durations.reserve(middle.size());
    decorative.reserve(middle.size());
    for (const uint32_t name : middle) {
        PlaygraphSegment* segment = index.segmentNamed(name);
        segments.push_back(segment);
        durations.push_back(segment->segmentDuration());
        decorative.push_back(segment->isDecorativeSegment());
        offsetMark[name] = OffsetMark::Set;
    }
    const auto replace = [&](auto& v, const auto& with) {
        const auto from = v.begin() + static_cast<std::ptrdiff_t>(first);
        const auto to = v.begin() + static_cast<std::ptrdiff_t>(std::min(rejoin, n));
        v.insert(v.erase(from, to), with.begin(), with.end());
    };
    const std::size_t replaced = std::min(rejoin, n) - std::min(first, n);
    replace(path.names, middle);
    replace(path.segments, segments);
    replace(path.durations, durations);
    replace(path.decorative, decorative);
    // Past the walked part, positions move only when its length changed.
    const std::size_t moved = middle.size() == replaced ? first + middle.size() : path.names.size();
    for (std::size_t i = first; i < moved; ++i)
        pathPosition[path.names[i]] = static_cast<uint32_t>(i);
    offsetNames = path.names;
    path.loops = endsInLoop(path.segments);
    path.mapVersion = g.segmentMap_.version();
    sumDefaultPath(first);
    return true;
}

void PlaygraphBase::State::resetOffsetsOffThePath() {
    const detail::DefaultPathCache* path = currentDefaultPath();
    if (!path) return;
    for (const uint32_t name : path->names)
        offsetMark[name] = OffsetMark::OnPath;
    for (const uint32_t name : offsetNames) {
        if (offsetMark[name] == OffsetMark::OnPath) continue;
        offsetMark[name] = OffsetMark::Unset;
        if (PlaygraphSegment* segment = index.segmentNamed(name)) {
            segment->offsetInPlaygraph_ = 0.0;
        }
    }
    offsetNames = path->names;
    for (const uint32_t name : offsetNames)
        offsetMark[name] = OffsetMark::Set;
}

const detail::DefaultPathCache* PlaygraphBase::State::currentDefaultPath() const {
    const detail::DefaultPathCache& path = defaultPath;
    if (!path.valid || path.mapVersion != g.segmentMap_.version() ||
        path.initialSegmentId != g.initialSegmentId_) {
        return nullptr;
    }
    return &path;
}

std::size_t PlaygraphBase::State::pathIndexPast(const detail::DefaultPathCache& path, double time) {
    // A walk stops at the first segment i with starts[i] + duration > time,
    // that is starts[i + 1] > time (the same sum), or with an unknown
    // duration. Sums of non-negative durations do not decrease, so that
    // segment can be found by bisection.
    const std::size_t known = path.firstUnknown;
    if (path.nonDecreasing) {
        const auto first = path.starts.begin() + 1;
        return static_cast<std::size_t>(
            std::upper_bound(first, first + static_cast<std::ptrdiff_t>(known), time) - first);
    }
    std::size_t i = 0;
    while (i < known && !(path.starts[i] + path.durations[i] > time))
        ++i;
    return i;
}

} // namespace playgraph::inline v1
