// Graph walks, written once for both playgraph flavors.

#include <vector>

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
    if (!segment || !callback) return false;
    // The recursion is kept on an explicit stack so that long chains cannot
    // overflow the call stack; the order of calls is that of the recursion.
    struct Frame {
        std::vector<std::string> children;
        std::size_t nextChild = 0;
        uint64_t depth = 0;
    };
    std::vector<Frame> stack;
    const auto enter = [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t depth) {
        bool stop = false;
        callback(s, depth, stop);
        if (stop) return true;
        visitedSegments.insert(s->segmentId());
        stack.push_back(Frame{childrenOf(*s), 0, depth});
        return false;
    };
    if (enter(segment, segmentDepth)) return true;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.nextChild == frame.children.size()) {
            stack.pop_back();
            continue;
        }
        const std::string childId = frame.children[frame.nextChild++];
        const uint64_t childDepth = frame.depth + 1;
        if (visitedSegments.count(childId)) continue;
        // A child id that names no segment is skipped; its siblings are still walked.
        auto child = segmentById(childId);
        if (!child) continue;
        if (enter(child, childDepth)) return true;
    }
    return false;
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
