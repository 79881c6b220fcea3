// Runs the built playgraph tool for every subcommand and checks its output
// and exit status.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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

bool has(const std::string& output, const std::string& text) {
    return output.find(text) != std::string::npos;
}
bool has(const ToolRun& r, const std::string& text) { return has(r.output, text); }

// The output with every run of spaces made one space, for table rows.
std::string squeezed(const ToolRun& r) {
    std::string out;
    for (const char c : r.output) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

} // namespace

TEST(Tool, InfoAndPathOnTheBundledStory) {
    const ToolRun info = run("info");
    EXPECT_EQ(info.status, 0) << info.output;
    EXPECT_TRUE(has(info, "heist-story"));
    EXPECT_TRUE(has(info, "45.500 s")) << info.output; // 12 + 19.5 + 5 + 9
    EXPECT_TRUE(has(info, "4 segments"));

    // The bundled story and examples/story.json read alike.
    EXPECT_EQ(run("info " + example("story.json")).output, info.output);

    const ToolRun path = run("path");
    EXPECT_EQ(path.status, 0);
    EXPECT_TRUE(
        has(path, "recap                  81     31.500     36.500      5.000     31.500  yes"))
        << path.output;
    // The decorative recap does not move the offset of the credits.
    EXPECT_TRUE(
        has(path, "credits                83      0.000      9.000      9.000     31.500  no"));
}

TEST(Tool, PlayToEndSegmentsShowUnknownEnds) {
    const ToolRun path = run("path " + example("adbreaks.json"));
    EXPECT_EQ(path.status, 0);
    EXPECT_TRUE(has(squeezed(path), "act2 501 600.000 ? ? 600.000 no")) << path.output;
}

TEST(Tool, TimeQueries) {
    const ToolRun at = run("at 14.5");
    EXPECT_EQ(at.status, 0);
    EXPECT_TRUE(has(at, "segment vault, viewable 81, viewable time 14.500 s")) << at.output;
    EXPECT_EQ(run("at 1000").status, 1);

    const ToolRun map = run("map credits 2");
    EXPECT_EQ(map.status, 0);
    EXPECT_TRUE(has(map, "playgraph time 38.500 s")) << map.output; // 36.5 + 2
    EXPECT_EQ(run("map rooftop 3").status, 1);                      // off the default path
    EXPECT_EQ(run("map nowhere 3").status, 2);
    EXPECT_EQ(run("at").status, 2); // TIME is required
}

TEST(Tool, Walks) {
    const ToolRun bfs = run("walk --max-depth 2");
    EXPECT_EQ(bfs.status, 0);
    EXPECT_EQ(bfs.output, "intro  depth 1\n  vault  depth 2\n  rooftop  depth 2\n");
    const ToolRun dfs = run("walk --dfs --from rooftop");
    EXPECT_EQ(dfs.output, "rooftop  depth 0\n  recap  depth 1\n    credits  depth 2\n");
    EXPECT_EQ(run("walk --bfs --dfs").status, 2);
    EXPECT_EQ(run("walk --from nowhere").status, 2);
}

TEST(Tool, DotMarksPathDecorationAndMissingSegments) {
    const ToolRun dot = run("dot -", R"({"initialSegment": "a", "segments": {
        "a": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 1000, "defaultNext": "b",
              "next": {"b": {"weight": 70}, "ghost": {"weight": 30, "transitionType": "immediate"}}},
        "b": {"viewableId": 1, "startTimeMs": 1000, "annotations": {"decorative": true}}}})");
    EXPECT_EQ(dot.status, 0) << dot.output;
    EXPECT_TRUE(has(dot, "digraph"));
    EXPECT_TRUE(has(dot, "\"a\" -> \"b\" [label=\"w 70\\n(default)\", penwidth=2, color=blue]"))
        << dot.output;
    EXPECT_TRUE(has(dot, "\"a\" -> \"ghost\" [label=\"w 30\\nimmediate\"]"));
    EXPECT_TRUE(has(dot, "\"ghost\" [label=\"ghost\\n(missing)\", style=dashed, color=red"));
    EXPECT_TRUE(has(dot, "style=\"rounded,dashed,filled\"")); // decorative b
    EXPECT_TRUE(has(dot, "peripheries=2"));                   // b plays to the end
}

TEST(Tool, CheckCleanExamples) {
    for (const char* name : {"story.json", "adbreaks.json", "part1.json", "part2.json"}) {
        const ToolRun check = run("check " + example(name));
        EXPECT_EQ(check.status, 0) << name << ": " << check.output;
    }
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
             "segments.a.endTimeMs: end 0 ms is not after start 0 ms",
             "segments.a.next.zz: names no segment \"zz\"",
             "segments.a.next.zz.weight: expected a finite number",
             "segments.a.next.b: expected an object, found an integer",
             "segments.e.defaultNext: names no segment \"nowhere\"",
             "segments.e.viewableId: missing",
             "segments.c: unreachable from the initial segment \"a\"",
             "segments.b.defaultNext: the default path loops back to \"a\"",
             "segments.d: overlaps segment \"c\" in viewable 2",
         }) {
        EXPECT_TRUE(has(check, expected)) << expected << "\n" << check.output;
    }
    // a plays to the end of viewable 1 from 0, so b (from 0.5) lies within it.
    EXPECT_TRUE(has(check, "segments.b: overlaps segment \"a\" in viewable 1")) << check.output;
}

TEST(Tool, InputErrorsExitWithTwo) {
    const ToolRun malformed = run("info -", "{\n  \"segments\": {\n    \"a\": [1,\n");
    EXPECT_EQ(malformed.status, 2);
    EXPECT_TRUE(has(malformed, "<stdin>:4:1:")) << malformed.output;

    const ToolRun missing = run("path /nonexistent/playgraph.json");
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(has(missing, "/nonexistent/playgraph.json")) << missing.output;

    const ToolRun notObject = run("info -", "[1, 2]");
    EXPECT_EQ(notObject.status, 2);
    EXPECT_TRUE(has(notObject, "not a JSON object"));

    EXPECT_EQ(run("").status, 2);
    EXPECT_EQ(run("frobnicate").status, 2);
    EXPECT_EQ(run("--help").status, 0);
}
