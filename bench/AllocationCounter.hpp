#pragma once

// Counts the heap use of the benchmark binary. AllocationCounter.cpp
// replaces the global operator new and delete; every allocation made through
// them (the library's, the standard library's) is counted here.

#include <cstddef>
#include <cstdint>

namespace playgraph::bench {

struct HeapSnapshot {
    uint64_t allocations = 0; ///< calls to operator new so far
    int64_t liveBytes = 0;    ///< bytes held now (usable sizes of live blocks)
};

HeapSnapshot heapSnapshot();

/// Heap use between construction and `sample()`.
class HeapDelta {
public:
    HeapDelta() : start_(heapSnapshot()) {}
    struct Delta {
        uint64_t allocations;
        int64_t bytes;
    };
    Delta sample() const {
        const HeapSnapshot now = heapSnapshot();
        return {now.allocations - start_.allocations, now.liveBytes - start_.liveBytes};
    }

private:
    HeapSnapshot start_;
};

} // namespace playgraph::bench
