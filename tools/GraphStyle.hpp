#pragma once

// The graph as `playgraph dot` and `playgraph serve` draw it: a snapshot of
// its segments and transitions, and its one look, as Graphviz attributes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::tool {

/// How a segment is marked beyond its times: "decorative", "ad break 2",
/// "skippable" or "no skip" (when it says so), "plays to end"; joined by dots.
std::string segmentFlags(const QZPlaygraphSegment& segment);

/// A transition (or a "defaultNext" without one) as drawn.
struct GraphEdge {
    std::size_t to = 0;
    std::string label;
    bool isDefault = false; ///< the source's default next
    bool onPath = false;    ///< a step of the default path
    bool transition = true; ///< false: a "defaultNext" with no transition behind it
};

/// A segment, or an id that is referred to but names no segment.
struct GraphNode {
    std::string id;
    std::string details; ///< label lines after the id: viewable, times
    std::string flags;   ///< last label line: decorative, ad break, ...
    bool missing = false;
    bool onPath = false;
    bool reachable = true;
    bool decorative = false;
    bool playToEnd = false;
    bool adBreak = false;
    std::vector<GraphEdge> out;
};

/// Everything drawn of one state of the playgraph. Immutable once built, so
/// it can be laid out without holding the playgraph's lock.
struct GraphModel {
    uint64_t revision = 0;
    std::vector<GraphNode> nodes;
    std::vector<std::vector<std::size_t>> incoming;
    std::unordered_map<std::string, std::size_t> index;
    std::optional<std::size_t> initial;

    /// Reads `graph`'s segments, transitions, default path and what the
    /// initial segment reaches.
    static std::shared_ptr<const GraphModel> build(const PlaygraphBase& graph, uint64_t revision);
};

/// Graphviz attributes, each a name and its value; a later one of a name
/// replaces an earlier one.
using GraphAttributes = std::vector<std::pair<std::string, std::string>>;

/// The graph's own attributes (direction, spacing).
const GraphAttributes& graphAttributes();
/// What every node has unless its kind says otherwise; every attribute that
/// `nodeAttributes` sets is among them.
const GraphAttributes& nodeDefaults();
/// What every edge has unless its kind says otherwise; every attribute that
/// `edgeAttributes` sets is among them.
const GraphAttributes& edgeDefaults();
/// What `node` changes from the defaults: the default path, decorative, ad
/// break, plays to end, missing.
GraphAttributes nodeAttributes(const GraphNode& node);
/// What `edge` changes from the defaults: default, default path, a bare
/// "defaultNext".
GraphAttributes edgeAttributes(const GraphEdge& edge);
/// The lines of `node`'s label (id, details, flags), unescaped.
std::string nodeLabel(const GraphNode& node);

} // namespace playgraph::tool
