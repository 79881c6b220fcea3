#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "PlaygraphGenerator.hpp"
#include "playgraph/model/Playgraph.hpp"

using namespace playgraph;
using namespace playgraph::testsupport;

namespace {

GeneratedPlaygraph make(std::size_t n, uint64_t seed = 7) {
    GeneratorOptions options;
    options.segmentCount = n;
    options.seed = seed;
    return generatePlaygraph(options);
}

std::vector<std::string> defaultPathOf(const Playgraph& p) {
    std::vector<std::string> ids;
    p.defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
        ids.push_back(s->segmentId());
    });
    return ids;
}

} // namespace

// The benchmarks and fuzzers rely on: the ids, the default path, the main
// viewable, every link resolving, every segment reachable, and determinism.
TEST(PlaygraphGenerator, ShapeOfAGeneratedPlaygraph) {
    for (std::size_t n : {0u, 2u, 2000u}) {
        const auto g = make(n);
        const auto p = Playgraph::create(g.dictionary);
        EXPECT_EQ(p->segmentMap().size(), std::max<std::size_t>(n, 1)) << n;
        EXPECT_EQ(std::set<std::string>(g.segmentIds.begin(), g.segmentIds.end()).size(),
                  std::max<std::size_t>(n, 1));
        EXPECT_EQ(defaultPathOf(*p), g.defaultPath) << n;
        EXPECT_EQ(p->duration(), g.defaultPathSeconds) << n;
    }
    const auto g = make(2000);
    const auto p = Playgraph::create(g.dictionary);
    EXPECT_GT(g.defaultPath.size(), 2000u / 2);
    EXPECT_TRUE(p->mainViewableId() == Value(g.viewableId));
    for (const auto& [id, segment] : p->segmentMap()) {
        if (segment->defaultNext()) {
            EXPECT_TRUE(p->segmentById(*segment->defaultNext())) << id;
        }
        for (const auto& [destination, transition] : segment->next())
            EXPECT_TRUE(p->segmentById(destination)) << id << " -> " << destination;
    }
    std::size_t reached = 0;
    p->depthFirstTraversalFromSegmentId(std::nullopt,
                                        [&](const auto&, uint64_t, bool&) { ++reached; });
    EXPECT_EQ(reached, 2000u);

    EXPECT_TRUE(make(300, 1).dictionary == make(300, 1).dictionary);
    EXPECT_FALSE(make(300, 1).dictionary == make(300, 2).dictionary);
}
