#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"

namespace playgraph::inline v1 {

/// All segments of a playgraph, keyed by segment id.
using SegmentMap = OrderedMap<std::shared_ptr<PlaygraphSegment>>;

/// The implementation that `Playgraph` and `MutablePlaygraph` share: the
/// segment builder, the segment map, the default-path walk and duration, and
/// every query and walk of `QZPlaygraph`.
///
/// The two classes differ only where `Flavor` says: the editable flavor does
/// not read segments' "transitionType", lets a play-to-end segment match
/// every later viewable time in `segmentIdsForPosition` and
/// `positionAtSegmentViewableTime`, and uses a viewable-time match in
/// `positionAtViewableTime` only when it is unique.
///
/// Owns its segments; segments and transitions refer back weakly. Made only
/// through the subclasses' `create` factories (two-phase: the object is
/// owned by a `std::shared_ptr` before its segments are built). Nothing here
/// throws except on allocation failure.
class PLAYGRAPH_API PlaygraphBase : public virtual QZPlaygraph {
public:
    enum class Flavor { Immutable, Editable };

    // QZPlaygraph
    const std::optional<std::string>& initialSegmentId() const override {
        ensureCurrent();
        return initialSegmentId_;
    }
    std::shared_ptr<QZPlaygraphSegment> segmentById(std::string_view segmentId) const override;
    std::optional<std::vector<std::string>>
    segmentIdsForPosition(double position, uint64_t inViewableId) const override;
    std::optional<std::string> segmentIdAtPlaygraphTime(double time) const override;
    double playgraphOffsetForPlayerTime(
        double playerTime, const std::shared_ptr<QZPlaygraphSegment>& inSegment) const override;
    /// Viewable time at playgraph time `offset`, as found by a walk from the
    /// initial segment along `defaultNext` that adds each segment's duration
    /// in turn. On a path that loops back the walk goes round as often as
    /// the offset needs: the answer is the walk's, to the last bit, whenever
    /// the walk visits at most `kExactLinkWalk` segments (or one pass along
    /// the path, if longer). Further out, whole turns are skipped at once
    /// (their mean length times their number), so the answer may differ from
    /// the walk's by the rounding the walk would accumulate. Where the walk
    /// would never end (a turn of the loop that does not advance, an offset
    /// that is not finite) the answer is not-a-number. Cost: a bisection of
    /// the kept path (one walk along it while it is out of date), plus at
    /// most `kExactLinkWalk` additions on flat arrays round a loop.
    double playerTimeForPlaygraphOffset(double offset) const override;
    /// Segments that `playerTimeForPlaygraphOffset` walks one by one.
    static constexpr uint64_t kExactLinkWalk = 1'000'000;
    bool isPlaybackContiguousFromSegment(
        const std::shared_ptr<QZPlaygraphSegment>& segment,
        const std::shared_ptr<QZPlaygraphSegment>& toSegment) const override;
    void defaultPathTraversal(const TraversalCallback& callback) const override;
    void depthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                          const TraversalCallback& callback) const override;
    void bredthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                           uint64_t maxDepth,
                                           const TraversalCallback& callback) const override;
    void calculateDefaultPathDuration() override;
    PlaygraphPosition initialPosition() const override;
    PlaygraphPosition
    positionAtPlaygraphOffsetAlongDefaultPlaybackPath(double offset) const override;
    PlaygraphPosition positionAtStartOfSegment(std::string_view segmentId) const override;
    PlaygraphPosition positionAtSegmentViewableTime(std::string_view segmentId,
                                                    double viewableTime) const override;
    PlaygraphPosition positionAtSegmentSegmentOffset(std::string_view segmentId,
                                                     double segmentOffset) const override;
    PlaygraphPosition positionAtViewableTime(double viewableTime,
                                             const Value& inVideoId) const override;
    const std::optional<std::string>& type() const override {
        ensureCurrent();
        return type_;
    }
    const std::optional<std::string>& transitionType() const override { return transitionType_; }
    const std::string& playgraphId() const override { return playgraphId_; }
    const Value& mainViewableId() const override {
        ensureCurrent();
        return mainViewableId_;
    }
    double duration() const override {
        ensureCurrent();
        return duration_;
    }

    /// The recursive step of the depth-first walk: reports `segment` at
    /// `segmentDepth`, then walks its unvisited children. True when the
    /// callback asked to stop. A child id that names no segment is skipped
    /// (the walk goes on with the next sibling).
    bool depthFirstTraversalFromSegment(const std::shared_ptr<QZPlaygraphSegment>& segment,
                                        uint64_t segmentDepth, const TraversalCallback& callback,
                                        std::unordered_set<std::string>& visitedSegments) const;

    /// Builds one segment from its dictionary (not entered into the map).
    /// Wrongly typed entries read as absent. A "main" value is asked about
    /// (and may set `mainViewableId`) only when `askAboutMain`.
    std::shared_ptr<PlaygraphSegment> buildSegment(const std::string& segmentId,
                                                   const Value& details,
                                                   const Value& defaultViewableId,
                                                   bool askAboutMain = true);
    /// Builds the transitions of a "next" dictionary from `sourceSegment`.
    /// Entries that are not dictionaries are skipped.
    TransitionMap buildTransitions(const Value& next,
                                   const std::shared_ptr<PlaygraphSegment>& sourceSegment);
    /// The segment that `segment`'s default next names in the map as it is
    /// now, or none: what `segmentById(*segment.defaultNext())` gives, read
    /// from the flat index while it describes `segment` (one of this
    /// playgraph's own, in its map), else through the map.
    std::shared_ptr<QZPlaygraphSegment> defaultNextSegment(const QZPlaygraphSegment& segment) const;
    /// Checks nothing and changes nothing; kept for callers that expect it.
    void validatePlaygraph() const {}

    void setType(std::optional<std::string> type) { type_ = std::move(type); }
    void setTransitionType(std::optional<std::string> type) { transitionType_ = std::move(type); }
    /// Takes effect for the queries at once; `duration` and the offsets
    /// change only at the next `calculateDefaultPathDuration`.
    void setInitialSegmentId(std::optional<std::string> id) { initialSegmentId_ = std::move(id); }
    void setMainViewableId(Value id) { mainViewableId_ = std::move(id); }
    const SegmentMap& segmentMap() const {
        ensureCurrent();
        return segmentMap_;
    }
    /// Replaces the segment map. Segments of another playgraph (or entered
    /// under an id that is not their own) are allowed; the walks and the
    /// default path then follow the segments themselves rather than this
    /// playgraph's index, which they would not keep up to date.
    void setSegmentMap(SegmentMap map);

    Flavor flavor() const { return flavor_; }

    ~PlaygraphBase() override;

protected:
    explicit PlaygraphBase(Flavor flavor);

    /// Replaces the segment map with segments built from `segments` (a
    /// dictionary of segment dictionaries; anything else gives none).
    void buildSegmentMap(const Value& segments, const Value& defaultViewableId);
    /// Enters `segment` under `id` in the map (replacing the one there, which
    /// keeps its place; a new id goes last) and in the index.
    void putSegment(const std::string& id, std::shared_ptr<PlaygraphSegment> segment);
    /// Takes the segment under `id` out of the map and the index.
    void dropSegment(const std::string& id);
    /// The provider asked about "main" while building; the immutable
    /// playgraph asks the host's current provider each time.
    virtual std::shared_ptr<const PlatformConfigProvider> configProviderForBuilding() const {
        return PlatformConfigProvider::shared();
    }
    /// Called when a setter changed a segment of this playgraph that is in
    /// its map (`links`: its default next or transitions). The editable
    /// playgraph rebuilds such segments at its next edit.
    virtual void segmentDidChange(PlaygraphSegment& segment, bool links);
    /// Brings the model up to date with changes whose rebuilding was put
    /// off (an editable playgraph puts it off inside a transaction, until
    /// the transaction ends or something reads the model).
    virtual void bringModelUpToDate() {}
    void ensureCurrent() const {
        if (modelStale_) const_cast<PlaygraphBase*>(this)->bringModelUpToDate();
    }
    /// Set while a rebuild is put off; read by every read member. Only ever
    /// true inside an edit transaction, which the caller serialises with all
    /// other calls, so concurrent readers only ever read it.
    bool modelStale_ = false;

    /// Called after `setSegmentMap` replaced the map.
    virtual void didReplaceSegmentMap() {}
    /// What the default path reads of one of its segments.
    struct PathLink {
        uint32_t name;
        std::optional<std::string> defaultNext;
        double duration;
        bool decorative;
    };
    /// How the kept default path follows an edit, decided before the edit's
    /// segments are rebuilt (`planDefaultPath`) and carried out after
    /// (`updateDefaultPath`).
    struct PathPlan {
        bool walk = true;  ///< no kept path to start from: walk afresh
        bool keep = false; ///< the path may stay as it is (see `keepDefaultPath`)
        std::vector<PathLink> onPath;
        /// First and last position on the kept path whose segment changes;
        /// the path's length stands for the segment after its end. `first`
        /// is SIZE_MAX when no changed segment is on the path.
        std::size_t first = SIZE_MAX;
        std::size_t last = 0;
    };
    /// Plans the default path's update for an edit that rebuilds the
    /// segments named in `changed` and makes the initial segment id
    /// `initial`: the path depends only on the initial segment, the entries
    /// of its own segments and, at its end, on whether the segment its last
    /// one names exists. Reads only the kept path and the changed names.
    PathPlan planDefaultPath(const std::vector<uint32_t>& changed,
                             const std::optional<std::string>& initial) const;
    /// After the rebuild: keeps the path when every rebuilt path segment
    /// leads on, lasts and counts as its old object did; else walks it again
    /// from the first changed position until it joins the kept path again
    /// (or walks it afresh when there was none). Then the duration, the
    /// offsets along the path and the offset 0 of the segments that left it
    /// are what a full rebuild gives.
    void updateDefaultPath(const PathPlan& plan);
    /// The segment under `id`, without sharing ownership; nullptr when absent.
    PlaygraphSegment* findSegment(std::string_view id) const;
    /// The first segment of the default path without a default next (only
    /// the last one can lack it); nullptr when there is none (no path, or a
    /// path that loops or ends at a missing segment). O(1) while the kept
    /// default path is current.
    PlaygraphSegment* defaultPathEndWithoutNext() const;

    /// Interned segment ids (see the index below): the number of `id`,
    /// added when new; or `kNoName` (UINT32_MAX) when absent.
    uint32_t internName(std::string_view id);
    /// Appends the names of the indexed segments whose default next or
    /// transitions name `name` (in no given order).
    void segmentsNaming(uint32_t name, std::vector<uint32_t>& out) const;
    uint32_t findName(std::string_view id) const;
    std::string_view nameOf(uint32_t name) const;
    std::size_t nameCount() const;

    std::string playgraphId_;
    /// A shared copy of `playgraphId_` for the segments built from now on
    /// (their canonical ids start with it); set with the id, before any
    /// segment is built.
    std::shared_ptr<const std::string> idForSegments_;
    double duration_ = 0.0;
    std::optional<std::string> type_;
    std::optional<std::string> transitionType_;
    std::optional<std::string> initialSegmentId_;
    Value mainViewableId_;
    SegmentMap segmentMap_;

private:
    friend class PlaygraphSegment;
    struct GraphIndex;
    class WalkNames;

    /// The default path as `calculateDefaultPathDuration` last walked it,
    /// so that the time queries need not follow `defaultNext` links through
    /// the segment map. It holds the segments in path order and the same
    /// running sums of their durations, added in the same order, that a walk
    /// computes, so answers from it are identical to a walk's.
    ///
    /// Only `calculateDefaultPathDuration` fills it; readers never change
    /// it. It stands only while nothing that shapes the path has changed
    /// since: the segment map (its version), the initial segment id (kept
    /// for comparison), and the `defaultNext` of a path segment (the
    /// segment tells its playgraph). Durations change only through
    /// `setMovieDuration`, which recomputes. A path holding a segment that
    /// belongs to another playgraph (it would tell that one) is never kept.
    struct DefaultPathCache {
        bool valid = false;
        uint64_t mapVersion = 0;
        std::optional<std::string> initialSegmentId;
        std::vector<PlaygraphSegment*> segments;
        std::vector<uint32_t> names;     ///< the segments' interned ids, when `valid`
        std::vector<double> durations;   ///< `segmentDuration` of each, NaN included
        std::vector<uint8_t> decorative; ///< `isDecorativeSegment` of each
        std::vector<double> starts;      ///< running sums: starts[0] = 0, one more than segments
        std::vector<double> offsets;     ///< the offset each segment was given
        std::size_t firstUnknown = 0;    ///< index of the first NaN duration, or the size
        bool nonDecreasing = true;       ///< no negative duration before `firstUnknown`
        bool loops = false;              ///< the last segment's defaultNext names a segment
    };

    /// The cache when it describes the current path, else nullptr.
    const DefaultPathCache* currentDefaultPath() const;
    /// Index of the first path segment whose end lies after `time`, or whose
    /// duration is unknown, as a walk adding durations from the start finds
    /// it; the path length when there is none.
    static std::size_t pathIndexPast(const DefaultPathCache& path, double time);
    /// The segments of the default path, in order, each at most once, and
    /// (when the index is trusted) their interned ids.
    void collectDefaultPath(std::vector<PlaygraphSegment*>& out,
                            std::vector<uint32_t>* names = nullptr) const;
    /// Empties the map and the index (interned ids keep their numbers).
    void resetIndex();
    /// Puts the rebuilt objects of `onPath` in the kept path, with their old
    /// offsets, when each leads on, lasts and counts as its old object did;
    /// else false (the path then needs a walk).
    bool keepDefaultPath(const std::vector<PathLink>& onPath);
    /// Whether the last segment of `path` leads to a segment of the map
    /// (the path then loops back: a walk stops at a segment it has seen).
    bool endsInLoop(const std::vector<PlaygraphSegment*>& path) const;
    /// Sizes `offsetMark_` and `pathPosition_` to every interned name.
    void coverAllNames();
    /// Sums the kept path's durations and decorations again, in path order:
    /// its running sums, offsets, `firstUnknown`, `nonDecreasing` and the
    /// duration; writes the offsets of the segments from position `from` on.
    void sumDefaultPath(std::size_t from);
    /// The kept path with positions [first, rejoin) replaced by a walk from
    /// position `first` (see `updateDefaultPath`); false when no path was kept.
    bool spliceDefaultPath(std::size_t first, std::size_t last);
    /// After a fresh walk: gives the offset 0 of a freshly built segment to
    /// the segments that were on an earlier path and are not on this one.
    void resetOffsetsOffThePath();
    /// Re-reads the default next and the transitions' destinations of the
    /// indexed segment in `slot`.
    void indexLinks(uint32_t slot);
    /// Renumbers the slots of a freshly built index in breadth-first order
    /// from the initial segment (the others after, in map order), children
    /// laid out likewise: the walks then read the index mostly front to
    /// back, whatever the order of the dictionary.
    void orderSlotsForWalks();

    DefaultPathCache defaultPath_;
    std::unique_ptr<GraphIndex> index_;
    /// Where `buildSegment` puts segments, and their transitions, while
    /// `buildSegmentMap` runs.
    std::shared_ptr<PlaygraphSegment::Block> buildingBlock_;
    std::shared_ptr<PlaygraphSegmentTransition::Block> buildingTransitions_;
    /// Ids of the segments whose offset a default-path computation has set
    /// since they were built (marked by name), so that an edit can give the
    /// ones no longer on the path the offset 0 of a freshly built segment.
    std::vector<uint32_t> offsetNames_;
    std::vector<uint8_t> offsetMark_;
    /// Position of each name on the kept path (by name), kNotOnPath when it
    /// is not on it; filled while the kept path is valid.
    static constexpr uint32_t kNotOnPath = UINT32_MAX;
    std::vector<uint32_t> pathPosition_;
    const Flavor flavor_;
};

} // namespace playgraph::inline v1
