#include <gtest/gtest.h>

#include "EditingTestSupport.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

// A -> B (default, weight 30) and A -> C (weight 70); B -> C; C and D end.
Dictionary branching() {
    return graph(
        "A",
        Dictionary{
            {"A", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 30}, {"C", 70}})}})},
            {"B", seg(1000, 2000, {{"next", next({{"C", 50}})}})},
            {"C", seg(2000, 3000)},
            {"D", seg(0, 500)},
        });
}

} // namespace

TEST(TransitionEditing, AddsTransitionsWithTheGivenPropertiesOrWeight50) {
    auto p = MutablePlaygraph::create(branching());
    p->addTransitionFromSegment("C", "D", false);
    EXPECT_EQ(transitionIn(*p, "C", "D"), Value(Dictionary{{"weight", 50}}));
    // The only transition, without "defaultNext", leads on by default.
    EXPECT_FALSE(segmentIn(*p, "C").contains("defaultNext"));
    EXPECT_EQ(p->segmentById("C")->defaultNext(), "D");

    const Dictionary extra{{"x", 1}};
    p->addTransitionFromSegment("A", "D", true,
                                Dictionary{{"weight", 10}, {"autoplayType", 1}, {"extra", extra}});
    EXPECT_EQ(
        transitionIn(*p, "A", "D"),
        Value(Dictionary{{"weight", 10}, {"autoplayType", 1}, {"extra", Dictionary{{"x", 1}}}}));
    // The values themselves are stored, not copies.
    EXPECT_TRUE(transitionIn(*p, "A", "D").dictionary()->get("extra").dictionary()->sameAs(extra));
    EXPECT_DOUBLE_EQ(p->duration(), 1.5);

    // Self transitions are allowed; a null "next" is replaced.
    Dictionary d = branching();
    segOf(d, "D").set("next", Value::null());
    auto q = MutablePlaygraph::create(d);
    q->addTransitionFromSegment("D", "D", true, Value::null());
    EXPECT_EQ(transitionIn(*q, "D", "D"), Value(Dictionary{{"weight", 50}}));
}

TEST(TransitionEditing, AddRefusesMissingSegmentsExistingTransitionsAndBadProperties) {
    auto p = MutablePlaygraph::create(branching());
    expectRefused(*p, "Cannot find segment X",
                  [&] { p->addTransitionFromSegment("X", "Y", false); });
    expectRefused(*p, "Cannot find segment Y",
                  [&] { p->addTransitionFromSegment("A", "Y", false); });
    expectRefused(*p, "Transition from A to B already exists.", [&] {
        p->addTransitionFromSegment("A", "B", true, Dictionary{{"weight", 1}});
    });
    expectRefused(*p, "properties (5) must be a dictionary",
                  [&] { p->addTransitionFromSegment("A", "D", true, 5); });

    // A segment entry that is not a dictionary is no segment, but taken.
    Dictionary d = branching();
    d.get("segments").dictionary()->set("junk", List{1});
    segOf(d, "C").set("next", Dictionary{{"D", "junk"}});
    auto q = MutablePlaygraph::create(d);
    expectRefused(*q, "Cannot find segment junk",
                  [&] { q->addTransitionFromSegment("A", "junk", false); });
    expectRefused(*q, "Transition from C to D already exists.",
                  [&] { q->addTransitionFromSegment("C", "D", false); });
    expectRefused(*q, "A segment with id junk already exists",
                  [&] { q->insertSegmentAfter("A", "junk", 1, 0, 1, false, nullptr); });
}

TEST(TransitionEditing, MergesPropertiesIntoOneTransition) {
    auto p = MutablePlaygraph::create(branching());
    const Dictionary nested{{"n", 1}};
    p->updatePropertiesForTransitionFrom("A", "C",
                                         Dictionary{{"autoplayType", 2}, {"nested", nested}});
    EXPECT_EQ(transitionIn(*p, "A", "C"),
              Value(Dictionary{{"weight", 70}, {"autoplayType", 2}, {"nested", nested}}));
    // Values are stored as copies.
    EXPECT_FALSE(
        transitionIn(*p, "A", "C").dictionary()->get("nested").dictionary()->sameAs(nested));
    p->updatePropertiesForTransitionFrom("A", "C", Dictionary{{"weight", 5}});
    EXPECT_EQ(p->segmentById("A")->next().find("C")->get()->weight(), Value(5));

    expectRefused(*p, "Cannot find segment X",
                  [&] { p->updatePropertiesForTransitionFrom("X", "Y", Dictionary{}); });
    expectRefused(*p, "Cannot find segment Y",
                  [&] { p->updatePropertiesForTransitionFrom("A", "Y", Dictionary{}); });
    expectRefused(*p, "Cannot find transition from C to A", [&] {
        p->updatePropertiesForTransitionFrom("C", "A", Dictionary{{"weight", 1}});
    });

    // Properties that name the transition itself are read as a snapshot.
    Dictionary own = *transitionIn(*p, "A", "B").dictionary();
    p->updatePropertiesForTransitionFrom("A", "B", own);
    EXPECT_EQ(transitionIn(*p, "A", "B"), Value(Dictionary{{"weight", 30}}));
}

TEST(TransitionEditing, MergesIntoAllTransitionsToASegment) {
    Dictionary d = branching();
    segOf(d, "C").set("next", next({{"C", 1}}));
    d.get("segments").dictionary()->set("junk", 3);
    auto p = MutablePlaygraph::create(d);
    p->updatePropertiesForAllTransitionsTo("C", Dictionary{{"transitionType", "immediate"}});
    for (const char* from : {"A", "B", "C"}) {
        EXPECT_EQ(transitionIn(*p, from, "C").dictionary()->get("transitionType"),
                  Value("immediate"))
            << from;
    }
    EXPECT_EQ(transitionIn(*p, "A", "B"), Value(Dictionary{{"weight", 30}}));
    expectRefused(*p, "Cannot find segment X",
                  [&] { p->updatePropertiesForAllTransitionsTo("X", Dictionary{}); });

    // Without segments there is nothing to check or change.
    auto empty = MutablePlaygraph::create(Dictionary{{"segments", Dictionary{}}});
    EXPECT_NO_THROW(empty->updatePropertiesForAllTransitionsTo("X", Dictionary{}));
}

TEST(TransitionEditing, MergesIntoAllTransitionsFromASegmentOrNone) {
    auto p = MutablePlaygraph::create(branching());
    p->updatePropertiesForAllTransitionfrom("A", Dictionary{{"weight", 1}});
    EXPECT_EQ(transitionIn(*p, "A", "B"), Value(Dictionary{{"weight", 1}}));
    EXPECT_NO_THROW(p->updatePropertiesForAllTransitionfrom("D", Dictionary{{"weight", 1}}));
    EXPECT_FALSE(segmentIn(*p, "D").contains("next"));
    expectRefused(*p, "Cannot find segment X",
                  [&] { p->updatePropertiesForAllTransitionfrom("X", Dictionary{}); });

    // A transition to a missing segment is found before anything changes.
    Dictionary d = branching();
    nextOf(d, "A").set("gone", Dictionary{{"weight", 9}});
    auto q = MutablePlaygraph::create(d);
    expectRefused(*q, "Cannot find segment gone", [&] {
        q->updatePropertiesForAllTransitionfrom("A", Dictionary{{"weight", 2}});
    });
}

TEST(TransitionEditing, ChangesTheDefaultNextOnlyAlongATransition) {
    auto p = MutablePlaygraph::create(branching());
    p->updateDefaultNextFromSegment("A", "C");
    EXPECT_EQ(segmentIn(*p, "A").get("defaultNext"), Value("C"));
    EXPECT_DOUBLE_EQ(p->duration(), 2.0);
    expectRefused(*p, "Cannot find segment X", [&] { p->updateDefaultNextFromSegment("X", "Y"); });
    expectRefused(*p, "Cannot find segment Y", [&] { p->updateDefaultNextFromSegment("A", "Y"); });
    expectRefused(*p, "Cannot set A as defaultNext after B. Transition not found.",
                  [&] { p->updateDefaultNextFromSegment("B", "A"); });
}

TEST(TransitionEditing, RecordsSkipRegions) {
    // Two rebuilds: the provider is asked twice about each of the two "main" segments.
    auto provider = std::make_shared<CountingProvider>(true);
    Dictionary d = branching();
    segOf(d, "A").set("main", 4);
    segOf(d, "C").set("main", 4);
    ScopedProvider scoped(provider);
    auto p = MutablePlaygraph::create(d);
    provider->asked = 0;
    p->supportSkippingSegment("A", "C", 2.5, 7);
    EXPECT_EQ(provider->asked, 4);
    // Kinds count: a double offset in milliseconds and an unsigned weight.
    const Dictionary transition = *transitionIn(*p, "A", "C").dictionary();
    EXPECT_EQ(transition.get("skipRegionOffset").kind(), Value::Kind::Double);
    EXPECT_EQ(transition.get("skipRegionWeight").kind(), Value::Kind::UInt);
    EXPECT_EQ(p->segmentById("A")->next().find("C")->get()->skipRegionOffset(), 2.5);

    expectRefused(*p, "Cannot find transition from B to A",
                  [&] { p->supportSkippingSegment("B", "A", 1.0, 1); });
    expectRefused(*p, "Cannot find segment X",
                  [&] { p->supportSkippingSegment("X", "A", 1.0, 1); });
    expectRefused(*p, "offset (nan) must be a finite number",
                  [&] { p->supportSkippingSegment("A", "B", NaN, 1); });
}
