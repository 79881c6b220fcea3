// The default-path queries answer from the path as it is at the moment of
// the call, whatever changed it, and give exactly the figures of a walk
// that adds segment durations from the initial segment.

#include <gtest/gtest.h>

#include <unordered_set>

#include "../editing/EditingTestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

// Reference answers, written from the algorithms with the public API only.

std::optional<std::string> referenceSegmentIdAt(const Playgraph& p, double t) {
    double acc = 0.0;
    std::shared_ptr<QZPlaygraphSegment> last, answer;
    p.defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool& stop) {
        last = s;
        const double d = s->segmentDuration();
        if (acc + d > t || std::isnan(d)) {
            answer = s;
            stop = true;
            return;
        }
        acc += d;
    });
    if (!answer && last && t == acc) answer = last;
    return answer ? std::optional<std::string>(answer->segmentId()) : std::nullopt;
}

// The link walk; `turns` bounds it on a path that loops back.
double referencePlayerTime(const Playgraph& p, double o, uint64_t turns = 1000) {
    auto c = p.initialSegmentId() ? p.segmentById(*p.initialSegmentId()) : nullptr;
    if (!c) return o < 0.0 ? o : (o == 0.0 ? 0.0 : NaN);
    double acc = 0.0;
    for (uint64_t step = 0; step < turns; ++step) {
        const double d = c->segmentDuration();
        if (acc + d > o || std::isnan(d)) return o - acc + c->startTime();
        acc += d;
        auto next = c->defaultNext() ? p.segmentById(*c->defaultNext()) : nullptr;
        if (!next) return acc == o ? c->endTime() : NaN;
        c = next;
    }
    return NaN;
}

double referenceOffsetFor(const Playgraph& p, double t,
                          const std::shared_ptr<QZPlaygraphSegment>& target) {
    auto c = p.initialSegmentId() ? p.segmentById(*p.initialSegmentId()) : nullptr;
    std::unordered_set<const QZPlaygraphSegment*> seen;
    double acc = 0.0;
    while (c && seen.insert(c.get()).second) {
        const double d = c->segmentDuration();
        if (c == target || std::isnan(d)) return acc + (t - c->startTime());
        acc += d;
        c = c->defaultNext() ? p.segmentById(*c->defaultNext()) : nullptr;
    }
    return NaN;
}

// Bit-for-bit equality; every not-a-number counts as the same.
bool same(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Compares the three queries with the reference at many times, including
// every segment boundary, the ends and not-a-number.
void expectAnswersLikeAWalk(const Playgraph& p, int turns = 1000) {
    std::vector<double> times{-5.0, 0.0, NaN, Inf, p.duration(), p.duration() + 0.5};
    double acc = 0.0;
    p.defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
        times.push_back(acc);
        times.push_back(acc + 0.25);
        acc += s->segmentDuration();
        times.push_back(acc);
    });
    for (double t : times) {
        EXPECT_EQ(p.segmentIdAtPlaygraphTime(t), referenceSegmentIdAt(p, t)) << "at " << t;
        EXPECT_TRUE(same(p.playerTimeForPlaygraphOffset(t), referencePlayerTime(p, t, turns)))
            << "at " << t << ": " << p.playerTimeForPlaygraphOffset(t) << " vs "
            << referencePlayerTime(p, t, turns);
    }
    for (const auto& [id, segment] : p.segmentMap()) {
        for (double t : {segment->startTime(), segment->startTime() + 1.5, -1.0}) {
            EXPECT_TRUE(
                same(p.playgraphOffsetForPlayerTime(t, segment), referenceOffsetFor(p, t, segment)))
                << id << " at " << t;
        }
    }
}

std::shared_ptr<PlaygraphSegment> segment(const Playgraph& p, const std::string& id) {
    return std::dynamic_pointer_cast<PlaygraphSegment>(p.segmentById(id));
}

} // namespace

// Random playgraphs: loops, missing ends, play-to-end and decorative
// segments; then with a segment of another playgraph in the map, so that the
// queries walk link by link.
TEST(DefaultPathQueries, RandomPlaygraphsAnswerLikeAWalk) {
    std::mt19937 rng(5);
    auto other = Playgraph::create(graph("X", Dictionary{{"X", seg(0, 1000)}}));
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        auto p = Playgraph::create(randomPlaygraph(rng, 2 + round % 30), 9);
        expectAnswersLikeAWalk(*p);
        SegmentMap map = p->segmentMap();
        map.set("X", segment(*other, "X"));
        p->setSegmentMap(map);
        expectAnswersLikeAWalk(*p);
        if (HasFailure()) return;
    }
}

// After each change the queries answer from the path as it now is.
TEST(DefaultPathQueries, UnknownAndNegativeDurationsAndLoops) {
    // B plays to the end of its viewable, unknown at first. Listed against
    // the path's order, so that the index numbers them afresh.
    auto p =
        Playgraph::create(graph("A", Dictionary{{"C", seg(0, 20000)},
                                                {"B", seg(5000, Value(), {{"defaultNext", "C"}})},
                                                {"A", seg(0, 10000, {{"defaultNext", "B"}})}}));
    expectAnswersLikeAWalk(*p);
    segment(*p, "B")->setMovieDuration(3.0); // shorter than B's start: a negative duration
    ASSERT_EQ(p->segmentIdAtPlaygraphTime(12.0), "C"); // past A (10 s), B (-2 s): C
    expectAnswersLikeAWalk(*p);
    segment(*p, "B")->setMovieDuration(30.0);
    segment(*p, "C")->setDefaultNext("A"); // the link walk goes round the loop
    EXPECT_EQ(p->playerTimeForPlaygraphOffset(55.0 + 13.0), 8.0); // B, 3 s in
    expectAnswersLikeAWalk(*p, 50);
    p->calculateDefaultPathDuration();
    expectAnswersLikeAWalk(*p, 50);
    p->setInitialSegmentId("B");
    segment(*p, "B")->updateLiveDuration(40.0); // a live duration shows at once
    EXPECT_EQ(p->playerTimeForPlaygraphOffset(34.0), 39.0);
    expectAnswersLikeAWalk(*p, 50);
    p->setInitialSegmentId(std::nullopt);
    expectAnswersLikeAWalk(*p, 50);
}

// Round a loop, the answer is the link walk's to the last bit as far as
// the walk is exact, from the kept path and from a fresh walk alike.
TEST(DefaultPathQueries, LoopsAnswerLikeTheLinkWalkToTheLastBit) {
    auto p = Playgraph::create(graph("A", Dictionary{{"A", seg(0, 1100, {{"defaultNext", "B"}})},
                                                     {"B", seg(0, 2300, {{"defaultNext", "A"}})}}));
    for (const char* path : {"kept", "walked"}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(same(p->playerTimeForPlaygraphOffset(100.0), 0.30000000000009663));
        for (double o : {3.4, 1234.5678, 999'999.9}) {
            EXPECT_TRUE(same(p->playerTimeForPlaygraphOffset(o),
                             referencePlayerTime(*p, o, PlaygraphBase::kExactLinkWalk)))
                << o;
        }
        // Further out whole turns are skipped.
        EXPECT_NEAR(p->playerTimeForPlaygraphOffset(3.4e7 + 0.5), 0.5, 1e-3);
        segment(*p, "B")->setDefaultNext("A"); // the kept path goes out of date
    }
}

TEST(DefaultPathQueries, SegmentsOfAnotherPlaygraphOnThePath) {
    // B is taken from another playgraph: it tells that one of its changes.
    auto p = Playgraph::create(abcPath());
    auto other = Playgraph::create(abcPath());
    SegmentMap map = p->segmentMap();
    map.set("B", segment(*other, "B"));
    p->setSegmentMap(map);
    p->calculateDefaultPathDuration();
    EXPECT_EQ(p->segmentIdAtPlaygraphTime(27.0), "C");
    segment(*other, "B")->setDefaultNext("D");
    EXPECT_EQ(p->segmentIdAtPlaygraphTime(27.0), "D");
    expectAnswersLikeAWalk(*p);
    // Segments match by identity: the other playgraph's A is not this one's.
    EXPECT_TRUE(std::isnan(p->playgraphOffsetForPlayerTime(2.0, segment(*other, "A"))));

    // A play-to-end segment of the other playgraph learns its length.
    auto q = Playgraph::create(graph("X", Dictionary{{"X", seg(0, Value())}}));
    map = p->segmentMap();
    map.set("D", segment(*q, "X"));
    p->setSegmentMap(map);
    EXPECT_EQ(p->segmentIdAtPlaygraphTime(500.0), "X");
    segment(*q, "X")->setMovieDuration(4.0);
    EXPECT_EQ(p->segmentIdAtPlaygraphTime(28.0), "X");
    expectAnswersLikeAWalk(*p);

    // A long loop, walked link by link.
    Dictionary d = chainOf(20, true);
    segOf(d, "s19").set("defaultNext", "s0");
    auto loop = Playgraph::create(d);
    map = loop->segmentMap();
    map.set("X", segment(*q, "X"));
    loop->setSegmentMap(map);
    expectAnswersLikeAWalk(*loop);
}
