// `playgraph at` and `playgraph map`: between playgraph time (along the
// default path) and viewable time (within a segment's viewable).

#include <cmath>
#include <iostream>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

// Times are taken as text and read by `secondsArgument`, so that a clock
// time ("1:02.5") reads as it does on the serve page.
struct AtOptions {
    InputOptions input;
    std::string time;
};

struct MapOptions {
    InputOptions input;
    std::string segmentId;
    std::string time;
};

} // namespace

Command addAtCommand(CLI::App& app) {
    auto options = std::make_shared<AtOptions>();
    CLI::App* command = app.add_subcommand(
        "at", "The segment and viewable time at playgraph time TIME (seconds along the default "
              "path); status 1 when no segment plays then");
    command->add_option("time", options->time, "Playgraph time, seconds from 0 (or m:ss.mmm)")
        ->required()
        ->check(secondsCheck());
    addInputOptions(*command, options->input);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(options->input);
                const double time = secondsArgument(options->time, "time");
                const auto id = loaded.playgraph->segmentIdAtPlaygraphTime(time);
                const auto segment = id ? loaded.playgraph->segmentById(*id) : nullptr;
                if (!segment) {
                    std::cout << "no segment at playgraph time " << seconds(time) << " s\n";
                    return int(exitFindings);
                }
                const double viewableTime = loaded.playgraph->playerTimeForPlaygraphOffset(time);
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
               "offset column of 'path'); status 1 when SEGMENT is not on the default path or TIME "
               "lies outside it (the playgraph time is printed all the same)");
    command->add_option("segment", options->segmentId, "Segment id")->required();
    command->add_option("time", options->time, "Viewable time, seconds from 0 (or m:ss.mmm)")
        ->required()
        ->check(secondsCheck());
    addInputOptions(*command, options->input);
    return {command, [options] {
                const LoadedPlaygraph loaded = loadPlaygraph(options->input);
                const auto segment = loaded.playgraph->segmentById(options->segmentId);
                if (!segment) throw InputError("Cannot find segment " + options->segmentId);
                const double viewableTime = secondsArgument(options->time, "time");
                const double time =
                    loaded.playgraph->playgraphOffsetForPlayerTime(viewableTime, segment);
                if (std::isnan(time)) {
                    std::cout << "segment " << shown(options->segmentId)
                              << " is not on the default path\n";
                    return int(exitFindings);
                }
                std::cout << "playgraph time " << seconds(time) << " s\n";
                // The library maps any viewable time; one outside the segment
                // plays no part of it, which a person typing it wants to know.
                const double end = segment->playToViewableEnd() && std::isnan(segment->endTime())
                                       ? INFINITY
                                       : segment->endTime();
                if (viewableTime < segment->startTime() || viewableTime > end) {
                    std::cerr << "playgraph: viewable time " << seconds(viewableTime)
                              << " s lies outside segment " << shown(options->segmentId)
                              << ", which plays " << seconds(segment->startTime()) << " to "
                              << (std::isinf(end) ? std::string("the end of its viewable")
                                                  : seconds(end) + " s")
                              << "\n";
                    return int(exitFindings);
                }
                return int(exitOk);
            }};
}

} // namespace playgraph::tool
