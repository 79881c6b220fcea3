#pragma once

/// Comparing and merging playgraph dictionaries by meaning.
///
/// `diff(before, after)` lists what changed between two playgraph
/// dictionaries, segment by segment and transition by transition, each change
/// with its key path and its old and new values; `apply(before, changes)`
/// replays such a list; `merge(base, ours, theirs)` combines two lines of
/// work on one story, three-way, by id.
///
/// How a change is cut: dictionaries are compared key by key, down to the
/// values that are not dictionaries (numbers, strings, lists, the null
/// marker), which count as one value each. A segment (`segments.ID`) and a
/// transition entry (`segments.ID.next.TO`) that exists on one side only is
/// one change holding the whole entry. A dictionary that is absent on one
/// side and holds entries on the other (a segment's first annotation, its
/// first transition) is entered on the side that has it, so that two sides
/// adding different keys to it do not collide; the reverse (a dictionary
/// that disappears with its entries) is one change of the whole
/// dictionary. A dictionary entry holding none counts as absent, as for the
/// JSON writer. Values are compared with `Value`'s `==` (order-insensitive
/// dictionaries, signed and unsigned integers numerically, `10000` and
/// `10000.0` different).
///
/// Threads: the functions keep no state and may run on several threads at
/// once, as long as nothing changes the dictionaries they read meanwhile.

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

/// A place in a playgraph dictionary: dictionary keys from the top level
/// down, e.g. {"segments", "intro", "next", "vault", "weight"}.
using KeyPath = std::vector<std::string>;

/// The text form of a key path: keys joined by "."; a key that is empty or
/// holds '.', '[', ']' or '"' is written `["key"]` (as in the JSON library's
/// messages): `segments.intro.next.vault.weight`, `segments["a.b"]`.
PLAYGRAPH_API std::string keyPathText(const KeyPath& path);

/// What a change means; the key path alone decides it (`changeKindFor`).
enum class ChangeKind {
    SegmentAdded,          ///< `segments.ID`, absent before
    SegmentRemoved,        ///< `segments.ID`, absent after
    SegmentRenamed,        ///< `segments.ID` moved, unchanged, to `renamedTo`
    SegmentChanged,        ///< another entry of a segment ("main", ...), or a whole
                           ///< segment that is not a dictionary on one side
    Retimed,               ///< a segment's "startTimeMs", "endTimeMs" or "viewableId"
    DefaultNextChanged,    ///< a segment's "defaultNext"
    TransitionAdded,       ///< `segments.ID.next.TO`, absent before
    TransitionRemoved,     ///< `segments.ID.next.TO`, absent after
    TransitionReweighted,  ///< a transition's "weight"
    TransitionTypeChanged, ///< a transition's or a segment's "transitionType"
    TransitionChanged,     ///< another entry of a transition ("autoplayType", skip
                           ///< region), or a whole "next" or transition that is not a
                           ///< dictionary on one side
    AnnotationChanged,     ///< below a segment's or the playgraph's "annotations"
    UserInfoChanged,       ///< below a segment's "userInfo"
    InitialSegmentChanged, ///< "initialSegment"
    TopLevelChanged,       ///< any other top-level entry ("playgraphId", "type", ...)
};

/// The name of a kind, as in the changes' dictionary form ("retimed",
/// "segmentAdded", ...).
PLAYGRAPH_API std::string_view changeKindName(ChangeKind kind);
/// The kind a name stands for; none for an unknown name.
[[nodiscard]] PLAYGRAPH_API std::optional<ChangeKind> changeKindFromName(std::string_view name);

/// One change. Plain data: it holds its values (dictionaries among them,
/// shared with the dictionaries it was made from; see `PlaygraphDiff`).
struct PLAYGRAPH_API PlaygraphChange {
    ChangeKind kind = ChangeKind::TopLevelChanged;
    /// Where the change is. For a rename, the old place `segments.OLD`.
    KeyPath path;
    /// The value there before; none when it was absent.
    Value before;
    /// The value there after; none when it is absent (removed). For a
    /// rename, the segment, which `before` also holds.
    Value after;
    /// The segment concerned (the path's second key under "segments"), or
    /// empty for a change at the top level.
    std::string segmentId;
    /// The destination of the transition concerned (the key under "next"),
    /// or empty.
    std::string transitionId;
    /// For `segmentRenamed`, the new id; else empty.
    std::string renamedTo;

    /// Same kind, path, rename and values (`Value` equality).
    friend bool operator==(const PlaygraphChange&, const PlaygraphChange&) = default;
};

/// The kind of a change at `path`, with `before` and `after` its values
/// (none for absent). Never throws.
PLAYGRAPH_API ChangeKind changeKindFor(const KeyPath& path, const Value& before,
                                       const Value& after);

/// Raised by `diff`, `apply` and `merge` for arguments they cannot work on
/// (a top level that is not a dictionary, a change that does not fit,
/// containers nested deeper than 512 levels, as one that holds itself), and
/// by `PlaygraphDiff::fromValue` for a malformed change list. `what()` says
/// which argument or change, and the key path.
class PLAYGRAPH_API DiffError : public std::invalid_argument {
public:
    explicit DiffError(const std::string& reason) : std::invalid_argument(reason) {}
};

/// The changes from one playgraph dictionary to another, in a stable order:
/// the entries of `before` in its order, then those only `after` has, and
/// inside each entry the same way down (so the segments come in the order
/// of `before`, changed, removed or renamed ones alike, then the segments
/// only `after` has). No two changes lie at the same path or one inside the
/// other, so their order does not matter to `apply`.
///
/// The values of the changes share their containers with the dictionaries
/// given to `diff` (nothing is copied); `apply` copies what it stores.
class PLAYGRAPH_API PlaygraphDiff {
public:
    std::vector<PlaygraphChange> changes;

    bool empty() const { return changes.empty(); }
    std::size_t size() const { return changes.size(); }
    std::vector<PlaygraphChange>::const_iterator begin() const { return changes.begin(); }
    std::vector<PlaygraphChange>::const_iterator end() const { return changes.end(); }

    /// The dictionary form: a list of dictionaries with "kind" (its name),
    /// "path" (a list of strings), "before" and "after" (left out when
    /// absent), "segment", "transition" and "renamedTo" (left out when
    /// empty). This is what `playgraph diff --json` writes.
    Value toValue() const;
    /// Reads the dictionary form back. "kind", "segment" and "transition"
    /// are checked against what the path says. Throws `DiffError` naming the
    /// entry and what is wrong with it.
    static PlaygraphDiff fromValue(const Value& value);

    friend bool operator==(const PlaygraphDiff&, const PlaygraphDiff&) = default;
};

/// The changes that turn `before` into `after`: `apply(before, diff(before,
/// after)) == after`. A segment that `before` has and `after` has not, under
/// another id that `before` does not have, with exactly equal content, is a
/// rename, as long as no other removed or added segment has that content.
/// Runs in time linear in the size of both (a segment shared by both, the
/// same container, is not looked into). Throws `DiffError` when either is
/// not a dictionary.
[[nodiscard]] PLAYGRAPH_API PlaygraphDiff diff(const Value& before, const Value& after);

/// A copy of `before` (sharing nothing with it or with `changes`) with the
/// changes made, in order. Each change is checked first: the value at its
/// path must be its `before` (for a rename, `segments.NEW` must be absent),
/// and the dictionaries on the way there must be dictionaries or absent
/// (absent ones are made). Throws `DiffError` naming the change, its path
/// and the value found when one does not fit; `before` is never changed.
[[nodiscard]] PLAYGRAPH_API Value apply(const Value& before, const PlaygraphDiff& changes);

/// A place where both sides of a merge changed one value in different ways,
/// or where one side removed what the other changed or now refers to.
struct PLAYGRAPH_API MergeConflict {
    /// Where: the path of the change of `theirs` that was not taken.
    KeyPath path;
    /// The values at `path` in base, ours and theirs (none when absent);
    /// copies, sharing nothing with the inputs.
    Value base;
    Value ours;
    Value theirs;
    /// Why, in words: "both changed it", "ours removed segment X, which
    /// theirs changed", ...
    std::string reason;

    friend bool operator==(const MergeConflict&, const MergeConflict&) = default;
};

/// What `merge` made.
struct PLAYGRAPH_API MergeResult {
    /// The merged dictionary. It shares nothing with the inputs.
    Value merged;
    /// The conflicts: those of theirs' segment additions, removals and
    /// renames first, then the rest, each in the order of theirs' changes;
    /// empty for a clean merge.
    std::vector<MergeConflict> conflicts;

    /// The conflicts as a list of dictionaries with "path" (a list of
    /// strings), "base", "ours", "theirs" (left out when absent) and "reason".
    Value conflictsValue() const;
};

/// Three-way merge by id. The result is `ours` with every change of
/// `theirs` (against `base`) that does not meet a change of `ours`: changes
/// to different segments, transitions or keys combine, and a change both
/// made alike is taken once. A change of theirs is a conflict, not taken,
/// when ours changed the same value differently, or a dictionary around it
/// or inside it (which is how "ours removed the segment theirs retimed"
/// shows), when it refers to a segment (as "initialSegment", "defaultNext"
/// or a transition) that ours removed or that the merge does not take from
/// theirs, and when it removes a segment that ours' changes now refer to. At a conflict the result
/// keeps ours, so a caller can resolve it from the values listed. The merge makes no id of its own.
/// `merge(b, y, y)`, `merge(b, b, y)` and `merge(b, y, b)` give `y` without conflicts. Throws
/// `DiffError` when an argument is not a dictionary.
[[nodiscard]] PLAYGRAPH_API MergeResult merge(const Value& base, const Value& ours,
                                              const Value& theirs);

} // namespace playgraph::inline v1
