#include "playgraph/composition/VideoComposition.hpp"

#include <cmath>

#include "playgraph/Constants.hpp"
#include "playgraph/Keys.hpp"

namespace playgraph::inline v1 {

Dictionary VideoComposition::oneClipDictionary(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    double endTime, const std::shared_ptr<QZPlaygraphParams>& playgraphParams, bool withMain,
    bool alwaysWithEnd) {
    Dictionary segment;
    if (viewableId.isNumber()) {
        segment.set(keys::viewableId, viewableId);
        if (withMain) segment.set(keys::main, viewableId);
    }
    // Unrounded: 1.001 s is stored as 1000.9999999999999 and reads back as
    // 1000 ms. A product that is not finite has no millisecond reading, so
    // it is left out (start 0, or a clip that plays to the viewable's end).
    if (const double ms = startTime * 1000.0; std::isfinite(ms)) {
        segment.set(keys::startTimeMs, ms);
    }
    if (alwaysWithEnd || endTime > 0.0) {
        if (const double ms = endTime * 1000.0; std::isfinite(ms)) segment.set(keys::endTimeMs, ms);
    }
    if (playgraphParams) MutablePlaygraph::addPlaygraphParams(playgraphParams, segment);

    const std::string segmentId = initialName.value_or("video");
    Dictionary dictionary;
    dictionary.set(keys::initialSegment, segmentId);
    dictionary.set(keys::segments, Dictionary{{segmentId, segment}});
    return dictionary;
}

std::shared_ptr<VideoComposition> VideoComposition::createVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    double endTime, const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    return loaded(std::shared_ptr<VideoComposition>(new VideoComposition()),
                  oneClipDictionary(viewableId, initialName, startTime, endTime, playgraphParams,
                                    /*withMain=*/false, /*alwaysWithEnd=*/false),
                  viewableId);
}

std::shared_ptr<VideoComposition> VideoComposition::createVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    return createVideoCompositionForViewableId(viewableId, initialName, startTime, 0.0,
                                               playgraphParams);
}

void VideoComposition::defineRange(const std::string&, double, double) {}

void VideoComposition::observeRange(const std::string&, double, double) {}

} // namespace playgraph::inline v1
