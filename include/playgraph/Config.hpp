#pragma once

/// What every public header shares: the export macro and the version of the
/// interface.
///
/// The library's names live in `playgraph::v1`, an inline namespace: callers
/// write `playgraph::Value`, while the linker sees the version, so that a
/// program built against one version of the interface cannot link silently
/// against another. A change that breaks the binary interface moves to `v2`.
///
/// `PLAYGRAPH_API` marks what the shared libraries export. A shared build
/// (`-DBUILD_SHARED_LIBS=ON`) hides every other symbol, so only the public
/// classes and functions are part of its binary interface. In a static build
/// the mark changes nothing.
///
/// Names across the public headers: enumerators are UpperCamelCase
/// (`JsonStyle::Pretty`, `Value::Kind::Dictionary`), the library's own
/// constants `k` + UpperCamelCase (`kMaxJsonDepth`). The published constants
/// (`QZPlaygraphTransitionTypeLazy`, ...) keep their published names, and
/// `keys::` the spelling of the dictionary keys they stand for.

/// The version of the interface, as the inline namespace names it.
#define PLAYGRAPH_INTERFACE_VERSION 1

#if defined(_WIN32)
// Windows builds are static: nothing is imported from a DLL.
#define PLAYGRAPH_API
#else
#define PLAYGRAPH_API __attribute__((visibility("default")))
#endif
