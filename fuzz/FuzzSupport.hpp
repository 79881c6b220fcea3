#pragma once

// Helpers shared by the fuzz targets.

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace playgraph::fuzz {

/// A time taken from the input, including the values that break naive code:
/// not-a-number, infinities, negative and huge numbers.
inline double pickTime(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
        return std::numeric_limits<double>::quiet_NaN();
    case 1:
        return std::numeric_limits<double>::infinity();
    case 2:
        return -std::numeric_limits<double>::infinity();
    case 3:
        return in.ConsumeFloatingPoint<double>();
    case 4:
        return -in.ConsumeFloatingPointInRange<double>(0.0, 100.0);
    default:
        return in.ConsumeFloatingPointInRange<double>(0.0, 120.0);
    }
}

/// Aborts with `what` when `ok` is false, so libFuzzer keeps the input.
inline void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

/// One of `ids`, or an id that names nothing.
inline std::string pickId(FuzzedDataProvider& in, const std::vector<std::string>& ids) {
    if (ids.empty() || in.ConsumeIntegralInRange<int>(0, 9) == 0) return "missing";
    return ids[in.ConsumeIntegralInRange<std::size_t>(0, ids.size() - 1)];
}

} // namespace playgraph::fuzz

#include <optional>
#include <string_view>

#include "playgraph/json/Json.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::fuzz {

/// The input read as JSON text, or none when it is not valid JSON.
inline std::optional<Value> parseInput(const uint8_t* data, std::size_t size) {
    try {
        return parseJson(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const JsonError&) {
        return std::nullopt;
    }
}

} // namespace playgraph::fuzz
