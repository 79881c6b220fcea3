// Threads that only read, and a watchable's properties read and written from
// several threads, must not race: run under ThreadSanitizer by
// scripts/sanitize.sh.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../TestSupport.hpp"
#include "playgraph/composition/WatchableComposition.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

// Two whole values per property; a reader must only ever see one of them
// (or none before the first write). Long strings live on the heap, so a
// torn or freed value would show.
const std::string kA(64, 'a');
const std::string kB(64, 'b');

bool isWhole(const std::optional<std::string>& s) { return !s || *s == kA || *s == kB; }

bool isWhole(const std::optional<Dictionary>& d) {
    if (!d) return true;
    const Value v = d->get("v");
    const Value w = d->get("w");
    return d->size() == 2 && v == w && (v == Value(1) || v == Value(2));
}

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
                // Canonical ids are formed on first use, possibly by several threads at once.
                const auto s = p->segmentById("s" + std::to_string(i));
                if (s->canonicalSegmentId() != p->playgraphId() + "::" + s->segmentId())
                    ++mismatches;
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

// Lookups and iteration through a non-const handle change nothing, so
// threads that only read one dictionary that way do not race.
TEST(Concurrency, ReadersOfOneNonConstDictionaryDoNotRace) {
    Dictionary shared;
    for (int i = 0; i < 20; ++i)
        shared.set("k" + std::to_string(i), i);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                const Value* v = shared.find("k" + std::to_string(i % 20));
                if (!v || v->integerReading() != i % 20) ++mismatches;
                int64_t sum = 0;
                for (auto& [key, value] : shared)
                    sum += value.integerReading();
                if (sum != 190) ++mismatches;
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
            PlatformConfigProvider::setShared(std::make_shared<CountingProvider>(false));
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

TEST(WatchableConcurrency, PropertiesReadAndWrittenFromSeveralThreads) {
    auto watchable = WatchableComposition::watchableWithVideoId(81, std::nullopt, 0.0, 10.0,
                                                                std::nullopt, nullptr);
    constexpr int kIterations = 2000;
    std::atomic<bool> torn{false};

    const auto writer = [&](int parity) {
        for (int i = 0; i < kIterations; ++i) {
            const bool first = (i + parity) % 2 == 0;
            const std::string& s = first ? kA : kB;
            const int n = first ? 1 : 2;
            watchable->setSelectedStartSegmentId(s);
            watchable->setRebuildContextId(s);
            watchable->setPrereleasePin(s);
            watchable->setDiscretePlayType(s);
            watchable->setStickySteeringToken(s);
            watchable->setUiPlayContext(Dictionary{{"v", n}, {"w", n}});
            watchable->setFetchOptions(first ? 0x0101010101010101ull : 0xF0F0F0F0F0F0F0F0ull);
            watchable->setAllowsExternalPlayback(first);
            if (i % 97 == 0) watchable->setPrereleasePin(std::nullopt);
        }
    };
    const auto reader = [&] {
        for (int i = 0; i < kIterations; ++i) {
            bool ok =
                isWhole(watchable->selectedStartSegmentId()) &&
                isWhole(watchable->rebuildContextId()) && isWhole(watchable->prereleasePin()) &&
                isWhole(watchable->discretePlayType()) &&
                isWhole(watchable->stickySteeringToken()) && isWhole(watchable->uiPlayContext());
            const uint64_t options = watchable->fetchOptions();
            ok = ok && (options == 0 || options == 0x0101010101010101ull ||
                        options == 0xF0F0F0F0F0F0F0F0ull);
            (void)watchable->allowsExternalPlayback();
            if (!ok) torn = true;
        }
    };

    std::vector<std::thread> threads;
    threads.emplace_back(writer, 0);
    threads.emplace_back(writer, 1);
    threads.emplace_back(reader);
    threads.emplace_back(reader);
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(torn.load());
    EXPECT_TRUE(isWhole(watchable->uiPlayContext()));
}
