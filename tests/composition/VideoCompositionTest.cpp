#include <gtest/gtest.h>

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

std::shared_ptr<Playgraph> twoSegments() {
    return Playgraph::create(
        graph("a", Dictionary{{"a", seg(0, 1500, {{"viewableId", 5}, {"next", next({{"b", 20}})}})},
                              {"b", seg(1500, 4000, {{"viewableId", 5}})}}));
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

TEST(ClipEditing, AppendPrependAndInsert) {
    auto c = videoClip();
    c->appendClip("B", 82, 0.0, 5.0, nullptr);
    EXPECT_EQ(defaultPath(*c), (Ids{"video", "B"}));

    c->prependClip("P", 84, 1.0, 2.0, nullptr);
    EXPECT_EQ(defaultPath(*c), (Ids{"P", "video", "B"}));

    // Inserted after the first of two chained clips: the new clip ends the
    // default path and the old second clip stays reachable by transition.
    auto d = videoClip();
    d->appendClip("B", 82, 0.0, 5.0, nullptr);
    d->insertClip("X", 85, 0.0, 2.0, "video", nullptr);
    EXPECT_EQ(defaultPath(*d), (Ids{"video", "X"}));
    EXPECT_EQ(d->segmentById("video")->next().keys(), (Ids{"B", "X"}));
    EXPECT_FALSE(d->segmentById("X")->defaultNext());

    d->splitClip("video", 4.0, "video", "video2");
    EXPECT_EQ(defaultPath(*d), (Ids{"video", "video2", "X"}));

    expectRefused(*d, "Cannot find segment nope",
                  [&] { d->insertClip("Y", 1, 0.0, 1.0, "nope", nullptr); });
}

TEST(ClipEditing, RemoveMiddleLastAndOnlyClip) {
    auto c = videoClip();
    c->appendClip("B", 82, 0.0, 5.0, nullptr);
    c->appendClip("C", 83, 0.0, 1.0, nullptr);
    c->removeClip("B");
    EXPECT_EQ(defaultPath(*c), (Ids{"video", "C"}));

    c->removeClip("C"); // the last clip: nothing leads anywhere any more
    EXPECT_EQ(defaultPath(*c), (Ids{"video"}));
    EXPECT_FALSE(segmentIn(*c, "video").contains("defaultNext"));
    EXPECT_TRUE(danglingReferences(c->dictionaryRepresentation()).empty());

    auto only = videoClip();
    only->removeClip("video");
    EXPECT_TRUE(segmentsOf(*only).empty());
    EXPECT_FALSE(only->initialSegmentId());
    expectRefused(*only, "Cannot find segment video", [&] { only->removeClip("video"); });
    expectRefused(*only, "Cannot find segment (null)",
                  [&] { only->appendClip("N", 1, 0.0, 1.0, nullptr); });
    // A default path without end has no last clip to append to either.
    auto loop = MutableVideoComposition::createVideoCompositionForMainViewableId(
        1, Playgraph::create(graph("A", Dictionary{{"A", seg(0, 1000, {{"defaultNext", "B"}})},
                                                   {"B", seg(0, 1000, {{"defaultNext", "A"}})}})));
    expectRefused(*loop, "Cannot find segment (null)",
                  [&] { loop->appendClip("N", 1, 0.0, 1.0, nullptr); });
}

TEST(ClipEditing, IgnoredOperationsChangeNothing) {
    auto c = videoClip();
    c->appendClip("B", 82, 0.0, 5.0, nullptr);
    const Value before = Value(c->dictionaryRepresentation()).deepCopy();
    const auto objects = segmentObjects(*c);
    for (const std::string name : {"video", "B", "unknown"}) {
        c->combineClip1(name, "B", "combined");
        c->makeRangeSkippable(name);
        c->localizeClip(name, "fr-FR", 99, 1.0);
        c->defineRange(name, 0.0, 1.0);
        c->observeRange(name, NaN, -1.0);
        c->addTransitionFromSegment(name, "B", true, Dictionary{{"weight", 1}});
        c->addTransitionFromSegment("B", name, false, Value("not a dictionary"));
    }
    EXPECT_EQ(Value(c->dictionaryRepresentation()), before);
    EXPECT_EQ(segmentObjects(*c), objects);
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

TEST(CompositionFactory, EachOperationMakesItsClass) {
    std::shared_ptr<QZVideoCompositionFactory> factory = QZVideoCompositionFactoryImpl::create();
    auto plain = factory->createVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr);
    EXPECT_FALSE(std::dynamic_pointer_cast<MutableVideoComposition>(plain));
    auto editable = factory->createMutableVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr);
    EXPECT_TRUE(std::dynamic_pointer_cast<MutableVideoComposition>(editable));
    EXPECT_FALSE(std::dynamic_pointer_cast<WatchableComposition>(editable));
    auto watchable = std::dynamic_pointer_cast<WatchableComposition>(
        factory->watchableWithVideoId(81, std::nullopt, 0.0, 20.0, Dictionary{{"c", 1}}, nullptr));
    ASSERT_TRUE(watchable);
    EXPECT_EQ(watchable->uiPlayContext(), (Dictionary{{"c", 1}}));
    EXPECT_TRUE(std::dynamic_pointer_cast<WatchableComposition>(
        factory->watchableWithMainVideoId(5, twoSegments(), Dictionary{})));
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
