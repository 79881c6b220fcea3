#pragma once

// What diff, apply and merge share: reading a value at a key path, checking
// and making one change, and the segment ids a change refers to.

#include <optional>
#include <string>
#include <vector>

#include "playgraph/diff/Diff.hpp"

namespace playgraph::inline v1::diffsupport {

/// The value at `path` below `root`; none when a step is absent or not a
/// dictionary. An entry holding none reads as absent.
Value valueAt(const Value& root, const KeyPath& path, std::size_t length);
inline Value valueAt(const Value& root, const KeyPath& path) {
    return valueAt(root, path, path.size());
}

/// Throws `DiffError` ("<what>: containers nested deeper than 512 levels
/// ...") when `value` nests that deep, as a container holding itself does,
/// before a deep copy would recurse without end.
void checkNesting(const Value& value, const char* what);

/// Why `change` does not fit `root` (a dictionary), or none when it does.
std::optional<std::string> whyNotApplicable(const Dictionary& root, const PlaygraphChange& change);
/// Makes `change` in `root`, which `whyNotApplicable` accepted: makes the
/// absent dictionaries on the way, stores a deep copy of the new value.
void makeChange(Dictionary& root, const PlaygraphChange& change);

/// A key path as a list of strings (the dictionary forms).
List pathValue(const KeyPath& path);

/// The paths a change occupies: its own, and for a rename also the new id's.
std::vector<KeyPath> claimedPaths(const PlaygraphChange& change);
/// A path as one string key for hashing: each key prefixed by its length.
std::string pathKey(const KeyPath& path, std::size_t length);
inline std::string pathKey(const KeyPath& path) { return pathKey(path, path.size()); }

/// The segment ids the new value of `change` refers to as "initialSegment",
/// "defaultNext" or a transition.
std::vector<std::string> referencesMadeBy(const PlaygraphChange& change);

} // namespace playgraph::inline v1::diffsupport
