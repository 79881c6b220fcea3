#include <gtest/gtest.h>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/model/PlaygraphSegmentExitZone.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

std::shared_ptr<QZPlaygraphSegmentTransition> transitionOf(const std::shared_ptr<QZPlaygraph>& p,
                                                           const std::string& from,
                                                           const std::string& to) {
    auto s = p->segmentById(from);
    const auto* t = s ? s->next().find(to) : nullptr;
    return t ? *t : nullptr;
}

} // namespace

TEST(Transition, ReadsTheFourKeysOfAnEntry) {
    auto p = Playgraph::create(graph(
        "src",
        Dictionary{
            {"src", seg(0, 1000,
                        {{"next", Dictionary{{"b", Dictionary{{"weight", 5},
                                                              {"skipRegionOffset", 1500.9},
                                                              {"autoplayType", 2},
                                                              {"transitionType", "immediate"},
                                                              {"skipRegionWeight", 9}}},
                                             {"c", Dictionary{{"weight", Value::null()},
                                                              {"skipRegionOffset", Value::null()},
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
}

TEST(Transition, WrongKindsReadAsAbsent) {
    auto t = PlaygraphSegmentTransition::create("b", Dictionary{{"skipRegionOffset", "2500"},
                                                                {"transitionType", 3},
                                                                {"autoplayType", Dictionary{}}});
    EXPECT_FALSE(t->skipRegionOffset());
    EXPECT_FALSE(t->transitionType());
    EXPECT_EQ(t->autoplayType(), 0);
    auto notADictionary = PlaygraphSegmentTransition::create("b", Value(17));
    EXPECT_TRUE(notADictionary->weight().isNone());
}

TEST(Transition, WeightOverrideHidesTheBaseWeight) {
    auto t = PlaygraphSegmentTransition::create("b", std::nullopt, 50, std::nullopt, 0);
    t->overrideWeight(0);
    EXPECT_EQ(t->weight(), Value(0));
    t->setWeight(70);
    EXPECT_EQ(t->weight(), Value(0));
    t->overrideWeight(Value());
    EXPECT_EQ(t->weight(), Value(70));
}

TEST(Transition, KeyFormsAndDestinationOffset) {
    auto lazy = PlaygraphSegmentTransition::create("b", std::string("lazy"), 1, std::nullopt, 0);
    auto untyped = PlaygraphSegmentTransition::create("b", std::nullopt, 1, std::nullopt, 0);
    // Without a source segment the key names "(null)".
    EXPECT_EQ(lazy->key(), "(null) -> b@0");
    untyped->setDestinationSegmentOffset(1.0 / 3.0);
    EXPECT_EQ(untyped->description(), "(null) -> b@0.3333333333333333");
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
