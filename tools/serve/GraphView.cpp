#include "GraphView.hpp"

#include <deque>
#include <stdexcept>

#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>

#include "Tool.hpp"

namespace playgraph::tool::serve {

namespace {

// Graphviz reads backslash sequences (\n, \N, ...) in labels; an id is shown
// as it is.
std::string labelText(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') out += '\\';
        out += c;
    }
    return out;
}

} // namespace

struct GraphRenderer::Context {
    GVC_t* gvc = nullptr;
};

GraphRenderer::GraphRenderer() : context_(std::make_unique<Context>()) {
    agseterr(AGMAX); // errors are reported to the caller, not printed
    context_->gvc = gvContext();
    if (!context_->gvc) throw std::runtime_error("cannot start Graphviz");
}

GraphRenderer::~GraphRenderer() { gvFreeContext(context_->gvc); }

namespace {

// Sets an attribute declared with a default on the graph first (cgraph needs
// every attribute declared before it is set on an object).
void set(void* object, const char* name, const std::string& value) {
    agset(object, const_cast<char*>(name), const_cast<char*>(value.c_str()));
}

void declare(Agraph_t* graph, int kind, const char* name, const char* value) {
    agattr(graph, kind, const_cast<char*>(name), const_cast<char*>(value));
}

// The nodes drawn around `focus`: a breadth-first walk along transitions in
// both directions until `limit` nodes are taken.
std::vector<std::size_t> neighbourhood(const GraphModel& model, std::size_t focus,
                                       std::size_t limit) {
    std::vector<std::size_t> taken;
    if (model.nodes.size() <= limit) {
        for (std::size_t i = 0; i < model.nodes.size(); ++i)
            taken.push_back(i);
        return taken;
    }
    std::vector<bool> seen(model.nodes.size(), false);
    std::deque<std::size_t> queue{focus};
    seen[focus] = true;
    while (!queue.empty() && taken.size() < limit) {
        const std::size_t node = queue.front();
        queue.pop_front();
        taken.push_back(node);
        const auto visit = [&](std::size_t next) {
            if (!seen[next]) {
                seen[next] = true;
                queue.push_back(next);
            }
        };
        for (const auto& edge : model.nodes[node].out)
            visit(edge.to);
        for (const std::size_t from : model.incoming[node])
            visit(from);
    }
    return taken;
}

} // namespace

std::shared_ptr<const GraphPicture>
GraphRenderer::render(const GraphModel& model, const std::string& focus, std::size_t limit) {
    std::lock_guard lock(mutex_);
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
        if (it->revision == model.revision && it->focus == focus && it->limit == limit) {
            cache_.splice(cache_.begin(), cache_, it);
            return it->picture;
        }
    }

    auto picture = std::make_shared<GraphPicture>();
    picture->total = model.nodes.size();
    std::vector<std::size_t> shown;
    if (!model.nodes.empty()) {
        const auto found = model.index.find(focus);
        const std::size_t center =
            found != model.index.end() ? found->second : model.initial.value_or(0);
        picture->focus = model.nodes[center].id;
        shown = neighbourhood(model, center, limit);
    }
    std::vector<std::ptrdiff_t> position(model.nodes.size(), -1);
    for (std::size_t k = 0; k < shown.size(); ++k)
        position[shown[k]] = static_cast<std::ptrdiff_t>(k);

    Agraph_t* graph = agopen(const_cast<char*>("playgraph"), Agdirected, nullptr);
    for (const auto& [name, value] : graphAttributes())
        declare(graph, AGRAPH, name.c_str(), value.c_str());
    for (const auto& [name, value] : nodeDefaults())
        declare(graph, AGNODE, name.c_str(), value.c_str());
    for (const auto& [name, value] : edgeDefaults())
        declare(graph, AGEDGE, name.c_str(), value.c_str());
    for (const int kind : {AGNODE, AGEDGE}) {
        for (const char* name : {"label", "id", "class"})
            declare(graph, kind, name, "");
    }

    std::vector<Agnode_t*> agnodes(shown.size(), nullptr);
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const GraphNode& node = model.nodes[shown[k]];
        picture->ids.push_back(node.id);
        // The node's name is the segment id: the SVG shows it as the node's title.
        Agnode_t* n = agnode(graph, const_cast<char*>(node.id.c_str()), 1);
        agnodes[k] = n;
        std::string label = labelText(nodeLabel(node));
        std::size_t hidden = 0;
        for (const auto& edge : node.out)
            hidden += position[edge.to] < 0;
        for (const std::size_t from : model.incoming[shown[k]])
            hidden += position[from] < 0;
        std::string classes = "seg";
        if (hidden > 0) {
            label += "\n+" + std::to_string(hidden) + " hidden";
            classes += " more";
        }
        set(n, "label", label);
        set(n, "id", "n" + std::to_string(k));
        for (const auto& [name, value] : nodeAttributes(node))
            set(n, name.c_str(), value);
        // Classes for the page's own marks and legend.
        if (node.onPath) classes += " path";
        if (!node.reachable && !node.missing) classes += " unreachable";
        if (node.decorative) classes += " decorative";
        if (node.adBreak) classes += " adbreak";
        if (node.playToEnd) classes += " playtoend";
        if (node.missing) classes += " missing";
        set(n, "class", classes);
    }

    std::size_t edgeCount = 0;
    for (std::size_t k = 0; k < shown.size(); ++k) {
        for (const auto& edge : model.nodes[shown[k]].out) {
            if (position[edge.to] < 0) continue;
            Agedge_t* e = agedge(graph, agnodes[k], agnodes[position[edge.to]], nullptr, 1);
            set(e, "label", labelText(edge.label));
            set(e, "id", "e" + std::to_string(edgeCount++));
            for (const auto& [name, value] : edgeAttributes(edge))
                set(e, name.c_str(), value);
            std::string classes = "tr";
            if (edge.isDefault) classes += " default";
            if (edge.onPath) classes += " path";
            set(e, "class", classes);
        }
    }

    const int laidOut = gvLayout(context_->gvc, graph, "dot");
    char* data = nullptr;
    unsigned int length = 0;
    const int rendered =
        laidOut == 0 ? gvRenderData(context_->gvc, graph, "svg", &data, &length) : -1;
    if (rendered == 0 && data) picture->svg.assign(data, length);
    if (data) gvFreeRenderData(data);
    if (laidOut == 0) gvFreeLayout(context_->gvc, graph);
    agclose(graph);
    if (rendered != 0) throw std::runtime_error("Graphviz could not lay out the graph");

    cache_.push_front({model.revision, focus, limit, picture});
    if (cache_.size() > 16) cache_.pop_back();
    return picture;
}

} // namespace playgraph::tool::serve
