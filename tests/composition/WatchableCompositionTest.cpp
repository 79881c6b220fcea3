#include <gtest/gtest.h>

#include "../editing/EditingTestSupport.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/composition/QZVideoCompositionFactoryImpl.hpp"
#include "playgraph/composition/VideoComposition.hpp"
#include "playgraph/composition/VideoCompositionFactoryDependencyKey.hpp"
#include "playgraph/composition/WatchableComposition.hpp"
#include "playgraph/model/Playgraph.hpp"
#include "playgraph/platform/DependencyRegistry.hpp"

using namespace playgraph;
using namespace playgraph::test;

namespace {

std::shared_ptr<Playgraph> twoSegments() {
    return Playgraph::create(
        graph("a", Dictionary{{"a", seg(0, 1500, {{"viewableId", 5}, {"next", next({{"b", 20}})}})},
                              {"b", seg(1500, 4000, {{"viewableId", 5}})}}));
}

} // namespace

TEST(Watchable, OneClipWithDefaultsAndTheContext) {
    const Dictionary context{{"source", "home"}, {"row", 3}};
    auto w =
        WatchableComposition::watchableWithVideoId(81, std::nullopt, 0.0, 20.0, context, nullptr);
    EXPECT_EQ(Value(segmentIn(*w, "video")),
              Value(seg(0.0, 20000.0, {{"viewableId", 81}, {"main", 81}})));
    // The properties are not part of the dictionary.
    w->setSelectedStartSegmentId("video");
    EXPECT_EQ(Value(segmentIn(*w, "video")).dictionary()->size(), 4u);
    EXPECT_EQ(w->dictionaryRepresentation().size(), 2u);
}

TEST(Watchable, PropertiesStoreCopies) {
    Dictionary context{{"k", "v"}};
    auto w = WatchableComposition::watchableWithVideoId(81, "clip", 0.0, 1.0, context, nullptr);
    context.set("k", "changed");
    EXPECT_EQ(w->uiPlayContext(), (Dictionary{{"k", "v"}}));
    // What a reader gets is its own container.
    Dictionary read = *w->uiPlayContext();
    read.set("k", "mine");
    EXPECT_EQ(w->uiPlayContext(), (Dictionary{{"k", "v"}}));
}

TEST(Watchable, FromAPlaygraphMatchesTheConversion) {
    auto source = twoSegments();
    auto w = WatchableComposition::watchableWithMainViewableId(5, source, Dictionary{{"x", 1}});
    auto m = MutableVideoComposition::createVideoCompositionForMainViewableId(5, source);
    EXPECT_EQ(Value(w->dictionaryRepresentation()), Value(m->dictionaryRepresentation()));
    // Watchables edit clips like any mutable composition.
    w->appendClip("c", 6, 0.0, 1.0, nullptr);
    EXPECT_EQ(w->segmentById("b")->defaultNext(), "c");
}

TEST(CompositionFactory, EachOperationMakesItsClass) {
    std::shared_ptr<QZVideoCompositionFactory> factory = QZVideoCompositionFactoryImpl::create();
    auto plain = factory->createVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr);
    EXPECT_FALSE(std::dynamic_pointer_cast<MutableVideoComposition>(plain));
    auto editable = factory->createMutableVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr);
    EXPECT_TRUE(std::dynamic_pointer_cast<MutableVideoComposition>(editable));
    EXPECT_FALSE(std::dynamic_pointer_cast<WatchableComposition>(editable));
    auto watchable = std::dynamic_pointer_cast<WatchableComposition>(
        factory->watchableWithVideoId(81, std::nullopt, 0.0, 20.0, Dictionary{{"c", 1}}, nullptr));
    ASSERT_TRUE(watchable);
    EXPECT_EQ(watchable->uiPlayContext(), (Dictionary{{"c", 1}}));
    EXPECT_TRUE(std::dynamic_pointer_cast<WatchableComposition>(
        factory->watchableWithMainVideoId(5, twoSegments(), Dictionary{})));
}

namespace {

using Key = VideoCompositionFactoryDependencyKey;

/// Restores the key's initial default when a test ends.
struct DefaultRestorer {
    ~DefaultRestorer() { Key::setDefaultValue(nullptr); }
};

} // namespace

TEST(CompositionFactoryDependency, ReplacingTheDefaultKeepsWhatWasHandedOut) {
    DefaultRestorer restore;
    DependencyRegistry registry;
    const auto handedOut = registry.value<Key>();

    const auto mine = QZVideoCompositionFactoryImpl::create();
    Key::setDefaultValue([mine] { return mine; });
    EXPECT_EQ(registry.value<Key>()(), mine);
    // The earlier function still makes factories the old way.
    const auto old = handedOut();
    EXPECT_NE(old, mine);
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(old));

    // What the host registers wins over the default, until it is removed.
    const auto registered = QZVideoCompositionFactoryImpl::create();
    registry.registerValue<Key>([registered] { return registered; });
    EXPECT_EQ(registry.value<Key>()(), registered);
    registry.unregisterValue<Key>();
    EXPECT_EQ(registry.value<Key>()(), mine);

    // An empty function restores the initial default.
    Key::setDefaultValue(nullptr);
    const auto fresh = registry.value<Key>()();
    EXPECT_NE(fresh, mine);
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(fresh));
}
