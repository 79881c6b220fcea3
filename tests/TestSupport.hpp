#pragma once

// Small builders and probes shared by the tests.

#include <cmath>
#include <initializer_list>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "playgraph/Value.hpp"
#include "playgraph/model/PlaygraphBase.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::test {

inline constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
inline constexpr double Inf = std::numeric_limits<double>::infinity();

struct Params : QZPlaygraphParams {};

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

/// Segment `id` of a playgraph dictionary and its "next": the live nested
/// dictionaries, so changes show in `d`.
inline Dictionary segOf(const Dictionary& d, const std::string& id) {
    return *d.get("segments").dictionary()->get(id).dictionary();
}
inline Dictionary nextOf(const Dictionary& d, const std::string& id) {
    return *segOf(d, id).get("next").dictionary();
}

/// s0 -> s1 -> ... -> s<n-1>, 1 s each, joined by transitions (or by
/// "defaultNext" when `byDefault`).
inline Dictionary chainOf(int n, bool byDefault = false,
                          std::initializer_list<std::pair<std::string, Value>> extra = {}) {
    Dictionary segments;
    for (int i = 0; i < n; ++i) {
        Dictionary s = seg(i * 1000, i * 1000 + 1000, extra);
        const std::string to = "s" + std::to_string(i + 1);
        if (i + 1 < n)
            s.set(byDefault ? "defaultNext" : "next", byDefault ? Value(to) : next({{to, 1}}));
        segments.set("s" + std::to_string(i), s);
    }
    return graph("s0", segments);
}

/// The segment ids along the default path.
inline std::vector<std::string> defaultPath(const QZPlaygraph& p) {
    std::vector<std::string> out;
    p.defaultPathTraversal([&](const auto& s, uint64_t, bool&) { out.push_back(s->segmentId()); });
    return out;
}

inline bool isNaN(double v) { return std::isnan(v); }

/// A provider that answers every flag with `answer` and counts the questions.
struct CountingProvider : PlatformConfigProvider {
    explicit CountingProvider(bool answer) : answer(answer) {}
    bool isFlagTrue(std::string_view flag, bool) const override {
        ++asked;
        lastFlag = std::string(flag);
        return answer;
    }
    bool answer;
    mutable int asked = 0;
    mutable std::string lastFlag;
};

/// Installs a provider for a scope and restores the default afterwards.
struct ScopedProvider {
    explicit ScopedProvider(std::shared_ptr<const PlatformConfigProvider> p) {
        PlatformConfigProvider::setShared(std::move(p));
    }
    ~ScopedProvider() { PlatformConfigProvider::setShared(nullptr); }
};

} // namespace playgraph::test
