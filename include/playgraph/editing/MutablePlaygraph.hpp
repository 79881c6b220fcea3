#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/QZMutablePlaygraph.hpp"
#include "playgraph/editing/InvalidArgumentError.hpp"
#include "playgraph/model/PlaygraphBase.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

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

    /// Merges a one-level copy of each entry of `properties` into the
    /// transition from `from` to `to`. A missing transition is skipped when
    /// `ignoreIfNotFound`, else throws "Cannot find transition from %@ to %@".
    /// Missing segments always throw. Does not `load`.
    void _updatePropertiesForTransitionFrom(const std::string& from, const std::string& to,
                                            const Value& properties, bool ignoreIfNotFound);

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
    std::optional<std::vector<std::string>> allSegmentIds() const override;
    /// 300 milliseconds; no edit applies it.
    std::optional<double> minimumSegmentLengthMs() const override { return 300.0; }

protected:
    MutablePlaygraph() : PlaygraphBase(Flavor::Editable) {}

    /// The construction steps, for `create` and subclasses' factories: takes
    /// a one-level copy of `dictionary`, the playgraph id (or a new UUID),
    /// the host's configuration provider, then `load`s. The object must
    /// already be owned by a `std::shared_ptr`.
    void initialize(const Value& dictionary, const Value& defaultViewableId);

    /// The provider obtained once at construction.
    std::shared_ptr<const PlatformConfigProvider> configProviderForBuilding() const override;

    /// The playgraph's own dictionary, for subclasses that edit it directly
    /// (they must `load` afterwards).
    Dictionary& playgraphDictionary() { return playgraphDictionary_; }
    const Dictionary& playgraphDictionary() const { return playgraphDictionary_; }
    const Value& defaultViewableId() const { return defaultViewableId_; }

private:
    friend class EditHistory;

    /// What an edit history is told while one of its transactions is open.
    class EditRecorder {
    public:
        virtual ~EditRecorder() = default;
        /// Before the entry `id` of "segments" is changed, inserted or
        /// erased (possibly several times for one id).
        virtual void willChangeSegment(const std::string& id) = 0;
        /// Once per completed edit (the outermost one when edits nest), with
        /// its label ("split intro at 4.000 s").
        virtual void editCompleted(std::string label) = 0;
    };
    /// Marks the extent of one public edit; see EditingSupport.hpp.
    class EditScope;

    // Incremental rebuilding. Every edit says which entries of "segments" it
    // changes (before changing them) and which it inserts or erases;
    // `refresh` then rebuilds only those segments (and the ones a caller
    // changed through a setter), and the default path.
    struct SegmentRef {
        std::string id;
        Dictionary segment;
    };
    /// The "segments" dictionary, which an edit that found a segment knows is there.
    Dictionary segmentsDictionary() const;
    /// Records that the entry `id` of "segments" is about to change.
    void touchSegment(const std::string& id);
    /// Records that the segment `id` is to be rebuilt at the next refresh.
    void markForRebuild(const std::string& id);
    void insertSegmentEntry(Dictionary& segments, const std::string& id, Dictionary segment);
    void eraseSegmentEntry(Dictionary& segments, const std::string& id);
    /// The segments whose "next" has an entry for `id` (and, when
    /// `orByDefaultNext`, whose "defaultNext" is `id`), in no given order.
    std::vector<SegmentRef> referringSegments(const std::string& id, bool orByDefaultNext);
    /// Brings the model up to date with the dictionary after an edit; inside
    /// a transaction it only notes that the model is behind (see
    /// `bringModelUpToDate`).
    void refresh();
    void refreshNow();
    void bringModelUpToDate() override;
    /// Records what the index cannot know of `segment` (the dictionary entry
    /// of `name`): "next" entries that are not transitions, and "main".
    void noteReferences(uint32_t name, const Dictionary& segment);
    /// Asks the provider about "main" once per segment that has it, as a
    /// rebuild of every segment would, setting `mainViewableId` if it has none.
    void askAboutMainAsARebuildWould();
    void segmentDidChange(PlaygraphSegment& segment, bool links) override;
    void didReplaceSegmentMap() override;

    // Lookups that throw "Cannot find segment %@" on a miss.
    Dictionary requireSegment(const std::string& segmentId) const;
    std::optional<Dictionary> segmentDictionary(std::string_view segmentId) const;
    bool isSegmentIdTaken(std::string_view segmentId) const;
    // The checks shared by both insertions.
    Dictionary checkInsertion(const std::string& existingId, const std::string& newSegmentId,
                              const Value& viewableId, double startTimeSeconds,
                              double endTimeSeconds) const;
    Dictionary makeInsertedSegment(const Dictionary& existing, const Value& viewableId,
                                   double startTimeSeconds, double endTimeSeconds,
                                   const std::shared_ptr<QZPlaygraphParams>& params) const;

    Dictionary playgraphDictionary_;
    Value defaultViewableId_;
    std::shared_ptr<const PlatformConfigProvider> configProvider_;
    /// Completed edits so far; an edit history compares it to notice edits
    /// made outside its transactions.
    uint64_t revision_ = 0;
    int editDepth_ = 0;
    EditRecorder* recorder_ = nullptr;

    /// What changed since the model was last brought up to date.
    struct Pending {
        std::vector<uint32_t> touched;  ///< names of changed, inserted or erased entries
        std::vector<uint32_t> inserted; ///< names inserted into "segments", in order
        std::vector<uint8_t> mark;      ///< by name: 1 when in `touched`, 2 when also erased
        bool full = false;              ///< the segment map was replaced: rebuild everything
    } pending_;
    /// Names of the segments whose "next" holds entries that are not
    /// transitions (the index does not see those).
    std::unordered_set<uint32_t> oddReferrers_;
    /// By name: 1 when the segment's dictionary has a number under "main".
    std::vector<uint8_t> hasMain_;
    std::size_t mainCount_ = 0;
};

} // namespace playgraph::inline v1
