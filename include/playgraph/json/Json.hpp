#pragma once

/// JSON text in and out of `playgraph::Value` (the `playgraph::json` library).
///
/// Reading:
/// - Objects become dictionaries with their keys in document order; when a
///   key repeats, the last value wins and keeps the first one's position
///   (`JsonReadOptions::onDuplicateKey` hears of each repeat).
/// - Arrays become lists, `null` the null marker, `true`/`false` bools,
///   strings strings (the text must be valid UTF-8; escapes are decoded, a
///   lone surrogate escape is an error).
/// - A number without fraction or exponent is an integer: Int when it fits
///   a signed 64-bit integer, UInt when it fits only an unsigned one, and a
///   Double beyond both ranges. Every other number is a Double. A number
///   whose magnitude is too large for a double (`1e400`) is an error; one
///   too small (`1e-400`) reads as 0.0.
/// - Containers may nest `kMaxJsonDepth` levels deep.
/// - Anything else (empty input, trailing content, bad escapes, invalid
///   UTF-8, truncation) throws `JsonError` with the byte offset, line and
///   column of the fault.
///
/// Writing is deterministic: dictionary entries in insertion order, integers
/// as integers, doubles in their shortest round-trip form that still reads
/// back as a double (`10000.0`, `0.1`, `1e+300`), strings with `"`, `\` and
/// control characters escaped (other characters are written as they are).
/// It refuses, with a `JsonError` naming the key path of the value, what has
/// no faithful JSON form: a host object, a not-a-number or infinite double,
/// a string or key that is not valid UTF-8, and nesting deeper than
/// `kMaxJsonDepth` (which is also how a container holding itself shows).
/// None (no value) is left out as a dictionary entry, since an absent key
/// reads the same; at the top level and inside a list it is written `null`.
///
/// Threads: the functions keep no state and may run on several threads at
/// once; a value being written must not be changed meanwhile.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "playgraph/Config.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

/// How deep containers may nest, in reading and in writing.
inline constexpr std::size_t kMaxJsonDepth = 512;

/// A place in a JSON text: byte offset from 0; line and column from 1, the
/// column counted in bytes.
struct PLAYGRAPH_API JsonLocation {
    std::size_t offset = 0;
    std::size_t line = 1;
    std::size_t column = 1;
};

/// Raised by the JSON reader and writer. `what()` is the whole message:
/// "<source>:<line>:<column>: <reason> (byte <offset>)" for input faults,
/// "cannot write JSON at <keyPath>: <reason>" for values that have no JSON
/// form, "<source>: <reason>" for a file that cannot be read.
class PLAYGRAPH_API JsonError : public std::runtime_error {
public:
    JsonError(std::string reason, std::optional<JsonLocation> location, std::string keyPath,
              std::string source);

    /// The fault alone, without its place.
    const std::string& reason() const { return reason_; }
    /// Where in the input text the fault lies (reading only).
    const std::optional<JsonLocation>& location() const { return location_; }
    /// Path of the offending value, keys joined by "." and list indexes in
    /// brackets (`segments.a.next`, `list[2]`); empty for the top level or
    /// when reading.
    const std::string& keyPath() const { return keyPath_; }
    /// The name of the input (a file name), or empty.
    const std::string& source() const { return source_; }

private:
    std::string reason_;
    std::optional<JsonLocation> location_;
    std::string keyPath_;
    std::string source_;
};

/// Output layout: one line; 2-space indented lines; or the canonical form
/// for files kept in version control: keys sorted by their bytes, one entry
/// a 2-space indented line in dictionaries up to four levels deep (the top
/// level, "segments", a segment, a segment's "next" and "annotations": a
/// segment is a block of lines, a transition one line), deeper dictionaries
/// and every list on one line (`{"weight": 70}`, `[1, 2]`). Numbers are written as in every style,
/// so one value always gives one text: the canonical text of a document read back and written again
/// is the same text.
enum class JsonStyle { Compact, Pretty, Canonical };

/// Optional observers of the reader.
struct PLAYGRAPH_API JsonReadOptions {
    /// Called, while reading, for every key that repeats within one object,
    /// with the key and the place of the repeat (which is the value kept).
    /// It must not throw.
    std::function<void(std::string_view key, const JsonLocation& location)> onDuplicateKey;
};

/// Parses one JSON text. `sourceName` names the input in error messages
/// (defaults to "<input>"). Throws `JsonError`.
PLAYGRAPH_API Value parseJson(std::string_view text, std::string_view sourceName = {},
                              const JsonReadOptions& options = {});

/// Writes `value` as JSON, without a trailing newline. Throws `JsonError`.
PLAYGRAPH_API std::string writeJson(const Value& value, JsonStyle style = JsonStyle::Compact);

/// Reads and parses a file; errors name the file. Throws `JsonError`, also
/// when the file cannot be opened or read.
PLAYGRAPH_API Value readJsonFile(const std::filesystem::path& path);

} // namespace playgraph::inline v1
