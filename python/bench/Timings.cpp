// Timings of bare library calls for the benchmarks (python/bench/overhead.py,
// web/bench/bench.mjs): a module of their own, built with the tests and
// benchmarks and never installed with the package.

#include <chrono>
#include <ctime>

#include <pybind11/pybind11.h>

#include "playgraph/json/Json.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/playback/PlaybackSession.hpp"

namespace py = pybind11;
using namespace playgraph;

namespace {

// The calling thread's CPU time, as Python's time.thread_time() reads it.
struct ThreadClock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ThreadClock>;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return time_point(duration(int64_t{t.tv_sec} * 1000000000 + t.tv_nsec));
    }
};

// Timings of the bare library calls, for the overhead benchmark
// (python/bench/overhead.py): the thread's CPU seconds for `iterations` runs.
} // namespace

PYBIND11_MODULE(playgraph_timings, timings) {
    using Clock = ThreadClock;
    timings.doc() = "Timings of bare library calls, for the benchmarks; not part of the package.";
    // The classes the timings take are those the package registers.
    py::module_::import("playgraph");
    timings.def("load_from_text", [](const std::string& text, int iterations) {
        py::gil_scoped_release release;
        const auto start = Clock::now();
        for (int i = 0; i < iterations; ++i)
            Playgraph::create(parseJson(text));
        return std::chrono::duration<double>(Clock::now() - start).count();
    });
    timings.def("segment_by_id", [](const QZPlaygraph& playgraph, const std::string& id,
                                    int iterations) {
        const auto start = Clock::now();
        std::size_t found = 0;
        for (int i = 0; i < iterations; ++i)
            found += playgraph.segmentById(id) != nullptr;
        return py::make_tuple(std::chrono::duration<double>(Clock::now() - start).count(), found);
    });
    timings.def("segment_id_at_playgraph_time", [](const QZPlaygraph& playgraph, double time,
                                                   int iterations) {
        const auto start = Clock::now();
        std::size_t found = 0;
        for (int i = 0; i < iterations; ++i) {
            found += playgraph.segmentIdAtPlaygraphTime(time).has_value();
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return py::make_tuple(seconds, found);
    });
    // (For the JavaScript package's benchmark, web/bench/bench.mjs.)
    timings.def(
        "prefetch_plan", [](const PlaybackSession& session, double horizon, int iterations) {
            const auto start = Clock::now();
            std::size_t entries = 0;
            for (int i = 0; i < iterations; ++i)
                entries += session.prefetchPlan(horizon).entries.size();
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            return py::make_tuple(seconds, entries);
        });
}
