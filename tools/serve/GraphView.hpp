#pragma once

// The picture of `playgraph serve`: a snapshot of the graph taken from the
// editable playgraph, and its layout by Graphviz as SVG. Large graphs are
// drawn around one segment: the neighbourhood of the selection (or of the
// initial segment) up to a node budget, so a layout never takes long.

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::tool::serve {

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

/// A laid-out picture: SVG whose node groups have the ids "n0", "n1", ...
/// naming `ids[0]`, `ids[1]`, ...
struct GraphPicture {
    std::string svg;
    std::vector<std::string> ids;
    std::string focus;
    std::size_t total = 0;
};

/// Lays out graphs with Graphviz (dot) in process. Graphviz keeps global
/// state, so one renderer serialises every layout; recent pictures are kept.
/// Safe to call from several threads.
class GraphRenderer {
public:
    GraphRenderer();
    ~GraphRenderer();
    GraphRenderer(const GraphRenderer&) = delete;
    GraphRenderer& operator=(const GraphRenderer&) = delete;

    /// The picture of `model` around `focus` (the initial segment when it is
    /// empty or names nothing), with at most `limit` nodes. Throws
    /// `std::runtime_error` when Graphviz fails.
    std::shared_ptr<const GraphPicture> render(const GraphModel& model, const std::string& focus,
                                               std::size_t limit);

private:
    std::mutex mutex_;
    struct Context;
    std::unique_ptr<Context> context_;
    struct CacheEntry {
        uint64_t revision;
        std::string focus;
        std::size_t limit;
        std::shared_ptr<const GraphPicture> picture;
    };
    std::list<CacheEntry> cache_;
};

} // namespace playgraph::tool::serve
