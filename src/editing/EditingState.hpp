#pragma once

// What an editable playgraph keeps to rebuild only what its edits change,
// and the narrow calls an edit history makes on it. Internal header.

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "model/ModelAccess.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"

namespace playgraph::inline v1 {

namespace detail {

/// Where an entry of "segments" stands in the pending rebuild (by name).
enum class EditMark : uint8_t {
    Untouched, ///< not changed since the model was last brought up to date
    Touched,   ///< changed or inserted: listed in `touched`
    Erased,    ///< touched, and its last change erased it
    Placed,    ///< during a rebuild only: an inserted entry already put in order
};

/// What an edit history is told while one of its transactions is open.
class EditRecorder {
public:
    /// Before the entry `id` of "segments" is changed, inserted or erased
    /// (possibly several times for one id).
    virtual void willChangeSegment(const std::string& id) = 0;
    /// Once per completed edit (the outermost one when edits nest), with its
    /// label ("split intro at 4.000 s").
    virtual void editCompleted(std::string label) = 0;

protected:
    ~EditRecorder() = default;
};

} // namespace detail

// Incremental rebuilding. Every edit says which entries of "segments" it
// changes (before changing them) and which it inserts or erases; `refresh`
// then rebuilds only those segments (and the ones a caller changed through
// a setter), and the default path.
// Hidden from a shared build's exports, though nested in an exported class.
struct [[gnu::visibility("hidden")]] MutablePlaygraph::Edits final : detail::ModelUpkeep {
    explicit Edits(MutablePlaygraph & playgraph) : p(playgraph) {}

    MutablePlaygraph& p;
    /// Completed edits so far; an edit history compares it to notice edits
    /// made outside its transactions.
    uint64_t revision = 0;
    int editDepth = 0;
    detail::EditRecorder* recorder = nullptr;

    /// What changed since the model was last brought up to date.
    struct Pending {
        std::vector<uint32_t> touched;      ///< names of changed, inserted or erased entries
        std::vector<uint32_t> inserted;     ///< names inserted into "segments", in order
        std::vector<detail::EditMark> mark; ///< by name
        bool full = false;                  ///< the segment map was replaced: rebuild everything
    } pending;
    /// Names of the segments whose "next" holds entries that are not
    /// transitions (the index does not see those).
    std::unordered_set<uint32_t> oddReferrers;
    /// By name: 1 when the segment's dictionary has a number under "main".
    std::vector<uint8_t> hasMain;
    std::size_t mainCount = 0;

    detail::ModelAccess::State& model() const { return detail::ModelAccess::state(p); }

    /// Marks the extent of one public edit. Edits nest (an edit made by
    /// another edit); only the outermost one that completes counts: it moves
    /// the revision and tells an open transaction its label.
    class Scope {
    public:
        explicit Scope(MutablePlaygraph& playgraph) : edits_(*playgraph.edits_) {
            ++edits_.editDepth;
        }
        ~Scope() { --edits_.editDepth; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

        /// Call after the edit's last change; `label()` makes its label.
        template <class Label> void completed(Label&& label) {
            if (edits_.editDepth != 1) return;
            ++edits_.revision;
            if (edits_.recorder) edits_.recorder->editCompleted(label());
        }

    private:
        Edits& edits_;
    };

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
    void insertSegmentEntry(Dictionary & segments, const std::string& id, Dictionary segment);
    void eraseSegmentEntry(Dictionary & segments, const std::string& id);
    /// The segments whose "next" has an entry for `id` (and, when
    /// `orByDefaultNext`, whose "defaultNext" is `id`), in no given order.
    std::vector<SegmentRef> referringSegments(const std::string& id, bool orByDefaultNext);
    /// Brings the model up to date with the dictionary after an edit; inside
    /// a transaction it only notes that the model is behind (see
    /// `bringModelUpToDate`).
    void refresh();
    void refreshNow();
    /// Records what the index cannot know of `segment` (the dictionary entry
    /// of `name`): "next" entries that are not transitions, and "main".
    void noteReferences(uint32_t name, const Dictionary& segment);
    /// Asks the provider about "main" once per segment that has it, as a
    /// rebuild of every segment would, setting `mainViewableId` if it has none.
    void askAboutMainAsARebuildWould();

    // detail::ModelUpkeep
    void segmentDidChange(PlaygraphSegment & segment, bool links) override;
    void bringModelUpToDate() override;
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
    /// Merges a one-level copy of each entry of `properties` into the
    /// transition from `from` to `to`. A missing transition is skipped when
    /// `ignoreIfNotFound`, else throws "Cannot find transition from %@ to %@".
    /// Missing segments always throw. Does not `load`.
    void updateTransitionProperties(const std::string& from, const std::string& to,
                                    const Value& properties, bool ignoreIfNotFound);
};

namespace detail {

/// The calls an edit history makes on the playgraph it records.
class EditingAccess {
public:
    /// The transaction recorder, or none.
    static EditRecorder* recorder(const MutablePlaygraph& p) { return p.edits_->recorder; }
    static void setRecorder(MutablePlaygraph& p, EditRecorder* recorder) {
        p.edits_->recorder = recorder;
    }
    static uint64_t revision(const MutablePlaygraph& p) { return p.edits_->revision; }
    static Dictionary segments(const MutablePlaygraph& p) { return p.edits_->segmentsDictionary(); }
    static Value initialSegment(const MutablePlaygraph& p) {
        return p.playgraphDictionary_.get(keys::initialSegment);
    }
    static void ensureCurrent(const MutablePlaygraph& p) { ModelAccess::ensureCurrent(p); }
    /// Puts entries of "segments" back: `restore(segments, i)` restores the
    /// entry `ids[i]`; then "initialSegment" becomes `initial` (none: absent)
    /// and the model is brought up to date, as after an edit of those entries.
    static void restoreEntries(MutablePlaygraph& p, const std::vector<std::string>& ids,
                               const std::function<void(Dictionary&, std::size_t)>& restore,
                               const Value& initial);
};

} // namespace detail

} // namespace playgraph::inline v1
