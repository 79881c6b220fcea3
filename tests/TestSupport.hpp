#pragma once

// Small builders and probes shared by the tests.

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <random>
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

/// Segment `id` of a playgraph dictionary: the live nested dictionary, so
/// changes show in `d`.
inline Dictionary segOf(const Dictionary& d, const std::string& id) {
    return *d.get("segments").dictionary()->get(id).dictionary();
}

/// A (viewable 1, 0-10 s) -> B (viewable 1, 10 s to `bEndMs`) -> C (viewable 2,
/// 5-10 s) along the default path; D (viewable 1, 0-4 s) leads to C off it.
inline Dictionary abcPath(Value bEndMs = 25000) {
    return graph("A",
                 Dictionary{{"A", seg(0, 10000, {{"viewableId", 1}, {"defaultNext", "B"}})},
                            {"B", seg(10000, bEndMs, {{"viewableId", 1}, {"defaultNext", "C"}})},
                            {"C", seg(5000, 10000, {{"viewableId", 2}})},
                            {"D", seg(0, 4000, {{"viewableId", 1}, {"defaultNext", "C"}})}});
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

/// A random value up to `depth` containers deep: every kind JSON carries, the
/// edges of the number ranges, strings of escaped characters and of 1- to
/// 4-byte UTF-8. Given a `host`, also none, that host object and repeated keys.
inline Value randomValue(std::mt19937& rng, int depth,
                         const std::shared_ptr<HostObject>& host = nullptr) {
    const auto pick = [&rng](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    static const char* const pieces[] = {"\x01",
                                         "\x1f",
                                         "\n",
                                         "\"",
                                         "\\",
                                         "/",
                                         "a",
                                         ".",
                                         "\xC3\xA9",
                                         "\xDF\xBF",
                                         "\xE2\x82\xAC",
                                         "\xED\x9F\xBF",
                                         "\xF0\x9F\x98\x80",
                                         "\xF4\x8F\xBF\xBF"};
    const auto text = [&] {
        std::string s;
        for (int i = pick(12); i > 0; --i)
            s += pieces[pick(14)];
        return s;
    };
    static constexpr int64_t ints[] = {0, std::numeric_limits<int64_t>::min(),
                                       std::numeric_limits<int64_t>::max()};
    static constexpr double doubles[] = {0.0, -0.0, 10000.0, 1e300, 5e-324, 0.1, -1e-7, 1e21};
    switch (pick(depth > 0 ? 10 : 8)) {
    case 0:
        return host && pick(2) == 0 ? Value() : Value::null();
    case 1:
        return Value(pick(2) == 1);
    case 2:
        return pick(4) == 0 ? Value(ints[pick(3)]) : Value(int64_t{pick(2000001)} - 1000000);
    case 3:
        return Value(std::uniform_int_distribution<uint64_t>(
            uint64_t{1} << 63, std::numeric_limits<uint64_t>::max())(rng));
    case 4:
        if (pick(3) == 0) return Value(doubles[pick(8)]);
        for (;;) {
            const uint64_t bits = std::uniform_int_distribution<uint64_t>()(rng);
            double d = 0;
            std::memcpy(&d, &bits, sizeof d);
            if (std::isfinite(d)) return Value(d);
        }
    case 5:
        return Value(text());
    case 6:
        return host ? Value(host) : Value(text());
    case 7:
        return Value(List{});
    case 8: {
        Dictionary d;
        for (int i = pick(host ? 12 : 5); i > 0; --i)
            d.set(host ? "k" + std::to_string(pick(16)) : text(),
                  randomValue(rng, depth - 1, host));
        return d;
    }
    default: {
        List l;
        for (int i = pick(5); i > 0; --i)
            l.push_back(randomValue(rng, depth - 1, host));
        return l;
    }
    }
}

/// `value` built again with the keys of every dictionary in reverse order
/// (lists keep theirs): the same value by `==`, in another order.
inline Value reversedKeys(const Value& value) {
    if (const Dictionary* d = value.dictionary()) {
        Dictionary out;
        const auto keys = d->keys();
        for (auto key = keys.rbegin(); key != keys.rend(); ++key)
            out.set(*key, reversedKeys(d->get(*key)));
        return out;
    }
    if (const List* l = value.list()) {
        List out;
        for (const auto& item : *l)
            out.push_back(reversedKeys(item));
        return out;
    }
    return value;
}

/// The segment ids along the default path.
inline std::vector<std::string> defaultPath(const QZPlaygraph& p) {
    std::vector<std::string> out;
    p.defaultPathTraversal([&](const auto& s, uint64_t, bool&) { out.push_back(s->segmentId()); });
    return out;
}

/// A provider that answers every flag with `answer` and counts the questions.
struct CountingProvider : PlatformConfigProvider {
    explicit CountingProvider(bool answer) : answer(answer) {}
    bool isFlagTrue(std::string_view, bool) const override {
        ++asked;
        return answer;
    }
    bool answer;
    mutable int asked = 0;
};

/// Installs a provider for a scope and restores the default afterwards.
struct ScopedProvider {
    explicit ScopedProvider(std::shared_ptr<const PlatformConfigProvider> p) {
        PlatformConfigProvider::setShared(std::move(p));
    }
    ~ScopedProvider() { PlatformConfigProvider::setShared(nullptr); }
};

} // namespace playgraph::test
