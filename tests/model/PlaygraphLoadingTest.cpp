#include <gtest/gtest.h>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

Dictionary story() {
    const Dictionary toRight{{"weight", 30}, {"transitionType", "immediate"}};
    return graph("intro",
                 Dictionary{{"intro", seg(0, 800,
                                          {{"main", 81},
                                           {"defaultNext", "left"},
                                           {"next", Dictionary{{"left", Dictionary{{"weight", 70}}},
                                                               {"right", toRight}}}})},
                            {"left", seg(800, 950)},
                            {"right", seg(0, Value::null(), {{"viewableId", 82}})}},
                 {{"playgraphId", "story-1"},
                  {"type", "branching"},
                  {"annotations", Dictionary{{"title", "Heist"}}}});
}

} // namespace

TEST(PlaygraphLoading, WorkedStoryExample) {
    auto p = Playgraph::create(story(), 81);
    EXPECT_EQ(p->playgraphId(), "story-1");
    EXPECT_EQ(p->valueForAnnotation("title"), Value("Heist"));
    EXPECT_DOUBLE_EQ(p->duration(), 0.95);
    EXPECT_EQ(p->mainViewableId(), Value(81));
    EXPECT_EQ(p->segmentById("intro")->viewableId(), Value(81));
    auto right = p->segmentById("right");
    EXPECT_TRUE(right->playToViewableEnd());
    EXPECT_EQ((*p->segmentById("intro")->next().find("right"))->destinationSegment(), right);
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{"intro", "left"}));
}

// Milliseconds become seconds by truncation; a single transition is the
// default next unless one is given (null counts as none); only branching
// playgraphs give segments the default viewable id.
TEST(PlaygraphLoading, SegmentFieldsAndTheirDefaults) {
    const Dictionary segments{
        {"a", seg(1000.9, 2500, {{"next", next({{"b", 1}})}})},
        {"b", seg(Value(), -5,
                  {{"viewableId", 5}, {"next", next({{"b", 1}})}, {"defaultNext", Value::null()}})},
        {"c", seg(33, 1500, {{"next", next({{"a", 1}, {"b", 2}})}})}};
    auto p = Playgraph::create(graph("a", segments, {{"type", "branching"}}), 9);
    EXPECT_EQ(p->segmentById("a")->startTime(), 1.0);
    EXPECT_EQ(p->segmentById("b")->startTime(), 0.0);
    EXPECT_TRUE(p->segmentById("b")->playToViewableEnd());
    EXPECT_EQ(p->segmentById("c")->startTime(), 0.033);
    EXPECT_EQ(p->segmentById("a")->defaultNext(), "b");
    EXPECT_EQ(p->segmentById("b")->defaultNext(), "b");
    EXPECT_FALSE(p->segmentById("c")->defaultNext());
    EXPECT_EQ(p->segmentById("a")->viewableId(), Value(9));
    EXPECT_EQ(p->segmentById("b")->viewableId(), Value(5));
    for (const auto& d : {graph("a", segments), graph("a", segments, {{"type", "Branching"}})})
        EXPECT_TRUE(Playgraph::create(d, 9)->segmentById("a")->viewableId().isNone());
}

TEST(PlaygraphLoading, MainViewableIdFollowsTheHostFlag) {
    Dictionary d = graph("a", Dictionary{{"a", seg(0, 1000, {{"main", 5}})},
                                         {"b", seg(0, 1000, {{"main", 6}})},
                                         {"c", seg(0, 1000)}});
    auto provider = std::make_shared<CountingProvider>(true);
    {
        ScopedProvider scope(provider);
        auto p = Playgraph::create(d);
        EXPECT_TRUE(p->mainViewableId() == Value(5) || p->mainViewableId() == Value(6));
    }
    // Asked once per segment that carries "main", also after it was set.
    EXPECT_EQ(provider->asked, 2);
    EXPECT_EQ(provider->lastFlag, "useMainViewableIdInPlaygraph");
    ScopedProvider scope(std::make_shared<CountingProvider>(false));
    EXPECT_TRUE(Playgraph::create(d)->mainViewableId().isNone());
}

// The duration adds each segment of the default path once, decorative ones
// too, though those move no offset; a missing initial segment gives none.
TEST(PlaygraphLoading, DurationAndOffsetsAlongTheDefaultPath) {
    const Dictionary decorative{{"decorative", 1}};
    struct Case {
        Dictionary d;
        double duration;
        std::vector<std::pair<std::string, double>> offsets;
    };
    const Case cases[] = {
        {graph("a", Dictionary{{"a", seg(0, 10000, {{"defaultNext", "b"}})},
                               {"b", seg(10000, 15000,
                                         {{"defaultNext", "c"}, {"annotations", decorative}})},
                               {"c", seg(0, 20000)},
                               {"off", seg(0, 1000)}}),
         35,
         {{"b", 10}, {"c", 10}, {"off", 0}}},
        {graph("a", Dictionary{{"a", seg(0, 10000, {{"defaultNext", "b"}})},
                               {"b", seg(0, 5000, {{"defaultNext", "a"}})}}),
         15,
         {{"b", 10}}},
        {Dictionary{}, 0, {}},
        {graph("zz", Dictionary{{"a", seg(0, 1000)}}), 0, {}},
    };
    for (const Case& c : cases) {
        auto p = Playgraph::create(c.d);
        EXPECT_EQ(p->duration(), c.duration);
        for (const auto& [id, offset] : c.offsets)
            EXPECT_EQ(p->segmentById(id)->offsetInPlaygraph(), offset) << id;
    }
    // Changing the initial segment does not recompute the duration by itself.
    auto unknown = Playgraph::create(cases[3].d);
    unknown->setInitialSegmentId("a");
    EXPECT_EQ(unknown->duration(), 0);
    unknown->calculateDefaultPathDuration();
    EXPECT_EQ(unknown->duration(), 1);
}

TEST(PlaygraphLoading, WronglyTypedInputReadsAsAbsent) {
    Dictionary d{
        {"playgraphId", 42},
        {"initialSegment", List{"a"}},
        {"type", 3},
        {"annotations", "none"},
        {"segments",
         Dictionary{{"a", seg("100", std::nan(""),
                              {{"viewableId", "81"},
                               {"defaultNext", 5},
                               {"next", List{"b"}},
                               {"annotations", List{}},
                               {"userInfo", "x"},
                               {"main", "81"}})},
                    {"b", seg(Inf, 1e300,
                              {{"next", Dictionary{{"a", "not an entry"}, {"c", Dictionary{}}}}})},
                    {"c", seg(-Inf, Value(std::numeric_limits<uint64_t>::max()))},
                    {"bad", Value("not a segment")},
                    {"nul", Value::null()}}}};
    auto p = Playgraph::create(d, "not a number");
    EXPECT_EQ(p->playgraphId().size(), 36u);
    EXPECT_FALSE(p->initialSegmentId());
    EXPECT_FALSE(p->type());
    EXPECT_TRUE(p->mainViewableId().isNone());
    EXPECT_FALSE(p->annotations());
    EXPECT_EQ(p->segmentById("bad"), nullptr);
    auto a = p->segmentById("a");
    EXPECT_EQ(a->startTime(), 0.0);
    EXPECT_TRUE(a->playToViewableEnd());
    EXPECT_TRUE(a->viewableId().isNone());
    EXPECT_FALSE(a->defaultNext());
    EXPECT_TRUE(a->next().empty());
    auto b = p->segmentById("b");
    EXPECT_EQ(b->startTime(), 0.0);
    EXPECT_EQ(b->endTime(), static_cast<double>(std::numeric_limits<int64_t>::max()) / 1000.0);
    EXPECT_EQ(b->next().size(), 1u);
    EXPECT_EQ(b->defaultNext(), "c");
    EXPECT_EQ(p->segmentById("c")->endTime(),
              static_cast<double>(std::numeric_limits<int64_t>::max()) / 1000.0);
    EXPECT_EQ(Playgraph::create(Value(List{1, 2}))->segmentMap().size(), 0u);
}

TEST(PlaygraphLoading, LargeChainBuildsInLinearTime) {
    EXPECT_EQ(Playgraph::create(chainOf(100000, true))->segmentById("s99999")->offsetInPlaygraph(),
              99999);
}
