#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "playgraph/Config.hpp"

namespace playgraph::inline v1 {

class QZPlaygraphSegment;

/// A place to play: a segment and a time within the segment's viewable
/// (`watchableTime`, seconds). The segment is empty when a query found none.
/// The position shares ownership of its segment, so it never dangles; the
/// segment's own back-reference to its playgraph is weak, so a position
/// does not keep the playgraph alive.
///
/// Threads: a plain value; copies may be read on any thread while the
/// segment's playgraph is not being changed.
struct PLAYGRAPH_API PlaygraphPosition {
    std::shared_ptr<QZPlaygraphSegment> segment;
    double watchableTime = 0.0;
};

/// The callback of the walks: the segment (possibly empty), the step index
/// or depth, and a stop flag (false on entry) that the callback sets to end
/// the walk. Called synchronously on the caller's thread.
using TraversalCallback = std::function<void(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                             uint64_t index, bool& stop)>;

} // namespace playgraph::inline v1
