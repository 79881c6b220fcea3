// Reading and writing playgraph JSON, measured against simdjson's own DOM
// parse of the same text (the reference point: no playgraph code at all).
//
// The text is the generated playgraph written compactly by `writeJson`, so
// its segments appear in the generator's shuffled order. `per_segment` is
// time per segment of the text; `bytes_per_second` is text bytes.
// BM_JsonLoadVsSimdjson times both in the same iterations, in the thread's
// CPU time, and reports their ratio, which stays meaningful on a loaded
// machine.

#include <benchmark/benchmark.h>
#include <simdjson.h>

#include <map>
#include <string>

#include "AllocationCounter.hpp"
#include "BenchSupport.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::bench {
namespace {

const std::string& jsonText(std::size_t n) {
    static std::map<std::size_t, std::string> cache;
    auto& text = cache[n];
    if (text.empty()) text = writeJson(Value(fixture(n).generated.dictionary));
    return text;
}

void report(benchmark::State& state, std::size_t n, std::size_t bytes) {
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(n));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
    state.counters["per_segment"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// simdjson's DOM parse of the text alone, with a parser reused across
// iterations (its normal use) and the padded copy made once.
void BM_SimdjsonDomParse(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string& text = jsonText(n);
    const simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    for (auto _ : state) {
        simdjson::dom::element root;
        if (parser.parse(padded).get(root)) state.SkipWithError("simdjson parse failed");
        benchmark::DoNotOptimize(root);
    }
    report(state, n, text.size());
}
BENCHMARK(BM_SimdjsonDomParse)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

// `parseJson` to a `Value`; the destruction of the result is not timed.
// `dict_B_per_seg` is the heap the parsed dictionary holds and
// `allocs_per_seg` the allocations its parse makes, per segment.
void BM_ParseJson(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string& text = jsonText(n);
    {
        const HeapDelta heap;
        const Value parsed = parseJson(text);
        const auto delta = heap.sample();
        state.counters["dict_B_per_seg"] =
            static_cast<double>(delta.bytes) / static_cast<double>(n);
        state.counters["allocs_per_seg"] =
            static_cast<double>(delta.allocations) / static_cast<double>(n);
    }
    for (auto _ : state) {
        Value v = parseJson(text);
        benchmark::DoNotOptimize(v);
        state.PauseTiming();
        v = Value();
        state.ResumeTiming();
    }
    report(state, n, text.size());
}
BENCHMARK(BM_ParseJson)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

// `Playgraph::create` from the `Value` that `parseJson` read.
void BM_ValueToPlaygraph(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value parsed = parseJson(jsonText(n));
    for (auto _ : state) {
        auto p = Playgraph::create(parsed);
        benchmark::DoNotOptimize(p.get());
        state.PauseTiming();
        p.reset();
        state.ResumeTiming();
    }
    report(state, n, jsonText(n).size());
}
BENCHMARK(BM_ValueToPlaygraph)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

// The floor under any build from the parsed `Value`: only reading what a
// build reads (every segment entry and, in it, the times, ids, "next" entries
// and their fields, annotations and user info), in map order, writing
// nothing. What a build costs beyond this is the model's own work.
void BM_ValueReadsOfABuild(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value parsed = parseJson(jsonText(n));
    const Dictionary& segments = *parsed.dictionary()->find("segments")->dictionary();
    static constexpr const char* kSegmentKeys[] = {"viewableId",  "startTimeMs",   "endTimeMs",
                                                   "defaultNext", "annotations",   "userInfo",
                                                   "main",        "transitionType"};
    static constexpr const char* kEntryKeys[] = {"weight", "skipRegionOffset", "autoplayType",
                                                 "transitionType"};
    for (auto _ : state) {
        std::size_t seen = 0;
        for (const auto& [id, details] : segments) {
            const Dictionary* d = details.dictionary();
            if (!d) continue;
            seen += id.size();
            for (const char* key : kSegmentKeys) {
                if (const Value* v = d->find(key)) seen += static_cast<std::size_t>(v->kind());
            }
            const Value* next = d->find("next");
            if (!next || !next->dictionary()) continue;
            for (const auto& [destination, entry] : *next->dictionary()) {
                seen += destination.size();
                const Dictionary* e = entry.dictionary();
                if (!e) continue;
                for (const char* key : kEntryKeys) {
                    if (const Value* v = e->find(key)) seen += static_cast<std::size_t>(v->kind());
                }
            }
        }
        benchmark::DoNotOptimize(seen);
    }
    report(state, n, jsonText(n).size());
}
BENCHMARK(BM_ValueReadsOfABuild)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

// The whole load from text: `parseJson` then `Playgraph::create`.
void BM_LoadFromJson(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string& text = jsonText(n);
    for (auto _ : state) {
        auto p = Playgraph::create(parseJson(text));
        benchmark::DoNotOptimize(p.get());
        state.PauseTiming();
        p.reset();
        state.ResumeTiming();
    }
    report(state, n, text.size());
}
BENCHMARK(BM_LoadFromJson)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

// The whole load and simdjson's DOM parse, alternately in each iteration:
// `ratio` = load time / DOM parse time, both summed over the run;
// `parse_ratio` the same for the `parseJson` part of the load alone.
void BM_JsonLoadVsSimdjson(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const std::string& text = jsonText(n);
    const simdjson::padded_string padded(text);
    simdjson::dom::parser parser;
    double loadSeconds = 0.0, parseSeconds = 0.0, domSeconds = 0.0;
    for (auto _ : state) {
        const auto t0 = threadCpuSeconds();
        simdjson::dom::element root;
        if (parser.parse(padded).get(root)) state.SkipWithError("simdjson parse failed");
        benchmark::DoNotOptimize(root);
        const auto t1 = threadCpuSeconds();
        Value parsed = parseJson(text);
        const auto t2 = threadCpuSeconds();
        auto p = Playgraph::create(parsed);
        parsed = Value(); // as the temporary of a one-expression load would be
        benchmark::DoNotOptimize(p.get());
        const auto t3 = threadCpuSeconds();
        p.reset();
        domSeconds += t1 - t0;
        parseSeconds += t2 - t1;
        loadSeconds += t3 - t1;
        state.SetIterationTime(t3 - t1);
    }
    const double iterations = static_cast<double>(state.iterations());
    const double perSegment = 1e9 / iterations / static_cast<double>(n);
    state.counters["ratio"] = domSeconds > 0 ? loadSeconds / domSeconds : 0.0;
    state.counters["parse_ratio"] = domSeconds > 0 ? parseSeconds / domSeconds : 0.0;
    state.counters["load_ns_per_seg"] = loadSeconds * perSegment;
    state.counters["parse_ns_per_seg"] = parseSeconds * perSegment;
    state.counters["dom_ns_per_seg"] = domSeconds * perSegment;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
    // The kernel simdjson chose for this processor, which parseJson runs too.
    state.SetLabel("simdjson kernel " + simdjson::get_active_implementation()->name());
}
BENCHMARK(BM_JsonLoadVsSimdjson)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JsonLoadVsSimdjson)
    ->Arg(100000)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// `writeJson` of the generated dictionary, compact.
void BM_WriteJson(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value dictionary(fixture(n).generated.dictionary);
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out = writeJson(dictionary);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    report(state, n, bytes);
}
BENCHMARK(BM_WriteJson)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace playgraph::bench
