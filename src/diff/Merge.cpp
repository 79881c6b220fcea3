// Three-way merge of playgraph dictionaries: ours, with the changes of theirs
// that meet none of ours.

#include <unordered_map>
#include <unordered_set>

#include "DiffSupport.hpp"
#include "playgraph/Keys.hpp"

namespace playgraph::inline v1 {

namespace {

using namespace diffsupport;

bool isSegmentPath(const KeyPath& path) { return path.size() == 2 && path[0] == keys::segments; }

// The segment a change takes away: a removal or a rename, else empty.
const std::string* segmentTakenAway(const PlaygraphChange& change) {
    const bool takes =
        change.kind == ChangeKind::SegmentRemoved || change.kind == ChangeKind::SegmentRenamed;
    return takes && isSegmentPath(change.path) ? &change.path[1] : nullptr;
}

// Whether `merged` has a segment `id`.
bool present(const Dictionary& merged, const std::string& id) {
    return !valueAt(Value(merged), {std::string(keys::segments), id}).isNone();
}

std::string describe(const PlaygraphChange& change) {
    switch (change.kind) {
    case ChangeKind::SegmentRemoved:
        return "removed segment " + change.segmentId;
    case ChangeKind::SegmentRenamed:
        return "renamed segment " + change.segmentId + " to " + change.renamedTo;
    default:
        return "changed " + keyPathText(change.path);
    }
}

// What ours changed, indexed by the paths its changes occupy.
class OurChanges {
public:
    explicit OurChanges(const PlaygraphDiff& changes) : changes_(changes) {
        for (std::size_t i = 0; i < changes.changes.size(); ++i) {
            const auto& change = changes.changes[i];
            for (const auto& path : claimedPaths(change)) {
                at_.emplace(pathKey(path), i);
                for (std::size_t n = 1; n < path.size(); ++n)
                    inside_.emplace(pathKey(path, n), i);
            }
            if (const std::string* id = segmentTakenAway(change)) takenAway_.insert(*id);
            for (auto& id : referencesMadeBy(change))
                referred_.insert(std::move(id));
        }
    }

    /// The change of ours at `path` exactly, or nullptr.
    const PlaygraphChange* at(const KeyPath& path) const { return find(at_, pathKey(path)); }
    /// A change of ours at a dictionary around `path`, or nullptr.
    const PlaygraphChange* around(const KeyPath& path) const {
        for (std::size_t n = 1; n < path.size(); ++n) {
            if (const auto* change = find(at_, pathKey(path, n))) return change;
        }
        return nullptr;
    }
    /// A change of ours inside the value at `path`, or nullptr.
    const PlaygraphChange* inside(const KeyPath& path) const {
        return find(inside_, pathKey(path));
    }
    bool tookAway(const std::string& id) const { return takenAway_.count(id) > 0; }
    bool refersTo(const std::string& id) const { return referred_.count(id) > 0; }

private:
    const PlaygraphChange* find(const std::unordered_map<std::string, std::size_t>& map,
                                const std::string& key) const {
        const auto found = map.find(key);
        return found == map.end() ? nullptr : &changes_.changes[found->second];
    }

    const PlaygraphDiff& changes_;
    std::unordered_map<std::string, std::size_t> at_;
    std::unordered_map<std::string, std::size_t> inside_;
    std::unordered_set<std::string> takenAway_;
    std::unordered_set<std::string> referred_;
};

// Whether theirs' `change` meets ours: the reason it cannot be taken, "" when
// ours made the very same change (taken once), none when it is free.
std::optional<std::string> meeting(const OurChanges& ours, const PlaygraphChange& change) {
    bool same = false;
    for (const auto& path : claimedPaths(change)) {
        if (const auto* mine = ours.at(path)) {
            if (*mine == change) {
                same = true;
                continue;
            }
            return "both changed " + keyPathText(path) + ": ours " + describe(*mine) + ", theirs " +
                   describe(change);
        }
        if (const auto* mine = ours.around(path)) {
            return "ours " + describe(*mine) + ", inside which theirs " + describe(change);
        }
        if (const auto* mine = ours.inside(path)) {
            return "theirs " + describe(change) + ", inside which ours " + describe(*mine);
        }
    }
    if (same) return "";
    for (const auto& id : referencesMadeBy(change)) {
        if (ours.tookAway(id)) {
            return "theirs refers to segment " + id + " at " + keyPathText(change.path) +
                   ", which ours removed";
        }
    }
    if (const std::string* id = segmentTakenAway(change); id && ours.refersTo(*id)) {
        return "theirs " + describe(change) + ", which ours now refers to";
    }
    return std::nullopt;
}

} // namespace

MergeResult merge(const Value& base, const Value& ours, const Value& theirs) {
    if (!base.isDictionary()) throw DiffError("merge: base is not a dictionary");
    if (!ours.isDictionary()) throw DiffError("merge: ours is not a dictionary");
    if (!theirs.isDictionary()) throw DiffError("merge: theirs is not a dictionary");
    for (const Value* side : {&base, &ours, &theirs})
        checkNesting(*side, "merge");
    const PlaygraphDiff mine = diff(base, ours);
    const PlaygraphDiff yours = diff(base, theirs);
    const OurChanges index(mine);

    MergeResult result;
    result.merged = ours.deepCopy();
    Dictionary& merged = *result.merged.dictionary();
    // Segments theirs made (added, or renamed to) that the merge leaves out:
    // theirs' references to them are not taken either.
    std::unordered_set<std::string> leftOut;
    const auto take = [&](const PlaygraphChange& change) {
        std::optional<std::string> reason = meeting(index, change);
        if (reason && reason->empty()) return; // the same change on both sides
        for (const auto& id : referencesMadeBy(change)) {
            if (!reason && leftOut.count(id)) {
                reason = "theirs refers to segment " + id + " at " + keyPathText(change.path) +
                         ", which the merge does not take";
            }
        }
        // Not expected once ours leaves the path alone, but never applied
        // blindly: a change that does not fit is a conflict too.
        if (!reason) reason = whyNotApplicable(merged, change);
        if (!reason) {
            makeChange(merged, change);
            return;
        }
        const std::string& made = change.kind == ChangeKind::SegmentRenamed ? change.renamedTo
                                  : change.kind == ChangeKind::SegmentAdded ? change.segmentId
                                                                            : std::string();
        if (!made.empty() && !present(merged, made)) leftOut.insert(made);
        result.conflicts.push_back({change.path, valueAt(base, change.path).deepCopy(),
                                    valueAt(ours, change.path).deepCopy(),
                                    valueAt(theirs, change.path).deepCopy(), std::move(*reason)});
    };
    // Segments come and go first, so that references know what is there.
    for (const auto& change : yours.changes)
        if (isSegmentPath(change.path)) take(change);
    for (const auto& change : yours.changes)
        if (!isSegmentPath(change.path)) take(change);
    return result;
}

Value MergeResult::conflictsValue() const {
    List list;
    list.reserve(conflicts.size());
    for (const auto& conflict : conflicts) {
        Dictionary entry;
        entry.set("path", pathValue(conflict.path));
        if (!conflict.base.isNone()) entry.set("base", conflict.base);
        if (!conflict.ours.isNone()) entry.set("ours", conflict.ours);
        if (!conflict.theirs.isNone()) entry.set("theirs", conflict.theirs);
        entry.set("reason", conflict.reason);
        list.push_back(entry);
    }
    return list;
}

} // namespace playgraph::inline v1
