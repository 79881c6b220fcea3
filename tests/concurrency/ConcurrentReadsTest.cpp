// Threads that only read must not race: run under ThreadSanitizer by
// scripts/sanitize.sh.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "../TestSupport.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

struct AlwaysFalse : PlatformConfigProvider {
    bool isFlagTrue(std::string_view, bool) const override { return false; }
};

} // namespace

TEST(Concurrency, ReadersOfAnUnchangedPlaygraphDoNotRace) {
    auto p = Playgraph::create(chainOf(200, false, {{"viewableId", 1}, {"main", 1}}));
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                const double time = (i * 7 + t) % 200 + 0.5;
                if (p->segmentIdAtPlaygraphTime(time) != "s" + std::to_string(int(time))) {
                    ++mismatches;
                }
                if (p->playerTimeForPlaygraphOffset(time) != time) ++mismatches;
                uint64_t visited = 0;
                p->bredthFirstTraversalFromSegmentId(
                    std::nullopt, 3, [&](const auto&, uint64_t, bool&) { ++visited; });
                if (visited != 3) ++mismatches;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

TEST(Concurrency, InstallingAProviderWhilePlaygraphsAreBuilt) {
    const Dictionary d = chainOf(20, false, {{"viewableId", 1}, {"main", 1}});
    std::atomic<bool> done{false};
    std::thread installer([&] {
        while (!done) {
            PlatformConfigProvider::setShared(std::make_shared<AlwaysFalse>());
            PlatformConfigProvider::setShared(nullptr);
        }
    });
    for (int i = 0; i < 200; ++i) {
        auto p = Playgraph::create(d);
        const Value& main = p->mainViewableId();
        EXPECT_TRUE(main.isNone() || main == Value(1));
    }
    done = true;
    installer.join();
}
