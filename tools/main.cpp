// The playgraph command-line tool: inspects, walks, draws, checks and edits
// playgraphs stored as JSON, and makes video compositions.

#include <algorithm>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "Tool.hpp"

using namespace playgraph::tool;

int main(int argc, char** argv) {
    CLI::App app{"Inspects and edits branching-video playgraphs stored as JSON.\n"
                 "Subcommands read FILE, '-' for standard input, or, without FILE, the "
                 "bundled example story.",
                 "playgraph"};
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("playgraph ") + PLAYGRAPH_VERSION);
    app.footer(
        "Exit status: 0 success; 1 findings (check), no answer (at, map), differences (diff), "
        "conflicts (merge, the output still written) or not canonical (fmt --check); "
        "2 usage or input error (bad arguments, unreadable file, malformed JSON, refused edit; "
        "nothing is written then).\n");

    std::vector<Command> commands = {
        addInfoCommand(app),  addPathCommand(app), addAtCommand(app),
        addMapCommand(app),   addWalkCommand(app), addDotCommand(app),
        addCheckCommand(app), addEditCommand(app), addComposeCommand(app),
    };
    commands.push_back(addServeCommand(app));
    commands.push_back(addExportPlayerCommand(app));
    for (const auto add : {addDiffCommand, addMergeCommand, addFmtCommand})
        commands.push_back(add(app));
    commands.push_back(addSimulateCommand(app));

    const auto usageError = [](const std::string& message) {
        std::cerr << "playgraph: " << shown(message) << "\nRun 'playgraph --help' for more.\n";
        return int(exitUsage);
    };
    if (argc > 1 && argv[1][0] != '-' &&
        std::none_of(commands.begin(), commands.end(),
                     [&](const Command& c) { return c.app->check_name(argv[1]); })) {
        return usageError(std::string("unknown subcommand '") + argv[1] + "'");
    }
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }
    try {
        for (const auto& command : commands) {
            if (command.app->parsed()) return command.run();
        }
    } catch (const std::bad_alloc&) {
        std::cerr << "playgraph: out of memory: the input is too large for this machine\n";
        return exitUsage;
    } catch (const std::exception& e) {
        std::cerr << "playgraph: " << shown(e.what()) << '\n';
        return exitUsage;
    }
    return exitUsage;
}
