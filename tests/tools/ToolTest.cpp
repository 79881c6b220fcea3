// Runs the built playgraph tool for every subcommand and checks its output
// and exit status.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "playgraph/json/Json.hpp"

using playgraph::Value;

namespace {

struct ToolRun {
    int status = -1;
    std::string output; // stdout and stderr together
};

ToolRun run(const std::string& arguments, const std::string& stdinText = {}) {
    std::string command = std::string(PLAYGRAPH_TOOL) + " " + arguments + " 2>&1";
    std::filesystem::path input;
    if (!stdinText.empty()) {
        // Tests run in parallel processes: one file per process.
        input = std::filesystem::temp_directory_path() /
                ("playgraph-tool-test-" + std::to_string(getpid()) + ".json");
        std::ofstream(input) << stdinText;
        command += " < " + input.string();
    }
    ToolRun result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer{};
    while (const std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        result.output.append(buffer.data(), n);
    const int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (!input.empty()) std::filesystem::remove(input);
    return result;
}

std::string example(const char* name) { return std::string(PLAYGRAPH_EXAMPLES) + "/" + name; }

bool has(const ToolRun& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

// A shell word holding `text` as it is.
std::string quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The value at a path of dictionary keys; none when any step is missing.
Value at(const Value& root, std::initializer_list<const char*> path) {
    Value v = root;
    for (const char* key : path) {
        if (!v.isDictionary()) return Value();
        v = v.dictionary()->get(key);
    }
    return v;
}

// Tests that work with files: each gets a fresh directory of its own.
class ToolFiles : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("playgraph-tool-" + std::to_string(getpid()) + "-" + test->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }
    std::string read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string copyOfStory() const {
        const std::string target = path("story.json");
        std::filesystem::copy_file(example("story.json"), target);
        return target;
    }
    std::set<std::string> files() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_))
            names.insert(entry.path().filename().string());
        return names;
    }

private:
    std::filesystem::path dir_;
};

} // namespace

TEST(Tool, ReadOnlySubcommandsOnTheBundledStory) {
    const ToolRun info = run("info");
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_TRUE(has(info, "45.500 s")) << info.output; // 12 + 19.5 + 5 + 9

    const ToolRun path = run("path");
    // The decorative recap does not move the offset of the credits.
    EXPECT_TRUE(
        has(path, "credits                83      0.000      9.000      9.000     31.500  no"))
        << path.output;

    EXPECT_TRUE(has(run("at 14.5"), "segment vault, viewable 81, viewable time 14.500 s"));
    EXPECT_EQ(run("at 1000").status, 1);
    EXPECT_TRUE(has(run("map credits 2"), "playgraph time 38.500 s")); // 36.5 + 2
    EXPECT_EQ(run("map rooftop 3").status, 1);                         // off the default path
    EXPECT_EQ(run("walk --max-depth 2").output,
              "intro  depth 1\n  vault  depth 2\n  rooftop  depth 2\n");
    EXPECT_EQ(run("check " + example("story.json")).status, 0);
}

TEST(Tool, DotMarksPathDecorationAndMissingSegments) {
    const ToolRun dot = run("dot -", R"({"initialSegment": "a", "segments": {
        "a": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 1000, "defaultNext": "b",
              "next": {"b": {"weight": 70}, "ghost": {"weight": 30, "transitionType": "immediate"}}},
        "b": {"viewableId": 1, "startTimeMs": 1000, "annotations": {"decorative": true}}}})");
    EXPECT_EQ(dot.status, 0) << dot.output;
    EXPECT_TRUE(has(dot, "\"a\" -> \"b\" [label=\"w 70\\n(default)\", penwidth=2, color=blue]"))
        << dot.output;
    EXPECT_TRUE(has(dot, "\"ghost\" [label=\"ghost\\n(missing)\", style=dashed, color=red"));
}

TEST(Tool, CheckReportsEachFindingWithItsKey) {
    const ToolRun check = run("check -", R"({"initialSegment": "a", "segments": {
        "a": {"viewableId": 1, "startTimeMs": "5", "endTimeMs": 0, "defaultNext": "b",
              "next": {"zz": {"weight": "heavy"}, "b": 7}},
        "b": {"viewableId": 1, "startTimeMs": 500, "endTimeMs": 2000, "defaultNext": "a"},
        "c": {"viewableId": 2, "startTimeMs": 0, "endTimeMs": 10},
        "d": {"viewableId": 2, "startTimeMs": 5, "endTimeMs": 20},
        "e": {"startTimeMs": 0, "endTimeMs": 10, "defaultNext": "nowhere"}}})");
    EXPECT_EQ(check.status, 1) << check.output;
    for (const char* expected : {
             "segments.a.startTimeMs: expected a finite number, found a string \"5\"",
             "segments.a.next.b: expected an object, found an integer",
             "segments.c: unreachable from the initial segment \"a\"",
             "segments.b.defaultNext: the default path loops back to \"a\"",
             "segments.d: overlaps segment \"c\" in viewable 2",
             // a plays to the end of viewable 1 from 0, so b (from 0.5) lies within it.
             "segments.b: overlaps segment \"a\" in viewable 1",
         }) {
        EXPECT_TRUE(has(check, expected)) << expected << "\n" << check.output;
    }
}

TEST(Tool, InputErrorsExitWithTwo) {
    const ToolRun malformed = run("info -", "{\n  \"segments\": {\n    \"a\": [1,\n");
    EXPECT_EQ(malformed.status, 2);
    EXPECT_TRUE(has(malformed, "<stdin>:4:1:")) << malformed.output;
    for (const char* command : {"path", "edit --op 'remove a'", "compose --from-playgraph"}) {
        const ToolRun missing = run(std::string(command) + " /nonexistent/playgraph.json");
        EXPECT_EQ(missing.status, 2) << command;
        EXPECT_TRUE(has(missing, "/nonexistent/playgraph.json")) << missing.output;
    }
    EXPECT_TRUE(has(run("edit - --op 'remove a'", "{\"segments\": {\"a\": }}"), "<stdin>:1:"));
    EXPECT_TRUE(has(run("compose --from-playgraph -", "{\"segments\": [1,}"), "<stdin>:1:"));
    // A segment that is not an object is no segment to edit.
    EXPECT_TRUE(
        has(run("edit - --op 'remove a'", R"({"segments": {"a": 5}})"), "Cannot find segment a"));
    EXPECT_TRUE(has(run("compose --viewable 1 --end inf"), "must be finite"));
}

// ---- edit ----

TEST_F(ToolFiles, EditAppliesEveryOperationInOrder) {
    const std::string story = copyOfStory();
    const std::string before = read("story.json");
    std::string arguments = "edit " + story + " -o " + path("out.json");
    for (const std::string op : {
             "split intro 4.0 intro intro-b",
             "set-default intro-b rooftop",
             R"(update intro-b rooftop {"weight": 10})",
             R"(update-all-from intro-b {"transitionType": "lazy"})",
             "skip intro-b vault 2.5 7",
             "insert-before intro cold-open none 0 2",
             "remove cold-open",
         })
        arguments += " --op " + quote(op);
    const ToolRun edit = run(arguments);
    ASSERT_EQ(edit.status, 0) << edit.output;
    EXPECT_EQ(read("story.json"), before); // the input is left alone
    EXPECT_EQ(files(), (std::set<std::string>{"story.json", "out.json"}));

    const Value out = playgraph::readJsonFile(path("out.json"));
    EXPECT_EQ(at(out, {"initialSegment"}).text(), "intro"); // cold-open came and went
    EXPECT_EQ(at(out, {"segments", "intro-b", "startTimeMs"}).integerReading(), 4000);
    const Value rooftop = at(out, {"segments", "intro-b", "next", "rooftop"});
    EXPECT_EQ(at(rooftop, {"weight"}).integerReading(), 10);
    EXPECT_EQ(at(rooftop, {"transitionType"}).text(), "lazy");
    EXPECT_EQ(at(out, {"segments", "intro-b", "next", "vault", "skipRegionOffset"}).doubleReading(),
              2500.0);
}

TEST_F(ToolFiles, EditReadsAnOperationsFileAndRewritesInPlace) {
    const std::string story = copyOfStory();
    const auto perms = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                       std::filesystem::perms::group_read;
    std::filesystem::permissions(story, perms);
    const std::string ops = write("ops.txt", "# add a side branch\n"
                                             "\n"
                                             "  insert-after intro \"side door\" 81 1 2 default  \n"
                                             "update intro \"side door\" {\"weight\": 9}\n");
    const ToolRun edit = run("edit --in-place " + story + " --ops " + ops);
    ASSERT_EQ(edit.status, 0) << edit.output;
    EXPECT_EQ(edit.output, "");
    EXPECT_EQ(files(), (std::set<std::string>{"story.json", "ops.txt"}));
    EXPECT_EQ(std::filesystem::status(story).permissions() & std::filesystem::perms::all, perms);
    const Value out = playgraph::readJsonFile(story);
    EXPECT_EQ(at(out, {"segments", "intro", "next", "side door", "weight"}).integerReading(), 9);
}

TEST_F(ToolFiles, AFailingEditWritesNothing) {
    const std::string story = copyOfStory();
    const std::string before = read("story.json");
    write("out.json", "keep me\n");
    const std::string output = " -o " + path("out.json");

    const ToolRun refused = run("edit " + story + output +
                                " --op 'split intro 4 intro intro-b' --op 'remove intro-b'"
                                " --op 'remove nowhere'");
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(has(refused, "op 3 'remove nowhere': Cannot find segment nowhere"))
        << refused.output;
    EXPECT_EQ(run("edit --in-place " + story + " --op 'remove nowhere'").status, 2);

    // Wrongly typed arguments are refused before the playgraph is read.
    for (const auto& [op, reason] : std::vector<std::pair<std::string, std::string>>{
             {"split intro soon a b", "OFFSET must be a finite number of seconds, not 'soon'"},
             {"insert-after intro x eighty 0 1", "VIEWABLE must be an integer or 'none'"},
             {"skip intro vault 2.5 -1", "WEIGHT must be a whole number from 0, not '-1'"},
             {"update intro vault [1]", "PROPERTIES must be a JSON object, not '[1]'"},
             {"rename intro start", "unknown operation 'rename'"},
         }) {
        const ToolRun bad =
            run("edit " + story + output + " --op 'remove recap' --op " + quote(op));
        EXPECT_EQ(bad.status, 2) << op;
        EXPECT_TRUE(has(bad, "op 2 '" + op + "': " + reason)) << bad.output;
    }

    EXPECT_EQ(read("out.json"), "keep me\n");
    EXPECT_EQ(read("story.json"), before);
    EXPECT_EQ(files(), (std::set<std::string>{"story.json", "out.json"})); // no temp file
}

// ---- compose ----

TEST(Tool, ComposeOneClipAndAConvertedPlaygraph) {
    const ToolRun clip = run("compose --viewable 81 --start 10 --end 20");
    ASSERT_EQ(clip.status, 0) << clip.output;
    const Value video = at(playgraph::parseJson(clip.output), {"segments", "video"});
    EXPECT_EQ(at(video, {"main"}).integerReading(), 81);
    EXPECT_EQ(at(video, {"endTimeMs"}).doubleReading(), 20000.0);

    const ToolRun converted = run("compose --from-playgraph - --main-viewable 9", R"({
        "initialSegment": "a", "segments": {
          "a": {"viewableId": 5, "startTimeMs": 0, "endTimeMs": 1000, "defaultNext": "b",
                "next": {"b": {"weight": 70}}},
          "b": {"viewableId": 5, "startTimeMs": 1000},
          "orphan": {"viewableId": 6, "startTimeMs": 0, "endTimeMs": 10}}})");
    ASSERT_EQ(converted.status, 0) << converted.output;
    const Value out = playgraph::parseJson(converted.output);
    EXPECT_EQ(at(out, {"segments"}).dictionary()->size(), 2u); // the orphan is unreachable
    EXPECT_EQ(at(out, {"segments", "b", "main"}).integerReading(), 9);
    // b plays to its viewable's end, whose length is unknown: no end is written.
    EXPECT_TRUE(at(out, {"segments", "b", "endTimeMs"}).isNone());
}
