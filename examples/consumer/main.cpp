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
    std::string text = writeJson(graph->dictionaryRepresentation(), JsonStyle::Pretty);
    std::cout << text << "\n";
    return graph->duration() == 13.0 && parseJson(text).dictionary()->contains("segments");
}

// Two authors' edits of one story, compared and merged by id.
bool mergeTwoEdits() {
    Value base = parseJson(R"({"initialSegment": "intro", "segments": {
        "intro": {"startTimeMs": 0, "endTimeMs": 8000, "next": {"scene": {"weight": 70}}},
        "scene": {"startTimeMs": 8000, "endTimeMs": 20000}}})");
    Value ours = base.deepCopy(), theirs = base.deepCopy();
    MutablePlaygraph::create(ours)->splitSegment("scene", 4.0, "scene", "scene-b");
    MutablePlaygraph::create(theirs)->updatePropertiesForTransitionFrom("intro", "scene",
                                                                        Dictionary{{"weight", 90}});

    for (const PlaygraphChange& change : diff(base, theirs)) // one change: re-weighted
        std::cout << changeKindName(change.kind) << " " << keyPathText(change.path) << ": "
                  << change.before.text() << " -> " << change.after.text() << "\n";
    MergeResult result = merge(base, ours, theirs); // both edits, no conflicts
    std::cout << writeJson(result.merged, JsonStyle::Canonical) << "\n";
    return result.conflicts.empty() && apply(base, diff(base, ours)) == ours &&
           MutablePlaygraph::create(result.merged)->segmentById("scene-b") != nullptr;
}

// Play a branching story: what to fetch, when to choose, where the viewer is.
bool playAStory() {
    auto graph = Playgraph::create(parseJson(R"({"initialSegment": "intro", "segments": {
        "intro": {"viewableId": 81, "startTimeMs": 0, "endTimeMs": 12000, "defaultNext": "vault",
                  "next": {"vault": {"weight": 70}, "rooftop": {"weight": 30}}},
        "vault": {"viewableId": 81, "startTimeMs": 12000, "endTimeMs": 31500},
        "rooftop": {"viewableId": 82, "startTimeMs": 0, "endTimeMs": 18000}}})"));
    auto source = PlaygraphPlayerMutableDataSource::create(graph, std::nullopt);
    auto session = PlaybackSession::create(source, {/*prefetchLead=*/2.0, /*decisionWindow=*/5.0});

    for (const PrefetchEntry& entry : session->prefetchPlan(/*horizonSeconds=*/30).entries)
        std::cout << "fetch " << entry.viewableId.text() << " " << entry.fromTime << "-"
                  << entry.toTime << " s, p=" << entry.probability << "\n";
    if (auto decision = session->currentDecision()) // its window, deadline and ways on
        std::cout << "choose by " << decision->deadline << " s among " << decision->waysOn.size()
                  << " ways\n";
    session->advance(8.0);      // as the video plays
    session->choose("rooftop"); // before the deadline
    session->segmentEnded();    // on to the chosen segment
    std::cout << "now " << session->position().segment->segmentId() << " at "
              << session->sessionTime() << " s of " << session->duration().seconds << " s\n";
    return session->position().segment->segmentId() == "rooftop" &&
           session->duration().seconds == 30.0;
}

} // namespace

int main() {
    const bool played = playAStory();
    const bool queried = queryAPlaygraph();
    const bool edited = editJson();
    const bool merged = mergeTwoEdits();
    return played && queried && edited && merged ? 0 : 1;
}
