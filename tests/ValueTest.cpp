// Values, dictionaries and the platform services.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>

#include "TestSupport.hpp"
#include "playgraph/platform/Uuid.hpp"

using namespace playgraph;

namespace {
struct Host : HostObject {};
} // namespace

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

TEST(Value, IntegerReadingsTruncateAndSaturate) {
    const std::pair<Value, int64_t> readings[] = {
        {Value(1000.9), 1000},
        {Value(-2.9), -2},
        {Value(std::nan("")), 0},
        {Value(1e300), kMax},
        {Value(-std::numeric_limits<double>::infinity()), kMin},
        {Value(std::numeric_limits<uint64_t>::max()), kMax},
        {Value(true), 1},
        {Value(" \n-17abc"), -17},
        {Value("3.9"), 3},
        {Value("abc"), 0},
        {Value("99999999999999999999999"), kMax},
        {Value("-9223372036854775808"), kMin},
        {Value::null(), 0},
        {Value(Dictionary{}), 0},
    };
    for (const auto& [value, expected] : readings)
        EXPECT_EQ(value.integerReading(), expected) << value.text();
    EXPECT_EQ(Value(int64_t{5'000'000'000}).int32Reading(), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(Value("-5000000000").int32Reading(), std::numeric_limits<int32_t>::min());
}

TEST(Value, BooleanAndDoubleReadings) {
    EXPECT_FALSE(Value(0).booleanReading());
    EXPECT_TRUE(Value(0.25).booleanReading());
    for (const char* yes : {"Y", "yes", "true", "T", "1", "  7", "-5", "+0001", "009"})
        EXPECT_TRUE(Value(yes).booleanReading()) << yes;
    for (const char* no : {"", "0", "no", "false", "N", "000", "0.5", " x", "-"})
        EXPECT_FALSE(Value(no).booleanReading()) << no;
    EXPECT_FALSE(Value::null().booleanReading());

    const std::pair<Value, double> readings[] = {{Value(3), 3.0},
                                                 {Value(" 2.5s"), 2.5},
                                                 {Value("+1e3"), 1000.0},
                                                 {Value("abc"), 0.0},
                                                 {Value(List{}), 0.0}};
    for (const auto& [value, expected] : readings)
        EXPECT_EQ(value.doubleReading(), expected) << value.text();
    EXPECT_TRUE(std::isinf(Value("1e999").doubleReading()));
}

TEST(Value, TextForm) {
    const std::pair<Value, const char*> texts[] = {
        {Value(42), "42"},
        {Value(0.0), "0"},
        {Value(1.0 / 3.0), "0.3333333333333333"},
        {Value(10000.0), "10000"},
        {Value(true), "1"},
        {Value::null(), "<null>"},
        {Value(), "(null)"},
        {Value(Dictionary{{"a", 1}, {"b", List{"x", 2.5}}}), R"({"a": 1, "b": ["x", 2.5]})"},
    };
    for (const auto& [value, text] : texts)
        EXPECT_EQ(value.text(), text);
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
    EXPECT_NE(Value(List{1, "x"}), Value(List{"x", 1}));
    EXPECT_NE(Value(List{1}), Value(List{1, 2}));
    auto host = std::make_shared<Host>();
    EXPECT_EQ(Value(host), Value(host));
    EXPECT_NE(Value(host), Value(std::make_shared<Host>()));
}

// Maps change representation as they cross the size where lookups switch
// from a scan to an index (and back after erasures), and when room is
// reserved: random edits must keep order, lookups and size as a plain list
// of entries would.
TEST(Dictionary, AgreesWithAReferenceAcrossSizesErasuresAndReserve) {
    std::vector<std::pair<std::string, int>> reference;
    const auto lookUp = [&](const std::string& key) {
        return std::find_if(reference.begin(), reference.end(),
                            [&](const auto& entry) { return entry.first == key; });
    };
    Dictionary d;
    std::mt19937 rng(12345);
    const auto random = [&rng](int limit) { return static_cast<int>(rng() % limit); };
    for (int step = 0; step < 20000; ++step) {
        std::string key = "key";
        key += std::to_string(random(40)); // appending: g++ 12 -O3 warns on operator+
        const auto found = lookUp(key);
        // Phases that grow the map towards 40 keys and shrink it towards none.
        const int op = random(100);
        if (op < ((step / 500) % 2 == 0 ? 80 : 20)) {
            d.set(key, step);
            if (found != reference.end())
                found->second = step;
            else
                reference.emplace_back(key, step);
        } else if (op < 97) {
            EXPECT_EQ(d.erase(key), found != reference.end());
            if (found != reference.end()) reference.erase(found);
        } else if (op < 99) {
            d.reserve(reference.size() + static_cast<std::size_t>(random(20)));
        } else {
            d = d.copy();
        }
        ASSERT_EQ(d.size(), reference.size());
        if (step % 16 != 0) continue;
        std::vector<std::pair<std::string, int>> seen;
        for (const auto& [k, v] : std::as_const(d))
            seen.emplace_back(k, static_cast<int>(v.integerReading()));
        ASSERT_EQ(seen, reference) << "at step " << step;
        for (const auto& [k, v] : reference)
            ASSERT_EQ(d.find(k)->integerReading(), v) << k;
        ASSERT_EQ(d.find(key) != nullptr, lookUp(key) != reference.end());
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
    // A list's copy owns its items; assignment shares the list.
    List list{1, 2};
    List shared;
    shared = list;
    List own = list.copy();
    own.reserve(8);
    list.push_back(3);
    EXPECT_EQ(shared.size(), 3u);
    EXPECT_EQ(own, (List{1, 2}));
    shared = List{};
    EXPECT_TRUE(shared.empty());
}

// Containers nested up to 513 levels compare in full; deeper ones compare
// unequal and print "..." past that depth (so do containers holding themselves).
TEST(Value, NestingDepthBoundsComparisonAndText) {
    const auto nested = [](int levels) {
        Value v = List{};
        for (int i = 1; i < levels; ++i)
            v = List{v};
        return v;
    };
    EXPECT_EQ(nested(513), nested(513));
    EXPECT_NE(nested(514), nested(514));
    EXPECT_EQ(nested(514).text(), std::string(513, '[') + "..." + std::string(513, ']'));
    Dictionary d;
    d.set("self", d);
    Dictionary e;
    e.set("self", e);
    EXPECT_FALSE(Value(d).text().empty());
    EXPECT_FALSE(d == e);
    EXPECT_TRUE(d.erase("self")); // break the cycles so nothing leaks
    EXPECT_TRUE(e.erase("self"));
}

// A value changes kind in place and hands its payload over on moves; random
// copies, moves and assignments (also from a value nested in the target,
// whose container the assignment may free) must leave every value equal to a
// deep snapshot of what it was given; the sanitizer run checks that every
// block is freed once.
TEST(Value, RandomCopiesMovesAndNestedAssignmentsKeepContents) {
    std::mt19937 rng(99);
    const auto host = std::make_shared<Host>();
    std::vector<Value> values(6), expected(6);
    for (int step = 0; step < 4000; ++step) {
        const std::size_t a = rng() % 6, b = rng() % 6;
        Dictionary* d = values[a].dictionary();
        Value* nested = d && !d->empty() ? &d->begin()->second : nullptr;
        switch (rng() % 5) {
        case 0:
            values[a] = test::randomValue(rng, 3, host);
            expected[a] = values[a].deepCopy();
            break;
        case 1:
            values[b] = values[a];
            expected[b] = expected[a].deepCopy();
            break;
        case 2:
            values[b] = std::move(values[a]);
            expected[b] = expected[a].deepCopy();
            if (a != b) expected[a] = Value();
            break;
        default:
            if (!nested) break;
            expected[a] = nested->deepCopy();
            if (rng() % 2 == 0) {
                values[a] = *nested;
                break;
            }
            values[a] = std::move(*nested);
            // The container moved from may be shared by the other values.
            for (std::size_t i = 0; i < values.size(); ++i)
                if (i != a) expected[i] = values[i].deepCopy();
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            ASSERT_EQ(values[i], expected[i]) << "step " << step << ": " << values[i].text();
            ASSERT_EQ(values[i].data().index(), static_cast<std::size_t>(values[i].kind()));
        }
    }
}

// A moved-from handle reads as empty, shares nothing, and takes changes
// into a container of its own.
TEST(Value, MovedFromContainersAreEmptyAndUsable) {
    Dictionary d{{"a", 1}};
    const Dictionary kept = std::move(d);
    EXPECT_EQ(d.size(), 0u);
    EXPECT_TRUE(d.empty() && d.keys().empty() && d.begin() == d.end());
    EXPECT_EQ(d.find("a"), nullptr);
    EXPECT_FALSE(d.erase("a"));
    EXPECT_EQ(d.copy(), Dictionary());
    EXPECT_EQ(Value(d), Value(Dictionary()));
    d.set("b", 2);
    EXPECT_EQ(d, (Dictionary{{"b", 2}}));
    EXPECT_EQ(kept, (Dictionary{{"a", 1}}));

    List l{1, 2};
    List other = std::move(l);
    EXPECT_TRUE(l.empty() && l.begin() == l.end() && l.copy().size() == 0);
    l.push_back(3);
    EXPECT_EQ(l, List{3});
    EXPECT_EQ(other, (List{1, 2}));
}

namespace {
// Allocation failure injection: while `allocationsLeft` is not negative,
// each allocation counts it down and the one that finds it at zero throws.
thread_local long allocationsLeft = -1;
} // namespace

void* operator new(std::size_t size) {
    if (allocationsLeft >= 0 && allocationsLeft-- == 0) {
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// g++ takes the pairing of the replaced operators with malloc for a mismatch.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
// The rest of the family goes the same way, so that the sanitizer's own
// operators never meet these.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// Containers built from initializer lists, with each of their allocations
// failing in turn: the failure propagates and nothing leaks (the sanitizer
// run checks the leaks).
TEST(Value, InitializerListsLeakNothingWhenAnAllocationFails) {
    const std::string longKey(40, 'k'); // too long to be stored in place
    for (long failing = 0;; ++failing) {
        const std::pair<std::string, Value> entries[] = {
            {longKey + "1", 1}, {longKey + "2", longKey}, {longKey + "3", List{1}}};
        const Value items[] = {longKey, Dictionary{{longKey, 1}}, 3};
        allocationsLeft = failing;
        try {
            const Dictionary d{entries[0], entries[1], entries[2]};
            const List l{items[0], items[1], items[2]};
            allocationsLeft = -1;
            EXPECT_EQ(d.size(), 3u);
            EXPECT_EQ(l.size(), 3u);
            break;
        } catch (const std::bad_alloc&) {
            allocationsLeft = -1;
        }
        ASSERT_LT(failing, 100);
    }
}

TEST(Uuid, UpperCaseVersion4TextAndDistinct) {
    const std::regex version4(
        "[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string id = makeUuidString();
        EXPECT_TRUE(std::regex_match(id, version4)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
    // The bits after the fixed version and variant bits are random too.
    for (const std::size_t at : {15u, 20u}) {
        EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [&](const std::string& id) {
            return std::string_view("02468ACE").find(id[at]) != std::string_view::npos;
        }));
    }
}
