// The edits of segments and transitions: what each writes, and its refusals.

#include <gtest/gtest.h>

#include "EditingTestSupport.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

using Ids = std::vector<std::string>;

// I -> A -> B -> C with A also branching to D.
Dictionary chain() {
    return graph(
        "I", Dictionary{
                 {"I", seg(0, 1000,
                           {{"viewableId", 1}, {"defaultNext", "A"}, {"next", next({{"A", 50}})}})},
                 {"A", seg(0, 10000,
                           {{"viewableId", 1},
                            {"main", 7},
                            {"annotations", Dictionary{{"decorative", false}}},
                            {"userInfo", Dictionary{{"u", 1}}},
                            {"defaultNext", "B"},
                            {"next", next({{"B", 30}, {"D", 70}})}})},
                 {"B", seg(10000, 12000,
                           {{"viewableId", 1}, {"defaultNext", "C"}, {"next", next({{"C", 40}})}})},
                 {"C", seg(0, 3000, {{"viewableId", 2}})},
                 {"D", seg(0, 4000, {{"viewableId", 3}})},
             });
}

// The first and second half of A after a split, as the dictionary shows them.
Dictionary half(int start, int end, std::string defaultNext, Dictionary nextEntries,
                bool main = true) {
    Dictionary d = seg(start, end,
                       {{"viewableId", 1},
                        {"userInfo", Dictionary{{"u", 1}}},
                        {"defaultNext", defaultNext},
                        {"next", nextEntries}});
    if (main) d.set("main", 7);
    return d;
}

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

TEST(SegmentInsertion, BeforeRedirectsEveryIncomingTransition) {
    // B has two predecessors and a transition to itself; X names B without
    // a transition and is not a predecessor.
    const Dictionary autoplay{{"weight", 70}, {"autoplayType", 1}};
    auto p = MutablePlaygraph::create(graph(
        "A1", Dictionary{{"A1", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 30}})}})},
                         {"A2", seg(0, 1000, {{"next", Dictionary{{"B", autoplay}}}})},
                         {"B", seg(0, 1000, {{"main", 3}, {"next", next({{"B", 20}})}})},
                         {"X", seg(0, 1000, {{"defaultNext", "B"}})}}));
    p->insertSegmentBefore("B", "N", 9, 1.0, 2.0, nullptr);
    EXPECT_EQ(segmentIn(*p, "A1").get("defaultNext"), Value("N"));
    EXPECT_EQ(segmentIn(*p, "A1").get("next"), Value(next({{"N", 30}})));
    EXPECT_EQ(segmentIn(*p, "A2").get("next"), Value(Dictionary{{"N", autoplay}}));
    EXPECT_EQ(segmentIn(*p, "B").get("next"), Value(next({{"N", 20}})));
    EXPECT_EQ(
        Value(segmentIn(*p, "N")),
        Value(seg(
            1000, 2000,
            {{"viewableId", 9}, {"main", 3}, {"defaultNext", "B"}, {"next", next({{"B", 50}})}})));

    // Before the initial segment: the new segment becomes the initial one.
    auto q = MutablePlaygraph::create(chain());
    q->insertSegmentBefore("I", "P", 1, 0.0, 0.5, nullptr);
    EXPECT_EQ(defaultPath(*q), (Ids{"P", "I", "A", "B", "C"}));
}

TEST(SegmentInsertion, ChecksInOrderBeforeAnyChange) {
    struct Case {
        std::string reason, existing, id;
        Value viewable;
        double start, end;
    };
    const Case cases[] = {
        {"Cannot find segment Z", "Z", "A", 1, 2.0, 1.0},
        {"A segment with id B already exists", "A", "B", 1, 2.0, 1.0},
        {"A segment with id A already exists", "A", "A", 1, 0.0, 1.0},
        {"endTime (1.000000) must be after startTime (2.000000)", "A", "N", 1, 2.0, 1.0},
        {"startTime (nan) must be a finite number", "A", "N", 1, NaN, 1.0},
        {"endTime (inf) must be a finite number", "A", "N", 1, 0.0, Inf},
        {"viewableId (nan) must be a finite number", "A", "N", NaN, 0.0, 1.0},
    };
    auto p = MutablePlaygraph::create(chain());
    for (bool before : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(before);
            expectRefused(*p, c.reason, [&] {
                if (before) {
                    p->insertSegmentBefore(c.existing, c.id, c.viewable, c.start, c.end, nullptr);
                } else {
                    p->insertSegmentAfter(c.existing, c.id, c.viewable, c.start, c.end, true,
                                          nullptr);
                }
            });
        }
    }
    // Equal times pass and make a play-to-end segment.
    p->insertSegmentAfter("C", "N", 1, 2.0, 2.0, false, nullptr);
    EXPECT_TRUE(p->segmentById("N")->playToViewableEnd());
}

TEST(SegmentSplit, KeepingTheIdOnTheFirstHalf) {
    auto p = MutablePlaygraph::create(chain());
    const Dictionary oldNext = *segmentIn(*p, "A").get("next").dictionary();
    p->splitSegment("A", 4.0, "A", "A2");
    const Dictionary a = segmentIn(*p, "A");
    EXPECT_EQ(a.get("endTimeMs"), Value(4000));
    EXPECT_EQ(a.get("defaultNext"), Value("A2"));
    EXPECT_EQ(a.get("next"), Value(next({{"A2", 50}})));
    const Dictionary a2 = segmentIn(*p, "A2");
    EXPECT_EQ(Value(a2), Value(half(4000, 10000, "B", next({{"B", 30}, {"D", 70}}))));
    // The second half takes A's own "next" and shares its user info.
    EXPECT_TRUE(a2.get("next").dictionary()->sameAs(oldNext));
    EXPECT_TRUE(a2.get("userInfo").dictionary()->sameAs(*a.get("userInfo").dictionary()));
    EXPECT_EQ(defaultPath(*p), (Ids{"I", "A", "A2", "B", "C"}));

    // Split points before the start, down to the end of the 64-bit range.
    const std::pair<double, Value> splits[] = {{-0.5, -501},
                                               {-1e300, std::numeric_limits<int64_t>::min()}};
    for (const auto& [offset, boundary] : splits) {
        Dictionary d = chain();
        segOf(d, "A").set("startTimeMs", -1);
        auto q = MutablePlaygraph::create(d);
        q->splitSegment("A", offset, "A", "A2");
        EXPECT_EQ(segmentIn(*q, "A").get("endTimeMs"), boundary) << offset;
    }
}

// With A's self loop: the half that keeps A's transitions keeps the loop,
// which leads to the half named A, or to the first half when neither is.
TEST(SegmentSplit, KeepingTheIdOnTheSecondHalfOrNeither) {
    const auto withLoop = [] {
        Dictionary d = chain();
        Dictionary a = segOf(d, "A");
        Dictionary(*a.get("next").dictionary()).set("A", Dictionary{{"weight", 5}});
        return d;
    };
    auto p = MutablePlaygraph::create(withLoop());
    p->splitSegment("A", 4.0, "A1", "A");
    EXPECT_EQ(Value(segmentIn(*p, "A1")), Value(half(0, 4000, "A", next({{"A", 50}}))));
    const Dictionary a = segmentIn(*p, "A");
    EXPECT_EQ(a.get("startTimeMs"), Value(4000));
    EXPECT_EQ(a.get("defaultNext"), Value("B"));
    EXPECT_EQ(a.get("next"), Value(next({{"B", 30}, {"D", 70}, {"A", 5}})));
    EXPECT_EQ(segmentIn(*p, "I").get("next"), Value(next({{"A1", 50}})));

    Dictionary d = withLoop();
    segOf(d, "A").set("defaultNext", "A");
    d.set("initialSegment", "A");
    auto q = MutablePlaygraph::create(d);
    q->splitSegment("A", 1.2345, "A1", "A2");
    EXPECT_FALSE(q->segmentById("A"));
    EXPECT_EQ(Value(segmentIn(*q, "A1")), Value(half(0, 1234, "A2", next({{"A2", 50}}))));
    // The second half takes A's transitions but no "main".
    EXPECT_EQ(Value(segmentIn(*q, "A2")),
              Value(half(1234, 10000, "A1", next({{"B", 30}, {"D", 70}, {"A1", 5}}), false)));
    EXPECT_EQ(q->dictionaryRepresentation().get("initialSegment"), Value("A1"));
    EXPECT_TRUE(danglingReferences(q->dictionaryRepresentation()).empty());
}

TEST(SegmentSplit, ChecksInOrderBeforeAnyChange) {
    struct Case {
        std::string reason, id, first, second;
        double offset;
    };
    const Case cases[] = {
        {"Split segments must have different names", "A", "A", "A", 1},
        {"Split segments must have different names", "Z", "X", "X", 1},
        {"Split segments must have different names", "A", "B", "B", 1},
        {"A segment with id B already exists", "A", "B", "C", 1},
        {"A segment with id C already exists", "A", "A", "C", 1},
        {"Cannot find segment Z", "Z", "Z", "Z2", 1},
        {"offset (nan) must be a finite number", "A", "A", "A2", NaN},
        {"offset (-inf) must be a finite number", "A", "A", "A2", -Inf},
    };
    auto p = MutablePlaygraph::create(chain());
    for (const Case& c : cases)
        expectRefused(*p, c.reason, [&] { p->splitSegment(c.id, c.offset, c.first, c.second); });
}

TEST(SegmentRemoval, RedirectsPredecessorsAndASolePredecessorTakesOver) {
    // P1 and P2 lead to B, which leads to C by default; P1 also leads to C.
    auto p = MutablePlaygraph::create(graph(
        "P1",
        Dictionary{
            {"P1", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 30}, {"C", 10}})}})},
            {"P2", seg(0, 1000, {{"next", next({{"B", 70}})}})},
            {"B", seg(0, 1000, {{"defaultNext", "C"}, {"next", next({{"C", 50}})}})},
            {"C", seg(0, 1000)}}));
    p->removeSegment("B");
    EXPECT_EQ(segmentIn(*p, "P1").get("next"), Value(next({{"C", 30}})));
    EXPECT_EQ(segmentIn(*p, "P1").get("defaultNext"), Value("C"));
    EXPECT_EQ(segmentIn(*p, "P2").get("next"), Value(next({{"C", 70}})));
    EXPECT_FALSE(segmentIn(*p, "P2").contains("defaultNext"));

    // A sole predecessor A takes over every transition of B, the one to no
    // segment ("zz") included; a transition A already has wins.
    auto q = MutablePlaygraph::create(graph(
        "A",
        Dictionary{
            {"A", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 30}, {"D", 99}})}})},
            {"B", seg(0, 1000,
                      {{"defaultNext", "C"}, {"next", next({{"C", 50}, {"D", 20}, {"zz", 5}})}})},
            {"C", seg(0, 1000)},
            {"D", seg(0, 1000)}}));
    q->removeSegment("B");
    EXPECT_EQ(segmentIn(*q, "A").get("defaultNext"), Value("C"));
    EXPECT_EQ(segmentIn(*q, "A").get("next"), Value(next({{"C", 30}, {"D", 99}, {"zz", 5}})));

    // Many in and many out is refused; a loop to itself counts as both.
    auto r = MutablePlaygraph::create(graph(
        "A", Dictionary{
                 {"A", seg(0, 1000, {{"next", next({{"R", 1}})}})},
                 {"R", seg(0, 1000, {{"defaultNext", "C"}, {"next", next({{"R", 1}, {"C", 1}})}})},
                 {"C", seg(0, 1000)}}));
    expectRefused(
        *r,
        "Cannot remove segment R. A segment with multiple incoming transitions and multiple "
        "outgoing transitions cannot be removed.",
        [&] { r->removeSegment("R"); });
}

TEST(SegmentRemoval, InitialSegmentsAndSegmentsWithoutADefaultNext) {
    auto p = MutablePlaygraph::create(chain());
    p->removeSegment("I");
    EXPECT_EQ(p->dictionaryRepresentation().get("initialSegment"), Value("A"));

    // An isolated initial segment: the initial segment goes with it.
    auto lone = MutablePlaygraph::createPlaygraphWithViewableId(1, "v", 0, 1);
    lone->removeSegment("v");
    EXPECT_FALSE(lone->dictionaryRepresentation().contains("initialSegment"));

    // No "defaultNext" (or one naming itself): the transitions into the
    // segment are dropped and no reference to it remains. One naming no
    // segment ("zz") takes them there, properties and all, as any other.
    // R leads to itself, so it has two predecessors and one outgoing transition.
    for (const Value& defaultNext : {Value(), Value::null(), Value("R"), Value("zz")}) {
        SCOPED_TRACE(defaultNext.text());
        const Dictionary toR{{"weight", 1}, {"autoplayType", 1}};
        Dictionary d = graph(
            "R", Dictionary{
                     {"A", seg(0, 1000, {{"defaultNext", "R"}, {"next", Dictionary{{"R", toR}}}})},
                     {"R", seg(0, 1000, {{"next", next({{"R", 2}})}})},
                     {"C", seg(0, 1000)}});
        if (!defaultNext.isNone()) segOf(d, "R").set("defaultNext", defaultNext);
        const Value before = Value(d).deepCopy();
        auto q = MutablePlaygraph::create(d);
        q->removeSegment("R");
        const Dictionary rep = q->dictionaryRepresentation();
        const bool moved = defaultNext == Value("zz");
        EXPECT_EQ(rep.get("initialSegment"), moved ? defaultNext : Value());
        EXPECT_EQ(
            Value(segmentIn(*q, "A")),
            Value(moved ? seg(0, 1000, {{"defaultNext", "zz"}, {"next", Dictionary{{"zz", toR}}}})
                        : seg(0, 1000, {{"next", Dictionary{}}})));
        expectNoNewDanglingReferences(*before.dictionary(), rep);
    }
    // A single predecessor takes over the other transitions.
    auto s = MutablePlaygraph::create(graph(
        "A", Dictionary{{"A", seg(0, 1000, {{"defaultNext", "R"}, {"next", next({{"R", 1}})}})},
                        {"R", seg(0, 1000, {{"next", next({{"C", 3}, {"D", 4}})}})},
                        {"C", seg(0, 1000)},
                        {"D", seg(0, 1000)}}));
    s->removeSegment("R");
    EXPECT_FALSE(segmentIn(*s, "A").contains("defaultNext"));
    EXPECT_EQ(segmentIn(*s, "A").get("next"), Value(next({{"C", 3}, {"D", 4}})));
    EXPECT_TRUE(danglingReferences(s->dictionaryRepresentation()).empty());
}

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

// Setters may move the path between edits; the next edit still leaves every
// segment off the path at offset 0, as a fresh build does.
TEST(TransitionEditing, ANewDefaultAfterSettersMovedThePath) {
    auto p = MutablePlaygraph::create(chain());
    std::static_pointer_cast<PlaygraphSegment>(p->segmentById("A"))->setDefaultNext("D");
    p->segmentById("C")->setMovieDuration(5);
    p->addTransitionFromSegment("A", "C", true);
    EXPECT_EQ(p->segmentById("B")->offsetInPlaygraph(), 0.0);
    expectSameModel(*p, *MutablePlaygraph::create(p->dictionaryRepresentation()));
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
    // Also where there is no transition to update.
    expectRefused(*p, "properties (5) must be a dictionary",
                  [&] { p->updatePropertiesForAllTransitionfrom("D", 5); });
    expectRefused(*p, "properties (5) must be a dictionary",
                  [&] { p->updatePropertiesForAllTransitionsTo("D", 5); });

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
