#pragma once

#include <concepts>
#include <memory>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>
#include <utility>

#include "playgraph/Config.hpp"

namespace playgraph::inline v1 {

/// What a key type of the `DependencyRegistry` supplies: the type of the
/// dependency it stands for (`DependencyType`) and its default value
/// (`dependencyDefaultValue()`), which the registry asks for whenever a
/// request finds nothing registered under the key.
template <class Key>
concept DependencyValue = requires {
    typename Key::DependencyType;
    { Key::dependencyDefaultValue() } -> std::convertible_to<typename Key::DependencyType>;
};

/// A minimal stand-in for the host's dependency registry.
///
/// A request for a key answers with the value registered under it or, when
/// none is, with the key's default value, asked afresh on every request
/// (nothing is cached). Values are stored by copy and owned by the
/// registry. Not synchronized: a registry is used from one thread at a time.
/// Nothing here throws except on allocation failure.
class PLAYGRAPH_API DependencyRegistry {
public:
    /// The value registered under `Key`, else `Key::dependencyDefaultValue()`.
    template <DependencyValue Key> typename Key::DependencyType value() const {
        if (const void* stored = find(typeid(Key))) {
            return *static_cast<const typename Key::DependencyType*>(stored);
        }
        return Key::dependencyDefaultValue();
    }
    /// Registers `value` under `Key`, replacing (and releasing) any earlier one.
    template <DependencyValue Key> void registerValue(typename Key::DependencyType value) {
        store(typeid(Key), std::make_shared<typename Key::DependencyType>(std::move(value)));
    }
    /// Removes what is registered under `Key`; its default applies again.
    template <DependencyValue Key> void unregisterValue() { erase(typeid(Key)); }
    /// True when a value is registered under `Key`.
    template <DependencyValue Key> bool isRegistered() const {
        return find(typeid(Key)) != nullptr;
    }

private:
    const void* find(std::type_index key) const;
    void store(std::type_index key, std::shared_ptr<void> value);
    void erase(std::type_index key);

    std::unordered_map<std::type_index, std::shared_ptr<void>> values_;
};

} // namespace playgraph::inline v1
