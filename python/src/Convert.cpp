#include "Convert.hpp"

#include "FrontEnd.hpp"

#include <cerrno>
#include <climits>
#include <filesystem>
#include <string_view>

#include "playgraph/datasource/InterPlaygraphSegmentTransition.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::python {

namespace {

// A conversion failure on its way up: each container level adds its key to
// the path, and the top level raises it as a Python exception.
struct ConversionError {
    PyObject* type;
    std::string reason;
    std::string path;
};

[[noreturn]] void fail(PyObject* type, std::string reason) {
    throw ConversionError{type, std::move(reason), {}};
}

// Releases the reference that a host object's pointer holds on its Python
// object; runs wherever the library drops its last copy, so it takes the GIL.
void releasePythonObject(PyObject* object) {
    if (!Py_IsInitialized()) return; // the interpreter is gone, and the object with it
    const PyGILState_STATE state = PyGILState_Ensure();
    Py_DECREF(object);
    PyGILState_Release(state);
}

std::string typeName(py::handle object) { return Py_TYPE(object.ptr())->tp_name; }

std::string stringOf(py::handle object) {
    Py_ssize_t size = 0;
    if (const char* data = PyUnicode_AsUTF8AndSize(object.ptr(), &size)) {
        return std::string(data, static_cast<std::size_t>(size));
    }
    // Lone surrogates (bytes that were not UTF-8, decoded with
    // surrogateescape) go back to the bytes they stand for.
    PyErr_Clear();
    const py::object bytes = py::reinterpret_steal<py::object>(
        PyUnicode_AsEncodedString(object.ptr(), "utf-8", "surrogateescape"));
    if (!bytes) fail(PyExc_ValueError, "the string cannot be encoded as UTF-8");
    return std::string(PyBytes_AS_STRING(bytes.ptr()),
                       static_cast<std::size_t>(PyBytes_GET_SIZE(bytes.ptr())));
}

py::object pythonString(const std::string& text) {
    PyObject* object =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "surrogateescape");
    if (!object) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(object);
}

Value integerValue(py::handle object) {
    int overflow = 0;
    const long long signedValue = PyLong_AsLongLongAndOverflow(object.ptr(), &overflow);
    if (overflow == 0) {
        if (signedValue == -1 && PyErr_Occurred()) throw py::error_already_set();
        return Value(static_cast<int64_t>(signedValue));
    }
    if (overflow > 0) {
        const unsigned long long unsignedValue = PyLong_AsUnsignedLongLong(object.ptr());
        if (!(unsignedValue == ULLONG_MAX && PyErr_Occurred())) {
            return Value(static_cast<uint64_t>(unsignedValue));
        }
        PyErr_Clear();
    }
    fail(PyExc_OverflowError, "the int does not fit a 64-bit integer");
}

std::shared_ptr<HostObject> hostObjectOf(py::handle object) {
    auto& target = object.cast<HostObject&>();
    // The pointer owns a reference to the Python object, which owns the
    // C++ object: the object keeps its Python subclass and attributes for
    // as long as the library holds it, and converts back to itself.
    std::shared_ptr<void> keeper(object.inc_ref().ptr(),
                                 [](void* p) { releasePythonObject(static_cast<PyObject*>(p)); });
    return std::shared_ptr<HostObject>(std::move(keeper), &target);
}

Value convert(py::handle object, std::size_t depth);

Value convertChild(py::handle object, std::size_t depth, std::string_view key, bool isIndex) {
    try {
        return convert(object, depth + 1);
    } catch (ConversionError& error) {
        std::string step = isIndex ? "[" + std::string(key) + "]" : std::string(key);
        if (!error.path.empty() && error.path.front() != '[') step += '.';
        error.path.insert(0, step);
        throw;
    }
}

Value convert(py::handle object, std::size_t depth) {
    PyObject* p = object.ptr();
    if (p == Py_None) return Value::null();
    if (PyBool_Check(p)) return Value(p == Py_True);
    if (PyLong_Check(p)) return integerValue(object);
    if (PyFloat_Check(p)) return Value(PyFloat_AS_DOUBLE(p));
    if (PyUnicode_Check(p)) return Value(stringOf(object));
    if (depth >= kMaxJsonDepth) {
        fail(PyExc_ValueError, "containers nest more than " + std::to_string(kMaxJsonDepth) +
                                   " levels deep (does a container hold itself?)");
    }
    if (PyDict_Check(p)) {
        Dictionary dictionary;
        dictionary.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(p)));
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* item = nullptr;
        while (PyDict_Next(p, &position, &key, &item)) {
            if (!PyUnicode_Check(key)) {
                fail(PyExc_TypeError, "dictionary keys must be str, not " + typeName(key));
            }
            std::string name = stringOf(key);
            Value value = convertChild(item, depth, name, false);
            dictionary.set(name, std::move(value));
        }
        return Value(std::move(dictionary));
    }
    if (PyList_Check(p) || PyTuple_Check(p)) {
        const bool isList = PyList_Check(p);
        const Py_ssize_t size = isList ? PyList_GET_SIZE(p) : PyTuple_GET_SIZE(p);
        List list;
        for (Py_ssize_t i = 0; i < size; ++i) {
            PyObject* item = isList ? PyList_GET_ITEM(p, i) : PyTuple_GET_ITEM(p, i);
            list.push_back(convertChild(item, depth, std::to_string(i), true));
        }
        return Value(std::move(list));
    }
    if (py::isinstance<HostObject>(object)) return Value(hostObjectOf(object));
    fail(PyExc_TypeError,
         "cannot convert " + typeName(object) +
             ": a value is a dict, list, tuple, str, int, float, bool, None or HostObject");
}

} // namespace

Value toValue(py::handle object, bool noneIsAbsent) {
    if (noneIsAbsent && object.is_none()) return Value();
    try {
        return convert(object, 0);
    } catch (const ConversionError& error) {
        std::string message = error.reason;
        if (!error.path.empty()) message += " (at " + error.path + ")";
        PyErr_SetString(error.type, message.c_str());
        throw py::error_already_set();
    }
}

py::object fromValue(const Value& value) {
    switch (value.kind()) {
    case Value::Kind::None:
    case Value::Kind::Null:
        return py::none();
    case Value::Kind::Bool:
        return py::bool_(std::get<bool>(value.data()));
    case Value::Kind::Int:
        return py::reinterpret_steal<py::object>(
            PyLong_FromLongLong(std::get<int64_t>(value.data())));
    case Value::Kind::UInt:
        return py::reinterpret_steal<py::object>(
            PyLong_FromUnsignedLongLong(std::get<uint64_t>(value.data())));
    case Value::Kind::Double:
        return py::float_(std::get<double>(value.data()));
    case Value::Kind::String:
        return pythonString(*value.string());
    case Value::Kind::Dictionary: {
        py::dict dictionary;
        for (const auto& [key, item] : *value.dictionary()) {
            if (item.isNone()) continue;
            dictionary[pythonString(key)] = fromValue(item);
        }
        return dictionary;
    }
    case Value::Kind::List: {
        const List& items = *value.list();
        py::list list(items.size());
        for (std::size_t i = 0; i < items.size(); ++i)
            list[i] = fromValue(items[i]);
        return list;
    }
    case Value::Kind::Object:
        if (auto params = value.objectAs<QZPlaygraphParams>()) return py::cast(params);
        return py::cast(value.object());
    }
    return py::none();
}

py::object castTransition(const std::shared_ptr<QZPlaygraphSegmentTransition>& transition) {
    if (auto inter = std::dynamic_pointer_cast<InterPlaygraphSegmentTransition>(transition)) {
        return py::cast(inter);
    }
    return py::cast(transition);
}

py::list castTransitions(const std::vector<std::shared_ptr<QZPlaygraphSegmentTransition>>& list) {
    py::list result(list.size());
    for (std::size_t i = 0; i < list.size(); ++i)
        result[i] = castTransition(list[i]);
    return result;
}

std::optional<Dictionary> toOptionalDictionary(py::handle object) {
    if (object.is_none()) return std::nullopt;
    if (!PyDict_Check(object.ptr())) {
        throw py::type_error("expected a dict or None, not " + typeName(object));
    }
    return *toValue(object).dictionary();
}

Dictionary toDictionary(py::handle object) {
    auto dictionary = toOptionalDictionary(object);
    return dictionary ? *dictionary : Dictionary();
}

py::object fromOptionalDictionary(const std::optional<Dictionary>& dictionary) {
    return dictionary ? fromValue(Value(*dictionary)) : py::none();
}

std::shared_ptr<QZPlaygraphParams> toParams(py::handle object) {
    if (object.is_none()) return nullptr;
    if (!py::isinstance<QZPlaygraphParams>(object)) {
        throw py::type_error("expected a QZPlaygraphParams or None, not " + typeName(object));
    }
    return std::static_pointer_cast<QZPlaygraphParams>(hostObjectOf(object));
}

py::object fromParams(const std::shared_ptr<QZPlaygraphParams>& params) {
    return params ? py::cast(params) : py::none();
}

Source Source::fromText(py::handle object) {
    Source source;
    PyObject* p = object.ptr();
    if (PyBytes_Check(p)) {
        source.text.emplace(PyBytes_AS_STRING(p), static_cast<std::size_t>(PyBytes_GET_SIZE(p)));
    } else if (PyUnicode_Check(p)) {
        source.text = stringOf(object);
    } else {
        throw py::type_error("expected JSON text (str or bytes), not " + typeName(object));
    }
    return source;
}

Source Source::from(py::handle object) {
    Source source;
    PyObject* p = object.ptr();
    if (PyDict_Check(p)) {
        source.value = toValue(object);
        return source;
    }
    std::string path;
    if (PyUnicode_Check(p)) {
        path = stringOf(object);
    } else if (PyObject_HasAttrString(p, "__fspath__")) {
        const py::object fsPath = py::reinterpret_steal<py::object>(PyOS_FSPath(p));
        if (!fsPath) throw py::error_already_set();
        path = PyUnicode_Check(fsPath.ptr()) ? stringOf(fsPath)
                                             : py::bytes(fsPath).cast<std::string>();
    } else if (PyObject_HasAttrString(p, "read")) {
        Source read = fromText(object.attr("read")());
        if (PyObject_HasAttrString(p, "name")) read.textName = py::str(object.attr("name"));
        return read;
    } else {
        throw py::type_error("expected a dict, a path or a file, not " + typeName(object) +
                             (PyBytes_Check(p) ? " (JSON text goes to loads())" : ""));
    }
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        // A str is a path, whatever it holds; JSON text has its own call.
        const auto first = path.find_first_not_of(" \t\r\n");
        const bool looksLikeJson =
            first != std::string::npos && (path[first] == '{' || path[first] == '[');
        const std::string message = looksLikeJson ? "No such file (JSON text goes to loads())"
                                                  : "No such file or directory";
        PyErr_SetObject(PyExc_FileNotFoundError, py::make_tuple(ENOENT, message, path).ptr());
        throw py::error_already_set();
    }
    source.path = std::move(path);
    return source;
}

Value Source::read() const {
    if (!text && !path) return value;
    const bool named = textName != "<input>"; // a file object's name
    Value parsed = text ? parseJson(*text, named ? std::string_view(textName) : std::string_view())
                        : readJsonFile(*path);
    if (!parsed.isDictionary()) {
        // As the tool refuses it: a playgraph file holds one object.
        throw JsonError(std::string(tool::kTopLevelNotAnObject), std::nullopt, "",
                        text ? textName : *path);
    }
    return parsed;
}

Value defaultViewableIdFor(const Value& given, const Value& dictionary) {
    return given.isNone() ? tool::firstMainValue(dictionary) : given;
}

namespace {
thread_local CallbackScope* innermostScope = nullptr;
} // namespace

CallbackScope::CallbackScope() : outer_(innermostScope) { innermostScope = this; }

CallbackScope::~CallbackScope() {
    innermostScope = outer_;
    // The library call itself failed after a callback raised: that
    // exception is the one raised, this one is reported.
    if (error_) error_->discard_as_unraisable("a playgraph callback");
}

void CallbackScope::report(py::error_already_set& error, const char* where) {
    CallbackScope* scope = innermostScope;
    if (scope && !scope->error_) {
        scope->error_.emplace(std::move(error));
    } else {
        error.discard_as_unraisable(where);
    }
}

void CallbackScope::rethrowIfFailed() {
    if (!error_) return;
    py::error_already_set error = std::move(*error_);
    error_.reset();
    throw error;
}

TraversalCallback pythonWalkCallback(const py::function& function) {
    return
        [function](const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t index, bool& stop) {
            const bool completed = CallbackScope::run(
                [&] {
                    if (py::bool_(function(segment, index))) stop = true;
                },
                "a walk callback");
            if (!completed) stop = true;
        };
}

} // namespace playgraph::python
