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
    EXPECT_EQ(w->uiPlayContext(), context);
    EXPECT_FALSE(w->allowsExternalPlayback());
    EXPECT_EQ(w->fetchOptions(), 0u);
    for (const auto& property :
         {w->selectedStartSegmentId(), w->rebuildContextId(), w->prereleasePin(),
          w->discretePlayType(), w->stickySteeringToken()})
        EXPECT_FALSE(property);
    // The properties are not part of the dictionary.
    w->setSelectedStartSegmentId("video");
    EXPECT_EQ(Value(segmentIn(*w, "video")).dictionary()->size(), 4u);
    EXPECT_EQ(w->dictionaryRepresentation().size(), 2u);
}

TEST(Watchable, PropertiesStoreCopies) {
    Dictionary context{{"k", "v"}};
    auto w = WatchableComposition::watchableWithVideoId(81, "clip", 0.0, 1.0, context, nullptr);
    context.set("k", "changed");
    context.set("extra", 1);
    EXPECT_EQ(w->uiPlayContext(), (Dictionary{{"k", "v"}}));
    // What a reader gets is its own container.
    Dictionary read = *w->uiPlayContext();
    read.set("k", "mine");
    EXPECT_EQ(w->uiPlayContext(), (Dictionary{{"k", "v"}}));
    w->setUiPlayContext(std::nullopt);
    EXPECT_FALSE(w->uiPlayContext());

    std::string token = "token-1";
    w->setStickySteeringToken(token);
    token += "-changed";
    EXPECT_EQ(w->stickySteeringToken(), "token-1");

    w->setSelectedStartSegmentId("s");
    w->setRebuildContextId("r");
    w->setPrereleasePin("p");
    w->setDiscretePlayType("d");
    w->setFetchOptions(0xFFFF'FFFF'FFFF'FFFFull);
    w->setAllowsExternalPlayback(true);
    // Each property is its own (no two share a store).
    EXPECT_EQ((std::vector{w->selectedStartSegmentId(), w->rebuildContextId(), w->prereleasePin(),
                           w->discretePlayType()}),
              (std::vector<std::optional<std::string>>{"s", "r", "p", "d"}));
    EXPECT_EQ(w->fetchOptions(), 0xFFFF'FFFF'FFFF'FFFFull);
    EXPECT_TRUE(w->allowsExternalPlayback());
    w->setPrereleasePin(std::nullopt);
    EXPECT_FALSE(w->prereleasePin());
}

TEST(Watchable, FromAPlaygraphMatchesTheConversion) {
    auto source = twoSegments();
    auto w = WatchableComposition::watchableWithMainViewableId(5, source, Dictionary{{"x", 1}});
    auto m = MutableVideoComposition::createVideoCompositionForMainViewableId(5, source);
    EXPECT_EQ(Value(w->dictionaryRepresentation()), Value(m->dictionaryRepresentation()));
    EXPECT_EQ(w->uiPlayContext(), (Dictionary{{"x", 1}}));
    EXPECT_EQ(w->mainViewableId(), Value(5));
    // Watchables edit clips like any mutable composition.
    w->appendClip("c", 6, 0.0, 1.0, nullptr);
    EXPECT_EQ(w->segmentById("b")->defaultNext(), "c");
}

TEST(CompositionFactory, EachOperationMakesItsClass) {
    std::shared_ptr<QZVideoCompositionFactory> factory = QZVideoCompositionFactoryImpl::create();
    auto plain = std::dynamic_pointer_cast<VideoComposition>(
        factory->createVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr));
    ASSERT_TRUE(plain);
    EXPECT_FALSE(std::dynamic_pointer_cast<MutableVideoComposition>(plain));
    EXPECT_FALSE(segmentIn(*plain, "a").contains("main"));

    auto editable = std::dynamic_pointer_cast<MutableVideoComposition>(
        factory->createMutableVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr));
    ASSERT_TRUE(editable);
    EXPECT_FALSE(std::dynamic_pointer_cast<WatchableComposition>(editable));
    EXPECT_EQ(segmentIn(*editable, "a").get("main"), Value(81));

    auto watchable = std::dynamic_pointer_cast<WatchableComposition>(
        factory->watchableWithVideoId(81, std::nullopt, 0.0, 20.0, Dictionary{{"c", 1}}, nullptr));
    ASSERT_TRUE(watchable);
    EXPECT_EQ(Value(watchable->dictionaryRepresentation()),
              Value(WatchableComposition::watchableWithVideoId(81, std::nullopt, 0.0, 20.0,
                                                               std::nullopt, nullptr)
                        ->dictionaryRepresentation()));
    EXPECT_EQ(watchable->uiPlayContext(), (Dictionary{{"c", 1}}));

    auto source = twoSegments();
    auto converted = std::dynamic_pointer_cast<WatchableComposition>(
        factory->watchableWithMainVideoId(5, source, Dictionary{{"c", 2}}));
    ASSERT_TRUE(converted);
    EXPECT_EQ(Value(converted->dictionaryRepresentation()),
              Value(MutableVideoComposition::createVideoCompositionForMainViewableId(5, source)
                        ->dictionaryRepresentation()));
    EXPECT_EQ(converted->uiPlayContext(), (Dictionary{{"c", 2}}));
}

namespace {

using Key = VideoCompositionFactoryDependencyKey;

/// Restores the key's initial default when a test ends.
struct DefaultRestorer {
    ~DefaultRestorer() { Key::setDefaultValue(nullptr); }
};

} // namespace

TEST(CompositionFactoryDependency, InitialDefaultMakesANewFactoryEachCall) {
    const auto make = Key::defaultValue();
    auto first = make();
    EXPECT_NE(first, make());
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(first));
}

TEST(CompositionFactoryDependency, ReplacingTheDefaultKeepsWhatWasHandedOut) {
    DefaultRestorer restore;
    DependencyRegistry registry;
    const auto handedOut = registry.value<Key>();

    const auto mine = QZVideoCompositionFactoryImpl::create();
    Key::setDefaultValue([mine] { return mine; });
    EXPECT_EQ(registry.value<Key>()(), mine);
    EXPECT_EQ(Key::defaultValue()(), mine);
    // The earlier function still makes factories the old way.
    const auto old = handedOut();
    EXPECT_NE(old, mine);
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(old));

    // What the host registers wins over the default, until it is removed.
    const auto registered = QZVideoCompositionFactoryImpl::create();
    registry.registerValue<Key>([registered] { return registered; });
    EXPECT_TRUE(registry.isRegistered<Key>());
    EXPECT_EQ(registry.value<Key>()(), registered);
    registry.unregisterValue<Key>();
    EXPECT_EQ(registry.value<Key>()(), mine);

    // An empty function restores the initial default.
    Key::setDefaultValue(nullptr);
    const auto fresh = registry.value<Key>()();
    EXPECT_NE(fresh, mine);
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(fresh));
}
