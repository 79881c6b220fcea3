// The editing operations of the editable playgraph, each once, compared with
// a bare `load()` of the same playgraph.
//
// Every edit changes the playgraph, and its nested dictionaries are shared
// with the dictionary it was made from, so each iteration first makes two
// editable playgraphs from fresh deep copies of the generated dictionary
// (not timed). It times the edit on one and a bare `load()` of the other,
// in alternating order, both in the thread's CPU time (the edit's is the
// manual time reported): `ratio` is the sum of edit times over the sum of
// load times, measured in the same iterations.

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <utility>

#include "AllocationCounter.hpp"
#include "BenchSupport.hpp"
#include "playgraph/editing/EditHistory.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::bench {
namespace {

/// Segment ids of the generated playgraph that the edits work on.
struct EditTargets {
    /// A default-path segment with at most one transition out, which its
    /// predecessor on the path reaches by a transition (so that inserting
    /// before it and removing it rewire that transition).
    std::string plain;
    std::string branch;      ///< a default-path branch point (two or more transitions out)
    std::string alternative; ///< a destination of `branch` other than its default next
    std::string far;         ///< a segment `plain` has no transition to
    double plainDuration = 0.0;
    Value viewableId;
};

EditTargets targetsFor(const Fixture& f) {
    EditTargets t;
    const auto& path = f.pathSegments;
    const std::size_t middle = path.size() / 2;
    for (std::size_t i = middle; i < path.size() && (t.plain.empty() || t.branch.empty()); ++i) {
        const auto& segment = path[i];
        const bool byTransition = path[i - 1]->next().contains(segment->segmentId());
        if (t.plain.empty() && byTransition && segment->next().size() <= 1 && i + 5 < path.size()) {
            t.plain = segment->segmentId();
            t.far = path[i + 5]->segmentId();
            t.plainDuration = segment->segmentDuration();
        }
        if (t.branch.empty() && segment->next().size() >= 2) {
            t.branch = segment->segmentId();
            for (const auto& [destination, transition] : segment->next()) {
                if (destination != segment->defaultNext()) t.alternative = destination;
            }
        }
    }
    t.viewableId = Value(f.generated.viewableId);
    return t;
}

using Edit = std::function<void(MutablePlaygraph&, const EditTargets&)>;

void runEdit(benchmark::State& state, const Edit& edit) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Fixture& f = fixture(n);
    const EditTargets targets = targetsFor(f);
    const Value original(f.generated.dictionary);
    double editSeconds = 0.0, loadSeconds = 0.0;
    bool editFirst = true;
    for (auto _ : state) {
        auto edited = MutablePlaygraph::create(original.deepCopy());
        auto loaded = MutablePlaygraph::create(original.deepCopy());
        double seconds = 0.0;
        const auto timeEdit = [&] {
            const double t0 = threadCpuSeconds();
            edit(*edited, targets);
            seconds = threadCpuSeconds() - t0;
        };
        const auto timeLoad = [&] {
            const double t0 = threadCpuSeconds();
            loaded->load();
            loadSeconds += threadCpuSeconds() - t0;
        };
        // Alternate the order, so that neither always runs on warmer caches.
        if (editFirst) {
            timeEdit();
            timeLoad();
        } else {
            timeLoad();
            timeEdit();
        }
        editFirst = !editFirst;
        editSeconds += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["ratio"] = loadSeconds > 0 ? editSeconds / loadSeconds : 0.0;
    state.counters["load_ms"] = loadSeconds / iterations * 1e3;
    state.counters["per_segment"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate |
                                                       benchmark::Counter::kInvert);
}

// Registers an edit at 1,000, 10,000 and 100,000 segments with fixed
// iteration counts: each iteration needs two fresh copies, which cost far
// more than most edits, so "as many iterations as needed" would be slow.
void registerEdit(const char* name, Edit edit) {
    for (const auto& [n, iterations] : {std::pair{1000, 200}, {10000, 40}, {100000, 6}}) {
        benchmark::RegisterBenchmark(name, [edit](benchmark::State& s) { runEdit(s, edit); })
            ->Arg(n)
            ->Iterations(iterations)
            ->UseManualTime()
            ->Unit(benchmark::kMillisecond);
    }
}

const std::string kNewId = "bench_new_segment";
const std::string kOtherId = "bench_other_segment";

[[maybe_unused]] const bool registered = [] {
    registerEdit("BM_EditBareLoad", [](MutablePlaygraph& p, const EditTargets&) { p.load(); });
    registerEdit("BM_EditAddTransition", [](MutablePlaygraph& p, const EditTargets& t) {
        p.addTransitionFromSegment(t.plain, t.far, false, Value());
    });
    registerEdit("BM_EditUpdateTransitionProperties",
                 [](MutablePlaygraph& p, const EditTargets& t) {
                     p.updatePropertiesForTransitionFrom(t.branch, t.alternative,
                                                         Value(Dictionary{{"weight", 7}}));
                 });
    registerEdit("BM_EditUpdateDefaultNext", [](MutablePlaygraph& p, const EditTargets& t) {
        p.updateDefaultNextFromSegment(t.branch, t.alternative);
    });
    registerEdit("BM_EditSkipRegion", [](MutablePlaygraph& p, const EditTargets& t) {
        p.supportSkippingSegment(t.branch, t.alternative, 1.5, 10);
    });
    registerEdit("BM_EditInsertAfter", [](MutablePlaygraph& p, const EditTargets& t) {
        p.insertSegmentAfter(t.plain, kNewId, t.viewableId, 1000.0, 1010.0, true, nullptr);
    });
    registerEdit("BM_EditInsertBefore", [](MutablePlaygraph& p, const EditTargets& t) {
        p.insertSegmentBefore(t.plain, kNewId, t.viewableId, 1000.0, 1010.0, nullptr);
    });
    // The three cases of a split: the segment keeps the first half, keeps
    // the second half, or gives way to two new segments.
    registerEdit("BM_EditSplitKeepFirst", [](MutablePlaygraph& p, const EditTargets& t) {
        p.splitSegment(t.plain, t.plainDuration / 2, t.plain, kNewId);
    });
    registerEdit("BM_EditSplitKeepSecond", [](MutablePlaygraph& p, const EditTargets& t) {
        p.splitSegment(t.plain, t.plainDuration / 2, kNewId, t.plain);
    });
    registerEdit("BM_EditSplitNewHalves", [](MutablePlaygraph& p, const EditTargets& t) {
        p.splitSegment(t.plain, t.plainDuration / 2, kNewId, kOtherId);
    });
    registerEdit("BM_EditRemove",
                 [](MutablePlaygraph& p, const EditTargets& t) { p.removeSegment(t.plain); });
    return true;
}();

// A split as one step of an edit history, then its undo, in the thread's CPU
// time: `undo_ratio` is the undo's time over the split's (the split
// includes its transaction), `step_B` the heap the step keeps for undo and
// redo (what `clear` frees afterwards), which should not grow with N.
void BM_EditHistorySplitUndo(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const Fixture& f = fixture(n);
    const EditTargets targets = targetsFor(f);
    const Value original(f.generated.dictionary);
    double splitSeconds = 0.0, undoSeconds = 0.0, stepBytes = 0.0;
    for (auto _ : state) {
        auto p = MutablePlaygraph::create(original.deepCopy());
        EditHistory history(p);
        double t0 = threadCpuSeconds();
        history.transaction([&](MutablePlaygraph& g) {
            g.splitSegment(targets.plain, targets.plainDuration / 2, targets.plain, kNewId);
        });
        const double split = threadCpuSeconds() - t0;
        t0 = threadCpuSeconds();
        history.undo();
        const double undo = threadCpuSeconds() - t0;
        HeapDelta kept;
        history.clear();
        stepBytes = static_cast<double>(-kept.sample().bytes);
        splitSeconds += split;
        undoSeconds += undo;
        state.SetIterationTime(undo);
    }
    state.counters["undo_ratio"] = splitSeconds > 0 ? undoSeconds / splitSeconds : 0.0;
    state.counters["split_ms"] = splitSeconds / static_cast<double>(state.iterations()) * 1e3;
    state.counters["step_B"] = stepBytes;
}
BENCHMARK(BM_EditHistorySplitUndo)
    ->Arg(10000)
    ->Arg(100000)
    ->Iterations(8)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace playgraph::bench
