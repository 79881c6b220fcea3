#include "Package.hpp"

#include <cstdlib>
#include <system_error>

#include "Tool.hpp"

namespace playgraph::tool::serve {

namespace fs = std::filesystem;

namespace {

bool holdsPackage(const fs::path& folder) {
    std::error_code error;
    for (const auto& file : webPackageFiles())
        if (!fs::is_regular_file(folder / file, error)) return false;
    return true;
}

} // namespace

const std::vector<std::string>& webPackageFiles() {
    static const std::vector<std::string> files = {"index.js", "dist/playgraph-core.mjs",
                                                   "dist/playgraph-core.wasm"};
    return files;
}

std::optional<fs::path> findWebPackage(const std::string& option) {
    if (!option.empty()) {
        if (!holdsPackage(option))
            throw InputError("--web " + option +
                             ": not a built JavaScript package (index.js and "
                             "dist/playgraph-core.{mjs,wasm}; scripts/web.sh builds web/)");
        return fs::path(option);
    }
    std::vector<fs::path> candidates;
    if (const char* variable = std::getenv("PLAYGRAPH_WEB"); variable && *variable)
        candidates.emplace_back(variable);
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) candidates.push_back(self.parent_path().parent_path() / "share/playgraph/web");
#ifdef PLAYGRAPH_WEB_SOURCE_DIR
    candidates.emplace_back(PLAYGRAPH_WEB_SOURCE_DIR);
#endif
    for (const auto& candidate : candidates)
        if (holdsPackage(candidate)) return candidate;
    return std::nullopt;
}

std::string missingWebPackageMessage() {
    return "the JavaScript package is not built: run scripts/web.sh, or name a built "
           "package with --web DIR or PLAYGRAPH_WEB";
}

std::string_view webContentType(const std::string& file) {
    if (file.ends_with(".wasm")) return "application/wasm";
    // With a charset: Debian's cpp-httplib would compress the bare type.
    return "application/javascript; charset=utf-8";
}

} // namespace playgraph::tool::serve
