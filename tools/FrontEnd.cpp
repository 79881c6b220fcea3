#include "FrontEnd.hpp"

#include <climits>
#include <cmath>
#include <cstdint>

#include "../src/DictionaryFormat.hpp"
#include "playgraph/Keys.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::tool {

Value firstMainValue(const Value& dictionary) {
    if (!dictionary.isDictionary()) return Value();
    const Value segments = dictionary.dictionary()->get(keys::segments);
    if (!segments.isDictionary()) return Value();
    for (const auto& [id, segment] : *segments.dictionary()) {
        if (!segment.isDictionary()) continue;
        const Value main = segment.dictionary()->get(keys::main);
        if (main.isNumber()) return main;
    }
    return Value();
}

namespace {

// Whole milliseconds of a stored time, as the loader reads it.
int64_t storedMilliseconds(const Dictionary& segment, std::string_view key) {
    return format::storedMilliseconds(segment.find(key)).value_or(0);
}

} // namespace

std::optional<std::string> splitOffsetProblem(const MutablePlaygraph& graph,
                                              const std::string& segmentId, double offsetSeconds) {
    const auto segment = graph.segmentById(segmentId);
    const Value segments = graph.dictionaryRepresentation().get(keys::segments);
    const Value entry = segments.isDictionary() ? segments.dictionary()->get(segmentId) : Value();
    if (!segment || !entry.isDictionary()) return std::nullopt;
    const Dictionary& stored = *entry.dictionary();
    const double offsetMs = std::trunc(offsetSeconds * 1000.0);
    const int64_t lengthMs = segment->playToViewableEnd()
                                 ? INT64_MAX
                                 : storedMilliseconds(stored, keys::endTimeMs) -
                                       storedMilliseconds(stored, keys::startTimeMs);
    if (offsetMs >= 1.0 && offsetMs < static_cast<double>(lengthMs)) return std::nullopt;
    return "OFFSET " + formatFixed(offsetSeconds, 3) + " s is not inside segment " + segmentId +
           (segment->playToViewableEnd()
                ? std::string(
                      ", which plays to the end of its viewable: it must be at least 0.001 s")
                : " of " + formatFixed(static_cast<double>(lengthMs) / 1000.0, 3) +
                      " s: it must lie strictly between 0 and that length");
}

bool isOnDefaultPath(const QZPlaygraph& graph, const std::shared_ptr<QZPlaygraphSegment>& segment) {
    // The library maps a viewable time only for segments of the default path.
    return segment &&
           !std::isnan(graph.playgraphOffsetForPlayerTime(segment->startTime(), segment));
}

} // namespace playgraph::tool
