#pragma once

#include <string_view>

/// The keys of the playgraph dictionary format.
///
/// A playgraph dictionary has "playgraphId", "initialSegment", "type",
/// "transitionType", "segments" (segment id -> segment dictionary) and
/// "annotations" at its top level. Times are integer milliseconds.
namespace playgraph::inline v1::keys {

// Playgraph level.
inline constexpr std::string_view playgraphId = "playgraphId";
inline constexpr std::string_view initialSegment = "initialSegment";
inline constexpr std::string_view type = "type";
inline constexpr std::string_view transitionType = "transitionType";
inline constexpr std::string_view segments = "segments";
inline constexpr std::string_view annotations = "annotations";

// Segment dictionary ("transitionType" and "annotations" as above).
inline constexpr std::string_view viewableId = "viewableId";
inline constexpr std::string_view startTimeMs = "startTimeMs";
inline constexpr std::string_view endTimeMs = "endTimeMs";
inline constexpr std::string_view defaultNext = "defaultNext";
inline constexpr std::string_view next = "next";
inline constexpr std::string_view main = "main";
inline constexpr std::string_view userInfo = "userInfo";

// Transition entry ("transitionType" as above).
inline constexpr std::string_view weight = "weight";
inline constexpr std::string_view skipRegionOffset = "skipRegionOffset";
inline constexpr std::string_view skipRegionWeight = "skipRegionWeight";
inline constexpr std::string_view autoplayType = "autoplayType";

// The "type" value that enables the default viewable id.
inline constexpr std::string_view branchingType = "branching";

// Annotation keys read by the segment.
inline constexpr std::string_view decorative = "decorative";
inline constexpr std::string_view isPadding = "isPadding";
inline constexpr std::string_view hasAuxiliaryManifest = "hasAuxiliaryManifest";
inline constexpr std::string_view breakIndex = "breakIndex";
inline constexpr std::string_view decorativeIndex = "decorativeIndex";
inline constexpr std::string_view allowsSeekWithin = "allowsSeekWithin";
inline constexpr std::string_view allowsSkipForward = "allowsSkipForward";
inline constexpr std::string_view allowsSkipBackward = "allowsSkipBackward";
inline constexpr std::string_view allowsSkipOnForwardSeekOver = "allowsSkipOnForwardSeekOver";
inline constexpr std::string_view allowsSkipOnPostplay = "allowsSkipOnPostplay";
inline constexpr std::string_view playOnceOnlyPerSession = "playOnceOnlyPerSession";
inline constexpr std::string_view isBeforeEmptyAdBreak = "isBeforeEmptyAdBreak";
inline constexpr std::string_view isAfterEmptyAdBreak = "isAfterEmptyAdBreak";
inline constexpr std::string_view emptyAdBreakIndex = "emptyAdBreakIndex";
inline constexpr std::string_view precedingEmptyAdBreakIndex = "precedingEmptyAdBreakIndex";
inline constexpr std::string_view precedingEmptyAdBreakToken = "precedingEmptyAdBreakToken";
inline constexpr std::string_view adBreakToken = "adBreakToken";
inline constexpr std::string_view fixedPlaybackRate = "fixedPlaybackRate";

} // namespace playgraph::inline v1::keys
