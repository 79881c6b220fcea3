#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_set>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

std::string idAt(const std::shared_ptr<Playgraph>& p, double t) {
    return p->segmentIdAtPlaygraphTime(t).value_or("none");
}

std::string positionText(const PlaygraphPosition& pos) {
    return (pos.segment ? pos.segment->segmentId() : std::string("none")) + "@" +
           formatGeneral(pos.watchableTime);
}

} // namespace

TEST(Queries, PositionsAlongThePathAndWithinSegments) {
    auto p = Playgraph::create(abcPath());
    EXPECT_EQ(positionText(p->initialPosition()), "A@0");
    p->setInitialSegmentId("B");
    EXPECT_EQ(positionText(p->initialPosition()), "B@10");
    EXPECT_EQ(positionText(p->positionAtSegmentSegmentOffset("nope", 1)), "B@10");
    p->setInitialSegmentId("A");
    EXPECT_EQ(positionText(p->positionAtPlaygraphOffsetAlongDefaultPlaybackPath(30)), "C@10");
    EXPECT_EQ(positionText(p->positionAtPlaygraphOffsetAlongDefaultPlaybackPath(31)), "A@0");
    EXPECT_EQ(positionText(p->positionAtStartOfSegment("C")), "C@5");
    EXPECT_EQ(positionText(p->positionAtStartOfSegment("nope")), "none@0");

    EXPECT_EQ(positionText(p->positionAtSegmentSegmentOffset("B", 0)), "B@10");
    EXPECT_EQ(positionText(p->positionAtSegmentSegmentOffset("B", 15)), "A@0");
    EXPECT_EQ(positionText(p->positionAtSegmentSegmentOffset("nope", 1)), "A@0");

    EXPECT_EQ(positionText(p->positionAtSegmentViewableTime("B", 12)), "B@12");
    EXPECT_EQ(positionText(p->positionAtSegmentViewableTime("B", 9.99)), "A@0");
}

TEST(Queries, PlayToEndSegmentWithUnknownMovieDuration) {
    auto p = Playgraph::create(abcPath(Value()));
    EXPECT_EQ(idAt(p, 1e9), "B");
    EXPECT_EQ(p->playerTimeForPlaygraphOffset(40), 40);
    EXPECT_EQ(positionText(p->positionAtSegmentViewableTime("B", 100)), "B@100");
    EXPECT_EQ(positionText(p->positionAtSegmentSegmentOffset("B", 5)), "A@0");
    EXPECT_FALSE(p->segmentIdsForPosition(12, 1));
    // A not-a-number duration answers for the segment even when it is not the one asked about.
    EXPECT_EQ(p->playgraphOffsetForPlayerTime(12, p->segmentById("C")), 12);
    // Once the movie duration is known the path is measured again.
    p->segmentById("B")->setMovieDuration(25);
    EXPECT_EQ(idAt(p, 25), "C");
    EXPECT_EQ(p->segmentIdsForPosition(12, 1), std::vector<std::string>{"B"});
}

TEST(Queries, ALoopThatAddsNoTimeNeverReachesALaterOffset) {
    auto zero =
        Playgraph::create(graph("A", Dictionary{{"A", seg(0, 10000, {{"defaultNext", "B"}})},
                                                {"B", seg(0, 0, {{"defaultNext", "C"}})},
                                                {"C", seg(0, 0, {{"defaultNext", "B"}})}}));
    zero->segmentById("B")->setMovieDuration(0);
    zero->segmentById("C")->setMovieDuration(0);
    EXPECT_TRUE(std::isnan(zero->playerTimeForPlaygraphOffset(50)));
    EXPECT_EQ(zero->playerTimeForPlaygraphOffset(3), 3);
}

// The composite data source shares this walk.
TEST(Walks, DepthFirstOverALongChainDoesNotExhaustTheStack) {
    uint64_t deepest = 0;
    Playgraph::create(chainOf(100000))
        ->depthFirstTraversalFromSegmentId(
            std::nullopt, [&](const auto&, uint64_t depth, bool&) { deepest = depth; });
    EXPECT_EQ(deepest, 99999u);
}

TEST(Walks, LastSegmentAndPathComparison) {
    const auto chain = [](std::vector<std::string> ids, bool loop = false) {
        Dictionary segments;
        for (std::size_t i = 0; i < ids.size(); ++i) {
            Dictionary s = seg(static_cast<int>(i) * 1000, static_cast<int>(i) * 1000 + 500);
            if (i + 1 < ids.size()) s.set("defaultNext", ids[i + 1]);
            if (loop && i + 1 == ids.size()) s.set("defaultNext", ids[0]);
            segments.set(ids[i], s);
        }
        return Playgraph::create(graph(ids.empty() ? Value() : Value(ids[0]), segments));
    };
    EXPECT_EQ(Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(chain({"A", "B", "C"})), "C");
    EXPECT_EQ(Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(chain({"A", "B", "C"}, true)),
              "C");
    auto missingStart = Playgraph::create(graph("ghost", Dictionary{}));
    EXPECT_EQ(Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(missingStart), "ghost");
    // Without an initial segment no walk calls back.
    auto noStart = Playgraph::create(graph(Value(), Dictionary{{"A", seg(0, 1000)}}));
    int calls = 0;
    const auto count = [&](const auto&, uint64_t, bool&) { ++calls; };
    noStart->depthFirstTraversalFromSegmentId(std::nullopt, count);
    noStart->bredthFirstTraversalFromSegmentId(std::nullopt, 3, count);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(noStart), std::nullopt);
    // The step of the depth-first walk goes to the default next first.
    auto fork = Playgraph::create(graph(
        "A",
        Dictionary{{"A", seg(0, 1, {{"defaultNext", "C"}, {"next", next({{"B", 1}, {"C", 1}})}})},
                   {"B", seg(0, 1)},
                   {"C", seg(0, 1)}}));
    std::unordered_set<std::string> visited;
    std::vector<std::string> ids;
    fork->depthFirstTraversalFromSegment(
        fork->segmentById("A"), 0,
        [&](const auto& s, uint64_t, bool&) { ids.push_back(s->segmentId()); }, visited);
    EXPECT_EQ(ids, (std::vector<std::string>{"A", "C", "B"}));

    const auto same = &Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph;
    EXPECT_TRUE(same(chain({"A", "B", "C"}), chain({"A", "B", "C"})));
    EXPECT_FALSE(same(chain({"A", "B", "C"}), chain({"A", "B"})));
    EXPECT_FALSE(same(chain({"A", "X", "C"}), chain({"A", "B", "C"})));
    EXPECT_TRUE(same(missingStart, Playgraph::create(graph("other", Dictionary{}))));
    EXPECT_TRUE(same(nullptr, missingStart));
}
