#include <gtest/gtest.h>

#include <algorithm>
#include <unordered_set>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

// Default path A (viewable 1, 0-10 s), B (viewable 1, 10-25 s), C (viewable 2, 5-10 s),
// and D (viewable 1, 0-5 s) off the path.
Dictionary abc(Value bEnd = 25000) {
    return graph("A", Dictionary{{"A", seg(0, 10000, {{"viewableId", 1}, {"defaultNext", "B"}})},
                                 {"B", seg(10000, bEnd, {{"viewableId", 1}, {"defaultNext", "C"}})},
                                 {"C", seg(5000, 10000, {{"viewableId", 2}})},
                                 {"D", seg(0, 5000, {{"viewableId", 1}})}});
}

std::string idAt(const std::shared_ptr<Playgraph>& p, double t) {
    return p->segmentIdAtPlaygraphTime(t).value_or("none");
}

std::string positionText(const PlaygraphPosition& pos) {
    return (pos.segment ? pos.segment->segmentId() : std::string("none")) + "@" +
           formatGeneral(pos.watchableTime);
}

using Visits = std::vector<std::pair<std::string, uint64_t>>;

// Records (id, index-or-depth) pairs; stops at `stopAt` when given.
TraversalCallback recorder(Visits& out, const std::string& stopAt = "") {
    return [&out, stopAt](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t i, bool& stop) {
        out.emplace_back(s ? s->segmentId() : "<none>", i);
        if (s && s->segmentId() == stopAt) stop = true;
    };
}

} // namespace

// The default-path answers at boundaries, ends and non-finite times are
// compared with a reference walk in DefaultPathQueriesTest; these are the
// cases it does not reach.
TEST(Queries, PlaygraphTimesOutsideTheWalk) {
    auto p = Playgraph::create(abc());
    EXPECT_EQ(idAt(p, 30), "C"); // the total belongs to the last segment
    EXPECT_EQ(idAt(p, -3), "A");
    EXPECT_EQ(p->playgraphOffsetForPlayerTime(50, p->segmentById("B")), 50); // no range check
    EXPECT_TRUE(std::isnan(p->playgraphOffsetForPlayerTime(4, p->segmentById("D"))));
    // Identity, not id: the same id in another playgraph object never matches.
    auto other = Playgraph::create(abc());
    EXPECT_TRUE(std::isnan(p->playgraphOffsetForPlayerTime(12, other->segmentById("B"))));
}

TEST(Queries, PositionsAlongThePathAndWithinSegments) {
    auto p = Playgraph::create(abc());
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
    auto p = Playgraph::create(abc(Value()));
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
    Visits v;
    noStart->depthFirstTraversalFromSegmentId(std::nullopt, recorder(v));
    noStart->bredthFirstTraversalFromSegmentId(std::nullopt, 3, recorder(v));
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(noStart), std::nullopt);
    // The step of the depth-first walk goes to the default next first.
    auto fork = Playgraph::create(graph(
        "A",
        Dictionary{{"A", seg(0, 1, {{"defaultNext", "C"}, {"next", next({{"B", 1}, {"C", 1}})}})},
                   {"B", seg(0, 1)},
                   {"C", seg(0, 1)}}));
    std::unordered_set<std::string> visited;
    fork->depthFirstTraversalFromSegment(fork->segmentById("A"), 0, recorder(v), visited);
    EXPECT_EQ(v, (Visits{{"A", 0}, {"C", 1}, {"B", 1}}));

    const auto same = &Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph;
    EXPECT_TRUE(same(chain({"A", "B", "C"}), chain({"A", "B", "C"})));
    EXPECT_FALSE(same(chain({"A", "B", "C"}), chain({"A", "B"})));
    EXPECT_FALSE(same(chain({"A", "X", "C"}), chain({"A", "B", "C"})));
    EXPECT_TRUE(same(missingStart, Playgraph::create(graph("other", Dictionary{}))));
    EXPECT_TRUE(same(nullptr, missingStart));
}
