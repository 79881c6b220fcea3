#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/OrderedMap.hpp"
#include "playgraph/QZPlaygraphSegmentExitZone.hpp"
#include "playgraph/QZPlaygraphSegmentTransition.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

class QZPlaygraph;
class QZPlaygraphParams;

/// A segment's outgoing transitions, keyed by destination segment id.
using TransitionMap = OrderedMap<std::shared_ptr<QZPlaygraphSegmentTransition>>;
/// An ordered list of exit zones.
using ExitZoneList = std::vector<std::shared_ptr<QZPlaygraphSegmentExitZone>>;

/// A node of a playgraph: a time range (seconds) of one viewable, with its
/// outgoing transitions, its default next segment and its annotations.
///
/// Segments are owned by their playgraph and compared by identity. Their
/// back-reference to the playgraph is weak: `playgraph()` is empty once the
/// playgraph is gone. No member throws; absent values read as documented
/// (an empty optional, not-a-number, or the reader's default).
///
/// Threads: the getters may run on several threads at once while nothing
/// changes the segment's playgraph. `setMovieDuration` recomputes the
/// playgraph's duration and offsets: the caller must keep it from overlapping
/// any other call on that playgraph or its segments.
class PLAYGRAPH_API QZPlaygraphSegment {
public:
    virtual ~QZPlaygraphSegment() = default;

    /// Stores `seconds` as the end time, then sets it as the movie duration.
    virtual void updateLiveDuration(double seconds) = 0;
    /// Both segments have a viewable id and the ids are numerically equal.
    virtual bool sharesAssetWith(const std::shared_ptr<QZPlaygraphSegment>& other) const = 0;
    /// This segment seamlessly continues `other`: same viewable, and other's
    /// end time equals this start time exactly.
    virtual bool isContiguousAfter(const std::shared_ptr<QZPlaygraphSegment>& other) const = 0;
    /// Boolean reading of an annotation; the default when it is absent.
    virtual bool booleanValueForAnnotation(std::string_view key,
                                           bool defaultValueIfNotPresent) const = 0;
    /// Signed 32-bit integer reading of an annotation, widened; the default
    /// when it is absent.
    virtual int64_t intValueForAnnotation(std::string_view key,
                                          int64_t defaultValueIfNotPresent) const = 0;
    virtual std::shared_ptr<QZPlaygraphParams> playgraphParams() const = 0;
    virtual void setPlaygraphParams(std::shared_ptr<QZPlaygraphParams> params) = 0;
    /// The playgraph that built this segment, or empty once it is gone.
    virtual std::shared_ptr<QZPlaygraph> playgraph() const = 0;
    virtual const std::string& segmentId() const = 0;
    /// The viewable id as given (a number), or none.
    virtual const Value& viewableId() const = 0;
    virtual double startTime() const = 0;
    /// The movie duration for a play-to-end segment, else the stored end.
    virtual double endTime() const = 0;
    virtual double offsetInPlaygraph() const = 0;
    virtual void setOffsetInPlaygraph(double offset) = 0;
    virtual const std::optional<std::string>& defaultNext() const = 0;
    virtual const std::optional<std::string>& transitionType() const = 0;
    /// Outgoing transitions (empty when there are none).
    virtual const TransitionMap& next() const = 0;
    /// "<playgraphId>::<segmentId>".
    virtual const std::string& canonicalSegmentId() const = 0;
    /// Not-a-number while a play-to-end segment's movie duration is unknown.
    virtual double segmentDuration() const = 0;
    virtual bool playToViewableEnd() const = 0;
    virtual double movieDuration() const = 0;
    /// Stores the viewable's duration; a change makes the playgraph
    /// recompute its duration and offsets.
    virtual void setMovieDuration(double seconds) = 0;
    virtual const std::optional<Dictionary>& userInfo() const = 0;
    virtual const ExitZoneList& exitZones() const = 0;
    /// "fixedPlaybackRate" when it is a number, else not-a-number.
    virtual float fixedRate() const = 0;
    virtual const std::optional<Dictionary>& annotations() const = 0;

    virtual bool isDecorativeSegment() const = 0;
    virtual bool hasAuxiliaryManifest() const = 0;
    virtual int64_t breakIndex() const = 0;
    virtual int64_t decorativeIndex() const = 0;
    /// False only for a segment that is both decorative and padding.
    virtual bool hasContent() const = 0;
    virtual bool allowsSeekWithin() const = 0;
    virtual bool allowsSkipForward() const = 0;
    virtual bool allowsSkipBackward() const = 0;
    virtual bool allowsSkipOnPostplay() const = 0;
    virtual bool allowsSkipOnForwardSeekOver() const = 0;
    virtual bool playOnceOnlyPerSession() const = 0;
    virtual bool isBeforeEmptyAdBreak() const = 0;
    virtual bool isAfterEmptyAdBreak() const = 0;
    virtual int64_t emptyAdBreakIndex() const = 0;
    virtual int64_t precedingEmptyAdBreakIndex() const = 0;
    /// Reads "precedingEmptyAdBreakIndex", like `precedingEmptyAdBreakIndex`.
    virtual int64_t afterAnyAdBreakIndex() const = 0;
    /// The stored value itself, or none.
    virtual Value adBreakToken() const = 0;
    virtual Value precedingEmptyAdBreakToken() const = 0;

    /// "Segment(<id>,[<start %0.2f>-<end %02f>])".
    virtual std::string description() const = 0;
};

} // namespace playgraph::inline v1
