// The README's usage snippet, built against an installed playgraph.

#include <playgraph/playgraph.hpp>

#include <iostream>

using namespace playgraph;

int main() {
    Dictionary dictionary{{"initialSegment", "intro"},
                          {"segments", Dictionary{{"intro", Dictionary{{"viewableId", 81},
                                                                       {"startTimeMs", 0},
                                                                       {"endTimeMs", 8000},
                                                                       {"defaultNext", "scene"}}},
                                                  {"scene", Dictionary{{"viewableId", 81},
                                                                       {"startTimeMs", 8000},
                                                                       {"endTimeMs", 20000}}}}}};

    auto graph = Playgraph::create(dictionary, /*defaultViewableId=*/81);
    std::cout << "duration " << graph->duration() << " s\n";
    std::cout << "at 12.5 s: " << graph->segmentIdAtPlaygraphTime(12.5).value_or("none") << "\n";
    graph->defaultPathTraversal([](const auto& segment, uint64_t index, bool&) {
        std::cout << index << ": " << segment->description() << "\n";
    });
    return graph->segmentIdAtPlaygraphTime(12.5) == "scene" ? 0 : 1;
}
