#pragma once

#include "line_text.h"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

// How a device frames its lines, when it does not send one line a datagram.
struct LineFormat {
    // Every CR, LF or CR LF ends a line, so one datagram can give several lines.
    bool splitAtLineBreaks = false;
    // ANSI escape sequences (colours and the like) are dropped before the line is cut.
    bool removeColourCodes = false;

    friend bool operator==(const LineFormat &, const LineFormat &) = default;
};

// Copies in[0, size) to out without its escape sequences and returns the bytes written (never
// more than size, so out may be in). A sequence is ESC "[", parameter and intermediate bytes
// 0x20..0x3F and a final byte 0x40..0x7E (colours: "ESC [ 1 ; 3 1 m"); or ESC, intermediate
// bytes 0x20..0x2F and one byte 0x30..0x7E ("ESC c", "ESC ( B"). A sequence broken off by
// any other byte, or by the end, is dropped up to that byte, which then counts as usual: a
// line break inside a broken sequence still ends the line, and no ESC is ever left.
std::size_t removeEscapeSequences(const char *in, std::size_t size, char *out);

// The lines of one datagram under a line format, for the receive thread: no allocation, work
// in proportion to the datagram.
//
// Only the first 1600 bytes are looked at (the 1601st byte of a full buffer never belongs to
// a line). Without splitting, the datagram is one line, cut at its first byte below 32. With
// splitting, each line break ends a line and each line is cut at its first other control
// byte; an empty line between two breaks is a line the device sent, but nothing after the
// last break is no line ("a\nb\n" is two lines). A datagram always gives at least one line,
// as it does without splitting: an empty datagram gives one empty line.
class DatagramLines
{
public:
    // Every line but the last takes at least the byte of its line break.
    static constexpr std::size_t kMostLines = kLongestLine;

    // The lines of received bytes at data. They point into data or into this object and stay
    // valid until the next call or until data changes. With both options off this is exactly
    // cutLine's one line.
    std::span<const std::string_view> cut(const char *data, std::size_t received,
                                          LineFormat format);

private:
    std::array<char, kLongestLine> m_cleaned;
    std::array<std::string_view, kMostLines> m_lines;
};
