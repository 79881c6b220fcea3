// What a player asks its data source: the next segment (with and without
// next-segment overrides), the current playback path, and the same across
// a composite of ten playgraphs joined end to end.

#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "BenchSupport.hpp"
#include "playgraph/datasource/PlaygraphPlayerCompositeDataSource.hpp"
#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"

namespace playgraph::bench {
namespace {

constexpr std::size_t kInputs = 1024; // a power of two

void reportPerSegment(benchmark::State& state, double segments) {
    state.SetItemsProcessed(static_cast<int64_t>(segments));
    state.counters["per_segment"] =
        benchmark::Counter(segments, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::vector<std::shared_ptr<QZPlaygraphSegment>> randomPathSegments(const Fixture& f) {
    Picker pick;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> out;
    for (std::size_t i = 0; i < kInputs; ++i)
        out.push_back(f.pathSegments[pick.index(f.pathSegments.size())]);
    return out;
}

void BM_NextSegmentAfterSegment(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    const auto source = PlaygraphPlayerMutableDataSource::create(f.playgraph, std::nullopt);
    const auto segments = randomPathSegments(f);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(source->nextSegmentAfterSegment(segments[i++ & (kInputs - 1)]));
    }
}
BENCHMARK(BM_NextSegmentAfterSegment)->Arg(1000)->Arg(100000);

// Every asked segment has an override (to the segment five places further
// along the path); one in ten path segments has one.
void BM_NextSegmentAfterSegmentOverridden(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    const auto source = PlaygraphPlayerMutableDataSource::create(f.playgraph, std::nullopt);
    const auto& path = f.pathSegments;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> overridden;
    for (std::size_t i = 0; i + 5 < path.size(); i += 10) {
        source->setNextSegmentAfter(path[i], path[i + 5]);
        overridden.push_back(path[i]);
    }
    Picker pick;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> segments;
    for (std::size_t i = 0; i < kInputs; ++i)
        segments.push_back(overridden[pick.index(overridden.size())]);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(source->nextSegmentAfterSegment(segments[i++ & (kInputs - 1)]));
    }
    state.counters["overrides"] = static_cast<double>(overridden.size());
}
BENCHMARK(BM_NextSegmentAfterSegmentOverridden)->Arg(1000)->Arg(100000);

// The whole current playback path from the initial segment.
void BM_PlaybackPathWalk(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    const auto source = PlaygraphPlayerMutableDataSource::create(f.playgraph, std::nullopt);
    double visited = 0;
    for (auto _ : state) {
        source->currentPlaybackPathTraversalFromSegment(
            f.pathSegments.front(),
            [&](const std::shared_ptr<QZPlaygraphSegment>&, uint64_t, bool&) { ++visited; });
    }
    reportPerSegment(state, visited);
}
BENCHMARK(BM_PlaybackPathWalk)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Ten generated playgraphs of `n / 10` segments each, registered with a
// composite data source; the last default-path segment of each leads on to
// the next playgraph's initial segment (an inter-playgraph transition set as
// the next segment). The composite's walks follow transitions only, so every
// segment with a default next and no transitions is given a transition to
// it, as a playgraph that spells its transitions out has.
struct Composite {
    std::vector<std::shared_ptr<Playgraph>> playgraphs;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> lastSegments;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> firstSegments;
    std::shared_ptr<PlaygraphPlayerCompositeDataSource> source;
    std::size_t segments = 0;
};

// A copy of a generated playgraph dictionary whose segment ids carry
// `prefix` (so that ten playgraphs share no id), where every segment with a
// default next and no transitions gets a transition to it.
// `a` followed by `b` (appending sidesteps a false -Wrestrict of g++ 12 on
// `operator+` of strings).
std::string joined(std::string a, std::string_view b) {
    a += b;
    return a;
}

Dictionary distinctIds(const Dictionary& generated, const std::string& prefix) {
    Dictionary out = generated.copy();
    out.set("initialSegment", joined(prefix, *generated.find("initialSegment")->string()));
    Dictionary segments;
    for (const auto& [id, value] : *generated.find("segments")->dictionary()) {
        Dictionary segment = value.dictionary()->copy();
        if (const Value* defaultNext = segment.find("defaultNext");
            defaultNext && defaultNext->isString()) {
            segment.set("defaultNext", joined(prefix, *defaultNext->string()));
        }
        Dictionary next;
        if (const Value* old = segment.find("next"); old && old->isDictionary()) {
            for (const auto& [destination, transition] : *old->dictionary())
                next.set(joined(prefix, destination), transition);
        } else if (const Value* defaultNext = segment.find("defaultNext")) {
            next.set(*defaultNext->string(), Dictionary{{"weight", 100}});
        }
        if (!next.empty()) segment.set("next", next);
        segments.set(joined(prefix, id), segment);
    }
    out.set("segments", segments);
    return out;
}

const Composite& composite(std::size_t n) {
    static std::map<std::size_t, std::unique_ptr<Composite>> cache;
    auto& slot = cache[n];
    if (slot) return *slot;
    slot = std::make_unique<Composite>();
    Composite& c = *slot;
    c.source = PlaygraphPlayerCompositeDataSource::create();
    for (uint64_t k = 0; k < 10; ++k) {
        GeneratorOptions options;
        options.segmentCount = n / 10;
        options.seed = kSeed + k + 1;
        const auto generated = generatePlaygraph(options);
        const std::string prefix = joined(joined("p", std::to_string(k)), "_");
        const Dictionary dictionary = distinctIds(generated.dictionary, prefix);
        auto playgraph = Playgraph::create(dictionary);
        c.firstSegments.push_back(playgraph->segmentById(*playgraph->initialSegmentId()));
        c.lastSegments.push_back(
            playgraph->segmentById(joined(prefix, generated.defaultPath.back())));
        c.source->addPlaygraph(playgraph, std::nullopt);
        c.segments += generated.segmentIds.size();
        c.playgraphs.push_back(std::move(playgraph));
    }
    for (std::size_t k = 0; k + 1 < c.playgraphs.size(); ++k) {
        c.source->addTransitionFromSegment(c.lastSegments[k], c.firstSegments[k + 1], true,
                                           Dictionary());
    }
    return c;
}

// The next segment after the last segment of a playgraph: the override
// leads into the next playgraph.
void BM_CompositeNextSegmentAcrossPlaygraphs(benchmark::State& state) {
    const Composite& c = composite(static_cast<std::size_t>(state.range(0)));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(c.source->nextSegmentAfterSegment(c.lastSegments[i]));
        i = (i + 1) % (c.lastSegments.size() - 1);
    }
}
BENCHMARK(BM_CompositeNextSegmentAcrossPlaygraphs)->Arg(1000)->Arg(100000);

// Breadth-first over every playgraph of the composite, from the first
// playgraph's initial segment.
void BM_CompositeBreadthFirstWalk(benchmark::State& state) {
    const Composite& c = composite(static_cast<std::size_t>(state.range(0)));
    double visited = 0;
    for (auto _ : state) {
        c.source->bredthFirstTraversalFromSegment(
            c.firstSegments.front(), UINT64_MAX,
            [&](const std::shared_ptr<QZPlaygraphSegment>&, uint64_t, bool&) { ++visited; });
    }
    reportPerSegment(state, visited);
    state.counters["segments_per_walk"] =
        visited / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["segments_total"] = static_cast<double>(c.segments);
}
BENCHMARK(BM_CompositeBreadthFirstWalk)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace playgraph::bench
