#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "playgraph/Value.hpp"

using namespace playgraph;

namespace {
struct Host : HostObject {};
} // namespace

TEST(Value, NumbersKeepTheirKind) {
    EXPECT_EQ(Value(5).kind(), Value::Kind::Int);
    EXPECT_EQ(Value(5u).kind(), Value::Kind::UInt);
    EXPECT_EQ(Value(5.0).kind(), Value::Kind::Double);
    EXPECT_EQ(Value(true).kind(), Value::Kind::Bool);
    EXPECT_EQ(Value("x").kind(), Value::Kind::String);
    EXPECT_TRUE(Value().isNone());
    EXPECT_TRUE(Value::null().isNull());
    EXPECT_TRUE(Value::null().isAbsent());
    EXPECT_FALSE(Value(0).isAbsent());
    EXPECT_EQ(Value(std::shared_ptr<HostObject>()).kind(), Value::Kind::None);
}

TEST(Value, IntegerReadingTruncatesAndSaturates) {
    EXPECT_EQ(Value(1000.9).integerReading(), 1000);
    EXPECT_EQ(Value(-0.5).integerReading(), 0);
    EXPECT_EQ(Value(-2.9).integerReading(), -2);
    EXPECT_EQ(Value(std::nan("")).integerReading(), 0);
    EXPECT_EQ(Value(1e300).integerReading(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Value(-std::numeric_limits<double>::infinity()).integerReading(),
              std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Value(std::numeric_limits<uint64_t>::max()).integerReading(),
              std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Value(true).integerReading(), 1);
    EXPECT_EQ(Value("42").integerReading(), 42);
    EXPECT_EQ(Value("  -17abc").integerReading(), -17);
    EXPECT_EQ(Value("3.9").integerReading(), 3);
    EXPECT_EQ(Value("abc").integerReading(), 0);
    EXPECT_EQ(Value("99999999999999999999999").integerReading(),
              std::numeric_limits<int64_t>::max());
    EXPECT_EQ(Value("-9223372036854775808").integerReading(), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Value::null().integerReading(), 0);
    EXPECT_EQ(Value(Dictionary{}).integerReading(), 0);
}

TEST(Value, Int32ReadingSaturates) {
    EXPECT_EQ(Value(int64_t{5'000'000'000}).int32Reading(), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(Value("-5000000000").int32Reading(), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(Value(2.9).int32Reading(), 2);
}

TEST(Value, BooleanReadingOfNumbersAndStrings) {
    EXPECT_FALSE(Value(0).booleanReading());
    EXPECT_TRUE(Value(0.25).booleanReading());
    EXPECT_TRUE(Value(-3).booleanReading());
    for (const char* yes : {"Y", "yes", "true", "T", "1", "  7", "-5", "+0001", "009"}) {
        EXPECT_TRUE(Value(yes).booleanReading()) << yes;
    }
    for (const char* no : {"", "0", "no", "false", "N", "000", "0.5", " x", "-"}) {
        EXPECT_FALSE(Value(no).booleanReading()) << no;
    }
    EXPECT_FALSE(Value::null().booleanReading());
}

TEST(Value, DoubleReading) {
    EXPECT_DOUBLE_EQ(Value(3).doubleReading(), 3.0);
    EXPECT_DOUBLE_EQ(Value(" 2.5s").doubleReading(), 2.5);
    EXPECT_DOUBLE_EQ(Value("+1e3").doubleReading(), 1000.0);
    EXPECT_DOUBLE_EQ(Value("abc").doubleReading(), 0.0);
    EXPECT_TRUE(std::isinf(Value("1e999").doubleReading()));
    EXPECT_DOUBLE_EQ(Value(List{}).doubleReading(), 0.0);
}

TEST(Value, TextForm) {
    EXPECT_EQ(Value("intro").text(), "intro");
    EXPECT_EQ(Value(42).text(), "42");
    EXPECT_EQ(Value(0.0).text(), "0");
    EXPECT_EQ(Value(2.5).text(), "2.5");
    EXPECT_EQ(Value(1.0 / 3.0).text(), "0.3333333333333333");
    EXPECT_EQ(Value(10000.0).text(), "10000");
    EXPECT_EQ(Value(true).text(), "1");
    EXPECT_EQ(Value::null().text(), "<null>");
    EXPECT_EQ(Value().text(), "(null)");
    EXPECT_EQ(Value(Dictionary{{"a", 1}, {"b", List{"x", 2.5}}}).text(),
              R"({"a": 1, "b": ["x", 2.5]})");
    EXPECT_EQ(formatFixed(1.0), "1.000000");
    EXPECT_EQ(formatFixed(0.125, 2), "0.12");
}

TEST(Value, EqualityIsDeepAndKindAware) {
    EXPECT_EQ(Value(5), Value(5u));
    EXPECT_NE(Value(-1), Value(std::numeric_limits<uint64_t>::max()));
    EXPECT_NE(Value(5), Value(5.0));
    EXPECT_EQ(Value(std::nan("")), Value(std::nan("")));
    EXPECT_NE(Value(), Value::null());
    EXPECT_EQ(Value(Dictionary{{"a", 1}, {"b", 2}}), Value(Dictionary{{"b", 2}, {"a", 1}}));
    EXPECT_NE(Value(Dictionary{{"a", 1}}), Value(Dictionary{{"a", 1.0}}));
    EXPECT_EQ(Value(List{1, "x"}), Value(List{1, "x"}));
    EXPECT_NE(Value(List{1, "x"}), Value(List{"x", 1}));
    auto host = std::make_shared<Host>();
    EXPECT_EQ(Value(host), Value(host));
    EXPECT_NE(Value(host), Value(std::make_shared<Host>()));
    EXPECT_EQ(Value(host).objectAs<Host>(), host);
}

TEST(Dictionary, SharesContainersAndCopiesOneLevel) {
    Dictionary inner{{"x", 1}};
    Dictionary outer{{"inner", inner}, {"n", 2}};
    Dictionary alias = outer;
    alias.set("n", 3);
    EXPECT_EQ(outer.get("n"), Value(3));

    Dictionary copy = outer.copy();
    EXPECT_FALSE(copy.sameAs(outer));
    copy.set("n", 4);
    EXPECT_EQ(outer.get("n"), Value(3));
    // Nested containers stay shared by the one-level copy.
    copy.find("inner")->dictionary()->set("x", 9);
    EXPECT_EQ(inner.get("x"), Value(9));
}

TEST(Dictionary, KeepsInsertionOrderThroughReplaceAndErase) {
    Dictionary d{{"c", 1}, {"a", 2}, {"b", 3}};
    d.set("a", 20);
    d.erase("c");
    d.set("c", 30);
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(d.get("a"), Value(20));
    EXPECT_FALSE(d.erase("missing"));
    EXPECT_TRUE(d.get("missing").isNone());
    EXPECT_EQ(d.find("missing"), nullptr);
}

TEST(Dictionary, LargeMapsStayConsistentUnderChurn) {
    Dictionary d;
    for (int i = 0; i < 2000; ++i)
        d.set("k" + std::to_string(i), i);
    for (int i = 0; i < 2000; i += 2)
        ASSERT_TRUE(d.erase("k" + std::to_string(i)));
    for (int i = 0; i < 500; ++i)
        d.set("n" + std::to_string(i), -i);
    EXPECT_EQ(d.size(), 1500u);
    for (int i = 0; i < 2000; ++i) {
        const Value* v = d.find("k" + std::to_string(i));
        if (i % 2 == 0) {
            EXPECT_EQ(v, nullptr);
        } else {
            ASSERT_NE(v, nullptr);
            EXPECT_EQ(*v, Value(i));
        }
    }
    // Survivors enumerate in their original order, then the new keys.
    std::vector<std::string> keys = d.keys();
    EXPECT_EQ(keys.front(), "k1");
    EXPECT_EQ(keys[999], "k1999");
    EXPECT_EQ(keys.back(), "n499");
    std::size_t counted = 0;
    for (const auto& entry : d) {
        (void)entry;
        ++counted;
    }
    EXPECT_EQ(counted, 1500u);
}

// "<prefix><n>" (appending rather than `operator+`, which draws a false
// -Wrestrict from g++ 12 at -O3).
namespace {
std::string numbered(std::string prefix, uint64_t n) {
    prefix += std::to_string(n);
    return prefix;
}
} // namespace

// Maps change representation as they cross the size where lookups switch
// from a scan to an index (and back after erasures), and when room is
// reserved: random edits must keep order, lookups and size as a plain list
// of entries would.
TEST(Dictionary, AgreesWithAReferenceAcrossSizesErasuresAndReserve) {
    std::vector<std::pair<std::string, int>> reference;
    Dictionary d;
    uint64_t state = 12345;
    const auto random = [&state](uint64_t limit) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return (state >> 33) % limit;
    };
    for (int step = 0; step < 20000; ++step) {
        const std::string key = numbered("key", random(40));
        const auto found = std::find_if(reference.begin(), reference.end(),
                                        [&](const auto& entry) { return entry.first == key; });
        // Phases that grow the map towards 40 keys and shrink it towards none.
        const uint64_t setShare = (step / 500) % 2 == 0 ? 80 : 20;
        const uint64_t op = random(100);
        if (op < setShare) {
            d.set(key, step);
            if (found != reference.end()) {
                found->second = step;
            } else {
                reference.emplace_back(key, step);
            }
        } else if (op < 97) {
            EXPECT_EQ(d.erase(key), found != reference.end());
            if (found != reference.end()) reference.erase(found);
        } else if (op < 99) {
            d.reserve(reference.size() + random(20));
        } else {
            d = d.copy();
        }
        ASSERT_EQ(d.size(), reference.size());
        if (step % 16 == 0) {
            std::vector<std::pair<std::string, int>> seen;
            for (const auto& [k, v] : std::as_const(d))
                seen.emplace_back(k, static_cast<int>(v.integerReading()));
            ASSERT_EQ(seen, reference) << "at step " << step;
            for (int i = 0; i < 40; ++i) {
                const std::string probe = numbered("key", static_cast<uint64_t>(i));
                const Value* v = d.find(probe);
                const auto it =
                    std::find_if(reference.begin(), reference.end(),
                                 [&](const auto& entry) { return entry.first == probe; });
                ASSERT_EQ(v != nullptr, it != reference.end()) << probe << " at step " << step;
                if (v) {
                    EXPECT_EQ(v->integerReading(), it->second);
                }
            }
        }
    }
}

TEST(Dictionary, ReservedDictionaryFillsLikeAnyOther) {
    for (const std::size_t n : {0u, 3u, 8u, 9u, 100u}) {
        Dictionary d;
        d.reserve(n);
        for (std::size_t i = 0; i < n + 5; ++i)
            d.set(numbered("k", i), static_cast<int64_t>(i));
        ASSERT_EQ(d.size(), n + 5);
        for (std::size_t i = 0; i < n + 5; ++i)
            EXPECT_EQ(d.get(numbered("k", i)), Value(static_cast<int64_t>(i)));
        EXPECT_EQ(d.keys().front(), "k0");
        EXPECT_EQ(d.keys().back(), numbered("k", n + 4));
    }
}

TEST(Value, DeepCopySharesNoContainer) {
    auto host = std::make_shared<Host>();
    Dictionary inner{{"x", 1}, {"list", List{Dictionary{{"y", 2}}}}};
    Value original(Dictionary{{"inner", inner}, {"host", host}});
    Value copy = original.deepCopy();
    EXPECT_EQ(copy, original);
    inner.set("x", 5);
    Dictionary nested = *(*inner.find("list")->list())[0].dictionary();
    nested.set("y", 6);
    EXPECT_NE(copy, original);
    EXPECT_EQ(copy.dictionary()->find("inner")->dictionary()->get("x"), Value(1));
    EXPECT_EQ(copy.dictionary()->get("host").object(), host);
}

TEST(List, SharesAndCopies) {
    List l{1, 2};
    List alias = l;
    alias.push_back(3);
    EXPECT_EQ(l.size(), 3u);
    List copy = l.copy();
    copy.push_back(4);
    EXPECT_EQ(l.size(), 3u);
    EXPECT_EQ(copy.size(), 4u);
}

TEST(Value, SelfContainingDictionaryDoesNotHangTextOrComparison) {
    Dictionary d;
    d.set("self", d);
    Dictionary e;
    e.set("self", e);
    EXPECT_FALSE(Value(d).text().empty());
    EXPECT_FALSE(d == e);
    d.erase("self"); // break the cycles so nothing leaks
    e.erase("self");
}
