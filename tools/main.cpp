// The playgraph command-line tool: inspects, walks, draws, checks and edits
// playgraphs stored as JSON, and makes video compositions.

#include <iostream>
#include <vector>

#include "Tool.hpp"

using namespace playgraph::tool;

int main(int argc, char** argv) {
    CLI::App app{"Inspects and edits branching-video playgraphs stored as JSON.\n"
                 "Subcommands read FILE, '-' for standard input, or, without FILE, the "
                 "bundled example story.",
                 "playgraph"};
    app.require_subcommand(1);
    app.footer(
        "Exit status: 0 success; 1 findings (check) or no answer (at, map); "
        "2 usage or input error (bad arguments, unreadable file, malformed JSON, refused edit; "
        "nothing is written then).\n");

    std::vector<Command> commands = {
        addInfoCommand(app),  addPathCommand(app), addAtCommand(app),
        addMapCommand(app),   addWalkCommand(app), addDotCommand(app),
        addCheckCommand(app), addEditCommand(app), addComposeCommand(app),
    };
    commands.push_back(addServeCommand(app));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e);
        return status == 0 ? exitOk : exitUsage;
    }
    try {
        for (const auto& command : commands) {
            if (command.app->parsed()) return command.run();
        }
    } catch (const InputError& e) {
        std::cerr << "playgraph: " << e.what() << '\n';
        return exitUsage;
    } catch (const std::exception& e) {
        std::cerr << "playgraph: " << e.what() << '\n';
        return exitUsage;
    }
    return exitUsage;
}
