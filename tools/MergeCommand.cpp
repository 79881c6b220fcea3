// `playgraph merge BASE OURS THEIRS -o OUT`: a three-way merge of playgraph
// files by segment and transition id. The merged playgraph is written even
// when there are conflicts (with ours' values there), which are then listed
// on standard error with status 1, as a merge driver of git reports them.

#include <iostream>
#include <string>

#include "Tool.hpp"
#include "playgraph/diff/Diff.hpp"

namespace playgraph::tool {

namespace {

struct MergeOptions {
    std::string base;
    std::string ours;
    std::string theirs;
    std::string output;
    bool canonical = false;
};

int runMerge(const MergeOptions& options) {
    int fromStdin = 0;
    for (const auto* file : {&options.base, &options.ours, &options.theirs})
        fromStdin += *file == "-";
    if (fromStdin > 1) throw InputError("only one of the playgraphs can come from standard input");
    // Everything is read and merged before anything is written.
    const InputDocument base = readPlaygraphDocument(options.base);
    const InputDocument ours = readPlaygraphDocument(options.ours);
    const InputDocument theirs = readPlaygraphDocument(options.theirs);
    const MergeResult result = merge(base.dictionary, ours.dictionary, theirs.dictionary);
    std::string text;
    try {
        text =
            writeJson(result.merged, options.canonical ? JsonStyle::Canonical : JsonStyle::Pretty) +
            "\n";
    } catch (const JsonError& e) {
        throw InputError(std::string(e.what()) + "; nothing written");
    }
    writeOutput(options.output, text);
    if (result.conflicts.empty()) return exitOk;
    for (const auto& conflict : result.conflicts) {
        std::cerr << "playgraph: conflict at "
                  << shown(keyPathText(conflict.path) + ": " + conflict.reason + "; base " +
                           oneLineValue(conflict.base) + ", ours " + oneLineValue(conflict.ours) +
                           ", theirs " + oneLineValue(conflict.theirs) + "; kept ours")
                  << '\n';
    }
    const std::size_t n = result.conflicts.size();
    std::cerr << "playgraph: " << n << (n == 1 ? " conflict" : " conflicts") << "; "
              << shown(options.output.empty() || options.output == "-" ? "the output"
                                                                       : options.output)
              << " holds ours' values there\n";
    return exitFindings;
}

} // namespace

Command addMergeCommand(CLI::App& app) {
    auto options = std::make_shared<MergeOptions>();
    CLI::App* command = app.add_subcommand(
        "merge", "Merges the changes OURS and THEIRS made to BASE, by segment and transition id");
    for (auto [name, target, what] : {
             std::tuple{"base", &options->base, "The common ancestor"},
             std::tuple{"ours", &options->ours, "Our version; kept where both changed a value"},
             std::tuple{"theirs", &options->theirs, "Their version"},
         }) {
        command->add_option(name, *target, std::string(what) + " ('-' for standard input)")
            ->required()
            ->check(nonEmptyCheck());
    }
    command
        ->add_option("-o,--output", options->output,
                     "Write the merged playgraph to this file (default: standard output)")
        ->check(nonEmptyCheck());
    command->add_flag("--canonical", options->canonical,
                      "Write the canonical form of `playgraph fmt` (default: pretty JSON)");
    command->footer(
        "Changes to different segments, transitions or keys combine; the same change on both "
        "sides is taken once. Where both changed one value differently, or one removed what "
        "the other changed or refers to, the result keeps OURS and the conflict is listed on "
        "standard error with status 1 (the output is still written). As a git merge driver:\n"
        "  git config merge.playgraph.driver 'playgraph merge %O %A %B -o %A --canonical'\n");
    return {command, [options] { return runMerge(*options); }};
}

} // namespace playgraph::tool
