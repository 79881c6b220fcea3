#include "playgraph/editing/MutablePlaygraph.hpp"

#include "EditingSupport.hpp"
#include "playgraph/Constants.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/platform/Uuid.hpp"

namespace playgraph {

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
    mainViewableId_ = Value();
    configProvider_ = PlatformConfigProvider::shared();
    load();
}

std::shared_ptr<const PlatformConfigProvider> MutablePlaygraph::configProviderForBuilding() const {
    return configProvider_ ? configProvider_ : PlatformConfigProvider::shared();
}

void MutablePlaygraph::load() {
    segmentMap_.clear();
    // "type" is read before the segments: building depends on it.
    initialSegmentId_ = stringAt(playgraphDictionary_, keys::initialSegment);
    type_ = stringAt(playgraphDictionary_, keys::type);
    buildSegmentMap(playgraphDictionary_.get(keys::segments), defaultViewableId_);
    calculateDefaultPathDuration();
}

void MutablePlaygraph::restoreDictionary(const Dictionary& snapshot) {
    playgraphDictionary_ = *Value(snapshot).deepCopy().dictionary();
    load();
}

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
    if (stringAtEquals(playgraphDictionary_, keys::initialSegment, oldId)) {
        playgraphDictionary_.set(keys::initialSegment, newId);
    }
    auto segments = dictionaryAt(playgraphDictionary_, keys::segments);
    if (!segments) return;
    for (auto& [id, value] : *segments) {
        Dictionary* segment = value.dictionary();
        if (id == oldId || id == newId || !segment) continue;
        if (stringAtEquals(*segment, keys::defaultNext, oldId)) {
            segment->set(keys::defaultNext, newId);
        }
        if (auto next = dictionaryAt(*segment, keys::next)) {
            if (const Value* transition = next->find(oldId)) {
                Value moved = *transition;
                next->erase(oldId);
                next->set(newId, std::move(moved));
            }
        }
    }
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

} // namespace playgraph
