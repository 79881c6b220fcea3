#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

class QZPlaygraphSegment;

/// A weighted edge from a source segment to a destination segment id.
///
/// Transitions are owned by their source segment's `next` map and compared
/// by identity. Their references to the source segment and to the playgraph
/// that resolves the destination are weak: once those are gone the
/// transition reads no source, no destination and no effective type from
/// them. Nothing here throws.
///
/// Threads: the getters may run on several threads at once;
/// `setWeightOverride` must not overlap any other call on the transition (the
/// caller serialises).
class PLAYGRAPH_API QZPlaygraphSegmentTransition {
public:
    using Completion = std::function<void(bool)>;

    virtual ~QZPlaygraphSegmentTransition() = default;

    /// Sets the weight override; none removes it, so the base weight shows.
    virtual void overrideWeight(Value weight) = 0;
    virtual std::shared_ptr<QZPlaygraphSegment> sourceSegment() const = 0;
    /// Looked up on every call; empty when it cannot be resolved.
    virtual std::shared_ptr<QZPlaygraphSegment> destinationSegment() const = 0;
    virtual const std::string& destinationSegmentId() const = 0;
    /// The weight override when set, else the base weight (any kind, or none).
    virtual Value weight() const = 0;
    virtual const std::optional<std::string>& transitionType() const = 0;
    /// Seconds into the source segment after which skipping is supported.
    virtual std::optional<double> skipRegionOffset() const = 0;
    virtual int64_t autoplayType() const = 0;
    /// The transition's own type, else (when the source segment has a type)
    /// the destination segment's type, else the source playgraph's type.
    virtual std::optional<std::string> effectiveTransitionType() const = 0;
    virtual double destinationSegmentOffset() const = 0;
    virtual void setDestinationSegmentOffset(double offset) = 0;
    /// Stored for the owner; the library never calls it. The transition's
    /// source segment owns it: a completion that holds a segment or a
    /// transition of the same playgraph strongly keeps it alive, and with it
    /// every segment or transition built with it (see `PlaygraphSegment`,
    /// `PlaygraphSegmentTransition`); capture them weakly.
    virtual const Completion& completion() const = 0;
    virtual void setCompletion(Completion completion) = 0;
    /// The text naming the edge, e.g. "a -> b@0" or "a immediate-> b@2.5".
    virtual std::string key() const = 0;
};

} // namespace playgraph::inline v1
