// Graph walks, written once for both playgraph flavors.

#include <vector>

#include "DepthFirstWalk.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph {

namespace {

// The children of a segment for the graph walks: its default next, then
// every other destination of its transitions, each once.
std::vector<std::string> childrenOf(const QZPlaygraphSegment& segment) {
    std::vector<std::string> children;
    const auto& defaultNext = segment.defaultNext();
    children.reserve(segment.next().size() + 1);
    if (defaultNext) children.push_back(*defaultNext);
    for (const auto& [id, transition] : segment.next()) {
        if (!defaultNext || id != *defaultNext) children.push_back(id);
    }
    return children;
}

} // namespace

void PlaygraphBase::depthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                                     const TraversalCallback& callback) const {
    const std::optional<std::string>& startId = segmentId ? segmentId : initialSegmentId_;
    if (!startId) return;
    // A start that names no segment has nothing to report.
    auto start = segmentById(*startId);
    if (!start) return;
    std::unordered_set<std::string> visited;
    depthFirstTraversalFromSegment(start, 0, callback, visited);
}

bool PlaygraphBase::depthFirstTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t segmentDepth,
    const TraversalCallback& callback, std::unordered_set<std::string>& visitedSegments) const {
    // A child id that names no segment is skipped; its siblings are still walked.
    return detail::depthFirstWalk(
        segment, segmentDepth, callback, visitedSegments,
        [](const std::shared_ptr<QZPlaygraphSegment>& s) { return childrenOf(*s); },
        [](const std::string& id) -> const std::string& { return id; },
        [this](const std::string& id) { return segmentById(id); });
}

void PlaygraphBase::bredthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                                      uint64_t maxDepth,
                                                      const TraversalCallback& callback) const {
    const std::optional<std::string>& startId = segmentId ? segmentId : initialSegmentId_;
    if (!startId || !callback) return;
    std::vector<std::string> queue{*startId};
    std::vector<uint64_t> depths{1};
    std::unordered_set<std::string> queued{*startId};
    for (std::size_t position = 0; position < queue.size(); ++position) {
        const uint64_t depth = depths[position];
        auto segment = segmentById(queue[position]);
        bool stop = false;
        callback(segment, depth, stop);
        if (stop) return;
        if (!segment || maxDepth == 0 || depth >= maxDepth) continue;
        for (std::string& child : childrenOf(*segment)) {
            if (queued.insert(child).second) {
                queue.push_back(std::move(child));
                depths.push_back(depth + 1);
            }
        }
    }
}

} // namespace playgraph
