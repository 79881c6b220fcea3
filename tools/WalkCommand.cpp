// `playgraph walk`: breadth-first or depth-first over all transitions.

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

struct WalkOptions {
    InputOptions input;
    bool depthFirst = false;
    std::optional<std::string> from;
    uint64_t maxDepth = std::numeric_limits<uint64_t>::max();
};

// The indentation stops growing at this many levels, so that the output
// stays linear in the walk; each line prints its depth.
constexpr uint64_t kMaxIndent = 16;

} // namespace

Command addWalkCommand(CLI::App& app) {
    auto options = std::make_shared<WalkOptions>();
    CLI::App* command = app.add_subcommand(
        "walk", "Walks the graph over default nexts and transitions, one segment per line with "
                "its depth (breadth-first from depth 1, depth-first from depth 0)");
    auto* bfs = command->add_flag("--bfs")->description("Breadth-first (the default)");
    auto* dfs = command->add_flag("--dfs", options->depthFirst, "Depth-first");
    bfs->excludes(dfs);
    command->add_option("--from", options->from, "Start segment (default: the initial segment)");
    command
        ->add_option("--max-depth", options->maxDepth,
                     "Report at most N levels, the start counting as one (N from 1)")
        ->check(integerCheck(1));
    addInputOptions(*command, options->input);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(options->input);
                const Playgraph& graph = *loaded.playgraph;
                const auto start = options->from ? options->from : graph.initialSegmentId();
                if (!start || !graph.segmentById(*start)) {
                    throw InputError("no start segment \"" + start.value_or("") + "\"");
                }
                const auto print = [](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t depth,
                                      uint64_t level) {
                    std::cout << std::string(2 * std::min(level, kMaxIndent), ' ')
                              << (s ? shown(s->segmentId()) : std::string("(missing segment)"))
                              << "  depth " << depth << '\n';
                };
                if (options->depthFirst) {
                    graph.depthFirstTraversalFromSegmentId(
                        start, [&](const auto& s, uint64_t depth, bool&) {
                            if (depth < options->maxDepth) print(s, depth, depth);
                        });
                } else {
                    graph.bredthFirstTraversalFromSegmentId(
                        start, options->maxDepth,
                        [&](const auto& s, uint64_t depth, bool&) { print(s, depth, depth - 1); });
                }
                return int(exitOk);
            }};
}

} // namespace playgraph::tool
