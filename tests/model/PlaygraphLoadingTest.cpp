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

TEST(PlaygraphLoading, VeryLongIdsAndCrowdedEntries) {
    // Ids longer than the chunks that hold interned names, and segment and
    // transition entries with more keys than a build looks for.
    const std::string a(70000, 'a');
    const std::string b = a + "b";
    Dictionary entry{{"weight", 5}, {"skipRegionOffset", 1500}, {"autoplayType", 2}};
    Dictionary first = seg(1000, 2000, {{"defaultNext", b}, {"viewableId", 7}});
    for (int i = 0; i < 20; ++i) {
        entry.set("x" + std::to_string(i), i);
        first.set("y" + std::to_string(i), i);
    }
    first.set("next", Dictionary{{b, entry}});
    auto p = Playgraph::create(graph(a, Dictionary{{a, first}, {b, seg(0, 500)}}));
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{a, b}));
    EXPECT_DOUBLE_EQ(p->duration(), 1.5);
    EXPECT_EQ(p->segmentById(a)->viewableId(), Value(7));
    const auto t = p->segmentById(a)->next().begin()->second;
    EXPECT_EQ(t->destinationSegment(), p->segmentById(b));
    EXPECT_EQ(t->weight(), Value(5));
    EXPECT_EQ(t->skipRegionOffset(), 1.5);
    EXPECT_EQ(t->autoplayType(), 2);
}
