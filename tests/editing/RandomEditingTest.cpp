// Random edits, directly and through the edit history.

#include <gtest/gtest.h>

#include "EditingTestSupport.hpp"
#include "playgraph/editing/EditHistory.hpp"

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
        // Every other playgraph has a long default path, which edits splice.
        const bool chain = round % 2 == 1;
        auto p = MutablePlaygraph::create(
            randomPlaygraph(rng, chain ? 8 + pick(25) : 2 + pick(8), chain), 9);
        int fresh = 0;
        for (int step = 0; step < 40; ++step) {
            for (int calls = pick(3) == 0 ? 1 + pick(2) : 0; calls > 0; --calls)
                randomSetterCall(rng, *p);
            const Value before = Value(p->dictionaryRepresentation()).deepCopy();
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

// A walk whose callback edits the playgraph (or changes its segments through
// their setters) reads the index only while it still describes the segments:
// it reports what the plain walk, which reads the segments and the map at
// every step, reports under the same changes.
TEST(RandomEditing, AWalkThatEditsAsItGoesMatchesThePlainWalk) {
    std::mt19937 rng(77);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const Value dictionary(randomPlaygraph(rng, 3 + static_cast<int>(rng() % 24), round % 2));
        const auto seed = rng();
        std::vector<std::string> reports[2];
        for (int plain = 0; plain < 2; ++plain) {
            auto p = MutablePlaygraph::create(dictionary.deepCopy(), 9);
            std::mt19937 edits(seed);
            int fresh = 0;
            const TraversalCallback record = [&](const auto& s, uint64_t depth, bool&) {
                reports[plain].push_back(s->segmentId() + "@" + std::to_string(depth));
                for (auto n = edits() % 3; n > 0; --n) {
                    try {
                        if (edits() % 2)
                            randomSetterCall(edits, *p);
                        else
                            randomEdit(edits, *p, fresh);
                    } catch (const InvalidArgumentError&) {
                    }
                }
            };
            const auto& initial = p->initialSegmentId();
            std::unordered_set<std::string> visited;
            if (!plain) p->depthFirstTraversalFromSegmentId(std::nullopt, record);
            if (plain && initial)
                p->depthFirstTraversalFromSegment(p->segmentById(*initial), 0, record, visited);
        }
        ASSERT_EQ(reports[0], reports[1]);
    }
}

// Random transactions (some refused part-way), undos, redos and outside
// edits. The dictionary always equals the state the applied steps give, the
// model equals a fresh build of it, and the history offers exactly the
// undos and redos that the depth limit and outside edits leave.
TEST(EditHistory, RandomStepsUndoAndRedoRestoreTheAppliedStates) {
    std::mt19937 rng(77);
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    int undone = 0, rolledBack = 0;
    for (int round = 0; round < 25; ++round) {
        SCOPED_TRACE(round);
        auto p = MutablePlaygraph::create(randomPlaygraph(rng, 2 + pick(8)), 9);
        const std::size_t depth = 2 + static_cast<std::size_t>(pick(5));
        EditHistory history(p, depth);
        // states[floor..at] are undoable down to floor; states after `at` redoable.
        std::vector<Value> states{Value(p->dictionaryRepresentation()).deepCopy()};
        std::size_t at = 0, floor = 0;
        int fresh = 0;
        for (int step = 0; step < 40; ++step) {
            const int action = pick(10);
            if (action < 5) {
                const bool abort = pick(3) == 0;
                int completed = 0;
                try {
                    history.transaction([&](MutablePlaygraph& graph) {
                        for (int i = 1 + pick(3); i > 0; --i) {
                            try {
                                randomEdit(rng, graph, fresh);
                                ++completed;
                            } catch (const InvalidArgumentError&) {
                                if (abort) throw;
                            }
                        }
                    });
                } catch (const InvalidArgumentError&) {
                    ++rolledBack;
                    completed = 0;
                }
                if (completed > 0) {
                    states.resize(at + 1);
                    states.push_back(Value(p->dictionaryRepresentation()).deepCopy());
                    ++at;
                    if (at - floor > depth) ++floor;
                }
            } else if (action < 7) {
                ASSERT_EQ(history.canUndo(), at > floor);
                if (at > floor) {
                    history.undo();
                    --at;
                    ++undone;
                } else {
                    EXPECT_THROW(history.undo(), EditHistoryError);
                }
            } else if (action < 9) {
                ASSERT_EQ(history.canRedo(), at + 1 < states.size());
                if (at + 1 < states.size()) {
                    history.redo();
                    ++at;
                } else {
                    EXPECT_THROW(history.redo(), EditHistoryError);
                }
            } else {
                // An edit outside the history: its steps no longer apply.
                try {
                    randomEdit(rng, *p, fresh);
                } catch (const InvalidArgumentError&) {
                    continue;
                }
                EXPECT_TRUE(history.isStale());
                EXPECT_FALSE(history.canUndo());
                if (at > floor) {
                    EXPECT_THROW(history.undo(), EditHistoryError);
                }
                history.clear();
                states = {Value(p->dictionaryRepresentation()).deepCopy()};
                at = floor = 0;
            }
            ASSERT_EQ(Value(p->dictionaryRepresentation()), states[at]) << step;
            expectSameModel(*p, *MutablePlaygraph::create(p->dictionaryRepresentation(), 9));
            if (HasFailure()) return;
        }
    }
    EXPECT_GT(undone, 50);
    EXPECT_GT(rolledBack, 20);
}

TEST(EditHistory, LabelsNameTheEditsAndTheirArguments) {
    auto p = MutablePlaygraph::create(chainOf(4));
    EditHistory history(p);
    history.transaction([](MutablePlaygraph& g) { g.splitSegment("s0", 0.4, "s0", "s0b"); });
    EXPECT_EQ(history.undoLabel(), "split s0 at 0.400 s");
    history.transaction([](MutablePlaygraph& g) {
        g.removeSegment("s0b");
        g.addTransitionFromSegment("s0", "s2", true);
    });
    history.transaction([](MutablePlaygraph&) {}, "nothing");
    history.transaction([](MutablePlaygraph& g) { g.removeSegment("s3"); }, "cut the end");
    EXPECT_EQ(history.undoLabels(),
              (std::vector<std::string>{"split s0 at 0.400 s",
                                        "remove s0b; add transition s0 -> s2 as default",
                                        "cut the end"}));
    history.setDepthLimit(2); // drops the oldest step
    history.undo();
    history.undo();
    EXPECT_FALSE(history.canUndo());
    EXPECT_EQ(history.redoLabels(),
              (std::vector<std::string>{"remove s0b; add transition s0 -> s2 as default",
                                        "cut the end"}));
    history.begin();
    EXPECT_THROW(history.begin(), EditHistoryError);
    EXPECT_THROW(history.undo(), EditHistoryError);
    history.rollback();
    EXPECT_THROW(history.commit(), EditHistoryError);
    {
        EditHistory scoped(p);
        scoped.begin();
        p->removeSegment("s1");
    } // a history closed with its transaction open rolls it back
    EXPECT_TRUE(p->segmentById("s1"));
}
