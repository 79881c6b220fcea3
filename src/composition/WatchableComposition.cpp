#include "playgraph/composition/WatchableComposition.hpp"

namespace playgraph::inline v1 {

namespace {

std::optional<std::string> read(const AtomicValue<std::string>& property) {
    const auto value = property.load();
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

void write(AtomicValue<std::string>& property, std::optional<std::string> value) {
    property.store(value ? std::make_shared<const std::string>(std::move(*value)) : nullptr);
}

} // namespace

std::shared_ptr<WatchableComposition> WatchableComposition::createVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    double endTime, const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    return loaded(std::shared_ptr<WatchableComposition>(new WatchableComposition()),
                  oneClipDictionary(viewableId, initialName, startTime, endTime, playgraphParams,
                                    /*withMain=*/true, /*alwaysWithEnd=*/true),
                  viewableId);
}

std::shared_ptr<WatchableComposition> WatchableComposition::createVideoCompositionForViewableId(
    const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
    const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    return createVideoCompositionForViewableId(viewableId, initialName, startTime, 0.0,
                                               playgraphParams);
}

std::shared_ptr<WatchableComposition> WatchableComposition::createVideoCompositionForMainViewableId(
    const Value& mainViewableId, const std::shared_ptr<QZPlaygraph>& playgraph) {
    return loaded(std::shared_ptr<WatchableComposition>(new WatchableComposition()),
                  conversionDictionary(mainViewableId, playgraph), mainViewableId);
}

std::shared_ptr<WatchableComposition> WatchableComposition::watchableWithVideoId(
    const Value& videoId, const std::optional<std::string>& name, double startTime, double endTime,
    const std::optional<Dictionary>& uiPlayContext,
    const std::shared_ptr<QZPlaygraphParams>& playgraphParams) {
    auto watchable =
        createVideoCompositionForViewableId(videoId, name, startTime, endTime, playgraphParams);
    watchable->setUiPlayContext(uiPlayContext);
    return watchable;
}

std::shared_ptr<WatchableComposition>
WatchableComposition::watchableWithMainViewableId(const Value& mainViewableId,
                                                  const std::shared_ptr<QZPlaygraph>& playgraph,
                                                  const std::optional<Dictionary>& uiPlayContext) {
    auto watchable = createVideoCompositionForMainViewableId(mainViewableId, playgraph);
    watchable->setUiPlayContext(uiPlayContext);
    return watchable;
}

std::optional<Dictionary> WatchableComposition::uiPlayContext() const {
    // The stored container is never changed after it is stored, so copying
    // it needs no lock; the caller gets a container of its own.
    const auto context = uiPlayContext_.load();
    return context ? std::optional<Dictionary>(context->copy()) : std::nullopt;
}

void WatchableComposition::setUiPlayContext(const std::optional<Dictionary>& context) {
    uiPlayContext_.store(context ? std::make_shared<const Dictionary>(context->copy()) : nullptr);
}

std::optional<std::string> WatchableComposition::selectedStartSegmentId() const {
    return read(selectedStartSegmentId_);
}

void WatchableComposition::setSelectedStartSegmentId(std::optional<std::string> segmentId) {
    write(selectedStartSegmentId_, std::move(segmentId));
}

uint64_t WatchableComposition::fetchOptions() const { return fetchOptions_.load(); }

void WatchableComposition::setFetchOptions(uint64_t options) { fetchOptions_.store(options); }

bool WatchableComposition::allowsExternalPlayback() const { return allowsExternalPlayback_.load(); }

void WatchableComposition::setAllowsExternalPlayback(bool allows) {
    allowsExternalPlayback_.store(allows);
}

std::optional<std::string> WatchableComposition::rebuildContextId() const {
    return read(rebuildContextId_);
}

void WatchableComposition::setRebuildContextId(std::optional<std::string> contextId) {
    write(rebuildContextId_, std::move(contextId));
}

std::optional<std::string> WatchableComposition::prereleasePin() const {
    return read(prereleasePin_);
}

void WatchableComposition::setPrereleasePin(std::optional<std::string> pin) {
    write(prereleasePin_, std::move(pin));
}

std::optional<std::string> WatchableComposition::discretePlayType() const {
    return read(discretePlayType_);
}

void WatchableComposition::setDiscretePlayType(std::optional<std::string> playType) {
    write(discretePlayType_, std::move(playType));
}

std::optional<std::string> WatchableComposition::stickySteeringToken() const {
    return read(stickySteeringToken_);
}

void WatchableComposition::setStickySteeringToken(std::optional<std::string> token) {
    write(stickySteeringToken_, std::move(token));
}

} // namespace playgraph::inline v1
