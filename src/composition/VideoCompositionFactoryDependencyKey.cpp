#include "playgraph/composition/VideoCompositionFactoryDependencyKey.hpp"

#include <utility>

#include "playgraph/composition/QZVideoCompositionFactoryImpl.hpp"

namespace playgraph::inline v1 {

namespace {

using FactoryFunction = VideoCompositionFactoryDependencyKey::DependencyType;

FactoryFunction initialFunction() {
    // Nothing is cached: every call makes a new factory.
    return []() -> std::shared_ptr<QZVideoCompositionFactory> {
        return QZVideoCompositionFactoryImpl::create();
    };
}

FactoryFunction& heldFunction() {
    static FactoryFunction function = initialFunction();
    return function;
}

} // namespace

FactoryFunction VideoCompositionFactoryDependencyKey::defaultValue() { return heldFunction(); }

void VideoCompositionFactoryDependencyKey::setDefaultValue(DependencyType function) {
    // The previous function is released when `previous` goes out of scope.
    FactoryFunction previous =
        std::exchange(heldFunction(), function ? std::move(function) : initialFunction());
}

} // namespace playgraph::inline v1
