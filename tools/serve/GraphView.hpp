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

#include "GraphStyle.hpp"

namespace playgraph::tool::serve {

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
