#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/QZMutablePlaygraph.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/model/PlaygraphBase.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

namespace detail {
class EditingAccess;
}

/// The editable playgraph.
///
/// Ownership: the playgraph owns a one-level copy of the dictionary it was
/// created from; the nested dictionaries ("segments", each segment, each
/// "next", each transition) stay shared with the caller and are edited in
/// place, so an edit shows through the caller's nested dictionaries while a
/// change of a top-level entry ("initialSegment") does not. Creating the
/// playgraph (and `load`) reserves room for more entries in the shared
/// "segments" dictionary, leaving its entries as they are. The segment and
/// transition objects are a cache of the dictionary: after every completed
/// edit the playgraph answers exactly as one freshly built from
/// `dictionaryRepresentation()` would, but only the segments the edit
/// touched are built again.
///
/// Holding a segment (or transition) across an edit: the object stays alive
/// and readable, whatever the edit did. A segment whose dictionary entry the
/// edit did not touch, and whose state no setter changed since it was built
/// (movie duration, annotations, ...), stays the playgraph's own: the same
/// object from `segmentById`, with its default-path offsets brought up to
/// date. A touched or setter-changed segment is replaced by a new object, and
/// the old one keeps the values it had. Which segments an edit touches is
/// not part of the contract; find a segment again by its id after an edit.
///
/// Edits throw `InvalidArgumentError` (reason text exact) and then leave the
/// dictionary and the segment objects exactly as they were. Besides the
/// checks each edit documents, non-finite times and offsets, properties that
/// are not a dictionary and viewable ids that are not finite numbers (the
/// JSON writer could not save them) are refused.
/// Every "defaultNext", "next" key and "initialSegment" an edit writes names
/// an existing segment, except that `removeSegment` moves a reference that
/// already named no segment as it is. An entry of "segments" that is not a dictionary is
/// not a segment ("Cannot find segment") but its id is taken ("A segment with
/// id ... already exists"); a "next" entry that is not a dictionary is not a
/// transition but its destination is taken. A "next" or "defaultNext"
/// holding the null marker (or a value of the wrong kind) counts as absent.
///
/// The read side behaves as for `Playgraph`, except that a play-to-end
/// segment matches every viewable time from its start in
/// `segmentIdsForPosition` and `positionAtSegmentViewableTime`, and
/// `positionAtViewableTime` uses a match only when it is unique. Segments
/// have no transition type of their own.
class PLAYGRAPH_API MutablePlaygraph : public PlaygraphBase, public virtual QZMutablePlaygraph {
public:
    /// Builds an editable playgraph from `dictionary` (anything but a
    /// dictionary gives an empty playgraph). `defaultViewableId` (a number, or
    /// none) goes to segments without "viewableId" in a "branching" playgraph.
    /// Never throws except on allocation failure.
    static std::shared_ptr<MutablePlaygraph> create(const Value& dictionary,
                                                    const Value& defaultViewableId = Value());

    /// A plain `MutablePlaygraph` with one segment `segmentId` of `viewableId`
    /// from `startTimeSeconds` to `endTimeSeconds`, which is also the initial
    /// segment. The times are not ordered-checked (an end before the start
    /// makes a play-to-end segment); non-finite times throw
    /// `InvalidArgumentError` ("startTime (nan) must be a finite number").
    static std::shared_ptr<MutablePlaygraph>
    createPlaygraphWithViewableId(const Value& viewableId, const std::string& segmentId,
                                  double startTimeSeconds, double endTimeSeconds);

    /// Stores `params` in `segment`'s "userInfo" (a new one-level copy of it,
    /// or a new dictionary) under "PlaygraphSegmentUserInfoPlaygraphParamsKey".
    /// False, and nothing changed, when "userInfo" is present but not a
    /// dictionary, or when `params` is empty.
    static bool addPlaygraphParams(const std::shared_ptr<QZPlaygraphParams>& params,
                                   Dictionary& segment);

    /// Rebuilds `type`, `initialSegmentId`, every segment and `duration`
    /// from the dictionary. `mainViewableId` keeps a value once it has one.
    /// The edits do not need it: each rebuilds only what it changed, with
    /// the same result. Call it after changing the dictionary's nested
    /// dictionaries directly (they are shared), which the model does not see.
    void load();

    /// Redirects "initialSegment" and the "defaultNext" and "next" entries of
    /// every segment other than `oldId` and `newId` from `oldId` to `newId`
    /// (a moved transition replaces one already there). Does not `load`.
    void replaceSegmentReferencesFor(const std::string& oldId, const std::string& newId);

    /// The segment dictionaries themselves (shared, not copies) whose "next"
    /// has an entry for `segmentId`, in "segments" order; possibly empty.
    std::vector<Dictionary> findSegmentsWithNextContainsSegment(std::string_view segmentId) const;

    // QZMutablePlaygraph
    void splitSegment(const std::string& segmentId, double atOffset,
                      const std::string& firstSegmentId,
                      const std::string& secondSegmentId) override;
    void insertSegmentAfter(const std::string& existingId, const std::string& newSegmentId,
                            const Value& viewableId, double startTimeSeconds, double endTimeSeconds,
                            bool asDeafaultNext,
                            const std::shared_ptr<QZPlaygraphParams>& params) override;
    void insertSegmentBefore(const std::string& existingId, const std::string& newSegmentId,
                             const Value& viewableId, double startTimeSeconds,
                             double endTimeSeconds,
                             const std::shared_ptr<QZPlaygraphParams>& params) override;
    void updatePropertiesForTransitionFrom(const std::string& from, const std::string& to,
                                           const Value& properties) override;
    void updatePropertiesForAllTransitionsTo(const std::string& to,
                                             const Value& properties) override;
    void updatePropertiesForAllTransitionfrom(const std::string& from,
                                              const Value& properties) override;
    void updateDefaultNextFromSegment(const std::string& from,
                                      const std::string& toSegment) override;
    void addTransitionFromSegment(const std::string& from, const std::string& toSegment,
                                  bool asDefault, const Value& properties = Value()) override;
    /// Transitions into the segment (whole transition dictionaries) now lead
    /// to its stored "defaultNext", even one naming no segment, and so do a
    /// "defaultNext" and "initialSegment" that named it; a sole predecessor
    /// also gains the segment's other transitions that it lacks, except ones
    /// back to the removed segment. Without a usable "defaultNext" (absent,
    /// not a string, or the segment itself) the transitions into it are
    /// dropped and a "defaultNext" or "initialSegment" naming it is removed.
    /// Refused for a segment with two or more predecessors and two or more
    /// outgoing transitions.
    void removeSegment(const std::string& segmentId) override;
    /// Ends with a second rebuild, which changes nothing in the model but
    /// asks the configuration provider about "main" once more per segment.
    void supportSkippingSegment(const std::string& from, const std::string& toSegment,
                                double afterOffsetSeconds, uint64_t weight) override;
    /// A new one-level copy of the dictionary. C++ has no unmodifiable
    /// dictionaries: changing the returned top level does not affect the
    /// playgraph, but its nested dictionaries are the playgraph's own, so
    /// changing them does (and later edits show through them).
    Dictionary dictionaryRepresentation() const override;

    // QZPlaygraph optional members
    /// The keys of the dictionary's "segments", in order; none without it.
    [[nodiscard]] std::optional<std::vector<std::string>> allSegmentIds() const override;
    /// 300 milliseconds; no edit applies it.
    std::optional<double> minimumSegmentLengthMs() const override { return 300.0; }

    ~MutablePlaygraph() override;

protected:
    MutablePlaygraph();

    /// The construction steps, for `create` and subclasses' factories: takes
    /// a one-level copy of `dictionary`, the playgraph id (or a new UUID),
    /// the host's configuration provider, then `load`s. The object must
    /// already be owned by a `std::shared_ptr`.
    void initialize(const Value& dictionary, const Value& defaultViewableId);

private:
    friend class detail::EditingAccess;
    /// What the edits keep to rebuild only what they change (defined in the
    /// library's sources; one per playgraph).
    struct Edits;
    std::unique_ptr<Edits> edits_;
    Dictionary playgraphDictionary_;
    Value defaultViewableId_;
};

} // namespace playgraph::inline v1
