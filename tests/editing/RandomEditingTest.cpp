#include <gtest/gtest.h>

#include "EditingTestSupport.hpp"

using namespace playgraph;
using namespace playgraph::test;

// Long random sequences of edits on random playgraphs (loops, references
// to missing segments, play-to-end segments), with segments changed through
// their setters in between. After every edit either it was refused and
// nothing changed (dictionary and objects), or the playgraph, which rebuilt
// only what the edit touched, answers everything exactly as one freshly
// built from its dictionary. No edit makes a reference to a missing segment.
TEST(RandomEditing, EveryEditIsRefusedCleanlyOrAnswersAsAFreshBuild) {
    std::mt19937 rng(2024);
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    int applied = 0;
    int refused = 0;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        auto p = MutablePlaygraph::create(randomPlaygraph(rng, 2 + pick(8)), 9);
        int fresh = 0;
        for (int step = 0; step < 40; ++step) {
            if (pick(3) == 0) randomSetterCall(rng, *p);
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
                continue;
            }
            ++applied;
            expectSameModel(*p, *MutablePlaygraph::create(p->dictionaryRepresentation(), 9));
            expectNoNewDanglingReferences(*before.dictionary(), p->dictionaryRepresentation());
            if (HasFailure()) return;
        }
    }
    // Both outcomes are exercised in quantity.
    EXPECT_GT(applied, 4000);
    EXPECT_GT(refused, 4000);
}
