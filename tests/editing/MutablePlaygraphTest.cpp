#include <gtest/gtest.h>

#include "EditingTestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

// abcPath() with A also branching to D, and A the only segment with a "main".
Dictionary abc() {
    Dictionary d = abcPath();
    segOf(d, "A").set("main", 5);
    segOf(d, "A").set("next", next({{"B", 30}, {"D", 70}}));
    segOf(d, "B").set("next", next({{"C", 50}}));
    return d;
}

} // namespace

TEST(MutablePlaygraph, KeepsTheTopLevelAsItsOwnCopyAndSharesNestedDictionaries) {
    Dictionary caller = abc();
    auto p = MutablePlaygraph::create(caller);

    // A nested edit shows through the caller's dictionaries; a top-level one
    // only through the representation taken after it.
    p->insertSegmentBefore("A", "N", 1, 0.0, 1.0, nullptr);
    EXPECT_TRUE(caller.get("segments").dictionary()->contains("N"));
    EXPECT_EQ(caller.get("initialSegment"), Value("A"));
    EXPECT_EQ(p->dictionaryRepresentation().get("initialSegment"), Value("N"));

    // A representation's top level is a copy; its nested values are live.
    Dictionary representation = p->dictionaryRepresentation();
    representation.set("initialSegment", "B");
    EXPECT_EQ(p->dictionaryRepresentation().get("initialSegment"), Value("N"));
    EXPECT_TRUE(representation.get("segments")
                    .dictionary()
                    ->sameAs(*p->dictionaryRepresentation().get("segments").dictionary()));
}

// The main viewable id keeps its first value, and only the provider the
// playgraph was built with is asked about it.
TEST(MutablePlaygraph, MainViewableIdKeepsItsFirstValueAndProvider) {
    auto p = MutablePlaygraph::create(abc());
    p->removeSegment("A");
    EXPECT_EQ(p->mainViewableId(), Value(5));
    EXPECT_TRUE(MutablePlaygraph::create(p->dictionaryRepresentation())->mainViewableId().isNone());

    auto first = std::make_shared<CountingProvider>(false);
    {
        ScopedProvider scoped(first);
        p = MutablePlaygraph::create(abc());
    }
    EXPECT_GT(first->asked, 0);
    auto later = std::make_shared<CountingProvider>(true);
    ScopedProvider scoped(later);
    p->load();
    EXPECT_EQ(later->asked, 0);
    EXPECT_TRUE(p->mainViewableId().isNone());
}

TEST(MutablePlaygraph, CreatesAOneSegmentPlaygraph) {
    auto p = MutablePlaygraph::createPlaygraphWithViewableId(42, "clip", 0.0005, 10.0);
    EXPECT_EQ(Value(p->dictionaryRepresentation()),
              Value(graph("clip", Dictionary{{"clip", seg(0, 10000, {{"viewableId", 42}})}})));

    // Times are truncated toward zero; an end before the start is accepted.
    auto reversed = MutablePlaygraph::createPlaygraphWithViewableId(42, "v", 2.0, -0.0015);
    EXPECT_EQ(segOf(reversed->dictionaryRepresentation(), "v").get("endTimeMs"), Value(-1));
    // Huge times saturate instead of overflowing.
    auto huge = MutablePlaygraph::createPlaygraphWithViewableId(42, "v", -1e300, 1e300);
    EXPECT_EQ(Value(segOf(huge->dictionaryRepresentation(), "v")),
              Value(seg(std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                        {{"viewableId", 42}})));

    const auto p1 = MutablePlaygraph::create(abc());
    struct Case {
        Value viewable;
        double start, end;
        std::string reason;
    };
    for (const Case& c : {Case{1, NaN, 1.0, "startTime (nan) must be a finite number"},
                          Case{1, 0.0, Inf, "endTime (inf) must be a finite number"},
                          Case{true, 0.0, 1.0, "viewableId (true) must be a finite number"}})
        expectRefused(*p1, c.reason, [&] {
            MutablePlaygraph::createPlaygraphWithViewableId(c.viewable, "v", c.start, c.end);
        });
}

TEST(MutablePlaygraph, AddsParamsToACopyOfTheUserInfo) {
    auto params = std::make_shared<Params>();
    Dictionary userInfo{{"owner", "me"}};
    Dictionary segment{{"userInfo", userInfo}};
    EXPECT_TRUE(MutablePlaygraph::addPlaygraphParams(params, segment));
    EXPECT_EQ(userInfo.size(), 1u); // the caller's user info is not changed
    EXPECT_EQ(segment.get("userInfo"),
              Value(Dictionary{{"owner", "me"},
                               {"PlaygraphSegmentUserInfoPlaygraphParamsKey", Value(params)}}));
}

TEST(MutablePlaygraph, FindsPredecessorsByTransitionOnly) {
    Dictionary d = abc();
    segOf(d, "D").set("defaultNext", "B"); // names B without a transition
    segOf(d, "B").set("next", next({{"B", 1}, {"C", 2}}));
    auto p = MutablePlaygraph::create(d);
    const auto predecessors = p->findSegmentsWithNextContainsSegment("B");
    ASSERT_EQ(predecessors.size(), 2u);
    EXPECT_TRUE(predecessors[0].sameAs(segOf(d, "A")));
    EXPECT_TRUE(predecessors[1].sameAs(segOf(d, "B")));
}

// The editable and the immutable playgraph answer alike (every query of the
// model, at its boundaries) except where the editable one lets play-to-end
// segments match every later viewable time and wants a unique match in
// positionAtViewableTime, checked here over a grid of times.
TEST(MutablePlaygraph, AnswersLikeThePlaygraphExceptForTheDocumentedDifferences) {
    std::mt19937 rng(7);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const Dictionary d = randomPlaygraph(rng, 2 + round % 7);
        auto fixed = Playgraph::create(d, 9);
        auto editable = MutablePlaygraph::create(d, 9);
        // Give some play-to-end segments a known movie duration.
        for (const auto& id : editable->segmentMap().keys()) {
            if (id.back() % 2 == 0) {
                fixed->segmentById(id)->setMovieDuration(12.0);
                editable->segmentById(id)->setMovieDuration(12.0);
            }
        }
        expectSameModel(*fixed, *editable, false);
        const auto idOf = [](const PlaygraphPosition& pos) {
            return pos.segment ? pos.segment->segmentId() : std::string("-");
        };
        const auto samePosition = [&](const PlaygraphPosition& a, const PlaygraphPosition& b) {
            return idOf(a) == idOf(b) &&
                   (a.watchableTime == b.watchableTime ||
                    (std::isnan(a.watchableTime) && std::isnan(b.watchableTime)));
        };
        for (double t = -1.0; t <= 30.0; t += 0.25) {
            for (uint64_t viewable : {1u, 2u}) {
                const auto a =
                    fixed->segmentIdsForPosition(t, viewable).value_or(std::vector<std::string>{});
                const auto b = editable->segmentIdsForPosition(t, viewable)
                                   .value_or(std::vector<std::string>{});
                // Every immutable match is an editable match; extra editable
                // matches are play-to-end segments starting at or before t.
                for (const auto& id : a)
                    EXPECT_NE(std::find(b.begin(), b.end(), id), b.end());
                for (const auto& id : b) {
                    if (std::find(a.begin(), a.end(), id) != a.end()) continue;
                    const auto s = editable->segmentById(id);
                    EXPECT_TRUE(s->playToViewableEnd() && s->startTime() <= t) << id << " at " << t;
                }
                const auto pos = editable->positionAtViewableTime(t, viewable);
                if (b.size() == 1) {
                    EXPECT_EQ(idOf(pos), b.front());
                } else {
                    EXPECT_TRUE(samePosition(pos, editable->initialPosition()));
                }
                if (a.size() == 1 && b.size() == 1) {
                    EXPECT_TRUE(samePosition(fixed->positionAtViewableTime(t, viewable), pos));
                }
            }
            for (const auto& [id, s] : editable->segmentMap()) {
                const auto a = fixed->positionAtSegmentViewableTime(id, t);
                const auto b = editable->positionAtSegmentViewableTime(id, t);
                if (!samePosition(a, b)) {
                    // Only a play-to-end segment past its known movie duration.
                    EXPECT_TRUE(s->playToViewableEnd() && t >= s->endTime()) << id << " at " << t;
                    EXPECT_EQ(idOf(b), id);
                }
            }
        }
    }
}
