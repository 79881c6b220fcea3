#pragma once

#include <memory>

#include "playgraph/Config.hpp"

namespace playgraph::inline v1 {

class QZPlaygraph;
class QZPlaygraphSegment;
class QZPlaygraphPlayerMutableDataSource;

/// The host's observer of a data source's changes.
///
/// A data source holds its observer weakly (`std::weak_ptr`): an observer
/// that is gone is simply not called. Calls come synchronously on the
/// caller's thread, inside the operation that made the change and after
/// the data source's state has changed, so the observer may read (and
/// change) the data source from inside a call. The host implements it; the
/// library ignores what the calls do.
///
/// Threads: called on the thread that made the change, never from a thread of
/// the library's own.
class PLAYGRAPH_API QZPlaygraphPlayerDataSourceChangeObserver {
public:
    virtual ~QZPlaygraphPlayerDataSourceChangeObserver() = default;

    /// The next segment after `segment` (the object the caller passed) was
    /// set or cleared on `dataSource`.
    virtual void dataSourceDidChangeNextSegmentAfterSegment(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const std::shared_ptr<QZPlaygraphSegment>& segment) = 0;
    /// `dataSource` replaced its playgraph with `playgraph`.
    virtual void dataSourceDidUpdatePlaygraph(
        const std::shared_ptr<QZPlaygraphPlayerMutableDataSource>& dataSource,
        const std::shared_ptr<QZPlaygraph>& playgraph) = 0;
};

} // namespace playgraph::inline v1
