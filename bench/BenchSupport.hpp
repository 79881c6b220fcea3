#pragma once

// Shared inputs of the benchmarks: generated playgraphs, built once per size
// and kept for the whole run, and the derived tables the queries need.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PlaygraphGenerator.hpp"
#include "playgraph/model/Playgraph.hpp"

namespace playgraph::bench {

inline constexpr uint64_t kSeed = 20240601;

/// A generated playgraph of `n` segments, its model, and the default path's
/// start times along the playgraph (for choosing random times and knowing
/// how many segments a query walks).
struct Fixture {
    GeneratedPlaygraph generated;
    std::shared_ptr<Playgraph> playgraph;
    /// Playgraph time at which each default-path segment starts, in path order.
    std::vector<double> pathStarts;
    std::vector<std::shared_ptr<QZPlaygraphSegment>> pathSegments;

    /// Index on the default path of the segment playing at playgraph time `t`.
    std::size_t pathIndexAt(double t) const;
};

/// The fixture of size `n`, built on first use.
const Fixture& fixture(std::size_t n);

/// CPU time used by the calling thread so far, in seconds. Ratios of two
/// operations timed in the same iterations use it, so that time spent
/// waiting for a CPU on a loaded machine counts for neither.
double threadCpuSeconds();

/// A deterministic stream of pseudo-random numbers for picking inputs.
class Picker {
public:
    explicit Picker(uint64_t seed = kSeed) : state_(seed) {}
    uint64_t next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    /// Uniform in [0, limit).
    double uniform(double limit) { return static_cast<double>(next() >> 11) * 0x1.0p-53 * limit; }
    std::size_t index(std::size_t size) { return static_cast<std::size_t>(next() % size); }

private:
    uint64_t state_;
};

} // namespace playgraph::bench
