#include "playgraph/platform/DependencyRegistry.hpp"

#include <utility>

namespace playgraph::inline v1 {

const void* DependencyRegistry::find(std::type_index key) const {
    const auto it = values_.find(key);
    return it == values_.end() ? nullptr : it->second.get();
}

void DependencyRegistry::store(std::type_index key, std::shared_ptr<void> value) {
    values_.insert_or_assign(key, std::move(value));
}

void DependencyRegistry::erase(std::type_index key) { values_.erase(key); }

} // namespace playgraph::inline v1
