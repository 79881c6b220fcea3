#pragma once

#include <string_view>

namespace playgraph::inline v1 {

/// Transition types. Any string may be stored as a type; the library only
/// compares with "lazy" (when it forms a transition's key).
inline constexpr std::string_view QZPlaygraphTransitionTypeLazy = "lazy";
inline constexpr std::string_view QZPlaygraphTransitionTypeImmediate = "immediate";
inline constexpr std::string_view QZPlaygraphTransitionTypePauseAtStart = "pauseAtStart";
inline constexpr std::string_view QZPlaygraphTransitionTypePauseAtEnd = "pauseAtEnd";
/// System transition types, published for players; the library never uses them.
inline constexpr std::string_view QZPlaygraphSystemTransitionTypeStart = "start";
inline constexpr std::string_view QZPlaygraphSystemTransitionTypeSeek = "seek";
inline constexpr std::string_view QZPlaygraphSystemTransitionTypeEnd = "end";

/// The entry of a segment dictionary that holds its user info.
inline constexpr std::string_view MutablePlaygraphUserInfoKey = "userInfo";
/// The entry of a segment's user info that holds its `QZPlaygraphParams`.
inline constexpr std::string_view PlaygraphSegmentUserInfoPlaygraphParamsKey =
    "PlaygraphSegmentUserInfoPlaygraphParamsKey";

} // namespace playgraph::inline v1
