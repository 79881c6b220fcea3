// Comparing and merging: a JSON list of two or three dictionaries (base,
// ours, theirs), or one dictionary from which two lines of work are made,
// whatever their content. Applying a diff gives the other side exactly, its
// dictionary form reads back, merging a side with itself or with the base
// gives that side, and a merge of the three keeps ours at every conflict and
// never fails or crashes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.hpp"
#include "playgraph/diff/Diff.hpp"

using namespace playgraph;

namespace {

// Two lines of work on `base`: ours drops the first segment and retimes the
// second, theirs retimes the second otherwise and adds one after the last.
void makeSides(const Value& base, Value& ours, Value& theirs) {
    ours = base.deepCopy();
    theirs = base.deepCopy();
    Value* segments = ours.dictionary()->find("segments");
    if (!segments || !segments->isDictionary()) return;
    const auto ids = segments->dictionary()->keys();
    if (ids.empty()) return;
    static_cast<void>(segments->dictionary()->erase(ids[0]));
    Dictionary* theirSegments = theirs.dictionary()->find("segments")->dictionary();
    if (ids.size() > 1) {
        for (auto* side : {segments->dictionary(), theirSegments}) {
            Value* second = side->find(ids[1]);
            if (second && second->isDictionary())
                second->dictionary()->set("endTimeMs", side == theirSegments ? 1 : 2);
        }
    }
    theirSegments->set(ids.back() + "-after", Dictionary{{"startTimeMs", 0}});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::optional<Value> parsed = fuzz::parseInput(data, size);
    if (!parsed) return 0;
    Value base, ours, theirs;
    if (const List* list = parsed->list()) {
        if (list->size() < 2) return 0;
        for (const auto& item : *list)
            if (!item.isDictionary()) return 0;
        base = (*list)[0];
        ours = (*list)[1];
        theirs = list->size() > 2 ? (*list)[2] : base;
    } else if (parsed->isDictionary()) {
        base = *parsed;
        makeSides(base, ours, theirs);
    } else {
        return 0;
    }

    for (const auto& [from, to] :
         {std::pair{&base, &ours}, std::pair{&base, &theirs}, std::pair{&ours, &theirs}}) {
        const PlaygraphDiff changes = diff(*from, *to);
        fuzz::check(apply(*from, changes) == *to, "apply of the diff is not the other side");
        fuzz::check(PlaygraphDiff::fromValue(changes.toValue()) == changes,
                    "the dictionary form does not read back");
    }
    fuzz::check(diff(ours, ours).empty(), "a side differs from itself");
    for (const MergeResult& same :
         {merge(base, ours, ours), merge(base, base, ours), merge(base, ours, base)}) {
        fuzz::check(same.conflicts.empty() && same.merged == ours,
                    "merging a side with itself or the base is not that side");
    }
    const MergeResult result = merge(base, ours, theirs);
    for (const auto& conflict : result.conflicts) {
        Value kept = result.merged;
        for (const auto& key : conflict.path)
            kept = kept.isDictionary() ? kept.dictionary()->get(key) : Value();
        fuzz::check(kept == conflict.ours, "a conflict does not keep ours");
    }
    return 0;
}
