// The playback session on the generated stories: a prefetch plan at a branch
// point, the player's progress reports, mapping session time to positions
// and back, and saving and restoring the state of a long played path.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "BenchSupport.hpp"
#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"
#include "playgraph/playback/PlaybackSession.hpp"

namespace playgraph::bench {
namespace {

constexpr std::size_t kInputs = 1024; // a power of two

/// A session whose current segment is the branch point nearest the middle
/// of the default path.
std::shared_ptr<PlaybackSession> sessionAtMiddleBranch(const Fixture& f) {
    auto source = PlaygraphPlayerMutableDataSource::create(f.playgraph, std::nullopt);
    auto session = PlaybackSession::create(source);
    std::size_t at = f.pathSegments.size() / 2;
    while (at + 1 < f.pathSegments.size() && f.pathSegments[at]->next().size() < 2)
        ++at;
    session->seek(session->timeline()[at].start);
    return session;
}

// The same horizon at 32 branch points spread along the path, taken in turn,
// so that the figure is that of the story's usual branch, whatever its size.
void BM_PrefetchPlanAtBranch(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    auto source = PlaygraphPlayerMutableDataSource::create(f.playgraph, std::nullopt);
    std::vector<std::shared_ptr<PlaybackSession>> sessions;
    const auto line = PlaybackSession::create(source)->timeline();
    for (std::size_t k = 0; k < 32; ++k) {
        std::size_t at = (k * 2 + 1) * (line.size() / 64);
        while (at + 1 < line.size() && line[at].segment->next().size() < 2)
            ++at;
        auto session = PlaybackSession::create(source);
        session->seek(line[at].start);
        sessions.push_back(std::move(session));
    }
    std::size_t i = 0, entries = 0;
    for (auto _ : state) {
        const auto plan = sessions[i++ & 31]->prefetchPlan(30.0);
        entries += plan.entries.size();
        benchmark::DoNotOptimize(plan);
    }
    state.counters["entries"] =
        static_cast<double>(entries) / static_cast<double>(std::max<std::size_t>(i, 1));
}
BENCHMARK(BM_PrefetchPlanAtBranch)->Arg(1000)->Arg(100000);

void BM_Advance(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    const auto session = sessionAtMiddleBranch(f);
    const double start = session->position().segment->startTime();
    const double length = session->position().segment->segmentDuration();
    std::vector<double> times;
    Picker pick;
    for (std::size_t i = 0; i < kInputs; ++i)
        times.push_back(start + pick.uniform(length * 0.5)); // before the decision window
    std::size_t i = 0;
    for (auto _ : state)
        session->advance(times[i++ & (kInputs - 1)]);
}
BENCHMARK(BM_Advance)->Arg(100000);

void BM_PositionAtSessionTime(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    const auto session = sessionAtMiddleBranch(f);
    const double total = session->duration().seconds;
    std::vector<double> times;
    Picker pick;
    for (std::size_t i = 0; i < kInputs; ++i)
        times.push_back(pick.uniform(total));
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(session->positionAtSessionTime(times[i++ & (kInputs - 1)]));
    state.counters["path"] = static_cast<double>(session->timeline().size());
}
BENCHMARK(BM_PositionAtSessionTime)->Arg(1000)->Arg(100000);

void BM_SessionTimeAtPosition(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    const auto session = sessionAtMiddleBranch(f);
    const double total = session->duration().seconds;
    std::vector<PlaygraphPosition> positions;
    Picker pick;
    for (std::size_t i = 0; i < kInputs; ++i)
        positions.push_back(session->positionAtSessionTime(pick.uniform(total)));
    session->sessionTimeAtPosition(positions[0]); // builds the index once
    std::size_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(session->sessionTimeAtPosition(positions[i++ & (kInputs - 1)]));
}
BENCHMARK(BM_SessionTimeAtPosition)->Arg(1000)->Arg(100000);

// A session that has played half of the default path: its state, and a
// restore of it on a fresh data source, per played segment.
void BM_StateAndRestore(benchmark::State& state) {
    const Fixture& f = fixture(static_cast<std::size_t>(state.range(0)));
    const auto session = sessionAtMiddleBranch(f);
    const auto played = static_cast<double>(session->currentStep());
    for (auto _ : state) {
        const Dictionary saved = session->state();
        auto fresh = PlaygraphPlayerMutableDataSource::create(f.playgraph, std::nullopt);
        benchmark::DoNotOptimize(PlaybackSession::restore(fresh, saved));
    }
    state.counters["per_played_segment"] = benchmark::Counter(
        played, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StateAndRestore)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace playgraph::bench
