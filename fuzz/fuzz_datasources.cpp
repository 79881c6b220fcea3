// A byte string drives a sequence of override, re-weighting, replacement and
// inter-playgraph operations on the data sources, with an observer that
// calls back into the data source it is told about.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzSupport.hpp"
#include "playgraph/playgraph.hpp"

using namespace playgraph;

namespace {

Dictionary segment(int startMs, int endMs, const char* defaultNext,
                   std::initializer_list<const char*> next) {
    Dictionary s{{"viewableId", 1}, {"startTimeMs", startMs}, {"endTimeMs", endMs}};
    if (defaultNext) s.set("defaultNext", defaultNext);
    Dictionary transitions;
    for (const char* id : next)
        transitions.set(id, Dictionary{{"weight", 10}});
    if (!transitions.empty()) s.set("next", transitions);
    return s;
}

// Small playgraphs with a loop, a branch, a missing reference and shared ids.
std::shared_ptr<QZPlaygraph> makePlaygraph(int which) {
    Dictionary segments{{"a", segment(0, 4000, "b", {"b", "c"})},
                        {"b", segment(4000, 9000, which % 2 ? "a" : "c", {"c"})},
                        {"c", segment(9000, 12000, nullptr, {"ghost"})}};
    Dictionary d{{"playgraphId", which < 2 ? "pg" : "other"},
                 {"initialSegment", "a"},
                 {"segments", segments}};
    return Playgraph::create(d);
}

struct Observer : QZPlaygraphPlayerDataSourceChangeObserver {
    int depth = 0;
    int calls = 0;
    std::shared_ptr<QZPlaygraphSegment> poke;
    void dataSourceDidChangeNextSegmentAfterSegment(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& source,
        const std::shared_ptr<QZPlaygraphSegment>& segment) override {
        ++calls;
        if (!source || depth > 2) return;
        ++depth;
        (void)source->nextSegmentAfterSegment(segment);
        if (calls % 3 == 0) source->setNextSegmentAfter(segment, poke);
        if (calls % 5 == 0) source->clearNextSegmentAfter(segment);
        --depth;
    }
    void
    dataSourceDidUpdatePlaygraph(const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& source,
                                 const std::shared_ptr<QZPlaygraph>&) override {
        ++calls;
        if (source) (void)source->initialPosition();
    }
};

TraversalCallback boundedWalk(int limit) {
    return [limit, count = 0](const std::shared_ptr<QZPlaygraphSegment>&, uint64_t,
                              bool& stop) mutable { stop = ++count >= limit; };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<std::shared_ptr<QZPlaygraph>> playgraphs{makePlaygraph(0), makePlaygraph(1),
                                                         makePlaygraph(2)};
    std::vector<std::shared_ptr<QZPlaygraphSegment>> segments;
    const auto collect = [&] {
        segments.clear();
        for (const auto& p : playgraphs) {
            for (const char* id : {"a", "b", "c"})
                segments.push_back(p->segmentById(id));
        }
        segments.push_back(nullptr);
    };
    collect();
    const auto pick = [&] {
        return segments[in.ConsumeIntegralInRange<std::size_t>(0, segments.size() - 1)];
    };

    auto single = PlaygraphPlayerMutableDataSource::create(playgraphs[0], Dictionary{{"k", 1}});
    auto composite = PlaygraphPlayerCompositeDataSource::create(playgraphs[0], std::nullopt);
    auto observer = std::make_shared<Observer>();
    single->setChangeObserver(observer);
    composite->setChangeObserver(observer);

    while (in.remaining_bytes() > 0) {
        std::shared_ptr<QZPlaygraphPlayerMutableDataSource> source =
            in.ConsumeBool()
                ? std::static_pointer_cast<QZPlaygraphPlayerMutableDataSource>(single)
                : std::static_pointer_cast<QZPlaygraphPlayerMutableDataSource>(composite);
        observer->poke = pick();
        switch (in.ConsumeIntegralInRange<int>(0, 13)) {
        case 0:
            source->setNextSegmentAfter(pick(), pick());
            break;
        case 1:
            source->clearNextSegmentAfter(pick());
            break;
        case 2:
            source->updateNextSegmentWeightsForSegment(
                pick(), Dictionary{{"b", in.ConsumeIntegral<int>()}, {"c", fuzz::pickTime(in)}});
            break;
        case 3:
            source->updatePlaygraph(playgraphs[in.ConsumeIntegralInRange<std::size_t>(0, 2)],
                                    Dictionary{}, {});
            break;
        case 4:
            composite->addPlaygraph(playgraphs[in.ConsumeIntegralInRange<std::size_t>(0, 2)],
                                    in.ConsumeBool() ? std::optional<Dictionary>(Dictionary{})
                                                     : std::nullopt);
            break;
        case 5:
            composite->addTransitionFromSegment(
                pick(), pick(), in.ConsumeBool(),
                Dictionary{{"weight", 3}, {"skipRegionOffset", 1500}});
            break;
        case 6: {
            const double weight = fuzz::pickTime(in);
            composite->addTransitionFromSegment(
                pick(), pick(), in.ConsumeBool(),
                [weight](QZPlaygraphSegmentTransitionConfiguration& t) {
                    t.setWeight(weight);
                    t.setSkipRegionOffset(weight);
                });
            break;
        }
        case 7:
            (void)source->nextPlaygraphAfterPlaygraph(
                playgraphs[in.ConsumeIntegralInRange<std::size_t>(0, 2)]);
            break;
        case 8:
            source->currentPlaybackPathTraversalFromSegment(pick(), boundedWalk(50));
            break;
        case 9:
            source->depthFirstTraversalFromSegment(pick(), boundedWalk(50));
            source->bredthFirstTraversalFromSegment(
                pick(), in.ConsumeIntegralInRange<uint64_t>(0, 5), boundedWalk(50));
            break;
        case 10:
            (void)source->transitionsFromSourceSegment(pick());
            (void)source->transitionFromSourceSegment(pick(), pick());
            (void)source->trackingInfoForSegment(pick());
            (void)source->segmentById(fuzz::pickId(in, {"a", "b", "c"}));
            break;
        case 11:
            composite->updateTrackingInfo(
                in.ConsumeBool() ? std::optional<Dictionary>(Dictionary{}) : std::nullopt, pick());
            composite->setBookmarkPosition({pick(), fuzz::pickTime(in)});
            (void)composite->initialPosition();
            break;
        case 12:
            // Replace a playgraph object: segments of the old one live on only
            // where something still holds them.
            playgraphs[in.ConsumeIntegralInRange<std::size_t>(0, 2)] =
                makePlaygraph(in.ConsumeIntegralInRange<int>(0, 2));
            if (in.ConsumeBool()) collect();
            break;
        default:
            (void)source->nextSegmentAfterSegment(pick());
            break;
        }
    }
    return 0;
}
