#pragma once

// Shared parts of the playgraph command-line tool: exit statuses, the input
// options every subcommand takes, loading, writing results, and number
// formatting. Each
// subcommand lives in its own file and is registered in main.cpp.

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "playgraph/editing/MutablePlaygraph.hpp"
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

/// Where the playgraph comes from.
struct InputOptions {
    /// A file name, "-" for standard input, or empty for the bundled story.
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
/// bundled story). Throws `InputError`, also when the top level is not an
/// object.
InputDocument readInput(const std::string& file);
/// `--default-viewable-id` when given, else the first "main" value of the
/// segments of `dictionary`, else none.
Value defaultViewableIdFor(const InputOptions& options, const Value& dictionary);
/// Reads, parses and loads the input. Throws `InputError`.
LoadedPlaygraph loadPlaygraph(const InputOptions& options);

/// One problem `check` found: the key path it concerns and what is wrong.
struct Finding {
    std::string path;
    std::string message;
};
/// The findings of `playgraph check` on `loaded`, in the order it reports them.
std::vector<Finding> checkPlaygraph(const LoadedPlaygraph& loaded);

/// Writes `text` to `path`, or to standard output when `path` is empty or
/// "-". A file is written whole or not at all: the text goes to a temporary
/// file in the same directory, which is then renamed over `path` (an existing
/// file keeps its permissions). Throws `InputError` and leaves no temporary
/// file behind.
void writeOutput(const std::string& path, const std::string& text);
/// One operation of `playgraph edit`, parsed and ready to apply.
using EditOperation = std::function<void(MutablePlaygraph&)>;
/// Parses one operation in the syntax of `playgraph edit --op` (e.g. "split
/// intro 4.0 intro intro-b"). Throws `InputError` saying what is malformed;
/// applying it throws what the library's edit throws.
EditOperation parseEditOperation(const std::string& text);

/// The text of the bundled example (examples/story.json).
extern const char* const bundledStoryJson;

/// Seconds with three decimals, or "?" for not-a-number.
std::string seconds(double value);
/// A viewable id (or any value) as text; "none" when absent.
std::string valueText(const Value& value);

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

} // namespace playgraph::tool
