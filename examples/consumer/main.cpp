// The README's usage snippets, built against an installed playgraph: the
// core library (playgraph::playgraph) and the JSON library (playgraph::json).

#include <playgraph/json/Json.hpp>
#include <playgraph/playgraph.hpp>

#include <iostream>
#include <string>

using namespace playgraph;

namespace {

// Build a playgraph from a dictionary and ask it a player's questions.
bool queryAPlaygraph() {
    Dictionary intro{
        {"viewableId", 81}, {"startTimeMs", 0}, {"endTimeMs", 8000}, {"defaultNext", "scene"}};
    Dictionary scene{{"viewableId", 81}, {"startTimeMs", 8000}, {"endTimeMs", 20000}};
    Dictionary dictionary{{"initialSegment", "intro"},
                          {"segments", Dictionary{{"intro", intro}, {"scene", scene}}}};

    auto graph = Playgraph::create(dictionary, /*defaultViewableId=*/81);
    std::cout << "duration " << graph->duration() << " s\n";
    std::cout << "at 12.5 s: " << graph->segmentIdAtPlaygraphTime(12.5).value_or("none") << "\n";
    graph->defaultPathTraversal([](const auto& segment, uint64_t index, bool& /*stop*/) {
        std::cout << index << ": " << segment->description() << "\n";
    });
    return graph->segmentIdAtPlaygraphTime(12.5) == "scene";
}

// Parse JSON, edit the playgraph, write it back as JSON.
bool editJson() {
    Value dictionary = parseJson(R"({
        "initialSegment": "intro",
        "segments": { "intro": { "viewableId": 81, "startTimeMs": 0, "endTimeMs": 8000 } }
    })"); // or readJsonFile("story.json"); both throw JsonError on malformed input

    auto graph = MutablePlaygraph::create(dictionary);
    try {
        graph->splitSegment("intro", 3.0, "intro", "scene");
        graph->insertSegmentAfter("scene", "credits", /*viewableId=*/82, 0.0, 5.0,
                                  /*asDeafaultNext=*/true, /*params=*/nullptr);
        graph->removeSegment("no-such-segment");
    } catch (const InvalidArgumentError& e) {
        std::cout << "refused: " << e.what() << "\n"; // "Cannot find segment no-such-segment"
    }
    std::string text = writeJson(graph->dictionaryRepresentation(), JsonStyle::pretty);
    std::cout << text << "\n";
    return graph->duration() == 13.0 && parseJson(text).dictionary()->contains("segments");
}

} // namespace

int main() {
    const bool queried = queryAPlaygraph();
    const bool edited = editJson();
    return queried && edited ? 0 : 1;
}
