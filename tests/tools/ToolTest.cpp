// Runs the built playgraph tool for every subcommand and checks its output
// and exit status.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "playgraph/diff/Diff.hpp"
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

// One run of the tool: its arguments and standard input, the status it
// must end with and a text its output must hold.
struct Case {
    std::string arguments, input;
    int status;
    std::string expected;
};

// Runs each case; no output may carry a raw escape character.
void expectRuns(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const ToolRun r = run(c.arguments, c.input);
        EXPECT_EQ(r.status, c.status) << c.arguments << "\n" << r.output;
        EXPECT_TRUE(has(r, c.expected)) << c.arguments << "\n" << r.output;
        EXPECT_EQ(r.output.find('\x1b'), std::string::npos) << r.output;
    }
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

TEST(Tool, CheckReportsEachFindingWithItsKey) {
    const ToolRun check = run("check -", R"({"initialSegment": "a", "segments": {
        "a": {"viewableId": 1, "startTimeMs": "5", "endTimeMs": 0, "defaultNext": "b",
              "next": {"zz": {"weight": "heavy"}, "b": 7}},
        "b": {"viewableId": 1, "startTimeMs": 500, "endTimeMs": 2000, "defaultNext": "a"},
        "c": {"viewableId": 2, "startTimeMs": 0, "endTimeMs": 10, "endTimeMs": 12},
        "d": {"viewableId": 2, "startTimeMs": 5, "endTimeMs": 20},
        "e": {"startTimeMs": 1e300, "endTimeMs": 2e300, "defaultNext": "nowhere"},
        "f": {"viewableId": "x", "startTimeMs": -3}}})");
    EXPECT_EQ(check.status, 1) << check.output;
    for (const char* expected : {
             "segments.a.startTimeMs: expected a finite number, found a string \"5\"",
             "segments.a.next.b: expected an object, found an integer",
             "segments.c: unreachable from the initial segment \"a\"",
             "segments.b.defaultNext: the default path loops back to \"a\"",
             "segments.d: overlaps segment \"c\" in viewable 2",
             // a plays to the end of viewable 1 from 0, so b (from 0.5) lies within it.
             "segments.b: overlaps segment \"a\" in viewable 1",
             "line 5, column 67: key \"endTimeMs\" repeats in its object",
             "segments.f.startTimeMs: negative start -3 ms",
             // The file's own values, not the clamped ones.
             "segments.e.startTimeMs: 1e+300 ms is beyond the whole milliseconds",
             "segments.e.endTimeMs: end 2e+300 ms is not after start 1e+300 ms",
         }) {
        EXPECT_TRUE(has(check, expected)) << expected << "\n" << check.output;
    }
    // A viewable id of the wrong kind is one finding, not also a missing one.
    EXPECT_EQ(check.output.find("segments.f.viewableId"),
              check.output.rfind("segments.f.viewableId"));

    // 30 segments with one start: each overlaps the first, 20 are printed.
    std::string same = R"({"initialSegment": "s0", "segments": {)";
    for (int i = 0; i < 30; ++i)
        same += (i ? "," : "") + ("\"s" + std::to_string(i)) +
                R"(": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 10})";
    const ToolRun many = run("check -", same + "}}");
    EXPECT_TRUE(has(many, "... and 9 more findings of the kind 'overlap'")) << many.output;
    EXPECT_TRUE(has(many, "\n58 findings\n")); // 29 overlaps, 29 unreachable
}

TEST(Tool, ArgumentsAndInputsAreCheckedAndOutputIsEscaped) {
    std::string chain = R"({"initialSegment": "s0", "segments": {)";
    for (int i = 0; i < 40; ++i)
        chain += (i ? "," : "") + ("\"s" + std::to_string(i)) + R"(": {"defaultNext": "s)" +
                 std::to_string(i + 1) + "\"}";
    const std::string hostile = R"({"initialSegment": "\u001b[31mred\nline", "segments": {
        "\u001b[31mred\nline": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 1000}}})";
    const std::string dot = R"({"initialSegment": "a", "segments": {
        "a": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 1000, "defaultNext": "b",
              "next": {"b": {"weight": 70}, "ghost": {"weight": 30, "transitionType": "immediate"}}},
        "b": {"viewableId": 1, "startTimeMs": 1000, "annotations": {"decorative": true}}}})";
    // b plays to its viewable's end, whose length is unknown: no end is written.
    const std::string toConvert = R"({"initialSegment": "a", "segments": {
          "a": {"viewableId": 5, "startTimeMs": 0, "endTimeMs": 1000, "defaultNext": "b"},
          "b": {"viewableId": 5, "startTimeMs": 1000},
          "orphan": {"viewableId": 6, "startTimeMs": 0, "endTimeMs": 10}}})";
    expectRuns({
        {"info -", "{\n  \"segments\": {\n    \"a\": [1,\n", 2, "<stdin>:4:1:"},
        {"path /nonexistent/playgraph.json", "", 2,
         "/nonexistent/playgraph.json: cannot open: No such file or directory"},
        {"edit --op 'remove a' /nonexistent/playgraph.json", "", 2, "/nonexistent/"},
        {"compose --from-playgraph /nonexistent/playgraph.json", "", 2, "/nonexistent/"},
        {"edit - --op 'remove a'", "{\"segments\": {\"a\": }}", 2, "<stdin>:1:"},
        {"compose --from-playgraph -", "{\"segments\": [1,}", 2, "<stdin>:1:"},
        // A segment that is not an object is no segment to edit.
        {"edit - --op 'remove a'", R"({"segments": {"a": 5}})", 2, "Cannot find segment a"},
        {"edit --ops /nonexistent/ops", "", 2, "operations file: No such file"},
        {"check ''", "", 2, "playgraph: file: an empty name names no file"},
        {"compose --from-playgraph ''", "", 2, "an empty name"},
        {"frobnicate", "", 2, "playgraph: unknown subcommand 'frobnicate'"},
        {"walk --max-depth 0", "", 2, "--max-depth: must be a whole number from 1 to"},
        {"compose --viewable 99999999999999999999", "", 2, "whole number from"},
        {"compose --viewable 1 --end inf", "", 2, "--end: must be a finite number"},
        {"at 1e308", "", 2, "seconds from 0 to 9223372036854775, not '1e308'"},
        {"map credits -1", "", 2, "seconds from 0"},
        {"edit --op 'split intro 100 a b'", "", 2,
         "OFFSET 100.000 s is not inside segment intro of 12.000 s"},
        {"edit --op 'insert-after intro x 1 -2 1'", "", 2, "START must be a finite number"},
        {"--version", "", 0, "playgraph "},
        // The read-only subcommands on the bundled story: 12 + 19.5 + 5 + 9 s; the
        // decorative recap does not move the offset of the credits.
        {"info", "", 0, "45.500 s"},
        {"path", "", 0,
         "credits                83      0.000      9.000      9.000     31.500  no"},
        {"at 14.5", "", 0, "segment vault, viewable 81, viewable time 14.500 s"},
        {"at 1000", "", 1, ""},
        {"map credits 2", "", 0, "playgraph time 38.500 s"},
        {"map rooftop 3", "", 1, ""}, // off the default path
        {"walk --max-depth 2", "", 0, "intro  depth 1\n  vault  depth 2\n  rooftop  depth 2\n"},
        {"check " + example("story.json"), "", 0, ""},
        {"dot -", dot, 0, R"("a" -> "b" [label="w 70", penwidth="2.5", color="#0969da"])"},
        {"dot -", dot, 0,
         R"("ghost" [label="ghost\nnames no segment", style="rounded,dashed", color="#cf222e"])"},
        {"compose --viewable 81 --start 10 --end 20", "", 0, "\"endTimeMs\": 20000.0"},
        {"compose --from-playgraph - --main-viewable 9", toConvert, 0,
         "\"b\": {\n      \"viewableId\": 5,\n      \"main\": 9,\n      \"startTimeMs\": "
         "1000.0\n    }\n  }"},
        {"info -", "\xEF\xBB\xBF{}", 0, "segments          0"},
        {"compose --viewable 7 -o /proc/self/fd/1", "", 0, "\"main\": 7"},
        {"walk -", chain + "}}", 0, "\n" + std::string(32, ' ') + "s39  depth 40\n"},
        {"walk -", hostile, 0, "\\x1b[31mred\\nline  depth 1"},
        {"check -", R"({"segments": {"\u009b": 1}})", 1, "segments.\\u009b: expected"},
    });
}

// ---- edit ----

// The README's table of operations is the one `edit --help` prints: the
// same operations, in the same order, with the same words.
TEST(Tool, TheReadmeListsTheOperationsOfEditHelp) {
    const ToolRun help = run("edit --help");
    ASSERT_EQ(help.status, 0);
    std::istringstream helpLines(help.output.substr(help.output.find("\nOperations") + 1));
    std::string line;
    std::getline(helpLines, line);
    std::vector<std::string> fromHelp; // "| `SYNTAX` | HELP |"
    while (std::getline(helpLines, line) && line.rfind("  ", 0) == 0) {
        if (line.rfind("      ", 0) != 0) {
            fromHelp.push_back("| `" + line.substr(2) + "` |");
        } else {
            fromHelp.back() += " " + line.substr(6);
        }
    }
    std::ifstream readme(std::string(PLAYGRAPH_EXAMPLES) + "/../README.md");
    std::vector<std::string> fromReadme;
    while (std::getline(readme, line) && line != "| operation | what it does |") {
    }
    std::getline(readme, line); // |---|---|
    while (std::getline(readme, line) && !line.empty())
        fromReadme.push_back(line.substr(0, line.size() - 2)); // without " |"
    EXPECT_EQ(fromReadme, fromHelp);
    EXPECT_EQ(fromHelp.size(), 11u);
}

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
    const std::string ops = write("ops.txt", "\xEF\xBB\xBF# add a side branch\n"
                                             "\n"
                                             "  insert-after intro \"side door\" 81 1 2 default  \n"
                                             "update intro \"side door\" {\"weight\": 9}\n");
    const ToolRun edit = run("edit --in-place " + story + " --ops " + ops);
    ASSERT_EQ(edit.status, 0) << edit.output;
    EXPECT_EQ(edit.output, "playgraph: warning: op 1 (" + ops +
                               " line 3) 'insert-after intro \"side door\" 81 1 2 default': takes "
                               "vault, recap, credits off the default path, which now ends at side "
                               "door\n");
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
             {"split intro soon a b", "OFFSET must be a finite number of seconds from 0 to "
                                      "9223372036854775, not 'soon'"},
             {"insert-after intro x eighty 0 1", "VIEWABLE must be a whole number from"},
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

TEST_F(ToolFiles, EditWarnsAboutWhatItLeavesBehindAndStrictRefuses) {
    const std::string story = copyOfStory();
    const std::string before = read("story.json");
    const std::string ops = " --op 'remove recap' --op 'split vault 2 vault vault-b'"
                            " --op 'split credits 1 c1 c2' --op 'remove intro'";
    // recap is named by vault and rooftop only as "defaultNext".
    const ToolRun strict = run("edit --strict --in-place " + story + ops);
    EXPECT_EQ(strict.status, 2) << strict.output;
    EXPECT_TRUE(has(strict, "op 1 'remove recap': segments.rooftop.defaultNext names missing "
                            "segment recap"))
        << strict.output;
    EXPECT_EQ(read("story.json"), before);

    write("story.json", R"({"initialSegment": "intro", "type": "branching", "segments": {
        "intro": {"main": 81, "startTimeMs": 0, "endTimeMs": 9000, "defaultNext": "ad"},
        "ad": {"startTimeMs": 9000, "endTimeMs": 20000, "annotations": {"adBreak": 1}}}})");
    const ToolRun edit =
        run("edit --in-place " + story + " --op 'split ad 4 ad ad-b' --op 'remove intro'");
    ASSERT_EQ(edit.status, 0) << edit.output;
    EXPECT_EQ(edit.output, "playgraph: warning: op 1 'split ad 4 ad ad-b': half ad-b did not "
                           "get the annotations \"adBreak\" of ad\n");
    // The default viewable id came from intro's "main": it stays with the file.
    const Value out = playgraph::readJsonFile(story);
    EXPECT_EQ(at(out, {"segments", "ad", "main"}).integerReading(), 81);
}

TEST_F(ToolFiles, OutputFollowsLinksWritesIntoFifosAndKeepsTheOwner) {
    const std::string story = copyOfStory();
    std::filesystem::create_symlink("story.json", path("link.json"));
    ASSERT_EQ(run("edit --in-place " + path("link.json") + " --op 'remove rooftop'").status, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(path("link.json")));
    EXPECT_TRUE(at(playgraph::readJsonFile(story), {"segments", "rooftop"}).isNone());

    // A reader that does not block, so that a replaced FIFO fails rather than hangs.
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    const int fifo = open(path("fifo").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_EQ(run("compose --viewable 5 -o " + path("fifo")).status, 0);
    std::array<char, 4096> buffer{};
    const ssize_t n = ::read(fifo, buffer.data(), buffer.size());
    close(fifo);
    EXPECT_NE(std::string(buffer.data(), n > 0 ? std::size_t(n) : 0).find("\"main\": 5"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::is_fifo(path("fifo")));

    if (geteuid() != 0) GTEST_SKIP() << "keeping another user's ownership needs root";
    ASSERT_EQ(chown(story.c_str(), 4242, 4343), 0);
    ASSERT_EQ(run("edit --in-place " + story + " --op 'remove vault'").status, 0);
    struct stat info {};
    ASSERT_EQ(stat(story.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4242u);
    EXPECT_EQ(info.st_gid, 4343u);
}

// ---- what a person types: refused, flagged or said, never silently taken ----

TEST_F(ToolFiles, AReadOnlyFileIsReplacedOnlyWithForce) {
    const std::string story = copyOfStory();
    const std::string before = read("story.json");
    const std::string target = write("out.json", "keep me\n");
    for (const std::string& file : {story, target})
        ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    for (const std::string& arguments : {
             "edit --in-place " + story + " --op 'remove rooftop'",
             "edit " + story + " -o " + target + " --op 'remove rooftop'",
             "compose --viewable 5 -o " + target,
         }) {
        const ToolRun refused = run(arguments);
        EXPECT_EQ(refused.status, 2) << arguments;
        EXPECT_TRUE(has(refused, "the file is read-only, so it is left as it was (--force "
                                 "replaces it)"))
            << refused.output;
    }
    EXPECT_EQ(read("story.json"), before);
    EXPECT_EQ(read("out.json"), "keep me\n");
    EXPECT_EQ(files(), (std::set<std::string>{"story.json", "out.json"}));

    ASSERT_EQ(run("compose --viewable 5 --force -o " + target).status, 0);
    EXPECT_EQ(at(playgraph::readJsonFile(target), {"segments", "video", "main"}).integerReading(),
              5);
    EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                  std::filesystem::perms::others_read);
}

TEST_F(ToolFiles, EditSaysWhatLeavesTheDefaultPathAndInsertsBetween) {
    const std::string story = copyOfStory();
    const std::string before = read("story.json");
    struct OpCase {
        std::string op, warning;
    };
    for (const OpCase& c : std::vector<OpCase>{
             // recap reaches credits by "defaultNext" only: bumper is reached by nothing.
             {"insert-before credits bumper 90 0 5",
              "op 1 'insert-before credits bumper 90 0 5': leaves bumper unreachable from the "
              "initial segment"},
             {"insert-after vault heist 81 50 60 default",
              "takes recap, credits off the default path, which now ends at heist"},
             // vault and rooftop name recap by "defaultNext" only.
             {"remove recap", "takes credits off the default path, which now ends at vault"},
             {"set-default intro rooftop", ""},
             {"insert-between vault heist 81 50 60", ""},
         }) {
        const ToolRun edit =
            run("edit " + story + " -o " + path("out.json") + " --op " + quote(c.op));
        EXPECT_EQ(edit.status, 0) << edit.output;
        if (c.warning.empty()) {
            EXPECT_EQ(edit.output, "") << c.op;
        } else {
            EXPECT_TRUE(has(edit, "playgraph: warning: ")) << edit.output;
            EXPECT_TRUE(has(edit, c.warning)) << edit.output;
            const ToolRun strict =
                run("edit --strict --in-place " + story + " --op " + quote(c.op));
            EXPECT_EQ(strict.status, 2) << strict.output;
            EXPECT_TRUE(has(strict, " warning(s) under --strict; nothing written"))
                << strict.output;
        }
    }
    EXPECT_EQ(read("story.json"), before);
    // The last edit: heist plays between vault and recap.
    const ToolRun path = run("path " + this->path("out.json"));
    EXPECT_TRUE(has(path, "    1  vault") && has(path, "    2  heist") &&
                has(path, "    3  recap") && has(path, "    4  credits"))
        << path.output;
}

TEST(Tool, RefusesOrFlagsWhatItUsedToTakeSilently) {
    const std::string times = R"({"initialSegment": "a", "segments": {
        "a": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 1999.9, "defaultNext": "b"},
        "b": {"viewableId": 2, "startTimeMs": 0, "defaultNext": "c"},
        "c": {"viewableId": 3, "startTimeMs": 0, "endTimeMs": 10, "defaultNext": "zz"}}})";
    const std::string hours = R"({"initialSegment": "été", "segments": {
        "été": {"viewableId": 1, "startTimeMs": 0, "endTimeMs": 3660036, "defaultNext": "影片"},
        "影片": {"viewableId": 1, "startTimeMs": 3660036, "endTimeMs": 3661036}}})";
    const std::string named = R"({"playgraphId": "kept", "initialSegment": "a", "segments": {
        "a": {"viewableId": 5, "startTimeMs": 0, "endTimeMs": 1000}}})";
    expectRuns({
        // In file order: a's fraction, then b playing to its end mid-path, then c.
        {"check -", times, 1,
         "<stdin>: segments.a.endTimeMs: 1999.9 ms is not a whole number of milliseconds; "
         "the loader reads 1999\n<stdin>: segments.b: plays to the end of its viewable in "
         "the middle of the default path: the offsets after it count it as 0 s until its "
         "length is known\n<stdin>: segments.c.defaultNext: names no segment \"zz\"\n"},
        // The number stays on standard output for scripts.
        {"map credits 100", "", 1,
         "playgraph time 136.500 s\nplaygraph: viewable time 100.000 s lies outside "
         "segment credits, which plays 0.000 to 9.000 s\n"},
        {"map vault 70", "", 1, "lies outside segment vault, which plays 12.000 to 31.500 s"},
        {"map vault 31.5", "", 0, "playgraph time 31.500 s\n"},
        {"map nowhere 1", "", 2, "playgraph: Cannot find segment nowhere"},
        {"compose --viewable 81 --start 20 --end 10", "", 2,
         "--end 10.000 s is not after --start 20.000 s"},
        {"compose --viewable 81 --start 1.0005", "", 2,
         "--start 1.000500 s is not a whole number of milliseconds"},
        {"compose --viewable 81 --start 1.001 --end 2", "", 0, "\"startTimeMs\": 1001.0"},
        {"compose --from-playgraph -", named, 0, "{\n  \"playgraphId\": \"kept\",\n"},
        // One reading of a time, as on the serve page.
        {"at 1:00.5 -", hours, 0, "segment été, viewable 1, viewable time 60.500 s"},
        {"at 1:01:00.500 -", hours, 0, "segment 影片, viewable 1, viewable time 3660.500 s"},
        {"at 1e1", "", 0, "segment intro, viewable 81, viewable time 10.000 s"},
        {"at 0x10", "", 2, "not '0x10'"},
        {"at 1:60", "", 2, "not '1:60'"},
        {"at abc", "", 2,
         "must be a finite number of seconds from 0 to 9223372036854775, "
         "not 'abc' (a clock time m:ss.mmm or h:mm:ss.mmm reads too)"},
        {"path -", hours, 0,
         "    0  été                     1      0.000   3660.036   3660.036      0.000  no\n"
         "    1  影片                    1   3660.036   3661.036      1.000   3660.036  no\n"
         "duration 3661.036 s (1:01:01.036)\n"},
    });
}

// ---- diff, merge, fmt ----

TEST_F(ToolFiles, DiffListsChangesByIdWithTheStatusOfDiff) {
    const std::string story = copyOfStory();
    const std::string edited = path("edited.json");
    ASSERT_EQ(run("edit " + story + " -o " + edited +
                  " --op 'update intro rooftop {\"weight\": 10}' --op 'remove recap'")
                  .status,
              0);
    const ToolRun same = run("diff " + story + " " + story);
    EXPECT_EQ(same.status, 0) << same.output;
    EXPECT_EQ(same.output, "0 changes\n");

    const ToolRun changed = run("diff " + story + " " + edited);
    EXPECT_EQ(changed.status, 1) << changed.output;
    for (const char* line : {
             "re-weighted  segments.intro.next.rooftop.weight: 30 -> 10\n",
             "segment removed  segments.recap: {\"startTimeMs\":31500,",
             "\"annotations\":{\"decorative\":true}} -> (absent)\n2 changes\n",
         })
        EXPECT_TRUE(has(changed, line)) << line << "\n" << changed.output;

    // The JSON list turns the first file into the second.
    const ToolRun json = run("diff --json - " + edited, read("story.json"));
    ASSERT_EQ(json.status, 1) << json.output;
    const Value changes = playgraph::parseJson(json.output);
    EXPECT_EQ(playgraph::apply(playgraph::readJsonFile(story),
                               playgraph::PlaygraphDiff::fromValue(changes)),
              playgraph::readJsonFile(edited));
}

TEST_F(ToolFiles, MergeCombinesTwoLinesOfWorkAndListsConflicts) {
    const std::string base = copyOfStory();
    const std::string ours = path("ours.json"), theirs = path("theirs.json");
    ASSERT_EQ(run("edit " + base + " -o " + ours + " --op 'skip intro vault 2.5 1'").status, 0);
    ASSERT_EQ(run("edit " + base + " -o " + theirs + " --op 'remove rooftop'").status, 0);
    const ToolRun clean =
        run("merge " + base + " " + ours + " " + theirs + " -o " + path("merged.json"));
    EXPECT_EQ(clean.status, 0) << clean.output;
    EXPECT_EQ(clean.output, "");
    const Value merged = playgraph::readJsonFile(path("merged.json"));
    EXPECT_EQ(
        at(merged, {"segments", "intro", "next", "vault", "skipRegionOffset"}).doubleReading(),
        2500.0);
    EXPECT_TRUE(at(merged, {"segments", "rooftop"}).isNone());

    // Both re-weight one transition; theirs also retimes the credits.
    ASSERT_EQ(run("edit --in-place " + ours + " --op 'update intro vault {\"weight\": 1}'").status,
              0);
    ASSERT_EQ(run("edit --in-place " + theirs + " --op 'update intro vault {\"weight\": 2}'" +
                  " --op 'split credits 4 credits credits-b'")
                  .status,
              0);
    const ToolRun conflict =
        run("merge --canonical " + base + " " + ours + " " + theirs + " -o " + path("merged.json"));
    EXPECT_EQ(conflict.status, 1) << conflict.output;
    EXPECT_TRUE(has(conflict, "playgraph: conflict at segments.intro.next.vault.weight: both "
                              "changed segments.intro.next.vault.weight"))
        << conflict.output;
    EXPECT_TRUE(has(conflict, "; base 70, ours 1, theirs 2; kept ours\n")) << conflict.output;
    EXPECT_TRUE(has(conflict, "playgraph: 1 conflict; ")) << conflict.output;
    const Value kept = playgraph::readJsonFile(path("merged.json"));
    EXPECT_EQ(at(kept, {"segments", "intro", "next", "vault", "weight"}).integerReading(), 1);
    EXPECT_FALSE(at(kept, {"segments", "credits-b"}).isNone()); // theirs' split is taken
    EXPECT_EQ(run("fmt --check " + path("merged.json")).status, 0);
}

TEST_F(ToolFiles, FmtWritesTheCanonicalFormAndChecksIt) {
    const std::string story = copyOfStory();
    const std::string before = read("story.json");
    const ToolRun check = run("fmt --check " + story);
    EXPECT_EQ(check.status, 1);
    EXPECT_TRUE(has(check, "story.json: not in canonical form")) << check.output;
    EXPECT_EQ(read("story.json"), before);

    const ToolRun out = run("fmt " + story);
    ASSERT_EQ(out.status, 0) << out.output;
    EXPECT_EQ(out.output.rfind("{\n  \"initialSegment\": \"intro\",\n  \"playgraphId\"", 0), 0u)
        << out.output;
    EXPECT_TRUE(has(out, "\n        \"rooftop\": {\"transitionType\": \"immediate\", \"weight\": "
                         "30},\n"))
        << out.output;
    ASSERT_EQ(run("fmt --in-place " + story).status, 0);
    EXPECT_EQ(read("story.json"), out.output);
    EXPECT_EQ(run("fmt --check " + story).status, 0);
    EXPECT_EQ(run("fmt - -o " + path("again.json"), out.output).status, 0);
    EXPECT_EQ(read("again.json"), out.output);
    EXPECT_EQ(run("diff " + story + " " + example("story.json")).status, 0); // same meaning
}

TEST_F(ToolFiles, DiffMergeAndFmtRefuseWhatIsNoPlaygraphAndWriteNothing) {
    const std::string story = copyOfStory();
    const std::string out = write("out.json", "keep me\n");
    const std::string notGraph = write("list.json", "{\"name\": \"not a story\"}");
    const std::string broken = write("broken.json", "{\"segments\": {");
    std::filesystem::create_directory(path("dir"));
    for (const auto& [arguments, message] : std::vector<std::pair<std::string, std::string>>{
             {"diff " + story + " " + notGraph, "list.json: not a playgraph: it has no "
                                                "\"segments\" object"},
             {"diff " + path("dir") + " " + story, "dir: is a directory, not a file"},
             {"diff " + story + " /nonexistent/x.json", "/nonexistent/x.json: cannot open"},
             {"diff - -", "only one of the two playgraphs can come from standard input"},
             {"merge " + story + " " + story + " " + broken + " -o " + out, "broken.json:1:"},
             {"merge " + story + " " + notGraph + " " + story + " -o " + out, "not a playgraph"},
             {"fmt --in-place " + broken, "broken.json:1:"},
             {"fmt --check -o " + out + " " + story, "--check writes nothing"},
             {"fmt", "file is required"},
             {"export-player " + story, "--output is required"},
             {"export-player " + story + " -o " + out, "out.json: exists and is not a folder"},
         }) {
        const ToolRun r = run(arguments);
        EXPECT_EQ(r.status, 2) << arguments << "\n" << r.output;
        EXPECT_TRUE(has(r, message)) << arguments << "\n" << r.output;
    }
    EXPECT_EQ(read("out.json"), "keep me\n");
    EXPECT_EQ(read("broken.json"), "{\"segments\": {");
    EXPECT_EQ(files(),
              (std::set<std::string>{"story.json", "out.json", "list.json", "broken.json", "dir"}));
}

// The README's lines make git merge two branches' edits of one story by id,
// where a line merge would conflict: they change adjacent lines of intro.
TEST_F(ToolFiles, GitMergesStoriesWithTheToolAsItsDriver) {
    if (std::system("git --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no git";
    const std::string repo = path("repo");
    std::filesystem::create_directory(repo);
    const std::string git = "git -C " + repo + " ";
    const std::string story = repo + "/story.playgraph.json";
    std::ofstream(repo + "/.gitattributes") << "*.playgraph.json diff=playgraph merge=playgraph\n";
    const std::string setup =
        git + "init -q -b main && " + git + "config user.email t@example.com && " + git +
        "config user.name t && " + git + "config merge.playgraph.driver " +
        quote(std::string(PLAYGRAPH_TOOL) + " merge %O %A %B -o %A --canonical") + " && " + git +
        "config diff.playgraph.textconv " + quote(std::string(PLAYGRAPH_TOOL) + " fmt");
    ASSERT_EQ(std::system(setup.c_str()), 0);
    ASSERT_EQ(run("fmt " + example("story.json") + " -o " + story).status, 0);
    const auto edit = [&](const std::string& op) {
        return run("edit --in-place " + story + " --op " + quote(op)).status == 0 &&
               run("fmt --in-place " + story).status == 0;
    };
    const std::string commit = git + "add -A && " + git + "commit -q -m step";
    ASSERT_EQ(std::system(commit.c_str()), 0);
    ASSERT_EQ(std::system((git + "checkout -q -b side").c_str()), 0);
    ASSERT_TRUE(edit("update intro rooftop {\"weight\": 5}"));
    ASSERT_EQ(std::system(commit.c_str()), 0);
    ASSERT_EQ(std::system((git + "checkout -q main").c_str()), 0);
    // Main keeps its file pretty, as `edit` writes it.
    ASSERT_EQ(
        run("edit --in-place " + story + " --op 'update intro vault {\"weight\": 95}'").status, 0);
    ASSERT_EQ(std::system(commit.c_str()), 0);
    ASSERT_EQ(std::system((git + "merge -q --no-edit side > /dev/null 2>&1").c_str()), 0);
    const Value merged = playgraph::readJsonFile(story);
    EXPECT_EQ(at(merged, {"segments", "intro", "next", "rooftop", "weight"}).integerReading(), 5);
    EXPECT_EQ(at(merged, {"segments", "intro", "next", "vault", "weight"}).integerReading(), 95);
    EXPECT_EQ(run("fmt --check " + story).status, 0);
    // git diff compares the canonical forms: the pretty file before the
    // merge and the canonical one after differ by one line.
    ASSERT_EQ(std::system((git + "diff HEAD~1 > " + path("diff.txt")).c_str()), 0);
    std::istringstream lines(read("diff.txt"));
    int changed = 0;
    for (std::string line; std::getline(lines, line);)
        changed +=
            (line[0] == '+' || line[0] == '-') && line.rfind("+++", 0) && line.rfind("---", 0);
    EXPECT_EQ(changed, 2) << read("diff.txt");
    EXPECT_NE(
        read("diff.txt")
            .find("+        \"rooftop\": {\"transitionType\": \"immediate\", \"weight\": 5},"),
        std::string::npos)
        << read("diff.txt");
}

// `playgraph simulate`: a told run, choices given, many runs drawn by weight.
TEST(Simulate, TellsDecisionsFollowsChoicesAndSumsUpRandomRuns) {
    const std::string story = example("story.json");
    ToolRun r = run("simulate " + story);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r, "decision: window 7.000-12.000 s, deadline 10.000 s")) << r.output;
    EXPECT_TRUE(has(r, "way on rooftop  weight 30  probability 0.300"));
    EXPECT_TRUE(has(r, "default: vault"));
    EXPECT_TRUE(has(r, "ended at 45.500 s"));

    r = run("simulate " + story + " --choose intro=rooftop --json");
    ASSERT_EQ(r.status, 0) << r.output;
    const Value told = playgraph::parseJson(r.output);
    const Value steps = told.dictionary()->get("steps");
    ASSERT_EQ(steps.list()->size(), 4u);
    EXPECT_EQ((*steps.list())[1].dictionary()->get("segment").text(), "rooftop");
    EXPECT_TRUE(told.dictionary()->get("ended").booleanReading());

    r = run("simulate " + story + " --choose intro=credits");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(has(r, "--choose intro=credits: credits is not a way on from intro")) << r.output;
    EXPECT_EQ(run("simulate " + story + " --runs 3").status, 2);
    EXPECT_EQ(run("simulate " + story + " --choose intro").status, 2);

    r = run("simulate " + story + " --random --runs 4000 --seed 7 --json");
    ASSERT_EQ(r.status, 0) << r.output;
    const Value summary = playgraph::parseJson(r.output);
    const auto runsOf = [&](const char* id) {
        const Value entry = summary.dictionary()->get("segments").dictionary()->get(id);
        return entry.dictionary() ? entry.dictionary()->get("runs").doubleReading() : 0.0;
    };
    EXPECT_EQ(runsOf("intro"), 4000);
    EXPECT_EQ(runsOf("vault") + runsOf("rooftop"), 4000);
    EXPECT_NEAR(runsOf("vault") / 4000, 0.7, 0.05);
    EXPECT_EQ(run("simulate " + story + " --random --runs 4000 --seed 7 --json").output, r.output);

    // a -> b -> a for ever, and c never reached.
    r = run("simulate --random --runs 3 --time-limit 50 -",
            R"({"initialSegment":"a","segments":{)"
            R"("a":{"viewableId":1,"startTimeMs":0,"endTimeMs":1000,"defaultNext":"b"},)"
            R"("b":{"viewableId":1,"startTimeMs":0,"endTimeMs":1000,"defaultNext":"a"},)"
            R"("c":{"viewableId":1,"startTimeMs":0,"endTimeMs":1000}}})");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(has(r, "0 ended, 3 did not end within 50.000 s")) << r.output;
    EXPECT_TRUE(has(r, "never reached: \n  c")) << r.output;
}
