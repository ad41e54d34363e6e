#include "line_format.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace
{

constexpr char kEscape = '\x1B';

bool inRange(char c, unsigned char low, unsigned char high)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u >= low && u <= high;
}

bool isLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

} // namespace

std::size_t removeEscapeSequences(const char *in, std::size_t size, char *out)
{
    std::size_t written = 0;
    std::size_t i = 0;
    while (i < size) {
        if (in[i] != kEscape) {
            out[written++] = in[i++];
            continue;
        }
        std::size_t j = i + 1;
        if (j < size && in[j] == '[') {
            ++j;
            while (j < size && inRange(in[j], 0x20, 0x3F))
                ++j;
            if (j < size && inRange(in[j], 0x40, 0x7E))
                ++j;
        } else {
            while (j < size && inRange(in[j], 0x20, 0x2F))
                ++j;
            if (j < size && inRange(in[j], 0x30, 0x7E))
                ++j;
        }
        // Complete or broken off, the sequence so far goes; a breaking byte is read next.
        i = j;
    }
    return written;
}

std::span<const std::string_view> DatagramLines::cut(const char *data, std::size_t received,
                                                     LineFormat format)
{
    if (!format.splitAtLineBreaks && !format.removeColourCodes) {
        m_lines[0] = cutLine(data, received);
        return {m_lines.data(), 1};
    }

    std::size_t size = std::min(received, kLongestLine);
    if (format.removeColourCodes && size > 0 && std::memchr(data, kEscape, size)) {
        size = removeEscapeSequences(data, size, m_cleaned.data());
        data = m_cleaned.data();
    }
    if (!format.splitAtLineBreaks) {
        m_lines[0] = cutLine(data, size);
        return {m_lines.data(), 1};
    }

    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < size && !isLineBreak(data[end]))
            ++end;
        if (end == size) {
            // Text after the last break is a line; the end of the datagram after a break is
            // not, unless it is all there is.
            if (end > start || count == 0)
                m_lines[count++] = cutLine(data + start, end - start);
            break;
        }
        assert(count < kMostLines);
        m_lines[count++] = cutLine(data + start, end - start);
        start = end + 1;
        if (data[end] == '\r' && start < size && data[start] == '\n')
            ++start;
    }
    return {m_lines.data(), count};
}
