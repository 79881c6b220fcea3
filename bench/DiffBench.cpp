// Comparing and merging playgraph dictionaries: diff of two separately held
// copies of one story (every segment is looked into) with 100 changes, and
// the three-way merge of two lines of work with 100 changes each.

#include <benchmark/benchmark.h>

#include <string>

#include "BenchSupport.hpp"
#include "playgraph/diff/Diff.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::bench {
namespace {

Dictionary segmentOf(const Value& story, const std::string& id) {
    return *story.dictionary()->get("segments").dictionary()->get(id).dictionary();
}

// A deep copy of the generated story of `n` segments with `count` changes on
// the segments from `first` on, every `step`-th: a retime, a new
// annotation, a re-weighted or added transition, or a new segment after it.
Value changedCopy(std::size_t n, std::size_t count, std::size_t first, std::size_t step) {
    const Fixture& f = fixture(n);
    Value story = Value(f.generated.dictionary).deepCopy();
    const auto& ids = f.generated.segmentIds;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& id = ids[(first + i * step) % ids.size()];
        Dictionary segment = segmentOf(story, id);
        switch (i % 4) {
        case 0:
            segment.set("endTimeMs", segment.get("endTimeMs").integerReading() + 250);
            break;
        case 1: {
            Value annotations = segment.get("annotations");
            if (!annotations.isDictionary()) {
                annotations = Dictionary();
                segment.set("annotations", annotations);
            }
            annotations.dictionary()->set("reviewed", true);
            break;
        }
        case 2: {
            Value next = segment.get("next");
            if (!next.isDictionary()) {
                next = Dictionary();
                segment.set("next", next);
            }
            next.dictionary()->set(ids[(first + i * step + 7) % ids.size()],
                                   Dictionary{{"weight", 5}});
            break;
        }
        default:
            story.dictionary()
                ->get("segments")
                .dictionary()
                ->set(id + "_extra", Dictionary{{"startTimeMs", 0}, {"endTimeMs", 1000}});
            break;
        }
    }
    return story;
}

void BM_Diff(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value before = Value(fixture(n).generated.dictionary).deepCopy();
    const Value after = changedCopy(n, 100, 0, 3);
    std::size_t changes = 0;
    for (auto _ : state) {
        const PlaygraphDiff d = diff(before, after);
        changes = d.size();
        benchmark::DoNotOptimize(changes);
    }
    state.counters["changes"] = static_cast<double>(changes);
    state.counters["segments/s"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Diff)->RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond);

void BM_Merge(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Value base = Value(fixture(n).generated.dictionary).deepCopy();
    // Ours works on every other segment from the first, theirs on the rest.
    const Value ours = changedCopy(n, 100, 0, 2);
    const Value theirs = changedCopy(n, 100, 1, 2);
    std::size_t conflicts = 0;
    for (auto _ : state) {
        const MergeResult result = merge(base, ours, theirs);
        conflicts = result.conflicts.size();
        benchmark::DoNotOptimize(result.merged);
    }
    state.counters["conflicts"] = static_cast<double>(conflicts);
}
BENCHMARK(BM_Merge)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_WriteCanonicalJson(benchmark::State& state) {
    const Value story(fixture(static_cast<std::size_t>(state.range(0))).generated.dictionary);
    for (auto _ : state)
        benchmark::DoNotOptimize(writeJson(story, JsonStyle::Canonical));
}
BENCHMARK(BM_WriteCanonicalJson)
    ->RangeMultiplier(10)
    ->Range(1000, 100000)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace playgraph::bench
