// The JSON reader of the WebAssembly build, on RapidJSON's SAX parser
// (header-only, so it builds for any target). It keeps the contract of
// `parseJson`: the same values, and the same reasons at the same places as
// the simdjson reader for every fault (a test compares the two).

#include <rapidjson/error/error.h>
#include <rapidjson/reader.h>
#include <rapidjson/stream.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "JsonText.hpp"

namespace playgraph::inline v1::jsontext {

namespace {

// A fault found by the handler, which stops the parser to report it.
struct Fault {
    std::string reason;
    std::size_t offset;
};

// Builds the `Value` from the parser's events. While the parser calls the
// handler for a string or a number, the stream's position is where that
// token starts (the parser reads tokens through a local copy of the stream). Containers under
// construction sit on a stack; an object's entries are gathered first, so
// that its dictionary is allocated once at its final size.
class Builder {
public:
    // With `deferred`, duplicate keys are gathered there instead of reported.
    Builder(std::string_view text, rapidjson::InsituStringStream& stream,
            const JsonReadOptions& options,
            std::vector<std::pair<std::string, JsonLocation>>* deferred = nullptr)
        : text_(text), stream_(stream), options_(options), deferred_(deferred) {}

    bool Null() { return add(Value::null()); }
    bool Bool(bool b) { return add(Value(b)); }
    // A number without fraction or exponent that fits 64 bits arrives as
    // an integer, any other as a double (correctly rounded with
    // kParseFullPrecisionFlag); one too large for a double is a parse error.
    bool Int(int i) { return add(Value(static_cast<int64_t>(i))); }
    bool Uint(unsigned u) { return add(Value(static_cast<int64_t>(u))); }
    bool Int64(int64_t i) { return add(Value(i)); }
    bool Uint64(uint64_t u) {
        return add(u <= static_cast<uint64_t>(INT64_MAX) ? Value(static_cast<int64_t>(u))
                                                         : Value(u));
    }
    bool Double(double d) { return add(Value(d)); }
    bool RawNumber(const char*, rapidjson::SizeType, bool) { return false; }
    // Strings are decoded in place (kParseInsituFlag): views into the
    // parser's copy of the text stay valid while the document is read.
    bool String(const char* s, rapidjson::SizeType length, bool) {
        if (!wellFormed(s, length)) return false;
        return add(Value(std::string_view(s, length)));
    }
    bool StartObject() { return open(true); }
    bool Key(const char* s, rapidjson::SizeType length, bool) {
        if (!wellFormed(s, length)) return false;
        key_ = std::string_view(s, length);
        keyStart_ = stream_.Tell();
        return true;
    }
    bool EndObject(rapidjson::SizeType) {
        const std::size_t base = frames_.back().base;
        close();
        Dictionary dictionary = Dictionary::withCapacity(fields_.size() - base);
        for (std::size_t i = base; i < fields_.size(); ++i) {
            Field& field = fields_[i];
            const std::size_t size = dictionary.size();
            dictionary.set(field.key, std::move(field.value));
            if (dictionary.size() == size && options_.onDuplicateKey) {
                if (deferred_) {
                    deferred_->emplace_back(field.key, lines_.locate(field.keyStart));
                } else {
                    options_.onDuplicateKey(field.key, lines_.locate(field.keyStart));
                }
            }
        }
        fields_.resize(base);
        return add(Value(std::move(dictionary)));
    }
    bool StartArray() { return open(false); }
    bool EndArray(rapidjson::SizeType) {
        List list = std::move(frames_.back().list);
        close();
        return add(Value(std::move(list)));
    }

    Value take() { return std::move(result_); }
    const std::optional<Fault>& fault() const { return fault_; }

private:
    // An entry of an object being read; the entries of all open objects
    // share one stack, innermost last.
    struct Field {
        std::string_view key;
        Value value;
        std::size_t keyStart;
    };
    struct Frame {
        bool object;
        std::size_t base; ///< where the object's entries start in fields_
        List list;
        std::string_view key; ///< the key of this container in its parent
        std::size_t keyStart;
    };

    // RapidJSON lets a lone low surrogate escape through (as the UTF-8 of
    // a surrogate, whose first byte is 0xED); it is a bad string here as
    // everywhere.
    bool wellFormed(const char* s, rapidjson::SizeType length) {
        if (!std::memchr(s, 0xED, length)) return true;
        if (firstInvalidUtf8(std::string_view(s, length)) == npos) return true;
        return fail(std::string(kBadString), stream_.Tell());
    }

    bool fail(std::string reason, std::size_t offset) {
        fault_ = Fault{std::move(reason), offset};
        return false;
    }

    bool open(bool object) {
        if (frames_.size() >= kMaxJsonDepth) return fail(tooDeep(), stream_.Tell() - 1);
        frames_.push_back(Frame{object, fields_.size(), {}, key_, keyStart_});
        return true;
    }

    // Ends the innermost container: its own key, kept while it was read,
    // is the one its value goes under.
    void close() {
        key_ = frames_.back().key;
        keyStart_ = frames_.back().keyStart;
        frames_.pop_back();
    }

    bool add(Value value) {
        if (frames_.empty()) {
            result_ = std::move(value);
            return true;
        }
        Frame& frame = frames_.back();
        if (frame.object) {
            fields_.push_back({key_, std::move(value), keyStart_});
        } else {
            frame.list.push_back(std::move(value));
        }
        return true;
    }

    std::string_view text_;
    rapidjson::InsituStringStream& stream_;
    const JsonReadOptions& options_;
    std::vector<std::pair<std::string, JsonLocation>>* deferred_;
    std::vector<Frame> frames_;
    std::vector<Field> fields_;
    std::string_view key_;
    std::size_t keyStart_ = 0;
    Value result_;
    std::optional<Fault> fault_;
    LineIndex lines_{text_};
};

// The offset of the string (its opening quote) that holds `offset`.
std::size_t openingQuoteBefore(std::string_view text, std::size_t offset) {
    bool inString = false;
    std::size_t opened = 0;
    for (std::size_t i = 0; i < text.size() && i <= offset; ++i) {
        if (!inString) {
            if (text[i] == '"') {
                inString = true;
                opened = i;
            }
        } else if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            inString = false;
        }
    }
    return opened;
}

// Whether the fault at `offset` continues the token before it (a quote
// included): then the token is at fault.
bool runsOn(std::string_view text, std::size_t offset) {
    return offset > 0 && offset < text.size() &&
           std::string_view(" \t\n\r{}[],:").find(text[offset]) == npos &&
           std::string_view(" \t\n\r{}[],:\"").find(text[offset - 1]) == npos;
}

// The string fault that the simdjson reader finds before it reads any
// value, where a backslash escapes the next character anywhere in the
// text: a string never closed, or a raw control character in one.
std::optional<std::string_view> stringFault(std::string_view text) {
    bool inString = false;
    bool control = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            ++i;
            if (inString && i < text.size() && static_cast<unsigned char>(text[i]) < 0x20)
                control = true;
        } else if (c == '"')
            inString = !inString;
        else if (inString && c < 0x20)
            control = true;
    }
    if (inString) return kUnclosedString;
    if (control) return kUnescapedControl;
    return std::nullopt;
}

// The start of the run of token characters (not space, bracket, comma,
// colon or quote) that holds `offset`.
std::size_t tokenStart(std::string_view text, std::size_t offset) {
    std::size_t i = std::min(offset, text.size());
    while (i > 0 && std::string_view(" \t\n\r{}[],:\"").find(text[i - 1]) == npos)
        --i;
    return i;
}

// The start of the number that holds `offset`.
std::size_t numberStartBefore(std::string_view text, std::size_t offset) {
    std::size_t i = std::min(offset, text.size());
    while (i > 0 && std::string_view("0123456789+-.eE").find(text[i - 1]) != npos)
        --i;
    return i;
}

// The flags of every parse: strings decoded in place, doubles correctly
// rounded, UTF-8 checked as the text is read.
constexpr unsigned kParseFlags = rapidjson::kParseInsituFlag | rapidjson::kParseFullPrecisionFlag |
                                 rapidjson::kParseValidateEncodingFlag;

// A document without faults, read in one pass; none at the first fault (or
// for a text holding a NUL, where the parser would stop), which is then
// looked for as below. A document the parser reads whole has none of the
// faults the checks before the parse look for, so the value is the same.
std::optional<Value> parseWithoutFaults(std::string_view text, const JsonReadOptions& options) {
    if (text.empty() || std::memchr(text.data(), '\0', text.size())) return std::nullopt;
    std::string terminated(text);
    rapidjson::InsituStringStream stream(terminated.data());
    std::vector<std::pair<std::string, JsonLocation>> duplicates;
    Builder builder(text, stream, options, &duplicates);
    rapidjson::Reader reader;
    if (reader.Parse<kParseFlags>(stream, builder).IsError()) return std::nullopt;
    for (const auto& [key, location] : duplicates)
        options.onDuplicateKey(key, location);
    return builder.take();
}

} // namespace

Value parseWithRapidJson(std::string_view text, std::string_view sourceName,
                         const JsonReadOptions& options) {
    const std::string source(sourceName);
    if (auto value = parseWithoutFaults(text, options)) return std::move(*value);
    const auto fail = [&](std::string_view reason, std::size_t offset) {
        throw JsonError(std::string(reason), locate(text, offset), "", source);
    };
    // The faults found in the raw text before any value is read.
    if (const auto reason = stringFault(text)) {
        const std::size_t at = stringFaultOffset(text);
        fail(*reason, at == npos ? text.size() : at);
    }
    if (skipSpace(text, 0) == text.size()) fail(kEmptyInput, text.size());
    if (const std::size_t at = firstInvalidUtf8(text); at != npos) fail(kInvalidUtf8, at);
    // A document whose first and last characters are not a matching pair of
    // brackets is cut short, or has content after its value.
    const std::size_t first = skipSpace(text, 0);
    std::size_t last = text.size() - 1;
    while (last > first && std::string_view(" \t\n\r").find(text[last]) != npos)
        --last;
    if ((text[first] == '{' && text[last] != '}') || (text[first] == '[' && text[last] != ']')) {
        const std::size_t end = endOfFirstValue(text);
        if (end == npos) fail(kTruncated, text.size());
        if (skipSpace(text, end) < text.size()) fail(kTrailingContent, skipSpace(text, end));
        fail(kTruncated, first); // the brackets close, but not each other
    }

    // The parser reads up to a NUL; the text may hold one, which is then
    // where the parser stops and reports the fault.
    std::string terminated(text);
    rapidjson::InsituStringStream stream(terminated.data());
    Builder builder(text, stream, options);
    rapidjson::Reader reader;
    // Recursive parsing: the handler stops it kMaxJsonDepth levels deep.
    const rapidjson::ParseResult result = reader.Parse<kParseFlags>(stream, builder);
    if (!result.IsError()) return builder.take();

    const std::size_t offset = std::min(result.Offset(), text.size());
    if (builder.fault()) fail(builder.fault()->reason, builder.fault()->offset);
    switch (result.Code()) {
    case rapidjson::kParseErrorDocumentRootNotSingular:
        if (!runsOn(text, offset)) fail(kTrailingContent, skipSpace(text, offset));
        break;
    case rapidjson::kParseErrorStringUnicodeEscapeInvalidHex:
    case rapidjson::kParseErrorStringUnicodeSurrogateInvalid:
    case rapidjson::kParseErrorStringEscapeInvalid:
        fail(kBadString, openingQuoteBefore(text, offset));
        break;
    case rapidjson::kParseErrorStringInvalidEncoding:
        fail(kInvalidUtf8, offset);
        break;
    case rapidjson::kParseErrorNumberTooBig:
    case rapidjson::kParseErrorNumberMissFraction:
    case rapidjson::kParseErrorNumberMissExponent:
        fail(kBadNumber, numberStartBefore(text, offset));
        break;
    case rapidjson::kParseErrorValueInvalid: {
        // A misspelt literal, a sign without digits: an unknown token; but a
        // top-level one that starts like a literal and is followed by more
        // text is a bad literal.
        const std::size_t start = tokenStart(text, offset);
        std::size_t end = start;
        while (end < text.size() && std::string_view(" \t\n\r{}[],:\"").find(text[end]) == npos)
            ++end;
        if (start == first && std::string_view("tfn").find(text[start]) != npos &&
            end < text.size())
            fail(kBadLiteral, start);
        fail(kUnexpectedCharacter, start);
        break;
    }
    default:
        break;
    }
    // A token run on into more token characters: a number that is not
    // one, a literal that is not one (an unknown token inside a container).
    const std::size_t start = tokenStart(text, offset);
    if (runsOn(text, offset)) {
        const char c = text[start];
        if (c != 't' && c != 'f' && c != 'n') fail(kBadNumber, start);
        fail(start == first ? kBadLiteral : kUnexpectedCharacter, start);
    }
    fail(kUnexpectedCharacter, offset);
    return Value(); // not reached
}

} // namespace playgraph::inline v1::jsontext
