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

TEST(PlaygraphGenerator, ShapeOfAGeneratedPlaygraph) {
    const auto g = make(2000);
    const auto p = Playgraph::create(g.dictionary);
    ASSERT_EQ(p->segmentMap().size(), 2000u);

    // Ids look like real ones and are unique.
    std::set<std::string> unique(g.segmentIds.begin(), g.segmentIds.end());
    EXPECT_EQ(unique.size(), 2000u);
    for (const auto& id : g.segmentIds) {
        EXPECT_GE(id.size(), 10u) << id;
        EXPECT_LE(id.size(), 20u) << id;
    }

    // A long default path, as the generator describes it, whose duration
    // the playgraph agrees with exactly.
    EXPECT_EQ(defaultPathOf(*p), g.defaultPath);
    EXPECT_GT(g.defaultPath.size(), 2000u / 2);
    EXPECT_EQ(p->duration(), g.defaultPathSeconds);
    EXPECT_TRUE(p->mainViewableId() == Value(g.viewableId));

    // Every link resolves; branch points carry two or three weighted
    // transitions, one of them continuing the path.
    std::size_t branchPoints = 0, decorative = 0, playToEnd = 0, annotated = 0;
    for (const auto& [id, segment] : p->segmentMap()) {
        if (segment->defaultNext()) {
            EXPECT_TRUE(p->segmentById(*segment->defaultNext())) << id;
        }
        for (const auto& [destination, transition] : segment->next()) {
            EXPECT_TRUE(p->segmentById(destination)) << id << " -> " << destination;
            EXPECT_TRUE(transition->weight().isNumber());
        }
        if (segment->next().size() >= 2) {
            ++branchPoints;
            EXPECT_LE(segment->next().size(), 3u);
            ASSERT_TRUE(segment->defaultNext());
            EXPECT_TRUE(segment->next().contains(*segment->defaultNext()));
        }
        decorative += segment->isDecorativeSegment();
        playToEnd += segment->playToViewableEnd();
        annotated += segment->annotations().has_value();
    }
    EXPECT_EQ(branchPoints, g.branchPoints);
    EXPECT_GT(branchPoints, 2000u / 20);
    EXPECT_EQ(decorative, g.decorativeSegments);
    EXPECT_GT(decorative, 0u);
    EXPECT_EQ(playToEnd, g.playToEndSegments);
    EXPECT_GT(playToEnd, 0u);
    EXPECT_EQ(annotated, g.annotatedSegments);
    EXPECT_GT(annotated, decorative);

    // Every segment is reachable from the initial one.
    std::size_t reached = 0;
    p->depthFirstTraversalFromSegmentId(std::nullopt,
                                        [&](const auto&, uint64_t, bool&) { ++reached; });
    EXPECT_EQ(reached, 2000u);
}

TEST(PlaygraphGenerator, DeterministicFromTheSeed) {
    EXPECT_TRUE(make(300, 1).dictionary == make(300, 1).dictionary);
    EXPECT_FALSE(make(300, 1).dictionary == make(300, 2).dictionary);
    EXPECT_EQ(make(300, 1).segmentIds, make(300, 1).segmentIds);
}

TEST(PlaygraphGenerator, TinySizes) {
    for (std::size_t n : {0u, 1u, 2u, 3u, 5u}) {
        const auto g = make(n);
        const auto p = Playgraph::create(g.dictionary);
        EXPECT_EQ(p->segmentMap().size(), std::max<std::size_t>(n, 1)) << n;
        EXPECT_EQ(defaultPathOf(*p), g.defaultPath) << n;
        EXPECT_EQ(p->duration(), g.defaultPathSeconds) << n;
    }
}
