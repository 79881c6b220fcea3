#pragma once

// Internal helpers for walks along the default path.

#include <cstdint>
#include <functional>
#include <vector>

namespace playgraph::inline v1::detail {

/// A small open-addressing set of object addresses, for loop detection in
/// walks that call no user code (so no object can be freed mid-walk).
class PointerSet {
public:
    /// Adds `p`; false when it was already there.
    bool insert(const void* p) {
        if ((size_ + 1) * 2 > slots_.size()) grow();
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash(p) & mask;; i = (i + 1) & mask) {
            if (slots_[i] == p) return false;
            if (slots_[i] == nullptr) {
                slots_[i] = p;
                ++size_;
                return true;
            }
        }
    }

private:
    static std::size_t hash(const void* p) {
        auto v = reinterpret_cast<std::uintptr_t>(p);
        v ^= v >> 17;
        v *= 0x9E3779B97F4A7C15ull;
        return static_cast<std::size_t>(v ^ (v >> 29));
    }
    void grow() {
        std::vector<const void*> old = std::move(slots_);
        slots_.assign(old.empty() ? 32 : old.size() * 2, nullptr);
        size_ = 0;
        for (const void* p : old) {
            if (p) insert(p);
        }
    }
    std::vector<const void*> slots_;
    std::size_t size_ = 0;
};

} // namespace playgraph::inline v1::detail

#include <optional>
#include <string>

#include "playgraph/model/PlaygraphBase.hpp"

namespace playgraph::inline v1::detail {

/// Walks the default path of `map` from `initial` along `defaultNext`, each
/// segment at most once; `visit(segment)` returns false to stop. For
/// internal walks only: it must not call code that can change the map.
template <class Visit>
void walkDefaultPath(const SegmentMap& map, const std::optional<std::string>& initial,
                     Visit&& visit) {
    if (!initial) return;
    const auto* entry = map.find(*initial);
    PlaygraphSegment* current = entry ? entry->get() : nullptr;
    PointerSet visited;
    while (current && visited.insert(current)) {
        if (!visit(*current)) return;
        const auto& next = current->defaultNext();
        if (!next) return;
        entry = map.find(*next);
        current = entry ? entry->get() : nullptr;
    }
}

} // namespace playgraph::inline v1::detail
