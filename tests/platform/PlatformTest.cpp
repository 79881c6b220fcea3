#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "../TestSupport.hpp"
#include "playgraph/platform/PlatformConfigProvider.hpp"
#include "playgraph/platform/Uuid.hpp"

using namespace playgraph;

TEST(PlatformConfigProvider, DefaultAnswersTheDefaultAndHostsCanInstallTheirOwn) {
    EXPECT_TRUE(PlatformConfigProvider::shared()->isFlagTrue("anything", true));
    EXPECT_FALSE(PlatformConfigProvider::shared()->isFlagTrue("anything", false));
    PlatformConfigProvider::setShared(std::make_shared<test::CountingProvider>(false));
    EXPECT_FALSE(PlatformConfigProvider::shared()->isFlagTrue("anything", true));
    PlatformConfigProvider::setShared(nullptr);
    EXPECT_TRUE(PlatformConfigProvider::shared()->isFlagTrue("anything", true));
}

TEST(Uuid, UpperCaseVersion4TextAndDistinct) {
    const std::regex version4("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[0-9A-F]{4}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string id = makeUuidString();
        EXPECT_TRUE(std::regex_match(id, version4)) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}
