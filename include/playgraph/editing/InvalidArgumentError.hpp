#pragma once

#include <stdexcept>
#include <string>

#include "playgraph/Config.hpp"

namespace playgraph::inline v1 {

/// Thrown by the editing operations when an argument is invalid (a segment
/// that does not exist, an id that is taken, reversed or non-finite times).
///
/// `what()` is the reason text exactly, e.g. "Cannot find segment A". An
/// edit that throws has changed nothing: every argument is checked before
/// the first change.
class PLAYGRAPH_API InvalidArgumentError : public std::invalid_argument {
public:
    explicit InvalidArgumentError(const std::string& reason) : std::invalid_argument(reason) {}
};

} // namespace playgraph::inline v1
