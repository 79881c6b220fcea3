#pragma once

// Conversions between Python objects and the library's values, and the
// guard that keeps exceptions raised by Python callbacks from unwinding
// through the library.

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "playgraph/PlaygraphPosition.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"
#include "playgraph/QZPlaygraphSegmentExitZone.hpp"
#include "playgraph/QZPlaygraphSegmentTransition.hpp"
#include "playgraph/QZVideoCompositionFactory.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

// pybind11 shows a returned std::shared_ptr<Base> as the most derived
// registered class and copies the pointer as if it pointed to that class,
// which is wrong where the class reaches the base through a virtual base
// (transitions). These interfaces are therefore shown as declared; a
// concrete class comes through a pointer of its own type (`castTransition`,
// `fromValue`). Playgraphs and data sources need no such care: pybind11
// takes their pointers from `shared_from_this`.
#define PLAYGRAPH_SHOW_AS_DECLARED(Type)                                                           \
    template <> struct pybind11::polymorphic_type_hook<Type> {                                     \
        static const void* get(const Type* source, const std::type_info*& type) {                  \
            type = nullptr;                                                                        \
            return source;                                                                         \
        }                                                                                          \
    };
PLAYGRAPH_SHOW_AS_DECLARED(playgraph::HostObject)
PLAYGRAPH_SHOW_AS_DECLARED(playgraph::QZPlaygraphSegment)
PLAYGRAPH_SHOW_AS_DECLARED(playgraph::QZPlaygraphSegmentTransition)
PLAYGRAPH_SHOW_AS_DECLARED(playgraph::QZPlaygraphSegmentExitZone)
PLAYGRAPH_SHOW_AS_DECLARED(playgraph::QZVideoCompositionFactory)
#undef PLAYGRAPH_SHOW_AS_DECLARED

namespace playgraph::python {

namespace py = pybind11;

/// A Python value as a `Value`: dict (str keys, order kept), list or tuple,
/// bool, int (Int when it fits a signed 64-bit integer, else UInt, else
/// OverflowError), float, str, a `HostObject` (by reference: the Python
/// object stays alive while the library holds it) and None. None is the null
/// marker inside containers; at the top level it is the null marker unless
/// `noneIsAbsent`, then it is none. Anything else raises TypeError naming the
/// key path.
Value toValue(py::handle object, bool noneIsAbsent = false);

/// A `Value` as a Python value: the inverse of `toValue`. None and the null
/// marker are None; a dictionary entry holding none is left out (an absent
/// key reads the same). Host objects come back as the Python object they
/// were made from.
py::object fromValue(const Value& value);

/// A transition as its most derived Python class.
py::object castTransition(const std::shared_ptr<QZPlaygraphSegmentTransition>& transition);
/// A list of transitions, each as `castTransition` shows it.
py::list castTransitions(const std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>>& list);

/// A dict (or None) as a dictionary (or none); TypeError otherwise.
std::optional<Dictionary> toOptionalDictionary(py::handle object);
/// A dict as a dictionary; None gives an empty one.
Dictionary toDictionary(py::handle object);
py::object fromOptionalDictionary(const std::optional<Dictionary>& dictionary);

/// A `QZPlaygraphParams` (or None, for no params) as a pointer that keeps the
/// Python object, with its subclass and attributes, alive.
std::shared_ptr<QZPlaygraphParams> toParams(py::handle object);
py::object fromParams(const std::shared_ptr<QZPlaygraphParams>& params);

/// Where a playgraph comes from: a dict (converted at once, with the GIL),
/// a file path (a str or an `os.PathLike`), a file object (read at once),
/// or JSON text given as such (`fromText`).
struct Source {
    Value value;
    std::optional<std::string> text;
    std::optional<std::string> path;
    std::string textName = "<input>"; ///< the name of `text` in messages

    /// A dict, a path or a file object (one with read(), giving str or
    /// bytes). Raises TypeError for anything else and FileNotFoundError for
    /// a path that names nothing.
    static Source from(py::handle object);
    /// JSON text: a str or bytes. Raises TypeError for anything else.
    static Source fromText(py::handle object);
    /// The dictionary: parses the text or reads the file (raises `JsonError`,
    /// also for a top level that is not an object, as the tool does).
    /// Touches no Python object, so it runs without the GIL.
    Value read() const;
};

/// The default viewable id the tool would use: `given` unless it is none,
/// else the first numeric "main" of the segments of `dictionary`.
Value defaultViewableIdFor(const Value& given, const Value& dictionary);

/// Collects what Python callbacks raise while the library calls them, so
/// that no Python exception unwinds through library code. Scopes nest per
/// thread: a callback arriving during an operation reports to the innermost
/// scope. The first exception is kept and raised by `rethrowIfFailed` once
/// the library call has returned; later ones (and any that arrive with no
/// scope open) go to `sys.unraisablehook`. Used with the GIL held.
class CallbackScope {
public:
    CallbackScope();
    ~CallbackScope();
    CallbackScope(const CallbackScope&) = delete;
    CallbackScope& operator=(const CallbackScope&) = delete;

    /// Runs `call` (which calls Python); false when it raised.
    template <class F> static bool run(F&& call, const char* where) {
        try {
            call();
            return true;
        } catch (py::error_already_set& error) {
            report(error, where);
            return false;
        }
    }
    /// Raises the first exception a callback raised within this scope.
    void rethrowIfFailed();

private:
    static void report(py::error_already_set& error, const char* where);
    CallbackScope* outer_;
    std::optional<py::error_already_set> error_;
};

/// Runs `call` (a library operation that may call Python callbacks) inside a
/// `CallbackScope` and raises what a callback raised, after the operation
/// has finished.
template <class F> decltype(auto) withCallbacks(F&& call) {
    CallbackScope scope;
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        scope.rethrowIfFailed();
    } else {
        auto result = call();
        scope.rethrowIfFailed();
        return result;
    }
}

/// The walks' callback for a Python function `f(segment, index)`: a truthy
/// result stops the walk, and so does an exception (raised once the walk
/// has returned, by the enclosing `withCallbacks`).
TraversalCallback pythonWalkCallback(const py::function& function);

/// One step of a collected walk.
using WalkStep = std::pair<std::shared_ptr<QZPlaygraphSegment>, uint64_t>;

/// Runs a walk: with a callback, calls it for every step (the GIL held); with
/// None, collects the steps with the GIL released and returns them as a list
/// of (segment, index) tuples. `walk` takes a `TraversalCallback`.
template <class Walk> py::object runWalk(const py::object& callback, Walk&& walk) {
    if (!callback.is_none()) {
        const auto function = callback.cast<py::function>();
        withCallbacks([&] { walk(pythonWalkCallback(function)); });
        return py::none();
    }
    std::vector<WalkStep> steps;
    {
        py::gil_scoped_release release;
        walk([&steps](const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t index, bool&) {
            steps.emplace_back(segment, index);
        });
    }
    py::list list(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
        list[i] = py::make_tuple(steps[i].first, steps[i].second);
    }
    return list;
}

// The parts of the module, one per family of the library.
void bindValues(py::module_& m);
void bindModel(py::module_& m);
void bindEditing(py::module_& m);
void bindDataSources(py::module_& m);
void bindPlayback(py::module_& m);
void bindCompositions(py::module_& m);
void bindDiff(py::module_& m);
void bindValidate(py::module_& m);

} // namespace playgraph::python
