// `playgraph at` and `playgraph map`: between playgraph time (along the
// default path) and viewable time (within a segment's viewable).

#include <cmath>
#include <iostream>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

struct AtOptions {
    InputOptions input;
    double time = 0.0;
};

struct MapOptions {
    InputOptions input;
    std::string segmentId;
    double time = 0.0;
};

} // namespace

Command addAtCommand(CLI::App& app) {
    auto options = std::make_shared<AtOptions>();
    CLI::App* command = app.add_subcommand(
        "at", "The segment and viewable time at playgraph time TIME (seconds along the default "
              "path); status 1 when no segment plays then");
    command->add_option("time", options->time, "Playgraph time, seconds from 0")
        ->required()
        ->check(secondsCheck());
    addInputOptions(*command, options->input);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(options->input);
                const auto id = loaded.playgraph->segmentIdAtPlaygraphTime(options->time);
                const auto segment = id ? loaded.playgraph->segmentById(*id) : nullptr;
                if (!segment) {
                    std::cout << "no segment at playgraph time " << seconds(options->time)
                              << " s\n";
                    return int(exitFindings);
                }
                const double viewableTime =
                    loaded.playgraph->playerTimeForPlaygraphOffset(options->time);
                std::cout << "segment " << shown(*id) << ", viewable "
                          << valueText(segment->viewableId()) << ", viewable time "
                          << seconds(viewableTime) << " s\n";
                return int(exitOk);
            }};
}

Command addMapCommand(CLI::App& app) {
    auto options = std::make_shared<MapOptions>();
    CLI::App* command = app.add_subcommand(
        "map", "The playgraph time of viewable time TIME in SEGMENT (along the default path, "
               "every segment counted with its full length, decorative ones too, unlike the "
               "offset column of 'path'); status 1 when SEGMENT is not on the default path");
    command->add_option("segment", options->segmentId, "Segment id")->required();
    command->add_option("time", options->time, "Viewable time, seconds from 0")
        ->required()
        ->check(secondsCheck());
    addInputOptions(*command, options->input);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(options->input);
                const auto segment = loaded.playgraph->segmentById(options->segmentId);
                if (!segment) throw InputError("no segment \"" + options->segmentId + "\"");
                const double time =
                    loaded.playgraph->playgraphOffsetForPlayerTime(options->time, segment);
                if (std::isnan(time)) {
                    std::cout << "segment " << shown(options->segmentId)
                              << " is not on the default path\n";
                    return int(exitFindings);
                }
                std::cout << "playgraph time " << seconds(time) << " s\n";
                return int(exitOk);
            }};
}

} // namespace playgraph::tool
