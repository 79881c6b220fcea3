// Writing results: to standard output, straight into what is not a regular
// file, or to a regular file replaced in one step.

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Tool.hpp"

namespace playgraph::tool {

namespace {

namespace fs = std::filesystem;

std::string systemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
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

// The directory of `path` with every link in it resolved.
fs::path realDirectoryOf(const fs::path& path, const std::string& name) {
    const fs::path directory = path.has_parent_path() ? path.parent_path() : fs::path(".");
    char resolved[PATH_MAX];
    if (!::realpath(directory.c_str(), resolved)) {
        throw InputError(systemError(name + ": cannot write", errno));
    }
    return resolved;
}

// Where a path leads once its links are followed: a file (which may not
// exist yet), or one of the kernel's open descriptors (/dev/stdout,
// /dev/fd/N, /proc/N/fd/N), which is written straight through.
struct Destination {
    fs::path file;
    bool descriptorLink = false;
    int ownDescriptor = -1; // a descriptor of this process, written as it is
};

Destination destinationOf(const std::string& path) {
    fs::path current(path);
    for (int hops = 0; hops < 40; ++hops) {
        const fs::path directory = realDirectoryOf(current, path);
        const fs::path full = directory / current.filename();
        const std::string d = directory.string();
        if (d.rfind("/proc/", 0) == 0 && d.size() > 9 && d.find('/', 6) == d.size() - 3 &&
            d.compare(d.size() - 3, 3, "/fd") == 0) {
            Destination link{full, true};
            int number = 0;
            const std::string n = current.filename().string();
            const auto [stop, error] = std::from_chars(n.data(), n.data() + n.size(), number);
            if (d == "/proc/" + std::to_string(::getpid()) + "/fd" && error == std::errc() &&
                stop == n.data() + n.size()) {
                link.ownDescriptor = number;
            }
            return link;
        }
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(full, ec))) return {full};
        const fs::path next = fs::read_symlink(full, ec);
        if (ec) throw InputError(systemError(path + ": cannot follow the link", ec.value()));
        current = next.is_absolute() ? next : directory / next;
    }
    throw InputError(systemError(path + ": cannot follow the link", ELOOP));
}

// Writes into what `file` names as it is: no temporary file, no rename.
void writeDirectly(const Destination& destination, const std::string& name,
                   const std::string& text) {
    if (destination.ownDescriptor >= 0) {
        std::cout.flush();
        if (!writeAll(destination.ownDescriptor, text)) {
            throw InputError(systemError(name + ": cannot write", errno));
        }
        return;
    }
    const int fd = ::open(destination.file.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw InputError(systemError(name + ": cannot open", errno));
    const bool written = writeAll(fd, text);
    const int error = errno;
    if (::close(fd) != 0 || !written) {
        throw InputError(systemError(name + ": cannot write", written ? errno : error));
    }
}

// Writes `text` to a new file next to `target` and renames it over
// `target`, which keeps the owner, group and permissions of the file it
// replaces.
void replaceFile(const fs::path& target, const std::string& name, const std::string& text,
                 bool force) {
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    // The rename below would replace a file that its owner made read-only
    // without asking: ask as a shell's '>' would. Root may write anything,
    // so for root a file without any write permission counts as read-only.
    if (exists && !force &&
        (::geteuid() == 0 ? (existing.st_mode & 0222) == 0 : ::access(target.c_str(), W_OK) != 0)) {
        throw ReadOnlyError(name + ": the file is read-only, so it is left as it was");
    }
    std::string pattern =
        (target.parent_path() / ("." + target.filename().string() + ".playgraph-XXXXXX")).string();
    std::vector<char> temporaryName(pattern.begin(), pattern.end());
    temporaryName.push_back('\0');

    const int fd = ::mkstemp(temporaryName.data());
    if (fd < 0) throw InputError(systemError(name + ": cannot create a temporary file", errno));
    const auto fail = [&](const std::string& what, int error) {
        ::close(fd);
        ::unlink(temporaryName.data());
        throw InputError(systemError(name + ": " + what, error));
    };

    if (!writeAll(fd, text) || ::fsync(fd) != 0) fail("cannot write", errno);
    mode_t mode = 0;
    if (exists) {
        struct stat mine {};
        if (::fstat(fd, &mine) != 0) fail("cannot write", errno);
        // Only root may give a file away; anyone may keep their own group.
        if ((mine.st_uid != existing.st_uid || mine.st_gid != existing.st_gid) &&
            ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
            fail("cannot keep the file's owner and group, so it is left as it was", errno);
        }
        mode = existing.st_mode & 07777;
    } else {
        mode = ::umask(0);
        ::umask(mode);
        mode = 0666 & ~mode;
    }
    if (::fchmod(fd, mode) != 0) fail("cannot set permissions", errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporaryName.data());
        throw InputError(systemError(name + ": cannot write", error));
    }
    if (::rename(temporaryName.data(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporaryName.data());
        throw InputError(systemError(name + ": cannot replace", error));
    }
}

// A key path shortened for a message: a container that holds itself makes
// one hundreds of steps long.
std::string shortKeyPath(const std::string& path) {
    constexpr std::size_t kKeep = 60;
    if (path.size() <= 3 * kKeep) return path;
    return path.substr(0, kKeep) + "..." + path.substr(path.size() - kKeep);
}

} // namespace

void writeOutput(const std::string& path, const std::string& text, bool force) {
    if (path.empty() || path == "-") {
        std::cout << text << std::flush;
        if (!std::cout) throw InputError("cannot write to standard output");
        return;
    }
    const Destination destination = destinationOf(path);
    struct stat info {};
    const bool exists = ::stat(destination.file.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) throw InputError(path + ": is a directory");
    if (destination.descriptorLink || (exists && !S_ISREG(info.st_mode))) {
        writeDirectly(destination, path, text);
    } else {
        replaceFile(destination.file, path, text, force);
    }
}

void writeJsonOutput(const std::string& path, const Value& value, bool force) {
    std::string text;
    try {
        text = writeJson(value, JsonStyle::Pretty) + "\n";
    } catch (const JsonError& e) {
        throw InputError(
            "cannot write JSON at " +
            (e.keyPath().empty() ? std::string("the top level") : shortKeyPath(e.keyPath())) +
            ": " + e.reason() + "; nothing written");
    }
    writeOutput(path, text, force);
}

JsonLayout layoutOf(std::string_view text) {
    JsonLayout layout;
    layout.finalNewline = !text.empty() && text.back() == '\n';
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    if (first == std::string_view::npos) return layout;
    const std::string_view body = text.substr(first, last + 1 - first);
    if (body.find('\n') == std::string_view::npos) {
        layout.compact = true;
        return layout;
    }
    for (std::size_t line = body.find('\n'); line != std::string_view::npos;
         line = body.find('\n', line + 1)) {
        const std::size_t start = line + 1;
        const std::size_t content = body.find_first_not_of(" \t", start);
        if (content == std::string_view::npos) break;
        if (content > start && body[content] != '\n' && body[content] != '\r') {
            layout.indent = std::string(body.substr(start, content - start));
            break;
        }
    }
    return layout;
}

std::string jsonText(const Value& value, const JsonLayout& layout) {
    std::string text = writeJson(value, layout.compact ? JsonStyle::Compact : JsonStyle::Pretty);
    if (!layout.compact && layout.indent != "  ") {
        // The pretty writer indents by two blanks a level, and a string in
        // it never holds a raw line break: only line starts change.
        std::string indented;
        indented.reserve(text.size());
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t blanks = 0;
            while (at + blanks < text.size() && text[at + blanks] == ' ')
                ++blanks;
            for (std::size_t level = 0; level < blanks / 2; ++level)
                indented += layout.indent;
            const std::size_t end = text.find('\n', at + blanks);
            const std::size_t stop = end == std::string::npos ? text.size() : end + 1;
            indented.append(text, at + blanks, stop - at - blanks);
            at = stop;
        }
        text = std::move(indented);
    }
    if (layout.finalNewline) text += '\n';
    return text;
}

void writeResult(const std::string& path, const Value& value, bool force) {
    try {
        writeJsonOutput(path, value, force);
    } catch (const ReadOnlyError& e) {
        throw InputError(std::string(e.what()) + " (--force replaces it)");
    }
}

void addOutputOptions(CLI::App& command, std::string& output, bool& inPlace) {
    auto* option = command
                       .add_option("-o,--output", output,
                                   "Write the result to this file (default: standard output)")
                       ->check(nonEmptyCheck());
    command.add_flag("--in-place", inPlace, "Replace FILE with the result")->excludes(option);
}

std::string oneLineValue(const Value& value) {
    if (value.isNone()) return "(absent)";
    try {
        return writeJson(value);
    } catch (const JsonError&) {
        return value.text();
    }
}

} // namespace playgraph::tool
