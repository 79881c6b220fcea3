#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "EditingTestSupport.hpp"

using namespace playgraph;
using namespace playgraph::test;

// Long random sequences of edits on generated playgraphs. After every edit
// either it was refused and nothing changed, or the model equals a fresh
// playgraph built from the representation; in both cases every reference
// in the dictionary names an existing segment.
TEST(RandomEditing, EveryEditIsRefusedCleanlyOrLeavesAConsistentPlaygraph) {
    std::mt19937 rng(2024);
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    int applied = 0;
    int refused = 0;
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE(round);
        const Dictionary d = randomPlaygraph(rng, 2 + pick(8));
        auto p = MutablePlaygraph::create(d, 9);
        int fresh = 0;
        // Mostly existing ids, sometimes new or missing ones.
        const auto anyId = [&]() -> std::string {
            const auto ids = p->allSegmentIds().value_or(std::vector<std::string>{});
            if (ids.empty() || pick(6) == 0)
                return "n" + std::to_string(pick(3) == 0 ? 0 : fresh++);
            return ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))];
        };
        const auto anyTime = [&]() -> double {
            switch (pick(12)) {
            case 0:
                return std::numeric_limits<double>::quiet_NaN();
            case 1:
                return std::numeric_limits<double>::infinity();
            default:
                return pick(4000) / 100.0 - 5.0;
            }
        };
        const auto properties = [&]() -> Value {
            switch (pick(5)) {
            case 0:
                return Value();
            case 1:
                return Dictionary{{"weight", pick(100)}};
            case 2:
                return Dictionary{{"autoplayType", 1}, {"transitionType", "immediate"}};
            case 3:
                return Dictionary{};
            default:
                return "wrong";
            }
        };
        for (int step = 0; step < 60; ++step) {
            const std::string a = anyId(), b = anyId(), c = anyId();
            const double t1 = anyTime(), t2 = anyTime();
            const std::pair<const char*, std::function<void()>> edits[] = {
                {"insertAfter",
                 [&] { p->insertSegmentAfter(a, b, 1 + pick(2), t1, t2, pick(2) == 0, nullptr); }},
                {"insertBefore", [&] { p->insertSegmentBefore(a, b, 1, t1, t2, nullptr); }},
                {"split",
                 [&] {
                     const int shape = pick(3);
                     p->splitSegment(a, t1, shape == 0 ? a : b, shape == 1 ? a : c);
                 }},
                {"remove", [&] { p->removeSegment(a); }},
                {"remove", [&] { p->removeSegment(a); }},
                {"addTransition",
                 [&] { p->addTransitionFromSegment(a, b, pick(2) == 0, properties()); }},
                {"updateDefaultNext", [&] { p->updateDefaultNextFromSegment(a, b); }},
                {"updateTransition",
                 [&] { p->updatePropertiesForTransitionFrom(a, b, properties()); }},
                {"updateAllTo", [&] { p->updatePropertiesForAllTransitionsTo(a, properties()); }},
                {"updateAllFrom",
                 [&] { p->updatePropertiesForAllTransitionfrom(a, properties()); }},
                {"skip", [&] { p->supportSkippingSegment(a, b, t1, 3); }},
            };
            const auto& [what, edit] = edits[pick(11)];
            SCOPED_TRACE(std::string(what) + " " + a + " " + b + " " + c);
            const Value before = deepCopy(p->dictionaryRepresentation());
            const auto objects = segmentObjects(*p);
            bool threw = false;
            try {
                edit();
            } catch (const InvalidArgumentError&) {
                threw = true;
            }
            if (threw) {
                ++refused;
                ASSERT_EQ(Value(p->dictionaryRepresentation()), before);
                ASSERT_EQ(segmentObjects(*p), objects);
            } else {
                ++applied;
                auto rebuilt = MutablePlaygraph::create(p->dictionaryRepresentation(), 9);
                expectSameModel(*p, *rebuilt);
            }
            expectNoDanglingReferences(p->dictionaryRepresentation());
            if (HasFailure()) return;
        }
    }
    // Both outcomes are exercised in quantity.
    EXPECT_GT(applied, 500);
    EXPECT_GT(refused, 500);
}
