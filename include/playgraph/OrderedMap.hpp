#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace playgraph {

/// A string-keyed map that enumerates its entries in insertion order.
///
/// Lookups are average O(1): small maps are searched linearly, larger ones
/// through an open-addressing index of entry positions (keys are stored once).
/// Replacing the value of an existing key keeps its position; erasing leaves a
/// hole that later insertions compact away, so erase is amortised O(1).
/// The map owns its keys and values. Iterators and pointers to values are
/// invalidated by insertion and erasure, as for `std::vector`.
///
/// Threads: as for a standard container: const access from several threads is
/// safe; a change must not overlap any other access.
template <class V> class OrderedMap {
public:
    using value_type = std::pair<const std::string, V>;

private:
    static constexpr std::size_t kLinearLimit = 8;
    static constexpr uint32_t kEmpty = UINT32_MAX;
    static constexpr uint32_t kDeadBit = 0x80000000u;

    // The hash index of a large map.
    struct Index {
        std::vector<uint32_t> meta;  // hash (31 bits) | dead bit, parallel to entries_
        std::vector<uint32_t> slots; // positions into entries_, or kEmpty
    };

    // Two modes. Linear (no index; at most kLinearLimit entries): lookups
    // scan the keys, no hashes are kept, and `smallDead_` marks erased
    // entries by position. Indexed: `index_` holds each entry's hash and
    // dead bit, and the open-addressing table of entry positions. A small
    // map thus costs a 48-byte header and its entries' storage.
    std::vector<value_type> entries_;
    std::unique_ptr<Index> index_; // indexed only
    uint32_t live_ = 0;
    uint32_t smallDead_ = 0; // linear only: bit i set when entry i is erased
    uint64_t version_ = 0;

    static uint32_t hashOf(std::string_view key) {
        return static_cast<uint32_t>(std::hash<std::string_view>{}(key)) & ~kDeadBit;
    }

    // Moves the version past both this map's and `other`'s.
    void touchAfter(uint64_t other) { version_ = (version_ > other ? version_ : other) + 1; }

    bool indexed() const { return index_ != nullptr; }

    bool isLive(std::size_t i) const {
        return indexed() ? (index_->meta[i] & kDeadBit) == 0 : ((smallDead_ >> i) & 1u) == 0;
    }

    // Builds the index for `expected` entries (at least the current ones).
    // A map that has and expects at most kLinearLimit entries goes linear;
    // that happens only when every entry is live (after compaction).
    void rebuildIndex(std::size_t expected = 0) {
        const std::size_t n = entries_.size() > expected ? entries_.size() : expected;
        if (n <= kLinearLimit) {
            index_.reset();
            smallDead_ = 0;
            return;
        }
        if (!index_) {
            // Leaving linear mode: hash every entry, carrying the erased marks.
            auto index = std::make_unique<Index>();
            index->meta.reserve(n);
            for (std::size_t i = 0; i < entries_.size(); ++i) {
                const bool dead = ((smallDead_ >> i) & 1u) != 0;
                index->meta.push_back(hashOf(entries_[i].first) | (dead ? kDeadBit : 0u));
            }
            index_ = std::move(index);
            smallDead_ = 0;
        }
        std::size_t cap = 16;
        while (cap < n * 2)
            cap <<= 1;
        index_->slots.assign(cap, kEmpty);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if ((index_->meta[i] & kDeadBit) == 0) placeInIndex(static_cast<uint32_t>(i));
        }
    }

    void placeInIndex(uint32_t pos) {
        auto& slots = index_->slots;
        const std::size_t mask = slots.size() - 1;
        std::size_t slot = index_->meta[pos] & mask;
        while (slots[slot] != kEmpty)
            slot = (slot + 1) & mask;
        slots[slot] = pos;
    }

    std::size_t findPos(std::string_view key) const {
        if (!indexed()) {
            for (std::size_t i = 0; i < entries_.size(); ++i) {
                if (isLive(i) && entries_[i].first == key) return i;
            }
            return npos;
        }
        const uint32_t h = hashOf(key);
        const auto& slots = index_->slots;
        const std::size_t mask = slots.size() - 1;
        for (std::size_t slot = h & mask;; slot = (slot + 1) & mask) {
            const uint32_t pos = slots[slot];
            if (pos == kEmpty) return npos;
            if (index_->meta[pos] == h && entries_[pos].first == key) return pos;
        }
    }

    void compactIfSparse() {
        const std::size_t dead = entries_.size() - live_;
        if (dead <= kLinearLimit || dead <= live_) return;
        std::vector<value_type> kept;
        std::vector<uint32_t> keptMeta;
        kept.reserve(live_);
        keptMeta.reserve(live_);
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (!isLive(i)) continue;
            kept.emplace_back(entries_[i].first, std::move(entries_[i].second));
            keptMeta.push_back(index_->meta[i]);
        }
        entries_ = std::move(kept);
        index_->meta = std::move(keptMeta);
        rebuildIndex();
    }

    template <class Self, class Entry> class Iter {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = OrderedMap::value_type;
        using difference_type = std::ptrdiff_t;
        using pointer = Entry*;
        using reference = Entry&;

        Iter() = default;
        Iter(Self* map, std::size_t pos) : map_(map), pos_(pos) { skipDead(); }
        reference operator*() const { return map_->entries_[pos_]; }
        pointer operator->() const { return &map_->entries_[pos_]; }
        Iter& operator++() {
            ++pos_;
            skipDead();
            return *this;
        }
        Iter operator++(int) {
            Iter copy = *this;
            ++*this;
            return copy;
        }
        bool operator==(const Iter& other) const { return pos_ == other.pos_; }

    private:
        void skipDead() {
            while (pos_ < map_->entries_.size() && !map_->isLive(pos_))
                ++pos_;
        }
        Self* map_ = nullptr;
        std::size_t pos_ = 0;
    };

public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    using iterator = Iter<OrderedMap, value_type>;
    using const_iterator = Iter<const OrderedMap, const value_type>;

    OrderedMap() = default;
    OrderedMap(const OrderedMap& other)
        : entries_(other.entries_),
          index_(other.index_ ? std::make_unique<Index>(*other.index_) : nullptr),
          live_(other.live_), smallDead_(other.smallDead_), version_(other.version_) {}
    OrderedMap(OrderedMap&& other) noexcept
        : entries_(std::move(other.entries_)), index_(std::move(other.index_)), live_(other.live_),
          smallDead_(other.smallDead_), version_(other.version_) {
        other.clear();
    }
    OrderedMap& operator=(const OrderedMap& other) {
        if (this != &other) {
            // Entries have const keys: build new storage rather than assign into it.
            entries_ = std::vector<value_type>(other.entries_);
            index_ = other.index_ ? std::make_unique<Index>(*other.index_) : nullptr;
            live_ = other.live_;
            smallDead_ = other.smallDead_;
        }
        touchAfter(other.version_);
        return *this;
    }
    OrderedMap& operator=(OrderedMap&& other) noexcept {
        if (this != &other) {
            entries_ = std::move(other.entries_);
            index_ = std::move(other.index_);
            live_ = other.live_;
            smallDead_ = other.smallDead_;
            touchAfter(other.version_);
            other.clear();
        }
        return *this;
    }
    OrderedMap(std::initializer_list<std::pair<std::string, V>> init) {
        reserve(init.size());
        for (const auto& [key, value] : init)
            set(key, value);
    }

    /// A number that grows with every change that may have been made to the
    /// map: insertion, replacement, erasure, assignment, and every use of a
    /// mutable accessor (`find`, iteration), whether or not the caller
    /// wrote through it. Equal versions of one map mean equal contents.
    uint64_t version() const { return version_; }

    /// Number of entries.
    std::size_t size() const { return live_; }
    bool empty() const { return live_ == 0; }

    /// Makes room for `n` entries, so that inserting up to `n` keys
    /// reallocates nothing (storage of exactly that size when the map is
    /// filled after reserving).
    void reserve(std::size_t n) {
        if (n <= entries_.capacity()) return;
        entries_.reserve(n);
        if (n > kLinearLimit && (!index_ || index_->slots.size() < n * 2)) {
            rebuildIndex(n);
            index_->meta.reserve(n);
        }
    }

    /// The value under `key`, or nullptr when there is none.
    V* find(std::string_view key) {
        ++version_;
        const std::size_t pos = findPos(key);
        return pos == npos ? nullptr : &entries_[pos].second;
    }
    const V* find(std::string_view key) const {
        const std::size_t pos = findPos(key);
        return pos == npos ? nullptr : &entries_[pos].second;
    }
    bool contains(std::string_view key) const { return findPos(key) != npos; }

    /// Inserts or replaces; a replaced key keeps its place in the order.
    V& set(std::string_view key, V value) {
        ++version_;
        const std::size_t pos = findPos(key);
        if (pos != npos) {
            entries_[pos].second = std::move(value);
            return entries_[pos].second;
        }
        entries_.emplace_back(std::string(key), std::move(value));
        ++live_;
        const std::size_t newPos = entries_.size() - 1;
        if (indexed()) {
            index_->meta.push_back(hashOf(key));
            if (entries_.size() * 2 <= index_->slots.size()) {
                placeInIndex(static_cast<uint32_t>(newPos));
            } else {
                rebuildIndex();
            }
        } else if (entries_.size() > kLinearLimit) {
            rebuildIndex();
        }
        return entries_[newPos].second;
    }

    /// Removes the entry under `key`; false when there was none.
    bool erase(std::string_view key) {
        ++version_;
        const std::size_t pos = findPos(key);
        if (pos == npos) return false;
        if (indexed()) {
            index_->meta[pos] |= kDeadBit;
        } else {
            smallDead_ |= 1u << pos;
        }
        entries_[pos].second = V();
        --live_;
        if (live_ == 0) {
            clear();
        } else {
            compactIfSparse();
        }
        return true;
    }

    void clear() {
        ++version_;
        entries_.clear();
        index_.reset();
        live_ = 0;
        smallDead_ = 0;
    }

    /// The keys in order.
    std::vector<std::string> keys() const {
        std::vector<std::string> out;
        out.reserve(live_);
        for (const auto& entry : *this)
            out.push_back(entry.first);
        return out;
    }

    iterator begin() {
        ++version_;
        return iterator(this, 0);
    }
    iterator end() { return iterator(this, entries_.size()); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, entries_.size()); }
};

} // namespace playgraph
