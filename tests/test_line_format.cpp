#include "line_format.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr LineFormat kSplit{true, false};
constexpr LineFormat kColours{false, true};
constexpr LineFormat kBoth{true, true};

std::vector<std::string> linesOf(DatagramLines &cutter, const std::string &datagram,
                                 LineFormat format)
{
    std::vector<std::string> out;
    for (const std::string_view line : cutter.cut(datagram.data(), datagram.size(), format))
        out.emplace_back(line);
    return out;
}

TEST(DatagramLines, GiveTheLinesADeviceMeant)
{
    const std::string x1600(1600, 'x');
    const struct {
        const char *what;
        std::string datagram;
        LineFormat format;
        std::vector<std::string> lines;
    } rows[] = {
        {"options off: one line, cut at CR", "a\r\nb", {}, {"a"}},
        {"options off: an escape cuts the line", "\x1b[31mred", {}, {""}},
        {"a trailing break ends the last line",
         "line one\nline two\n",
         kSplit,
         {"line one", "line two"}},
        {"text after the last break is a line", "one\ntwo", kSplit, {"one", "two"}},
        {"an empty part between breaks is a line", "a\n\nb", kSplit, {"a", "", "b"}},
        {"CR LF is one break, CR and LF alone are breaks",
         "a\r\nb\rc\nd",
         kSplit,
         {"a", "b", "c", "d"}},
        {"LF CR is two breaks", "a\n\rb", kSplit, {"a", "", "b"}},
        {"CR CR LF", "a\r\r\n", kSplit, {"a", ""}},
        {"the empty datagram is one empty line", "", kSplit, {""}},
        {"a lone break is one empty line", "\r\n", kSplit, {""}},
        {"breaks only", "\n\n\n", kSplit, {"", "", ""}},
        {"other control bytes cut their part only",
         "a\tb\nc\x01"
         "d\ne",
         kSplit,
         {"a", "c", "e"}},
        {"a NUL cuts its part", std::string("ab\0cd\nef", 8), kSplit, {"ab", "ef"}},
        {"a last part of a control byte is an empty line", "a\n\x01", kSplit, {"a", ""}},
        {"a break as the 1601st byte changes nothing", x1600 + "\n", kSplit, {x1600}},
        {"the 1601st byte never belongs to a line",
         "ab\n" + std::string(1598, 'y'),
         kSplit,
         {"ab", std::string(1597, 'y')}},
        {"CR as the 1600th byte: the LF after it is beyond the line",
         std::string(1599, 'x') + "\r\n",
         kSplit,
         {std::string(1599, 'x')}},
        {"bytes beyond ASCII pass", "caf\xc3\xa9\n\x80\xff", kSplit, {"caf\xc3\xa9", "\x80\xff"}},

        {"colours of a logger",
         "\x1b[0;32mI (312) wifi: connected\x1b[0m",
         kColours,
         {"I (312) wifi: connected"}},
        {"bold and colour inside a line",
         "disk \x1b[1;31mFULL\x1b[0m now",
         kColours,
         {"disk FULL now"}},
        {"a sequence with an intermediate byte", "\x1b[?25l\x1b[2 qok", kColours, {"ok"}},
        {"ESC and one character",
         "a\x1b"
         "cb\x1b=c",
         kColours,
         {"abc"}},
        {"a character set choice and a reset", "\x1b(B\x1b[mplain", kColours, {"plain"}},
        {"an ESC at the end", "text\x1b", kColours, {"text"}},
        {"a colour code broken off at the end", "text\x1b[1;3", kColours, {"text"}},
        {"two ESCs in a row", "a\x1b\x1b[31mb", kColours, {"ab"}},
        {"an ESC before a byte beyond ASCII keeps the byte",
         "a\x1b\xc3\xa9",
         kColours,
         {"a\xc3\xa9"}},
        {"other control bytes still cut the line", "a\x1b[1mb\tc", kColours, {"ab"}},
        {"a broken sequence does not swallow a break", "a\x1b[31\nb", kColours, {"a"}},
        {"removed codes make no room for the 1601st byte",
         "\x1b[0m" + std::string(1597, 'x'),
         kColours,
         {std::string(1596, 'x')}},
        {"a code cut by the 1600-byte limit",
         std::string(1597, 'x') + "\x1b[31",
         kColours,
         {std::string(1597, 'x')}},

        {"coloured lines in one datagram",
         "\x1b[32mok\x1b[0m\r\n\x1b[31mfail\x1b[0m\r\n",
         kBoth,
         {"ok", "fail"}},
        {"a broken sequence before a break", "a\x1b[31\nb", kBoth, {"a", "b"}},
        {"a line of colour codes only is an empty line", "a\n\x1b[0m\nb", kBoth, {"a", "", "b"}},
    };
    const auto cutter = std::make_unique<DatagramLines>();
    for (const auto &row : rows)
        EXPECT_EQ(linesOf(*cutter, row.datagram, row.format), row.lines) << row.what;
}

TEST(DatagramLines, WithOptionsOffAreCutLineItself)
{
    const auto cutter = std::make_unique<DatagramLines>();
    const std::vector<std::string> datagrams = {
        "hello\r\n", "", "\x1b[0mx", "a\nb", std::string(1601, 'z'), std::string("\0x", 2)};
    for (const std::string &datagram : datagrams) {
        const auto lines = cutter->cut(datagram.data(), datagram.size(), {});
        ASSERT_EQ(lines.size(), 1u) << datagram;
        const std::string_view expected = cutLine(datagram.data(), datagram.size());
        EXPECT_EQ(lines[0].data(), expected.data()) << datagram;
        EXPECT_EQ(lines[0].size(), expected.size()) << datagram;
    }
}

TEST(DatagramLines, AFullBufferOfBreaksGivesTheMostLines)
{
    const auto cutter = std::make_unique<DatagramLines>();
    const std::string breaks(kReceiveBufferSize, '\n');
    for (const LineFormat format : {kSplit, kBoth}) {
        const auto lines = cutter->cut(breaks.data(), breaks.size(), format);
        EXPECT_EQ(lines.size(), DatagramLines::kMostLines);
        for (const std::string_view line : lines)
            ASSERT_TRUE(line.empty());
    }
}

TEST(RemoveEscapeSequences, WorksInPlace)
{
    std::string text = "\x1b[1mbold\x1b[0m and \x1b"
                       "cplain";
    text.resize(removeEscapeSequences(text.data(), text.size(), text.data()));
    EXPECT_EQ(text, "bold and plain");
}

} // namespace
