// JSON text -> Value -> Playgraph and MutablePlaygraph -> every query and
// walk, with times and ids taken from the input (not-a-number, infinite,
// negative and huge times, missing ids), then a conversion into a
// composition that must write back as JSON.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.hpp"
#include "playgraph/json/Json.hpp"
#include "playgraph/playgraph.hpp"

using namespace playgraph;

namespace {

TraversalCallback bounded(FuzzedDataProvider& in) {
    const int limit = in.ConsumeIntegralInRange<int>(1, 10000);
    return [limit, count = 0](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t,
                              bool& stop) mutable {
        if (s) (void)s->description();
        stop = ++count >= limit;
    };
}

void exercise(const std::shared_ptr<PlaygraphBase>& p, FuzzedDataProvider& in) {
    std::vector<std::string> ids = p->segmentMap().keys();
    for (const auto& [id, s] : p->segmentMap()) {
        (void)s->canonicalSegmentId();
        (void)s->hasContent();
        (void)s->breakIndex();
        (void)s->fixedRate();
        (void)s->adBreakToken();
        for (const auto& [to, t] : s->next()) {
            (void)t->key();
            (void)t->effectiveTransitionType();
            (void)t->destinationSegment();
        }
    }
    for (int round = 0; round < 8 && in.remaining_bytes() > 0; ++round) {
        const double t = fuzz::pickTime(in);
        const std::string id = fuzz::pickId(in, ids);
        const auto segment = p->segmentById(id);
        (void)p->segmentIdsForPosition(t, in.ConsumeIntegral<uint64_t>());
        (void)p->segmentIdAtPlaygraphTime(t);
        (void)p->playgraphOffsetForPlayerTime(t, segment);
        (void)p->playerTimeForPlaygraphOffset(t);
        (void)p->isPlaybackContiguousFromSegment(segment, p->segmentById(fuzz::pickId(in, ids)));
        (void)p->positionAtPlaygraphOffsetAlongDefaultPlaybackPath(t);
        (void)p->positionAtStartOfSegment(id);
        (void)p->positionAtSegmentViewableTime(id, t);
        (void)p->positionAtSegmentSegmentOffset(id, t);
        (void)p->positionAtViewableTime(t, Value(in.ConsumeIntegral<int64_t>()));
        p->defaultPathTraversal(bounded(in));
        p->depthFirstTraversalFromSegmentId(
            in.ConsumeBool() ? std::optional<std::string>(id) : std::nullopt, bounded(in));
        p->bredthFirstTraversalFromSegmentId(id, in.ConsumeIntegral<uint64_t>(), bounded(in));
        if (segment && in.ConsumeBool()) segment->setMovieDuration(fuzz::pickTime(in));
    }
    (void)Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(p);
    (void)Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph(p, p);

    // The conversion never fails, and what it writes is valid JSON.
    auto composition = MutableVideoComposition::createVideoCompositionForMainViewableId(1, p);
    const std::string text = writeJson(composition->dictionaryRepresentation());
    (void)parseJson(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::optional<Value> parsed = fuzz::parseInput(data, size);
    if (!parsed) return 0;
    const Value& value = *parsed;
    FuzzedDataProvider in(data, size);
    exercise(Playgraph::create(value, 7), in);
    exercise(MutablePlaygraph::create(value, 7), in);
    return 0;
}
