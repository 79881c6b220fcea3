#pragma once

// Shared parts of the playgraph command-line tool: exit statuses, the input
// options every subcommand takes, argument checks, loading, writing results,
// and text formatting. Each subcommand lives in its own file and is
// registered in main.cpp.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include <CLI/CLI.hpp>

#include "FrontEnd.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"
#include "playgraph/model/Playgraph.hpp"

namespace playgraph::tool {

/// Exit statuses of the tool.
enum ExitStatus : int {
    exitOk = 0,
    exitFindings = 1, ///< `check` found problems; `at`/`map` found no answer
    exitUsage = 2,    ///< bad arguments, unreadable file, malformed JSON, refused edit
};

/// An input, output or usage problem; reported on stderr with status 2.
class InputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A regular file that the tool would replace is read-only for the user.
class ReadOnlyError : public InputError {
public:
    using InputError::InputError;
};

/// The largest input the tool reads, in bytes (1 GiB); a larger file is
/// refused before it is read.
inline constexpr std::size_t kMaxInputBytes = std::size_t{1} << 30;

/// Where the playgraph comes from.
struct InputOptions {
    /// A file name, "-" for standard input, or empty (no FILE argument) for
    /// the bundled story. An empty argument is refused while parsing.
    std::string file;
    /// Given to segments without "viewableId" in a "branching" playgraph;
    /// when not set, the first "main" value of the segments is used.
    std::optional<int64_t> defaultViewableId;
};

/// A playgraph read from its input, with the dictionary it came from.
struct LoadedPlaygraph {
    std::string name;
    Value dictionary;
    Value defaultViewableId;
    std::shared_ptr<Playgraph> playgraph;
};

/// A JSON document read from an input: its name for messages and its top
/// level, which is always a dictionary.
struct InputDocument {
    std::string name;
    Value dictionary;
};

/// Adds the optional FILE argument and `--default-viewable-id` to `command`.
void addInputOptions(CLI::App& command, InputOptions& options);
/// Reads and parses `file` (a name, "-" for standard input, empty for the
/// bundled story). A leading UTF-8 byte-order mark is skipped. `json` may
/// observe the reading (duplicate keys). Throws `InputError`: for an
/// unreadable input (with the system's reason), one larger than
/// `kMaxInputBytes`, malformed JSON, and a top level that is not an object.
/// `rawText`, when given, receives the text exactly as read.
InputDocument readInput(const std::string& file, const JsonReadOptions& json = {},
                        std::string* rawText = nullptr);
/// `readInput` for the subcommands that compare or merge whole playgraphs:
/// also refuses a document without a "segments" object ("not a playgraph").
InputDocument readPlaygraphDocument(const std::string& file, std::string* rawText = nullptr);
/// `--default-viewable-id` when given, else `firstMainValue(dictionary)`.
Value defaultViewableIdFor(const InputOptions& options, const Value& dictionary);
/// Reads, parses and loads the input. Throws `InputError`.
LoadedPlaygraph loadPlaygraph(const InputOptions& options, const JsonReadOptions& json = {});

/// Seconds given as an argument: a finite number whose milliseconds fit a
/// signed 64-bit integer, and not negative unless `allowNegative`. Throws
/// `InputError` whose message starts with `what`.
double secondsArgument(const std::string& text, const std::string& what,
                       bool allowNegative = false);
/// A whole number from `minimum` to the signed 64-bit maximum, given as an
/// argument. Throws `InputError` whose message starts with `what`.
int64_t integerArgument(const std::string& text, const std::string& what,
                        int64_t minimum = INT64_MIN);
/// CLI11 checks with the rules above, so that an option's value is refused
/// rather than clamped by the conversion; and one that refuses "".
CLI::Validator secondsCheck(bool allowNegative = false);
CLI::Validator integerCheck(int64_t minimum = INT64_MIN);
CLI::Validator nonEmptyCheck();

/// The ids of the segments reachable from `graph`'s initial segment along
/// transitions and default nexts (the initial segment included); empty
/// without one.
std::unordered_set<std::string> reachableSegmentIds(const QZPlaygraph& graph);
/// The ids of `graph`'s default path, in order.
std::vector<std::string> defaultPathIds(const QZPlaygraph& graph);

/// Writes `text` to `path`, or to standard output when `path` is empty or
/// "-"; every subcommand that writes a result goes through here. A symbolic
/// link is followed. What is not a regular file (a device, a FIFO, an open
/// descriptor such as /dev/stdout) is written directly. A regular file is
/// written whole or not at all: the text goes to a temporary file in the
/// same directory, which then takes the place of the old one with its
/// owner, group and permissions (when the owner or group cannot be kept,
/// nothing is written). An existing regular file that the user may not
/// write (for root: one without any write permission) is refused with
/// `ReadOnlyError` unless `force`. Throws `InputError` and leaves no
/// temporary file behind.
void writeOutput(const std::string& path, const std::string& text, bool force = false);
/// Adds `-o,--output FILE` (default: standard output) and `--in-place`
/// (replace FILE), which exclude each other, as `edit` and `fmt` take them.
void addOutputOptions(CLI::App& command, std::string& output, bool& inPlace);
/// A value on one line for people: compact JSON (its text form when it has
/// no JSON form), or "(absent)" for none.
std::string oneLineValue(const Value& value);
/// Writes `value` as pretty JSON and a newline through `writeOutput`. A
/// value without a JSON form is an `InputError` with a readable key path.
void writeJsonOutput(const std::string& path, const Value& value, bool force = false);
/// How a JSON file is laid out: on one line, or one value a line indented
/// by `indent` per level; and whether it ends with a newline.
struct JsonLayout {
    bool compact = false;
    std::string indent = "  ";
    bool finalNewline = true;
};
/// The layout of the JSON text `text`: compact when it is one line, else
/// indented by the leading blanks of its first indented line.
JsonLayout layoutOf(std::string_view text);
/// `value` as JSON text in `layout`. Throws `JsonError` as `writeJson` does.
std::string jsonText(const Value& value, const JsonLayout& layout);

/// `writeJsonOutput` for a subcommand with a --force flag: a refusal of a
/// read-only file says that --force overrides it.
void writeResult(const std::string& path, const Value& value, bool force);
/// When edits took away the "main" value that gave an edited playgraph
/// `output` its default viewable id, gives it to the first segment, so that
/// the output loads as before. Changes that segment's dictionary in place.
void keepDefaultViewableId(const Dictionary& output, const Value& defaultViewableId);
/// One operation of `playgraph edit`, parsed: applying it makes the edit
/// with the tool's checks (throwing `InvalidArgumentError`, the library's or
/// the tool's, and then changing nothing) and returns `edit`'s warnings about
/// what it left behind.
using EditOperation = std::function<std::vector<std::string>(MutablePlaygraph&)>;
/// Parses one operation in the syntax of `playgraph edit --op` (e.g. "split
/// intro 4.0 intro intro-b"). Throws `InputError` saying what is malformed.
EditOperation parseEditOperation(const std::string& text);
/// One word of an operation after its verb: a word (unquoted), or the JSON
/// object text of PROPERTIES.
struct EditWord {
    std::string text;
    bool isObject = false;
};
/// Parses one operation given as its verb and words, read as the words of
/// the text form are (so "default" where the flag may stand is the flag).
/// Throws `InputError` saying what is malformed.
EditOperation parseEditOperation(const std::string& verb, std::vector<EditWord> words);

/// The text of the bundled example (examples/story.json).
extern const char* const bundledStoryJson;

/// Seconds with three decimals, or "?" for not-a-number.
std::string seconds(double value);
/// A time as h:mm:ss.mmm ("1:01:00.036"), or "?" when it is not finite.
std::string clockTime(double value);
/// "45.500 s"; from an hour on with the clock time too: "3660.036 s (1:01:00.036)".
std::string durationText(double value);
/// The columns a terminal gives UTF-8 `text`: combining marks none, wide
/// East Asian characters and emoji two, other characters (and each byte
/// that is not UTF-8) one.
std::size_t displayWidth(std::string_view text);
/// `text` followed by blanks up to `width` columns.
std::string padded(std::string_view text, std::size_t width);
/// A viewable id (or any value) as text; "none" when absent.
std::string valueText(const Value& value);
/// `text` made safe for a terminal: control characters (C0, DEL, C1),
/// backslashes and bytes that are not UTF-8 are written as escapes
/// (`\n`, `\x1b`, `\u009b`, `\\`), so that an id cannot move the cursor,
/// recolour the screen or forge a line. Every human-readable output line
/// passes its ids and messages through it.
std::string shown(std::string_view text);

/// A registered subcommand: its parser and what runs when it was chosen.
struct Command {
    CLI::App* app = nullptr;
    std::function<int()> run;
};

Command addInfoCommand(CLI::App& app);
Command addPathCommand(CLI::App& app);
Command addAtCommand(CLI::App& app);
Command addMapCommand(CLI::App& app);
Command addWalkCommand(CLI::App& app);
Command addDotCommand(CLI::App& app);
Command addCheckCommand(CLI::App& app);
Command addEditCommand(CLI::App& app);
Command addComposeCommand(CLI::App& app);
Command addServeCommand(CLI::App& app);
Command addExportPlayerCommand(CLI::App& app);
Command addDiffCommand(CLI::App& app);
Command addMergeCommand(CLI::App& app);
Command addFmtCommand(CLI::App& app);
Command addSimulateCommand(CLI::App& app);

} // namespace playgraph::tool
