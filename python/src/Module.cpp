// The native part of the `playgraph` Python package.

#include <chrono>
#include <ctime>

#include "Convert.hpp"
#include "playgraph/Constants.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/playback/PlaybackSession.hpp"

namespace playgraph::python {

namespace {

// The Python type of `JsonError`, made once and kept for the process.
PyObject* jsonErrorType = nullptr;

void raiseJsonError(const JsonError& error) {
    py::object exception = py::reinterpret_borrow<py::object>(jsonErrorType)(py::str(error.what()));
    exception.attr("reason") = error.reason();
    exception.attr("key_path") = error.keyPath();
    exception.attr("source") = error.source();
    const auto& location = error.location();
    exception.attr("line") = location ? py::cast(location->line) : py::none();
    exception.attr("column") = location ? py::cast(location->column) : py::none();
    exception.attr("offset") = location ? py::cast(location->offset) : py::none();
    PyErr_SetObject(jsonErrorType, exception.ptr());
}

void bindErrors(py::module_& m) {
    py::register_exception<InvalidArgumentError>(m, "InvalidArgumentError", PyExc_ValueError)
        .doc() = "Raised by the editing operations when an argument is invalid (a segment that "
                 "does not exist, an id that is taken, reversed or non-finite times). str() is "
                 "the reason exactly, e.g. 'Cannot find segment A'. An edit that raises has "
                 "changed nothing.";
    py::object jsonError = py::exception<JsonError>(m, "JsonError", PyExc_ValueError);
    jsonError.doc() = "Raised when JSON cannot be read or written. str() is the whole message; "
                      "reason is the fault alone, line/column/offset where in the text it lies "
                      "(reading; else None), key_path the path of a value that has no JSON form "
                      "(writing), source the name of the input file.";
    jsonErrorType = jsonError.release().ptr();
    py::register_exception_translator([](std::exception_ptr pointer) {
        try {
            if (pointer) std::rethrow_exception(pointer);
        } catch (const JsonError& error) {
            raiseJsonError(error);
        }
    });
}

void bindJson(py::module_& m) {
    m.def(
        "load",
        [](const py::object& source, const py::object& defaultViewableId) {
            const Source input = Source::from(source);
            const Value viewableId = toValue(defaultViewableId, true);
            py::gil_scoped_release release;
            const Value dictionary = input.read();
            return Playgraph::create(dictionary, defaultViewableIdFor(viewableId, dictionary));
        },
        py::arg("source"), py::arg("default_viewable_id") = py::none(),
        "Builds an immutable Playgraph from a dict, JSON text (a str starting with '{', or "
        "bytes) or a path (str or os.PathLike). default_viewable_id (an int; None: the first "
        "numeric \"main\" of the segments, as the tool does) goes to segments without "
        "\"viewableId\" when the playgraph's \"type\" is \"branching\". Wrongly typed "
        "entries read as absent, so a dictionary always loads; malformed JSON, and JSON whose "
        "top level is not an object, raise JsonError, a missing file FileNotFoundError. Text and "
        "files are read and built "
        "without holding the GIL.");
    m.def(
        "dumps",
        [](const py::object& value, bool pretty) {
            Value dictionary;
            if (py::isinstance<QZMutablePlaygraph>(value)) {
                dictionary =
                    Value(value.cast<const QZMutablePlaygraph&>().dictionaryRepresentation());
            } else if (py::isinstance<QZPlaygraph>(value)) {
                throw py::type_error("an immutable Playgraph keeps no dictionary: load it as a "
                                     "MutablePlaygraph to write it back");
            } else {
                dictionary = toValue(value);
            }
            py::gil_scoped_release release;
            return writeJson(dictionary, pretty ? JsonStyle::pretty : JsonStyle::compact);
        },
        py::arg("value"), py::arg("pretty") = false,
        "JSON text of an editable playgraph (its dictionary_representation()) or of a value "
        "(dict, list, str, int, float, bool, None). Integers stay integers and floats floats "
        "(10000 and 10000.0), keys keep their order; pretty=True writes 2-space indented lines. "
        "A value without a JSON form (a host object, a nan or infinite float) raises JsonError "
        "naming its key path.");
}

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
void bindTimings(py::module_& m) {
    using Clock = ThreadClock;
    auto timings = m.def_submodule("_timings", "Timings of bare library calls (benchmarks only).");
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

} // namespace

void bindValues(py::module_& m) {
    bindErrors(m);
    py::class_<HostObject, std::shared_ptr<HostObject>>(
        m, "HostObject", py::dynamic_attr(),
        "Base class of the opaque host objects a dictionary can carry. The library only stores, "
        "passes on and type-tests them. Subclass it (or QZPlaygraphParams) in Python: an "
        "instance stored in a dictionary or a segment comes back as the same Python object, "
        "attributes and subclass included, and is kept alive while the library holds it (so "
        "it should not refer back to the playgraph that holds it: that cycle is never "
        "collected).")
        .def(py::init<>());
    py::class_<QZPlaygraphParams, HostObject, std::shared_ptr<QZPlaygraphParams>>(
        m, "QZPlaygraphParams", py::dynamic_attr(),
        "The host's opaque per-segment parameters object. The library stores instances in a "
        "segment's user info under PlaygraphSegmentUserInfoPlaygraphParamsKey and on "
        "compositions, hands them on and tests whether an object is one.")
        .def(py::init<>());

    m.attr("QZPlaygraphTransitionTypeLazy") = std::string(QZPlaygraphTransitionTypeLazy);
    m.attr("QZPlaygraphTransitionTypeImmediate") = std::string(QZPlaygraphTransitionTypeImmediate);
    m.attr("QZPlaygraphTransitionTypePauseAtStart") =
        std::string(QZPlaygraphTransitionTypePauseAtStart);
    m.attr("QZPlaygraphTransitionTypePauseAtEnd") =
        std::string(QZPlaygraphTransitionTypePauseAtEnd);
    m.attr("QZPlaygraphSystemTransitionTypeStart") =
        std::string(QZPlaygraphSystemTransitionTypeStart);
    m.attr("QZPlaygraphSystemTransitionTypeSeek") =
        std::string(QZPlaygraphSystemTransitionTypeSeek);
    m.attr("QZPlaygraphSystemTransitionTypeEnd") = std::string(QZPlaygraphSystemTransitionTypeEnd);
    m.attr("MutablePlaygraphUserInfoKey") = std::string(MutablePlaygraphUserInfoKey);
    m.attr("PlaygraphSegmentUserInfoPlaygraphParamsKey") =
        std::string(PlaygraphSegmentUserInfoPlaygraphParamsKey);
}

} // namespace playgraph::python

PYBIND11_MODULE(_playgraph, m) {
    using namespace playgraph::python;
    m.doc() = "The native part of the playgraph package (import playgraph instead).";
    // Classes, exceptions and signatures name the package users import.
    const py::object name = m.attr("__name__");
    m.attr("__name__") = "playgraph";
    bindValues(m);
    bindModel(m);
    bindEditing(m);
    bindDataSources(m);
    bindPlayback(m);
    bindCompositions(m);
    bindJson(m);
    bindDiff(m);
    m.attr("__name__") = name;
    m.attr("__version__") = PLAYGRAPH_VERSION;
    bindTimings(m);
}
