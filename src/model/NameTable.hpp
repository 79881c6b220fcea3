#pragma once

// Interned segment ids: each distinct id gets a small number once, so that
// the model's flat arrays and the walks can name segments by number.
// Internal header.

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace playgraph::inline v1::detail {

inline constexpr uint32_t kNoName = UINT32_MAX;

/// A set of strings numbered 0, 1, 2, ... in the order they were added.
/// Numbers are never reused or changed; nothing is removed. The text of the
/// names is kept in large chunks that never move, so a name costs its
/// characters and a view, not an allocation of its own.
class NameTable {
public:
    std::size_t size() const { return names_.size(); }
    std::string_view name(uint32_t id) const { return names_[id]; }

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
        // Everything that can throw comes before the table changes.
        if (names_.size() == names_.capacity()) names_.reserve(names_.size() * 2 + 16);
        if (hashes_.size() == hashes_.capacity()) hashes_.reserve(hashes_.size() * 2 + 16);
        if ((names_.size() + 2) * 2 > slots_.size()) {
            rehash(slots_.empty() ? 64 : slots_.size() * 2);
        }
        names_.push_back(store(s));
        hashes_.push_back(hashOf(s));
        place(id);
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

private:
    static constexpr std::size_t kChunk = 64 * 1024;

    static uint32_t hashOf(std::string_view s) {
        return static_cast<uint32_t>(std::hash<std::string_view>{}(s));
    }
    /// A copy of `s` in the chunks (a long name gets a chunk of its own).
    std::string_view store(std::string_view s) {
        if (s.empty()) return {};
        if (s.size() > kChunk / 4) {
            std::unique_ptr<char[]> text(new char[s.size()]);
            std::memcpy(text.get(), s.data(), s.size());
            large_.push_back(std::move(text));
            return {large_.back().get(), s.size()};
        }
        if (chunks_.empty() || kChunk - used_ < s.size()) {
            std::unique_ptr<char[]> chunk(new char[kChunk]);
            chunks_.push_back(std::move(chunk));
            used_ = 0;
        }
        char* at = chunks_.back().get() + used_;
        std::memcpy(at, s.data(), s.size());
        used_ += s.size();
        return {at, s.size()};
    }
    void place(uint32_t id) {
        const std::size_t mask = slots_.size() - 1;
        std::size_t i = hashes_[id] & mask;
        while (slots_[i] != kNoName)
            i = (i + 1) & mask;
        slots_[i] = id;
    }
    void rehash(std::size_t capacity) {
        std::vector<uint32_t> fresh(capacity, kNoName);
        slots_.swap(fresh);
        for (uint32_t id = 0; id < names_.size(); ++id)
            place(id);
    }

    std::vector<std::unique_ptr<char[]>> chunks_;
    std::vector<std::unique_ptr<char[]>> large_; ///< names too long for a chunk
    std::size_t used_ = 0;                       ///< bytes used of the last chunk
    std::vector<std::string_view> names_;
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

} // namespace playgraph::inline v1::detail
