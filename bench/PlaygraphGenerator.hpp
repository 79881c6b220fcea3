#pragma once

// A generator of realistic playgraph dictionaries for the benchmarks:
// deterministic from a seed, shaped like the branching stories that players
// load.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "playgraph/Value.hpp"

namespace playgraph::bench {

struct GeneratorOptions {
    /// Number of segments in the dictionary.
    std::size_t segmentCount = 1000;
    uint64_t seed = 1;
    /// A branch point is placed after this many default-path segments on
    /// average (at least 2).
    std::size_t branchEvery = 6;
    /// Insert the segments into the dictionary in a shuffled order (as a
    /// decoded JSON object would arrive) rather than in path order.
    bool shuffleSegmentOrder = true;
};

/// A generated playgraph and what the generator knows about it.
struct GeneratedPlaygraph {
    /// The playgraph dictionary: "playgraphId", "type" "branching",
    /// "initialSegment", "segments".
    Dictionary dictionary;
    /// Every segment id, in generation order (the default path's segments
    /// appear in path order among them).
    std::vector<std::string> segmentIds;
    /// The ids along the default path, from the initial segment.
    std::vector<std::string> defaultPath;
    /// The one viewable that every segment plays.
    uint64_t viewableId = 0;
};

/// Builds a playgraph of `options.segmentCount` segments (at least 1):
///
/// - a long default path through one viewable, segments of 2 to 30 seconds
///   laid end to end;
/// - every few path segments a branch point with two or three weighted
///   transitions: one continues the path, the others lead to one or two
///   alternative segments that rejoin the path at the next path segment;
/// - now and then an alternative that ends the story instead: a play-to-end
///   segment with no successor;
/// - some decorative path segments (recaps, credits) and some annotated ones
///   (skip and seek rules, ad-break indexes, a fixed playback rate);
/// - ids of 10 to 20 characters, unique, such as "scene_000042_qkzr".
///
/// Play-to-end segments stay off the default path, so its duration is known.
GeneratedPlaygraph generatePlaygraph(const GeneratorOptions& options);

} // namespace playgraph::bench
