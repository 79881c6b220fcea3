// Writing results: to standard output, or to a file replaced in one step.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

namespace fs = std::filesystem;

std::string systemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// The permissions a new file gets: 0666 less the process's umask.
fs::perms newFilePermissions() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<fs::perms>(0666 & ~mask);
}

bool writeAll(int fd, const std::string& text) {
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void writeOutput(const std::string& path, const std::string& text) {
    if (path.empty() || path == "-") {
        std::cout << text << std::flush;
        if (!std::cout) throw InputError("cannot write to standard output");
        return;
    }

    const fs::path target(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) throw InputError(path + ": is a directory");
    const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern =
        (directory / ("." + target.filename().string() + ".playgraph-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');

    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw InputError(systemError(path + ": cannot create a temporary file", errno));
    const fs::path temporary(name.data());
    const auto fail = [&](const std::string& what, int error) {
        ::close(fd);
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw InputError(systemError(path + ": " + what, error));
    };

    if (!writeAll(fd, text)) fail("cannot write", errno);
    if (::fsync(fd) != 0) fail("cannot write", errno);
    const fs::file_status existing = fs::status(target, ec);
    const fs::perms permissions =
        fs::exists(existing) ? existing.permissions() : newFilePermissions();
    if (::fchmod(fd, static_cast<mode_t>(permissions)) != 0) fail("cannot set permissions", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw InputError(systemError(path + ": cannot write", error));
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw InputError(systemError(path + ": cannot replace", error));
    }
}

} // namespace playgraph::tool
