// `playgraph serve` in a tool built without it (PLAYGRAPH_BUILD_SERVE=OFF).

#include "Tool.hpp"

namespace playgraph::tool {

Command addServeCommand(CLI::App& app) {
    CLI::App* command = app.add_subcommand("serve", "Not built in this tool");
    command->allow_extras();
    return {command, []() -> int {
                throw InputError("this playgraph tool was built without `serve` (it needs "
                                 "cpp-httplib and Graphviz; see PLAYGRAPH_BUILD_SERVE)");
            }};
}

} // namespace playgraph::tool
