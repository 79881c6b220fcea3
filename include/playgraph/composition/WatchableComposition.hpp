#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/PlayerAPIWatchablePlaygraph.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/composition/AtomicValue.hpp"
#include "playgraph/composition/MutableVideoComposition.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

/// A composition made for a playback request: a `MutableVideoComposition`
/// that also carries the eight playback-request properties.
///
/// The properties start as false, 0 and none. Each is read and written
/// atomically from any thread (see `PlayerAPIWatchablePlaygraph`): setters
/// store a copy (the play context as a one-level `Dictionary::copy()`), and
/// `uiPlayContext()` returns a new one-level copy, so no caller shares the
/// stored container. Everything else is the composition's and is used from
/// one thread at a time.
///
/// The class factories mirror those of `MutableVideoComposition` and make a
/// `WatchableComposition`; they never throw except on allocation failure.
class PLAYGRAPH_API WatchableComposition : public MutableVideoComposition,
                                           public virtual PlayerAPIWatchablePlaygraph {
public:
    /// As `MutableVideoComposition::createVideoCompositionForViewableId`.
    static std::shared_ptr<WatchableComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        double endTime, const std::shared_ptr<QZPlaygraphParams>& playgraphParams);
    /// The five-argument factory with end 0.
    static std::shared_ptr<WatchableComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        const std::shared_ptr<QZPlaygraphParams>& playgraphParams);
    /// As `MutableVideoComposition::createVideoCompositionForMainViewableId`.
    static std::shared_ptr<WatchableComposition>
    createVideoCompositionForMainViewableId(const Value& mainViewableId,
                                            const std::shared_ptr<QZPlaygraph>& playgraph);

    /// A one-clip watchable (with "main" and "endTimeMs") carrying
    /// `uiPlayContext`.
    static std::shared_ptr<WatchableComposition>
    watchableWithVideoId(const Value& videoId, const std::optional<std::string>& name,
                         double startTime, double endTime,
                         const std::optional<Dictionary>& uiPlayContext,
                         const std::shared_ptr<QZPlaygraphParams>& playgraphParams);
    /// A watchable converted from `playgraph`, carrying `uiPlayContext`.
    static std::shared_ptr<WatchableComposition>
    watchableWithMainViewableId(const Value& mainViewableId,
                                const std::shared_ptr<QZPlaygraph>& playgraph,
                                const std::optional<Dictionary>& uiPlayContext);

    // PlayerAPIWatchablePlaygraph
    std::optional<Dictionary> uiPlayContext() const override;
    /// Stores a one-level copy of `context` (none clears it).
    void setUiPlayContext(const std::optional<Dictionary>& context);
    std::optional<std::string> selectedStartSegmentId() const override;
    void setSelectedStartSegmentId(std::optional<std::string> segmentId) override;
    uint64_t fetchOptions() const override;
    void setFetchOptions(uint64_t options) override;
    bool allowsExternalPlayback() const override;
    void setAllowsExternalPlayback(bool allows) override;
    std::optional<std::string> rebuildContextId() const override;
    void setRebuildContextId(std::optional<std::string> contextId) override;
    std::optional<std::string> prereleasePin() const override;
    void setPrereleasePin(std::optional<std::string> pin) override;
    std::optional<std::string> discretePlayType() const override;
    void setDiscretePlayType(std::optional<std::string> playType) override;
    std::optional<std::string> stickySteeringToken() const override;
    void setStickySteeringToken(std::optional<std::string> token) override;

protected:
    WatchableComposition() = default;

private:
    std::atomic<bool> allowsExternalPlayback_{false};
    AtomicValue<std::string> selectedStartSegmentId_;
    AtomicValue<Dictionary> uiPlayContext_;
    std::atomic<uint64_t> fetchOptions_{0};
    AtomicValue<std::string> rebuildContextId_;
    AtomicValue<std::string> prereleasePin_;
    AtomicValue<std::string> discretePlayType_;
    AtomicValue<std::string> stickySteeringToken_;
};

} // namespace playgraph::inline v1
