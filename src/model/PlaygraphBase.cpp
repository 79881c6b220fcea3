#include "playgraph/model/PlaygraphBase.hpp"

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
    segment->setDefaultNext(readString(d, keys::defaultNext));
    if (flavor_ == Flavor::Immutable)
        segment->setTransitionType(readString(d, keys::transitionType));
    if (const Value* next = d.find(keys::next); next && next->isDictionary()) {
        segment->setNext(buildTransitions(*next, segment));
    }
    if (!segment->defaultNext() && segment->next().size() == 1) {
        segment->setDefaultNext(segment->next().begin()->first);
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
    double total = 0.0;
    double offset = 0.0;
    detail::walkDefaultPath(segmentMap_, initialSegmentId_, [&](PlaygraphSegment& segment) {
        segment.setOffsetInPlaygraph(offset);
        double d = segment.segmentDuration();
        if (std::isnan(d)) d = 0.0;
        total += d;
        if (!segment.isDecorativeSegment()) offset += d;
        return true;
    });
    duration_ = total;
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
