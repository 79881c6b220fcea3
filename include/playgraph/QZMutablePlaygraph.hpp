#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

/// An editable playgraph: a `QZPlaygraph` whose graph can be changed.
///
/// The playgraph keeps its dictionary as the single source of truth; every
/// edit checks all its arguments, changes the dictionary, then brings the
/// segment and transition objects up to date with it (the objects of the
/// segments it changed are replaced; see the class that implements it for
/// what a caller holding an object across an edit can rely on). Invalid
/// arguments throw
/// `InvalidArgumentError` and leave the dictionary and the segment objects
/// exactly as they were. Times are seconds; the dictionary stores integer
/// milliseconds (seconds x 1000, truncated toward zero). Properties are a
/// `Dictionary`; none (or the null marker) acts as an empty one.
///
/// Threads: an edit rewrites the dictionary, replaces segment and transition
/// objects and updates the default-path offsets of the others, so the caller
/// must keep it from overlapping any other call on the playgraph or its
/// objects (those obtained before the edit included), and any use of the
/// nested dictionaries it shares. Creating an editable playgraph also writes
/// to its "segments" dictionary (it reserves room), so the same holds for
/// creation. Reads may overlap each other.
class PLAYGRAPH_API QZMutablePlaygraph : public virtual QZPlaygraph {
public:
    ~QZMutablePlaygraph() override = default;

    /// Cuts `segmentId` in two at `atOffset` seconds from its start. Either
    /// half may keep the segment's id; the first keeps what leads in, the
    /// second what leads out, and the first leads to the second by default.
    virtual void splitSegment(const std::string& segmentId, double atOffset,
                              const std::string& firstSegmentId,
                              const std::string& secondSegmentId) = 0;
    /// Adds a segment reached from `existingId` by a new transition (weight
    /// 50), optionally as its default next. `viewableId` is a number or none.
    virtual void insertSegmentAfter(const std::string& existingId, const std::string& newSegmentId,
                                    const Value& viewableId, double startTimeSeconds,
                                    double endTimeSeconds, bool asDeafaultNext,
                                    const std::shared_ptr<QZPlaygraphParams>& params) = 0;
    /// Adds a segment in front of `existingId`: every transition into it now
    /// leads to the new segment, which leads on to it.
    virtual void insertSegmentBefore(const std::string& existingId, const std::string& newSegmentId,
                                     const Value& viewableId, double startTimeSeconds,
                                     double endTimeSeconds,
                                     const std::shared_ptr<QZPlaygraphParams>& params) = 0;
    /// Merges `properties` into the transition from `from` to `to`.
    virtual void updatePropertiesForTransitionFrom(const std::string& from, const std::string& to,
                                                   const Value& properties) = 0;
    /// Merges `properties` into every transition that leads to `to`.
    virtual void updatePropertiesForAllTransitionsTo(const std::string& to,
                                                     const Value& properties) = 0;
    /// Merges `properties` into every transition that leaves `from`.
    virtual void updatePropertiesForAllTransitionfrom(const std::string& from,
                                                      const Value& properties) = 0;
    /// Makes the existing transition from `from` to `toSegment` the default.
    virtual void updateDefaultNextFromSegment(const std::string& from,
                                              const std::string& toSegment) = 0;
    /// Adds a transition holding `properties` ("weight" 50 unless given).
    virtual void addTransitionFromSegment(const std::string& from, const std::string& toSegment,
                                          bool asDefault, const Value& properties = Value()) = 0;
    /// Removes a segment: every transition into it leads to its default next
    /// instead (a sole predecessor also takes over its other transitions); a
    /// segment that names it only as default next keeps naming it.
    virtual void removeSegment(const std::string& segmentId) = 0;
    /// Records a skip region (offset in milliseconds, weight) on a transition.
    virtual void supportSkippingSegment(const std::string& from, const std::string& toSegment,
                                        double afterOffsetSeconds, uint64_t weight) = 0;
    /// A new one-level copy of the playgraph dictionary (see the class).
    virtual Dictionary dictionaryRepresentation() const = 0;
};

} // namespace playgraph::inline v1
