#pragma once

#include "playgraph/Config.hpp"

namespace playgraph::inline v1 {

/// A time window (viewable times, seconds) within which a segment may be
/// left. Created by players; the library only defines and stores them.
///
/// Threads: read-only; any number of threads may read a zone while its
/// segment's playgraph is not being changed.
class PLAYGRAPH_API QZPlaygraphSegmentExitZone {
public:
    virtual ~QZPlaygraphSegmentExitZone() = default;
    /// Start equals end exactly.
    virtual bool isSingleFrameZone() const = 0;
    /// The zone ends exactly at its segment's end time (0 once the segment is gone).
    virtual bool isTrailingZone() const = 0;
    virtual double startTime() const = 0;
    virtual double endTime() const = 0;
};

} // namespace playgraph::inline v1
