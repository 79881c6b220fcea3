#include <cmath>
#include <iostream>
#include <iterator>
#include <string>

#include "Tool.hpp"
#include "playgraph/json/Json.hpp"

namespace playgraph::tool {

void addInputOptions(CLI::App& command, InputOptions& options) {
    command.add_option("file", options.file,
                       "Playgraph JSON file, '-' for standard input (default: the bundled "
                       "examples/story.json)");
    command.add_option("--default-viewable-id", options.defaultViewableId,
                       "Viewable id for segments without one in a branching playgraph "
                       "(default: the segments' \"main\" value)");
}

namespace {

Value firstMainValue(const Value& dictionary) {
    const Value segments = dictionary.dictionary()->get("segments");
    if (!segments.isDictionary()) return Value();
    for (const auto& [id, segment] : *segments.dictionary()) {
        if (!segment.isDictionary()) continue;
        const Value main = segment.dictionary()->get("main");
        if (main.isNumber()) return main;
    }
    return Value();
}

} // namespace

LoadedPlaygraph loadPlaygraph(const InputOptions& options) {
    LoadedPlaygraph loaded;
    try {
        if (options.file.empty()) {
            loaded.name = "story.json (bundled)";
            loaded.dictionary = parseJson(bundledStoryJson, loaded.name);
        } else if (options.file == "-") {
            loaded.name = "<stdin>";
            const std::string text(std::istreambuf_iterator<char>(std::cin), {});
            loaded.dictionary = parseJson(text, loaded.name);
        } else {
            loaded.name = options.file;
            loaded.dictionary = readJsonFile(options.file);
        }
    } catch (const JsonError& e) {
        throw InputError(e.what());
    }
    if (!loaded.dictionary.isDictionary()) {
        throw InputError(loaded.name + ": the top level is not a JSON object");
    }
    loaded.defaultViewableId = options.defaultViewableId ? Value(*options.defaultViewableId)
                                                         : firstMainValue(loaded.dictionary);
    loaded.playgraph = Playgraph::create(loaded.dictionary, loaded.defaultViewableId);
    return loaded;
}

std::string seconds(double value) {
    if (std::isnan(value)) return "?";
    return formatFixed(value, 3);
}

std::string valueText(const Value& value) {
    if (value.isAbsent()) return "none";
    return value.text();
}

} // namespace playgraph::tool
