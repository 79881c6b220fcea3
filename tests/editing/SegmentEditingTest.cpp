#include <gtest/gtest.h>

#include <limits>

#include "EditingTestSupport.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Params : QZPlaygraphParams {};

Dictionary segmentIn(const MutablePlaygraph& p, const std::string& id) {
    return *p.dictionaryRepresentation().get("segments").dictionary()->get(id).dictionary();
}

bool hasSegment(const MutablePlaygraph& p, const std::string& id) {
    return p.dictionaryRepresentation().get("segments").dictionary()->contains(id);
}

std::vector<std::string> defaultPath(const MutablePlaygraph& p) {
    std::vector<std::string> out;
    p.defaultPathTraversal([&](const auto& s, uint64_t, bool&) { out.push_back(s->segmentId()); });
    return out;
}

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

} // namespace

TEST(SegmentInsertion, AfterAddsABranchOrANewDefaultEnd) {
    auto p = MutablePlaygraph::create(chain());
    auto params = std::make_shared<Params>();
    p->insertSegmentAfter("C", "E", 4, 1.2345, 2.0, true, params);
    EXPECT_EQ(
        Value(segmentIn(*p, "E")),
        Value(Dictionary{{"viewableId", 4},
                         {"startTimeMs", 1234},
                         {"endTimeMs", 2000},
                         {"userInfo", Dictionary{{"PlaygraphSegmentUserInfoPlaygraphParamsKey",
                                                  Value(params)}}}}));
    EXPECT_EQ(p->segmentById("E")->playgraphParams(), params);
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{"I", "A", "B", "C", "E"}));

    p->insertSegmentAfter("A", "F", Value(), 0.0, 1.0, false, nullptr);
    EXPECT_EQ(Value(segmentIn(*p, "F")),
              Value(Dictionary{{"main", 7}, {"startTimeMs", 0}, {"endTimeMs", 1000}}));
    EXPECT_EQ(segmentIn(*p, "A").get("next"), Value(next({{"B", 30}, {"D", 70}, {"F", 50}})));
    EXPECT_EQ(segmentIn(*p, "A").get("defaultNext"), Value("B"));

    p->insertSegmentAfter("A", "G", 1, 0.0, 1.0, true, nullptr);
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{"I", "A", "G"}));
    EXPECT_EQ(segmentIn(*p, "A").get("next").dictionary()->size(), 4u);
    EXPECT_EQ(p->dictionaryRepresentation().get("initialSegment"), Value("I"));
}

TEST(SegmentInsertion, BeforeRedirectsEveryIncomingTransition) {
    // B has two predecessors and a transition to itself; X names B without
    // a transition and is not a predecessor.
    Dictionary d = graph(
        "A1",
        Dictionary{
            {"A1", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 30}})}})},
            {"A2",
             seg(0, 1000,
                 {{"next", Dictionary{{"B", Dictionary{{"weight", 70}, {"autoplayType", 1}}}}}})},
            {"B", seg(0, 1000, {{"main", 3}, {"next", next({{"B", 20}})}})},
            {"X", seg(0, 1000, {{"defaultNext", "B"}})},
        });
    auto p = MutablePlaygraph::create(d);
    p->insertSegmentBefore("B", "N", 9, 1.0, 2.0, nullptr);
    EXPECT_EQ(segmentIn(*p, "A1").get("defaultNext"), Value("N"));
    EXPECT_EQ(segmentIn(*p, "A1").get("next"), Value(next({{"N", 30}})));
    EXPECT_EQ(segmentIn(*p, "A2").get("next"),
              Value(Dictionary{{"N", Dictionary{{"weight", 70}, {"autoplayType", 1}}}}));
    EXPECT_FALSE(segmentIn(*p, "A2").contains("defaultNext"));
    EXPECT_EQ(segmentIn(*p, "B").get("next"), Value(next({{"N", 20}})));
    EXPECT_EQ(segmentIn(*p, "X").get("defaultNext"), Value("B"));
    EXPECT_EQ(Value(segmentIn(*p, "N")), Value(Dictionary{{"viewableId", 9},
                                                          {"main", 3},
                                                          {"startTimeMs", 1000},
                                                          {"endTimeMs", 2000},
                                                          {"defaultNext", "B"},
                                                          {"next", next({{"B", 50}})}}));
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{"A1", "N", "B"}));
    EXPECT_EQ(p->initialSegmentId(), "A1");

    // Before the initial segment: the new segment becomes the initial one.
    auto q = MutablePlaygraph::create(chain());
    q->insertSegmentBefore("I", "P", 1, 0.0, 0.5, nullptr);
    EXPECT_EQ(q->dictionaryRepresentation().get("initialSegment"), Value("P"));
    EXPECT_EQ(q->initialSegmentId(), "P");
    EXPECT_EQ(defaultPath(*q), (std::vector<std::string>{"P", "I", "A", "B", "C"}));
    EXPECT_DOUBLE_EQ(q->duration(), 16.5);
}

TEST(SegmentInsertion, ChecksInOrderBeforeAnyChange) {
    auto p = MutablePlaygraph::create(chain());
    for (bool before : {false, true}) {
        const auto insert = [&](std::string existing, std::string id, Value viewable, double start,
                                double end) {
            return [=, &p] {
                if (before) {
                    p->insertSegmentBefore(existing, id, viewable, start, end, nullptr);
                } else {
                    p->insertSegmentAfter(existing, id, viewable, start, end, true, nullptr);
                }
            };
        };
        expectRefused(*p, "Cannot find segment Z", insert("Z", "A", 1, 2.0, 1.0));
        expectRefused(*p, "A segment with id B already exists", insert("A", "B", 1, 2.0, 1.0));
        expectRefused(*p, "A segment with id A already exists", insert("A", "A", 1, 0.0, 1.0));
        expectRefused(*p, "endTime (1.000000) must be after startTime (2.000000)",
                      insert("A", "N", 1, 2.0, 1.0));
        expectRefused(*p, "startTime (nan) must be a finite number",
                      insert("A", "N", 1, kNaN, 1.0));
        expectRefused(*p, "endTime (nan) must be a finite number", insert("A", "N", 1, 0.0, kNaN));
        expectRefused(*p, "endTime (inf) must be a finite number",
                      insert("A", "N", 1, 0.0, std::numeric_limits<double>::infinity()));
        expectRefused(*p, "viewableId (one) must be a number", insert("A", "N", "one", 0.0, 1.0));
    }
    // Equal times pass and make a play-to-end segment.
    p->insertSegmentAfter("C", "N", 1, 2.0, 2.0, false, nullptr);
    EXPECT_TRUE(p->segmentById("N")->playToViewableEnd());
}

TEST(SegmentSplit, KeepingTheIdOnTheFirstHalf) {
    Dictionary d = chain();
    auto p = MutablePlaygraph::create(d);
    const Dictionary oldNext = *segmentIn(*p, "A").get("next").dictionary();
    p->splitSegment("A", 4.0, "A", "A2");
    const Dictionary a = segmentIn(*p, "A");
    EXPECT_EQ(a.get("endTimeMs"), Value(4000));
    EXPECT_EQ(a.get("defaultNext"), Value("A2"));
    EXPECT_EQ(a.get("next"), Value(next({{"A2", 50}})));
    EXPECT_TRUE(a.contains("annotations"));
    const Dictionary a2 = segmentIn(*p, "A2");
    EXPECT_EQ(Value(a2), Value(Dictionary{{"viewableId", 1},
                                          {"main", 7},
                                          {"startTimeMs", 4000},
                                          {"endTimeMs", 10000},
                                          {"userInfo", Dictionary{{"u", 1}}},
                                          {"defaultNext", "B"},
                                          {"next", next({{"B", 30}, {"D", 70}})}}));
    EXPECT_TRUE(a2.get("next").dictionary()->sameAs(oldNext));
    EXPECT_TRUE(a2.get("userInfo").dictionary()->sameAs(*a.get("userInfo").dictionary()));
    EXPECT_EQ(segmentIn(*p, "I").get("next"), Value(next({{"A", 50}})));
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{"I", "A", "A2", "B", "C"}));
    EXPECT_DOUBLE_EQ(p->duration(), 16.0);
}

TEST(SegmentSplit, KeepingTheIdOnTheSecondHalf) {
    Dictionary d = chain();
    d.get("segments")
        .dictionary()
        ->get("A")
        .dictionary()
        ->get("next")
        .dictionary()
        ->set("A", Dictionary{{"weight", 5}});
    auto p = MutablePlaygraph::create(d);
    p->splitSegment("A", 4.0, "A1", "A");
    EXPECT_EQ(Value(segmentIn(*p, "A1")), Value(Dictionary{{"viewableId", 1},
                                                           {"main", 7},
                                                           {"startTimeMs", 0},
                                                           {"endTimeMs", 4000},
                                                           {"userInfo", Dictionary{{"u", 1}}},
                                                           {"defaultNext", "A"},
                                                           {"next", next({{"A", 50}})}}));
    const Dictionary a = segmentIn(*p, "A");
    EXPECT_EQ(a.get("startTimeMs"), Value(4000));
    EXPECT_EQ(a.get("defaultNext"), Value("B"));
    // A keeps its transition to itself.
    EXPECT_EQ(a.get("next"), Value(next({{"B", 30}, {"D", 70}, {"A", 5}})));
    EXPECT_EQ(p->dictionaryRepresentation().get("initialSegment"), Value("I"));
    EXPECT_EQ(segmentIn(*p, "I").get("defaultNext"), Value("A1"));
    EXPECT_EQ(segmentIn(*p, "I").get("next"), Value(next({{"A1", 50}})));

    // Splitting the initial segment this way makes the first half initial.
    auto q = MutablePlaygraph::create(chain());
    q->splitSegment("I", 0.0009, "I0", "I");
    EXPECT_EQ(q->initialSegmentId(), "I0");
    EXPECT_EQ(segmentIn(*q, "I").get("startTimeMs"), Value(0));
}

TEST(SegmentSplit, WithTwoNewIds) {
    Dictionary d = chain();
    d.get("segments")
        .dictionary()
        ->get("A")
        .dictionary()
        ->get("next")
        .dictionary()
        ->set("A", Dictionary{{"weight", 5}});
    d.get("segments").dictionary()->get("A").dictionary()->set("defaultNext", "A");
    d.set("initialSegment", "A");
    auto p = MutablePlaygraph::create(d);
    p->splitSegment("A", 1.2345, "A1", "A2");
    EXPECT_FALSE(hasSegment(*p, "A"));
    EXPECT_EQ(Value(segmentIn(*p, "A1")), Value(Dictionary{{"viewableId", 1},
                                                           {"main", 7},
                                                           {"startTimeMs", 0},
                                                           {"endTimeMs", 1234},
                                                           {"userInfo", Dictionary{{"u", 1}}},
                                                           {"defaultNext", "A2"},
                                                           {"next", next({{"A2", 50}})}}));
    // The second half takes A's transitions (the one to itself now leads to
    // the first half) but no "main".
    EXPECT_EQ(Value(segmentIn(*p, "A2")),
              Value(Dictionary{{"viewableId", 1},
                               {"startTimeMs", 1234},
                               {"endTimeMs", 10000},
                               {"userInfo", Dictionary{{"u", 1}}},
                               {"defaultNext", "A1"},
                               {"next", next({{"B", 30}, {"D", 70}, {"A1", 5}})}}));
    EXPECT_EQ(p->dictionaryRepresentation().get("initialSegment"), Value("A1"));
    EXPECT_EQ(segmentIn(*p, "I").get("next"), Value(next({{"A1", 50}})));
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{"A1", "A2"}));
    expectNoDanglingReferences(p->dictionaryRepresentation());
}

TEST(SegmentSplit, ChecksInOrderBeforeAnyChange) {
    auto p = MutablePlaygraph::create(chain());
    expectRefused(*p, "Split segments must have different names",
                  [&] { p->splitSegment("A", 1, "A", "A"); });
    expectRefused(*p, "Split segments must have different names",
                  [&] { p->splitSegment("Z", 1, "X", "X"); });
    expectRefused(*p, "A segment with id B already exists",
                  [&] { p->splitSegment("A", 1, "B", "C"); });
    expectRefused(*p, "A segment with id C already exists",
                  [&] { p->splitSegment("A", 1, "A", "C"); });
    expectRefused(*p, "Cannot find segment Z", [&] { p->splitSegment("Z", 1, "Z", "Z2"); });
    expectRefused(*p, "offset (nan) must be a finite number",
                  [&] { p->splitSegment("A", kNaN, "A", "A2"); });
    expectRefused(*p, "offset (-inf) must be a finite number", [&] {
        p->splitSegment("A", -std::numeric_limits<double>::infinity(), "A", "A2");
    });
}

TEST(SegmentRemoval, ReconnectsASinglePredecessor) {
    // A -> B (weight 30) -> C (default) and B -> D (weight 20).
    const auto make = [] {
        return graph(
            "A",
            Dictionary{
                {"A", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 30}})}})},
                {"B", seg(0, 1000, {{"defaultNext", "C"}, {"next", next({{"C", 50}, {"D", 20}})}})},
                {"C", seg(0, 1000)},
                {"D", seg(0, 1000)},
            });
    };
    auto p = MutablePlaygraph::create(make());
    p->removeSegment("B");
    EXPECT_FALSE(hasSegment(*p, "B"));
    EXPECT_EQ(segmentIn(*p, "A").get("defaultNext"), Value("C"));
    EXPECT_EQ(segmentIn(*p, "A").get("next"), Value(next({{"C", 30}, {"D", 20}})));
    EXPECT_EQ(defaultPath(*p), (std::vector<std::string>{"A", "C"}));

    // A transition the predecessor already has wins over B's.
    Dictionary e = make();
    e.get("segments")
        .dictionary()
        ->get("A")
        .dictionary()
        ->get("next")
        .dictionary()
        ->set("D", Dictionary{{"weight", 99}});
    auto q = MutablePlaygraph::create(e);
    q->removeSegment("B");
    EXPECT_EQ(segmentIn(*q, "A").get("next"), Value(next({{"C", 30}, {"D", 99}})));

    // A transition to the target is replaced by the redirected one.
    Dictionary f = make();
    f.get("segments")
        .dictionary()
        ->get("A")
        .dictionary()
        ->get("next")
        .dictionary()
        ->set("C", Dictionary{{"weight", 1}});
    const Dictionary toB = *f.get("segments")
                                .dictionary()
                                ->get("A")
                                .dictionary()
                                ->get("next")
                                .dictionary()
                                ->get("B")
                                .dictionary();
    auto r = MutablePlaygraph::create(f);
    r->removeSegment("B");
    EXPECT_TRUE(segmentIn(*r, "A").get("next").dictionary()->get("C").dictionary()->sameAs(toB));
    EXPECT_EQ(segmentIn(*r, "A").get("next"), Value(next({{"C", 30}, {"D", 20}})));
}

TEST(SegmentRemoval, RedirectsSeveralPredecessorsToTheDefaultNext) {
    // P1 and P2 lead to B; P1 also to C, which B leads to by default.
    Dictionary d = graph(
        "P1",
        Dictionary{
            {"P1", seg(0, 1000, {{"defaultNext", "B"}, {"next", next({{"B", 30}, {"C", 10}})}})},
            {"P2", seg(0, 1000, {{"next", next({{"B", 70}})}})},
            {"B", seg(0, 1000, {{"defaultNext", "C"}, {"next", next({{"C", 50}})}})},
            {"C", seg(0, 1000)},
            {"X", seg(0, 1000, {{"defaultNext", "C"}})},
        });
    auto p = MutablePlaygraph::create(d);
    p->removeSegment("B");
    EXPECT_EQ(segmentIn(*p, "P1").get("next"), Value(next({{"C", 30}})));
    EXPECT_EQ(segmentIn(*p, "P1").get("defaultNext"), Value("C"));
    EXPECT_EQ(segmentIn(*p, "P2").get("next"), Value(next({{"C", 70}})));
    EXPECT_FALSE(segmentIn(*p, "P2").contains("defaultNext"));

    // Many in and many out is refused; a loop to itself counts as both.
    Dictionary r = graph(
        "A", Dictionary{
                 {"A", seg(0, 1000, {{"next", next({{"R", 1}})}})},
                 {"R", seg(0, 1000, {{"defaultNext", "C"}, {"next", next({{"R", 1}, {"C", 1}})}})},
                 {"C", seg(0, 1000)},
             });
    auto q = MutablePlaygraph::create(r);
    expectRefused(
        *q,
        "Cannot remove segment R. A segment with multiple incoming transitions and multiple "
        "outgoing transitions cannot be removed.",
        [&] { q->removeSegment("R"); });
    expectRefused(*q, "Cannot find segment Z", [&] { q->removeSegment("Z"); });
}

TEST(SegmentRemoval, InitialSegmentsAndSegmentsWithoutADefaultNext) {
    auto p = MutablePlaygraph::create(chain());
    p->removeSegment("I");
    EXPECT_EQ(p->dictionaryRepresentation().get("initialSegment"), Value("A"));
    EXPECT_EQ(p->initialSegmentId(), "A");

    // An isolated initial segment: the initial segment goes with it.
    auto lone = MutablePlaygraph::createPlaygraphWithViewableId(1, "v", 0, 1);
    lone->removeSegment("v");
    EXPECT_FALSE(lone->dictionaryRepresentation().contains("initialSegment"));
    EXPECT_FALSE(lone->initialSegmentId());
    EXPECT_EQ(lone->duration(), 0.0);

    // No "defaultNext" (or one naming itself or nothing): the transitions
    // into the segment are dropped, no reference to it remains, and a single
    // predecessor takes over its other transitions.
    for (const Value& defaultNext : {Value(), Value::null(), Value("R"), Value("gone")}) {
        SCOPED_TRACE(defaultNext.text());
        Dictionary d =
            graph("R", Dictionary{
                           {"A", seg(0, 1000, {{"defaultNext", "R"}, {"next", next({{"R", 1}})}})},
                           {"R", seg(0, 1000, {{"next", next({{"R", 2}, {"C", 3}})}})},
                           {"C", seg(0, 1000)},
                       });
        if (!defaultNext.isNone())
            d.get("segments").dictionary()->get("R").dictionary()->set("defaultNext", defaultNext);
        // R leads to itself, so it has two predecessors and at most one
        // other outgoing transition to be removable.
        d.get("segments").dictionary()->get("R").dictionary()->get("next").dictionary()->erase("C");
        auto q = MutablePlaygraph::create(d);
        q->removeSegment("R");
        const Dictionary rep = q->dictionaryRepresentation();
        EXPECT_FALSE(rep.contains("initialSegment"));
        EXPECT_FALSE(segmentIn(*q, "A").contains("defaultNext"));
        EXPECT_EQ(segmentIn(*q, "A").get("next"), Value(Dictionary{}));
        expectNoDanglingReferences(rep);
    }
    Dictionary single =
        graph("A", Dictionary{
                       {"A", seg(0, 1000, {{"defaultNext", "R"}, {"next", next({{"R", 1}})}})},
                       {"R", seg(0, 1000, {{"next", next({{"C", 3}, {"D", 4}})}})},
                       {"C", seg(0, 1000)},
                       {"D", seg(0, 1000)},
                   });
    auto s = MutablePlaygraph::create(single);
    s->removeSegment("R");
    EXPECT_FALSE(segmentIn(*s, "A").contains("defaultNext"));
    EXPECT_EQ(segmentIn(*s, "A").get("next"), Value(next({{"C", 3}, {"D", 4}})));
    expectNoDanglingReferences(s->dictionaryRepresentation());
}
