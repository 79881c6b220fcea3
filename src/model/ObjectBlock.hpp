#pragma once

// Objects of one type that are built together and owned together: a load
// places its segments, and their transitions, in blocks of this kind, and
// hands them out as aliasing handles of the block. Internal header.

#include <cstddef>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace playgraph::inline v1::detail {

/// Objects placed in chunks of a fixed size: small enough for the allocator
/// to serve them from memory it already holds (one allocation for a whole
/// large playgraph would be mapped and faulted in afresh at each load),
/// large enough that neighbours in build order are neighbours in memory.
/// The objects are destroyed with the block, last built first.
template <class T> class ObjectBlock {
public:
    ObjectBlock() = default;
    ObjectBlock(const ObjectBlock&) = delete;
    ObjectBlock& operator=(const ObjectBlock&) = delete;
    ~ObjectBlock() {
        while (size_ > 0) {
            --size_;
            chunks_[size_ / kChunk][size_ % kChunk].~T();
        }
        for (T* chunk : chunks_)
            std::allocator<T>().deallocate(chunk, kChunk);
    }

    /// Room in the chunk list for `n` objects.
    void reserve(std::size_t n) { chunks_.reserve((n + kChunk - 1) / kChunk); }

    /// A new object built from `args`; the block is unchanged when that throws.
    template <class... Args> T* emplace(Args&&... args) {
        if (size_ / kChunk == chunks_.size()) {
            if (chunks_.size() == chunks_.capacity()) chunks_.reserve(chunks_.size() * 2 + 4);
            chunks_.push_back(std::allocator<T>().allocate(kChunk));
        }
        T* at = chunks_[size_ / kChunk] + size_ % kChunk;
        ::new (static_cast<void*>(at)) T(std::forward<Args>(args)...);
        ++size_;
        return at;
    }

private:
    static constexpr std::size_t kChunk = 64;
    std::vector<T*> chunks_;
    std::size_t size_ = 0;
};

} // namespace playgraph::inline v1::detail
