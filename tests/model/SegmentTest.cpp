#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "../TestSupport.hpp"
#include "playgraph/Constants.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::shared_ptr<PlaygraphSegment> makeSegment(double start, double end, double movie = kNaN,
                                              std::optional<Dictionary> annotations = {},
                                              Value viewable = 7) {
    return PlaygraphSegment::create(nullptr, "s", std::move(viewable), start, end, movie,
                                    std::move(annotations), std::nullopt);
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
    EXPECT_TRUE(makeSegment(5, kNaN)->playToViewableEnd());
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

TEST(Segment, MovieDurationChangesRecomputeThePlaygraphOnlyWhenTheValueChanges) {
    auto p = Playgraph::create(graph(
        "a", Dictionary{{"a", seg(0, Value(), {{"defaultNext", "b"}})}, {"b", seg(0, 4000)}}));
    auto a = p->segmentById("a");
    auto b = p->segmentById("b");
    a->setMovieDuration(10);
    EXPECT_EQ(p->duration(), 14);
    EXPECT_EQ(b->offsetInPlaygraph(), 10);
    // The same value again must not trigger a recomputation.
    b->setOffsetInPlaygraph(99);
    a->setMovieDuration(10);
    EXPECT_EQ(b->offsetInPlaygraph(), 99);
    a->setMovieDuration(12);
    EXPECT_EQ(b->offsetInPlaygraph(), 12);
}

TEST(Segment, AnnotationReadingsOfNumbersAndStrings) {
    auto s = makeSegment(0, 1, kNaN,
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
    EXPECT_FLOAT_EQ(makeSegment(0, 1, kNaN, Dictionary{{"fixedPlaybackRate", 1.5}})->fixedRate(),
                    1.5f);
}

TEST(Segment, AnnotationsAreCopiedAtConstruction) {
    Dictionary annotations{{"decorative", true}};
    auto s = makeSegment(0, 1, kNaN, annotations);
    annotations.set("decorative", false);
    EXPECT_TRUE(s->isDecorativeSegment());
}

TEST(Segment, ContentOfDecorativeAndPaddingSegments) {
    EXPECT_TRUE(makeSegment(0, 1, kNaN, Dictionary{{"decorative", true}})->hasContent());
    EXPECT_FALSE(makeSegment(0, 1, kNaN, Dictionary{{"decorative", true}, {"isPadding", true}})
                     ->hasContent());
    EXPECT_TRUE(makeSegment(0, 1, kNaN, Dictionary{{"isPadding", true}})->hasContent());
}

TEST(Segment, ContiguityNeedsTheSameViewableAndAnExactJoin) {
    std::shared_ptr<QZPlaygraphSegment> first = makeSegment(0, 10, kNaN, {}, 7);
    std::shared_ptr<QZPlaygraphSegment> second = makeSegment(10, 20, kNaN, {}, 7.0);
    std::shared_ptr<QZPlaygraphSegment> noViewable = makeSegment(10, 20, kNaN, {}, Value());
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

TEST(Segment, DescriptionAndParams) {
    auto intro = PlaygraphSegment::create(nullptr, "intro", 1, 0, 10, kNaN, {}, {});
    EXPECT_EQ(intro->description(), "Segment(intro,[0.00-10.000000])");

    auto params = std::make_shared<Params>();
    Dictionary userInfo{{std::string(PlaygraphSegmentUserInfoPlaygraphParamsKey), params}};
    auto withParams = PlaygraphSegment::create(nullptr, "p", 1, 0, 10, kNaN, {}, userInfo);
    EXPECT_EQ(withParams->playgraphParams(), params);
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
