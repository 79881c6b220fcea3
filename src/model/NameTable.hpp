#pragma once

// Interned segment ids: each distinct id gets a small number once, so that
// the model's flat arrays and the walks can name segments by number.
// Internal header.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace playgraph::detail {

inline constexpr uint32_t kNoName = UINT32_MAX;

/// A set of strings numbered 0, 1, 2, ... in the order they were added.
/// Numbers are never reused or changed; nothing is removed.
class NameTable {
public:
    std::size_t size() const { return names_.size(); }
    const std::string& name(uint32_t id) const { return names_[id]; }

    /// The number of `s`, or `kNoName` when it was never added.
    uint32_t find(std::string_view s) const {
        if (slots_.empty()) return kNoName;
        const uint32_t h = hashOf(s);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            const uint32_t id = slots_[i];
            if (id == kNoName) return kNoName;
            if (hashes_[id] == h && names_[id] == s) return id;
        }
    }

    /// The number of `s`, added when it is new.
    uint32_t intern(std::string_view s) {
        const uint32_t found = find(s);
        if (found != kNoName) return found;
        const auto id = static_cast<uint32_t>(names_.size());
        names_.emplace_back(s);
        hashes_.push_back(hashOf(s));
        if ((names_.size() + 1) * 2 > slots_.size()) {
            rehash(slots_.empty() ? 64 : slots_.size() * 2);
        } else {
            place(id);
        }
        return id;
    }

    void reserve(std::size_t n) {
        names_.reserve(n);
        hashes_.reserve(n);
        std::size_t cap = 64;
        while (cap < (n + 1) * 2)
            cap <<= 1;
        if (cap > slots_.size()) rehash(cap);
    }

    void clear() {
        names_.clear();
        hashes_.clear();
        slots_.clear();
    }

private:
    static uint32_t hashOf(std::string_view s) {
        return static_cast<uint32_t>(std::hash<std::string_view>{}(s));
    }
    void place(uint32_t id) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hashes_[id] & mask;
        while (slots_[i] != kNoName)
            i = (i + 1) & mask;
        slots_[i] = id;
    }
    void rehash(std::size_t capacity) {
        slots_.assign(capacity, kNoName);
        for (uint32_t id = 0; id < names_.size(); ++id)
            place(id);
    }

    std::vector<std::string> names_;
    std::vector<uint32_t> hashes_;
    std::vector<uint32_t> slots_;
};

/// A set of small numbers for one walk: a bit per number below the table's
/// size at the walk's start, and a list for the few above it.
class NameSet {
public:
    explicit NameSet(std::size_t universe) : bits_((universe + 63) / 64, 0) {}
    /// Adds `id`; false when it was already there.
    bool insert(uint32_t id) {
        const std::size_t word = id / 64;
        if (word < bits_.size()) {
            const uint64_t bit = uint64_t{1} << (id % 64);
            if (bits_[word] & bit) return false;
            bits_[word] |= bit;
            return true;
        }
        return extra_.insert(id).second;
    }
    bool contains(uint32_t id) const {
        const std::size_t word = id / 64;
        if (word < bits_.size()) return (bits_[word] >> (id % 64)) & 1u;
        return extra_.count(id) != 0;
    }

private:
    std::vector<uint64_t> bits_;
    std::unordered_set<uint32_t> extra_;
};

} // namespace playgraph::detail
