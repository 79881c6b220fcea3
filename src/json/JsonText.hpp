#pragma once

// What both JSON readers (simdjson natively, RapidJSON in the WebAssembly
// build) share, so that they report the same faults with the same words at
// the same places: scans of the raw text and the texts of the reasons.

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "playgraph/json/Json.hpp"

namespace playgraph::inline v1::jsontext {

inline constexpr std::size_t npos = std::string_view::npos;

// The reasons of reading faults.
inline constexpr std::string_view kEmptyInput = "empty input: no JSON value";
inline constexpr std::string_view kInvalidUtf8 = "invalid UTF-8";
inline constexpr std::string_view kBadNumber = "invalid number, or a number too large for a double";
inline constexpr std::string_view kBadString =
    "invalid string (bad escape sequence or lone surrogate)";
inline constexpr std::string_view kUnescapedControl =
    "control character inside a string must be escaped";
inline constexpr std::string_view kUnclosedString = "string is never closed";
inline constexpr std::string_view kBadLiteral = "invalid literal (expected true, false or null)";
inline constexpr std::string_view kUnexpectedCharacter =
    "unexpected character: missing or superfluous comma, colon, brace, bracket, key or value";
inline constexpr std::string_view kTruncated = "input ends inside an object or array";
inline constexpr std::string_view kTrailingContent = "unexpected content after the JSON value";

inline std::string tooDeep() {
    return "containers nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
}

inline JsonLocation locate(std::string_view text, std::size_t offset) {
    JsonLocation location;
    location.offset = std::min(offset, text.size());
    for (std::size_t i = 0; i < location.offset; ++i) {
        if (text[i] == '\n') {
            ++location.line;
            location.column = 1;
        } else {
            ++location.column;
        }
    }
    return location;
}

// Offset of the first byte that does not belong to a well-formed UTF-8
// sequence (no overlongs, no surrogates, nothing above U+10FFFF), or npos.
inline std::size_t firstInvalidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        } else {
            return i;
        }
        if (i + length > n) return i;
        if (p[i + 1] < low || p[i + 1] > high) return i;
        for (std::size_t k = 2; k < length; ++k) {
            if (p[i + k] < 0x80 || p[i + k] > 0xBF) return i;
        }
        i += length;
    }
    return npos;
}

// Finds, outside the parser, where a string fault lies: the first raw
// control character inside a string, or the opening quote of a string that
// is never closed. npos when there is neither.
inline std::size_t stringFaultOffset(std::string_view text) {
    bool inString = false;
    std::size_t opened = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!inString) {
            if (c == '"') {
                inString = true;
                opened = i;
            }
        } else if (c == '\\') {
            ++i;
        } else if (c == '"') {
            inString = false;
        } else if (c < 0x20) {
            return i;
        }
    }
    return inString ? opened : npos;
}

inline std::size_t skipSpace(std::string_view text, std::size_t i) {
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r'))
        ++i;
    return i;
}

// Where the first top-level value of `text` ends (just after it), found by
// bracket matching outside strings; npos when a container never closes.
inline std::size_t endOfFirstValue(std::string_view text) {
    std::size_t i = skipSpace(text, 0);
    if (i < text.size() && text[i] != '{' && text[i] != '[') {
        while (i < text.size() && std::string_view(" \t\n\r{}[],:\"").find(text[i]) == npos)
            ++i;
        return i;
    }
    std::size_t depth = 0;
    bool inString = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (--depth == 0) return i + 1;
        }
    }
    return npos;
}

// `locate` through an index of line starts, built on first use, for reports
// that may be many.
class LineIndex {
public:
    explicit LineIndex(std::string_view text) : text_(text) {}

    JsonLocation locate(std::size_t offset) {
        if (lineStarts_.empty()) {
            lineStarts_.push_back(0);
            for (std::size_t i = 0; i < text_.size(); ++i)
                if (text_[i] == '\n') lineStarts_.push_back(i + 1);
        }
        const auto line = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - 1;
        return {offset, static_cast<std::size_t>(line - lineStarts_.begin()) + 1,
                offset - *line + 1};
    }

private:
    std::string_view text_;
    std::vector<std::size_t> lineStarts_;
};

#if defined(PLAYGRAPH_JSON_WITH_RAPIDJSON)
// The reader of the WebAssembly build (RapidJSON's SAX parser), with the
// contract of `parseJson`. Natively it is built only for the test that
// compares it with the simdjson reader.
Value parseWithRapidJson(std::string_view text, std::string_view sourceName,
                         const JsonReadOptions& options);
#endif

} // namespace playgraph::inline v1::jsontext
