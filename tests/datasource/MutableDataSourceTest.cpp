#include <gtest/gtest.h>

#include "../TestSupport.hpp"
#include "RecordingObserver.hpp"
#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

using Kind = RecordingObserver::Kind;
using Visit = std::pair<std::string, uint64_t>;

// A -> B -> C by default; A also has a transition to C; D stands apart.
std::shared_ptr<Playgraph> abcd(const std::string& id = "p") {
    return Playgraph::create(graph(
        "A",
        Dictionary{
            {"A", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 70}, {"C", 30}})}})},
            {"B", seg(1000, 2000, {{"defaultNext", "C"}, {"next", next({{"C", 1}})}})},
            {"C", seg(2000, 3000)},
            {"D", seg(3000, 4000)}},
        {{"playgraphId", id}}));
}

std::vector<Visit> walk(const std::function<void(const TraversalCallback&)>& run,
                        std::size_t stopAfter = SIZE_MAX) {
    std::vector<Visit> visits;
    run([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t i, bool& stop) {
        visits.emplace_back(s ? s->segmentId() : "-", i);
        if (visits.size() == stopAfter) stop = true;
    });
    return visits;
}

struct MutableDataSource : ::testing::Test {
    std::shared_ptr<Playgraph> p = abcd();
    std::shared_ptr<QZPlaygraphSegment> A = p->segmentById("A"), B = p->segmentById("B"),
                                        C = p->segmentById("C"), D = p->segmentById("D");
    Dictionary info{{"track", "p"}};
    std::shared_ptr<PlaygraphPlayerMutableDataSource> ds =
        PlaygraphPlayerMutableDataSource::create(p, info);
    std::shared_ptr<RecordingObserver> observer = std::make_shared<RecordingObserver>();
    void SetUp() override { ds->setChangeObserver(observer); }
    void expectNextSegmentCall(std::size_t i, const std::shared_ptr<QZPlaygraphSegment>& s) {
        ASSERT_LT(i, observer->calls.size());
        EXPECT_EQ(observer->calls[i].kind, Kind::NextSegment);
        EXPECT_EQ(observer->calls[i].dataSource, ds);
        EXPECT_EQ(observer->calls[i].segment, s);
    }
};

} // namespace

TEST_F(MutableDataSource, OverrideStatesAndTheirObserverCalls) {
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), B);
    EXPECT_EQ(ds->nextSegmentAfterSegment(C), nullptr);

    // None on a fresh source: nothing changes, nobody is told.
    ds->setNextSegmentAfter(A, nullptr);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), B);
    EXPECT_TRUE(observer->calls.empty());

    // A segment override needs no transition; the same object again is no change.
    ds->setNextSegmentAfter(A, D);
    ds->setNextSegmentAfter(A, D);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), D);
    ASSERT_EQ(observer->calls.size(), 1u);
    expectNextSegmentCall(0, A);

    // None after a segment stores the null marker; none again stores and tells again.
    ds->setNextSegmentAfter(A, nullptr);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), nullptr);
    ds->setNextSegmentAfter(A, nullptr);
    ASSERT_EQ(observer->calls.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<Null>(*ds->storedNextSegmentOverride(A)));

    // Clearing restores the default and tells every time.
    ds->clearNextSegmentAfter(A);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), B);
    EXPECT_FALSE(ds->storedNextSegmentOverride(A));
    ds->clearNextSegmentAfter(A);
    ASSERT_EQ(observer->calls.size(), 5u);
    for (std::size_t i = 1; i < 5; ++i)
        expectNextSegmentCall(i, A);

    // An empty source is ignored.
    ds->setNextSegmentAfter(nullptr, D);
    ds->clearNextSegmentAfter(nullptr);
    EXPECT_EQ(ds->nextSegmentAfterSegment(nullptr), nullptr);
    EXPECT_EQ(observer->calls.size(), 5u);

    // A gone observer is simply not called.
    observer.reset();
    ds->setNextSegmentAfter(A, C);
    EXPECT_EQ(ds->changeObserver(), nullptr);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), C);
}

TEST_F(MutableDataSource, ReweightingGivesUnnamedTransitionsZero) {
    ds->updateNextSegmentWeightsForSegment(A, Dictionary{{"B", 10}, {"Z", 3}});
    EXPECT_EQ(A->next().find("B")->get()->weight(), Value(10));
    EXPECT_EQ(A->next().find("C")->get()->weight(), Value(0));
    EXPECT_EQ(ds->transitionFromSourceSegment(A, C)->weight(), Value(0));
    EXPECT_TRUE(observer->calls.empty());
    ds->updateNextSegmentWeightsForSegment(nullptr, Dictionary{});
}

TEST_F(MutableDataSource, ReplacingThePlaygraphComparesByIdentity) {
    ds->setNextSegmentAfter(A, D);
    observer->calls.clear();

    ds->updatePlaygraph(p, Dictionary{{"track", "other"}}, PlaygraphPosition{});
    EXPECT_TRUE(observer->calls.empty());

    auto q = abcd("p"); // another object whose id has the same text
    Dictionary qInfo{{"track", "q"}};
    ds->updatePlaygraph(q, qInfo, PlaygraphPosition{});
    EXPECT_EQ(ds->playgraph(), q);
    EXPECT_TRUE(ds->trackingInfo()->sameAs(qInfo));
    ASSERT_EQ(observer->calls.size(), 1u);
    EXPECT_EQ(observer->calls[0].kind, Kind::Playgraph);
    EXPECT_EQ(observer->calls[0].playgraph, q);
    // Overrides are kept and still answer the old playgraph's segment.
    EXPECT_EQ(ds->nextSegmentAfterSegment(q->segmentById("A")), D);
}

TEST_F(MutableDataSource, PlaybackPathFollowsOverrides) {
    const auto path = [&](std::size_t stopAfter = SIZE_MAX) {
        return walk(
            [&](const TraversalCallback& cb) {
                ds->currentPlaybackPathTraversalFromSegment(A, cb);
            },
            stopAfter);
    };
    EXPECT_EQ(path(), (std::vector<Visit>{{"A", 0}, {"B", 1}, {"C", 2}}));
    ds->setNextSegmentAfter(B, D);
    EXPECT_EQ(path(), (std::vector<Visit>{{"A", 0}, {"B", 1}, {"D", 2}}));
    // A looping path goes on until the callback stops it.
    ds->setNextSegmentAfter(D, A);
    const auto looped = path(7);
    ASSERT_EQ(looped.size(), 7u);
    EXPECT_EQ(looped[5], (Visit{"D", 5}));
    EXPECT_EQ(looped[6], (Visit{"A", 6}));
}

TEST_F(MutableDataSource, ReadAnswersComeFromThePlaygraph) {
    info.set("track", "changed"); // the initializer kept a copy
    EXPECT_EQ(ds->initialSegment(), A);
    EXPECT_EQ(ds->initialPosition().segment, A);
    EXPECT_EQ(ds->nextPlaygraphAfterPlaygraph(p), nullptr);
    EXPECT_EQ(ds->trackingInfoForSegment(nullptr)->get("track"), Value("p"));
    // The source is looked up by id in this playgraph.
    auto other = abcd("x");
    EXPECT_EQ(ds->transitionFromSourceSegment(other->segmentById("A"), C), *A->next().find("C"));
    EXPECT_EQ(ds->transitionFromSourceSegment(A, D), nullptr);
    // Graph walks ignore overrides; an empty start means the initial segment.
    ds->setNextSegmentAfter(A, D);
    EXPECT_EQ(walk([&](const TraversalCallback& cb) {
                  ds->bredthFirstTraversalFromSegment(nullptr, 2, cb);
              }),
              (std::vector<Visit>{{"A", 1}, {"B", 2}, {"C", 2}}));
    auto fresh = PlaygraphPlayerMutableDataSource::create();
    EXPECT_EQ(fresh->initialSegment(), nullptr);
    EXPECT_TRUE(walk([&](const TraversalCallback& cb) {
                    fresh->depthFirstTraversalFromSegment(A, cb);
                }).empty());
}

TEST_F(MutableDataSource, ReentrantObserverSeesTheNewState) {
    std::vector<std::shared_ptr<QZPlaygraphSegment>> seen;
    observer->onCall = [&](const RecordingObserver::Call& call) {
        if (call.kind == Kind::Playgraph) {
            seen.push_back(call.dataSource->segmentById("A"));
            // Drops the test's owner of the data source mid-call.
            ds.reset();
            return;
        }
        seen.push_back(call.dataSource->nextSegmentAfterSegment(call.segment));
        if (observer->calls.size() == 1) call.dataSource->setNextSegmentAfter(call.segment, C);
    };
    ds->setNextSegmentAfter(A, D);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], D);
    EXPECT_EQ(seen[1], C);
    EXPECT_EQ(ds->nextSegmentAfterSegment(A), C);

    auto q = abcd("q");
    ds->updatePlaygraph(q, std::nullopt, PlaygraphPosition{});
    EXPECT_EQ(ds, nullptr);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2], q->segmentById("A"));
}
