#pragma once

#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/QZPlaygraphSegmentTransition.hpp"

namespace playgraph::inline v1 {

/// The four values a transition entry of a "next" map carries, read with the
/// dictionary format's rules: "weight" as it is (any kind, the null marker
/// included); "skipRegionOffset" as whole milliseconds (a finite number,
/// truncated toward zero) divided by 1000; "autoplayType" from a number, else
/// 0; "transitionType" from a string. Wrongly typed values read as absent.
struct PLAYGRAPH_API TransitionEntry {
    Value weight;
    std::optional<double> skipRegionOffset;
    int64_t autoplayType = 0;
    std::optional<std::string> transitionType;

    [[nodiscard]] static TransitionEntry read(const Value& entry);
};

/// The behaviour that every transition class shares: weights and their
/// override, type, skip region offset, destination offset, completion, exit
/// zones and the effective type. A subclass says which playgraph resolves
/// the destination id and how its key reads.
class PLAYGRAPH_API SegmentTransitionCore : public virtual QZPlaygraphSegmentTransition {
public:
    void overrideWeight(Value weight) override;
    std::shared_ptr<QZPlaygraphSegment> sourceSegment() const override {
        return sourceSegment_.lock();
    }
    std::shared_ptr<QZPlaygraphSegment> destinationSegment() const override;
    const std::string& destinationSegmentId() const override { return destinationSegmentId_; }
    Value weight() const override { return weightOverride_.isNone() ? weight_ : weightOverride_; }
    const std::optional<std::string>& transitionType() const override { return transitionType_; }
    std::optional<double> skipRegionOffset() const override { return skipRegionOffset_; }
    int64_t autoplayType() const override { return autoplayType_; }
    std::optional<std::string> effectiveTransitionType() const override;
    double destinationSegmentOffset() const override { return destinationSegmentOffset_; }
    void setDestinationSegmentOffset(double offset) override;
    const Completion& completion() const override;
    void setCompletion(Completion completion) override;

    /// The weight override, or none.
    const Value& weightOverride() const { return weightOverride_; }
    void setWeightOverride(Value weight);
    /// Sets the base weight; invisible while an override is set.
    void setWeight(Value weight);
    void setSourceSegment(const std::shared_ptr<QZPlaygraphSegment>& segment);
    void setDestinationSegmentId(std::string id);
    void setTransitionType(std::optional<std::string> type);
    void setSkipRegionOffset(std::optional<double> seconds);
    const ExitZoneList& exitZones() const { return exitZones_; }
    void setExitZones(ExitZoneList zones);

protected:
    SegmentTransitionCore(std::string destinationSegmentId,
                          std::optional<std::string> transitionType, Value weight,
                          std::optional<double> skipRegionOffset, int64_t autoplayType);

    /// The playgraph in which the destination id is looked up.
    virtual std::shared_ptr<QZPlaygraph> destinationLookupPlaygraph() const = 0;
    /// "<source> -> <destination>@<offset>", or with " <type>" after the
    /// source when `withType` and the own type is set and not "lazy". A
    /// source that is gone reads "(null)".
    std::string formatKey(bool withType) const;
    /// Called by every setter after the change.
    virtual void didChange() {}

    int64_t autoplayType_ = 0;

private:
    friend class PlaygraphBase;

    std::weak_ptr<QZPlaygraphSegment> sourceSegment_;
    std::string destinationSegmentId_;
    Value weight_;
    Value weightOverride_;
    std::optional<std::string> transitionType_;
    std::optional<double> skipRegionOffset_;
    double destinationSegmentOffset_ = 0.0;
    std::unique_ptr<Completion> completion_; ///< none until one is set: most never are
    ExitZoneList exitZones_;
};

/// A transition between two segments of one playgraph; the builders make one
/// per entry of a segment's "next" map. Owned by the source segment; its
/// source segment and playgraph are held weakly. The transitions that one
/// load builds live together in one block with one owner count (apart from
/// the segments' block): a handle to any of them keeps all of them alive,
/// though none of the segments.
class PLAYGRAPH_API PlaygraphSegmentTransition : public SegmentTransitionCore {
public:
    static std::shared_ptr<PlaygraphSegmentTransition>
    create(std::string destinationSegmentId, std::optional<std::string> transitionType,
           Value weight, std::optional<double> skipRegionOffset, int64_t autoplayType);
    /// Reads the transition entry (see `TransitionEntry`).
    static std::shared_ptr<PlaygraphSegmentTransition> create(std::string destinationSegmentId,
                                                              const Value& dictionary);

    std::string key() const override { return formatKey(true); }
    std::string description() const { return key(); }

    std::shared_ptr<QZPlaygraph> playgraph() const { return playgraph_.lock(); }
    void setPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph);

protected:
    using SegmentTransitionCore::SegmentTransitionCore;
    std::shared_ptr<QZPlaygraph> destinationLookupPlaygraph() const override {
        return playgraph_.lock();
    }
    /// A change of a transition is a change of its source segment: an
    /// editable playgraph rebuilds that segment at its next edit.
    void didChange() override;

private:
    friend class PlaygraphBase;

    /// Room for the transitions of one load, owned together (see the class).
    class Block;
    static std::shared_ptr<Block> makeBlock();
    /// A transition to `destinationSegmentId` read from `entry` (see
    /// `TransitionEntry`): in `block` (sharing its owner count) when there is
    /// one, else in an allocation of its own.
    static std::shared_ptr<PlaygraphSegmentTransition>
    make(const std::shared_ptr<Block>& block, std::string destinationSegmentId, const Value& entry);

    std::weak_ptr<QZPlaygraph> playgraph_;
};

} // namespace playgraph::inline v1
