// `playgraph simulate`, run as a user runs it.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "playgraph/json/Json.hpp"

namespace {

/// Runs the tool with `arguments` (a shell command line); stdout and stderr
/// together, and the exit status.
std::pair<int, std::string> simulate(const std::string& arguments) {
    const std::string command = std::string(PLAYGRAPH_TOOL) + " simulate " + arguments + " 2>&1";
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, output};
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), n);
    const int raw = pclose(pipe);
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, output};
}

const std::string story = std::string(PLAYGRAPH_EXAMPLES) + "/story.json";

double count(const playgraph::Value& summary, const std::string& segment) {
    const auto segments = summary.dictionary()->get("segments");
    const auto entry = segments.dictionary()->get(segment);
    return entry.dictionary() ? entry.dictionary()->get("runs").doubleReading() : 0.0;
}

TEST(Simulate, TellsEachDecisionAndFollowsTheChoicesGiven) {
    auto [status, out] = simulate(story);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("decision: window 7.000-12.000 s, deadline 10.000 s"), std::string::npos)
        << out;
    EXPECT_NE(out.find("way on rooftop  weight 30  probability 0.300"), std::string::npos);
    EXPECT_NE(out.find("default: vault"), std::string::npos);
    EXPECT_NE(out.find("ended at 45.500 s"), std::string::npos) << out;

    std::tie(status, out) = simulate(story + " --choose intro=rooftop --json");
    ASSERT_EQ(status, 0) << out;
    const auto run = playgraph::parseJson(out);
    const auto steps = run.dictionary()->get("steps");
    ASSERT_EQ(steps.list()->size(), 4u);
    EXPECT_EQ((*steps.list())[1].dictionary()->get("segment").text(), "rooftop");
    EXPECT_EQ(run.dictionary()->get("ended").booleanReading(), true);

    std::tie(status, out) = simulate(story + " --choose intro=credits");
    EXPECT_EQ(status, 2);
    EXPECT_NE(out.find("--choose intro=credits: credits is not a way on from intro"),
              std::string::npos)
        << out;
    EXPECT_EQ(simulate(story + " --runs 3").first, 2);
    EXPECT_EQ(simulate(story + " --choose intro").first, 2);
}

TEST(Simulate, RandomRunsDrawByWeightRepeatablyAndFindEndlessLoops) {
    const auto [status, out] = simulate(story + " --random --runs 4000 --seed 7 --json");
    ASSERT_EQ(status, 0) << out;
    const auto summary = playgraph::parseJson(out);
    EXPECT_EQ(count(summary, "intro"), 4000);
    EXPECT_EQ(count(summary, "vault") + count(summary, "rooftop"), 4000);
    EXPECT_NEAR(count(summary, "vault") / 4000, 0.7, 0.05);
    EXPECT_EQ(summary.dictionary()->get("endless").integerReading(), 0);
    EXPECT_EQ(simulate(story + " --random --runs 4000 --seed 7 --json").second, out);

    // a -> b -> a for ever, and c never reached.
    const std::string loop =
        R"({"initialSegment":"a","segments":{"a":{"viewableId":1,"startTimeMs":0,"endTimeMs":1000,)"
        R"("defaultNext":"b"},"b":{"viewableId":1,"startTimeMs":0,"endTimeMs":1000,"defaultNext":"a"},)"
        R"("c":{"viewableId":1,"startTimeMs":0,"endTimeMs":1000}}})";
    const std::string file = std::filesystem::temp_directory_path() /
                             ("playgraph-simulate-" + std::to_string(getpid()) + ".json");
    std::ofstream(file) << loop;
    const auto [loopStatus, loopOut] = simulate("--random --runs 3 --time-limit 50 " + file);
    std::filesystem::remove(file);
    EXPECT_EQ(loopStatus, 0) << loopOut;
    EXPECT_NE(loopOut.find("0 ended, 3 did not end within 50.000 s"), std::string::npos) << loopOut;
    EXPECT_NE(loopOut.find("never reached: \n  c"), std::string::npos) << loopOut;
}

} // namespace
