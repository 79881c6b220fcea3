#pragma once

#include <memory>
#include <optional>

#include "playgraph/Config.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

class QZPlaygraph;
class QZPlaygraphSegment;

/// The narrow view of a new inter-playgraph transition that a caller's
/// configure callback receives: read its source segment and destination
/// playgraph, read and set its weight and skip region offset.
///
/// Implemented by `InterPlaygraphSegmentTransition`. The references it
/// reads are weak (empty once the referent is gone). Nothing here throws.
///
/// Threads: meant for the configure callback, which runs on the caller's
/// thread; no other thread may use the transition meanwhile.
class PLAYGRAPH_API QZPlaygraphSegmentTransitionConfiguration {
public:
    virtual ~QZPlaygraphSegmentTransitionConfiguration() = default;

    virtual std::shared_ptr<QZPlaygraphSegment> sourceSegment() const = 0;
    virtual std::shared_ptr<QZPlaygraph> destinationPlaygraph() const = 0;
    /// The weight override when one is set, else the base weight.
    virtual Value weight() const = 0;
    /// Sets the base weight (hidden while a weight override is set).
    virtual void setWeight(Value weight) = 0;
    /// Seconds into the source segment after which skipping is supported.
    virtual std::optional<double> skipRegionOffset() const = 0;
    /// Stores `seconds` as given (no millisecond conversion).
    virtual void setSkipRegionOffset(std::optional<double> seconds) = 0;
};

} // namespace playgraph::inline v1
