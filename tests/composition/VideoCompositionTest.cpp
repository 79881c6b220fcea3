#include <gtest/gtest.h>

#include <algorithm>

#include "../editing/EditingTestSupport.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/composition/QZVideoCompositionFactoryImpl.hpp"
#include "playgraph/composition/VideoComposition.hpp"
#include "playgraph/composition/VideoCompositionFactoryDependencyKey.hpp"
#include "playgraph/composition/WatchableComposition.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/platform/DependencyRegistry.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

using Ids = std::vector<std::string>;

Dictionary segmentsOf(const MutablePlaygraph& p) {
    return *p.dictionaryRepresentation().get("segments").dictionary();
}

std::shared_ptr<MutableVideoComposition> videoClip() {
    return MutableVideoComposition::createVideoCompositionForViewableId(81, std::nullopt, 0.0, 10.0,
                                                                        nullptr);
}

// A branching story: intro leads to left (default) and right; right plays
// to the end of its viewable; island is unreachable; ghost names nothing.
Dictionary story(const std::shared_ptr<Params>& params) {
    const Dictionary toRight{{"weight", 50},
                             {"transitionType", "immediate"},
                             {"autoplayType", 2},
                             {"skipRegionOffset", 2500}};
    return graph(
        "intro",
        Dictionary{
            {"intro", seg(1001, 5000,
                          {{"viewableId", 81},
                           {"defaultNext", "left"},
                           {"annotations", Dictionary{{"decorative", false}}},
                           {"userInfo", Dictionary{{"PlaygraphSegmentUserInfoPlaygraphParamsKey",
                                                    Value(params)}}},
                           {"transitionType", "pauseAtEnd"},
                           {"next", Dictionary{{"left", Dictionary{{"weight", 70}}},
                                               {"right", toRight},
                                               {"ghost", Dictionary{{"weight", 5}}}}}})},
            {"left", seg(5000, 9000)},
            {"right", seg(0, Value(), {{"viewableId", 82}})},
            {"island", seg(0, 1000, {{"viewableId", 83}})}},
        {{"type", "branching"},
         {"playgraphId", "story-1"},
         {"transitionType", "lazy"},
         {"annotations", Dictionary{{"k", "v"}}}});
}

using Key = VideoCompositionFactoryDependencyKey;

/// Restores the key's initial default when a test ends.
struct DefaultRestorer {
    ~DefaultRestorer() { Key::setDefaultValue(nullptr); }
};

} // namespace

// The mutable class writes "main" and always the end (0 and unrounded times
// included); the plain class has no "main" and an end only after zero;
// neither writes a time that is not finite. Times are stored as double
// numbers (equality tells the kinds apart).
TEST(OneClipFactory, WhatEachClassWrites) {
    const std::initializer_list<std::pair<std::string, Value>> main{{"viewableId", 81},
                                                                    {"main", 81}};
    const std::initializer_list<std::pair<std::string, Value>> noMain{{"viewableId", 81}};
    struct Case {
        bool plain;
        double start, end;
        Dictionary expected;
        bool playToEnd;
    };
    const Case cases[] = {
        {false, 10.0, 20.0, seg(10000.0, 20000.0, main), false},
        {false, 1.001, 5.0, seg(1.001 * 1000.0, 5000.0, main), false},
        {false, 2.0, 0.0, seg(2000.0, 0.0, main), true},
        {false, NaN, Inf, seg(Value(), Value(), main), true},
        {true, 10.0, 20.0, seg(10000.0, 20000.0, noMain), false},
        {true, 1.0, 0.0, seg(1000.0, Value(), noMain), true},
        {true, -Inf, Inf, seg(Value(), Value(), noMain), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.plain << " " << c.start << " " << c.end);
        auto clip = c.plain ? VideoComposition::createVideoCompositionForViewableId(
                                  81, std::nullopt, c.start, c.end, nullptr)
                            : MutableVideoComposition::createVideoCompositionForViewableId(
                                  81, std::nullopt, c.start, c.end, nullptr);
        EXPECT_EQ(Value(clip->dictionaryRepresentation()),
                  Value(graph("video", Dictionary{{"video", c.expected}})));
        EXPECT_EQ(clip->segmentById("video")->playToViewableEnd(), c.playToEnd);
        EXPECT_EQ(clip->mainViewableId(), c.plain ? Value() : Value(81));
        if (c.start == 1.001) { // the model reads whole milliseconds
            EXPECT_DOUBLE_EQ(clip->segmentById("video")->startTime(), 1.0);
        }
    }

    // Each class makes its own class; the forms without an end name the clip.
    auto m =
        MutableVideoComposition::createVideoCompositionForViewableId(81, "intro", 2.0, nullptr);
    EXPECT_EQ(Value(segmentIn(*m, "intro")), Value(seg(2000.0, 0.0, main)));
    auto params = std::make_shared<Params>();
    auto p = VideoComposition::createVideoCompositionForViewableId(81, "a", 1.0, params);
    EXPECT_EQ(Value(segmentIn(*p, "a")),
              Value(seg(1000.0, Value(),
                        {{"viewableId", 81},
                         {"userInfo", Dictionary{{"PlaygraphSegmentUserInfoPlaygraphParamsKey",
                                                  Value(params)}}}})));
    EXPECT_FALSE(p->params()); // the params go into the segment only
}

// Random clip operations against the list of clips along the default path:
// appending, prepending, inserting after the last clip, splitting (the first
// half, the second or neither keeping the name), removing; operations on
// missing clips or, once every clip is gone, on no clip are refused; the
// operations a composition ignores change nothing.
TEST(ClipEditing, RandomOperationsFollowAListOfClips) {
    std::mt19937 rng(11);
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    for (int round = 0; round < 60; ++round) {
        auto c = videoClip();
        Ids clips{"video"};
        for (int step = 0; step < 16; ++step) {
            const std::string id = "c" + std::to_string(step), other = "d" + std::to_string(step);
            const bool missing = clips.empty() || pick(8) == 0;
            const std::string some = missing ? "nope" : clips[pick(static_cast<int>(clips.size()))];
            const int operation = pick(6), keep = pick(3);
            const std::string first = keep == 0 ? some : id, second = keep == 1 ? some : other;
            if (operation < 2 ? clips.empty() : operation < 5 && missing) {
                expectRefused(*c, "Cannot find segment " + (operation < 2 ? "(null)" : some), [&] {
                    if (operation == 0) c->appendClip(id, 1, 0.0, 1.0, nullptr);
                    if (operation == 1) c->prependClip(id, 1, 0.0, 1.0, nullptr);
                    if (operation == 2) c->splitClip(some, 0.001, first, second);
                    if (operation == 3) c->removeClip(some);
                    if (operation == 4) c->insertClip(id, 1, 0.0, 1.0, some, nullptr);
                });
                continue;
            }
            if (operation == 0) {
                c->appendClip(id, 82, 0.0, 5.0, nullptr);
                clips.push_back(id);
            } else if (operation == 1) {
                c->prependClip(id, 83, 1.0, 2.0, nullptr);
                clips.insert(clips.begin(), id);
            } else if (operation == 2) {
                c->splitClip(some, 0.001, first, second);
                const auto at = clips.erase(std::find(clips.begin(), clips.end(), some));
                clips.insert(at, {first, second});
            } else if (operation == 3) {
                c->removeClip(some);
                clips.erase(std::find(clips.begin(), clips.end(), some));
            } else if (operation == 4) {
                c->insertClip(id, 84, 0.0, 2.0, clips.back(), nullptr);
                clips.push_back(id);
            } else {
                const Value before = Value(c->dictionaryRepresentation()).deepCopy();
                const auto objects = segmentObjects(*c);
                c->combineClip1(some, id, "combined");
                c->makeRangeSkippable(some);
                c->localizeClip(some, "fr-FR", 99, 1.0);
                c->defineRange(some, 0.0, 1.0);
                c->observeRange(some, NaN, -1.0);
                c->addTransitionFromSegment(some, "video", true, Dictionary{{"weight", 1}});
                EXPECT_EQ(Value(c->dictionaryRepresentation()), before);
                EXPECT_EQ(segmentObjects(*c), objects);
            }
            ASSERT_EQ(defaultPath(*c), clips) << round << " " << step;
            EXPECT_EQ(c->segmentMap().size(), clips.size());
        }
    }

    // Inserted after the first of two clips, a clip ends the default path;
    // the second stays reachable by transition.
    auto d = videoClip();
    d->appendClip("B", 82, 0.0, 5.0, nullptr);
    d->insertClip("X", 85, 0.0, 2.0, "video", nullptr);
    EXPECT_EQ(defaultPath(*d), (Ids{"video", "X"}));
    EXPECT_EQ(d->segmentById("video")->next().keys(), (Ids{"B", "X"}));
    // A default path without end has no last clip to append to.
    auto loop = MutableVideoComposition::createVideoCompositionForMainViewableId(
        1, Playgraph::create(graph("A", Dictionary{{"A", seg(0, 1000, {{"defaultNext", "B"}})},
                                                   {"B", seg(0, 1000, {{"defaultNext", "A"}})}})));
    expectRefused(*loop, "Cannot find segment (null)",
                  [&] { loop->appendClip("N", 1, 0.0, 1.0, nullptr); });
}

TEST(Conversion, CopiesTheReachableGraph) {
    auto params = std::make_shared<Params>();
    auto source = Playgraph::create(story(params), 81);
    source->segmentById("intro")->next().find("right")->get()->overrideWeight(10);

    auto c = MutableVideoComposition::createVideoCompositionForMainViewableId(81, source);
    // The override shows as the weight; play-to-end with an unknown duration
    // has no "endTimeMs"; times become double numbers.
    const Dictionary toRight{{"weight", 10},
                             {"autoplayType", 2},
                             {"skipRegionOffset", 2500.0},
                             {"transitionType", "immediate"}};
    const Dictionary expected = graph(
        "intro",
        Dictionary{
            {"intro", seg(1001.0, 5000.0,
                          {{"viewableId", 81},
                           {"main", 81},
                           {"defaultNext", "left"},
                           {"annotations", Dictionary{{"decorative", false}}},
                           {"userInfo", Dictionary{{"PlaygraphSegmentUserInfoPlaygraphParamsKey",
                                                    Value(params)}}},
                           {"next", Dictionary{{"left", Dictionary{{"weight", 70}}},
                                               {"right", toRight},
                                               {"ghost", Dictionary{{"weight", 5}}}}}})},
            {"left", seg(5000.0, 9000.0, {{"viewableId", 81}, {"main", 81}})},
            {"right", seg(0.0, Value(), {{"viewableId", 82}, {"main", 81}})}},
        {{"type", "branching"}});
    EXPECT_EQ(Value(c->dictionaryRepresentation()), Value(expected));

    EXPECT_NE(c->playgraphId(), "story-1");
    EXPECT_DOUBLE_EQ(c->segmentById("intro")->startTime(), 1.001);
    EXPECT_EQ(c->segmentById("intro")->playgraphParams(), params);
    // Copies, not the source's containers.
    const auto intro = source->segmentById("intro");
    EXPECT_FALSE(segmentIn(*c, "intro").get("userInfo").dictionary()->sameAs(*intro->userInfo()));

    // Without a main viewable id no segment gets "main".
    auto plain = MutableVideoComposition::createVideoCompositionForMainViewableId(Value(), source);
    for (const auto& [id, segment] : segmentsOf(*plain))
        EXPECT_FALSE(segment.dictionary()->contains("main")) << id;
}

TEST(Conversion, AnnotationsOnlyFromAnEditableSource) {
    auto params = std::make_shared<Params>();
    auto immutable = MutableVideoComposition::createVideoCompositionForMainViewableId(
        81, Playgraph::create(story(params), 81));
    EXPECT_FALSE(immutable->dictionaryRepresentation().contains("annotations"));

    auto editable = MutableVideoComposition::createVideoCompositionForMainViewableId(
        81, MutablePlaygraph::create(story(params), 81));
    EXPECT_EQ(editable->dictionaryRepresentation().get("annotations"),
              Value(Dictionary{{"k", "v"}}));
    // A composition is editable too, and converting it again changes nothing.
    auto again = MutableVideoComposition::createVideoCompositionForMainViewableId(81, editable);
    EXPECT_EQ(Value(again->dictionaryRepresentation()),
              Value(editable->dictionaryRepresentation()));
}

TEST(Conversion, RoundsKnownEndsHalfAwayFromZero) {
    auto source =
        Playgraph::create(graph("a", Dictionary{{"a", seg(0, Value(), {{"viewableId", 1}})}}));
    source->segmentById("a")->setMovieDuration(1.0625);
    auto c = WatchableComposition::createVideoCompositionForMainViewableId(1, source);
    EXPECT_EQ(segmentIn(*c, "a").get("endTimeMs"), Value(1063.0));
    EXPECT_FALSE(c->segmentById("a")->playToViewableEnd());

    source->segmentById("a")->setMovieDuration(Inf);
    auto open = MutableVideoComposition::createVideoCompositionForMainViewableId(1, source);
    EXPECT_FALSE(segmentIn(*open, "a").contains("endTimeMs"));
}

// The context and the other properties are stored as copies, outside the
// dictionary.
TEST(Watchable, OneClipWithDefaultsAndTheContext) {
    Dictionary context{{"source", "home"}};
    auto w =
        WatchableComposition::watchableWithVideoId(81, std::nullopt, 0.0, 20.0, context, nullptr);
    EXPECT_EQ(Value(segmentIn(*w, "video")),
              Value(seg(0.0, 20000.0, {{"viewableId", 81}, {"main", 81}})));
    w->setSelectedStartSegmentId("video");
    w->setRebuildContextId("r");
    w->setDiscretePlayType("d");
    EXPECT_EQ(w->selectedStartSegmentId(), "video");
    EXPECT_EQ(w->rebuildContextId(), "r");
    EXPECT_EQ(w->discretePlayType(), "d");
    EXPECT_EQ(w->dictionaryRepresentation().size(), 2u);
    auto named = WatchableComposition::createVideoCompositionForViewableId(81, "v", 2.0, nullptr);
    EXPECT_EQ(Value(segmentIn(*named, "v")),
              Value(seg(2000.0, 0.0, {{"viewableId", 81}, {"main", 81}})));
    context.set("source", "changed");
    Dictionary read = *w->uiPlayContext();
    read.set("source", "mine");
    EXPECT_EQ(w->uiPlayContext(), (Dictionary{{"source", "home"}}));
}

TEST(CompositionFactoryDependency, ReplacingTheDefaultKeepsWhatWasHandedOut) {
    DefaultRestorer restore;
    DependencyRegistry registry;
    const auto handedOut = registry.value<Key>();

    const auto mine = QZVideoCompositionFactoryImpl::create();
    Key::setDefaultValue([mine] { return mine; });
    EXPECT_EQ(registry.value<Key>()(), mine);
    // The earlier function still makes factories the old way.
    const auto old = handedOut();
    EXPECT_NE(old, mine);
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(old));

    // What the host registers wins over the default, until it is removed.
    const auto registered = QZVideoCompositionFactoryImpl::create();
    registry.registerValue<Key>([registered] { return registered; });
    EXPECT_EQ(registry.value<Key>()(), registered);
    registry.unregisterValue<Key>();
    EXPECT_EQ(registry.value<Key>()(), mine);

    // An empty function restores the initial default.
    Key::setDefaultValue(nullptr);
    const auto fresh = registry.value<Key>()();
    EXPECT_NE(fresh, mine);
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(fresh));
}
