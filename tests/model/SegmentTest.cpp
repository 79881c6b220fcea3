#include <gtest/gtest.h>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"
#include "playgraph/model/PlaygraphSegmentExitZone.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

std::shared_ptr<PlaygraphSegment> makeSegment(double start, double end, double movie = NaN,
                                              std::optional<Dictionary> annotations = {},
                                              Value viewable = 7) {
    return PlaygraphSegment::create(nullptr, "s", std::move(viewable), start, end, movie,
                                    std::move(annotations), std::nullopt);
}

std::shared_ptr<QZPlaygraphSegmentTransition> transitionOf(const std::shared_ptr<QZPlaygraph>& p,
                                                           const std::string& from,
                                                           const std::string& to) {
    auto s = p->segmentById(from);
    const auto* t = s ? s->next().find(to) : nullptr;
    return t ? *t : nullptr;
}

} // namespace

TEST(Segment, EndsThatAreMissingNegativeOrNotLaterPlayToTheViewableEnd) {
    auto missing = makeSegment(0, -1);
    EXPECT_TRUE(missing->playToViewableEnd());
    EXPECT_TRUE(std::isnan(missing->endTime()));
    EXPECT_TRUE(std::isnan(missing->segmentDuration()));
    missing->setMovieDuration(42);
    EXPECT_EQ(missing->segmentDuration(), 42);

    EXPECT_TRUE(makeSegment(5, 5)->playToViewableEnd());
    EXPECT_EQ(makeSegment(-2, 0)->segmentDuration(), 2); // an end of 0 is no negative end
    EXPECT_TRUE(makeSegment(5, NaN)->playToViewableEnd());
    EXPECT_EQ(makeSegment(5, -1, 20)->segmentDuration(), 15);
    EXPECT_TRUE(std::isnan(makeSegment(5, -1, 4)->segmentDuration()));
}

TEST(Segment, UpdateLiveDurationMovesPlayToEndSegmentsOnly) {
    auto live = makeSegment(5, -1);
    live->updateLiveDuration(30);
    EXPECT_EQ(live->segmentDuration(), 25);

    auto fixed = makeSegment(0, 10);
    fixed->updateLiveDuration(30);
    EXPECT_EQ(fixed->endTime(), 30);
    EXPECT_EQ(fixed->segmentDuration(), 10);
}

TEST(Segment, AnnotationReadingsOfNumbersAndStrings) {
    auto s = makeSegment(0, 1, NaN,
                         Dictionary{{"allowsSkipForward", 0},
                                    {"breakIndex", "3"},
                                    {"decorativeIndex", 2.9},
                                    {"emptyAdBreakIndex", int64_t{1} << 40},
                                    {"precedingEmptyAdBreakIndex", 4},
                                    {"playOnceOnlyPerSession", "yes"},
                                    {"isBeforeEmptyAdBreak", Value::null()},
                                    {"allowsSeekWithin", Dictionary{}},
                                    {"fixedPlaybackRate", "2"},
                                    {"adBreakToken", "tok"}});
    EXPECT_FALSE(s->allowsSkipForward());
    EXPECT_TRUE(s->allowsSkipBackward());
    EXPECT_EQ(s->breakIndex(), 3);
    EXPECT_EQ(s->decorativeIndex(), 2);
    EXPECT_EQ(s->emptyAdBreakIndex(), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(s->afterAnyAdBreakIndex(), s->precedingEmptyAdBreakIndex()); // the same key
    EXPECT_TRUE(s->playOnceOnlyPerSession());
    // Values without a reading fall back to the default.
    EXPECT_FALSE(s->isBeforeEmptyAdBreak());
    EXPECT_TRUE(s->allowsSeekWithin());
    EXPECT_TRUE(std::isnan(s->fixedRate()));
    EXPECT_EQ(s->adBreakToken(), Value("tok"));
    EXPECT_TRUE(s->precedingEmptyAdBreakToken().isNone());
    EXPECT_TRUE(s->hasAuxiliaryManifest());

    auto bare = makeSegment(0, 1);
    EXPECT_EQ(bare->afterAnyAdBreakIndex(), -1);
    EXPECT_FLOAT_EQ(makeSegment(0, 1, NaN, Dictionary{{"fixedPlaybackRate", 1.5}})->fixedRate(),
                    1.5f);
}

TEST(Segment, ContentOfDecorativeAndPaddingSegments) {
    EXPECT_TRUE(makeSegment(0, 1, NaN, Dictionary{{"decorative", true}})->hasContent());
    EXPECT_FALSE(makeSegment(0, 1, NaN, Dictionary{{"decorative", true}, {"isPadding", true}})
                     ->hasContent());
    EXPECT_TRUE(makeSegment(0, 1, NaN, Dictionary{{"isPadding", true}})->hasContent());
}

TEST(Segment, ContiguityNeedsTheSameViewableAndAnExactJoin) {
    std::shared_ptr<QZPlaygraphSegment> first = makeSegment(0, 10, NaN, {}, 7);
    std::shared_ptr<QZPlaygraphSegment> second = makeSegment(10, 20, NaN, {}, 7.0);
    std::shared_ptr<QZPlaygraphSegment> noViewable = makeSegment(10, 20, NaN, {}, Value());
    EXPECT_TRUE(second->isContiguousAfter(first));
    EXPECT_FALSE(first->isContiguousAfter(second));
    EXPECT_FALSE(noViewable->isContiguousAfter(first));
    EXPECT_FALSE(noViewable->sharesAssetWith(noViewable));
    EXPECT_FALSE(second->isContiguousAfter(nullptr));
}

TEST(Segment, OffsetsOfAViewableTime) {
    std::shared_ptr<QZPlaygraphSegment> s = makeSegment(10, 20);
    s->setOffsetInPlaygraph(100);
    EXPECT_EQ(PlaygraphSegment::segmentOffsetForSegment(s, 10), 0.0);
    EXPECT_EQ(PlaygraphSegment::segmentOffsetForSegment(s, 20), 10.0);
    EXPECT_FALSE(PlaygraphSegment::segmentOffsetForSegment(s, 20.5));
    EXPECT_EQ(PlaygraphSegment::playgraphSessionOffsetForSegment(s, 15), 105.0);
    EXPECT_FALSE(PlaygraphSegment::playgraphSessionOffsetForSegment(s, 25));
    EXPECT_FALSE(PlaygraphSegment::segmentOffsetForSegment(nullptr, 1));
}

TEST(Segment, BackReferenceReadsNoneOnceThePlaygraphIsGone) {
    auto p = Playgraph::create(graph(
        "a", Dictionary{{"a", seg(0, Value(), {{"next", next({{"b", 1}})}})}, {"b", seg(0, 1000)}},
        {{"playgraphId", "pg"}}));
    auto a = p->segmentById("a");
    auto transition = a->next().begin()->second;
    EXPECT_NE(transition->destinationSegment(), nullptr);
    p.reset();
    EXPECT_EQ(a->playgraph(), nullptr);
    EXPECT_EQ(transition->destinationSegment(), nullptr);
    a->setMovieDuration(50); // no playgraph to tell: must not crash
    EXPECT_EQ(a->segmentDuration(), 50);
}

TEST(Transition, ReadsTheFourKeysOfAnEntry) {
    auto p = Playgraph::create(
        graph("src",
              Dictionary{
                  {"src", seg(0, 1000,
                              {{"next", Dictionary{{"b", Dictionary{{"weight", 5},
                                                                    {"skipRegionOffset", 1500.9},
                                                                    {"autoplayType", 2},
                                                                    {"transitionType", "immediate"},
                                                                    {"skipRegionWeight", 9}}},
                                                   {"c", Dictionary{{"weight", Value::null()},
                                                                    {"skipRegionOffset", "2500"},
                                                                    {"transitionType", 3},
                                                                    {"autoplayType", "1"}}}}}})},
                  {"b", seg(0, 1000)},
                  {"c", seg(0, 1000)}}));
    auto b = transitionOf(p, "src", "b");
    EXPECT_EQ(b->weight(), Value(5));
    EXPECT_EQ(b->skipRegionOffset(), 1.5);
    EXPECT_EQ(b->transitionType(), "immediate");
    EXPECT_EQ(b->key(), "src immediate-> b@0");

    auto c = transitionOf(p, "src", "c");
    EXPECT_TRUE(c->weight().isNull());
    EXPECT_FALSE(c->skipRegionOffset());
    EXPECT_FALSE(c->transitionType());
    EXPECT_EQ(c->key(), "src -> c@0");

    // No completion until one is set; setting none clears it.
    EXPECT_FALSE(c->completion());
    bool completed = false;
    c->setCompletion([&](bool finished) { completed = finished; });
    c->completion()(true);
    EXPECT_TRUE(completed);
    c->setCompletion(nullptr);
    EXPECT_FALSE(c->completion());
}

TEST(Transition, EffectiveTypeFollowsTheDecisionTable) {
    const auto build = [](Value sourceType, Value destinationType, Value playgraphType) {
        Dictionary a = seg(0, 1000, {{"next", next({{"b", 1}})}});
        if (!sourceType.isNone()) a.set("transitionType", sourceType);
        Dictionary b = seg(1000, 2000);
        if (!destinationType.isNone()) b.set("transitionType", destinationType);
        Dictionary d = graph("a", Dictionary{{"a", a}, {"b", b}});
        if (!playgraphType.isNone()) d.set("transitionType", playgraphType);
        return Playgraph::create(d);
    };
    // The source has a type: the answer comes from the destination segment.
    auto p1 = build("immediate", Value(), "pauseAtEnd");
    EXPECT_FALSE(transitionOf(p1, "a", "b")->effectiveTransitionType());
    auto p2 = build("immediate", "pauseAtStart", "pauseAtEnd");
    EXPECT_EQ(transitionOf(p2, "a", "b")->effectiveTransitionType(), "pauseAtStart");
    // The source has none: the playgraph's type, whatever the destination's.
    auto p3 = build(Value(), "pauseAtStart", "pauseAtEnd");
    EXPECT_EQ(transitionOf(p3, "a", "b")->effectiveTransitionType(), "pauseAtEnd");
    auto p4 = build(Value(), Value(), Value());
    EXPECT_FALSE(transitionOf(p4, "a", "b")->effectiveTransitionType());
    // Once the playgraph is gone, so are the source's answers.
    auto t = transitionOf(p3, "a", "b");
    p3.reset();
    EXPECT_FALSE(t->effectiveTransitionType());
    EXPECT_EQ(t->key(), "(null) -> b@0");
}

TEST(ExitZone, SingleFrameAndTrailingZones) {
    auto p = Playgraph::create(graph("a", Dictionary{{"a", seg(0, 30000)}}));
    auto a = p->segmentById("a");
    EXPECT_TRUE(PlaygraphSegmentExitZone::create(a, 12.0)->isSingleFrameZone());
    EXPECT_TRUE(PlaygraphSegmentExitZone::create(a, 10.0, 30.0)->isTrailingZone());
    EXPECT_FALSE(PlaygraphSegmentExitZone::create(a, 10.0, 29.999)->isTrailingZone());
    auto orphan = PlaygraphSegmentExitZone::create(a, 0.0, 0.0);
    a.reset();
    p.reset();
    EXPECT_EQ(orphan->segment(), nullptr);
    EXPECT_TRUE(orphan->isTrailingZone()); // a gone segment ends at 0
}
