#include "line_text.h"

#include <algorithm>

std::string_view cutLine(const char *data, std::size_t received)
{
    const std::size_t m = std::min(received, kLongestLine);
    std::size_t n = 0;
    while (n < m && static_cast<unsigned char>(data[n]) >= 32)
        ++n;
    return {data, n};
}

namespace
{

// Windows-1252 for 0x80..0x9F; the five bytes it leaves undefined keep their Latin-1 value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Length of the valid UTF-8 sequence at s[i], or 0. Rejects overlong forms, surrogates and
// code points above U+10FFFF.
std::size_t utf8Sequence(std::string_view s, std::size_t i, char32_t &cp)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t len;
    char32_t min;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2, cp = c & 0x1F, min = 0x80;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3, cp = c & 0x0F, min = 0x800;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4, cp = c & 0x07, min = 0x10000;
    else
        return 0;
    if (i + len > s.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        cp = cp << 6 | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

} // namespace

QString decodeLine(std::string_view bytes)
{
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            out += QChar(c);
            ++i;
            continue;
        }
        char32_t cp = 0;
        if (std::size_t len = utf8Sequence(bytes, i, cp)) {
            // Appended by hand: Qt's converters drop a U+FEFF as a byte order mark.
            if (QChar::requiresSurrogates(cp)) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
            i += len;
            continue;
        }
        out += QChar(c < 0xA0 ? kCp1252High[c - 0x80] : char16_t(c));
        ++i;
    }
    return out;
}
