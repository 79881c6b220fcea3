// `playgraph check`: lints a playgraph dictionary.
//
// Prints the library's `validate` findings, after the keys that repeat in
// the JSON text (the reader keeps the last of them), each with the key path
// (or line) it concerns; findings of one kind beyond a limit are counted
// rather than printed.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "Tool.hpp"
#include "playgraph/model/Validate.hpp"

namespace playgraph::tool {

namespace {

/// A finding as `check` prints it, the library's or a repeated JSON key.
struct Finding {
    /// Findings are counted and limited per group; groups print in this order.
    int group;
    std::string path;
    std::string message;
};

constexpr std::string_view kDuplicateKey = "duplicate key";

struct CheckOptions {
    InputOptions input;
    int64_t limit = 20;
};

// The group of a library finding: a non-finite number counts with the
// wrongly typed values, as its description says.
int groupOf(ValidationCode code) {
    return 1 + static_cast<int>(code == ValidationCode::NonFiniteNumber ? ValidationCode::WrongKind
                                                                        : code);
}

int runCheck(const CheckOptions& options) {
    std::vector<Finding> findings;
    JsonReadOptions json;
    json.onDuplicateKey = [&](std::string_view key, const JsonLocation& location) {
        findings.push_back({0,
                            "line " + std::to_string(location.line) + ", column " +
                                std::to_string(location.column),
                            "key \"" + std::string(key) +
                                "\" repeats in its object; only this last value is read"});
    };
    const LoadedPlaygraph loaded = loadPlaygraph(options.input, json);
    std::map<int, std::string_view> groupNames{{0, kDuplicateKey}};
    for (auto& finding : validate(loaded.dictionary, loaded.defaultViewableId)) {
        const int group = groupOf(finding.code);
        groupNames[group] = describe(finding.code);
        findings.push_back({group, std::move(finding.path), std::move(finding.message)});
    }

    const std::string name = shown(loaded.name);
    std::map<int, std::size_t> counts;
    for (const auto& finding : findings) {
        if (options.limit == 0 || ++counts[finding.group] <= static_cast<uint64_t>(options.limit)) {
            std::cout << name << ": " << shown(finding.path) << ": " << shown(finding.message)
                      << '\n';
        }
    }
    for (const auto& [group, count] : counts) {
        if (count > static_cast<uint64_t>(options.limit)) {
            std::cout << name << ": ... and " << count - static_cast<uint64_t>(options.limit)
                      << " more findings of the kind '" << groupNames[group]
                      << "' (--limit 0 prints them all)\n";
        }
    }
    if (findings.empty()) {
        std::cout << name << ": no findings\n";
        return exitOk;
    }
    std::cout << findings.size() << (findings.size() == 1 ? " finding\n" : " findings\n");
    return exitFindings;
}

} // namespace

std::unordered_set<std::string> reachableSegmentIds(const QZPlaygraph& graph) {
    std::unordered_set<std::string> reached;
    const auto& initial = graph.initialSegmentId();
    if (!initial || !graph.segmentById(*initial)) return reached;
    graph.bredthFirstTraversalFromSegmentId(
        initial, std::numeric_limits<uint64_t>::max(),
        [&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
            if (s) reached.insert(s->segmentId());
        });
    return reached;
}

std::vector<std::string> defaultPathIds(const QZPlaygraph& graph) {
    std::vector<std::string> ids;
    graph.defaultPathTraversal([&](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t, bool&) {
        ids.push_back(s->segmentId());
    });
    return ids;
}

Command addCheckCommand(CLI::App& app) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* command = app.add_subcommand(
        "check", "Lints the playgraph: missing references, unreachable segments, a looping "
                 "default path, negative or clamped times, ends not after starts, overlapping "
                 "ranges, wrongly typed values, repeated JSON keys; status 1 when there are "
                 "findings");
    addInputOptions(*command, options->input);
    command
        ->add_option("--limit", options->limit,
                     "Print at most N findings of each kind and count the rest (default 20; "
                     "0 prints every finding)")
        ->check(integerCheck(0));
    return {command, [options] { return runCheck(*options); }};
}

} // namespace playgraph::tool
