// `playgraph dot`: the graph in Graphviz DOT form.
//
// Default-path segments and edges are bold and blue; transitions are
// labelled with their weight and type; decorative segments are grey and
// dashed; play-to-end segments have a double border; ids that name no
// segment are dashed red nodes.

#include <iostream>
#include <set>
#include <string>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

// A DOT string. `shown` writes a line break as \n, which DOT reads as a
// line break in a label, and escapes every other control character.
std::string dotQuoted(std::string_view text) {
    std::string out = "\"";
    for (const char c : shown(text)) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

void writeDot(const Playgraph& graph, std::ostream& out) {
    std::set<std::string> onPath;
    std::set<std::pair<std::string, std::string>> pathEdges;
    std::string previous;
    graph.defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
        onPath.insert(s->segmentId());
        if (!previous.empty()) pathEdges.insert({previous, s->segmentId()});
        previous = s->segmentId();
    });

    std::set<std::string> missing;
    const auto reference = [&](const std::string& id) {
        if (!graph.segmentById(id)) missing.insert(id);
    };

    out << "digraph " << dotQuoted(graph.playgraphId()) << " {\n";
    out << "  rankdir=LR;\n  node [shape=box, style=rounded, fontname=\"Helvetica\"];\n"
        << "  edge [fontname=\"Helvetica\", fontsize=10];\n";
    out << "  \"__start\" [shape=point, width=0.15, label=\"\"];\n";
    if (const auto& initial = graph.initialSegmentId()) {
        reference(*initial);
        out << "  \"__start\" -> " << dotQuoted(*initial) << " [penwidth=2, color=blue];\n";
    }

    for (const auto& [id, segment] : graph.segmentMap()) {
        std::string label =
            id + "\nviewable " + valueText(segment->viewableId()) + "\n" +
            seconds(segment->startTime()) + " - " +
            (segment->playToViewableEnd() ? std::string("end") : seconds(segment->endTime())) +
            " s";
        std::string style = "rounded";
        std::string attributes;
        if (segment->isDecorativeSegment()) {
            style += ",dashed,filled";
            attributes += ", fillcolor=lightgrey";
            label += "\n(decorative)";
        }
        if (segment->playToViewableEnd()) attributes += ", peripheries=2";
        if (onPath.count(id)) attributes += ", penwidth=2, color=blue";
        out << "  " << dotQuoted(id) << " [label=" << dotQuoted(label)
            << ", style=" << dotQuoted(style) << attributes << "];\n";
    }

    for (const auto& [id, segment] : graph.segmentMap()) {
        const auto& defaultNext = segment->defaultNext();
        bool defaultDrawn = false;
        for (const auto& [destination, transition] : segment->next()) {
            reference(destination);
            std::string label = "w " + valueText(transition->weight());
            if (const auto type = transition->effectiveTransitionType()) label += "\n" + *type;
            std::string attributes;
            if (defaultNext == destination) {
                defaultDrawn = true;
                label += "\n(default)";
                attributes = pathEdges.count({id, destination}) ? ", penwidth=2, color=blue"
                                                                : ", penwidth=2";
            }
            out << "  " << dotQuoted(id) << " -> " << dotQuoted(destination)
                << " [label=" << dotQuoted(label) << attributes << "];\n";
        }
        if (defaultNext && !defaultDrawn) {
            reference(*defaultNext);
            out << "  " << dotQuoted(id) << " -> " << dotQuoted(*defaultNext)
                << " [label=\"default\""
                << (pathEdges.count({id, *defaultNext}) ? ", penwidth=2, color=blue"
                                                        : ", penwidth=2")
                << "];\n";
        }
    }

    for (const auto& id : missing) {
        out << "  " << dotQuoted(id) << " [label=" << dotQuoted(id + "\n(missing)")
            << ", style=dashed, color=red, fontcolor=red];\n";
    }
    out << "}\n";
}

} // namespace

Command addDotCommand(CLI::App& app) {
    auto options = std::make_shared<InputOptions>();
    CLI::App* command = app.add_subcommand(
        "dot", "Graphviz DOT of the graph (render with: playgraph dot | dot -Tsvg > graph.svg)");
    addInputOptions(*command, *options);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(*options);
                writeDot(*loaded.playgraph, std::cout);
                return int(exitOk);
            }};
}

} // namespace playgraph::tool
