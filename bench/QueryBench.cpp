// Time and position queries and walks on a large playgraph.
//
// Queries along the default path report "per_segment": the time per
// default-path segment a walk from the initial segment passes to answer
// (the segment playing at the asked time and every one before it), so that
// figures stay comparable whatever the query does internally. The linear
// scans and walks also run at 1,000 segments, to show how they scale.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "BenchSupport.hpp"

namespace playgraph::bench {
namespace {

constexpr std::size_t kLarge = 100000;
constexpr std::size_t kInputs = 1024; // a power of two

const Fixture& large(benchmark::State& state) {
    return fixture(static_cast<std::size_t>(state.range(0)));
}

void reportPerSegment(benchmark::State& state, double segmentsWalked) {
    state.SetItemsProcessed(static_cast<int64_t>(segmentsWalked));
    state.counters["per_segment"] = benchmark::Counter(
        segmentsWalked, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["segments_per_call"] =
        segmentsWalked / static_cast<double>(std::max<int64_t>(state.iterations(), 1));
}

// Random playgraph times along the default path and how many segments a
// walk from the start passes to reach each.
struct TimeInputs {
    std::vector<double> times;
    std::vector<double> walked;
};
TimeInputs randomTimes(const Fixture& f) {
    TimeInputs in;
    Picker pick;
    for (std::size_t i = 0; i < kInputs; ++i) {
        const double t = pick.uniform(f.playgraph->duration());
        in.times.push_back(t);
        in.walked.push_back(static_cast<double>(f.pathIndexAt(t) + 1));
    }
    return in;
}

void BM_SegmentById(benchmark::State& state) {
    const Fixture& f = large(state);
    Picker pick;
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < kInputs; ++i)
        ids.push_back(f.generated.segmentIds[pick.index(f.generated.segmentIds.size())]);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.playgraph->segmentById(ids[i++ & (kInputs - 1)]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SegmentById)->Arg(kLarge);

void BM_SegmentByIdMissing(benchmark::State& state) {
    const Fixture& f = large(state);
    std::vector<std::string> ids;
    for (std::size_t i = 0; i < kInputs; ++i)
        ids.push_back("missing_" + std::to_string(i * 7919));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.playgraph->segmentById(ids[i++ & (kInputs - 1)]));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SegmentByIdMissing)->Arg(kLarge);

void BM_SegmentIdAtPlaygraphTime(benchmark::State& state) {
    const Fixture& f = large(state);
    const TimeInputs in = randomTimes(f);
    std::size_t i = 0;
    double walked = 0;
    for (auto _ : state) {
        const std::size_t k = i++ & (kInputs - 1);
        benchmark::DoNotOptimize(f.playgraph->segmentIdAtPlaygraphTime(in.times[k]));
        walked += in.walked[k];
    }
    reportPerSegment(state, walked);
}
BENCHMARK(BM_SegmentIdAtPlaygraphTime)->Arg(kLarge);

void BM_PlayerTimeForPlaygraphOffset(benchmark::State& state) {
    const Fixture& f = large(state);
    const TimeInputs in = randomTimes(f);
    std::size_t i = 0;
    double walked = 0;
    for (auto _ : state) {
        const std::size_t k = i++ & (kInputs - 1);
        benchmark::DoNotOptimize(f.playgraph->playerTimeForPlaygraphOffset(in.times[k]));
        walked += in.walked[k];
    }
    reportPerSegment(state, walked);
}
BENCHMARK(BM_PlayerTimeForPlaygraphOffset)->Arg(kLarge);

void BM_PositionAtPlaygraphOffset(benchmark::State& state) {
    const Fixture& f = large(state);
    const TimeInputs in = randomTimes(f);
    std::size_t i = 0;
    double walked = 0;
    for (auto _ : state) {
        const std::size_t k = i++ & (kInputs - 1);
        benchmark::DoNotOptimize(
            f.playgraph->positionAtPlaygraphOffsetAlongDefaultPlaybackPath(in.times[k]));
        walked += 2 * in.walked[k]; // two walks: the segment, then the viewable time
    }
    reportPerSegment(state, walked);
}
BENCHMARK(BM_PositionAtPlaygraphOffset)->Arg(kLarge);

void BM_PlaygraphOffsetForPlayerTime(benchmark::State& state) {
    const Fixture& f = large(state);
    Picker pick;
    std::vector<std::size_t> index;
    std::vector<double> times;
    for (std::size_t i = 0; i < kInputs; ++i) {
        const std::size_t j = pick.index(f.pathSegments.size());
        index.push_back(j);
        times.push_back(f.pathSegments[j]->startTime() +
                        pick.uniform(f.pathSegments[j]->segmentDuration()));
    }
    std::size_t i = 0;
    double walked = 0;
    for (auto _ : state) {
        const std::size_t k = i++ & (kInputs - 1);
        benchmark::DoNotOptimize(
            f.playgraph->playgraphOffsetForPlayerTime(times[k], f.pathSegments[index[k]]));
        walked += static_cast<double>(index[k] + 1);
    }
    reportPerSegment(state, walked);
}
BENCHMARK(BM_PlaygraphOffsetForPlayerTime)->Arg(kLarge);

// Viewable time to position: a scan of every segment.
void BM_PositionAtViewableTime(benchmark::State& state) {
    const Fixture& f = large(state);
    Picker pick;
    std::vector<double> times;
    for (std::size_t i = 0; i < kInputs; ++i) {
        const auto& s = f.pathSegments[pick.index(f.pathSegments.size())];
        times.push_back(s->startTime() + pick.uniform(s->segmentDuration()));
    }
    const Value viewable(f.generated.viewableId);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            f.playgraph->positionAtViewableTime(times[i++ & (kInputs - 1)], viewable));
    }
    const auto n = static_cast<double>(f.playgraph->segmentMap().size());
    reportPerSegment(state, n * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_PositionAtViewableTime)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMicrosecond);

void BM_DefaultPathTraversal(benchmark::State& state) {
    const Fixture& f = large(state);
    double visited = 0;
    for (auto _ : state) {
        f.playgraph->defaultPathTraversal([&](const auto& segment, uint64_t, bool&) {
            benchmark::DoNotOptimize(segment.get());
            ++visited;
        });
    }
    reportPerSegment(state, visited);
}
BENCHMARK(BM_DefaultPathTraversal)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMillisecond);

void BM_BreadthFirstTraversal(benchmark::State& state) {
    const Fixture& f = large(state);
    double visited = 0;
    for (auto _ : state) {
        f.playgraph->bredthFirstTraversalFromSegmentId(std::nullopt,
                                                       std::numeric_limits<uint64_t>::max(),
                                                       [&](const auto& segment, uint64_t, bool&) {
                                                           benchmark::DoNotOptimize(segment.get());
                                                           ++visited;
                                                       });
    }
    reportPerSegment(state, visited);
}
BENCHMARK(BM_BreadthFirstTraversal)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMillisecond);

void BM_DepthFirstTraversal(benchmark::State& state) {
    const Fixture& f = large(state);
    double visited = 0;
    for (auto _ : state) {
        f.playgraph->depthFirstTraversalFromSegmentId(std::nullopt,
                                                      [&](const auto& segment, uint64_t, bool&) {
                                                          benchmark::DoNotOptimize(segment.get());
                                                          ++visited;
                                                      });
    }
    reportPerSegment(state, visited);
}
BENCHMARK(BM_DepthFirstTraversal)->Arg(1000)->Arg(kLarge)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace playgraph::bench
