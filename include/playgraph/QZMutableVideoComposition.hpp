#pragma once

#include <memory>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZMutablePlaygraph.hpp"
#include "playgraph/QZVideoComposition.hpp"
#include "playgraph/Value.hpp"
#include "playgraph/platform/QZPlaygraphParams.hpp"

namespace playgraph::inline v1 {

/// A video composition that can be edited clip by clip.
///
/// Each effective clip operation is one edit of the editable playgraph and
/// throws its `InvalidArgumentError` (e.g. "Cannot find segment X"), leaving
/// the composition untouched. The operations documented as doing nothing
/// check nothing, change nothing and never throw. Times are seconds within
/// the viewable; `viewableId` is a number (or none); `params` may be empty.
///
/// Threads: a clip operation is an edit and, as for `QZMutablePlaygraph`,
/// must not overlap any other call on the composition or its objects.
class PLAYGRAPH_API QZMutableVideoComposition : public virtual QZVideoComposition,
                                                public virtual QZMutablePlaygraph {
public:
    ~QZMutableVideoComposition() override = default;

    /// Cuts `clipName` in two at `atOffset` seconds from its start (as
    /// `splitSegment`).
    virtual void splitClip(const std::string& clipName, double atOffset,
                           const std::string& firstClipName, const std::string& secondClipName) = 0;
    /// Does nothing.
    virtual void combineClip1(const std::string& clip1, const std::string& withClip2,
                              const std::string& newClipName) = 0;
    /// Inserts a clip in front of the initial clip; it becomes the initial clip.
    virtual void prependClip(const std::string& newClipName, const Value& viewableId,
                             double startTime, double endTime,
                             const std::shared_ptr<QZPlaygraphParams>& params) = 0;
    /// Adds a clip after the last clip of the default path, as its default
    /// next. Throws "Cannot find segment (null)" when the default path has
    /// no last clip (no initial clip, or a path that loops or leads nowhere).
    virtual void appendClip(const std::string& newClipName, const Value& viewableId,
                            double startTime, double endTime,
                            const std::shared_ptr<QZPlaygraphParams>& params) = 0;
    /// Adds a clip after `afterClip` as its default next.
    virtual void insertClip(const std::string& newClipName, const Value& viewableId,
                            double startTime, double endTime, const std::string& afterClip,
                            const std::shared_ptr<QZPlaygraphParams>& params) = 0;
    /// Removes a clip, redirecting the transitions into it as `removeSegment`
    /// does.
    virtual void removeClip(const std::string& clipName) = 0;
    /// Does nothing.
    virtual void makeRangeSkippable(const std::string& rangeName) = 0;
    /// Does nothing.
    virtual void localizeClip(const std::string& clipName, const std::string& forLocale,
                              const Value& localizedViewableId, double startTime) = 0;
};

} // namespace playgraph::inline v1
