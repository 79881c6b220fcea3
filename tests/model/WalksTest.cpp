#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

using Visits = std::vector<std::pair<std::string, uint64_t>>;

// Records (id, index-or-depth) pairs; stops at `stopAt` when given.
TraversalCallback recorder(Visits& out, const std::string& stopAt = "") {
    return [&out, stopAt](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t i, bool& stop) {
        out.emplace_back(s ? s->segmentId() : "<none>", i);
        if (s && s->segmentId() == stopAt) stop = true;
    };
}

// A -> B (default), A -> C; B -> D, C -> D: a diamond.
std::shared_ptr<Playgraph> diamond() {
    return Playgraph::create(graph(
        "A", Dictionary{
                 {"A", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 1}, {"C", 1}})}})},
                 {"B", seg(0, 1000, {{"next", next({{"D", 1}})}})},
                 {"C", seg(0, 1000, {{"next", next({{"D", 1}})}})},
                 {"D", seg(0, 1000)}}));
}

} // namespace

TEST(Walks, BreadthFirstDepthsOverADiamond) {
    auto p = diamond();
    Visits zero;
    p->bredthFirstTraversalFromSegmentId(std::nullopt, 0, recorder(zero));
    EXPECT_EQ(zero, (Visits{{"A", 1}}));
    Visits three;
    p->bredthFirstTraversalFromSegmentId("A", 3, recorder(three));
    EXPECT_EQ(three, (Visits{{"A", 1}, {"B", 2}, {"C", 2}, {"D", 3}}));
    Visits stopped;
    p->bredthFirstTraversalFromSegmentId("A", 3, recorder(stopped, "B"));
    EXPECT_EQ(stopped, (Visits{{"A", 1}, {"B", 2}}));
}

TEST(Walks, BreadthFirstReportsMissingIdsWithoutExpandingThem) {
    auto p = Playgraph::create(
        graph("A", Dictionary{{"A", seg(0, 1000, {{"next", next({{"X", 1}, {"B", 1}})}})},
                              {"B", seg(0, 1000)}}));
    Visits v;
    p->bredthFirstTraversalFromSegmentId(std::nullopt, 5, recorder(v));
    // X names no segment: reported as none at its depth, and the walk goes on.
    std::sort(v.begin(), v.end());
    EXPECT_EQ(v, (Visits{{"<none>", 2}, {"A", 1}, {"B", 2}}));

    Visits unknownStart;
    p->bredthFirstTraversalFromSegmentId("nope", 3, recorder(unknownStart));
    EXPECT_EQ(unknownStart, (Visits{{"<none>", 1}}));
}

TEST(Walks, DepthFirstReportsEachSegmentOnceAndStopsEverywhere) {
    auto p = diamond();
    Visits v;
    p->depthFirstTraversalFromSegmentId(std::nullopt, recorder(v));
    std::sort(v.begin(), v.end());
    EXPECT_EQ(v, (Visits{{"A", 0}, {"B", 1}, {"C", 1}, {"D", 2}}));
    Visits stopped;
    p->depthFirstTraversalFromSegmentId("A", recorder(stopped, "B"));
    EXPECT_EQ(stopped.back().first, "B");
    // Nothing after the stop, at any depth.
    for (std::size_t i = 0; i + 1 < stopped.size(); ++i)
        EXPECT_NE(stopped[i].first, "B");
}

TEST(Walks, DepthFirstSkipsMissingChildrenAndEndsOnLoops) {
    auto p = Playgraph::create(graph(
        "A", Dictionary{
                 {"A", seg(0, 1000,
                           {{"defaultNext", "B"}, {"next", next({{"B", 1}, {"X", 1}, {"C", 1}})}})},
                 {"B", seg(0, 1000, {{"defaultNext", "A"}, {"next", next({{"A", 1}, {"B", 1}})}})},
                 {"C", seg(0, 1000, {{"next", next({{"A", 1}})}})}}));
    Visits v;
    p->depthFirstTraversalFromSegmentId(std::nullopt, recorder(v));
    ASSERT_EQ(v.size(), 3u); // A, B and C once each; X names nothing and is skipped
    Visits none;
    p->depthFirstTraversalFromSegmentId("nope", recorder(none));
    EXPECT_TRUE(none.empty());
}

TEST(Walks, NoStartAndNoInitialSegmentMeansNoCallback) {
    auto p = Playgraph::create(graph(Value(), Dictionary{{"A", seg(0, 1000)}}));
    Visits v;
    p->depthFirstTraversalFromSegmentId(std::nullopt, recorder(v));
    p->bredthFirstTraversalFromSegmentId(std::nullopt, 3, recorder(v));
    p->defaultPathTraversal(recorder(v));
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(Playgraph::lastSegmentIdInDefaultTraversalInPlaygraph(p), std::nullopt);
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

    const auto same = &Playgraph::playgraphHasSameDefaultTraversalAsPlaygraph;
    EXPECT_TRUE(same(chain({"A", "B", "C"}), chain({"A", "B", "C"})));
    EXPECT_FALSE(same(chain({"A", "B", "C"}), chain({"A", "B"})));
    EXPECT_FALSE(same(chain({"A", "X", "C"}), chain({"A", "B", "C"})));
    EXPECT_TRUE(same(missingStart, Playgraph::create(graph("other", Dictionary{}))));
    EXPECT_TRUE(same(nullptr, missingStart));
}

TEST(Walks, DefaultNextThatIsAlsoATransitionIsWalkedOnce) {
    auto p = Playgraph::create(graph(
        "A", Dictionary{{"A", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 1}})}})},
                        {"B", seg(0, 1000)}}));
    Visits dfs;
    p->depthFirstTraversalFromSegmentId(std::nullopt, recorder(dfs));
    EXPECT_EQ(dfs, (Visits{{"A", 0}, {"B", 1}}));
    Visits bfs;
    p->bredthFirstTraversalFromSegmentId(std::nullopt, 5, recorder(bfs));
    EXPECT_EQ(bfs, (Visits{{"A", 1}, {"B", 2}}));
}
