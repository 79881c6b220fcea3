#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

/// What a validation finding is about.
enum class ValidationCode {
    WrongKind,       ///< a value of a kind its key does not take: ignored (a "weight" passed on)
    NonFiniteNumber, ///< a not-a-number or infinite number, which the loader keeps as it is
    Missing,         ///< an entry whose absence leaves the playgraph without something
    Reference,       ///< an id that names no segment
    Time,            ///< a time read otherwise than written, or making a play-to-end segment
    Overlap,         ///< two segments of one viewable cover the same time
    Unreachable,     ///< a segment no transition or default next leads to
    Loop,            ///< the default path comes back to a segment it passed
    OpenEnded,       ///< a play-to-end segment in the middle of the default path
};

/// How much a finding matters.
enum class ValidationSeverity {
    /// The loader reads the dictionary otherwise than it is written (a value
    /// ignored or clamped, an id that resolves to nothing).
    Error,
    /// Read as written, but probably not meant (an unreachable segment, an
    /// overlap, a loop).
    Warning,
};

/// One finding of `validate`.
struct PLAYGRAPH_API ValidationFinding {
    ValidationCode code;
    ValidationSeverity severity;
    /// The key path of the entry concerned, keys joined by "." (segment ids
    /// may themselves hold dots): "initialSegment",
    /// "segments.intro.endTimeMs", "segments.intro.next.left.weight".
    std::string path;
    /// What is wrong, in words, quoting the dictionary's own values.
    std::string message;
};

/// The stable name of `code`, for programs: "wrongKind", "nonFiniteNumber",
/// "missing", "reference", "time", "overlap", "unreachable", "loop",
/// "openEnded".
[[nodiscard]] PLAYGRAPH_API std::string_view codeName(ValidationCode code);
/// `code` in words, for people: "wrongly typed value", "id naming no
/// segment", ...
[[nodiscard]] PLAYGRAPH_API std::string_view describe(ValidationCode code);
/// The stable name of `severity`: "error" or "warning".
[[nodiscard]] PLAYGRAPH_API std::string_view severityName(ValidationSeverity severity);

/// Lints a playgraph dictionary: the entries the loader reads otherwise than
/// written or ignores (a wrong kind: a boolean is not a number; a time that
/// is fractional or beyond the signed 64-bit milliseconds), ids naming no
/// segment, segments without a viewable, unreachable segments, a looping
/// default path, play-to-end segments inside it, ends not after starts and
/// overlapping segments of one viewable. `defaultViewableId` is the one the
/// playgraph would be loaded with. A `dictionary` that is not a dictionary
/// gives one `WrongKind` finding at the empty path.
///
/// The findings come in the dictionary's order (by the top-level key, then
/// by the segment they concern). Linear in the dictionary's size, n log n
/// for the overlaps. Never throws except on allocation failure; reads
/// `dictionary` and changes nothing, so it may run concurrently with other
/// readers of it.
[[nodiscard]] PLAYGRAPH_API std::vector<ValidationFinding>
validate(const Value& dictionary, const Value& defaultViewableId = Value());

} // namespace playgraph::inline v1
