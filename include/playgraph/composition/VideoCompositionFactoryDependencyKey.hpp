#pragma once

#include <functional>
#include <memory>

#include "playgraph/Config.hpp"
#include "playgraph/QZVideoCompositionFactory.hpp"
#include "playgraph/platform/DependencyRegistry.hpp"

namespace playgraph::inline v1 {

/// The dependency key under which hosts find the composition factory.
///
/// `defaultValue` is one process-wide function, readable and writable; its
/// initial value makes a new `QZVideoCompositionFactoryImpl` on every call
/// (two calls give two distinct factories). A registry request for the key
/// (`dependencyDefaultValue`) receives the function held at that moment: a
/// function handed out earlier keeps making factories its own way after a
/// later `setDefaultValue`.
///
/// Accesses to the default are not synchronized: no access may overlap a
/// write (a program that replaces it while other threads may read it must
/// order those accesses itself). Nothing here throws except on allocation
/// failure.
struct PLAYGRAPH_API VideoCompositionFactoryDependencyKey {
    using DependencyType = std::function<std::shared_ptr<QZVideoCompositionFactory>()>;

    /// The function held now (never empty).
    static DependencyType defaultValue();
    /// Stores `function` and releases the previous one; an empty function
    /// restores the initial one.
    static void setDefaultValue(DependencyType function);
    /// The registry's default for this key: the function held now.
    static DependencyType dependencyDefaultValue() { return defaultValue(); }
};

static_assert(DependencyValue<VideoCompositionFactoryDependencyKey>);

} // namespace playgraph::inline v1
