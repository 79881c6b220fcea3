#include <gtest/gtest.h>

#include <set>

#include "playgraph/platform/PlatformConfigProvider.hpp"
#include "playgraph/platform/Uuid.hpp"

using namespace playgraph;

namespace {
struct FlagsOff : PlatformConfigProvider {
    bool isFlagTrue(std::string_view, bool) const override { return false; }
};
} // namespace

TEST(PlatformConfigProvider, DefaultAnswersTheDefaultAndHostsCanInstallTheirOwn) {
    EXPECT_TRUE(PlatformConfigProvider::shared()->isFlagTrue("anything", true));
    EXPECT_FALSE(PlatformConfigProvider::shared()->isFlagTrue("anything", false));
    PlatformConfigProvider::setShared(std::make_shared<FlagsOff>());
    EXPECT_FALSE(PlatformConfigProvider::shared()->isFlagTrue("anything", true));
    PlatformConfigProvider::setShared(nullptr);
    EXPECT_TRUE(PlatformConfigProvider::shared()->isFlagTrue("anything", true));
}

TEST(Uuid, UpperCaseVersion4TextAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string id = makeUuidString();
        ASSERT_EQ(id.size(), 36u);
        for (std::size_t j = 0; j < id.size(); ++j) {
            if (j == 8 || j == 13 || j == 18 || j == 23) {
                EXPECT_EQ(id[j], '-');
            } else {
                EXPECT_TRUE((id[j] >= '0' && id[j] <= '9') || (id[j] >= 'A' && id[j] <= 'F')) << id;
            }
        }
        EXPECT_EQ(id[14], '4');
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 200u);
}
