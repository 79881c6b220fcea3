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

InputDocument readInput(const std::string& file) {
    InputDocument document;
    try {
        if (file.empty()) {
            document.name = "story.json (bundled)";
            document.dictionary = parseJson(bundledStoryJson, document.name);
        } else if (file == "-") {
            document.name = "<stdin>";
            const std::string text(std::istreambuf_iterator<char>(std::cin), {});
            document.dictionary = parseJson(text, document.name);
        } else {
            document.name = file;
            document.dictionary = readJsonFile(file);
        }
    } catch (const JsonError& e) {
        throw InputError(e.what());
    }
    if (!document.dictionary.isDictionary()) {
        throw InputError(document.name + ": the top level is not a JSON object");
    }
    return document;
}

Value defaultViewableIdFor(const InputOptions& options, const Value& dictionary) {
    return options.defaultViewableId ? Value(*options.defaultViewableId)
                                     : firstMainValue(dictionary);
}

LoadedPlaygraph loadPlaygraph(const InputOptions& options) {
    InputDocument document = readInput(options.file);
    LoadedPlaygraph loaded;
    loaded.name = std::move(document.name);
    loaded.dictionary = std::move(document.dictionary);
    loaded.defaultViewableId = defaultViewableIdFor(options, loaded.dictionary);
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
