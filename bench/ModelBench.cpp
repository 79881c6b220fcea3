// Building the model from a dictionary, and what it costs in memory.

#include <benchmark/benchmark.h>

#include <vector>

#include "AllocationCounter.hpp"
#include "BenchSupport.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::bench {
namespace {

// Time to build a Playgraph from its dictionary; the destruction of the
// previous model is kept out of the timing.
void BM_PlaygraphCreate(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Fixture& f = fixture(n);
    const Value dictionary(f.generated.dictionary);
    for (auto _ : state) {
        auto p = Playgraph::create(dictionary);
        benchmark::DoNotOptimize(p.get());
        state.PauseTiming();
        p.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
    state.SetComplexityN(static_cast<int64_t>(n));
    state.counters["per_segment"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlaygraphCreate)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The same build from a dictionary whose segments were inserted in path
// order: the difference to BM_PlaygraphCreate is the price of visiting the
// input (and laying out the model) in an order unrelated to memory.
void BM_PlaygraphCreateInPathOrder(benchmark::State& state) {
    GeneratorOptions options;
    options.segmentCount = static_cast<std::size_t>(state.range(0));
    options.seed = kSeed;
    options.shuffleSegmentOrder = false;
    const Value dictionary(generatePlaygraph(options).dictionary);
    for (auto _ : state) {
        auto p = Playgraph::create(dictionary);
        benchmark::DoNotOptimize(p.get());
        state.PauseTiming();
        p.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.counters["per_segment"] = benchmark::Counter(
        static_cast<double>(state.range(0)),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PlaygraphCreateInPathOrder)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Time to destroy a model (a player drops its playgraph on every new title).
void BM_PlaygraphDestroy(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value dictionary(fixture(n).generated.dictionary);
    for (auto _ : state) {
        state.PauseTiming();
        auto p = Playgraph::create(dictionary);
        state.ResumeTiming();
        p.reset();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
}
BENCHMARK(BM_PlaygraphDestroy)->Arg(100000)->Unit(benchmark::kMillisecond);

// Heap held by the dictionary and by the model built from it, per segment,
// and the number of allocations a build makes per segment.
void BM_PlaygraphMemory(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    GeneratorOptions options;
    options.segmentCount = n;
    options.seed = kSeed;
    double dictionaryBytes = 0, modelBytes = 0, modelAllocations = 0;
    for (auto _ : state) {
        HeapDelta forDictionary;
        auto generated = generatePlaygraph(options);
        // The generator's side tables are not part of the dictionary.
        std::vector<std::string>().swap(generated.segmentIds);
        std::vector<std::string>().swap(generated.defaultPath);
        dictionaryBytes = static_cast<double>(forDictionary.sample().bytes);

        HeapDelta forModel;
        auto p = Playgraph::create(Value(generated.dictionary));
        const auto delta = forModel.sample();
        modelBytes = static_cast<double>(delta.bytes);
        modelAllocations = static_cast<double>(delta.allocations);
        benchmark::DoNotOptimize(p.get());
    }
    const double segments = static_cast<double>(n);
    state.counters["dict_B_per_seg"] = dictionaryBytes / segments;
    state.counters["model_B_per_seg"] = modelBytes / segments;
    state.counters["total_B_per_seg"] = (dictionaryBytes + modelBytes) / segments;
    state.counters["model_allocs_per_seg"] = modelAllocations / segments;
}
BENCHMARK(BM_PlaygraphMemory)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Time to build an editable playgraph from its dictionary (a one-level copy
// of the top level, then the same segment build as `Playgraph`).
void BM_MutablePlaygraphCreate(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value dictionary(fixture(n).generated.dictionary);
    for (auto _ : state) {
        auto p = MutablePlaygraph::create(dictionary);
        benchmark::DoNotOptimize(p.get());
        state.PauseTiming();
        p.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
    state.counters["per_segment"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_MutablePlaygraphCreate)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

// Heap held by a loaded editable playgraph: its dictionary (which it keeps
// as the source of truth) and the segment and transition objects, per
// segment. Range(1) = 0 loads the generator's dictionary, 1 the dictionary
// that `parseJson` reads from the same playgraph's JSON text (the text
// itself is not counted).
void BM_MutablePlaygraphMemory(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const bool fromJson = state.range(1) != 0;
    GeneratorOptions options;
    options.segmentCount = n;
    options.seed = kSeed;
    double dictionaryBytes = 0, modelBytes = 0, modelAllocations = 0;
    for (auto _ : state) {
        Value dictionary;
        if (fromJson) {
            const std::string text = writeJson(Value(generatePlaygraph(options).dictionary));
            HeapDelta forDictionary;
            dictionary = parseJson(text);
            dictionaryBytes = static_cast<double>(forDictionary.sample().bytes);
        } else {
            HeapDelta forDictionary;
            dictionary = Value(generatePlaygraph(options).dictionary);
            dictionaryBytes = static_cast<double>(forDictionary.sample().bytes);
        }

        HeapDelta forModel;
        auto p = MutablePlaygraph::create(dictionary);
        const auto delta = forModel.sample();
        modelBytes = static_cast<double>(delta.bytes);
        modelAllocations = static_cast<double>(delta.allocations);
        benchmark::DoNotOptimize(p.get());
    }
    const double segments = static_cast<double>(n);
    state.counters["dict_B_per_seg"] = dictionaryBytes / segments;
    state.counters["model_B_per_seg"] = modelBytes / segments;
    state.counters["total_B_per_seg"] = (dictionaryBytes + modelBytes) / segments;
    state.counters["model_allocs_per_seg"] = modelAllocations / segments;
}
BENCHMARK(BM_MutablePlaygraphMemory)
    ->ArgsProduct({{1000, 100000}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Recomputing the duration and offsets, as a player's setMovieDuration does.
void BM_CalculateDefaultPathDuration(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        f.playgraph->calculateDefaultPathDuration();
    }
    const auto walked = static_cast<double>(f.generated.defaultPath.size());
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(walked));
    state.counters["per_segment"] = benchmark::Counter(
        walked, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_CalculateDefaultPathDuration)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace playgraph::bench
