#pragma once

// Small builders for playgraph dictionaries used across the tests.

#include <cmath>
#include <initializer_list>
#include <string>
#include <utility>

#include "playgraph/Value.hpp"

namespace playgraph::test {

/// A segment dictionary from start to end (milliseconds) plus extra entries.
inline Dictionary seg(Value startMs, Value endMs,
                      std::initializer_list<std::pair<std::string, Value>> extra = {}) {
    Dictionary d;
    if (!startMs.isNone()) d.set("startTimeMs", std::move(startMs));
    if (!endMs.isNone()) d.set("endTimeMs", std::move(endMs));
    for (const auto& [key, value] : extra)
        d.set(key, value);
    return d;
}

/// A playgraph dictionary with an initial segment and segments.
inline Dictionary graph(Value initial, Dictionary segments,
                        std::initializer_list<std::pair<std::string, Value>> extra = {}) {
    Dictionary d;
    if (!initial.isNone()) d.set("initialSegment", std::move(initial));
    d.set("segments", std::move(segments));
    for (const auto& [key, value] : extra)
        d.set(key, value);
    return d;
}

/// A "next" dictionary of transitions with the given weights.
inline Dictionary next(std::initializer_list<std::pair<std::string, Value>> weights) {
    Dictionary d;
    for (const auto& [id, weight] : weights)
        d.set(id, Dictionary{{"weight", weight}});
    return d;
}

inline bool isNaN(double v) { return std::isnan(v); }

} // namespace playgraph::test
