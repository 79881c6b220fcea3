// `playgraph dot`: the graph in Graphviz DOT form.
//
// Drawn in the look `playgraph serve` draws it in (GraphStyle.hpp): the
// default path bold and blue, transitions labelled with their weight, type
// and skip region, decorative segments grey and dashed, ad breaks tinted,
// play-to-end segments with a double border, ids that name no segment as
// dashed red nodes.

#include <iostream>
#include <string>

#include "GraphStyle.hpp"
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

// `name=value, ...` for a DOT attribute list.
std::string attributeList(const GraphAttributes& attributes) {
    std::string text;
    for (const auto& [name, value] : attributes)
        text += (text.empty() ? "" : ", ") + name + "=" + dotQuoted(value);
    return text;
}

void writeDot(const Playgraph& graph, std::ostream& out) {
    const auto model = GraphModel::build(graph, 0);
    out << "digraph " << dotQuoted(graph.playgraphId()) << " {\n";
    for (const auto& [name, value] : graphAttributes())
        out << "  " << name << "=" << dotQuoted(value) << ";\n";
    out << "  node [" << attributeList(nodeDefaults()) << "];\n";
    out << "  edge [" << attributeList(edgeDefaults()) << "];\n";
    // A point before the initial segment, joined to it as the path is.
    out << "  \"__start\" [shape=point, width=0.15, label=\"\"];\n";
    if (model->initial) {
        GraphEdge start;
        start.onPath = true;
        out << "  \"__start\" -> " << dotQuoted(model->nodes[*model->initial].id) << " ["
            << attributeList(edgeAttributes(start)) << "];\n";
    }
    for (const GraphNode& node : model->nodes) {
        GraphAttributes attributes = {{"label", nodeLabel(node)}};
        for (auto& attribute : nodeAttributes(node))
            attributes.push_back(std::move(attribute));
        out << "  " << dotQuoted(node.id) << " [" << attributeList(attributes) << "];\n";
    }
    for (const GraphNode& node : model->nodes) {
        for (const GraphEdge& edge : node.out) {
            GraphAttributes attributes = {{"label", edge.label}};
            for (auto& attribute : edgeAttributes(edge))
                attributes.push_back(std::move(attribute));
            out << "  " << dotQuoted(node.id) << " -> " << dotQuoted(model->nodes[edge.to].id)
                << " [" << attributeList(attributes) << "];\n";
        }
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
