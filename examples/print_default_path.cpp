// Loads the bundled example playgraph and prints its default path, its
// duration and its segments.

#include <cstdio>
#include <iostream>

#include "playgraph/playgraph.hpp"

using namespace playgraph;

namespace {

// A short branching story: an intro, a choice between two scenes, a shared
// ending and a decorative recap that plays before the credits.
Dictionary bundledStory() {
    return Dictionary{
        {"playgraphId", "heist-story"},
        {"type", "branching"},
        {"initialSegment", "intro"},
        {"segments",
         Dictionary{
             {"intro", Dictionary{{"startTimeMs", 0},
                                  {"endTimeMs", 12000},
                                  {"main", 81},
                                  {"defaultNext", "vault"},
                                  {"next", Dictionary{{"vault", Dictionary{{"weight", 70}}},
                                                      {"rooftop", Dictionary{{"weight", 30},
                                                                             {"transitionType",
                                                                              "immediate"}}}}}}},
             {"vault",
              Dictionary{{"startTimeMs", 12000}, {"endTimeMs", 31500}, {"defaultNext", "recap"}}},
             {"rooftop", Dictionary{{"viewableId", 82},
                                    {"startTimeMs", 0},
                                    {"endTimeMs", 18250},
                                    {"defaultNext", "recap"}}},
             {"recap", Dictionary{{"startTimeMs", 31500},
                                  {"endTimeMs", 36500},
                                  {"defaultNext", "credits"},
                                  {"annotations", Dictionary{{"decorative", true}}}}},
             {"credits", Dictionary{{"viewableId", 83}, {"startTimeMs", 0}, {"endTimeMs", 9000}}},
         }},
    };
}

} // namespace

int main() {
    const auto playgraph = Playgraph::create(bundledStory(), 81);

    std::cout << "playgraph " << playgraph->playgraphId() << " (type "
              << playgraph->type().value_or("none") << ", main viewable "
              << playgraph->mainViewableId().text() << ")\n";
    std::cout << "duration " << formatFixed(playgraph->duration(), 3) << " s\n\n";

    std::cout << "default path:\n";
    playgraph->defaultPathTraversal(
        [](const std::shared_ptr<QZPlaygraphSegment>& s, uint64_t index, bool&) {
            std::printf("  %2llu  %-8s viewable %-3s %8.3f - %8.3f s  offset %8.3f s%s\n",
                        static_cast<unsigned long long>(index), s->segmentId().c_str(),
                        s->viewableId().text().c_str(), s->startTime(), s->endTime(),
                        s->offsetInPlaygraph(), s->isDecorativeSegment() ? "  (decorative)" : "");
        });

    std::cout << "\nsegments:\n";
    for (const auto& [id, segment] : playgraph->segmentMap()) {
        std::cout << "  " << segment->description();
        for (const auto& [destination, transition] : segment->next()) {
            std::cout << "  [" << transition->key() << " weight " << transition->weight().text()
                      << "]";
        }
        std::cout << '\n';
    }
    return 0;
}
