#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraphSegmentTransitionConfiguration.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"

namespace playgraph::inline v1 {

/// A transition from a segment of one playgraph to a segment of another:
/// its destination id is resolved in `destinationPlaygraph`.
///
/// Everything else behaves as in `PlaygraphSegmentTransition` (weights and
/// their override, effective type, destination offset), except that
/// `autoplayType` is writable and `key` never names the transition type
/// ("a -> b@0" also for an immediate edge). Made and owned by the composite
/// data source; its source segment and destination playgraph are held
/// weakly and read as none once gone. Nothing here throws.
///
/// Threads: as for `QZPlaygraphSegmentTransition`; its setters must not
/// overlap any other call on it.
class PLAYGRAPH_API InterPlaygraphSegmentTransition
    : public SegmentTransitionCore,
      public virtual QZPlaygraphSegmentTransitionConfiguration {
public:
    static std::shared_ptr<InterPlaygraphSegmentTransition>
    create(std::string destinationSegmentId, std::optional<std::string> transitionType,
           Value weight, std::optional<double> skipRegionOffset, int64_t autoplayType);
    /// Reads a transition entry (see `TransitionEntry`).
    static std::shared_ptr<InterPlaygraphSegmentTransition> create(std::string destinationSegmentId,
                                                                   const Value& dictionary);

    // Members shared by both interfaces.
    std::shared_ptr<QZPlaygraphSegment> sourceSegment() const override {
        return SegmentTransitionCore::sourceSegment();
    }
    Value weight() const override { return SegmentTransitionCore::weight(); }
    void setWeight(Value weight) override { SegmentTransitionCore::setWeight(std::move(weight)); }
    std::optional<double> skipRegionOffset() const override {
        return SegmentTransitionCore::skipRegionOffset();
    }
    void setSkipRegionOffset(std::optional<double> seconds) override {
        SegmentTransitionCore::setSkipRegionOffset(seconds);
    }

    /// "<source id> -> <destination id>@<offset>", whatever the type.
    std::string key() const override { return formatKey(false); }

    std::shared_ptr<QZPlaygraph> destinationPlaygraph() const override {
        return destinationPlaygraph_.lock();
    }
    void setDestinationPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph) {
        destinationPlaygraph_ = playgraph;
    }
    void setAutoplayType(int64_t autoplayType) { autoplayType_ = autoplayType; }

protected:
    using SegmentTransitionCore::SegmentTransitionCore;
    std::shared_ptr<QZPlaygraph> destinationLookupPlaygraph() const override {
        return destinationPlaygraph_.lock();
    }

private:
    std::weak_ptr<QZPlaygraph> destinationPlaygraph_;
};

} // namespace playgraph::inline v1
