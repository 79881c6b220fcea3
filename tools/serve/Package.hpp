#pragma once

// The JavaScript package (web/: index.js and the WebAssembly module in
// dist/) that the Play view of `playgraph serve` and the pages written by
// `playgraph export-player` run on. The tool does not carry it: it is found
// at run time, so a rebuilt package needs no rebuilt tool.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace playgraph::tool::serve {

/// The package's files a page loads, relative to the package folder.
const std::vector<std::string>& webPackageFiles();

/// The package folder: `option` when given (an `InputError` naming it when
/// it holds no built package), else $PLAYGRAPH_WEB, else the one installed
/// beside the tool (<prefix>/share/playgraph/web), else the source tree's
/// web/ this tool was built from. None when none of these holds one.
std::optional<std::filesystem::path> findWebPackage(const std::string& option);

/// What to do when there is no package, for the page and the terminal.
std::string missingWebPackageMessage();

/// The content type of a package file by its name.
std::string_view webContentType(const std::string& file);

} // namespace playgraph::tool::serve
