#pragma once

// Stand-ins for the few standard calls that an older standard library lacks
// (the libc++ 13 of emscripten's WebAssembly toolchain): std::bit_cast and
// std::from_chars / std::to_chars for double. Each is chosen by a feature
// test, so a library that has the standard call uses it; the stand-ins give
// the same results as the standard calls, including their error codes.

#include <charconv>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <version>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace playgraph::inline v1::compat {

template <class To, class From> constexpr To bitCast(const From& from) noexcept {
#if defined(__cpp_lib_bit_cast)
    return std::bit_cast<To>(from);
#else
    return __builtin_bit_cast(To, from);
#endif
}

// The stand-ins, compiled everywhere so that a native test can compare them
// with the standard calls.
namespace fallback {

namespace detail {

inline bool isDigit(char c) { return c >= '0' && c <= '9'; }

inline bool startsWithNoCase(const char* p, const char* last, const char* word) {
    for (; *word; ++p, ++word) {
        if (p == last || (*p | 0x20) != *word) return false;
    }
    return true;
}

// Length of the longest prefix of [first, last) in std::from_chars's general
// grammar for double: [-] digits [. digits] [e [+-] digits], or [-] inf,
// infinity, nan, nan(chars). 0 when there is none.
inline std::size_t numberPrefix(const char* first, const char* last) {
    const char* p = first;
    if (p != last && *p == '-') ++p;
    if (startsWithNoCase(p, last, "infinity")) return static_cast<std::size_t>(p + 8 - first);
    if (startsWithNoCase(p, last, "inf")) return static_cast<std::size_t>(p + 3 - first);
    if (startsWithNoCase(p, last, "nan")) {
        p += 3;
        if (p != last && *p == '(') {
            const char* q = p + 1;
            while (q != last &&
                   (isDigit(*q) || ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z') || *q == '_'))
                ++q;
            if (q != last && *q == ')') p = q + 1;
        }
        return static_cast<std::size_t>(p - first);
    }
    bool digits = false;
    while (p != last && isDigit(*p)) {
        ++p;
        digits = true;
    }
    if (p != last && *p == '.') {
        ++p;
        while (p != last && isDigit(*p)) {
            ++p;
            digits = true;
        }
    }
    if (!digits) return 0;
    if (p != last && (*p | 0x20) == 'e') {
        const char* q = p + 1;
        if (q != last && (*q == '+' || *q == '-')) ++q;
        if (q != last && isDigit(*q)) {
            while (q != last && isDigit(*q))
                ++q;
            p = q;
        }
    }
    return static_cast<std::size_t>(p - first);
}

// printf into `first`, as std::to_chars reports it.
__attribute__((format(printf, 3, 4))) inline std::to_chars_result printTo(char* first, char* last,
                                                                          const char* format, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer ||
        static_cast<std::size_t>(n) > static_cast<std::size_t>(last - first)) {
        return {last, std::errc::value_too_large};
    }
    std::memcpy(first, buffer, static_cast<std::size_t>(n));
    return {first + n, std::errc()};
}

} // namespace detail

inline std::from_chars_result fromChars(const char* first, const char* last, double& value) {
    const std::size_t length = detail::numberPrefix(first, last);
    if (length == 0) return {first, std::errc::invalid_argument};
    char small[128];
    char* text = small;
    char* big = nullptr;
    if (length >= sizeof small) text = big = new char[length + 1];
    std::memcpy(text, first, length);
    text[length] = '\0';
    errno = 0;
    const double parsed = std::strtod(text, nullptr);
    const bool range = errno == ERANGE;
    delete[] big;
    // Like std::from_chars, a value too large or too small for a double is
    // out of range and leaves `value` alone; a subnormal one is kept.
    if (range && (parsed == 0.0 || std::isinf(parsed))) {
        return {first + length, std::errc::result_out_of_range};
    }
    value = parsed;
    return {first + length, std::errc()};
}

// The shortest text that reads back as `value`, fixed or scientific,
// whichever is shorter (fixed on a tie), as std::to_chars writes it.
inline std::to_chars_result toChars(char* first, char* last, double value) {
    if (std::isnan(value))
        return detail::printTo(first, last, "%s", std::signbit(value) ? "-nan" : "nan");
    if (std::isinf(value)) return detail::printTo(first, last, "%s", value < 0 ? "-inf" : "inf");
    if (value == 0.0) return detail::printTo(first, last, "%s", std::signbit(value) ? "-0" : "0");
    char scientific[64];
    int precision = 1;
    for (; precision < 17; ++precision) {
        std::snprintf(scientific, sizeof scientific, "%.*e", precision - 1, value);
        if (std::strtod(scientific, nullptr) == value) break;
    }
    std::snprintf(scientific, sizeof scientific, "%.*e", precision - 1, value);
    const char* e = std::strchr(scientific, 'e');
    const int exponent = std::atoi(e + 1);
    const int decimals = precision - 1 - exponent > 0 ? precision - 1 - exponent : 0;
    char fixed[512];
    const int fixedLength = std::snprintf(fixed, sizeof fixed, "%.*f", decimals, value);
    // Scientific form as std::to_chars writes it: no trailing zeros kept by %e
    // at the shortest precision, exponent with at least two digits.
    const std::size_t scientificLength = std::strlen(scientific);
    if (fixedLength > 0 && static_cast<std::size_t>(fixedLength) <= scientificLength) {
        return detail::printTo(first, last, "%s", fixed);
    }
    return detail::printTo(first, last, "%s", scientific);
}

inline std::to_chars_result toChars(char* first, char* last, double value, std::chars_format format,
                                    int precision) {
    if (std::isnan(value))
        return detail::printTo(first, last, "%s", std::signbit(value) ? "-nan" : "nan");
    if (std::isinf(value)) return detail::printTo(first, last, "%s", value < 0 ? "-inf" : "inf");
    switch (format) {
    case std::chars_format::fixed:
        return detail::printTo(first, last, "%.*f", precision, value);
    case std::chars_format::scientific:
        return detail::printTo(first, last, "%.*e", precision, value);
    default:
        return detail::printTo(first, last, "%.*g", precision, value);
    }
}

} // namespace fallback

#if defined(__cpp_lib_to_chars)
inline std::from_chars_result fromChars(const char* first, const char* last, double& value) {
    return std::from_chars(first, last, value);
}
inline std::to_chars_result toChars(char* first, char* last, double value) {
    return std::to_chars(first, last, value);
}
inline std::to_chars_result toChars(char* first, char* last, double value, std::chars_format format,
                                    int precision) {
    return std::to_chars(first, last, value, format, precision);
}
#else
using fallback::fromChars;
using fallback::toChars;
#endif

} // namespace playgraph::inline v1::compat
