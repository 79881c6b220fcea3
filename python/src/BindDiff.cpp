// Python bindings of diff, apply and merge, and of the canonical JSON style.

#include "Convert.hpp"
#include "playgraph/diff/Diff.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::python {

namespace {

// A playgraph given as a dict, a path or a file, read as `load` reads it.
Value playgraphFrom(const py::object& source) { return Source::from(source).read(); }

} // namespace

void bindDiff(py::module_& m) {
    py::register_exception<DiffError>(m, "DiffError", PyExc_ValueError).doc() =
        "Raised by diff, apply and merge for an argument they cannot work on (a top level that "
        "is not a dict, a change that does not fit, a malformed change list). str() names the "
        "argument or the change and its key path.";
    m.def(
        "diff",
        [](const py::object& before, const py::object& after) {
            const Value a = playgraphFrom(before), b = playgraphFrom(after);
            Value changes;
            {
                py::gil_scoped_release release;
                changes = diff(a, b).toValue();
            }
            return fromValue(changes);
        },
        py::arg("before"), py::arg("after"),
        "The changes from playgraph before to playgraph after (each a dict, a path or a "
        "file), by segment and transition id: a list of dicts with 'kind' (segmentAdded, "
        "segmentRemoved, segmentRenamed, retimed, defaultNextChanged, transitionAdded, "
        "transitionRemoved, transitionReweighted, transitionTypeChanged, annotationChanged, "
        "...), 'path' (a list of keys), 'before' and 'after' (left out when absent), and "
        "'segment', 'transition', 'renamedTo' where they apply. apply(before, diff(before, "
        "after)) == after.");
    m.def(
        "apply",
        [](const py::object& before, const py::handle& changes) {
            const Value a = playgraphFrom(before);
            const PlaygraphDiff list = PlaygraphDiff::fromValue(toValue(changes));
            Value result;
            {
                py::gil_scoped_release release;
                result = apply(a, list);
            }
            return fromValue(result);
        },
        py::arg("before"), py::arg("changes"),
        "A new dict: before (a dict, a path or a file) with changes (a list as diff returns "
        "it) made. Each change must find its 'before' value at its path, else DiffError; "
        "before itself is never changed.");
    m.def(
        "merge",
        [](const py::object& base, const py::object& ours, const py::object& theirs) {
            const Value b = playgraphFrom(base), o = playgraphFrom(ours), t = playgraphFrom(theirs);
            MergeResult result;
            Value conflicts;
            {
                py::gil_scoped_release release;
                result = merge(b, o, t);
                conflicts = result.conflictsValue();
            }
            return py::make_tuple(fromValue(result.merged), fromValue(conflicts));
        },
        py::arg("base"), py::arg("ours"), py::arg("theirs"),
        "Three-way merge by id of two playgraphs (dicts, paths or files) made from base: "
        "returns (merged, conflicts). Changes to different segments, transitions or keys "
        "combine; the same change on both sides is taken once. conflicts lists, as dicts "
        "with 'path', 'base', 'ours', 'theirs' (left out when absent) and 'reason', where both "
        "changed one value differently or one side removed what the other changed or refers "
        "to; merged keeps ours there.");
    m.def(
        "dumps_canonical",
        [](const py::handle& value) {
            const Value v = toValue(value);
            py::gil_scoped_release release;
            return writeJson(v, JsonStyle::Canonical);
        },
        py::arg("value"),
        "JSON text of a value in the canonical form of `playgraph fmt`, for files kept in "
        "version control: keys sorted, a segment a block of lines, a transition a line, "
        "numbers as dumps writes them. One value always gives one text. Raises JsonError for "
        "a value without a JSON form.");
}

} // namespace playgraph::python
