#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace playgraph::inline v1 {

/// A string-keyed map that enumerates its entries in insertion order.
///
/// Lookups are average O(1): small maps are searched linearly, larger ones
/// through an open-addressing index of entry positions (keys are stored once).
/// Replacing the value of an existing key keeps its position; erasing leaves a
/// hole that later insertions compact away, so erase is amortised O(1).
/// The map owns its keys and values. Iterators and pointers to values are
/// invalidated by insertion and erasure, as for `std::vector`. A map holds at
/// most 2^31 - 1 entries (`std::length_error` beyond). Nothing else throws
/// except on allocation failure, which leaves the map as it was.
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
    // In `capacity_`: the storage was lent by the owner of the map (see the
    // protected constructor) and is not freed by it.
    static constexpr uint32_t kLentBit = 0x80000000u;
    static constexpr std::size_t kMaxEntries = 0x7FFFFFFFu;

    // The hash index of a large map.
    struct Index {
        std::vector<uint32_t> meta;  // hash (31 bits) | dead bit, parallel to the entries
        std::vector<uint32_t> slots; // positions of entries, or kEmpty
        uint32_t live = 0;           // entries not erased
    };

    // Two modes. Linear (no index; at most kLinearLimit entries): lookups
    // scan the keys, no hashes are kept, and `smallDead_` marks erased
    // entries by position. Indexed: `index_` holds each entry's hash and
    // dead bit, the open-addressing table of entry positions and the live
    // count. The entries are kept in one array of `capacity` slots, of which
    // the first `size_` are constructed (live or erased). The header is 40
    // bytes, of which the last 7 are free for a derived class's members.
    value_type* entries_ = nullptr;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0; // | kLentBit
    std::unique_ptr<Index> index_;
    uint64_t version_ = 0;
    uint8_t smallDead_ = 0; // linear only: bit i set when entry i is erased

    static uint32_t hashOf(std::string_view key) {
        return static_cast<uint32_t>(std::hash<std::string_view>{}(key)) & ~kDeadBit;
    }

    // Moves the version past both this map's and `other`'s.
    void touchAfter(uint64_t other) { version_ = (version_ > other ? version_ : other) + 1; }

    bool indexed() const { return index_ != nullptr; }
    std::size_t capacity() const { return capacity_ & ~kLentBit; }
    bool lent() const { return (capacity_ & kLentBit) != 0; }

    bool isLive(std::size_t i) const {
        return indexed() ? (index_->meta[i] & kDeadBit) == 0 : ((smallDead_ >> i) & 1u) == 0;
    }

    static value_type* allocate(std::size_t n) { return std::allocator<value_type>().allocate(n); }
    void freeStorage() noexcept {
        if (entries_ && !lent()) std::allocator<value_type>().deallocate(entries_, capacity());
    }
    void destroyEntries() noexcept {
        for (std::size_t i = 0; i < size_; ++i)
            entries_[i].~value_type();
    }

    // Moves the entries (the live ones only, when `liveOnly`) into new owned
    // storage of `cap` entries. Keys are copied (they are const), values
    // moved. Everything that can throw happens before anything is moved, so
    // a failure leaves the map as it was.
    void moveStorage(std::size_t cap, bool liveOnly) {
        if (cap > kMaxEntries) throw std::length_error("OrderedMap: too many entries");
        value_type* fresh = allocate(cap);
        std::vector<uint32_t> keptMeta;
        std::size_t n = 0;
        try {
            if (liveOnly && indexed()) keptMeta.reserve(cap);
            for (std::size_t i = 0; i < size_; ++i) {
                if (liveOnly && !isLive(i)) continue;
                ::new (static_cast<void*>(fresh + n)) value_type(entries_[i].first, V());
                ++n;
            }
        } catch (...) {
            for (std::size_t k = 0; k < n; ++k)
                fresh[k].~value_type();
            std::allocator<value_type>().deallocate(fresh, cap);
            throw;
        }
        for (std::size_t i = 0, k = 0; i < size_; ++i) {
            if (liveOnly && !isLive(i)) continue;
            fresh[k++].second = std::move(entries_[i].second);
            if (liveOnly && indexed()) keptMeta.push_back(index_->meta[i]);
        }
        destroyEntries();
        freeStorage();
        entries_ = fresh;
        size_ = static_cast<uint32_t>(n);
        capacity_ = static_cast<uint32_t>(cap);
        if (liveOnly && indexed()) {
            index_->meta = std::move(keptMeta);
        } else if (liveOnly) {
            smallDead_ = 0;
        }
    }

    static std::size_t slotCount(std::size_t n) {
        std::size_t cap = 16;
        while (cap < n * 2)
            cap <<= 1;
        return cap;
    }

    static void placeInIndex(Index& index, uint32_t pos) {
        auto& slots = index.slots;
        const std::size_t mask = slots.size() - 1;
        std::size_t slot = index.meta[pos] & mask;
        while (slots[slot] != kEmpty)
            slot = (slot + 1) & mask;
        slots[slot] = pos;
    }

    // Builds the index for `expected` entries (at least the current ones).
    // A map that has and expects at most kLinearLimit entries goes linear;
    // that happens only when every entry is live (after compaction). The
    // new index is installed only once complete: a failed allocation leaves
    // the old one.
    void rebuildIndex(std::size_t expected = 0) {
        const std::size_t n = size_ > expected ? size_ : expected;
        if (n <= kLinearLimit) {
            index_.reset();
            smallDead_ = 0;
            return;
        }
        std::vector<uint32_t> slots(slotCount(n), kEmpty);
        if (!index_) {
            // Leaving linear mode: hash every entry, carrying the erased marks.
            auto index = std::make_unique<Index>();
            index->meta.reserve(n);
            for (std::size_t i = 0; i < size_; ++i) {
                const bool dead = ((smallDead_ >> i) & 1u) != 0;
                index->meta.push_back(hashOf(entries_[i].first) | (dead ? kDeadBit : 0u));
                index->live += dead ? 0u : 1u;
            }
            index->slots = std::move(slots);
            for (std::size_t i = 0; i < size_; ++i) {
                if ((index->meta[i] & kDeadBit) == 0)
                    placeInIndex(*index, static_cast<uint32_t>(i));
            }
            index_ = std::move(index);
            smallDead_ = 0;
            return;
        }
        index_->slots.swap(slots);
        for (std::size_t i = 0; i < size_; ++i) {
            if ((index_->meta[i] & kDeadBit) == 0) placeInIndex(*index_, static_cast<uint32_t>(i));
        }
    }

    std::size_t findPos(std::string_view key) const {
        if (!indexed()) {
            // Lengths and first characters tell most keys apart without a
            // call to compare the rest.
            const std::size_t n = key.size();
            for (std::size_t i = 0; i < size_; ++i) {
                const std::string& k = entries_[i].first;
                if (k.size() != n || (n != 0 && k[0] != key[0])) continue;
                if (isLive(i) && std::string_view(k) == key) return i;
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

    // Drops the erased entries once they outnumber the live ones (and
    // kLinearLimit, so this happens only to an indexed map). All allocation
    // comes first: a failure leaves the map as it was.
    void compactIfSparse() {
        const std::size_t live = size();
        const std::size_t dead = size_ - live;
        if (dead <= kLinearLimit || dead <= live) return;
        std::vector<uint32_t> slots;
        if (live > kLinearLimit) slots.assign(slotCount(live), kEmpty);
        moveStorage(live, true);
        if (live <= kLinearLimit) {
            index_.reset();
            smallDead_ = 0;
            return;
        }
        index_->slots = std::move(slots);
        for (std::size_t i = 0; i < size_; ++i)
            placeInIndex(*index_, static_cast<uint32_t>(i));
    }

    // Exchanges everything but the versions.
    void swapContents(OrderedMap& other) noexcept {
        std::swap(entries_, other.entries_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(index_, other.index_);
        std::swap(smallDead_, other.smallDead_);
    }

    // Takes `other`'s contents, storage and all, into this empty map
    // without storage. Lent storage never moves (see the protected
    // constructor), so this allocates nothing.
    void takeContents(OrderedMap& other) noexcept { swapContents(other); }

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
            while (pos_ < map_->size_ && !map_->isLive(pos_))
                ++pos_;
        }
        Self* map_ = nullptr;
        std::size_t pos_ = 0;
    };

protected:
    /// An empty map whose first storage, room for `capacity` entries, is lent
    /// by the caller (for a container that allocates the map and its entries
    /// together): the map uses it until it outgrows it and never frees it.
    /// The storage must outlive the map, and such a map must never be moved
    /// from (its storage cannot go with its entries): the derived class
    /// deletes its own moves and keeps this base out of its users' reach.
    OrderedMap(value_type* storage, std::size_t capacity)
        : entries_(storage), capacity_(static_cast<uint32_t>(capacity) | kLentBit) {
        if (capacity > kMaxEntries) throw std::length_error("OrderedMap: too many entries");
        if (capacity > kLinearLimit) rebuildIndex(capacity);
    }

public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    using iterator = Iter<OrderedMap, value_type>;
    using const_iterator = Iter<const OrderedMap, const value_type>;

    OrderedMap() = default;
    /// Copies throw only on allocation failure; moves take the storage with
    /// the entries and never allocate or throw.
    OrderedMap(const OrderedMap& other)
        : index_(other.index_ ? std::make_unique<Index>(*other.index_) : nullptr),
          version_(other.version_), smallDead_(other.smallDead_) {
        if (other.size_ == 0) return;
        entries_ = allocate(other.size_);
        capacity_ = other.size_;
        try {
            for (; size_ < other.size_; ++size_)
                ::new (static_cast<void*>(entries_ + size_)) value_type(other.entries_[size_]);
        } catch (...) {
            destroyEntries();
            freeStorage();
            throw;
        }
    }
    OrderedMap(OrderedMap&& other) noexcept : version_(other.version_) {
        takeContents(other);
        other.clear();
    }
    OrderedMap& operator=(const OrderedMap& other) {
        if (this != &other) {
            OrderedMap copy(other);
            swapContents(copy);
        }
        touchAfter(other.version_);
        return *this;
    }
    OrderedMap& operator=(OrderedMap&& other) noexcept {
        if (this != &other) {
            OrderedMap old;
            swapContents(old);
            takeContents(other);
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
    ~OrderedMap() {
        destroyEntries();
        freeStorage();
    }

    /// A number that grows with every change made through the map's own
    /// members: insertion, replacement, erasure, clearing and assignment.
    /// Writing through a pointer or iterator from the mutable `find` or
    /// iteration is not counted (those change nothing themselves, so
    /// concurrent readers do not race); a map whose users watch the version
    /// changes its values through `set`.
    uint64_t version() const { return version_; }

    /// Number of entries.
    std::size_t size() const {
        return indexed() ? index_->live : size_ - static_cast<uint32_t>(std::popcount(smallDead_));
    }
    bool empty() const { return size() == 0; }

    /// Makes room for `n` entries, so that inserting up to `n` keys
    /// reallocates nothing (storage of exactly that size when the map is
    /// filled after reserving).
    void reserve(std::size_t n) {
        if (n <= capacity()) return;
        moveStorage(n, false);
        if (n > kLinearLimit && (!index_ || index_->slots.size() < n * 2)) {
            rebuildIndex(n);
            index_->meta.reserve(n);
        }
    }

    /// The value under `key`, or nullptr when there is none.
    [[nodiscard]] V* find(std::string_view key) {
        const std::size_t pos = findPos(key);
        return pos == npos ? nullptr : &entries_[pos].second;
    }
    [[nodiscard]] const V* find(std::string_view key) const {
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
        // The key is copied before any growth: it may name an entry's key.
        std::string ownKey(key);
        if (size_ == capacity()) {
            if (size_ == kMaxEntries) throw std::length_error("OrderedMap: too many entries");
            moveStorage(capacity() == 0 ? 1 : std::min<std::size_t>(2 * capacity(), kMaxEntries),
                        false);
        }
        if (indexed()) index_->meta.push_back(hashOf(ownKey));
        const uint32_t newPos = size_;
        ::new (static_cast<void*>(entries_ + newPos))
            value_type(std::move(ownKey), std::move(value));
        ++size_;
        if (indexed()) ++index_->live;
        try {
            if (indexed() && std::size_t(size_) * 2 <= index_->slots.size()) {
                placeInIndex(*index_, newPos);
            } else if (indexed() || size_ > kLinearLimit) {
                rebuildIndex();
            }
        } catch (...) {
            --size_;
            entries_[newPos].~value_type();
            if (indexed()) {
                index_->meta.pop_back();
                --index_->live;
            }
            throw;
        }
        return entries_[newPos].second;
    }

    /// Removes the entry under `key`; false when there was none.
    [[nodiscard]] bool erase(std::string_view key) {
        ++version_;
        const std::size_t pos = findPos(key);
        if (pos == npos) return false;
        if (indexed()) {
            index_->meta[pos] |= kDeadBit;
            --index_->live;
        } else {
            smallDead_ = static_cast<uint8_t>(smallDead_ | (1u << pos));
        }
        entries_[pos].second = V();
        if (size() == 0) {
            clear();
            return true;
        }
        try {
            compactIfSparse();
        } catch (const std::bad_alloc&) {
            // Compaction is an optimisation; the erasure stands without it.
        }
        return true;
    }

    /// Removes every entry; the storage is kept for new ones.
    void clear() {
        ++version_;
        destroyEntries();
        size_ = 0;
        index_.reset();
        smallDead_ = 0;
    }

    /// The keys in order.
    std::vector<std::string> keys() const {
        std::vector<std::string> out;
        out.reserve(size());
        for (const auto& entry : *this)
            out.push_back(entry.first);
        return out;
    }

    iterator begin() { return iterator(this, 0); }
    iterator end() { return iterator(this, size_); }
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size_); }
};

} // namespace playgraph::inline v1
