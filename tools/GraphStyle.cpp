#include "GraphStyle.hpp"

#include <limits>
#include <set>

#include "Tool.hpp"

namespace playgraph::tool {

std::string segmentFlags(const QZPlaygraphSegment& segment) {
    std::vector<std::string> flags;
    if (segment.isDecorativeSegment()) flags.push_back("decorative");
    if (segment.breakIndex() >= 0)
        flags.push_back("ad break " + std::to_string(segment.breakIndex()));
    else if (!segment.adBreakToken().isAbsent())
        flags.push_back("ad break");
    const auto& annotations = segment.annotations();
    if (annotations && annotations->contains(keys::allowsSkipForward))
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

namespace {

// Sets `name` to `value`, replacing an earlier value of it.
void put(GraphAttributes& attributes, const char* name, const char* value) {
    for (auto& attribute : attributes) {
        if (attribute.first == name) {
            attribute.second = value;
            return;
        }
    }
    attributes.emplace_back(name, value);
}

constexpr const char* pathColor = "#0969da";
constexpr const char* pathWidth = "2.5";

} // namespace

const GraphAttributes& graphAttributes() {
    static const GraphAttributes attributes = {{"rankdir", "LR"}, {"nodesep", "0.3"}};
    return attributes;
}

const GraphAttributes& nodeDefaults() {
    static const GraphAttributes attributes = {
        {"shape", "box"},     {"style", "rounded,filled"}, {"fillcolor", "white"},
        {"color", "#57606a"}, {"fontname", "Helvetica"},   {"fontsize", "11"},
        {"peripheries", "1"}, {"penwidth", "1"},
    };
    return attributes;
}

const GraphAttributes& edgeDefaults() {
    static const GraphAttributes attributes = {
        {"fontname", "Helvetica"}, {"fontsize", "9"},    {"style", "solid"},
        {"penwidth", "1"},         {"color", "#57606a"},
    };
    return attributes;
}

GraphAttributes nodeAttributes(const GraphNode& node) {
    GraphAttributes attributes;
    if (node.onPath) {
        put(attributes, "color", pathColor);
        put(attributes, "penwidth", pathWidth);
    }
    if (node.decorative) {
        put(attributes, "style", "rounded,filled,dashed");
        put(attributes, "fillcolor", "#eaeef2");
    }
    if (node.adBreak) put(attributes, "fillcolor", "#fff1d6");
    if (node.playToEnd) put(attributes, "peripheries", "2");
    if (node.missing) {
        put(attributes, "style", "rounded,dashed");
        put(attributes, "color", "#cf222e");
    }
    return attributes;
}

GraphAttributes edgeAttributes(const GraphEdge& edge) {
    GraphAttributes attributes;
    if (edge.isDefault) put(attributes, "penwidth", "2");
    if (edge.onPath) {
        put(attributes, "color", pathColor);
        put(attributes, "penwidth", pathWidth);
    }
    if (!edge.transition) put(attributes, "style", "dashed");
    return attributes;
}

std::string nodeLabel(const GraphNode& node) {
    std::string label = node.id + "\n" + node.details;
    if (!node.flags.empty()) label += "\n" + node.flags;
    return label;
}

} // namespace playgraph::tool
