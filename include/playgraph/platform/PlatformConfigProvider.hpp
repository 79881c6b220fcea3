#pragma once

#include <memory>
#include <string_view>

#include "playgraph/Config.hpp"

namespace playgraph::inline v1 {

/// The host's configuration provider: answers feature flags.
///
/// The library asks one flag, "useMainViewableIdInPlaygraph" (default true),
/// while it builds segments. Hosts derive from this class and install their
/// provider with `setShared`; until then `shared()` returns a provider that
/// answers every flag with the default it is asked with.
class PLAYGRAPH_API PlatformConfigProvider {
public:
    virtual ~PlatformConfigProvider() = default;

    /// The flag's value, or `defaultIfNotPresent` when the host does not set it.
    virtual bool isFlagTrue(std::string_view flag, bool defaultIfNotPresent) const;

    /// The process-wide provider (never empty). Safe to call from any thread.
    static std::shared_ptr<const PlatformConfigProvider> shared();
    /// Installs the host's provider; an empty pointer restores the default.
    /// Safe to call from any thread, also while playgraphs are being built.
    static void setShared(std::shared_ptr<const PlatformConfigProvider> provider);
};

/// The flag that decides whether a playgraph takes its main viewable id
/// from the segments' "main" values.
inline constexpr std::string_view UseMainViewableIdInPlaygraphFlag = "useMainViewableIdInPlaygraph";

} // namespace playgraph::inline v1
