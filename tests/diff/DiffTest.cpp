// diff, apply and merge of playgraph dictionaries: random stories edited at
// random, and the cases a reviewer reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "../editing/EditingTestSupport.hpp"
#include "playgraph/diff/Diff.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

// The value at a path of keys; none when a step is missing.
Value at(const Value& root, const KeyPath& path) {
    Value v = root;
    for (const auto& key : path) {
        if (!v.isDictionary()) return Value();
        v = v.dictionary()->get(key);
    }
    return v;
}

bool nests(const KeyPath& a, const KeyPath& b) {
    const auto n = std::min(a.size(), b.size());
    return std::equal(a.begin(), a.begin() + static_cast<long>(n), b.begin());
}

// Every change carries the values found at its path on both sides, and no
// two changes overlap.
void expectFaithful(const Value& before, const Value& after, const PlaygraphDiff& d) {
    for (std::size_t i = 0; i < d.size(); ++i) {
        const auto& c = d.changes[i];
        SCOPED_TRACE(keyPathText(c.path));
        EXPECT_EQ(c.before, at(before, c.path));
        if (c.kind == ChangeKind::SegmentRenamed) {
            EXPECT_TRUE(at(after, c.path).isNone());
            EXPECT_EQ(c.after, at(after, {"segments", c.renamedTo}));
            EXPECT_TRUE(at(before, {"segments", c.renamedTo}).isNone());
        } else {
            EXPECT_EQ(c.after, at(after, c.path));
        }
        EXPECT_FALSE(c.before == c.after && c.kind != ChangeKind::SegmentRenamed);
        for (std::size_t j = i + 1; j < d.size(); ++j)
            EXPECT_FALSE(nests(c.path, d.changes[j].path)) << keyPathText(d.changes[j].path);
    }
}

// Changes a random entry of the dictionary the way a host or a text editor
// may, beside the editing operations: annotations and user info at any
// depth, a segment moved whole to a new id.
void randomDictionaryChange(std::mt19937& rng, Dictionary& root, int& fresh) {
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    Value segmentsValue = root.get("segments");
    if (!segmentsValue.isDictionary()) return;
    Dictionary segments = *segmentsValue.dictionary();
    const auto ids = segments.keys();
    if (ids.empty()) return;
    const std::string id = ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))];
    Value segmentValue = segments.get(id);
    if (!segmentValue.isDictionary()) return;
    Dictionary segment = *segmentValue.dictionary();
    const auto nested = [&](const char* key) {
        Value v = segment.get(key);
        if (!v.isDictionary()) {
            v = Dictionary();
            segment.set(key, v);
        }
        return *v.dictionary();
    };
    switch (pick(8)) {
    case 0:
        nested("annotations").set(pick(2) ? "decorative" : "breakIndex", pick(3));
        break;
    case 1: {
        Dictionary info = nested("userInfo");
        Value deep = info.get("author");
        if (!deep.isDictionary())
            info.set("author", Dictionary{{"name", "x"}});
        else
            deep.dictionary()->set(pick(2) ? "name" : "team", "t" + std::to_string(pick(4)));
        break;
    }
    case 2:
        static_cast<void>(segment.erase("annotations"));
        break;
    case 3:
        segment.set("transitionType", pick(2) ? "immediate" : "lazy");
        break;
    case 4:
        segment.set("viewableId", pick(3));
        break;
    case 5: // moved whole, references left as they were
        EXPECT_TRUE(segments.erase(id));
        segments.set("moved" + std::to_string(fresh++), segment);
        break;
    case 6:
        segment.set("main", pick(2) ? Value(7) : Value(7.0));
        break;
    default:
        segment.set("next", Value::null());
        break;
    }
}

// A story edited at random, by editing operations and setters on the model
// and by direct changes of its dictionary.
Value edited(std::mt19937& rng, const Value& base, int steps) {
    auto p = MutablePlaygraph::create(base.deepCopy(), 9);
    int fresh = 0;
    for (int step = 0; step < steps; ++step) {
        try {
            if (rng() % 3 == 0) randomSetterCall(rng, *p);
            if (rng() % 4 == 0) {
                Dictionary root = p->dictionaryRepresentation();
                randomDictionaryChange(rng, root, fresh);
                p->load();
            } else {
                randomEdit(rng, *p, fresh);
            }
        } catch (const InvalidArgumentError&) {
        }
    }
    // The playgraph keeps its own top level: those entries change here.
    Value out = Value(p->dictionaryRepresentation()).deepCopy();
    Dictionary& root = *out.dictionary();
    switch (rng() % 6) {
    case 0:
        root.set(rng() % 2 ? "type" : "playgraphId", "v" + std::to_string(rng() % 3));
        break;
    case 1: {
        Value top = root.get("annotations");
        if (!top.isDictionary())
            root.set("annotations", Dictionary{{"title", "t"}});
        else
            top.dictionary()->set("season", int(rng() % 5));
        break;
    }
    default:
        break;
    }
    return out;
}

} // namespace

// ---- diff and apply ----

TEST(Diff, ApplyingTheDiffOfRandomEditsGivesTheEditedStory) {
    std::mt19937 rng(32);
    std::set<ChangeKind> seen;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        const Value before(randomPlaygraph(rng, 2 + static_cast<int>(rng() % 20), round % 2));
        const Value after = edited(rng, before, 1 + static_cast<int>(rng() % 12));
        const Value beforeCopy = before.deepCopy();
        const PlaygraphDiff d = diff(before, after);
        for (const auto& c : d)
            seen.insert(c.kind);
        ASSERT_EQ(apply(before, d), after);
        EXPECT_EQ(before, beforeCopy); // nothing given is changed
        expectFaithful(before, after, d);
        EXPECT_TRUE(diff(after, after).empty());
        EXPECT_TRUE(diff(apply(before, d), after).empty());
        // The reverse diff undoes it; the dictionary form reads back.
        EXPECT_EQ(apply(after, diff(after, before)), before);
        EXPECT_EQ(PlaygraphDiff::fromValue(d.toValue()), d);
        if (HasFailure()) return;
    }
    for (int kind = 0; kind < 15; ++kind) // every kind of change turned up
        EXPECT_TRUE(seen.count(ChangeKind(kind))) << changeKindName(ChangeKind(kind));
}

// Dictionaries of every kind of value, nested at random: the exact
// comparison holds whatever the content.
TEST(Diff, ApplyingTheDiffOfRandomValuesIsExact) {
    std::mt19937 rng(7);
    for (int round = 0; round < 600; ++round) {
        SCOPED_TRACE(round);
        const auto dictionary = [&] {
            Value v;
            while (!v.isDictionary())
                v = randomValue(rng, 4);
            return v;
        };
        const Value before = dictionary();
        Value after = rng() % 2 ? dictionary() : before.deepCopy();
        if (rng() % 2) after.dictionary()->set("segments", randomValue(rng, 3));
        const PlaygraphDiff d = diff(before, after);
        ASSERT_EQ(apply(before, d), after);
        expectFaithful(before, after, d);
        // The order of the keys is no change, wherever keys move to.
        Dictionary shuffled;
        auto keys = before.dictionary()->keys();
        std::shuffle(keys.begin(), keys.end(), rng);
        for (const auto& key : keys)
            shuffled.set(key, before.dictionary()->get(key));
        ASSERT_TRUE(diff(before, Value(shuffled)).empty());
        shuffled.set("added", 1);
        ASSERT_EQ(diff(before, Value(shuffled)).size(), 1u);
        ASSERT_TRUE(diff(before, reversedKeys(before)).empty());
        ASSERT_EQ(apply(before, diff(before, reversedKeys(after))), after);
    }
}

TEST(Diff, ChangesAreCutBySegmentTransitionAndKey) {
    const Value before = graph(
        "a",
        Dictionary{{"a", seg(0, 1000, {{"viewableId", 1}, {"next", next({{"b", 70}, {"c", 30}})}})},
                   {"b", seg(1000, 2000, {{"annotations", Dictionary{{"decorative", true}}}})},
                   {"c", seg(0, 500, {{"viewableId", 2}})},
                   {"gone", seg(0, 1)}});
    Value after = before.deepCopy();
    Dictionary segments = segOf(*after.dictionary(), "a"); // segment a
    segments.set("endTimeMs", 1500);
    segments.set("defaultNext", "c");
    Dictionary transitions = *segments.get("next").dictionary();
    transitions.get("b").dictionary()->set("weight", 10);
    transitions.get("c").dictionary()->set("transitionType", "immediate");
    transitions.set("d", Dictionary{{"weight", 5}});
    segOf(*after.dictionary(), "c").set("annotations", Dictionary{{"breakIndex", 2}});
    Dictionary all = *after.dictionary()->get("segments").dictionary();
    EXPECT_TRUE(all.erase("gone"));
    all.set("d", seg(0, 2));
    after.dictionary()->set("initialSegment", "c");

    std::vector<std::string> lines;
    for (const auto& c : diff(before, after))
        lines.push_back(std::string(changeKindName(c.kind)) + " " + keyPathText(c.path) + " " +
                        c.before.text() + " -> " + c.after.text() + " [" + c.segmentId + "|" +
                        c.transitionId + "]");
    EXPECT_EQ(lines,
              (std::vector<std::string>{
                  "initialSegmentChanged initialSegment a -> c [|]",
                  "retimed segments.a.endTimeMs 1000 -> 1500 [a|]",
                  "transitionReweighted segments.a.next.b.weight 70 -> 10 [a|b]",
                  "transitionTypeChanged segments.a.next.c.transitionType (null) -> "
                  "immediate [a|c]",
                  "transitionAdded segments.a.next.d (null) -> {\"weight\": 5} [a|d]",
                  "defaultNextChanged segments.a.defaultNext (null) -> c [a|]",
                  "annotationChanged segments.c.annotations.breakIndex (null) -> 2 [c|]",
                  "segmentRemoved segments.gone {\"startTimeMs\": 0, \"endTimeMs\": 1} -> "
                  "(null) [gone|]",
                  "segmentAdded segments.d (null) -> {\"startTimeMs\": 0, \"endTimeMs\": 2} [d|]",
              }));
}

TEST(Diff, ASegmentMovedUnchangedToANewIdIsARenameWhenUnambiguous) {
    const Value before = graph("a", Dictionary{{"a", seg(0, 1000, {{"defaultNext", "b"}})},
                                               {"b", seg(1000, 2000)},
                                               {"twin1", seg(5, 6)},
                                               {"twin2", seg(5, 6)}});
    Value after = before.deepCopy();
    Dictionary segments = *after.dictionary()->get("segments").dictionary();
    segments.set("b2", segments.get("b"));
    EXPECT_TRUE(segments.erase("b"));
    segOf(*after.dictionary(), "a").set("defaultNext", "b2");
    segments.set("twin3", segments.get("twin1"));
    EXPECT_TRUE(segments.erase("twin1"));
    EXPECT_TRUE(segments.erase("twin2"));
    const PlaygraphDiff d = diff(before, after);
    ASSERT_EQ(d.size(), 5u);
    EXPECT_EQ(d.changes[0].kind, ChangeKind::DefaultNextChanged);
    EXPECT_EQ(d.changes[1].kind, ChangeKind::SegmentRenamed);
    EXPECT_EQ(d.changes[1].segmentId, "b");
    EXPECT_EQ(d.changes[1].renamedTo, "b2");
    // twin1 and twin2 looked alike: which one moved cannot be told.
    EXPECT_EQ(d.changes[2].kind, ChangeKind::SegmentRemoved);
    EXPECT_EQ(d.changes[3].kind, ChangeKind::SegmentRemoved);
    EXPECT_EQ(d.changes[4].kind, ChangeKind::SegmentAdded);
    EXPECT_EQ(apply(before, d), after);
}

TEST(Diff, BadArgumentsAndChangesThatDoNotFitAreRefused) {
    const Value story(abcPath());
    EXPECT_THROW((void)diff(Value(5), story), DiffError);
    EXPECT_THROW((void)diff(story, Value(List{})), DiffError);
    EXPECT_THROW((void)apply(Value("x"), PlaygraphDiff{}), DiffError);

    Value changed = story.deepCopy();
    segOf(*changed.dictionary(), "A").set("endTimeMs", 9000);
    const PlaygraphDiff d = diff(story, changed);
    // Applied twice, the change no longer finds its old value.
    try {
        (void)apply(changed, d);
        ADD_FAILURE() << "expected DiffError";
    } catch (const DiffError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "apply: change 0 (retimed at segments.A.endTimeMs) does not "
                  "fit: expected 10000, found 9000");
    }
    PlaygraphDiff into = d;
    into.changes[0].path = {"segments", "A", "startTimeMs", "deeper"};
    into.changes[0].before = Value();
    EXPECT_THROW((void)apply(story, into), DiffError);

    for (const auto& [text, why] : std::vector<std::pair<Value, std::string>>{
             {Value(5), "a change list must be a list"},
             {List{Value(1)}, "change 0: not a dictionary"},
             {List{Dictionary{{"path", List{}}}}, "change 0: \"path\" must be a list of one"},
             {List{Dictionary{{"path", List{Value("segments"), Value(3)}}}},
              "change 0: \"path\" must be a list of strings"},
             {List{Dictionary{{"path", List{Value("initialSegment")}}, {"kind", "retimed"}}},
              "change 0: \"kind\" retimed does not match a change at initialSegment "
              "(initialSegmentChanged)"},
             {List{Dictionary{{"path", List{Value("segments"), Value("a")}}, {"renamedTo", "b"}}},
              "must move a segment unchanged"},
             {List{Dictionary{{"path", List{Value("segments"), Value("a")}}, {"segment", "b"}}},
              "\"segment\" or \"transition\" does not match the path"},
         }) {
        try {
            (void)PlaygraphDiff::fromValue(text);
            ADD_FAILURE() << "expected DiffError: " << why;
        } catch (const DiffError& e) {
            EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(keyPathText({"segments", "a.b", "", "x"}), "segments[\"a.b\"][\"\"].x");
}

// ---- merge ----

namespace {

// The segment ids and top-level keys a set of changes touches: where they
// are, and the ids their old and new values refer to.
std::set<std::string> touched(const PlaygraphDiff& d) {
    std::set<std::string> out;
    const auto refs = [&](const Value& segment) {
        if (!segment.isDictionary()) return;
        const Value dn = segment.dictionary()->get("defaultNext");
        if (dn.isString()) out.insert(*dn.string());
        const Value nx = segment.dictionary()->get("next");
        if (nx.isDictionary())
            for (const auto& key : nx.dictionary()->keys())
                out.insert(key);
    };
    for (const auto& c : d) {
        if (c.segmentId.empty()) {
            out.insert("@" + c.path[0]);
            if (c.before.isString()) out.insert(*c.before.string());
            if (c.after.isString()) out.insert(*c.after.string());
            continue;
        }
        out.insert(c.segmentId);
        if (!c.renamedTo.empty()) out.insert(c.renamedTo);
        if (!c.transitionId.empty()) out.insert(c.transitionId);
        if (c.path.size() == 2) {
            refs(c.before);
            refs(c.after);
        }
        if (c.path.size() >= 3 && c.path[2] == "defaultNext") {
            if (c.before.isString()) out.insert(*c.before.string());
            if (c.after.isString()) out.insert(*c.after.string());
        }
        if (c.path.size() == 3 && c.path[2] == "next") {
            refs(Dictionary{{"next", c.before}});
            refs(Dictionary{{"next", c.after}});
        }
    }
    return out;
}

using Edit = std::function<void(MutablePlaygraph&)>;

// A random edit on the segments of `pool`, making new ids with `prefix`.
Edit randomEditOn(std::mt19937& rng, const std::vector<std::string>& pool,
                  const std::string& prefix, int& fresh) {
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const auto any = [&] {
        return pool[static_cast<std::size_t>(pick(static_cast<int>(pool.size())))];
    };
    const std::string a = any(), b = any(), made = prefix + std::to_string(fresh++);
    const double t = pick(40) / 4.0;
    switch (pick(8)) {
    case 0:
        return
            [=](MutablePlaygraph& p) { p.insertSegmentAfter(a, made, 1, t, t + 1, true, nullptr); };
    case 1:
        return [=](MutablePlaygraph& p) { p.insertSegmentBefore(a, made, 2, t, t + 2, nullptr); };
    case 2:
        return [=](MutablePlaygraph& p) { p.splitSegment(a, t / 10 + 0.1, a, made); };
    case 3:
        return [=](MutablePlaygraph& p) { p.removeSegment(a); };
    case 4:
        return [=](MutablePlaygraph& p) { p.addTransitionFromSegment(a, b, false, Value()); };
    case 5:
        return [=](MutablePlaygraph& p) {
            p.updatePropertiesForTransitionFrom(a, b, Dictionary{{"weight", int(t)}});
        };
    case 6:
        return [=](MutablePlaygraph& p) { p.supportSkippingSegment(a, b, t, 2); };
    default:
        return [=](MutablePlaygraph& p) { p.updateDefaultNextFromSegment(a, b); };
    }
}

// Up to `count` edits that the playgraph accepted, made on it.
std::vector<Edit> editsOn(std::mt19937& rng, MutablePlaygraph& p,
                          const std::vector<std::string>& pool, const std::string& prefix,
                          int count) {
    std::vector<Edit> done;
    int fresh = 0;
    for (int tries = 0; static_cast<int>(done.size()) < count && tries < 4 * count; ++tries) {
        Edit edit = randomEditOn(rng, pool, prefix, fresh);
        try {
            edit(p);
            done.push_back(std::move(edit));
        } catch (const InvalidArgumentError&) {
        }
    }
    return done;
}

} // namespace

// Two authors edit one story, each on segments of their own: merging their
// work gives what making both sets of edits, one after the other in either
// order, gives, without conflicts.
TEST(Merge, EditsOfDisjointSegmentsCombineAsIfMadeOneAfterTheOther) {
    std::mt19937 rng(3232);
    int disjoint = 0;
    for (int round = 0; round < 600; ++round) {
        SCOPED_TRACE(round);
        const int count = 16 + static_cast<int>(rng() % 20);
        const Value base(randomPlaygraph(rng, count, round % 2));
        std::vector<std::string> left, right;
        for (int i = 0; i < count; ++i)
            (i < count / 2 ? left : right).push_back("s" + std::to_string(i));
        auto ours = MutablePlaygraph::create(base.deepCopy(), 9);
        auto theirs = MutablePlaygraph::create(base.deepCopy(), 9);
        const auto oursEdits = editsOn(rng, *ours, left, "o", 1 + static_cast<int>(rng() % 3));
        const auto theirsEdits = editsOn(rng, *theirs, right, "t", 1 + static_cast<int>(rng() % 3));
        const Value o(ours->dictionaryRepresentation()), t(theirs->dictionaryRepresentation());
        const PlaygraphDiff dOurs = diff(base, o), dTheirs = diff(base, t);
        std::set<std::string> common;
        const auto a = touched(dOurs), b = touched(dTheirs);
        std::set_intersection(a.begin(), a.end(), b.begin(), b.end(),
                              std::inserter(common, common.end()));
        if (!common.empty()) continue;
        ++disjoint;

        const MergeResult merged = merge(base, o, t);
        EXPECT_TRUE(merged.conflicts.empty()) << merged.conflicts[0].reason;
        EXPECT_EQ(merged.merged, apply(o, dTheirs));
        EXPECT_EQ(merged.merged, apply(t, dOurs));
        // Both edit sequences made on one playgraph, in either order.
        for (int order = 0; order < 2; ++order) {
            auto both = MutablePlaygraph::create(base.deepCopy(), 9);
            for (const auto* edits :
                 {order ? &theirsEdits : &oursEdits, order ? &oursEdits : &theirsEdits})
                for (const auto& edit : *edits)
                    edit(*both);
            EXPECT_EQ(merged.merged, Value(both->dictionaryRepresentation())) << order;
        }
        if (HasFailure()) return;
    }
    EXPECT_GT(disjoint, 150);
}

TEST(Merge, ASideMergedWithItselfOrWithTheBaseGivesThatSide) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        const Value base(randomPlaygraph(rng, 2 + static_cast<int>(rng() % 16), round % 2));
        const Value x = edited(rng, base, 1 + static_cast<int>(rng() % 8));
        const Value y = edited(rng, base, 1 + static_cast<int>(rng() % 8));
        for (const MergeResult& m : {merge(x, y, y), merge(base, base, y), merge(base, y, base)}) {
            EXPECT_TRUE(m.conflicts.empty());
            EXPECT_EQ(m.merged, y);
        }
        if (HasFailure()) return;
    }
}

// Any two random lines of work: ours is kept wherever it changed anything
// and at every conflict; each change of theirs is taken or listed; the
// result loads and holds no segment that neither side has.
TEST(Merge, RandomConcurrentEditsKeepOursAtConflictsAndTakeTheRest) {
    std::mt19937 rng(99);
    int conflicts = 0, taken = 0;
    for (int round = 0; round < 400; ++round) {
        SCOPED_TRACE(round);
        const Value base(randomPlaygraph(rng, 2 + static_cast<int>(rng() % 12), round % 2));
        const Value o = edited(rng, base, 1 + static_cast<int>(rng() % 10));
        const Value t = edited(rng, base, 1 + static_cast<int>(rng() % 10));
        const MergeResult m = merge(base, o, t);
        const PlaygraphDiff dOurs = diff(base, o), dTheirs = diff(base, t);
        for (const auto& c : dOurs) {
            EXPECT_EQ(at(m.merged, c.path), at(o, c.path)) << keyPathText(c.path);
        }
        std::set<std::string> conflicted;
        for (const auto& c : m.conflicts) {
            EXPECT_EQ(at(m.merged, c.path), c.ours) << c.reason;
            EXPECT_EQ(c.ours, at(o, c.path));
            EXPECT_EQ(c.theirs, at(t, c.path));
            EXPECT_EQ(c.base, at(base, c.path));
            EXPECT_FALSE(c.reason.empty());
            conflicted.insert(keyPathText(c.path));
        }
        for (const auto& c : dTheirs) {
            if (conflicted.count(keyPathText(c.path))) continue;
            ++taken;
            const KeyPath place = c.renamedTo.empty() ? c.path : KeyPath{"segments", c.renamedTo};
            EXPECT_EQ(at(m.merged, place), at(t, place)) << keyPathText(c.path);
        }
        conflicts += static_cast<int>(m.conflicts.size());
        const Value segments = m.merged.dictionary()->get("segments");
        if (segments.isDictionary()) {
            for (const auto& id : segments.dictionary()->keys())
                EXPECT_TRUE(!at(o, {"segments", id}).isNone() || !at(t, {"segments", id}).isNone())
                    << id;
        }
        (void)MutablePlaygraph::create(m.merged, 9)->duration();
        if (HasFailure()) return;
    }
    EXPECT_GT(conflicts, 100);
    EXPECT_GT(taken, 1000);
}

TEST(Merge, ConflictsListBothValuesAndKeepOurs) {
    const Value base = graph(
        "a", Dictionary{{"a", seg(0, 1000, {{"defaultNext", "b"}, {"next", next({{"b", 50}})}})},
                        {"b", seg(1000, 2000)},
                        {"c", seg(0, 500)},
                        {"d", seg(0, 700)}});
    Value ours = base.deepCopy(), theirs = base.deepCopy();
    const auto in = [](Value& side, const char* id) { return segOf(*side.dictionary(), id); };
    in(ours, "a").set("endTimeMs", 1100); // both retime a, differently
    in(theirs, "a").set("endTimeMs", 1200);
    in(ours, "b").set("startTimeMs", 900); // both retime b alike
    in(theirs, "b").set("startTimeMs", 900);
    EXPECT_TRUE(ours.dictionary()->get("segments").dictionary()->erase("c")); // ours removes what
                                                                              // theirs retimes
    in(theirs, "c").set("endTimeMs", 600);
    in(ours, "d").set("annotations", Dictionary{{"decorative", true}}); // different keys combine
    in(theirs, "d").set("annotations", Dictionary{{"breakIndex", 1}});
    theirs.dictionary()->set("initialSegment", "c"); // refers to c, which ours removed

    const MergeResult m = merge(base, ours, theirs);
    ASSERT_EQ(m.conflicts.size(), 3u);
    EXPECT_EQ(m.conflicts[0], (MergeConflict{{"initialSegment"},
                                             "a",
                                             "a",
                                             "c",
                                             "theirs refers to segment c at initialSegment, which "
                                             "ours removed"}));
    EXPECT_EQ(m.conflicts[1],
              (MergeConflict{{"segments", "a", "endTimeMs"},
                             1000,
                             1100,
                             1200,
                             "both changed segments.a.endTimeMs: ours changed "
                             "segments.a.endTimeMs, theirs changed segments.a.endTimeMs"}));
    EXPECT_EQ(m.conflicts[2].path, (KeyPath{"segments", "c", "endTimeMs"}));
    EXPECT_EQ(m.conflicts[2].ours, Value());
    EXPECT_EQ(m.conflicts[2].reason,
              "ours removed segment c, inside which theirs changed segments.c.endTimeMs");
    EXPECT_EQ(at(m.merged, {"segments", "a", "endTimeMs"}), Value(1100));
    EXPECT_EQ(at(m.merged, {"segments", "b", "startTimeMs"}), Value(900));
    EXPECT_EQ(at(m.merged, {"segments", "d", "annotations"}),
              Value(Dictionary{{"decorative", true}, {"breakIndex", 1}}));
    EXPECT_EQ(at(m.merged, {"initialSegment"}), Value("a"));
    const Value listed = m.conflictsValue();
    ASSERT_EQ(listed.list()->size(), 3u);
    EXPECT_EQ(at((*listed.list())[2], {"base"}), Value(500));
    EXPECT_TRUE(at((*listed.list())[2], {"ours"}).isNone());

    // The other way round: theirs removes a segment that ours changed, or
    // that ours now leads to.
    Value o2 = base.deepCopy(), t2 = base.deepCopy();
    in(o2, "c").set("endTimeMs", 800);
    in(o2, "a").get("next").dictionary()->set("d", Dictionary{{"weight", 1}});
    for (const char* id : {"c", "d"})
        EXPECT_TRUE(t2.dictionary()->get("segments").dictionary()->erase(id));
    const MergeResult m2 = merge(base, o2, t2);
    ASSERT_EQ(m2.conflicts.size(), 2u);
    EXPECT_EQ(m2.conflicts[0].reason, "theirs removed segment c, inside which ours changed "
                                      "segments.c.endTimeMs");
    EXPECT_EQ(m2.conflicts[1].reason, "theirs removed segment d, which ours now refers to");
    EXPECT_EQ(m2.merged, o2);

    EXPECT_THROW((void)merge(base, Value(1), base), DiffError);
}

TEST(Diff, AContainerThatHoldsItselfIsRefusedNotFollowed) {
    Dictionary loop{{"x", 1}};
    const Value looped(graph("a", Dictionary{}, {{"annotations", loop}}));
    loop.set("self", loop);
    const Value plain(graph("a", Dictionary{}));
    EXPECT_THROW((void)diff(plain, looped), DiffError);
    EXPECT_THROW((void)apply(looped, PlaygraphDiff{}), DiffError);
    for (const auto& [a, b, c] :
         {std::tuple{plain, plain, looped}, std::tuple{looped, plain, plain}})
        EXPECT_THROW((void)merge(a, b, c), DiffError);
    EXPECT_TRUE(diff(looped, looped).empty()); // one container: nothing to follow
    EXPECT_TRUE(loop.erase("self"));           // no cycle left to leak
}

// A segment of theirs the merge does not take leaves no reference to it.
TEST(Merge, ReferencesToASegmentTheMergeLeftOutAreNotTakenEither) {
    const Value base = graph("a", Dictionary{{"a", seg(0, 1000, {{"defaultNext", "b"}})},
                                             {"b", seg(1000, 2000)},
                                             {"c", seg(0, 500)}});
    Value ours = base.deepCopy(), theirs = base.deepCopy();
    segOf(*ours.dictionary(), "c").set("next", next({{"b", 5}})); // ours now leads to b
    Dictionary segments = *theirs.dictionary()->get("segments").dictionary();
    segments.set("b2", segments.get("b")); // theirs renames b to b2
    EXPECT_TRUE(segments.erase("b"));
    segOf(*theirs.dictionary(), "a").set("defaultNext", "b2");

    const MergeResult m = merge(base, ours, theirs);
    ASSERT_EQ(m.conflicts.size(), 2u);
    EXPECT_EQ(m.conflicts[0].reason, "theirs renamed segment b to b2, which ours now refers to");
    EXPECT_EQ(m.conflicts[1].reason,
              "theirs refers to segment b2 at segments.a.defaultNext, which the merge does not "
              "take");
    EXPECT_EQ(m.merged, ours);
}
