#include <gtest/gtest.h>

#include "../TestSupport.hpp"
#include "RecordingObserver.hpp"
#include "playgraph/datasource/PlaygraphPlayerCompositeDataSource.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

using Kind = RecordingObserver::Kind;
using Visit = std::pair<std::string, uint64_t>;
using SegmentPtr = std::shared_ptr<QZPlaygraphSegment>;

// A two-segment playgraph: first -> second by default and by transition.
std::shared_ptr<Playgraph> pair(const std::string& id, const std::string& first,
                                const std::string& second, Value transitionType = Value()) {
    Dictionary d = graph(
        first,
        Dictionary{{first, seg(0, 1000, {{"defaultNext", second}, {"next", next({{second, 1}})}})},
                   {second, seg(1000, 2000)}},
        {{"playgraphId", id}});
    if (!transitionType.isNone()) d.set("transitionType", transitionType);
    return Playgraph::create(d);
}

// The playgraph id and segment id of each reported segment, with the depth.
std::vector<Visit> walk(const std::function<void(const TraversalCallback&)>& run) {
    std::vector<Visit> visits;
    run([&](const SegmentPtr& s, uint64_t depth, bool&) {
        visits.emplace_back(s ? s->canonicalSegmentId() : "-", depth);
    });
    return visits;
}

struct Composite : ::testing::Test {
    std::shared_ptr<Playgraph> P = pair("P", "A", "B", "pauseAtEnd");
    std::shared_ptr<Playgraph> Q = pair("Q", "X", "Y", "immediate");
    SegmentPtr A = P->segmentById("A"), B = P->segmentById("B");
    SegmentPtr X = Q->segmentById("X"), Y = Q->segmentById("Y");
    Dictionary pInfo{{"track", "P"}};
    std::shared_ptr<PlaygraphPlayerCompositeDataSource> ds =
        PlaygraphPlayerCompositeDataSource::create(P, pInfo);
    std::shared_ptr<RecordingObserver> observer = std::make_shared<RecordingObserver>();
    void SetUp() override { ds->setChangeObserver(observer); }
};

} // namespace

TEST_F(Composite, RegistrationBookmarkAndTrackingInfo) {
    EXPECT_TRUE(ds->trackingInfoForPlaygraph(P)->sameAs(pInfo)); // stored itself, not a copy
    EXPECT_EQ(ds->segmentById("X"), nullptr);                    // Q is not registered yet

    ds->addPlaygraph(Q, Dictionary{{"track", "Q"}});
    auto P2 = pair("P", "A", "B");
    ds->addPlaygraph(P2, std::nullopt); // replaces P, the initial playgraph stays
    EXPECT_EQ(ds->initialPlaygraph(), P);
    EXPECT_FALSE(ds->trackingInfoForPlaygraph(P));
    EXPECT_EQ(ds->trackingInfoForSegment(X)->get("track"), Value("Q"));
    ds->updateTrackingInfo(std::nullopt, X);
    EXPECT_FALSE(ds->trackingInfoForSegment(X));
    EXPECT_TRUE(observer->calls.empty());

    auto empty = PlaygraphPlayerCompositeDataSource::create();
    empty->addPlaygraph(P, std::nullopt);

    // The bookmark never hands out a segment that is gone.
    auto temporary = pair("T", "T1", "T2");
    empty->setBookmarkPosition({temporary->segmentById("T2"), 1.5});
    EXPECT_EQ(empty->initialPosition().watchableTime, 1.5);
    temporary.reset();
    EXPECT_EQ(empty->initialPosition().segment, nullptr);
}

TEST_F(Composite, InterPlaygraphTransitionsAndNextSegments) {
    ds->addTransitionFromSegment(B, X, false, Dictionary{{"weight", 2}});
    EXPECT_EQ(ds->nextSegmentAfterSegment(B), nullptr);
    EXPECT_EQ(ds->nextPlaygraphAfterPlaygraph(P), nullptr); // the path ends inside P
    EXPECT_TRUE(observer->calls.empty());

    ds->addTransitionFromSegment(B, X, true, Dictionary{{"weight", 5}});
    EXPECT_EQ(ds->nextSegmentAfterSegment(B), X);
    EXPECT_EQ(ds->nextPlaygraphAfterPlaygraph(P), Q);
    ASSERT_EQ(observer->calls.size(), 1u);
    // The second transition to an "X" replaced the first.
    auto inter = ds->interPlaygraphTransitionsForSegment(B);
    ASSERT_EQ(inter.size(), 1u);
    EXPECT_EQ(inter[0]->weight(), Value(5));

    // Own transitions come first in the merged list and in matching.
    ds->addTransitionFromSegment(A, X, false, Dictionary{});
    auto fromA = ds->transitionsFromSourceSegment(A);
    EXPECT_EQ(fromA[0], *A->next().find("B"));
    EXPECT_EQ(fromA[1]->destinationSegment(), X);
    EXPECT_EQ(ds->transitionFromSourceSegment(A, X), fromA[1]);
    ds->updateNextSegmentWeightsForSegment(A, Dictionary{{"X", 9}});
    EXPECT_EQ(fromA[0]->weight(), Value(0));
    EXPECT_EQ(fromA[1]->weight(), Value(9));

    // A third playgraph's "X" replaces the transition to Q's.
    auto R = pair("R", "X", "Z");
    ds->addTransitionFromSegment(B, R->segmentById("X"), false, Dictionary{});
    inter = ds->interPlaygraphTransitionsForSegment(B);
    ASSERT_EQ(inter.size(), 1u);
    EXPECT_EQ(inter[0]->destinationPlaygraph(), R);
    EXPECT_EQ(observer->calls.size(), 1u);
    ds->addTransitionFromSegment(nullptr, X, true, Dictionary{});
    ds->addTransitionFromSegment(B, nullptr, true, Dictionary{});
    EXPECT_EQ(observer->calls.size(), 1u);
}

TEST_F(Composite, OverridesCompareTheEffectiveNextSegment) {
    ds->setNextSegmentAfter(A, B); // B is already A's default next
    EXPECT_FALSE(ds->storedNextSegmentOverride(A));
    ds->setNextSegmentAfter(A, nullptr);
    ds->setNextSegmentAfter(A, nullptr);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), nullptr);
    ds->setNextSegmentAfter(B, nullptr); // nothing follows B already
    ds->clearNextSegmentAfter(A);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), B);
    ASSERT_EQ(observer->calls.size(), 2u);
    for (const auto& call : observer->calls) {
        EXPECT_EQ(call.kind, Kind::NextSegment);
        EXPECT_EQ(call.dataSource, ds);
        EXPECT_EQ(call.segment, A);
    }
}

TEST_F(Composite, NextPlaygraphEndsOnALoop) {
    ds->setNextSegmentAfter(B, A);
    EXPECT_EQ(ds->nextPlaygraphAfterPlaygraph(P), nullptr);
    ds->setNextSegmentAfter(B, Y);
    EXPECT_EQ(ds->nextPlaygraphAfterPlaygraph(P), Q);
}

TEST_F(Composite, WalksCrossPlaygraphs) {
    ds->addTransitionFromSegment(A, X, false, Dictionary{});
    const auto bfs = [&](const SegmentPtr& from, uint64_t maxDepth) {
        return walk([&](const TraversalCallback& cb) {
            ds->bredthFirstTraversalFromSegment(from, maxDepth, cb);
        });
    };
    EXPECT_EQ(bfs(A, 0), (std::vector<Visit>{{"P::A", 1}}));
    // Q is not registered: its segment's id resolves to nothing.
    EXPECT_EQ(bfs(A, 3), (std::vector<Visit>{{"P::A", 1}, {"P::B", 2}, {"-", 2}}));
    ds->addPlaygraph(Q, std::nullopt);
    EXPECT_EQ(bfs(A, 3), (std::vector<Visit>{{"P::A", 1}, {"P::B", 2}, {"Q::X", 2}, {"Q::Y", 3}}));

    // Depth-first follows transitions, which resolve their destinations
    // themselves; one that cannot be resolved is skipped.
    auto R = pair("R", "R1", "R2");
    ds->addTransitionFromSegment(A, R->segmentById("R1"), false, Dictionary{});
    ds->addTransitionFromSegment(B, R->segmentById("R2"), false, Dictionary{});
    R.reset();
    const auto dfs =
        walk([&](const TraversalCallback& cb) { ds->depthFirstTraversalFromSegment(A, cb); });
    EXPECT_EQ(dfs, (std::vector<Visit>{{"P::A", 0}, {"P::B", 1}, {"Q::X", 1}, {"Q::Y", 2}}));
}

TEST_F(Composite, InterPlaygraphTransitionValues) {
    // P also has a segment "X": the destination still resolves in Q.
    auto P3 = Playgraph::create(graph(
        "A",
        Dictionary{{"A", seg(0, 1000)}, {"X", seg(0, 1000, {{"transitionType", "pauseAtStart"}})}},
        {{"playgraphId", "P3"}, {"transitionType", "pauseAtEnd"}}));
    auto A3 = P3->segmentById("A");
    ds->addTransitionFromSegment(
        A3, X, false,
        Dictionary{{"transitionType", "immediate"}, {"weight", 4}, {"skipRegionOffset", 1500}});
    auto typed = ds->interPlaygraphTransitionsForSegment(A3).at(0);
    EXPECT_EQ(typed->skipRegionOffset(), 1.5);

    bool configured = false;
    ds->addTransitionFromSegment(A3, Q->segmentById("Y"), false,
                                 [&](QZPlaygraphSegmentTransitionConfiguration& c) {
                                     configured = true;
                                     EXPECT_EQ(c.sourceSegment(), A3);
                                     EXPECT_EQ(c.destinationPlaygraph(), Q);
                                     c.setWeight(3);
                                     c.setSkipRegionOffset(12.5);
                                 });
    EXPECT_TRUE(configured);
    auto t = ds->interPlaygraphTransitionsForSegment(A3).at(1);
    EXPECT_EQ(t->skipRegionOffset(), 12.5);
    // No own type, none on the source: the source playgraph's type.
    EXPECT_EQ(t->effectiveTransitionType(), "pauseAtEnd");
    t->setDestinationSegmentId("X");
    EXPECT_EQ(t->destinationSegment(), X);
    Q.reset();
    X.reset();
    EXPECT_EQ(t->destinationSegment(), nullptr);

    // A configure callback may itself add transitions from the same source.
    ds->addTransitionFromSegment(B, A3, false, [&](QZPlaygraphSegmentTransitionConfiguration&) {
        ds->addTransitionFromSegment(B, P3->segmentById("X"), false, nullptr);
    });
    EXPECT_EQ(ds->interPlaygraphTransitionsForSegment(B).size(), 2u);
}
