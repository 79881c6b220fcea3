#pragma once

// The flat index of a playgraph's segment map: what the walks and the
// default-path computation read instead of following ids through the map.
// Internal header.

#include <cstdint>
#include <memory>
#include <vector>

#include "NameTable.hpp"
#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::inline v1::detail {

/// Segments are numbered by slot; ids by interned name. For each slot the
/// index keeps the segment, its name, the name of its default next and its
/// children as the graph walks see them (the default next first, then every
/// other destination of its transitions, each once). It mirrors the map and
/// the segments exactly: every change of either goes through the playgraph
/// (`putSegment`, `dropSegment`, a segment's setters), which updates it.
///
/// `trusted` is false while the map holds a segment of another playgraph:
/// such a segment reports its changes to its own playgraph, so the index
/// cannot follow it, and the walks read the segments themselves.
struct GraphIndex {
    static constexpr uint32_t kNoSlot = UINT32_MAX;

    struct Slot {
        PlaygraphSegment* segment = nullptr; ///< nullptr: the slot is free
        uint32_t name = kNoName;
        uint32_t defaultNext = kNoName;
        uint32_t childBegin = 0; ///< into `children`
        uint32_t childCount = 0;
    };

    NameTable names;
    std::vector<uint32_t> slotOfName; ///< by name; kNoSlot when no segment has it
    std::vector<Slot> slots;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> handles; ///< by slot
    std::vector<uint32_t> children; ///< child names of every slot, in ranges
    std::size_t childGarbage = 0;   ///< entries of `children` no range uses
    std::vector<uint32_t> freeSlots;
    std::size_t foreign = 0; ///< segments of other playgraphs in the map
    /// Changes since the index was made; a walk compares it across a
    /// callback to know whether what it read still holds.
    uint64_t version = 0;

    bool trusted() const { return foreign == 0; }

    uint32_t slotOf(uint32_t name) const {
        return name < slotOfName.size() ? slotOfName[name] : kNoSlot;
    }
    PlaygraphSegment* segmentNamed(uint32_t name) const {
        const uint32_t slot = slotOf(name);
        return slot == kNoSlot ? nullptr : slots[slot].segment;
    }
};

} // namespace playgraph::inline v1::detail
