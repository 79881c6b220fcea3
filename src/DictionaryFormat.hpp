#pragma once

// How a playgraph dictionary's entries are read: typed reads that take a
// value of another kind for absent, stored milliseconds and their
// saturation at 2^63. The loader, the editor, the lint and the front ends
// (the tool, Python, the web package) all read through here. Header-only on
// the public `Value`, so the front ends compile it without the library's
// internals.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "playgraph/Value.hpp"

namespace playgraph::inline v1::format {

/// True when truncating `d` toward zero leaves the signed 64-bit range: at
/// or beyond 2^63, or below -2^63 (both exactly representable).
inline bool saturates(double d) { return d >= 0x1p63 || d < -0x1p63; }

/// `d` truncated toward zero, saturated to the signed 64-bit range;
/// not-a-number reads 0.
inline int64_t saturatingTrunc(double d) {
    if (std::isnan(d)) return 0;
    if (saturates(d))
        return d > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(d);
}

/// The string `v` holds, or none when it is absent or of another kind.
inline std::optional<std::string> stringOf(const Value* v) {
    return v && v->isString() ? std::optional<std::string>(*v->string()) : std::nullopt;
}

/// The dictionary `v` holds (a shared handle), or none when it is absent or
/// of another kind.
inline std::optional<Dictionary> dictionaryOf(const Value* v) {
    return v && v->isDictionary() ? std::optional<Dictionary>(*v->dictionary()) : std::nullopt;
}

inline std::optional<std::string> stringAt(const Dictionary& d, std::string_view key) {
    return stringOf(d.find(key));
}
inline std::optional<Dictionary> dictionaryAt(const Dictionary& d, std::string_view key) {
    return dictionaryOf(d.find(key));
}
/// True when `d[key]` is the string `text`.
inline bool stringAtEquals(const Dictionary& d, std::string_view key, std::string_view text) {
    const Value* v = d.find(key);
    return v && v->isString() && *v->string() == text;
}

/// A stored time ("startTimeMs", "endTimeMs", "skipRegionOffset") in whole
/// milliseconds: a finite number (not a boolean) truncated toward zero and
/// saturated; anything else (absent, the null marker, a string, a boolean,
/// not-a-number, infinity) is none.
inline std::optional<int64_t> storedMilliseconds(const Value* v) {
    if (!v || !v->isFiniteNumber()) return std::nullopt;
    return v->integerReading();
}

/// `storedMilliseconds` in seconds (divided by 1000.0).
inline std::optional<double> storedSeconds(const Value* v) {
    const auto ms = storedMilliseconds(v);
    return ms ? std::optional<double>(static_cast<double>(*ms) / 1000.0) : std::nullopt;
}

/// True when a stored time is beyond what `storedMilliseconds` reads
/// exactly: a finite number whose truncation saturates.
inline bool storedMillisecondsSaturate(const Value& v) {
    if (!v.isFiniteNumber()) return false;
    if (v.kind() == Value::Kind::UInt) {
        return std::get<uint64_t>(v.data()) > static_cast<uint64_t>(INT64_MAX);
    }
    return v.isDouble() && saturates(v.doubleReading());
}

/// Seconds as whole milliseconds, the way the writers store a time:
/// x 1000.0, truncated toward zero, saturated. `seconds` must be finite.
inline int64_t millisecondsFromSeconds(double seconds) {
    return saturatingTrunc(std::trunc(seconds * 1000.0));
}

} // namespace playgraph::inline v1::format
