#pragma once

// What the fuzz targets share: a failed property prints what went wrong and aborts, so that
// libFuzzer keeps the input; and the plain-text input format of the seed files.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz
{

// The input shown with its non-printable bytes escaped.
inline std::string shown(std::string_view s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c >= 32 && c < 127 && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
    }
    return out;
}

[[noreturn]] inline void fail(const char *property, const char *file, int line,
                              const std::string &detail)
{
    std::fprintf(stderr, "%s:%d: property broken: %s\n  %s\n", file, line, property,
                 detail.c_str());
    std::abort();
}

// Checks a property; detail is built only when it fails.
#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzz::fail(#condition, __FILE__, __LINE__, (detail));                                \
    } while (0)

// The input as up to count fields divided by line feeds; the last field keeps the rest
// (line feeds included), missing fields are empty. Seed files stay readable this way.
inline std::vector<std::string_view> fields(const std::uint8_t *data, std::size_t size,
                                            std::size_t count)
{
    std::string_view rest(reinterpret_cast<const char *>(data), size);
    std::vector<std::string_view> out;
    while (out.size() + 1 < count) {
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos)
            break;
        out.push_back(rest.substr(0, end));
        rest.remove_prefix(end + 1);
    }
    out.push_back(rest);
    out.resize(count);
    return out;
}

// The value rounded to 15 significant digits, correctly, as a double. The largest doubles
// round beyond the range: infinity.
inline double rounded15(double value)
{
    char buf[64];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    double out = 0;
    if (std::from_chars(buf, written.ptr, out).ec == std::errc::result_out_of_range)
        return std::copysign(std::numeric_limits<double>::infinity(), value);
    return out;
}

inline std::string text(double value)
{
    char buf[64];
    const auto written = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, written.ptr);
}

} // namespace fuzz
