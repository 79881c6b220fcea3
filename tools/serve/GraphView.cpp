#include "GraphView.hpp"

#include <deque>
#include <limits>
#include <set>
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

std::string segmentFlags(const QZPlaygraphSegment& segment) {
    std::vector<std::string> flags;
    if (segment.isDecorativeSegment()) flags.push_back("decorative");
    if (segment.breakIndex() >= 0)
        flags.push_back("ad break " + std::to_string(segment.breakIndex()));
    else if (!segment.adBreakToken().isAbsent())
        flags.push_back("ad break");
    const auto& annotations = segment.annotations();
    if (annotations && annotations->contains("allowsSkipForward"))
        flags.push_back(segment.allowsSkipForward() ? "skippable" : "no skip");
    if (segment.playToViewableEnd()) flags.push_back("plays to end");
    std::string text;
    for (const auto& flag : flags)
        text += (text.empty() ? "" : " \xC2\xB7 ") + flag;
    return text;
}

std::shared_ptr<const GraphModel> GraphModel::build(const PlaygraphBase& graph, uint64_t revision) {
    auto model = std::make_shared<GraphModel>();
    model->revision = revision;
    const auto nodeFor = [&](const std::string& id) {
        const auto [it, added] = model->index.try_emplace(id, model->nodes.size());
        if (added) {
            GraphNode node;
            node.id = id;
            node.missing = true;
            node.reachable = false;
            node.details = "names no segment";
            model->nodes.push_back(std::move(node));
        }
        return it->second;
    };

    for (const auto& [id, segment] : graph.segmentMap()) {
        GraphNode& node = model->nodes[nodeFor(id)];
        node.missing = false;
        node.details =
            "viewable " + valueText(segment->viewableId()) + "\n" + seconds(segment->startTime()) +
            " \xE2\x80\x93 " +
            (segment->playToViewableEnd() ? std::string("end") : seconds(segment->endTime())) +
            " s";
        node.flags = segmentFlags(*segment);
        node.decorative = segment->isDecorativeSegment();
        node.playToEnd = segment->playToViewableEnd();
        node.adBreak = segment->breakIndex() >= 0 || !segment->adBreakToken().isAbsent();
    }

    std::set<std::pair<std::string, std::string>> pathSteps;
    std::string previous;
    graph.defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
        model->nodes[model->index.at(s->segmentId())].onPath = true;
        if (!previous.empty()) pathSteps.insert({previous, s->segmentId()});
        previous = s->segmentId();
    });

    for (const auto& [id, segment] : graph.segmentMap()) {
        const std::size_t from = model->index.at(id);
        const auto& defaultNext = segment->defaultNext();
        bool defaultDrawn = false;
        for (const auto& [destination, transition] : segment->next()) {
            GraphEdge edge;
            edge.to = nodeFor(destination);
            edge.label = "w " + valueText(transition->weight());
            if (const auto type = transition->effectiveTransitionType()) edge.label += "\n" + *type;
            if (const auto skip = transition->skipRegionOffset())
                edge.label += "\nskip after " + seconds(*skip) + " s";
            edge.isDefault = defaultNext == destination;
            defaultDrawn = defaultDrawn || edge.isDefault;
            edge.onPath = edge.isDefault && pathSteps.count({id, destination});
            model->nodes[from].out.push_back(std::move(edge));
        }
        if (defaultNext && !defaultDrawn) {
            GraphEdge edge;
            edge.to = nodeFor(*defaultNext);
            edge.label = "default";
            edge.isDefault = true;
            edge.transition = false;
            edge.onPath = pathSteps.count({id, *defaultNext}) > 0;
            model->nodes[from].out.push_back(std::move(edge));
        }
    }

    if (const auto& initial = graph.initialSegmentId()) {
        model->initial = nodeFor(*initial);
        for (auto& node : model->nodes)
            node.reachable = false;
        graph.bredthFirstTraversalFromSegmentId(
            initial, std::numeric_limits<uint64_t>::max(),
            [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
                if (s) model->nodes[model->index.at(s->segmentId())].reachable = true;
            });
    }

    model->incoming.resize(model->nodes.size());
    for (std::size_t from = 0; from < model->nodes.size(); ++from) {
        for (const auto& edge : model->nodes[from].out)
            model->incoming[edge.to].push_back(from);
    }
    return model;
}

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
    declare(graph, AGRAPH, "rankdir", "LR");
    declare(graph, AGRAPH, "nodesep", "0.3");
    declare(graph, AGNODE, "shape", "box");
    declare(graph, AGNODE, "style", "rounded,filled");
    declare(graph, AGNODE, "fillcolor", "white");
    declare(graph, AGNODE, "color", "#57606a");
    declare(graph, AGNODE, "fontname", "Helvetica");
    declare(graph, AGNODE, "fontsize", "11");
    declare(graph, AGNODE, "peripheries", "1");
    declare(graph, AGNODE, "penwidth", "1");
    declare(graph, AGNODE, "label", "");
    declare(graph, AGNODE, "id", "");
    declare(graph, AGNODE, "class", "");
    declare(graph, AGEDGE, "fontname", "Helvetica");
    declare(graph, AGEDGE, "fontsize", "9");
    declare(graph, AGEDGE, "label", "");
    declare(graph, AGEDGE, "style", "solid");
    declare(graph, AGEDGE, "penwidth", "1");
    declare(graph, AGEDGE, "color", "#57606a");
    declare(graph, AGEDGE, "id", "");
    declare(graph, AGEDGE, "class", "");

    std::vector<Agnode_t*> agnodes(shown.size(), nullptr);
    for (std::size_t k = 0; k < shown.size(); ++k) {
        const GraphNode& node = model.nodes[shown[k]];
        picture->ids.push_back(node.id);
        // The node's name is the segment id: the SVG shows it as the node's title.
        Agnode_t* n = agnode(graph, const_cast<char*>(node.id.c_str()), 1);
        agnodes[k] = n;
        std::string label = labelText(node.id) + "\n" + node.details;
        if (!node.flags.empty()) label += "\n" + node.flags;
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
        if (node.onPath) {
            classes += " path";
            set(n, "color", "#0969da");
            set(n, "penwidth", "2.5");
        }
        if (!node.reachable && !node.missing) classes += " unreachable";
        if (node.decorative) {
            classes += " decorative";
            set(n, "style", "rounded,filled,dashed");
            set(n, "fillcolor", "#eaeef2");
        }
        if (node.adBreak) {
            classes += " adbreak";
            set(n, "fillcolor", "#fff1d6");
        }
        if (node.playToEnd) {
            classes += " playtoend";
            set(n, "peripheries", "2");
        }
        if (node.missing) {
            classes += " missing";
            set(n, "style", "rounded,dashed");
            set(n, "color", "#cf222e");
        }
        set(n, "class", classes);
    }

    std::size_t edgeCount = 0;
    for (std::size_t k = 0; k < shown.size(); ++k) {
        for (const auto& edge : model.nodes[shown[k]].out) {
            if (position[edge.to] < 0) continue;
            Agedge_t* e = agedge(graph, agnodes[k], agnodes[position[edge.to]], nullptr, 1);
            set(e, "label", labelText(edge.label));
            set(e, "id", "e" + std::to_string(edgeCount++));
            std::string classes = "tr";
            if (edge.isDefault) {
                classes += " default";
                set(e, "penwidth", "2");
            }
            if (edge.onPath) {
                classes += " path";
                set(e, "color", "#0969da");
                set(e, "penwidth", "2.5");
            }
            if (!edge.transition) set(e, "style", "dashed");
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
