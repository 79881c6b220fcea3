#pragma once

#include <string>

#include "playgraph/Config.hpp"

namespace playgraph::inline v1 {

/// A new random (version 4) UUID in its 36-character upper-case text form,
/// hexadecimal groups of 8-4-4-4-12 digits joined by hyphens.
/// Safe to call from any thread (each thread has its own generator).
PLAYGRAPH_API std::string makeUuidString();

} // namespace playgraph::inline v1
