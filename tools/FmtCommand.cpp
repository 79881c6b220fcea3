// `playgraph fmt FILE`: writes a playgraph in the canonical JSON form (keys
// sorted, a segment a block of lines, a transition a line), so that files
// kept in version control diff small and merge well. `--check` only says
// whether FILE is in that form, for CI.

#include <iostream>
#include <string>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

struct FmtOptions {
    std::string file;
    std::string output;
    bool inPlace = false;
    bool check = false;
};

int runFmt(const FmtOptions& options) {
    if (options.inPlace && options.file == "-") {
        throw InputError("--in-place needs a FILE to rewrite");
    }
    if (options.check && (options.inPlace || !options.output.empty())) {
        throw InputError("--check writes nothing: it excludes --in-place and --output");
    }
    std::string raw;
    const InputDocument document = readPlaygraphDocument(options.file, &raw);
    std::string text;
    try {
        text = writeJson(document.dictionary, JsonStyle::Canonical) + "\n";
    } catch (const JsonError& e) {
        throw InputError(document.name + ": " + e.what() + "; nothing written");
    }
    if (options.check) {
        if (raw == text) return exitOk;
        std::cout << shown(document.name) << ": not in canonical form (playgraph fmt --in-place "
                  << "rewrites it)\n";
        return exitFindings;
    }
    // A file already in canonical form is left untouched.
    if (options.inPlace && raw == text) return exitOk;
    writeOutput(options.inPlace ? options.file : options.output, text);
    return exitOk;
}

} // namespace

Command addFmtCommand(CLI::App& app) {
    auto options = std::make_shared<FmtOptions>();
    CLI::App* command = app.add_subcommand(
        "fmt", "Writes a playgraph in the canonical JSON form, or checks that it is in it");
    command->add_option("file", options->file, "Playgraph JSON file, '-' for standard input")
        ->required()
        ->check(nonEmptyCheck());
    addOutputOptions(*command, options->output, options->inPlace);
    command->add_flag("--check", options->check,
                      "Write nothing; exit 1 when FILE is not in the canonical form");
    command->footer("The canonical form: keys sorted by their bytes, one entry a line down to a "
                    "segment's transitions and annotations, everything deeper on one line, "
                    "numbers as written (10000 and 10000.0 stay apart), a final newline.\n"
                    "Exit status: 0 done (--check: in canonical form), 1 not in canonical form "
                    "(--check), 2 an error.\n");
    return {command, [options] { return runFmt(*options); }};
}

} // namespace playgraph::tool
