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
    for (const char* name :
         {"story.json", "adbreaks.json", "episode-one.json", "episode-two.json"}) {
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

// ---- edit ----

TEST_F(ToolFiles, EditAppliesEveryOperationInOrder) {
    const std::string story = copyOfStory();
    const std::string before = read("story.json");
    const std::vector<std::string> ops = {
        "split intro 4.0 intro intro-b",
        "set-default intro-b rooftop",
        R"(update intro-b rooftop {"weight": 10})",
        "add-transition vault credits {\"weight\": 5}",
        R"(update-all-to credits {"autoplayType": 1})",
        R"(update-all-from intro-b {"transitionType": "lazy"})",
        "skip intro-b vault 2.5 7",
        "insert-after credits epilogue 84 0 30.5 default",
        "insert-before intro cold-open none 0 2",
        "remove cold-open",
    };
    std::string arguments = "edit " + story + " -o " + path("out.json");
    for (const auto& op : ops)
        arguments += " --op " + quote(op);
    const ToolRun edit = run(arguments);
    ASSERT_EQ(edit.status, 0) << edit.output;
    EXPECT_EQ(edit.output, "");            // the result went to the file
    EXPECT_EQ(read("story.json"), before); // the input is left alone
    EXPECT_EQ(files(), (std::set<std::string>{"story.json", "out.json"}));

    const Value out = playgraph::readJsonFile(path("out.json"));
    EXPECT_EQ(at(out, {"playgraphId"}).text(), "heist-story");
    EXPECT_EQ(at(out, {"initialSegment"}).text(), "intro"); // cold-open came and went
    EXPECT_TRUE(at(out, {"segments", "cold-open"}).isNone());
    EXPECT_EQ(at(out, {"segments", "intro", "endTimeMs"}).integerReading(), 4000);
    EXPECT_EQ(at(out, {"segments", "intro", "defaultNext"}).text(), "intro-b");
    EXPECT_EQ(at(out, {"segments", "intro-b", "startTimeMs"}).integerReading(), 4000);
    EXPECT_EQ(at(out, {"segments", "intro-b", "defaultNext"}).text(), "rooftop");
    const Value rooftop = at(out, {"segments", "intro-b", "next", "rooftop"});
    EXPECT_EQ(at(rooftop, {"weight"}).integerReading(), 10);
    EXPECT_EQ(at(rooftop, {"transitionType"}).text(), "lazy");
    const Value vault = at(out, {"segments", "intro-b", "next", "vault"});
    EXPECT_EQ(at(vault, {"transitionType"}).text(), "lazy");
    EXPECT_TRUE(at(vault, {"skipRegionOffset"}).isDouble());
    EXPECT_EQ(at(vault, {"skipRegionOffset"}).doubleReading(), 2500.0);
    EXPECT_EQ(at(vault, {"skipRegionWeight"}).integerReading(), 7);
    const Value credits = at(out, {"segments", "vault", "next", "credits"});
    EXPECT_EQ(at(credits, {"weight"}).integerReading(), 5);
    EXPECT_EQ(at(credits, {"autoplayType"}).integerReading(), 1);
    EXPECT_EQ(at(out, {"segments", "credits", "defaultNext"}).text(), "epilogue");
    EXPECT_EQ(at(out, {"segments", "epilogue", "viewableId"}).integerReading(), 84);
    EXPECT_EQ(at(out, {"segments", "epilogue", "endTimeMs"}).integerReading(), 30500);

    // Without -o the same JSON goes to standard output, and the tool reads it back.
    arguments = "edit " + story;
    for (const auto& op : ops)
        arguments += " --op " + quote(op);
    EXPECT_EQ(run(arguments).output, read("out.json"));
    const ToolRun path = run("path " + this->path("out.json"));
    EXPECT_TRUE(has(path, "rooftop")) << path.output; // the new default after intro-b
}

TEST_F(ToolFiles, EditReadsAnOperationsFileAndRewritesInPlace) {
    const std::string story = copyOfStory();
    std::filesystem::permissions(story, std::filesystem::perms::owner_read |
                                            std::filesystem::perms::owner_write |
                                            std::filesystem::perms::group_read);
    const std::string ops = write("ops.txt", "# add a side branch\n"
                                             "\n"
                                             "  insert-after intro \"side door\" 81 1 2 default  \n"
                                             "update intro \"side door\" {\"weight\": 9}\n");
    const ToolRun edit = run("edit --in-place " + story + " --ops " + ops);
    ASSERT_EQ(edit.status, 0) << edit.output;
    EXPECT_EQ(edit.output, "");
    EXPECT_EQ(files(), (std::set<std::string>{"story.json", "ops.txt"}));
    EXPECT_EQ(std::filesystem::status(story).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                  std::filesystem::perms::group_read);
    const Value out = playgraph::readJsonFile(story);
    EXPECT_EQ(at(out, {"segments", "intro", "defaultNext"}).text(), "side door");
    EXPECT_EQ(at(out, {"segments", "intro", "next", "side door", "weight"}).integerReading(), 9);

    // Operations from standard input, after the --op ones.
    const ToolRun piped =
        run("edit " + story + " --op 'remove credits' --ops -", "set-default intro vault\n");
    ASSERT_EQ(piped.status, 0) << piped.output;
    const Value result = playgraph::parseJson(piped.output);
    EXPECT_EQ(at(result, {"segments", "intro", "defaultNext"}).text(), "vault");
    EXPECT_TRUE(at(result, {"segments", "credits"}).isNone());
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
    EXPECT_TRUE(has(refused, "nothing written"));

    const ToolRun fromFile = run("edit " + story + output + " --ops " +
                                 write("ops.txt", "# one\nset-default intro credits\n"));
    EXPECT_EQ(fromFile.status, 2);
    EXPECT_TRUE(has(fromFile, "op 1 (" + path("ops.txt") +
                                  " line 2) 'set-default intro credits': Cannot set credits as "
                                  "defaultNext after intro. Transition not found."))
        << fromFile.output;

    const ToolRun inPlace = run("edit --in-place " + story + " --op 'remove nowhere'");
    EXPECT_EQ(inPlace.status, 2);

    // Malformed operations and wrongly typed arguments are refused before the
    // playgraph is read, each naming the operation.
    for (const auto& [op, reason] : std::vector<std::pair<std::string, std::string>>{
             {"split intro soon a b", "OFFSET must be a finite number of seconds, not 'soon'"},
             {"split intro nan a b", "OFFSET must be a finite number"},
             {"insert-after intro x eighty 0 1", "VIEWABLE must be an integer or 'none'"},
             {"skip intro vault 2.5 -1", "WEIGHT must be a whole number from 0, not '-1'"},
             {"update intro vault [1]", "PROPERTIES must be a JSON object, not '[1]'"},
             {"update intro vault {\"weight\": }", "PROPERTIES:1:"},
             {"update intro vault", "missing PROPERTIES"},
             {"remove", "missing SEGMENT"},
             {"remove intro vault", "unexpected 'vault'"},
             {"remove \"intro", "unterminated quoted word"},
             {"rename intro start", "unknown operation 'rename'"},
         }) {
        const ToolRun bad =
            run("edit " + story + output + " --op 'remove recap' --op " + quote(op));
        EXPECT_EQ(bad.status, 2) << op;
        EXPECT_TRUE(has(bad, "op 2 '" + op + "': " + reason)) << bad.output;
    }

    EXPECT_EQ(read("out.json"), "keep me\n");
    EXPECT_EQ(read("story.json"), before);
    EXPECT_EQ(files(), (std::set<std::string>{"story.json", "out.json", "ops.txt"}));
}

TEST_F(ToolFiles, EditInputErrors) {
    const ToolRun malformed = run("edit - --op 'remove a'", "{\"segments\": {\"a\": }}");
    EXPECT_EQ(malformed.status, 2);
    EXPECT_TRUE(has(malformed, "<stdin>:1:")) << malformed.output;

    const ToolRun missing = run("edit " + path("absent.json") + " --op 'remove a'");
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(has(missing, "absent.json")) << missing.output;

    // A segment that is not an object is no segment to edit.
    const ToolRun wrongKind = run("edit - --op 'remove a'", R"({"segments": {"a": 5}})");
    EXPECT_EQ(wrongKind.status, 2);
    EXPECT_TRUE(has(wrongKind, "Cannot find segment a")) << wrongKind.output;

    EXPECT_TRUE(has(run("edit --in-place --op 'remove intro'"), "--in-place needs a FILE"));
    EXPECT_EQ(run("edit --in-place " + copyOfStory() + " -o " + path("x.json")).status, 2);
    EXPECT_TRUE(has(run("edit - --ops -", "{}"), "cannot both come from standard input"));
    EXPECT_EQ(run("edit --ops " + path("no-ops.txt")).status, 2);
    const ToolRun noDirectory = run("edit -o " + path("no/such/dir/out.json"));
    EXPECT_EQ(noDirectory.status, 2);
    EXPECT_TRUE(has(noDirectory, "cannot create a temporary file")) << noDirectory.output;
    EXPECT_EQ(files(), (std::set<std::string>{"story.json"}));
}

// ---- compose ----

TEST_F(ToolFiles, ComposeOneClip) {
    const ToolRun clip = run("compose --viewable 81 --start 10 --end 20");
    ASSERT_EQ(clip.status, 0) << clip.output;
    const Value out = playgraph::parseJson(clip.output);
    EXPECT_EQ(at(out, {"initialSegment"}).text(), "video");
    EXPECT_EQ(out.dictionary()->keys(), (std::vector<std::string>{"initialSegment", "segments"}));
    const Value video = at(out, {"segments", "video"});
    EXPECT_EQ(at(video, {"viewableId"}).integerReading(), 81);
    EXPECT_EQ(at(video, {"main"}).integerReading(), 81);
    EXPECT_TRUE(at(video, {"startTimeMs"}).isDouble());
    EXPECT_EQ(at(video, {"startTimeMs"}).doubleReading(), 10000.0);
    EXPECT_EQ(at(video, {"endTimeMs"}).doubleReading(), 20000.0);

    const ToolRun named =
        run("compose --viewable 7 --name opening --start 1.5 -o " + path("clip.json"));
    ASSERT_EQ(named.status, 0) << named.output;
    EXPECT_EQ(named.output, "");
    const ToolRun info = run("info " + path("clip.json"));
    EXPECT_TRUE(has(info, "initial segment   opening")) << info.output;
    EXPECT_TRUE(has(info, "main viewable id  7"));
    // End 0 makes a clip that plays to the end of its viewable.
    EXPECT_TRUE(has(squeezed(run("path " + path("clip.json"))), "opening 7 1.500 ? ?"));
}

TEST_F(ToolFiles, ComposeConvertsAPlaygraph) {
    const std::string source = write("graph.json", R"({
        "playgraphId": "p", "type": "branching", "initialSegment": "a",
        "annotations": {"series": "s1"},
        "segments": {
          "a": {"viewableId": 5, "startTimeMs": 0, "endTimeMs": 1000, "defaultNext": "b",
                "next": {"b": {"weight": 70, "skipRegionOffset": 250}}},
          "b": {"viewableId": 5, "startTimeMs": 1000},
          "orphan": {"viewableId": 6, "startTimeMs": 0, "endTimeMs": 10}}})");
    const ToolRun converted = run("compose --from-playgraph " + source + " --main-viewable 9");
    ASSERT_EQ(converted.status, 0) << converted.output;
    const Value out = playgraph::parseJson(converted.output);
    EXPECT_TRUE(at(out, {"playgraphId"}).isNone());
    EXPECT_EQ(at(out, {"initialSegment"}).text(), "a");
    EXPECT_EQ(at(out, {"type"}).text(), "branching");
    EXPECT_EQ(at(out, {"annotations", "series"}).text(), "s1");
    EXPECT_EQ(at(out, {"segments"}).dictionary()->size(), 2u); // the orphan is unreachable
    EXPECT_EQ(at(out, {"segments", "a", "main"}).integerReading(), 9);
    EXPECT_EQ(at(out, {"segments", "b", "main"}).integerReading(), 9);
    EXPECT_EQ(at(out, {"segments", "a", "endTimeMs"}).doubleReading(), 1000.0);
    EXPECT_EQ(at(out, {"segments", "a", "next", "b", "weight"}).integerReading(), 70);
    EXPECT_EQ(at(out, {"segments", "a", "next", "b", "skipRegionOffset"}).integerReading(), 250);
    // b plays to its viewable's end, whose length is unknown: no end is written.
    EXPECT_TRUE(at(out, {"segments", "b", "endTimeMs"}).isNone());

    // Without --main-viewable the playgraph's own main viewable (none here).
    const ToolRun own = run("compose --from-playgraph -", R"({"initialSegment": "x",
        "segments": {"x": {"viewableId": 3, "main": 4, "startTimeMs": 0, "endTimeMs": 5}}})");
    ASSERT_EQ(own.status, 0) << own.output;
    EXPECT_EQ(at(playgraph::parseJson(own.output), {"segments", "x", "main"}).integerReading(), 4);
}

TEST_F(ToolFiles, ComposeRefusesBadArguments) {
    EXPECT_EQ(run("compose").status, 2);
    EXPECT_EQ(run("compose --viewable eighty").status, 2);
    EXPECT_EQ(run("compose --viewable 1 --start soon").status, 2);
    EXPECT_TRUE(has(run("compose --viewable 1 --end inf"), "must be finite"));
    EXPECT_EQ(run("compose --viewable 1 --from-playgraph " + example("story.json")).status, 2);
    EXPECT_EQ(run("compose --main-viewable 1").status, 2); // needs --from-playgraph
    EXPECT_EQ(
        run("compose --from-playgraph " + example("story.json") + " --main-viewable x").status, 2);
    const ToolRun missing = run("compose --from-playgraph " + path("absent.json"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_TRUE(has(missing, "absent.json"));
    const ToolRun malformed = run("compose --from-playgraph -", "{\"segments\": [1,}");
    EXPECT_EQ(malformed.status, 2);
    EXPECT_TRUE(has(malformed, "<stdin>:1:")) << malformed.output;
    EXPECT_TRUE(files().empty());
}
