#pragma once

#include "playgraph/Config.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

/// The host's opaque per-segment parameters object.
///
/// Hosts derive their parameters class from this one. The library only
/// stores instances (in a segment's user info under
/// "PlaygraphSegmentUserInfoPlaygraphParamsKey", and on compositions),
/// hands them on, and tests whether an object is one. Held by
/// `std::shared_ptr`; a `Value` can carry it as a host object.
///
/// Threads: the library never changes or reads a params object, so its thread
/// safety is the host's.
class PLAYGRAPH_API QZPlaygraphParams : public HostObject {
public:
    ~QZPlaygraphParams() override = default;
};

} // namespace playgraph::inline v1
