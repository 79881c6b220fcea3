#include "playgraph/platform/PlatformConfigProvider.hpp"

#include <mutex>

namespace playgraph::inline v1 {

bool PlatformConfigProvider::isFlagTrue(std::string_view, bool defaultIfNotPresent) const {
    return defaultIfNotPresent;
}

namespace {

struct SharedProvider {
    std::mutex mutex;
    std::shared_ptr<const PlatformConfigProvider> provider;
};

SharedProvider& sharedProvider() {
    static SharedProvider instance;
    return instance;
}

const std::shared_ptr<const PlatformConfigProvider>& defaultProvider() {
    static const std::shared_ptr<const PlatformConfigProvider> instance =
        std::make_shared<PlatformConfigProvider>();
    return instance;
}

} // namespace

std::shared_ptr<const PlatformConfigProvider> PlatformConfigProvider::shared() {
    SharedProvider& s = sharedProvider();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.provider ? s.provider : defaultProvider();
}

void PlatformConfigProvider::setShared(std::shared_ptr<const PlatformConfigProvider> provider) {
    SharedProvider& s = sharedProvider();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.provider = std::move(provider);
}

} // namespace playgraph::inline v1
