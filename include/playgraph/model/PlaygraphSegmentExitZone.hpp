#pragma once

#include <memory>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"
#include "playgraph/QZPlaygraphSegmentExitZone.hpp"

namespace playgraph::inline v1 {

/// A time window of a segment within which it may be left. Made by players;
/// refers to its segment weakly and holds an opaque `registration` object
/// for its owner.
class PLAYGRAPH_API PlaygraphSegmentExitZone : public QZPlaygraphSegmentExitZone {
public:
    static std::shared_ptr<PlaygraphSegmentExitZone>
    create(const std::shared_ptr<QZPlaygraphSegment>& segment, double startTime, double endTime);
    /// A single-frame zone: start and end are both `exitTime`.
    static std::shared_ptr<PlaygraphSegmentExitZone>
    create(const std::shared_ptr<QZPlaygraphSegment>& segment, double exitTime);

    bool isSingleFrameZone() const override { return startTime_ == endTime_; }
    bool isTrailingZone() const override;
    double startTime() const override { return startTime_; }
    double endTime() const override { return endTime_; }
    void setStartTime(double t) { startTime_ = t; }
    void setEndTime(double t) { endTime_ = t; }
    std::shared_ptr<QZPlaygraphSegment> segment() const { return segment_.lock(); }
    void setSegment(const std::shared_ptr<QZPlaygraphSegment>& segment) { segment_ = segment; }
    const std::shared_ptr<void>& registration() const { return registration_; }
    void setRegistration(std::shared_ptr<void> registration) {
        registration_ = std::move(registration);
    }

private:
    PlaygraphSegmentExitZone() = default;
    std::weak_ptr<QZPlaygraphSegment> segment_;
    double startTime_ = 0.0;
    double endTime_ = 0.0;
    std::shared_ptr<void> registration_;
};

} // namespace playgraph::inline v1
