// The native part of the `playgraph` Python package.

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
    // A playgraph from `input`, built without holding the GIL.
    const auto build = [](const Source& input, const py::object& defaultViewableId) {
        const Value viewableId = toValue(defaultViewableId, true);
        py::gil_scoped_release release;
        const Value dictionary = input.read();
        return Playgraph::create(dictionary, defaultViewableIdFor(viewableId, dictionary));
    };
    constexpr const char* viewableDoc =
        " default_viewable_id (an int; None: the first numeric \"main\" of the segments, as "
        "the tool does) goes to segments without \"viewableId\" when the playgraph's \"type\" "
        "is \"branching\". Wrongly typed entries read as absent, so a dictionary always loads; "
        "malformed JSON, and JSON whose top level is not an object, raise JsonError.";
    m.def(
        "load",
        [build](const py::object& source, const py::object& defaultViewableId) {
            return build(Source::from(source), defaultViewableId);
        },
        py::arg("source"), py::arg("default_viewable_id") = py::none(),
        (std::string("Builds an immutable Playgraph from a path (str or os.PathLike), a file "
                     "object (its read() giving str or bytes) or a dict. A str is always a "
                     "path: JSON text goes to loads(). A missing file raises "
                     "FileNotFoundError.") +
         viewableDoc + " Files are read and built without holding the GIL.")
            .c_str());
    m.def(
        "loads",
        [build](const py::object& text, const py::object& defaultViewableId) {
            return build(Source::fromText(text), defaultViewableId);
        },
        py::arg("text"), py::arg("default_viewable_id") = py::none(),
        (std::string("Builds an immutable Playgraph from JSON text (str or bytes).") + viewableDoc +
         " The text is read and built without holding the GIL.")
            .c_str());
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
            return writeJson(dictionary, pretty ? JsonStyle::Pretty : JsonStyle::Compact);
        },
        py::arg("value"), py::arg("pretty") = false,
        "JSON text of an editable playgraph (its dictionary_representation()) or of a value "
        "(dict, list, str, int, float, bool, None). Integers stay integers and floats floats "
        "(10000 and 10000.0), keys keep their order; pretty=True writes 2-space indented lines. "
        "A value without a JSON form (a host object, a nan or infinite float) raises JsonError "
        "naming its key path.");
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
    bindValidate(m);
    m.attr("__name__") = name;
    m.attr("__version__") = PLAYGRAPH_VERSION;
}
