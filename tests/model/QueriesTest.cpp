#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

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

TEST(Queries, ViewableTimeLookups) {
    auto p = Playgraph::create(abc());
    EXPECT_EQ(p->segmentIdsForPosition(10, 1), std::vector<std::string>{"B"});
    EXPECT_EQ(p->segmentIdsForPosition(7, 2), std::vector<std::string>{"C"});
    EXPECT_EQ(p->segmentIdsForPosition(3, 1), (std::vector<std::string>{"A", "D"}));
    EXPECT_EQ(positionText(p->positionAtViewableTime(7, 2)), "C@7");
    EXPECT_EQ(positionText(p->positionAtViewableTime(12, Value(1.0))), "B@12");
    EXPECT_EQ(positionText(p->positionAtViewableTime(kNaN, 1)), "A@0");
    // Overlapping segments: the immutable playgraph takes the first match.
    const auto overlap = positionText(p->positionAtViewableTime(3, 1));
    EXPECT_TRUE(overlap == "A@3" || overlap == "D@3") << overlap;
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
