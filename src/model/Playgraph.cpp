#include "playgraph/model/Playgraph.hpp"

#include "DictionaryFormat.hpp"
#include "model/ModelAccess.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/platform/Uuid.hpp"

namespace playgraph::inline v1 {

std::shared_ptr<Playgraph> Playgraph::create(const Value& dictionary,
                                             const Value& defaultViewableId) {
    std::shared_ptr<Playgraph> p(new Playgraph());
    static const Dictionary kEmpty;
    const Dictionary& d = dictionary.dictionary() ? *dictionary.dictionary() : kEmpty;
    const auto readString = [&](std::string_view key) { return format::stringAt(d, key); };
    // Without a (string) "playgraphId" the playgraph gets a fresh UUID.
    auto id = readString(keys::playgraphId);
    p->playgraphId_ = id ? std::move(*id) : makeUuidString();
    auto& state = detail::ModelAccess::state(*p);
    state.idForSegments = std::make_shared<const std::string>(p->playgraphId_);
    p->initialSegmentId_ = readString(keys::initialSegment);
    p->transitionType_ = readString(keys::transitionType);
    p->type_ = readString(keys::type);
    state.buildSegmentMap(d.get(keys::segments), defaultViewableId);
    p->calculateDefaultPathDuration();
    if (const Value* annotations = d.find(keys::annotations);
        annotations && annotations->isDictionary()) {
        p->annotations_ = annotations->dictionary()->copy();
    }
    return p;
}

Value Playgraph::valueForAnnotation(std::string_view key) const {
    return annotations_ ? annotations_->get(key) : Value();
}

std::optional<std::vector<std::string>> Playgraph::allSegmentIds() const {
    return segmentMap_.keys();
}

std::optional<std::string> Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(
    const std::shared_ptr<QZPlaygraph>& playgraph) {
    if (!playgraph) return std::nullopt;
    std::optional<std::string> last = playgraph->initialSegmentId();
    playgraph->defaultPathTraversal(
        [&](const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t, bool&) {
            if (segment) last = segment->segmentId();
        });
    return last;
}

bool Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph(const std::shared_ptr<QZPlaygraph>& a,
                                                            const std::shared_ptr<QZPlaygraph>& b) {
    std::vector<std::string> pathA;
    if (a) {
        a->defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
            pathA.push_back(s ? s->segmentId() : std::string());
        });
    }
    bool same = true;
    std::size_t i = 0;
    if (b) {
        b->defaultPathTraversal(
            [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool& stop) {
                if (i < pathA.size() && s && s->segmentId() == pathA[i]) {
                    ++i;
                } else {
                    same = false;
                    stop = true;
                    ++i;
                }
            });
    }
    return same && i == pathA.size();
}

} // namespace playgraph::inline v1
