#pragma once

// The model's internal interface: what a playgraph keeps besides its
// properties (the flat index of its segment map, the kept default path, the
// blocks segments are built into) and the calls that editing, the data
// sources and the walks make on it. Internal header.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/GraphIndex.hpp"
#include "model/NameTable.hpp"
#include "playgraph/model/PlaygraphBase.hpp"
#include "playgraph/model/PlaygraphSegment.hpp"
#include "playgraph/model/PlaygraphSegmentTransition.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"

namespace playgraph::inline v1 {

namespace detail {

/// What an editable playgraph adds to the upkeep of its model.
class ModelUpkeep {
public:
    /// After the base's own bookkeeping of a setter's change of `segment`
    /// (one of the playgraph's own, in its map; `links`: its default next or
    /// transitions changed).
    virtual void segmentDidChange(PlaygraphSegment& segment, bool links) = 0;
    /// Brings the model up to date with changes whose rebuilding was put off.
    virtual void bringModelUpToDate() = 0;
    /// After `setSegmentMap` replaced the map.
    virtual void didReplaceSegmentMap() = 0;

protected:
    ~ModelUpkeep() = default;
};

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
    /// First and last position on the kept path whose segment changes; the
    /// path's length stands for the segment after its end. `first` is
    /// SIZE_MAX when no changed segment is on the path.
    std::size_t first = SIZE_MAX;
    std::size_t last = 0;
};

/// The default path as `calculateDefaultPathDuration` last walked it, so that
/// the time queries need not follow `defaultNext` links through the segment
/// map. It holds the segments in path order and the same running sums of
/// their durations, added in the same order, that a walk computes, so
/// answers from it are identical to a walk's.
///
/// Only `calculateDefaultPathDuration` fills it; readers never change it. It
/// stands only while nothing that shapes the path has changed since: the
/// segment map (its version), the initial segment id (kept for comparison),
/// and the `defaultNext` of a path segment (the segment tells its
/// playgraph). Durations change only through `setMovieDuration`, which
/// recomputes. A path holding a segment that belongs to another playgraph
/// (it would tell that one) is never kept.
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

/// Where a segment stands with respect to the offsets the default path
/// gives (by name): `offsetNames` lists the names not `Unset`.
enum class OffsetMark : uint8_t {
    Unset,  ///< its offset is a freshly built segment's 0
    Set,    ///< a default-path computation set its offset since it was built
    OnPath, ///< during `resetOffsetsOffThePath` only: on the new path
};

/// Position on the kept path of a name that is not on it.
inline constexpr uint32_t kNotOnPath = UINT32_MAX;

} // namespace detail

// Hidden from a shared build's exports, though nested in an exported class.
struct [[gnu::visibility("hidden")]] PlaygraphBase::State {
    explicit State(PlaygraphBase & graph) : g(graph) {}

    PlaygraphBase& g;
    detail::GraphIndex index;
    detail::DefaultPathCache defaultPath;
    /// Where `buildSegment` puts segments, and their transitions, while
    /// `buildSegmentMap` runs.
    std::shared_ptr<PlaygraphSegment::Block> buildingBlock;
    std::shared_ptr<PlaygraphSegmentTransition::Block> buildingTransitions;
    /// The names whose offset a default-path computation has set since
    /// their segments were built, so that an edit can give the ones no longer
    /// on the path the offset 0 of a freshly built segment.
    std::vector<uint32_t> offsetNames;
    std::vector<detail::OffsetMark> offsetMark; ///< by name
    /// Position of each name on the kept path (by name), `kNotOnPath` when it
    /// is not on it; filled while the kept path is valid.
    std::vector<uint32_t> pathPosition;
    /// A shared copy of the playgraph id for the segments built from now on
    /// (their canonical ids start with it); set with the id, before any
    /// segment is built.
    std::shared_ptr<const std::string> idForSegments;
    /// The provider asked about "main" while building; none: the host's
    /// current one, each time.
    std::shared_ptr<const PlatformConfigProvider> configProvider;
    /// The editable playgraph's part of the upkeep; none for the immutable one.
    detail::ModelUpkeep* upkeep = nullptr;
    /// Set while a rebuild is put off; read by every read member. Only ever
    /// true inside an edit transaction, which the caller serialises with all
    /// other calls, so concurrent readers only ever read it.
    bool modelStale = false;

    void ensureCurrent() const {
        if (modelStale && upkeep) upkeep->bringModelUpToDate();
    }

    // ---- Building
    /// Replaces the segment map with segments built from `segments` (a
    /// dictionary of segment dictionaries; anything else gives none).
    void buildSegmentMap(const Value& segments, const Value& defaultViewableId);
    /// Builds one segment from its dictionary (not entered into the map).
    /// Wrongly typed entries read as absent. A "main" value is asked about
    /// (and may set `mainViewableId`) only when `askAboutMain`.
    std::shared_ptr<PlaygraphSegment> buildSegment(
        const std::string& segmentId, const Value& details, const Value& defaultViewableId,
        bool askAboutMain = true);
    /// Builds the transitions of a "next" dictionary from `sourceSegment`.
    /// Entries that are not dictionaries are skipped.
    TransitionMap buildTransitions(const Value& next,
                                   const std::shared_ptr<PlaygraphSegment>& sourceSegment);
    std::shared_ptr<const PlatformConfigProvider> configProviderForBuilding() const {
        return configProvider ? configProvider : PlatformConfigProvider::shared();
    }

    // ---- The map and the index
    /// Enters `segment` under `id` in the map (replacing the one there, which
    /// keeps its place; a new id goes last) and in the index.
    void putSegment(const std::string& id, std::shared_ptr<PlaygraphSegment> segment);
    /// Takes the segment under `id` out of the map and the index.
    void dropSegment(const std::string& id);
    /// The segment under `id`, without sharing ownership; nullptr when absent.
    PlaygraphSegment* findSegment(std::string_view id) const;
    /// Empties the map and the index (interned ids keep their numbers).
    void resetIndex();
    /// Re-reads the default next and the transitions' destinations of the
    /// indexed segment in `slot`.
    void indexLinks(uint32_t slot);
    /// Renumbers the slots of a freshly built index in breadth-first order
    /// from the initial segment (the others after, in map order), children
    /// laid out likewise: the walks then read the index mostly front to
    /// back, whatever the order of the dictionary.
    void orderSlotsForWalks();
    /// A setter changed `segment`, one of this playgraph's (see `ModelUpkeep`).
    void segmentDidChange(PlaygraphSegment & segment, bool links);
    /// Interned segment ids: the number of `id`, added when new.
    uint32_t internName(std::string_view id) { return index.names.intern(id); }
    /// The number of `id`, or `detail::kNoName` when absent.
    uint32_t findName(std::string_view id) const { return index.names.find(id); }
    std::string_view nameOf(uint32_t name) const { return index.names.name(name); }
    std::size_t nameCount() const { return index.names.size(); }
    /// Appends the names of the indexed segments whose default next or
    /// transitions name `name` (in no given order).
    void segmentsNaming(uint32_t name, std::vector<uint32_t> & out) const;

    // ---- The default path
    /// The cache when it describes the current path, else nullptr.
    const detail::DefaultPathCache* currentDefaultPath() const;
    /// Walks the default path afresh when the kept one is out of date, then
    /// sums it: the duration and the segments' offsets.
    void calculateDefaultPathDuration();
    /// Index of the first path segment whose end lies after `time`, or whose
    /// duration is unknown, as a walk adding durations from the start finds
    /// it; the path length when there is none.
    static std::size_t pathIndexPast(const detail::DefaultPathCache& path, double time);
    /// The segments of the default path, in order, each at most once, and
    /// (when the index is trusted) their interned ids.
    void collectDefaultPath(std::vector<PlaygraphSegment*> & out,
                            std::vector<uint32_t>* names = nullptr) const;
    /// The first segment of the default path without a default next (only
    /// the last one can lack it); nullptr when there is none (no path, or a
    /// path that loops or ends at a missing segment). O(1) while the kept
    /// default path is current.
    PlaygraphSegment* defaultPathEndWithoutNext() const;
    /// Plans the default path's update for an edit that rebuilds the
    /// segments named in `changed` and makes the initial segment id
    /// `initial`: the path depends only on the initial segment, the entries
    /// of its own segments and, at its end, on whether the segment its last
    /// one names exists. Reads only the kept path and the changed names.
    detail::PathPlan planDefaultPath(const std::vector<uint32_t>& changed,
                                     const std::optional<std::string>& initial) const;
    /// After the rebuild: keeps the path when every rebuilt path segment
    /// leads on, lasts and counts as its old object did; else walks it again
    /// from the first changed position until it joins the kept path again
    /// (or walks it afresh when there was none). Then the duration, the
    /// offsets along the path and the offset 0 of the segments that left it
    /// are what a full rebuild gives.
    void updateDefaultPath(const detail::PathPlan& plan);
    /// Puts the rebuilt objects of `onPath` in the kept path, with their old
    /// offsets, when each leads on, lasts and counts as its old object did;
    /// else false (the path then needs a walk).
    bool keepDefaultPath(const std::vector<detail::PathLink>& onPath);
    /// Whether the last segment of `path` leads to a segment of the map
    /// (the path then loops back: a walk stops at a segment it has seen).
    bool endsInLoop(const std::vector<PlaygraphSegment*>& path) const;
    /// Sizes `offsetMark` and `pathPosition` to every interned name.
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
    /// Marks `name` as having an offset set by the default path.
    void markOffsetSet(uint32_t name) {
        if (offsetMark[name] == detail::OffsetMark::Unset) {
            offsetMark[name] = detail::OffsetMark::Set;
            offsetNames.push_back(name);
        }
    }

    /// Id numbers for one walk (see PlaygraphWalks.cpp).
    class WalkNames;
};

namespace detail {

/// The calls that the rest of the library makes on a playgraph's model.
class ModelAccess {
public:
    using State = PlaygraphBase::State;
    static State& state(PlaygraphBase& graph) { return *graph.state_; }
    static const State& state(const PlaygraphBase& graph) { return *graph.state_; }
    /// Brings the model up to date with edits whose rebuilding was put off.
    static void ensureCurrent(const PlaygraphBase& graph) { graph.state_->ensureCurrent(); }
};

} // namespace detail

} // namespace playgraph::inline v1
