#pragma once

// Reading several keys of one small dictionary at once. Internal header.

#include <array>
#include <cstddef>
#include <string_view>

#include "playgraph/Value.hpp"

namespace playgraph::inline v1::detail {

/// The values under each of `keys` in `d` (nullptr where absent), as `find`
/// gives them. A small dictionary is read in one pass, comparing each key
/// only with the wanted keys of its length and first character; a large
/// one is searched key by key.
template <std::size_t N>
std::array<const Value*, N> findEach(const Dictionary& d,
                                     const std::array<std::string_view, N>& keys) {
    std::array<const Value*, N> out{};
    if (d.size() > 2 * N) {
        for (std::size_t i = 0; i < N; ++i)
            out[i] = d.find(keys[i]);
        return out;
    }
    std::size_t left = N;
    for (const auto& [key, value] : d) {
        for (std::size_t i = 0; i < N; ++i) {
            const std::string_view wanted = keys[i];
            if (key.size() != wanted.size() || (!wanted.empty() && key[0] != wanted[0])) continue;
            if (std::string_view(key) != wanted) continue;
            out[i] = &value;
            --left;
            break;
        }
        if (left == 0) break;
    }
    return out;
}

} // namespace playgraph::inline v1::detail
