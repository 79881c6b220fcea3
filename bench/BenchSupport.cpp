#include "BenchSupport.hpp"

#include <algorithm>
#include <ctime>
#include <map>

namespace playgraph::bench {

std::size_t Fixture::pathIndexAt(double t) const {
    const auto it = std::upper_bound(pathStarts.begin(), pathStarts.end(), t);
    return it == pathStarts.begin() ? 0 : static_cast<std::size_t>(it - pathStarts.begin()) - 1;
}

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

const Fixture& fixture(std::size_t n) {
    static std::map<std::size_t, std::unique_ptr<Fixture>> cache;
    auto& slot = cache[n];
    if (!slot) {
        slot = std::make_unique<Fixture>();
        GeneratorOptions options;
        options.segmentCount = n;
        options.seed = kSeed;
        slot->generated = generatePlaygraph(options);
        slot->playgraph = Playgraph::create(slot->generated.dictionary);
        double acc = 0.0;
        for (const auto& id : slot->generated.defaultPath) {
            auto segment = slot->playgraph->segmentById(id);
            slot->pathStarts.push_back(acc);
            acc += segment->segmentDuration();
            slot->pathSegments.push_back(std::move(segment));
        }
    }
    return *slot;
}

} // namespace playgraph::bench
