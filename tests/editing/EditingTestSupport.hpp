#pragma once

// Helpers for the editing tests: deep snapshots of dictionaries, the check
// that a failed edit changed nothing, model comparison and the reference
// invariant, and a generator of random playgraph dictionaries.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "../TestSupport.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::test {

/// A copy sharing no container with `v`, for before/after comparisons.
inline Value deepCopy(const Value& v) { return v.deepCopy(); }

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
    const Value before = deepCopy(p.dictionaryRepresentation());
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

inline bool sameDouble(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }

/// Compares two built playgraphs segment by segment (content, not identity).
inline void expectSameModel(const PlaygraphBase& a, const PlaygraphBase& b) {
    EXPECT_EQ(a.initialSegmentId(), b.initialSegmentId());
    EXPECT_EQ(a.type(), b.type());
    EXPECT_TRUE(sameDouble(a.duration(), b.duration())) << a.duration() << " " << b.duration();
    ASSERT_EQ(a.segmentMap().keys(), b.segmentMap().keys());
    for (const auto& [id, sa] : a.segmentMap()) {
        const auto sb = b.segmentById(id);
        SCOPED_TRACE(id);
        EXPECT_EQ(sa->viewableId(), sb->viewableId());
        EXPECT_TRUE(sameDouble(sa->startTime(), sb->startTime()));
        EXPECT_TRUE(sameDouble(sa->endTime(), sb->endTime()));
        EXPECT_EQ(sa->playToViewableEnd(), sb->playToViewableEnd());
        EXPECT_EQ(sa->defaultNext(), sb->defaultNext());
        EXPECT_TRUE(sameDouble(sa->offsetInPlaygraph(), sb->offsetInPlaygraph()));
        EXPECT_EQ(sa->userInfo().has_value(), sb->userInfo().has_value());
        EXPECT_EQ(sa->next().keys(), sb->next().keys());
        for (const auto& [to, ta] : sa->next()) {
            const auto* tb = sb->next().find(to);
            ASSERT_TRUE(tb);
            EXPECT_EQ(ta->weight(), (*tb)->weight());
            EXPECT_EQ(ta->skipRegionOffset(), (*tb)->skipRegionOffset());
            EXPECT_EQ(ta->autoplayType(), (*tb)->autoplayType());
            EXPECT_EQ(ta->transitionType(), (*tb)->transitionType());
        }
    }
}

/// Every "initialSegment", "defaultNext" and "next" key names a segment.
inline void expectNoDanglingReferences(const Dictionary& d) {
    const Value* segmentsValue = d.find("segments");
    const Dictionary* segments = segmentsValue ? segmentsValue->dictionary() : nullptr;
    const auto isSegment = [&](const std::string& id) {
        const Value* v = segments ? segments->find(id) : nullptr;
        return v && v->isDictionary();
    };
    if (const Value* initial = d.find("initialSegment"); initial && initial->isString()) {
        EXPECT_TRUE(isSegment(*initial->string())) << "initialSegment " << initial->text();
    }
    if (!segments) return;
    for (const auto& [id, value] : *segments) {
        const Dictionary* segment = value.dictionary();
        if (!segment) continue;
        if (const Value* dn = segment->find("defaultNext"); dn && dn->isString()) {
            EXPECT_TRUE(isSegment(*dn->string())) << id << " defaultNext " << dn->text();
        }
        if (const Value* next = segment->find("next"); next && next->dictionary()) {
            for (const auto& [to, transition] : *next->dictionary())
                EXPECT_TRUE(isSegment(to)) << id << " next " << to;
        }
    }
}

/// A random playgraph dictionary of `count` segments "s0".."s<count-1>" of
/// viewables 1 and 2 with fixed and play-to-end ends, transitions (self
/// loops included) and default nexts that name existing transitions.
inline Dictionary randomPlaygraph(std::mt19937& rng, int count) {
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
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
        const int transitions = pick(4);
        if (transitions == 0) {
            if (pick(4) == 0) s.set("next", Value::null());
            continue;
        }
        Dictionary next;
        for (int t = 0; t < transitions; ++t) {
            Dictionary transition{{"weight", 10 * (1 + pick(9))}};
            if (pick(4) == 0) transition.set("autoplayType", 1);
            next.set("s" + std::to_string(pick(count)), transition);
        }
        s.set("next", next);
        const auto keys = next.keys();
        if (pick(4) != 0) {
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
        if (ids.empty() || pick(6) == 0) return "n" + std::to_string(pick(3) == 0 ? 0 : fresh++);
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
