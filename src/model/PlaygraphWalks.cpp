// Graph walks, written once for both playgraph flavors.
//
// The walks name segments by their interned id numbers and read children
// and default nexts from the index, which mirrors the segments. A callback
// may change the playgraph it walks: a walk then reads what the reported
// segment object itself says (as it would without an index) and resolves
// ids against the map as it is now. While the map holds segments of another
// playgraph the index cannot follow them, and the walks always read the
// segments themselves.

#include <unordered_map>
#include <vector>

#include "model/DepthFirstWalk.hpp"
#include "model/ModelAccess.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::inline v1 {

using detail::GraphIndex;
using detail::kNoName;

namespace {

// The children of a segment for the graph walks: its default next, then
// every other destination of its transitions, each once.
std::vector<std::string> childrenOf(const QZPlaygraphSegment& segment) {
    std::vector<std::string> children;
    const auto& defaultNext = segment.defaultNext();
    children.reserve(segment.next().size() + 1);
    if (defaultNext) children.push_back(*defaultNext);
    for (const auto& [id, transition] : segment.next()) {
        if (!defaultNext || id != *defaultNext) children.push_back(id);
    }
    return children;
}

constexpr uint32_t kLocalBase = 0x80000000u;

} // namespace

/// Id numbers for one walk: the playgraph's interned ids, and numbers of its
/// own (from `kLocalBase` up) for ids the playgraph has not interned.
class PlaygraphBase::State::WalkNames {
public:
    explicit WalkNames(const PlaygraphBase& playgraph)
        : playgraph_((playgraph.state_->ensureCurrent(), playgraph)),
          universe_(playgraph.state_->index.names.size()) {}

    std::size_t universe() const { return universe_; }
    const GraphIndex& index() const { return playgraph_.state_->index; }

    uint32_t id(std::string_view text) {
        if (!local_.empty()) {
            if (auto it = localIds_.find(std::string(text)); it != localIds_.end()) {
                return it->second;
            }
        }
        const uint32_t interned = index().names.find(text);
        if (interned != kNoName) return interned;
        const auto id = kLocalBase + static_cast<uint32_t>(local_.size());
        local_.emplace_back(text);
        localIds_.emplace(local_.back(), id);
        return id;
    }

    /// The segment named `id` in the map as it is now, or none; `slot` gets
    /// its slot in the index when the index has it (a hint for the calls
    /// below, which then need not read the segment object).
    std::shared_ptr<QZPlaygraphSegment> resolve(uint32_t id, uint32_t* slot = nullptr) const {
        playgraph_.state_->ensureCurrent();
        if (slot) *slot = GraphIndex::kNoSlot;
        const GraphIndex& index = this->index();
        if (index.trusted()) {
            uint32_t name = id;
            if (id >= kLocalBase) {
                // Interned since the walk met it, perhaps by a callback's edit.
                name = index.names.find(local_[id - kLocalBase]);
                if (name == kNoName) return nullptr;
            }
            const uint32_t found = index.slotOf(name);
            if (found == GraphIndex::kNoSlot) return nullptr;
            if (slot) *slot = found;
            return index.handles[found];
        }
        const std::string_view text =
            id >= kLocalBase ? std::string_view(local_[id - kLocalBase]) : index.names.name(id);
        const auto* entry = playgraph_.segmentMap_.find(text);
        return entry ? *entry : nullptr;
    }

    /// The id number of a segment the walk reports (`hint`: its slot as
    /// `resolve` gave it, or kNoSlot).
    uint32_t idOf(const PlaygraphSegment& segment, uint32_t hint) {
        if (const auto* current = currentSlot(segment, hint)) return current->name;
        return id(segment.segmentId());
    }

    /// The index entry of `segment` when the index describes it now. A
    /// trusted index holds each segment in one slot, the one the segment
    /// names, so a `hint` that holds it is that slot; without a hint the
    /// segment tells its slot.
    const GraphIndex::Slot* currentSlot(const PlaygraphSegment& segment, uint32_t hint) const {
        const GraphIndex& index = this->index();
        if (!index.trusted()) return nullptr;
        const uint32_t at = hint != GraphIndex::kNoSlot ? hint : segment.slot_;
        if (at >= index.slots.size()) return nullptr;
        const GraphIndex::Slot& slot = index.slots[at];
        return slot.segment == &segment ? &slot : nullptr;
    }

    /// The children of `segment` (as the walks see them), read from the
    /// index when nothing changed since `version`, else from the segment.
    void children(const PlaygraphSegment& segment, uint32_t hint, uint64_t version,
                  std::vector<uint32_t>& out) {
        playgraph_.state_->ensureCurrent();
        out.clear();
        const GraphIndex::Slot* slot =
            index().version == version ? currentSlot(segment, hint) : nullptr;
        if (slot) {
            const auto begin = index().children.begin() + slot->childBegin;
            out.assign(begin, begin + slot->childCount);
            return;
        }
        for (const auto& child : childrenOf(segment))
            out.push_back(id(child));
    }

    /// The default next of `segment`, as `children` reads it.
    uint32_t defaultNext(const PlaygraphSegment& segment, uint32_t hint, uint64_t version) {
        playgraph_.state_->ensureCurrent();
        const GraphIndex::Slot* slot =
            index().version == version ? currentSlot(segment, hint) : nullptr;
        if (slot) return slot->defaultNext;
        const auto& next = segment.defaultNext();
        return next ? id(*next) : kNoName;
    }

private:
    const PlaygraphBase& playgraph_;
    const std::size_t universe_;
    std::vector<std::string> local_;
    std::unordered_map<std::string, uint32_t> localIds_;
};

void PlaygraphBase::defaultPathTraversal(const TraversalCallback& callback) const {
    if (!initialSegmentId_ || !callback) return;
    State::WalkNames names(*this);
    detail::NameSet visited(names.universe());
    uint32_t slot = GraphIndex::kNoSlot;
    std::shared_ptr<QZPlaygraphSegment> current =
        names.resolve(names.id(*initialSegmentId_), &slot);
    bool stop = false;
    uint64_t index = 0;
    while (current) {
        const auto& segment = static_cast<const PlaygraphSegment&>(*current);
        const uint32_t id = names.idOf(segment, slot);
        if (visited.contains(id) || stop) return;
        const uint64_t version = names.index().version;
        callback(current, index, stop);
        visited.insert(id);
        const uint32_t next = names.defaultNext(segment, slot, version);
        current = next == kNoName ? nullptr : names.resolve(next, &slot);
        ++index;
    }
}

void PlaygraphBase::depthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                                     const TraversalCallback& callback) const {
    const std::optional<std::string>& startId = segmentId ? segmentId : initialSegmentId_;
    if (!startId || !callback) return;
    State::WalkNames names(*this);
    // A start that names no segment has nothing to report.
    uint32_t startSlot = GraphIndex::kNoSlot;
    std::shared_ptr<QZPlaygraphSegment> start = names.resolve(names.id(*startId), &startSlot);
    if (!start) return;
    detail::NameSet visited(names.universe());
    // The children of every segment on the stack, frame after frame, in one
    // array: a step allocates nothing.
    struct Frame {
        std::size_t begin = 0; ///< its children in `pending`: [begin, end)
        std::size_t nextChild = 0;
        std::size_t end = 0;
        uint64_t depth = 0;
    };
    std::vector<Frame> stack;
    std::vector<uint32_t> pending;
    std::vector<uint32_t> children;
    // Reports a segment, marks it visited and pushes its children.
    const auto enter = [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint32_t slot,
                           uint64_t depth) {
        const uint64_t version = names.index().version;
        bool stop = false;
        callback(s, depth, stop);
        if (stop) return true;
        const auto& segment = static_cast<const PlaygraphSegment&>(*s);
        visited.insert(names.idOf(segment, slot));
        names.children(segment, slot, version, children);
        const std::size_t begin = pending.size();
        pending.insert(pending.end(), children.begin(), children.end());
        stack.push_back(Frame{begin, begin, pending.size(), depth});
        return false;
    };
    if (enter(start, startSlot, 0)) return;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.nextChild == frame.end) {
            pending.resize(frame.begin);
            stack.pop_back();
            continue;
        }
        const uint32_t child = pending[frame.nextChild++];
        const uint64_t childDepth = frame.depth + 1;
        if (visited.contains(child)) continue;
        // A child that names no segment is skipped; its siblings are still walked.
        uint32_t slot = GraphIndex::kNoSlot;
        const std::shared_ptr<QZPlaygraphSegment> resolved = names.resolve(child, &slot);
        if (!resolved) continue;
        if (enter(resolved, slot, childDepth)) return;
    }
}

bool PlaygraphBase::depthFirstTraversalFromSegment(
    const std::shared_ptr<QZPlaygraphSegment>& segment, uint64_t segmentDepth,
    const TraversalCallback& callback, std::unordered_set<std::string>& visitedSegments) const {
    // A child id that names no segment is skipped; its siblings are still walked.
    return detail::depthFirstWalk(
        segment, segmentDepth, callback, visitedSegments,
        [](const std::shared_ptr<QZPlaygraphSegment>& s) { return childrenOf(*s); },
        [](const std::string& id) -> const std::string& { return id; },
        [this](const std::string& id) { return segmentById(id); });
}

void PlaygraphBase::bredthFirstTraversalFromSegmentId(const std::optional<std::string>& segmentId,
                                                      uint64_t maxDepth,
                                                      const TraversalCallback& callback) const {
    const std::optional<std::string>& startId = segmentId ? segmentId : initialSegmentId_;
    if (!startId || !callback) return;
    State::WalkNames names(*this);
    std::vector<uint32_t> queue{names.id(*startId)};
    std::vector<uint64_t> depths{1};
    detail::NameSet queued(names.universe());
    queued.insert(queue.front());
    std::vector<uint32_t> children;
    for (std::size_t position = 0; position < queue.size(); ++position) {
        const uint64_t depth = depths[position];
        uint32_t slot = GraphIndex::kNoSlot;
        const std::shared_ptr<QZPlaygraphSegment> segment = names.resolve(queue[position], &slot);
        const uint64_t version = names.index().version;
        bool stop = false;
        callback(segment, depth, stop);
        if (stop) return;
        if (!segment || maxDepth == 0 || depth >= maxDepth) continue;
        names.children(static_cast<const PlaygraphSegment&>(*segment), slot, version, children);
        for (const uint32_t child : children) {
            if (queued.insert(child)) {
                queue.push_back(child);
                depths.push_back(depth + 1);
            }
        }
    }
}

} // namespace playgraph::inline v1
