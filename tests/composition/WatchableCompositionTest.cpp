#include <gtest/gtest.h>

#include "../TestSupport.hpp"
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

Dictionary segmentIn(const MutablePlaygraph& p, const std::string& id) {
    return *p.dictionaryRepresentation().get("segments").dictionary()->get(id).dictionary();
}

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
              Value(Dictionary{
                  {"viewableId", 81}, {"main", 81}, {"startTimeMs", 0.0}, {"endTimeMs", 20000.0}}));
    EXPECT_EQ(w->uiPlayContext(), context);
    EXPECT_FALSE(w->allowsExternalPlayback());
    EXPECT_EQ(w->fetchOptions(), 0u);
    EXPECT_FALSE(w->selectedStartSegmentId());
    EXPECT_FALSE(w->rebuildContextId());
    EXPECT_FALSE(w->prereleasePin());
    EXPECT_FALSE(w->discretePlayType());
    EXPECT_FALSE(w->stickySteeringToken());
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
    EXPECT_EQ(w->selectedStartSegmentId(), "s");
    EXPECT_EQ(w->rebuildContextId(), "r");
    EXPECT_EQ(w->prereleasePin(), "p");
    EXPECT_EQ(w->discretePlayType(), "d");
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
    auto plain = factory->createVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr);
    auto plainClass = std::dynamic_pointer_cast<VideoComposition>(plain);
    ASSERT_TRUE(plainClass);
    EXPECT_FALSE(std::dynamic_pointer_cast<QZMutableVideoComposition>(plain));
    EXPECT_FALSE(segmentIn(*plainClass, "a").contains("main"));

    auto mutableOne =
        factory->createMutableVideoCompositionForViewableId(81, "a", 1.0, 2.0, nullptr);
    auto mutableClass = std::dynamic_pointer_cast<MutableVideoComposition>(mutableOne);
    ASSERT_TRUE(mutableClass);
    EXPECT_FALSE(std::dynamic_pointer_cast<WatchableComposition>(mutableOne));
    EXPECT_EQ(segmentIn(*mutableClass, "a").get("main"), Value(81));

    auto watchable =
        factory->watchableWithVideoId(81, std::nullopt, 0.0, 20.0, Dictionary{{"c", 1}}, nullptr);
    auto watchableClass = std::dynamic_pointer_cast<WatchableComposition>(watchable);
    ASSERT_TRUE(watchableClass);
    EXPECT_EQ(Value(watchableClass->dictionaryRepresentation()),
              Value(WatchableComposition::watchableWithVideoId(81, std::nullopt, 0.0, 20.0,
                                                               std::nullopt, nullptr)
                        ->dictionaryRepresentation()));
    EXPECT_EQ(watchable->uiPlayContext(), (Dictionary{{"c", 1}}));

    auto source = twoSegments();
    auto converted = factory->watchableWithMainVideoId(5, source, Dictionary{{"c", 2}});
    auto convertedClass = std::dynamic_pointer_cast<WatchableComposition>(converted);
    ASSERT_TRUE(convertedClass);
    EXPECT_EQ(Value(convertedClass->dictionaryRepresentation()),
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
    auto second = make();
    EXPECT_NE(first, second);
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(first));
    EXPECT_TRUE(std::dynamic_pointer_cast<QZVideoCompositionFactoryImpl>(second));
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
