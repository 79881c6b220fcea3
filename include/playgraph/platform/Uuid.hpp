#pragma once

#include <string>

namespace playgraph {

/// A new random (version 4) UUID in its 36-character upper-case text form,
/// hexadecimal groups of 8-4-4-4-12 digits joined by hyphens.
/// Safe to call from any thread (each thread has its own generator).
std::string makeUuidString();

} // namespace playgraph
