#pragma once

#include <memory>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZVideoComposition.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/editing/MutablePlaygraph.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

/// A video composition: an editable playgraph built from clips.
///
/// All of its state except `params` is the editable playgraph's dictionary,
/// so every editing operation of `MutablePlaygraph` works on it unchanged
/// (and throws as documented there). `params` is a slot for the caller,
/// shared, empty at creation, never read by the library.
///
/// The class factories always make a plain `VideoComposition`; subclasses
/// provide their own factories of the same names that make their own class.
/// The factories never throw except on allocation failure.
///
/// Threads: as for `MutablePlaygraph`; the factories may run on any threads
/// at once.
class PLAYGRAPH_API VideoComposition : public MutablePlaygraph, public virtual QZVideoComposition {
public:
    /// A composition of one clip named `initialName` (or "video"), which is
    /// also the initial segment: "viewableId" (when it is a number),
    /// "startTimeMs" = `startTime` x 1000 and, only when `endTime` > 0,
    /// "endTimeMs" = `endTime` x 1000, both stored as unrounded doubles, and
    /// `params` in the segment's user info when given. No "main", so
    /// `mainViewableId` stays none. A product that is not finite is left
    /// out: a non-finite start reads as 0, an infinite end as play-to-end.
    static std::shared_ptr<VideoComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        double endTime, const std::shared_ptr<QZPlaygraphParams>& playgraphParams);
    /// The five-argument factory with end 0: the clip plays to the end of
    /// its viewable.
    static std::shared_ptr<VideoComposition> createVideoCompositionForViewableId(
        const Value& viewableId, const std::optional<std::string>& initialName, double startTime,
        const std::shared_ptr<QZPlaygraphParams>& playgraphParams);

    // QZVideoComposition
    void defineRange(const std::string& rangeName, double startTime, double endTime) override;
    void observeRange(const std::string& rangeName, double startTime, double endTime) override;
    std::shared_ptr<QZPlaygraphParams> params() const override { return params_; }
    void setParams(std::shared_ptr<QZPlaygraphParams> params) { params_ = std::move(params); }

protected:
    VideoComposition() = default;

    /// The dictionary of a one-clip composition (see the factories).
    /// `withMain` writes "main" = `viewableId`; `alwaysWithEnd` writes
    /// "endTimeMs" whatever the end (when finite).
    static Dictionary oneClipDictionary(const Value& viewableId,
                                        const std::optional<std::string>& initialName,
                                        double startTime, double endTime,
                                        const std::shared_ptr<QZPlaygraphParams>& playgraphParams,
                                        bool withMain, bool alwaysWithEnd);

    /// Builds `composition` (already owned by a `std::shared_ptr`) from
    /// `dictionary` and returns it.
    template <class T>
    static std::shared_ptr<T> loaded(std::shared_ptr<T> composition, const Dictionary& dictionary,
                                     const Value& defaultViewableId) {
        composition->initialize(Value(dictionary), defaultViewableId);
        return composition;
    }

private:
    std::shared_ptr<QZPlaygraphParams> params_;
};

} // namespace playgraph::inline v1
