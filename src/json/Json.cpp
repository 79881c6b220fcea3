#include "playgraph/json/Json.hpp"

#include "../Compat.hpp"
#include "JsonText.hpp"

#if !defined(PLAYGRAPH_JSON_WITH_RAPIDJSON)
#include <simdjson.h>
#endif

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fstream>
#include <optional>
#include <sstream>
#include <system_error>
#include <utility>
#include <variant>
#include <vector>

namespace playgraph::inline v1 {

namespace {

using namespace jsontext;

std::string buildMessage(const std::string& reason, const std::optional<JsonLocation>& location,
                         const std::string& keyPath, const std::string& source) {
    if (location) {
        return (source.empty() ? std::string("<input>") : source) + ":" +
               std::to_string(location->line) + ":" + std::to_string(location->column) + ": " +
               reason + " (byte " + std::to_string(location->offset) + ")";
    }
    if (!source.empty()) return source + ": " + reason;
    return "cannot write JSON " +
           (keyPath.empty() ? std::string("at the top level") : "at " + keyPath) + ": " + reason;
}

#if !defined(PLAYGRAPH_JSON_WITH_RAPIDJSON)
std::string describe(simdjson::error_code code) {
    using simdjson::error_code;
    switch (code) {
    case error_code::NUMBER_ERROR:
        return std::string(kBadNumber);
    case error_code::STRING_ERROR:
        return std::string(kBadString);
    case error_code::UNESCAPED_CHARS:
        return std::string(kUnescapedControl);
    case error_code::UNCLOSED_STRING:
        return std::string(kUnclosedString);
    case error_code::T_ATOM_ERROR:
    case error_code::F_ATOM_ERROR:
    case error_code::N_ATOM_ERROR:
        return std::string(kBadLiteral);
    case error_code::INCORRECT_TYPE:
    case error_code::TAPE_ERROR:
        return std::string(kUnexpectedCharacter);
    case error_code::INCOMPLETE_ARRAY_OR_OBJECT:
        return std::string(kTruncated);
    case error_code::TRAILING_CONTENT:
        return std::string(kTrailingContent);
    default:
        return simdjson::error_message(code);
    }
}

class Reader {
public:
    Reader(std::string_view text, std::string_view source, const JsonReadOptions& options)
        : text_(text), source_(source), options_(options), padded_(text) {}

    Value run() {
        if (parser_.allocate(padded_.size(), kMaxJsonDepth + 8) != simdjson::SUCCESS) {
            fail("input too large", 0);
        }
        const auto error = parser_.iterate(padded_).get(doc_);
        if (error) {
            using simdjson::error_code;
            if (error == error_code::EMPTY) fail(std::string(kEmptyInput), text_.size());
            if (error == error_code::UTF8_ERROR) {
                const std::size_t at = firstInvalidUtf8(text_);
                fail(std::string(kInvalidUtf8), at == npos ? 0 : at);
            }
            if (error == error_code::UNCLOSED_STRING || error == error_code::UNESCAPED_CHARS) {
                const std::size_t at = stringFaultOffset(text_);
                fail(describe(error), at == npos ? text_.size() : at);
            }
            fail(describe(error), text_.size());
        }
        Value result = convert(doc_, 0);
        const char* rest = nullptr;
        if (doc_.current_location().get(rest) == simdjson::SUCCESS) {
            fail(describe(simdjson::TRAILING_CONTENT), offsetOf(rest));
        }
        return result;
    }

private:
    [[noreturn]] void fail(const std::string& reason, std::size_t offset) const {
        throw JsonError(reason, locate(text_, offset), "", source_);
    }

    [[noreturn]] void fail(simdjson::error_code code, std::optional<std::size_t> at = {}) {
        using simdjson::error_code;
        if (code == error_code::INCOMPLETE_ARRAY_OR_OBJECT ||
            code == error_code::TRAILING_CONTENT) {
            // The parser checks the ends of the input before reading the
            // top-level value; tell a truncated input from trailing content.
            const std::size_t end = endOfFirstValue(text_);
            if (end == npos) fail(describe(error_code::INCOMPLETE_ARRAY_OR_OBJECT), text_.size());
            if (skipSpace(text_, end) < text_.size()) {
                fail(describe(error_code::TRAILING_CONTENT), skipSpace(text_, end));
            }
        }
        fail(describe(code), at ? *at : currentOffset());
    }

    std::size_t offsetOf(const char* p) const {
        const auto offset = p - padded_.data();
        return offset < 0 ? 0 : static_cast<std::size_t>(offset);
    }

    std::size_t currentOffset() {
        const char* at = nullptr;
        if (doc_.current_location().get(at) != simdjson::SUCCESS) return text_.size();
        return offsetOf(at);
    }

    template <class Node> Value convert(Node& node, std::size_t depth) {
        using simdjson::ondemand::json_type;
        json_type type{};
        if (const auto error = node.type().get(type)) fail(error);
        switch (type) {
        case json_type::object:
            return convertObject(node, depth + 1);
        case json_type::array:
            return convertArray(node, depth + 1);
        case json_type::number:
            return convertNumber(node);
        case json_type::string: {
            const std::size_t start = currentOffset();
            std::string_view s;
            if (const auto error = node.get_string().get(s)) fail(error, start);
            return Value(s);
        }
        case json_type::boolean: {
            bool b = false;
            if (const auto error = node.get_bool().get(b)) fail(error);
            return Value(b);
        }
        case json_type::null: {
            bool isNull = false;
            if (const auto error = node.is_null().get(isNull)) fail(error);
            if (!isNull) fail(simdjson::N_ATOM_ERROR);
            return Value::null();
        }
        }
        fail("unexpected character", currentOffset());
    }

    void checkDepth(std::size_t depth) {
        if (depth > kMaxJsonDepth) {
            fail(tooDeep(), currentOffset());
        }
    }

    template <class Node> Value convertObject(Node& node, std::size_t depth) {
        checkDepth(depth);
        simdjson::ondemand::object object;
        if (const auto error = node.get_object().get(object)) fail(error);
        // The entries are gathered first, so that the dictionary's storage
        // is allocated once at its final size. Keys stay views into the
        // parser's string buffer, which lives as long as the document.
        const std::size_t base = fields_.size();
        for (auto entry : object) {
            simdjson::ondemand::field field;
            if (const auto error = std::move(entry).get(field)) fail(error);
            // The raw key starts just after its opening quote.
            const std::size_t keyStart = offsetOf(field.key().raw()) - 1;
            std::string_view key;
            if (const auto error = field.unescaped_key().get(key)) fail(error, keyStart);
            simdjson::ondemand::value child = field.value();
            Value value = convert(child, depth);
            fields_.push_back({key, std::move(value), keyStart});
        }
        Dictionary dictionary = Dictionary::withCapacity(fields_.size() - base);
        for (std::size_t i = base; i < fields_.size(); ++i) {
            const std::size_t size = dictionary.size();
            dictionary.set(fields_[i].key, std::move(fields_[i].value));
            if (dictionary.size() == size && options_.onDuplicateKey) {
                options_.onDuplicateKey(fields_[i].key, lines_.locate(fields_[i].offset));
            }
        }
        fields_.resize(base);
        return Value(std::move(dictionary));
    }

    template <class Node> Value convertArray(Node& node, std::size_t depth) {
        checkDepth(depth);
        simdjson::ondemand::array array;
        if (const auto error = node.get_array().get(array)) fail(error);
        List list;
        for (auto element : array) {
            simdjson::ondemand::value child;
            if (const auto error = std::move(element).get(child)) fail(error);
            list.push_back(convert(child, depth));
        }
        return Value(std::move(list));
    }

    template <class Node> Value convertNumber(Node& node) {
        // The getters leave the number in place when they fail, so each
        // narrower reading can fall back to the next: integers (the common
        // case) are parsed once. (This parser's combined get_number()
        // misreads doubles with 19 or more digits, so it is not used.)
        int64_t i = 0;
        if (node.get_int64().get(i) == simdjson::SUCCESS) return Value(i);
        uint64_t u = 0;
        if (node.get_uint64().get(u) == simdjson::SUCCESS) return Value(u);
        // A double, or an integer beyond both 64-bit ranges.
        double d = 0.0;
        if (const auto error = node.get_double().get(d)) fail(error);
        return Value(d);
    }

    std::string_view text_;
    std::string source_;
    const JsonReadOptions& options_;
    simdjson::padded_string padded_;
    simdjson::ondemand::parser parser_;
    simdjson::ondemand::document doc_;
    // The entries of the objects being read, innermost last, with the
    // offsets of their keys.
    struct Field {
        std::string_view key;
        Value value;
        std::size_t offset;
    };
    std::vector<Field> fields_;
    LineIndex lines_{text_};
};

// The fast reading: simdjson's DOM parser, whose kernels are chosen at run
// time for the processor (its on-demand front end, which `Reader` uses, is
// compiled only for the build's baseline target and so runs the portable
// kernel). It gives up, by throwing `Fallback`, wherever the reading would
// fail or report something (any parse error, a duplicate key under a
// callback, nesting deeper than allowed, an integer beyond 64 bits): then
// `Reader` reads the text again and says exactly what and where. Where it
// succeeds its value is `Reader`'s, to the bit.
class DomReader {
public:
    struct Fallback {};

    explicit DomReader(const JsonReadOptions& options) : options_(options) {}

    std::optional<Value> run(const simdjson::padded_string& padded) {
        simdjson::dom::element root;
        if (parser_.allocate(padded.size(), kMaxJsonDepth + 8) != simdjson::SUCCESS ||
            parser_.parse(padded).get(root) != simdjson::SUCCESS) {
            return std::nullopt;
        }
        try {
            return convert(root, 0);
        } catch (const Fallback&) {
            return std::nullopt;
        }
    }

private:
    Value convert(simdjson::dom::element element, std::size_t depth) {
        using simdjson::dom::element_type;
        switch (element.type()) {
        case element_type::OBJECT:
            return convertObject(simdjson::dom::object(element), depth + 1);
        case element_type::ARRAY:
            return convertArray(simdjson::dom::array(element), depth + 1);
        case element_type::INT64:
            return Value(int64_t(element));
        case element_type::UINT64:
            return Value(uint64_t(element));
        case element_type::DOUBLE:
            return Value(double(element));
        case element_type::STRING:
            return Value(std::string_view(element));
        case element_type::BOOL:
            return Value(bool(element));
        case element_type::NULL_VALUE:
            return Value::null();
        }
        throw Fallback{};
    }

    Value convertObject(simdjson::dom::object object, std::size_t depth) {
        if (depth > kMaxJsonDepth) throw Fallback{};
        Dictionary dictionary = Dictionary::withCapacity(object.size());
        for (const auto field : object) {
            const std::size_t size = dictionary.size();
            dictionary.set(field.key, convert(field.value, depth));
            if (dictionary.size() == size && options_.onDuplicateKey) throw Fallback{};
        }
        return Value(std::move(dictionary));
    }

    Value convertArray(simdjson::dom::array array, std::size_t depth) {
        if (depth > kMaxJsonDepth) throw Fallback{};
        List list;
        list.reserve(array.size());
        for (const auto element : array)
            list.push_back(convert(element, depth));
        return Value(std::move(list));
    }

    const JsonReadOptions& options_;
    simdjson::dom::parser parser_;
};

#endif

// One step of a key path: a dictionary key or a list index.
using PathStep = std::variant<std::string_view, std::size_t>;

std::string formatPath(const std::vector<PathStep>& path) {
    std::string out;
    for (const auto& step : path) {
        if (const auto* index = std::get_if<std::size_t>(&step)) {
            out += "[" + std::to_string(*index) + "]";
            continue;
        }
        const std::string_view key = std::get<std::string_view>(step);
        if (key.empty() || key.find_first_of(".[]\"") != npos) {
            out += "[\"";
            out += key;
            out += "\"]";
        } else {
            if (!out.empty()) out += '.';
            out += key;
        }
    }
    return out;
}

class Writer {
public:
    explicit Writer(JsonStyle style)
        : pretty_(style == JsonStyle::Pretty), canonical_(style == JsonStyle::Canonical),
          lines_(pretty_ || canonical_) {}

    std::string run(const Value& value) {
        write(value, 0);
        return std::move(out_);
    }

private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw JsonError(reason, std::nullopt, formatPath(path_), "");
    }

    void newline(std::size_t depth) {
        if (!lines_) return;
        out_ += '\n';
        out_.append(depth * 2, ' ');
    }

    void writeString(std::string_view s) {
        if (firstInvalidUtf8(s) != npos) fail("string is not valid UTF-8");
        out_ += '"';
        for (const char ch : s) {
            const auto c = static_cast<unsigned char>(ch);
            switch (c) {
            case '"':
                out_ += "\\\"";
                break;
            case '\\':
                out_ += "\\\\";
                break;
            case '\b':
                out_ += "\\b";
                break;
            case '\f':
                out_ += "\\f";
                break;
            case '\n':
                out_ += "\\n";
                break;
            case '\r':
                out_ += "\\r";
                break;
            case '\t':
                out_ += "\\t";
                break;
            default:
                if (c < 0x20) {
                    static constexpr char hex[] = "0123456789abcdef";
                    out_ += "\\u00";
                    out_ += hex[c >> 4];
                    out_ += hex[c & 0xF];
                } else {
                    out_ += ch;
                }
            }
        }
        out_ += '"';
    }

    void writeDouble(double d) {
        if (!std::isfinite(d)) fail("not-a-number or infinite double has no JSON form");
        char buffer[64];
        const auto result = compat::toChars(buffer, buffer + sizeof buffer, d);
        const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
        out_ += text;
        // Keep the number a double when read back.
        if (text.find_first_of(".eE") == npos) out_ += ".0";
    }

    void write(const Value& value, std::size_t depth) {
        switch (value.kind()) {
        case Value::Kind::None:
        case Value::Kind::Null:
            out_ += "null";
            return;
        case Value::Kind::Bool:
            out_ += std::get<bool>(value.data()) ? "true" : "false";
            return;
        case Value::Kind::Int:
            out_ += std::to_string(std::get<int64_t>(value.data()));
            return;
        case Value::Kind::UInt:
            out_ += std::to_string(std::get<uint64_t>(value.data()));
            return;
        case Value::Kind::Double:
            writeDouble(std::get<double>(value.data()));
            return;
        case Value::Kind::String:
            writeString(*value.string());
            return;
        case Value::Kind::Object:
            fail("a host object has no JSON form");
        case Value::Kind::Dictionary:
            writeDictionary(*value.dictionary(), depth + 1);
            return;
        case Value::Kind::List:
            writeList(*value.list(), depth + 1);
            return;
        }
    }

    void checkDepth(std::size_t depth) const {
        if (depth > kMaxJsonDepth) {
            fail("containers nested deeper than " + std::to_string(kMaxJsonDepth) +
                 " levels (does a container hold itself?)");
        }
    }

    void writeDictionary(const Dictionary& dictionary, std::size_t depth) {
        checkDepth(depth);
        if (canonical_) {
            writeCanonicalDictionary(dictionary, depth);
            return;
        }
        out_ += '{';
        bool first = true;
        for (const auto& [key, child] : dictionary) {
            if (child.isNone()) continue;
            path_.emplace_back(std::string_view(key));
            if (!first) out_ += ',';
            first = false;
            newline(depth);
            writeString(key);
            out_ += pretty_ ? ": " : ":";
            write(child, depth);
            path_.pop_back();
        }
        if (!first) newline(depth - 1);
        out_ += '}';
    }

    // Keys in byte order; the top level, "segments", each segment and its
    // "next", "annotations" and "userInfo" one entry a line (so a segment is
    // a block of lines and a transition one line), everything deeper on
    // the line of its key.
    void writeCanonicalDictionary(const Dictionary& dictionary, std::size_t depth) {
        std::vector<const Dictionary::Map::value_type*> entries;
        entries.reserve(dictionary.size());
        for (const auto& entry : dictionary) {
            if (!entry.second.isNone()) entries.push_back(&entry);
        }
        std::sort(entries.begin(), entries.end(),
                  [](const auto* a, const auto* b) { return a->first < b->first; });
        const bool outer = lines_;
        lines_ = outer && depth <= 4;
        out_ += '{';
        for (std::size_t i = 0; i < entries.size(); ++i) {
            path_.emplace_back(std::string_view(entries[i]->first));
            if (i > 0) out_ += lines_ ? "," : ", ";
            newline(depth);
            writeString(entries[i]->first);
            out_ += ": ";
            write(entries[i]->second, depth);
            path_.pop_back();
        }
        if (!entries.empty()) newline(depth - 1);
        out_ += '}';
        lines_ = outer;
    }

    void writeList(const List& list, std::size_t depth) {
        checkDepth(depth);
        // A canonical list stays on one line.
        const bool outer = lines_;
        if (canonical_) lines_ = false;
        out_ += '[';
        std::size_t index = 0;
        for (const auto& child : list) {
            path_.emplace_back(index);
            if (index > 0) out_ += canonical_ ? ", " : ",";
            newline(depth);
            write(child, depth);
            path_.pop_back();
            ++index;
        }
        if (index > 0) newline(depth - 1);
        out_ += ']';
        lines_ = outer;
    }

    bool pretty_;
    bool canonical_;
    bool lines_; // whether the container being written breaks its lines
    std::string out_;
    std::vector<PathStep> path_;
};

} // namespace

JsonError::JsonError(std::string reason, std::optional<JsonLocation> location, std::string keyPath,
                     std::string source)
    : std::runtime_error(buildMessage(reason, location, keyPath, source)),
      reason_(std::move(reason)), location_(location), keyPath_(std::move(keyPath)),
      source_(std::move(source)) {}

Value parseJson(std::string_view text, std::string_view sourceName,
                const JsonReadOptions& options) {
#if defined(PLAYGRAPH_JSON_WITH_RAPIDJSON)
    return parseWithRapidJson(text, sourceName, options);
#else
    {
        const simdjson::padded_string padded(text);
        DomReader fast(options);
        if (auto value = fast.run(padded)) return std::move(*value);
    }
    Reader reader(text, sourceName, options);
    return reader.run();
#endif
}

std::string writeJson(const Value& value, JsonStyle style) {
    Writer writer(style);
    return writer.run(value);
}

Value readJsonFile(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        throw JsonError("is a directory, not a file", std::nullopt, "", name);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw JsonError("cannot open: " + std::generic_category().message(error ? error : ENOENT),
                        std::nullopt, "", name);
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw JsonError("cannot read the file", std::nullopt, "", name);
    return parseJson(content.str(), name);
}

} // namespace playgraph::inline v1
