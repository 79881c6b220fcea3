// Python binding of validate, the lint of playgraph dictionaries.

#include "Convert.hpp"
#include "playgraph/model/Validate.hpp"

namespace playgraph::python {

void bindValidate(py::module_& m) {
    m.def(
        "validate",
        [](const py::object& dictionary, const py::object& defaultViewableId) {
            const Value value = toValue(dictionary);
            const Value viewableId = defaultViewableIdFor(toValue(defaultViewableId, true), value);
            std::vector<ValidationFinding> findings;
            {
                py::gil_scoped_release release;
                findings = validate(value, viewableId);
            }
            py::list out;
            for (const ValidationFinding& f : findings) {
                py::dict finding;
                finding["code"] = std::string(codeName(f.code));
                finding["severity"] = std::string(severityName(f.severity));
                finding["path"] = f.path;
                finding["message"] = f.message;
                out.append(std::move(finding));
            }
            return out;
        },
        py::arg("dictionary"), py::arg("default_viewable_id") = py::none(),
        "Lints a playgraph dict as `playgraph check` does (the JSON reader's repeated keys "
        "aside): a list of dicts with 'code' (wrongKind, nonFiniteNumber, missing, reference, "
        "time, overlap, unreachable, loop, openEnded), 'severity' ('error': the loader reads "
        "the entry otherwise than written; 'warning': probably not meant), 'path' (keys "
        "joined by '.') and 'message', in the dictionary's order. default_viewable_id as for "
        "Playgraph. A boolean is not a number: under a numeric key it is a wrongKind.");
}

} // namespace playgraph::python
