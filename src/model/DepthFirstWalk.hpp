#pragma once

// The depth-first walk shared by the playgraphs and the composite data
// source. Internal header.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "playgraph/PlaygraphPosition.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"

namespace playgraph::inline v1::detail {

/// Walks depth-first from `segment` at `segmentDepth`: reports a segment,
/// marks its id visited, then enters each child whose id is not visited at
/// that moment, in the order `childrenOf` gives them. `childrenOf(segment)`
/// returns a vector of children, `childId(child)` a child's segment id and
/// `resolve(child)` its segment; a child that does not resolve is skipped and
/// its siblings are still walked. True when the callback asked to stop.
///
/// The recursion is kept on an explicit stack, so long chains cannot
/// overflow the call stack; calls come in the order, and with the depths, of
/// the recursive form. Nothing is referenced across a callback but the
/// walk's own stack, so the callback may change the graph it walks.
template <class ChildrenOf, class ChildId, class Resolve>
bool depthFirstWalk(const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t segmentDepth,
                    const TraversalCallback& callback,
                    std::unordered_set<std::string>& visitedSegments, ChildrenOf&& childrenOf,
                    ChildId&& childId, Resolve&& resolve) {
    if (!segment || !callback) return false;
    using Children = decltype(childrenOf(segment));
    struct Frame {
        Children children;
        std::size_t nextChild = 0;
        uint64_t depth = 0;
    };
    std::vector<Frame> stack;
    const auto enter = [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t depth) {
        bool stop = false;
        callback(s, depth, stop);
        if (stop) return true;
        visitedSegments.insert(s->segmentId());
        stack.push_back(Frame{childrenOf(s), 0, depth});
        return false;
    };
    if (enter(segment, segmentDepth)) return true;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.nextChild == frame.children.size()) {
            stack.pop_back();
            continue;
        }
        // Copied out of the frame: entering a child grows the stack.
        const auto child = frame.children[frame.nextChild++];
        const uint64_t childDepth = frame.depth + 1;
        if (visitedSegments.count(childId(child))) continue;
        const std::shared_ptr<QZPlaygraphSegment> resolved = resolve(child);
        if (!resolved) continue;
        if (enter(resolved, childDepth)) return true;
    }
    return false;
}

} // namespace playgraph::inline v1::detail
