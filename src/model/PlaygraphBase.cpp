#include "playgraph/model/PlaygraphBase.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "DefaultPathWalk.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"

namespace playgraph {

namespace {

// A time in milliseconds under `key`, in seconds. Only finite numbers count:
// anything else (absent, the null marker, a string, not-a-number, infinity)
// is absent. Values beyond the signed 64-bit range saturate.
std::optional<double> readMilliseconds(const Dictionary& d, std::string_view key) {
    const Value* v = d.find(key);
    if (!v || !v->isFiniteNumber()) return std::nullopt;
    return static_cast<double>(v->integerReading()) / 1000.0;
}

std::optional<std::string> readString(const Dictionary& d, std::string_view key) {
    const Value* v = d.find(key);
    return v && v->isString() ? std::optional<std::string>(*v->string()) : std::nullopt;
}

std::optional<Dictionary> readDictionary(const Dictionary& d, std::string_view key) {
    const Value* v = d.find(key);
    return v && v->isDictionary() ? std::optional<Dictionary>(*v->dictionary()) : std::nullopt;
}

} // namespace

PlaygraphSegment* PlaygraphBase::findSegment(std::string_view id) const {
    const auto* entry = segmentMap_.find(id);
    return entry ? entry->get() : nullptr;
}

std::shared_ptr<QZPlaygraphSegment> PlaygraphBase::segmentById(std::string_view segmentId) const {
    const auto* entry = segmentMap_.find(segmentId);
    return entry ? *entry : nullptr;
}

void PlaygraphBase::buildSegmentMap(const Value& segments, const Value& defaultViewableId) {
    segmentMap_.clear();
    const Dictionary* all = segments.dictionary();
    if (!all) return;
    segmentMap_.reserve(all->size());
    for (const auto& [id, details] : *all) {
        // An entry that is not a segment dictionary is not a segment.
        if (!details.isDictionary()) continue;
        segmentMap_.set(id, buildSegment(id, details, defaultViewableId));
    }
}

std::shared_ptr<PlaygraphSegment> PlaygraphBase::buildSegment(const std::string& segmentId,
                                                              const Value& details,
                                                              const Value& defaultViewableId) {
    static const Dictionary kEmpty;
    const Dictionary& d = details.dictionary() ? *details.dictionary() : kEmpty;

    Value viewableId;
    if (const Value* v = d.find(keys::viewableId); v && v->isNumber()) {
        viewableId = *v;
    } else if (type_ && *type_ == keys::branchingType && defaultViewableId.isNumber()) {
        viewableId = defaultViewableId;
    }
    const double start = readMilliseconds(d, keys::startTimeMs).value_or(0.0);
    const double end = readMilliseconds(d, keys::endTimeMs).value_or(-1.0);

    auto segment = PlaygraphSegment::create(shared_from_this(), segmentId, std::move(viewableId),
                                            start, end, std::numeric_limits<double>::quiet_NaN(),
                                            readDictionary(d, keys::annotations),
                                            readDictionary(d, keys::userInfo));
    // Set directly: the segment is not in the map yet, so the path is not affected.
    segment->defaultNext_ = readString(d, keys::defaultNext);
    if (flavor_ == Flavor::Immutable)
        segment->setTransitionType(readString(d, keys::transitionType));
    if (const Value* next = d.find(keys::next); next && next->isDictionary()) {
        segment->setNext(buildTransitions(*next, segment));
    }
    if (!segment->defaultNext() && segment->next().size() == 1) {
        segment->defaultNext_ = segment->next().begin()->first;
    }
    if (const Value* main = d.find(keys::main); main && main->isNumber()) {
        const bool useMain =
            configProviderForBuilding()->isFlagTrue(UseMainViewableIdInPlaygraphFlag, true);
        if (useMain && mainViewableId_.isNone()) mainViewableId_ = *main;
    }
    return segment;
}

TransitionMap
PlaygraphBase::buildTransitions(const Value& next,
                                const std::shared_ptr<PlaygraphSegment>& sourceSegment) {
    TransitionMap out;
    const Dictionary* entries = next.dictionary();
    if (!entries) return out;
    out.reserve(entries->size());
    const auto self = shared_from_this();
    for (const auto& [destinationId, entry] : *entries) {
        if (!entry.isDictionary()) continue;
        auto transition = PlaygraphSegmentTransition::create(destinationId, entry);
        transition->setPlaygraph(self);
        transition->setSourceSegment(sourceSegment);
        out.set(destinationId, std::move(transition));
    }
    return out;
}

void PlaygraphBase::calculateDefaultPathDuration() {
    DefaultPathCache& path = defaultPath_;
    // The segments along the path: as last walked when nothing that shapes
    // the path has changed since, else walked afresh.
    if (!currentDefaultPath()) {
        path = DefaultPathCache();
        detail::walkDefaultPath(segmentMap_, initialSegmentId_, [&](PlaygraphSegment& segment) {
            path.segments.push_back(&segment);
            return true;
        });
        if (!path.segments.empty()) {
            const auto& next = path.segments.back()->defaultNext();
            path.loops = next && findSegment(*next) != nullptr;
        }
        // Only segments that report their changes to this playgraph can be cached.
        const std::weak_ptr<QZPlaygraph> self = weak_from_this();
        bool owned = true;
        for (const PlaygraphSegment* segment : path.segments) {
            const auto& owner = segment->playgraph_;
            owned = owned && !owner.owner_before(self) && !self.owner_before(owner);
        }
        path.valid = owned;
        path.mapVersion = segmentMap_.version();
        path.initialSegmentId = initialSegmentId_;
    }

    const std::size_t n = path.segments.size();
    path.durations.resize(n);
    path.starts.resize(n + 1);
    path.firstUnknown = n;
    path.nonDecreasing = true;
    double total = 0.0;
    double offset = 0.0;
    double acc = 0.0;
    path.starts[0] = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        PlaygraphSegment& segment = *path.segments[i];
        segment.setOffsetInPlaygraph(offset);
        const double raw = segment.segmentDuration();
        path.durations[i] = raw;
        if (std::isnan(raw) && path.firstUnknown == n) path.firstUnknown = i;
        if (path.firstUnknown == n && !(raw >= 0.0)) path.nonDecreasing = false;
        acc += raw;
        path.starts[i + 1] = acc;
        const double d = std::isnan(raw) ? 0.0 : raw;
        total += d;
        if (!segment.isDecorativeSegment()) offset += d;
    }
    duration_ = total;
}

const PlaygraphBase::DefaultPathCache* PlaygraphBase::currentDefaultPath() const {
    const DefaultPathCache& path = defaultPath_;
    if (!path.valid || path.mapVersion != segmentMap_.version() ||
        path.initialSegmentId != initialSegmentId_) {
        return nullptr;
    }
    return &path;
}

std::size_t PlaygraphBase::pathIndexPast(const DefaultPathCache& path, double time) {
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

void PlaygraphBase::defaultPathTraversal(const TraversalCallback& callback) const {
    if (!initialSegmentId_ || !callback) return;
    std::shared_ptr<QZPlaygraphSegment> current = segmentById(*initialSegmentId_);
    std::unordered_set<std::string> visited;
    bool stop = false;
    uint64_t index = 0;
    while (current) {
        if (visited.count(current->segmentId()) || stop) return;
        callback(current, index, stop);
        visited.insert(current->segmentId());
        const auto& next = current->defaultNext();
        current = next ? segmentById(*next) : nullptr;
        ++index;
    }
}

} // namespace playgraph
