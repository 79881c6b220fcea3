// Video compositions: building one clip by clip, and converting a large
// playgraph into one.

#include <benchmark/benchmark.h>

#include <string>

#include "BenchSupport.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"

namespace playgraph::bench {
namespace {

// Appends `n` clips one by one to a one-clip composition; `per_clip` is the
// average.
void BM_CompositionAppendClips(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<std::string> names;
    for (std::size_t i = 0; i < n; ++i)
        names.push_back("clip_" + std::to_string(i));
    const Value viewable(uint64_t{80001234});
    for (auto _ : state) {
        auto composition = MutableVideoComposition::createVideoCompositionForViewableId(
            viewable, std::string("intro"), 0.0, 10.0, nullptr);
        for (std::size_t i = 0; i < n; ++i) {
            const double start = 10.0 * static_cast<double>(i + 1);
            composition->appendClip(names[i], viewable, start, start + 10.0, nullptr);
        }
        benchmark::DoNotOptimize(composition.get());
        state.PauseTiming();
        composition.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
    state.counters["per_clip"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_CompositionAppendClips)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// Appending the n-th clip to a composition of n - 1 clips (built untimed).
void BM_CompositionAppendOneClip(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value viewable(uint64_t{80001234});
    for (auto _ : state) {
        state.PauseTiming();
        auto composition = MutableVideoComposition::createVideoCompositionForViewableId(
            viewable, std::string("intro"), 0.0, 10.0, nullptr);
        for (std::size_t i = 1; i + 1 < n; ++i) {
            const double start = 10.0 * static_cast<double>(i);
            composition->appendClip("clip_" + std::to_string(i), viewable, start, start + 10.0,
                                    nullptr);
        }
        state.ResumeTiming();
        composition->appendClip("last", viewable, 0.0, 10.0, nullptr);
        state.PauseTiming();
        composition.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CompositionAppendOneClip)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

// `createVideoCompositionForMainViewableId` from a generated playgraph.
void BM_CompositionFromPlaygraph(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Fixture& f = fixture(n);
    const Value main(f.generated.viewableId);
    for (auto _ : state) {
        auto composition =
            MutableVideoComposition::createVideoCompositionForMainViewableId(main, f.playgraph);
        benchmark::DoNotOptimize(composition.get());
        state.PauseTiming();
        composition.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
    state.counters["per_segment"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_CompositionFromPlaygraph)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace playgraph::bench
