// `playgraph compose`: makes a video composition, from one clip of a viewable
// or by converting a playgraph file, and writes its dictionary as JSON.

#include <cmath>
#include <optional>
#include <string>

#include "Tool.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::tool {

namespace {

struct ComposeOptions {
    // One clip
    std::optional<int64_t> viewable;
    double start = 0.0;
    double end = 0.0;
    std::optional<std::string> name;
    // Conversion
    std::optional<std::string> playgraphFile;
    std::optional<int64_t> mainViewable;
    InputOptions input; // only its default viewable id is used
    std::string output;
    bool force = false;
};

// Refuses clip times the playgraph would read otherwise: an end that is not
// after the start, and parts of a millisecond, which the loader drops.
void checkClipTimes(const ComposeOptions& options) {
    for (const auto& [name, value] :
         {std::pair{"--start", options.start}, {"--end", options.end}}) {
        const double ms = value * 1000.0;
        if (std::fabs(ms - std::round(ms)) > 1e-6) {
            throw InputError(std::string(name) + " " + formatFixed(value, 6) +
                             " s is not a whole number of milliseconds, which a playgraph "
                             "keeps; nothing written");
        }
    }
    if (options.end != 0.0 && options.end <= options.start) {
        throw InputError("--end " + seconds(options.end) + " s is not after --start " +
                         seconds(options.start) +
                         " s (--end 0 plays to the end of the viewable); nothing written");
    }
}

// The clip's times as whole milliseconds: seconds times 1000 is not always
// whole in binary (1.001 s gives 1000.9999999999999), and the loader would
// drop the fraction.
void roundClipTimes(const Dictionary& composition) {
    const Value segments = composition.get(keys::segments);
    if (!segments.isDictionary()) return;
    for (const auto& [id, segment] : *segments.dictionary()) {
        if (!segment.isDictionary()) continue;
        Dictionary clip = *segment.dictionary();
        for (const std::string_view key : {keys::startTimeMs, keys::endTimeMs}) {
            const Value v = clip.get(key);
            if (v.kind() == Value::Kind::Double) clip.set(key, std::round(v.doubleReading()));
        }
    }
}

// The conversion keeps the playgraph's own id, which the composition's
// dictionary leaves out, in front.
Dictionary withPlaygraphId(const Dictionary& composition, const Value& source) {
    const Value id = source.dictionary()->get(keys::playgraphId);
    if (!id.isString() || composition.contains(keys::playgraphId)) return composition;
    Dictionary out{{std::string(keys::playgraphId), id}};
    for (const auto& [key, value] : composition)
        out.set(key, value);
    return out;
}

std::shared_ptr<MutableVideoComposition> oneClip(const ComposeOptions& options) {
    return MutableVideoComposition::createVideoCompositionForViewableId(
        Value(*options.viewable), options.name, options.start, options.end, nullptr);
}

Dictionary converted(const ComposeOptions& options) {
    const InputDocument document = readInput(*options.playgraphFile);
    const auto graph = MutablePlaygraph::create(
        document.dictionary, defaultViewableIdFor(options.input, document.dictionary));
    const Value main =
        options.mainViewable ? Value(*options.mainViewable) : graph->mainViewableId();
    return withPlaygraphId(
        MutableVideoComposition::createVideoCompositionForMainViewableId(main, graph)
            ->dictionaryRepresentation(),
        document.dictionary);
}

int runCompose(const ComposeOptions& options) {
    if (!options.viewable && !options.playgraphFile) {
        throw InputError("compose needs --viewable (one clip) or --from-playgraph (conversion)");
    }
    Dictionary composition;
    if (options.viewable) {
        checkClipTimes(options);
        composition = oneClip(options)->dictionaryRepresentation();
        roundClipTimes(composition);
    } else {
        composition = converted(options);
    }
    writeResult(options.output, Value(composition), options.force);
    return exitOk;
}

} // namespace

Command addComposeCommand(CLI::App& app) {
    auto options = std::make_shared<ComposeOptions>();
    CLI::App* command = app.add_subcommand(
        "compose", "Makes a video composition from one clip (--viewable) or from a playgraph "
                   "(--from-playgraph) and writes it as JSON");

    auto* clip = command->add_option_group("one clip");
    auto* viewable = clip->add_option("--viewable", options->viewable, "Viewable id of the clip")
                         ->check(integerCheck());
    auto* start =
        clip->add_option("--start", options->start, "Start of the clip, seconds from 0 (default 0)")
            ->check(secondsCheck());
    auto* end = clip->add_option("--end", options->end,
                                 "End of the clip, seconds (default 0: to the viewable's end)")
                    ->check(secondsCheck());
    auto* name = clip->add_option("--name", options->name, "Clip name (default \"video\")");

    auto* conversion = command->add_option_group("conversion");
    auto* file = conversion
                     ->add_option("--from-playgraph", options->playgraphFile,
                                  "Playgraph JSON file to convert, '-' for standard input")
                     ->check(nonEmptyCheck());
    auto* main = conversion
                     ->add_option("--main-viewable", options->mainViewable,
                                  "Main viewable id written on every segment (default: the "
                                  "playgraph's own)")
                     ->check(integerCheck());
    auto* defaultViewable =
        conversion
            ->add_option("--default-viewable-id", options->input.defaultViewableId,
                         "Viewable id for segments without one in a branching playgraph "
                         "(default: the segments' \"main\" value)")
            ->check(integerCheck());
    for (auto* option : {start, end, name})
        option->needs(viewable);
    for (auto* option : {main, defaultViewable})
        option->needs(file);
    viewable->excludes(file);

    command
        ->add_option("-o,--output", options->output,
                     "Write the composition to this file (default: standard output)")
        ->check(nonEmptyCheck());
    command->add_flag("--force", options->force,
                      "Replace the output file even when it is read-only");
    command->footer(
        "Times are written in milliseconds as JSON doubles (\"endTimeMs\": 20000.0), as the "
        "composition factories store them. One clip: its times as given (1.5 s is 1500.0; "
        "whole milliseconds, the end after the start or 0), with \"main\" set to the "
        "viewable id. A conversion: the segments reachable from the "
        "initial segment, times rounded to whole milliseconds.\n");
    return {command, [options] { return runCompose(*options); }};
}

} // namespace playgraph::tool
