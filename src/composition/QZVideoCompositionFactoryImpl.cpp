#include "playgraph/composition/QZVideoCompositionFactoryImpl.hpp"

#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/composition/VideoComposition.hpp"
#include "playgraph/composition/WatchableComposition.hpp"

namespace playgraph::inline v1 {

std::shared_ptr<QZVideoCompositionFactoryImpl> QZVideoCompositionFactoryImpl::create() {
    return std::make_shared<QZVideoCompositionFactoryImpl>();
}

std::shared_ptr<QZVideoComposition>
QZVideoCompositionFactoryImpl::createVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    double endTime, const std::shared_ptr<QZPlaygraphParams>& params) {
    return VideoComposition::createVideoCompositionForViewableId(viewableId, initialName, startTime,
                                                                 endTime, params);
}

std::shared_ptr<QZMutableVideoComposition>
QZVideoCompositionFactoryImpl::createMutableVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    double endTime, const std::shared_ptr<QZPlaygraphParams>& params) {
    return MutableVideoComposition::createVideoCompositionForViewableId(viewableId, initialName,
                                                                        startTime, endTime, params);
}

std::shared_ptr<PlayerAPIWatchablePlaygraph> QZVideoCompositionFactoryImpl::watchableWithVideoId(
    const Value& videoId, const std::optional<std::string>& name, double startTime, double endTime,
    const std::optional<Dictionary>& uiPlayContext,
    const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    return WatchableComposition::watchableWithVideoId(videoId, name, startTime, endTime,
                                                      uiPlayContext, playgraphParams);
}

std::shared_ptr<PlayerAPIWatchablePlaygraph>
QZVideoCompositionFactoryImpl::watchableWithMainVideoId(
    const Value& mainVideoId, const std::shared_ptr<QZPlaygraph>& playgraph,
    const std::optional<Dictionary>& uiPlayContext) {
    return WatchableComposition::watchableWithMainViewableId(mainVideoId, playgraph, uiPlayContext);
}

} // namespace playgraph::inline v1
