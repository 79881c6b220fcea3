#pragma once

// Rules that every front end (the tool, its `serve` page and the Python
// package) applies in the same way where a person types: how a missing
// default viewable id is chosen, which top level a playgraph file must have,
// where a split may cut, and whether a segment lies on the default path.
// They read the library and never change its answers. Only the standard
// library, the core library and the JSON library are used, so the Python
// module compiles this file too.

#include <optional>
#include <string>
#include <string_view>

#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::tool {

/// The reason given when a playgraph's JSON text is not an object at the top
/// level (a list, a number, ...); messages read "<source>: <this>".
inline constexpr std::string_view kTopLevelNotAnObject = "the top level is not a JSON object";

/// The first numeric "main" value of the segments of `dictionary` (in their
/// order), else none. It is the default viewable id when none is given.
Value firstMainValue(const Value& dictionary);

/// Why splitting `segmentId` of `graph` at `offsetSeconds` from its start is
/// refused: the cut must lie strictly inside the segment, at least 1 ms from
/// either end (the library would make a half whose end is not after its
/// start). None when the split may go ahead, and also when the segment does
/// not exist (the library's own refusal names it then).
std::optional<std::string> splitOffsetProblem(const MutablePlaygraph& graph,
                                              const std::string& segmentId, double offsetSeconds);

/// True when `segment` is one of the segments of `graph`'s default path.
bool isOnDefaultPath(const QZPlaygraph& graph, const std::shared_ptr<QZPlaygraphSegment>& segment);

} // namespace playgraph::tool
