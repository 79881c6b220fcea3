// `playgraph serve` and `export-player` in a tool built without them (PLAYGRAPH_BUILD_SERVE=OFF).

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

Command notBuilt(CLI::App& app, const std::string& name) {
    CLI::App* command = app.add_subcommand(name, "Not built in this tool");
    command->allow_extras();
    return {command, [name]() -> int {
                throw InputError("this playgraph tool was built without `" + name +
                                 "` (it needs cpp-httplib and Graphviz; see "
                                 "PLAYGRAPH_BUILD_SERVE)");
            }};
}

} // namespace

Command addServeCommand(CLI::App& app) { return notBuilt(app, "serve"); }
Command addExportPlayerCommand(CLI::App& app) { return notBuilt(app, "export-player"); }

} // namespace playgraph::tool
