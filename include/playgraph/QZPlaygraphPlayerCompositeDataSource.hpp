#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraphPlayerMutableDataSource.hpp"
#include "playgraph/QZPlaygraphSegmentTransitionConfiguration.hpp"

namespace playgraph::inline v1 {

/// A data source over several playgraphs, registered by `playgraphId`, with
/// tracking info per playgraph and inter-playgraph transitions that lead
/// from a segment of one playgraph to a segment of another.
///
/// Implemented by `PlaygraphPlayerCompositeDataSource`, which owns the
/// registered playgraphs and the transitions it adds. Nothing here throws;
/// an empty playgraph or source segment argument makes these operations do
/// nothing.
///
/// Threads: as for `QZPlaygraphPlayerMutableDataSource`: registering
/// playgraphs, tracking info and transitions must not overlap any other call
/// on the data source.
class PLAYGRAPH_API QZPlaygraphPlayerCompositeDataSource
    : public virtual QZPlaygraphPlayerMutableDataSource {
public:
    /// The configure callback of `addTransitionFromSegment`. It receives the
    /// new transition for the duration of the call only.
    using TransitionConfigure = std::function<void(QZPlaygraphSegmentTransitionConfiguration&)>;

    /// Registers `playgraph` under its `playgraphId`, replacing a playgraph
    /// of the same id, and stores `withTrackingInfo` (the dictionary itself,
    /// not a copy) for that id; none removes the id's tracking info.
    virtual void addPlaygraph(const std::shared_ptr<QZPlaygraph>& playgraph,
                              const std::optional<Dictionary>& withTrackingInfo) = 0;
    /// Stores `info` as the tracking info of `forSegment`'s playgraph (which
    /// need not be registered); none removes it. Does nothing when the
    /// segment or its playgraph is gone.
    virtual void updateTrackingInfo(const std::optional<Dictionary>& info,
                                    const std::shared_ptr<QZPlaygraphSegment>& forSegment) = 0;
    /// Adds a transition from `source` to `to` (a segment of another
    /// playgraph, as a rule) made from `properties` ("weight",
    /// "skipRegionOffset" in milliseconds, "autoplayType",
    /// "transitionType"). It replaces an earlier transition from `source` to
    /// a segment with `to`'s segment id, whatever its playgraph. With
    /// `setAsNext`, `to` also becomes the next segment after `source`.
    virtual void addTransitionFromSegment(const std::shared_ptr<QZPlaygraphSegment>& source,
                                          const std::shared_ptr<QZPlaygraphSegment>& to,
                                          bool setAsNext, const Dictionary& properties) = 0;
    /// As above, from no properties; `configure` (when set) is called once
    /// with the new transition, after its source segment and destination
    /// playgraph are set and before it is stored, to set its weight and
    /// skip region offset.
    virtual void addTransitionFromSegment(const std::shared_ptr<QZPlaygraphSegment>& source,
                                          const std::shared_ptr<QZPlaygraphSegment>& to,
                                          bool setAsNext, const TransitionConfigure& configure) = 0;
};

} // namespace playgraph::inline v1
