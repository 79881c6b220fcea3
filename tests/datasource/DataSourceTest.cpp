// The two data sources: overrides and their observer calls, walks, and the
// composite one's playgraphs and transitions between them.

#include <gtest/gtest.h>

#include "../editing/EditingTestSupport.hpp"
#include "playgraph/QZPlaygraphPlayerDataSourceChangeObserver.hpp"
#include "playgraph/datasource/PlaygraphPlayerCompositeDataSource.hpp"
#include "playgraph/datasource/PlaygraphPlayerMutableDataSource.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

// A change observer that records every call with its arguments.
struct RecordingObserver : QZPlaygraphPlayerDataSourceChangeObserver {
    enum class Kind { NextSegment, Playgraph };
    struct Call {
        Kind kind;
        std::shared_ptr<QZPlaygraphPlayerMutableDataSource> dataSource;
        std::shared_ptr<QZPlaygraphSegment> segment;
        std::shared_ptr<QZPlaygraph> playgraph;
    };

    void dataSourceDidChangeNextSegmentAfterSegment(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const std::shared_ptr<QZPlaygraphSegment>& segment) override {
        calls.push_back({Kind::NextSegment, dataSource, segment, nullptr});
        if (onCall) onCall(Call(calls.back())); // a copy: onCall may record more
    }
    void dataSourceDidUpdatePlaygraph(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const std::shared_ptr<QZPlaygraph>& playgraph) override {
        calls.push_back({Kind::Playgraph, dataSource, nullptr, playgraph});
        if (onCall) onCall(Call(calls.back())); // a copy: onCall may record more
    }

    std::vector<Call> calls;
    /// Runs inside each call, after it is recorded.
    std::function<void(const Call&)> onCall;
};

using Kind = RecordingObserver::Kind;
using Visit = std::pair<std::string, uint64_t>;
using SegmentPtr = std::shared_ptr<QZPlaygraphSegment>;

// The id (with its playgraph's when `canonical`) and index or depth of each
// reported segment; stops after `stopAfter` of them.
std::vector<Visit> walk(const std::function<void(const TraversalCallback&)>& run,
                        bool canonical = false, std::size_t stopAfter = SIZE_MAX) {
    std::vector<Visit> visits;
    run([&](const SegmentPtr& s, uint64_t i, bool& stop) {
        visits.emplace_back(!s ? "-" : canonical ? s->canonicalSegmentId() : s->segmentId(), i);
        if (visits.size() == stopAfter) stop = true;
    });
    return visits;
}

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

struct MutableDataSource : ::testing::Test {
    std::shared_ptr<Playgraph> p = abcd();
    std::shared_ptr<QZPlaygraphSegment> A = p->segmentById("A"), B = p->segmentById("B"),
                                        C = p->segmentById("C"), D = p->segmentById("D");
    Dictionary info{{"track", "p"}};
    std::shared_ptr<PlaygraphPlayerMutableDataSource> ds =
        PlaygraphPlayerMutableDataSource::create(p, info);
    std::shared_ptr<RecordingObserver> observer = std::make_shared<RecordingObserver>();
    void SetUp() override { ds->setChangeObserver(observer); }
};

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

TEST_F(MutableDataSource, ReweightingGivesUnnamedTransitionsZero) {
    ds->updateNextSegmentWeightsForSegment(A, Dictionary{{"B", 10}, {"Z", 3}});
    EXPECT_EQ(A->next().find("B")->get()->weight(), Value(10));
    EXPECT_EQ(A->next().find("C")->get()->weight(), Value(0));
    EXPECT_EQ(ds->transitionFromSourceSegment(A, C)->weight(), Value(0));
    EXPECT_TRUE(observer->calls.empty());
    ds->updateNextSegmentWeightsForSegment(nullptr, Dictionary{});
}

// Random overrides on random playgraphs: the next segment and the playback
// path are the override when there is one (none ends the path), else the
// segment the default next names. The observer hears of every clearing and
// of every override set but the one already stored and none over none.
TEST(MutableDataSourceRandom, NextSegmentsAndPathAnswerLikeAReference) {
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        auto q = Playgraph::create(randomPlaygraph(rng, 5));
        auto source = PlaygraphPlayerMutableDataSource::create(q, std::nullopt);
        auto observer = std::make_shared<RecordingObserver>();
        source->setChangeObserver(observer);
        const auto ids = q->segmentMap().keys();
        std::map<std::string, std::string> overrides; // "-": the null marker
        for (int step = 0; step < 6; ++step) {
            const std::string& from = ids[rng() % ids.size()];
            const std::size_t to = rng() % (ids.size() + 2);
            const std::size_t calls = observer->calls.size();
            bool told = true;
            if (to == ids.size()) {
                source->clearNextSegmentAfter(q->segmentById(from));
                overrides.erase(from);
            } else {
                const std::string now = to < ids.size() ? ids[to] : "-";
                source->setNextSegmentAfter(q->segmentById(from),
                                            to < ids.size() ? q->segmentById(ids[to]) : nullptr);
                told = overrides.count(from) ? overrides[from] != now || now == "-" : now != "-";
                if (told) overrides[from] = now;
            }
            // An empty source is ignored.
            source->setNextSegmentAfter(nullptr, q->segmentById(from));
            source->clearNextSegmentAfter(nullptr);
            ASSERT_EQ(observer->calls.size(), calls + (told ? 1 : 0));
            if (told) {
                EXPECT_EQ(observer->calls.back().segment, q->segmentById(from));
                EXPECT_EQ(observer->calls.back().dataSource, source);
            }
        }
        const auto expectedNext = [&](const std::string& id) -> std::string {
            if (overrides.count(id)) return overrides[id];
            const auto named = q->segmentById(id)->defaultNext();
            return named && q->segmentById(*named) ? *named : "-";
        };
        for (const std::string& id : ids) {
            const auto next = source->nextSegmentAfterSegment(q->segmentById(id));
            EXPECT_EQ(next ? next->segmentId() : "-", expectedNext(id)) << id;
        }
        std::vector<Visit> expected{{ids[0], 0}};
        while (expected.size() < 12 && expectedNext(expected.back().first) != "-")
            expected.emplace_back(expectedNext(expected.back().first), expected.size());
        ASSERT_EQ(walk(
                      [&](const TraversalCallback& cb) {
                          source->currentPlaybackPathTraversalFromSegment(q->segmentById(ids[0]),
                                                                          cb);
                      },
                      false, 12),
                  expected);
        // The observer is held weakly: once released it is simply not called.
        observer.reset();
        EXPECT_EQ(source->changeObserver(), nullptr);
        source->clearNextSegmentAfter(q->segmentById(ids[0]));
    }
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
    EXPECT_EQ(empty->initialPosition().segment, temporary->segmentById("T2"));
    EXPECT_EQ(empty->initialPosition().watchableTime, 1.5);
    temporary.reset();
    EXPECT_EQ(empty->initialPosition().segment, nullptr);
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
        return walk(
            [&](const TraversalCallback& cb) {
                ds->bredthFirstTraversalFromSegment(from, maxDepth, cb);
            },
            true);
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
        walk([&](const TraversalCallback& cb) { ds->depthFirstTraversalFromSegment(A, cb); }, true);
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
