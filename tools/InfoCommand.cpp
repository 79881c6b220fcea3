// `playgraph info`: a summary of one playgraph.

#include <cmath>
#include <iomanip>
#include <iostream>

#include "Tool.hpp"

namespace playgraph::tool {

Command addInfoCommand(CLI::App& app) {
    auto options = std::make_shared<InputOptions>();
    CLI::App* command = app.add_subcommand(
        "info", "Summary: id, type, initial segment, counts, main viewable, duration, path length");
    addInputOptions(*command, *options);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(*options);
                const Playgraph& graph = *loaded.playgraph;
                std::size_t transitions = 0;
                for (const auto& [id, segment] : graph.segmentMap())
                    transitions += segment->next().size();
                std::size_t pathLength = 0;
                std::size_t unknownLengths = 0;
                graph.defaultPathTraversal([&](const auto& s, uint64_t, bool&) {
                    ++pathLength;
                    if (std::isnan(s->segmentDuration())) ++unknownLengths;
                });

                const auto row = [](const char* label, const std::string& value) {
                    std::cout << std::left << std::setw(18) << label << value << '\n';
                };
                row("playgraph id", shown(graph.playgraphId()));
                row("type", shown(graph.type().value_or("none")));
                row("initial segment", shown(graph.initialSegmentId().value_or("none")));
                row("segments", std::to_string(graph.segmentMap().size()));
                row("transitions", std::to_string(transitions) + " (entries under \"next\")");
                row("main viewable id", valueText(graph.mainViewableId()));
                row("duration",
                    durationText(graph.duration()) +
                        (unknownLengths == 0
                             ? std::string()
                             : " (" + std::to_string(unknownLengths) +
                                   " play-to-end segment(s) of unknown length counted as 0)"));
                row("default path", std::to_string(pathLength) + " segments");
                return int(exitOk);
            }};
}

} // namespace playgraph::tool
