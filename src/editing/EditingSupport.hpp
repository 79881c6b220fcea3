#pragma once

// Small helpers shared by the editing operations: the dictionary reads they
// use, argument checks and the messages.

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

#include "DictionaryFormat.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::inline v1::editing {

using format::dictionaryAt;
using format::millisecondsFromSeconds;
using format::stringAt;
using format::stringAtEquals;

/// The segment's "next", created (replacing an absent, null or wrongly
/// typed value) when it is not a dictionary.
inline Dictionary ensureNext(Dictionary& segment) {
    if (auto next = dictionaryAt(segment, keys::next)) return *next;
    Dictionary next;
    segment.set(keys::next, next);
    return next;
}

/// A new transition dictionary holding only "weight" 50.
inline Dictionary newTransition() { return Dictionary{{std::string(keys::weight), int64_t{50}}}; }

/// `a + b`, saturated to the signed 64-bit range.
inline int64_t saturatingAdd(int64_t a, int64_t b) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    if (b > 0 && a > kMax - b) return kMax;
    if (b < 0 && a < kMin - b) return kMin;
    return a + b;
}

[[noreturn]] inline void fail(const std::string& reason) { throw InvalidArgumentError(reason); }

inline std::string cannotFindSegment(std::string_view id) {
    return "Cannot find segment " + std::string(id);
}

inline std::string segmentAlreadyExists(std::string_view id) {
    return "A segment with id " + std::string(id) + " already exists";
}

/// Throws "<name> (<value %f>) must be a finite number" for a non-finite value.
inline void requireFinite(std::string_view name, double value) {
    if (!std::isfinite(value)) {
        fail(std::string(name) + " (" + formatFixed(value) + ") must be a finite number");
    }
}

/// The properties as a dictionary: none and the null marker act as an empty
/// one; any other kind throws.
inline Dictionary requireProperties(const Value& properties) {
    if (const Dictionary* d = properties.dictionary()) return *d;
    if (properties.isAbsent()) return Dictionary();
    fail("properties (" + properties.text() + ") must be a dictionary");
}

/// Throws unless `viewableId` is a finite number, none or the null marker:
/// anything else could not be written back as a dictionary's viewable id.
inline void requireViewableId(const Value& viewableId) {
    if (viewableId.isAbsent() || viewableId.isFiniteNumber()) return;
    const std::string text =
        viewableId.isBool() ? (viewableId.booleanReading() ? "true" : "false") : viewableId.text();
    fail("viewableId (" + text + ") must be a finite number");
}

/// A time for an edit's label: seconds with three decimals.
inline std::string labelSeconds(double seconds) { return formatFixed(seconds, 3) + " s"; }

} // namespace playgraph::inline v1::editing
