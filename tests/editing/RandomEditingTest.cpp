#include <gtest/gtest.h>

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
        for (int step = 0; step < 60; ++step) {
            const Value before = deepCopy(p->dictionaryRepresentation());
            const auto objects = segmentObjects(*p);
            bool threw = false;
            std::string what;
            try {
                randomEdit(rng, *p, fresh, &what);
            } catch (const InvalidArgumentError&) {
                threw = true;
            }
            SCOPED_TRACE(what);
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
