#pragma once

// Helpers for the editing tests: deep snapshots of dictionaries, the check
// that a failed edit changed nothing, model comparison and the reference
// invariant, and a generator of random playgraph dictionaries.

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "../TestSupport.hpp"
#include "ModelAnswers.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/model/PlaygraphSegmentExitZone.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"

namespace playgraph::test {

/// Segment `id` of the playgraph's dictionary (live, not a copy).
inline Dictionary segmentIn(const MutablePlaygraph& p, const std::string& id) {
    return segOf(p.dictionaryRepresentation(), id);
}

/// The transition entry from `from` to `to`, or none.
inline Value transitionIn(const MutablePlaygraph& p, const std::string& from,
                          const std::string& to) {
    const Value next = segmentIn(p, from).get("next");
    return next.dictionary() ? next.dictionary()->get(to) : Value();
}

/// The segment objects of a playgraph, by identity.
inline std::vector<std::shared_ptr<QZPlaygraphSegment>> segmentObjects(const MutablePlaygraph& p) {
    std::vector<std::shared_ptr<QZPlaygraphSegment>> out;
    for (const auto& [id, segment] : p.segmentMap())
        out.push_back(segment);
    return out;
}

/// Runs `edit`, expects it to throw `InvalidArgumentError` with `reason`,
/// and checks that neither the dictionary nor the segment objects changed.
template <class Edit>
void expectRefused(MutablePlaygraph& p, const std::string& reason, Edit edit) {
    const Value before = Value(p.dictionaryRepresentation()).deepCopy();
    const auto objects = segmentObjects(p);
    try {
        edit();
        ADD_FAILURE() << "expected InvalidArgumentError: " << reason;
    } catch (const InvalidArgumentError& e) {
        EXPECT_EQ(std::string(e.what()), reason);
    }
    EXPECT_EQ(Value(p.dictionaryRepresentation()), before) << reason;
    EXPECT_EQ(segmentObjects(p), objects) << reason;
}

/// Two built playgraphs answer everything alike (see `modelAnswers`);
/// `flavorQueries` false leaves out the queries in which the immutable and
/// the editable playgraph differ.
inline void expectSameModel(const PlaygraphBase& a, const PlaygraphBase& b,
                            bool flavorQueries = true) {
    EXPECT_EQ(testsupport::modelAnswers(a, flavorQueries),
              testsupport::modelAnswers(b, flavorQueries));
}

/// The ids named by "initialSegment", a "next" key or a "defaultNext" that
/// are not segments. With `followedOnly`, a "defaultNext" without a
/// transition to the same id is left out: the edits do not follow such
/// references, by design.
inline std::set<std::string> danglingReferences(const Dictionary& d, bool followedOnly = false) {
    std::set<std::string> out;
    const Value* segmentsValue = d.find("segments");
    const Dictionary* segments = segmentsValue ? segmentsValue->dictionary() : nullptr;
    const auto check = [&](const std::string& id) {
        const Value* v = segments ? segments->find(id) : nullptr;
        if (!v || !v->isDictionary()) out.insert(id);
    };
    if (const Value* initial = d.find("initialSegment"); initial && initial->isString()) {
        check(*initial->string());
    }
    if (!segments) return out;
    for (const auto& [id, value] : *segments) {
        const Dictionary* segment = value.dictionary();
        if (!segment) continue;
        const Value* next = segment->find("next");
        const Dictionary* transitions = next ? next->dictionary() : nullptr;
        if (transitions) {
            for (const auto& [to, transition] : *transitions)
                check(to);
        }
        if (const Value* dn = segment->find("defaultNext"); dn && dn->isString()) {
            if (!followedOnly || (transitions && transitions->contains(*dn->string()))) {
                check(*dn->string());
            }
        }
    }
    return out;
}

/// An edit from `before` to `after` made no followed reference to a missing
/// segment that no reference named before (removal may move one that
/// already did).
inline void expectNoNewDanglingReferences(const Dictionary& before, const Dictionary& after) {
    const auto was = danglingReferences(before);
    for (const auto& id : danglingReferences(after, true))
        EXPECT_TRUE(was.count(id)) << "a reference to the missing segment " << id;
}

/// A random playgraph dictionary of `count` segments "s0".."s<count-1>" of
/// viewables 1 and 2 with fixed and play-to-end ends, transitions (self
/// loops included) and default nexts that mostly name existing transitions,
/// now and then a segment that does not exist ("zz").
inline Dictionary randomPlaygraph(std::mt19937& rng, int count, bool chain = false) {
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const auto anyId = [&] {
        return pick(12) == 0 ? std::string("zz") : "s" + std::to_string(pick(count));
    };
    Dictionary segments;
    for (int i = 0; i < count; ++i) {
        Dictionary s;
        s.set("viewableId", 1 + pick(2));
        const int start = pick(20) * 500;
        s.set("startTimeMs", start);
        if (pick(5) != 0) s.set("endTimeMs", start + 500 + pick(10) * 500);
        if (pick(3) == 0) s.set("main", 7);
        if (pick(8) == 0) s.set("annotations", Dictionary{{"decorative", true}});
        segments.set("s" + std::to_string(i), s);
    }
    for (int i = 0; i < count; ++i) {
        Dictionary s = *segments.get("s" + std::to_string(i)).dictionary();
        const int transitions = chain ? 1 + pick(3) : pick(4);
        if (transitions == 0) {
            if (pick(4) == 0) s.set("next", Value::null());
            if (pick(8) == 0) s.set("defaultNext", anyId());
            continue;
        }
        Dictionary next;
        for (int t = 0; t < transitions; ++t) {
            Dictionary transition{{"weight", 10 * (1 + pick(9))}};
            if (pick(4) == 0) transition.set("autoplayType", 1);
            next.set(chain && t == 0 ? "s" + std::to_string(i + 1) : anyId(), transition);
        }
        s.set("next", next);
        const auto keys = next.keys();
        if (chain && pick(8) != 0) {
            s.set("defaultNext", keys[0]);
        } else if (pick(4) != 0) {
            s.set("defaultNext",
                  keys[static_cast<std::size_t>(pick(static_cast<int>(keys.size())))]);
        } else if (pick(2) == 0) {
            s.set("defaultNext", Value::null());
        }
    }
    Dictionary d{{"segments", segments}};
    if (pick(10) != 0) d.set("initialSegment", "s" + std::to_string(pick(count)));
    if (pick(2) == 0) d.set("type", "branching");
    return d;
}

/// Changes a random segment of `p` through one of its setters or one of its
/// first transition's setters, the way a player or data source may, or
/// re-indexes the segment map.
inline void randomSetterCall(std::mt19937& rng, PlaygraphBase& p) {
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const auto ids = p.segmentMap().keys();
    if (ids.empty()) return;
    const auto anyId = [&] {
        return ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))];
    };
    auto s = std::static_pointer_cast<PlaygraphSegment>(p.segmentById(anyId()));
    auto t = s->next().empty()
                 ? nullptr
                 : std::dynamic_pointer_cast<SegmentTransitionCore>(s->next().begin()->second);
    switch (pick(12)) {
    case 0:
        s->setMovieDuration(1 + pick(30));
        break;
    case 1:
        if (t) t->overrideWeight(pick(9));
        break;
    case 2:
        s->setAnnotations(Dictionary{{"decorative", pick(2) == 0}});
        break;
    case 3:
        s->setDefaultNext(anyId());
        break;
    case 4:
        s->setPlaygraphParams(std::make_shared<Params>());
        break;
    case 5:
        s->setOffsetInPlaygraph(pick(5));
        break;
    case 6:
        s->setNext({});
        break;
    case 7:
        s->setTransitionType("choice");
        break;
    case 8:
        s->setExitZones({PlaygraphSegmentExitZone::create(s, pick(3))});
        break;
    case 9:
        if (!t) break;
        t->setWeight(pick(9));
        t->setDestinationSegmentId(anyId());
        break;
    case 10:
        if (!t) break;
        t->setTransitionType("skip");
        t->setSkipRegionOffset(pick(3));
        t->setExitZones({});
        t->setWeightOverride(pick(9));
        t->setDestinationSegmentOffset(1);
        break;
    default:
        p.setSegmentMap(p.segmentMap()); // the same objects, indexed anew
        break;
    }
}

/// Makes one random edit of `p`: mostly on existing ids, sometimes on new or
/// missing ones, with times that are sometimes not finite and properties
/// that are sometimes not a dictionary. Throws `InvalidArgumentError` when
/// the edit is refused. `fresh` numbers new ids; `name`, when given, is set
/// to the edit and its ids before the edit runs.
inline void randomEdit(std::mt19937& rng, MutablePlaygraph& p, int& fresh,
                       std::string* name = nullptr) {
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
    const auto anyId = [&]() -> std::string {
        const auto ids = p.allSegmentIds().value_or(std::vector<std::string>{});
        // New ids now and then take the name dangling references use.
        if (ids.empty() || pick(6) == 0) {
            return pick(4) == 0 ? std::string("zz")
                                : "n" + std::to_string(pick(3) == 0 ? 0 : fresh++);
        }
        return ids[static_cast<std::size_t>(pick(static_cast<int>(ids.size())))];
    };
    const auto anyTime = [&]() -> double {
        switch (pick(12)) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return std::numeric_limits<double>::infinity();
        default:
            return pick(4000) / 100.0 - 5.0;
        }
    };
    const auto properties = [&]() -> Value {
        switch (pick(5)) {
        case 0:
            return Value();
        case 1:
            return Dictionary{{"weight", pick(100)}};
        case 2:
            return Dictionary{{"autoplayType", 1}, {"transitionType", "immediate"}};
        case 3:
            return Dictionary{};
        default:
            return "wrong";
        }
    };
    const std::string a = anyId(), b = anyId(), c = anyId();
    const double t1 = anyTime(), t2 = anyTime();
    const std::pair<const char*, std::function<void()>> edits[] = {
        {"insertAfter",
         [&] { p.insertSegmentAfter(a, b, 1 + pick(2), t1, t2, pick(2) == 0, nullptr); }},
        {"insertBefore", [&] { p.insertSegmentBefore(a, b, 1, t1, t2, nullptr); }},
        {"split",
         [&] {
             const int shape = pick(3);
             p.splitSegment(a, t1, shape == 0 ? a : b, shape == 1 ? a : c);
         }},
        {"remove", [&] { p.removeSegment(a); }},
        {"remove", [&] { p.removeSegment(a); }},
        {"addTransition", [&] { p.addTransitionFromSegment(a, b, pick(2) == 0, properties()); }},
        {"updateDefaultNext", [&] { p.updateDefaultNextFromSegment(a, b); }},
        {"updateTransition", [&] { p.updatePropertiesForTransitionFrom(a, b, properties()); }},
        {"updateAllTo", [&] { p.updatePropertiesForAllTransitionsTo(a, properties()); }},
        {"updateAllFrom", [&] { p.updatePropertiesForAllTransitionfrom(a, properties()); }},
        {"skip", [&] { p.supportSkippingSegment(a, b, t1, 3); }},
    };
    const auto& [what, edit] = edits[pick(11)];
    if (name) *name = std::string(what) + " " + a + " " + b + " " + c;
    edit();
}

} // namespace playgraph::test
