// `playgraph diff A B`: what changed from one playgraph file to another, by
// segment and transition id, as text or as JSON. Exit status as diff(1)'s:
// 0 the same, 1 different, 2 an error.

#include <iostream>
#include <string>

#include "Tool.hpp"
#include "playgraph/diff/Diff.hpp"

namespace playgraph::tool {

namespace {

struct DiffOptions {
    std::string before;
    std::string after;
    bool json = false;
};

std::string label(ChangeKind kind) {
    switch (kind) {
    case ChangeKind::SegmentAdded:
        return "segment added";
    case ChangeKind::SegmentRemoved:
        return "segment removed";
    case ChangeKind::SegmentRenamed:
        return "segment renamed";
    case ChangeKind::SegmentChanged:
        return "segment changed";
    case ChangeKind::Retimed:
        return "retimed";
    case ChangeKind::DefaultNextChanged:
        return "default next";
    case ChangeKind::TransitionAdded:
        return "transition added";
    case ChangeKind::TransitionRemoved:
        return "transition removed";
    case ChangeKind::TransitionReweighted:
        return "re-weighted";
    case ChangeKind::TransitionTypeChanged:
        return "type changed";
    case ChangeKind::TransitionChanged:
        return "transition changed";
    case ChangeKind::AnnotationChanged:
        return "annotation";
    case ChangeKind::UserInfoChanged:
        return "user info";
    case ChangeKind::InitialSegmentChanged:
        return "initial segment";
    case ChangeKind::TopLevelChanged:
        return "top level";
    }
    return "changed";
}

int runDiff(const DiffOptions& options) {
    if (options.before == "-" && options.after == "-") {
        throw InputError("only one of the two playgraphs can come from standard input");
    }
    const InputDocument before = readPlaygraphDocument(options.before);
    const InputDocument after = readPlaygraphDocument(options.after);
    const PlaygraphDiff changes = diff(before.dictionary, after.dictionary);
    if (options.json) {
        writeOutput("", writeJson(changes.toValue(), JsonStyle::Pretty) + "\n");
    } else {
        for (const auto& change : changes) {
            const std::string values =
                change.kind == ChangeKind::SegmentRenamed
                    ? "now " + change.renamedTo
                    : oneLineValue(change.before) + " -> " + oneLineValue(change.after);
            std::cout << shown(label(change.kind) + "  " + keyPathText(change.path) + ": " + values)
                      << '\n';
        }
        std::cout << changes.size() << (changes.size() == 1 ? " change" : " changes") << '\n';
    }
    return changes.empty() ? exitOk : exitFindings;
}

} // namespace

InputDocument readPlaygraphDocument(const std::string& file, std::string* rawText) {
    InputDocument document = readInput(file, {}, rawText);
    if (!document.dictionary.dictionary()->get(keys::segments).isDictionary()) {
        throw InputError(document.name + ": not a playgraph: it has no \"segments\" object");
    }
    return document;
}

Command addDiffCommand(CLI::App& app) {
    auto options = std::make_shared<DiffOptions>();
    CLI::App* command = app.add_subcommand(
        "diff", "Lists what changed from playgraph A to playgraph B, by segment and transition id");
    command->add_option("a", options->before, "The playgraph before ('-' for standard input)")
        ->required()
        ->check(nonEmptyCheck());
    command->add_option("b", options->after, "The playgraph after ('-' for standard input)")
        ->required()
        ->check(nonEmptyCheck());
    command->add_flag("--json", options->json,
                      "Write the changes as a JSON list (kind, path, before, after, segment, "
                      "transition, renamedTo)");
    command->footer("Exit status: 0 the same, 1 different, 2 an error (as diff does).\n");
    return {command, [options] { return runDiff(*options); }};
}

} // namespace playgraph::tool
