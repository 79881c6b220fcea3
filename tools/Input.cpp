// Reading inputs, checking arguments, and the text forms shared by the
// subcommands.

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Tool.hpp"

namespace playgraph::tool {

void addInputOptions(CLI::App& command, InputOptions& options) {
    command
        .add_option("file", options.file,
                    "Playgraph JSON file, '-' for standard input (default: the bundled "
                    "examples/story.json)")
        ->check(nonEmptyCheck());
    command
        .add_option("--default-viewable-id", options.defaultViewableId,
                    "Viewable id for segments without one in a branching playgraph "
                    "(default: the segments' \"main\" value)")
        ->check(integerCheck());
}

namespace {

std::string systemReason(int error) { return std::strerror(error); }

// The whole of an open descriptor, refused beyond kMaxInputBytes.
std::string readAll(int fd, const std::string& name) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) throw InputError(name + ": cannot read: " + systemReason(errno));
    if (S_ISDIR(info.st_mode)) throw InputError(name + ": is a directory, not a file");
    const auto tooLarge = [&] {
        return InputError(name + ": larger than " + std::to_string(kMaxInputBytes >> 20) +
                          " MiB, the most the tool reads");
    };
    std::string text;
    if (S_ISREG(info.st_mode)) {
        if (static_cast<std::size_t>(info.st_size) > kMaxInputBytes) throw tooLarge();
        text.reserve(static_cast<std::size_t>(info.st_size));
    }
    char buffer[1 << 16];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw InputError(name + ": cannot read: " + systemReason(errno));
        }
        if (text.size() + static_cast<std::size_t>(n) > kMaxInputBytes) throw tooLarge();
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string readText(const std::string& file, const std::string& name) {
    if (file == "-") return readAll(STDIN_FILENO, name);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw InputError(name + ": cannot open: " + systemReason(errno));
    try {
        std::string text = readAll(fd, name);
        ::close(fd);
        return text;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

} // namespace

InputDocument readInput(const std::string& file, const JsonReadOptions& json,
                        std::string* rawText) {
    InputDocument document;
    document.name = file.empty() ? "story.json (bundled)" : file == "-" ? "<stdin>" : file;
    std::string text = file.empty() ? std::string(bundledStoryJson) : readText(file, document.name);
    if (rawText) *rawText = text;
    // A byte-order mark becomes blanks, so that places in messages stay right.
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.replace(0, 3, "   ");
    try {
        document.dictionary = parseJson(text, document.name, json);
    } catch (const JsonError& e) {
        throw InputError(e.what());
    }
    if (!document.dictionary.isDictionary()) {
        throw InputError(document.name + ": " + std::string(kTopLevelNotAnObject));
    }
    return document;
}

Value defaultViewableIdFor(const InputOptions& options, const Value& dictionary) {
    return options.defaultViewableId ? Value(*options.defaultViewableId)
                                     : firstMainValue(dictionary);
}

LoadedPlaygraph loadPlaygraph(const InputOptions& options, const JsonReadOptions& json) {
    InputDocument document = readInput(options.file, json);
    LoadedPlaygraph loaded;
    loaded.name = std::move(document.name);
    loaded.dictionary = std::move(document.dictionary);
    loaded.defaultViewableId = defaultViewableIdFor(options, loaded.dictionary);
    loaded.playgraph = Playgraph::create(loaded.dictionary, loaded.defaultViewableId);
    return loaded;
}

// ---- arguments ----

namespace {

// A clock time "m:ss", "h:mm:ss", each with an optional fraction of a
// second ("1:02.5", "1:00:00.250"); later fields below 60. NaN otherwise.
double clockSeconds(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    if (negative) text.remove_prefix(1);
    double total = 0.0;
    int fields = 0;
    while (true) {
        const std::size_t colon = text.find(':');
        const std::string_view field = text.substr(0, colon);
        const bool last = colon == std::string_view::npos;
        const std::size_t digits = field.find_first_not_of("0123456789");
        const std::string_view whole = field.substr(0, digits);
        if (whole.empty() || (fields > 0 && whole.size() != 2)) return NAN;
        if (digits != std::string_view::npos &&
            (!last || field[digits] != '.' || field.size() == digits + 1 ||
             field.find_first_not_of("0123456789", digits + 1) != std::string_view::npos)) {
            return NAN;
        }
        double value = 0.0;
        std::from_chars(field.data(), field.data() + field.size(), value);
        if (fields > 0 && value >= 60.0) return NAN;
        total = total * 60.0 + value;
        if (++fields > 3) return NAN;
        if (last) break;
        text.remove_prefix(colon + 1);
    }
    return fields < 2 ? NAN : negative ? -total : total;
}

} // namespace

double secondsArgument(const std::string& given, const std::string& what, bool allowNegative) {
    // The milliseconds of every accepted time fit a signed 64-bit integer.
    constexpr double kLimit = 9223372036854775.0;
    const std::size_t first = given.find_first_not_of(" \t");
    const std::string text = first == std::string::npos
                                 ? ""
                                 : given.substr(first, given.find_last_not_of(" \t") + 1 - first);
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.find(':') != std::string::npos)
        value = clockSeconds(text);
    else if (error != std::errc() || stop != end)
        value = NAN;
    if (!std::isfinite(value) || !(std::fabs(value) <= kLimit) || (!allowNegative && value < 0.0)) {
        throw InputError(
            what + (what.empty() ? "" : " ") + "must be a finite number of seconds from " +
            (allowNegative ? "-9223372036854775" : "0") + " to 9223372036854775, not '" + given +
            "' (a clock time m:ss.mmm or h:mm:ss.mmm reads too)");
    }
    return value;
}

int64_t integerArgument(const std::string& text, const std::string& what, int64_t minimum) {
    int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end || value < minimum) {
        throw InputError(what + (what.empty() ? "" : " ") + "must be a whole number from " +
                         std::to_string(minimum) + " to " + std::to_string(INT64_MAX) + ", not '" +
                         text + "'");
    }
    return value;
}

namespace {

CLI::Validator checkWith(std::function<void(const std::string&)> parse, std::string name) {
    return CLI::Validator(
        [parse = std::move(parse)](std::string& text) -> std::string {
            try {
                parse(text);
                return {};
            } catch (const InputError& e) {
                return e.what();
            }
        },
        "", std::move(name));
}

} // namespace

CLI::Validator secondsCheck(bool allowNegative) {
    return checkWith(
        [allowNegative](const std::string& text) { secondsArgument(text, "", allowNegative); },
        "seconds");
}

CLI::Validator integerCheck(int64_t minimum) {
    return checkWith([minimum](const std::string& text) { integerArgument(text, "", minimum); },
                     "integer");
}

CLI::Validator nonEmptyCheck() {
    return checkWith(
        [](const std::string& text) {
            if (text.empty()) throw InputError("an empty name names no file");
        },
        "non-empty");
}

// ---- text forms ----

std::string seconds(double value) {
    if (std::isnan(value)) return "?";
    return formatFixed(value, 3);
}

std::string clockTime(double value) {
    if (!std::isfinite(value)) return "?";
    const auto ms = static_cast<long long>(std::llround(std::fabs(value) * 1000.0));
    char text[64];
    std::snprintf(text, sizeof text, "%s%lld:%02lld:%02lld.%03lld", value < 0 ? "-" : "",
                  ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    return text;
}

std::string durationText(double value) {
    return seconds(value) + " s" +
           (std::isfinite(value) && std::fabs(value) >= 3600.0 ? " (" + clockTime(value) + ")"
                                                               : std::string());
}

std::string valueText(const Value& value) {
    if (value.isAbsent()) return "none";
    return value.text();
}

namespace {

// Length of the well-formed UTF-8 sequence at `i` (no overlongs, surrogates
// or code points above U+10FFFF), or 0.
std::size_t utf8Length(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (i + length > s.size() || byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

} // namespace

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = utf8Length(text, i);
        if (length == 0) {
            ++width;
            ++i;
            continue;
        }
        // The code point, then its columns: combining marks take none, the
        // wide East Asian ranges and emoji two.
        uint32_t c = static_cast<unsigned char>(text[i]) & (0xFF >> (length + 1));
        for (std::size_t k = 1; k < length; ++k)
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const bool combining = (c >= 0x300 && c <= 0x36F) || (c >= 0x200B && c <= 0x200F) ||
                               (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0x20D0 && c <= 0x20FF);
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                          (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) ||
                          (c >= 0x20000 && c <= 0x3FFFD);
        width += combining ? 0 : wide ? 2 : 1;
        i += length;
    }
    return width;
}

std::string padded(std::string_view text, std::size_t width) {
    std::string out(text);
    const std::size_t used = displayWidth(text);
    if (used < width) out.append(width - used, ' ');
    return out;
}

std::string shown(std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\\' || c == '\n' || c == '\t' || c == '\r') {
            out += c == '\\' ? "\\\\" : c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
            ++i;
        } else if (const std::size_t length = c >= 0x80 ? utf8Length(text, i) : 0) {
            // C1 controls (U+0080 to U+009F) are two bytes starting with C2.
            if (c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                const auto code = static_cast<unsigned char>(text[i + 1]);
                out += "\\u00";
                out += hex[code >> 4];
                out += hex[code & 0xF];
            } else {
                out.append(text.substr(i, length));
            }
            i += length;
        } else {
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 0xF];
            ++i;
        }
    }
    return out;
}

} // namespace playgraph::tool
