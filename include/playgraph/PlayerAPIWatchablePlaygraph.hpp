#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "playgraph/Config.hpp"
#include "playgraph/QZMutableVideoComposition.hpp"
#include "playgraph/Value.hpp"

namespace playgraph::inline v1 {

/// A composition that also carries the properties of a playback request.
///
/// The properties are opaque to the library: nothing reads or checks them
/// and none is part of the playgraph dictionary. Each is read and written
/// atomically, from any thread: a read returns a whole value that the reader
/// owns (strings are returned by value, the play context as a new one-level
/// copy), and a setter stores a copy of what it is given. The inherited
/// editing operations have no such protection.
class PLAYGRAPH_API PlayerAPIWatchablePlaygraph : public virtual QZMutableVideoComposition {
public:
    ~PlayerAPIWatchablePlaygraph() override = default;

    /// The UI play context, or none.
    virtual std::optional<Dictionary> uiPlayContext() const = 0;
    virtual std::optional<std::string> selectedStartSegmentId() const = 0;
    virtual void setSelectedStartSegmentId(std::optional<std::string> segmentId) = 0;
    virtual uint64_t fetchOptions() const = 0;
    virtual void setFetchOptions(uint64_t options) = 0;
    virtual bool allowsExternalPlayback() const = 0;
    virtual void setAllowsExternalPlayback(bool allows) = 0;
    virtual std::optional<std::string> rebuildContextId() const = 0;
    virtual void setRebuildContextId(std::optional<std::string> contextId) = 0;
    virtual std::optional<std::string> prereleasePin() const = 0;
    virtual void setPrereleasePin(std::optional<std::string> pin) = 0;
    virtual std::optional<std::string> discretePlayType() const = 0;
    virtual void setDiscretePlayType(std::optional<std::string> playType) = 0;
    virtual std::optional<std::string> stickySteeringToken() const = 0;
    virtual void setStickySteeringToken(std::optional<std::string> token) = 0;
};

} // namespace playgraph::inline v1
