#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/QZPlaygraphSegment.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

class PlaygraphBase;

/// The segment class built by the playgraph builders.
///
/// Owned by its playgraph (through the segment map) and by nothing else in
/// the library; it refers back to the playgraph weakly. The segments that
/// one load builds live together in one block with one owner count: a
/// handle to any of them keeps the whole block alive, so a segment that an
/// edit replaced stays readable (and unchanged) while its block lives. For
/// the same reason, what a segment holds (params, user info, exit zones and
/// their registrations) should refer to other segments of its playgraph
/// weakly: a strong handle there keeps the block, and so itself, alive.
///
/// The builders set `defaultNext`, `transitionType` and `next` after
/// construction; players may set the movie duration, exit zones, offsets
/// and params. Nothing here throws, except `canonicalSegmentId` when memory
/// runs out.
class PLAYGRAPH_API PlaygraphSegment : public QZPlaygraphSegment {
public:
    /// A segment of `playgraph` (may be empty) playing `viewableId` from
    /// `startTime` to `endTime`. An end that is negative, not-a-number or not
    /// after the start makes a play-to-end segment. `annotations` are copied
    /// one level deep; `userInfo` is held as given.
    static std::shared_ptr<PlaygraphSegment>
    create(const std::shared_ptr<QZPlaygraph>& playgraph, std::string segmentId, Value viewableId,
           double startTime, double endTime, double movieDuration,
           std::optional<Dictionary> annotations, std::optional<Dictionary> userInfo);

    /// The params under "PlaygraphSegmentUserInfoPlaygraphParamsKey" when
    /// that entry is a `QZPlaygraphParams`, else empty.
    [[nodiscard]] static std::shared_ptr<QZPlaygraphParams>
    paramsFromUserInfo(const std::optional<Dictionary>& userInfo);
    /// `contentOffset` minus the segment's start when it lies within
    /// [start, end] (both inclusive), else none.
    [[nodiscard]] static std::optional<double>
    segmentOffsetForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                            double contentOffset);
    /// The segment's `offsetInPlaygraph` plus `segmentOffsetForSegment`, or none.
    [[nodiscard]] static std::optional<double>
    playgraphSessionOffsetForSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                     double contentOffset);

    void updateLiveDuration(double seconds) override;
    bool sharesAssetWith(const std::shared_ptr<QZPlaygraphSegment>& other) const override;
    bool isContiguousAfter(const std::shared_ptr<QZPlaygraphSegment>& other) const override;
    bool booleanValueForAnnotation(std::string_view key,
                                   bool defaultValueIfNotPresent) const override;
    int64_t intValueForAnnotation(std::string_view key,
                                  int64_t defaultValueIfNotPresent) const override;
    std::shared_ptr<QZPlaygraphParams> playgraphParams() const override { return params_; }
    void setPlaygraphParams(std::shared_ptr<QZPlaygraphParams> params) override;
    std::shared_ptr<QZPlaygraph> playgraph() const override { return playgraph_.lock(); }
    const std::string& segmentId() const override { return segmentId_; }
    const Value& viewableId() const override { return viewableId_; }
    double startTime() const override { return startTime_; }
    double endTime() const override { return playToViewableEnd_ ? movieDuration_ : endTime_; }
    double offsetInPlaygraph() const override { return offsetInPlaygraph_; }
    void setOffsetInPlaygraph(double offset) override;
    const std::optional<std::string>& defaultNext() const override { return defaultNext_; }
    const std::optional<std::string>& transitionType() const override { return transitionType_; }
    const TransitionMap& next() const override { return next_; }
    /// "<playgraph id>::<segment id>", the playgraph id as it was when the
    /// segment was built. Formed when first asked for (which may throw
    /// `std::bad_alloc`); safe to call concurrently.
    const std::string& canonicalSegmentId() const override;
    double segmentDuration() const override { return segmentDuration_; }
    bool playToViewableEnd() const override { return playToViewableEnd_; }
    double movieDuration() const override { return movieDuration_; }
    void setMovieDuration(double seconds) override;
    const std::optional<Dictionary>& userInfo() const override { return userInfo_; }
    const ExitZoneList& exitZones() const override { return exitZones_; }
    float fixedRate() const override;
    const std::optional<Dictionary>& annotations() const override { return annotations_; }

    bool isDecorativeSegment() const override;
    bool hasAuxiliaryManifest() const override;
    int64_t breakIndex() const override;
    int64_t decorativeIndex() const override;
    bool hasContent() const override;
    bool allowsSeekWithin() const override;
    bool allowsSkipForward() const override;
    bool allowsSkipBackward() const override;
    bool allowsSkipOnPostplay() const override;
    bool allowsSkipOnForwardSeekOver() const override;
    bool playOnceOnlyPerSession() const override;
    bool isBeforeEmptyAdBreak() const override;
    bool isAfterEmptyAdBreak() const override;
    int64_t emptyAdBreakIndex() const override;
    int64_t precedingEmptyAdBreakIndex() const override;
    int64_t afterAnyAdBreakIndex() const override;
    Value adBreakToken() const override;
    Value precedingEmptyAdBreakToken() const override;
    std::string description() const override;

    /// Also tells the owning playgraph that its default path may have changed.
    void setDefaultNext(std::optional<std::string> defaultNext);
    void setTransitionType(std::optional<std::string> type);
    /// Also tells the owning playgraph that the segment's children changed.
    void setNext(TransitionMap next);
    void setExitZones(ExitZoneList zones);
    /// Stores a one-level copy of `annotations`.
    void setAnnotations(const std::optional<Dictionary>& annotations);

    /// True once a setter changed this segment or one of its transitions
    /// since it was built: an editable playgraph then rebuilds it at its next
    /// edit, as a full rebuild would.
    bool changedSinceBuilt() const { return changed_; }

    ~PlaygraphSegment() override;

protected:
    PlaygraphSegment() = default;

private:
    // The builder sets fields directly, and keeps its index in `slot_`.
    friend class PlaygraphBase;
    friend class PlaygraphSegmentTransition;

    /// Room for segments built together, owned together (see the class).
    class Block;
    /// An empty block, expecting about `capacity` segments.
    static std::shared_ptr<Block> makeBlock(std::size_t capacity);
    /// A new blank segment: in `block` (sharing its owner count) when there
    /// is one, else in an allocation of its own.
    static std::shared_ptr<PlaygraphSegment> makeBlank(const std::shared_ptr<Block>& block);
    /// Gives a blank segment what `create` describes.
    void initialize(const std::shared_ptr<QZPlaygraph>& playgraph, std::string segmentId,
                    Value viewableId, double startTime, double endTime, double movieDuration,
                    std::optional<Dictionary> annotations, std::optional<Dictionary> userInfo);

    const Value* annotation(std::string_view key) const;
    /// Marks the segment changed and tells its playgraph (`links`: its
    /// default next or transitions changed).
    void noteChange(bool links);
    /// True when `playgraph` is the playgraph this segment refers back to.
    bool ownedBy(const QZPlaygraph& playgraph) const;

    std::string segmentId_;
    /// The playgraph's id when the segment was built (shared by the
    /// playgraph's segments) and the canonical id formed from it when first
    /// asked for, owned by the segment: most segments are never asked.
    std::shared_ptr<const std::string> builtPlaygraphId_;
    mutable std::atomic<const std::string*> canonicalSegmentId_{nullptr};
    std::weak_ptr<QZPlaygraph> playgraph_;
    Value viewableId_;
    double startTime_ = 0.0;
    double endTime_ = 0.0;
    double movieDuration_ = 0.0;
    double segmentDuration_ = 0.0;
    double offsetInPlaygraph_ = 0.0;
    std::optional<std::string> defaultNext_;
    std::optional<std::string> transitionType_;
    TransitionMap next_;
    ExitZoneList exitZones_;
    std::optional<Dictionary> annotations_;
    std::optional<Dictionary> userInfo_;
    std::shared_ptr<QZPlaygraphParams> params_;
    uint32_t slot_ = UINT32_MAX; ///< where the owning playgraph's index keeps it
    bool playToViewableEnd_ = false;
    bool changed_ = false;
};

} // namespace playgraph::inline v1
