#pragma once

#include <memory>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZPlaygraph.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

/// A video composition: a playgraph assembled from clips (a clip is a
/// segment, a clip name a segment id).
///
/// Implemented by `VideoComposition` and its subclasses, which are editable
/// playgraphs. `duration` (from `QZPlaygraph`) is the length of the default
/// path. The range operations are accepted and ignored: they check nothing,
/// change nothing and never throw.
///
/// Threads: as for `QZPlaygraph`: reads may overlap each other; nothing that
/// changes the composition may overlap any other call on it.
class PLAYGRAPH_API QZVideoComposition : public virtual QZPlaygraph {
public:
    ~QZVideoComposition() override = default;

    /// Does nothing.
    virtual void defineRange(const std::string& rangeName, double startTime, double endTime) = 0;
    /// Does nothing.
    virtual void observeRange(const std::string& rangeName, double startTime, double endTime) = 0;
    /// The caller's parameters slot (shared, empty at creation); the
    /// composition itself never reads it.
    virtual std::shared_ptr<QZPlaygraphParams> params() const = 0;
};

} // namespace playgraph::inline v1
