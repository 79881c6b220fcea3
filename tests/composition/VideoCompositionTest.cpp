#include <gtest/gtest.h>

#include "../editing/EditingTestSupport.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/composition/VideoComposition.hpp"
#include "playgraph/composition/WatchableComposition.hpp"
#include "playgraph/model/Playgraph.hpp"

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

} // namespace

// The mutable class writes "main" and always the end (0 and unrounded times
// included); the plain class has no "main" and an end only after zero;
// neither writes a time that is not finite. Times are stored as double
// numbers (equality tells the kinds apart).
TEST(OneClipFactory, WhatEachClassWrites) {
    using Make = std::shared_ptr<MutablePlaygraph> (*)(double, double);
    const Make editable = [](double start, double end) -> std::shared_ptr<MutablePlaygraph> {
        return MutableVideoComposition::createVideoCompositionForViewableId(81, std::nullopt, start,
                                                                            end, nullptr);
    };
    const Make plain = [](double start, double end) -> std::shared_ptr<MutablePlaygraph> {
        return VideoComposition::createVideoCompositionForViewableId(81, std::nullopt, start, end,
                                                                     nullptr);
    };
    const std::initializer_list<std::pair<std::string, Value>> main{{"viewableId", 81},
                                                                    {"main", 81}};
    const std::initializer_list<std::pair<std::string, Value>> noMain{{"viewableId", 81}};
    struct Case {
        Make make;
        double start, end;
        Dictionary expected;
        bool playToEnd;
    };
    const Case cases[] = {
        {editable, 10.0, 20.0, seg(10000.0, 20000.0, main), false},
        {editable, 1.001, 5.0, seg(1.001 * 1000.0, 5000.0, main), false},
        {editable, 2.0, 0.0, seg(2000.0, 0.0, main), true},
        {editable, NaN, Inf, seg(Value(), Value(), main), true},
        {plain, 10.0, 20.0, seg(10000.0, 20000.0, noMain), false},
        {plain, 1.0, 0.0, seg(1000.0, Value(), noMain), true},
        {plain, -Inf, Inf, seg(Value(), Value(), noMain), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.make == plain ? "plain " : "mutable ") << c.start << " " << c.end);
        auto clip = c.make(c.start, c.end);
        EXPECT_EQ(Value(clip->dictionaryRepresentation()),
                  Value(graph("video", Dictionary{{"video", c.expected}})));
        EXPECT_EQ(clip->segmentById("video")->playToViewableEnd(), c.playToEnd);
        EXPECT_EQ(clip->mainViewableId(), c.make == plain ? Value() : Value(81));
    }
    EXPECT_DOUBLE_EQ(editable(1.001, 5.0)->segmentById("video")->startTime(), 1.0);

    // Each class makes its own class; the forms without an end name the clip.
    auto m =
        MutableVideoComposition::createVideoCompositionForViewableId(81, "intro", 2.0, nullptr);
    EXPECT_EQ(Value(segmentIn(*m, "intro")), Value(seg(2000.0, 0.0, main)));
    auto p = VideoComposition::createVideoCompositionForViewableId(81, "a", 1.0, nullptr);
    EXPECT_EQ(Value(segmentIn(*p, "a")), Value(seg(1000.0, Value(), noMain)));
}

TEST(OneClipFactory, ParamsGoIntoTheSegmentNotTheComposition) {
    auto params = std::make_shared<Params>();
    auto c = VideoComposition::createVideoCompositionForViewableId(81, "clip", 0.0, 4.0, params);
    EXPECT_EQ(segmentIn(*c, "clip").get("userInfo"),
              Value(Dictionary{{"PlaygraphSegmentUserInfoPlaygraphParamsKey", Value(params)}}));
    EXPECT_FALSE(c->params());
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
}

TEST(ClipEditing, AppendRefusesADefaultPathWithoutEnd) {
    auto loop = Playgraph::create(graph(
        "A", Dictionary{{"A", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 50}})}})},
                        {"B", seg(0, 1000, {{"defaultNext", "A"}, {"next", next({{"A", 50}})}})}}));
    auto c = MutableVideoComposition::createVideoCompositionForMainViewableId(1, loop);
    expectRefused(*c, "Cannot find segment (null)",
                  [&] { c->appendClip("N", 1, 0.0, 1.0, nullptr); });
}

TEST(ClipEditing, IgnoredOperationsChangeNothing) {
    auto c = videoClip();
    c->appendClip("B", 82, 0.0, 5.0, nullptr);
    const Value before = deepCopy(c->dictionaryRepresentation());
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

TEST(ClipEditing, VideoCompositionKeepsTransitionEditing) {
    auto c =
        VideoComposition::createVideoCompositionForViewableId(81, std::nullopt, 0.0, 10.0, nullptr);
    c->insertSegmentAfter("video", "B", 82, 0.0, 1.0, false, nullptr);
    c->addTransitionFromSegment("B", "video", true, Dictionary{{"weight", 7}});
    const Value before = deepCopy(c->dictionaryRepresentation());
    c->defineRange("r", 0.0, 1.0);
    c->observeRange("r", 0.0, 1.0);
    EXPECT_EQ(Value(c->dictionaryRepresentation()), before);
}

namespace {

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

} // namespace

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
