// `playgraph path`: the default path as a table.

#include <cstdio>
#include <iostream>

#include "Tool.hpp"

namespace playgraph::tool {

Command addPathCommand(CLI::App& app) {
    auto options = std::make_shared<InputOptions>();
    CLI::App* command = app.add_subcommand(
        "path", "The default path: index, segment, viewable, start, end, duration, offset, "
                "decorative (times in seconds; '?' for a play-to-end segment's unknown end; "
                "the offset leaves decorative segments out)");
    addInputOptions(*command, *options);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(*options);
                std::printf("%5s  %-16s %8s %10s %10s %10s %10s  %s\n", "index", "segment",
                            "viewable", "start", "end", "duration", "offset", "decorative");
                // The id column is padded by display width, so that ids
                // with accents or wide characters keep the columns aligned.
                loaded.playgraph->defaultPathTraversal(
                    [](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t index, bool&) {
                        std::printf("%5llu  %s %8s %10s %10s %10s %10s  %s\n",
                                    static_cast<unsigned long long>(index),
                                    padded(shown(s->segmentId()), 16).c_str(),
                                    valueText(s->viewableId()).c_str(),
                                    seconds(s->startTime()).c_str(), seconds(s->endTime()).c_str(),
                                    seconds(s->segmentDuration()).c_str(),
                                    seconds(s->offsetInPlaygraph()).c_str(),
                                    s->isDecorativeSegment() ? "yes" : "no");
                    });
                std::cout << "duration " << durationText(loaded.playgraph->duration()) << "\n";
                return int(exitOk);
            }};
}

} // namespace playgraph::tool
