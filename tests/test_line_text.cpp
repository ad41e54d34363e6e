#include "line_display.h"
#include "line_store.h"
#include "line_text.h"

#include <QList>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// Failures show texts readably.
static void PrintTo(const QString &text, std::ostream *out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace
{

TEST(CutLine, EndsAtTheFirstControlByteAndAt1600Bytes)
{
    const std::string long1601(1601, 'x');
    const std::string long1600(1600, 'x');
    const struct {
        const char *what;
        std::string datagram;
        std::string line;
    } rows[] = {
        {"CR LF ends the line", "hello\r\n", "hello"},
        {"a tab drops the rest", "a\tb", "a"},
        {"a leading control byte gives an empty line",
         std::string("\x01"
                     "abc"),
         ""},
        {"the empty datagram", "", ""},
        {"NUL ends the line", std::string("ab\0cd", 5), "ab"},
        {"space, 127 and 128..255 stay", "a \x7f\x80\xff", "a \x7f\x80\xff"},
        {"the 1601st byte never belongs to the line", long1601, long1600},
        {"a control byte after 1600 bytes is beyond the cut", long1600 + "\n", long1600},
    };
    for (const auto &row : rows)
        EXPECT_EQ(cutLine(row.datagram.data(), row.datagram.size()), row.line) << row.what;
}

TEST(DecodeLine, ShowsEveryByte)
{
    const struct {
        const char *what;
        std::string bytes;
        QString text;
    } rows[] = {
        {"ASCII", "plain <b>x</b>", QStringLiteral("plain <b>x</b>")},
        {"valid UTF-8", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         QString::fromUtf8("caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80")},
        {"Latin-1 bytes", "\xe9t\xe9", QString::fromUtf8("\xc3\xa9t\xc3\xa9")},
        {"Windows-1252 range", "\x80\x93\x81",
         QString::fromUtf8("\xe2\x82\xac\xe2\x80\x9c\xc2\x81")},
        {"a UTF-8 character cut short", "ab\xe2\x82", QString::fromUtf8("ab\xc3\xa2\xe2\x80\x9a")},
        {"an overlong form is bytes", "\xc0\xaf", QString::fromUtf8("\xc3\x80\xc2\xaf")},
        {"a surrogate is bytes", "\xed\xa0\x80", QString::fromUtf8("\xc3\xad\xc2\xa0\xe2\x82\xac")},
        {"a byte order mark is a character like any other",
         "\xef\xbb\xbf"
         "a\xef\xbb\xbf",
         QString(QChar(0xFEFF)) + QLatin1Char('a') + QChar(0xFEFF)},
    };
    for (const auto &row : rows)
        EXPECT_EQ(decodeLine(row.bytes), row.text) << row.what;
}

// A literal as it stands (QString::fromUtf16 would take a leading BOM as a byte order mark).
QString text16(const char16_t *text)
{
    return QStringView(text).toString();
}

std::string utf8(const char16_t *text)
{
    return text16(text).toStdString();
}

// A line's bytes as drawn: text as it is, each mark as its label in brackets. Checks on the
// way that the runs cover the text in order and that a mark is the one character it names.
QString shownAs(const std::string &bytes)
{
    const QString text = decodeLine(bytes);
    const std::vector<DisplayRun> runs = displayRuns(text);
    QString out;
    qsizetype at = 0;
    for (const DisplayRun &run : runs) {
        EXPECT_EQ(run.start, at);
        EXPECT_GT(run.length, 0);
        const QString piece = text.mid(run.start, run.length);
        if (run.isMark) {
            EXPECT_EQ(piece.toUcs4(), QList<uint>{uint(run.character)});
            out += QLatin1Char('[') + markLabel(run.character) + QLatin1Char(']');
        } else {
            out += piece;
        }
        at += run.length;
    }
    EXPECT_EQ(at, text.size());
    return out;
}

TEST(DisplayRuns, MarksWhatWouldDrawNothingActOrBreakTheLine)
{
    const std::string flagTags = utf8(u"\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067");
    const struct {
        const char *what;
        std::string bytes;
        QString shown;
    } rows[] = {
        {"right-to-left override", utf8(u"abc\u202Edef"), QStringLiteral("abc[RLO]def")},
        {"every bidirectional control",
         utf8(u"\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069\u200E\u200F\u061C"),
         QStringLiteral("[LRE][RLE][PDF][LRO][LRI][RLI][FSI][PDI][LRM][RLM][ALM]")},
        {"zero-width space, word joiner, BOM", utf8(u"\uFEFFa\u200Bb\u2060c"),
         QStringLiteral("[BOM]a[ZWSP]b[WJ]c")},
        {"a lone 0xAD byte is a soft hyphen",
         "a\xAD"
         "b",
         QStringLiteral("a[SHY]b")},
        {"so is a valid UTF-8 soft hyphen",
         "a\xC2\xAD"
         "b",
         QStringLiteral("a[SHY]b")},
        {"line and paragraph separators", utf8(u"abc\u2028x\u2029y"),
         QStringLiteral("abc[LSEP]x[PSEP]y")},
        {"DEL, NEL and a byte Windows-1252 leaves undefined", "\x7F\xC2\x85\x81",
         QStringLiteral("[DEL][NEL][HOP]")},
        {"invisible operators, fillers, object replacement", utf8(u"a\u2062b\u3164\uFFFC\u034F"),
         QStringLiteral("a[IT]b[HF][OBJ][CGJ]")},
        {"an unassigned default-ignorable", utf8(u"\u2065\U000E0002"),
         QStringLiteral("[U+2065][U+E0002]")},
        {"tags outside a flag show what they hide", utf8(u"ok\U000E0068\U000E0069"),
         QStringLiteral("ok[TAG h][TAG i]")},
        {"a flag whose tags run on",
         utf8(u"\U0001F3F4") + flagTags + flagTags + utf8(u"\U000E007F"),
         text16(u"\U0001F3F4") +
             QStringLiteral("[TAG g][TAG b][TAG e][TAG n][TAG g][TAG g][TAG b][TAG e][TAG n]"
                            "[TAG g][CTAG]")},
        {"ZWJ and ZWNJ between Latin letters", utf8(u"a\u200Db\u200Cc"),
         QStringLiteral("a[ZWJ]b[ZWNJ]c")},
        {"joiners at either end", utf8(u"\u200D\u0645\u200C"), text16(u"[ZWJ]\u0645[ZWNJ]")},
        {"ZWJ from an emoji to a letter", utf8(u"\U0001F600\u200Da"), text16(u"\U0001F600[ZWJ]a")},
        {"two joiners in a row", utf8(u"\U0001F468\u200D\u200D\U0001F469"),
         text16(u"\U0001F468[ZWJ][ZWJ]\U0001F469")},
        {"ZWJ between letters of different scripts", utf8(u"\u0915\u094D\u200D\u0645"),
         text16(u"\u0915\u094D[ZWJ]\u0645")},
        {"a variation selector with nothing to select", utf8(u"\uFE0Fa\u263A\uFE0F\uFE0F"),
         text16(u"[VS16]a\u263A\uFE0F[VS16]")},
        {"hieroglyph controls outside hieroglyphs", utf8(u"a\U00013430b"),
         QStringLiteral("a[U+13430]b")},
        {"hieroglyph controls that lead to no hieroglyph", utf8(u"\U00013000\U00013430\U00013431x"),
         text16(u"\U00013000") + QStringLiteral("[U+13430][U+13431]x")},
        {"ZWJ after the tags of no flag", utf8(u"\U0001F3F4\U000E0067\U000E0062\u200D\U0001F469"),
         text16(u"\U0001F3F4[TAG g][TAG b][ZWJ]\U0001F469")},
        {"ZWJ before a character that is marked", utf8(u"\u1780\u17D2\u200D\u17B4"),
         text16(u"\u1780\u17D2[ZWJ][U+17B4]")},
        {"ZWJ before a variation selector", utf8(u"\u1880\u200D\u180D"),
         text16(u"\u1880[ZWJ][FVS3]")},
    };
    for (const auto &row : rows)
        EXPECT_EQ(shownAs(row.bytes), row.shown) << row.what;
}

TEST(DisplayRuns, KeepsTextAndTheSequencesThatNeedJoinersOrSelectors)
{
    const struct {
        const char *what;
        const char16_t *text;
    } rows[] = {
        {"plain text, markup and spaces", u"a <b>x</b> \u00A0\u2003\u3000 z"},
        {"Hebrew", u"\u05E9\u05DC\u05D5\u05DD \u05E2\u05D5\u05DC\u05DD"},
        {"Arabic with vowel signs", u"\u0645\u064E\u0631\u062D\u0628\u064B\u0627"},
        {"Persian ZWNJ", u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"},
        {"ZWNJ after a vowel sign", u"\u0628\u064E\u200C\u0628"},
        {"Devanagari half form with ZWJ", u"\u0915\u094D\u200D\u0937"},
        {"Devanagari explicit virama with ZWNJ", u"\u0915\u094D\u200C\u0937"},
        {"Sinhala yansaya", u"\u0DC1\u0DCA\u200D\u0DBB\u0DD3"},
        {"family emoji", u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"},
        {"skin tone before ZWJ", u"\U0001F469\U0001F3FD\u200D\U0001F4BB"},
        {"presentation selector before ZWJ", u"\U0001F3F3\uFE0F\u200D\U0001F308"},
        {"ZWJ to a symbol", u"\u2764\uFE0F\u200D\U0001F525 \U0001F9D4\u200D\u2642\uFE0F"},
        {"subdivision flag",
         u"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"},
        {"keycap", u"#\uFE0F\u20E3"},
        {"ideographic variation", u"\u845B\U000E0100"},
        {"Mongolian free variation selector", u"\u1820\u180B"},
        {"visible format characters", u"\u0600\u0661\u0662 \u06DD\u0661"},
        {"hieroglyphs in a quadrat", u"\U00013000\U00013430\U00013001"},
    };
    for (const auto &row : rows) {
        const QString text = text16(row.text);
        EXPECT_EQ(displayRuns(text), (std::vector<DisplayRun>{{0, text.size(), false, 0}}))
            << row.what;
        EXPECT_EQ(shownAs(text.toStdString()), text) << row.what;
    }
}

TEST(DisplayRuns, ALoneSurrogateIsAMark)
{
    QString text = QStringLiteral("ab");
    text.insert(1, QChar(0xD800));
    EXPECT_EQ(displayRuns(text),
              (std::vector<DisplayRun>{{0, 1, false, 0}, {1, 1, true, 0xD800}, {2, 1, false, 0}}));
}

TEST(LineStore, KeepsLinesAcrossBlocksPagesAndClears)
{
    LineStore store;
    EXPECT_EQ(store.count(), 0u);
    EXPECT_EQ(store.selectedIndex(), -1);
    // Enough lines to span several index pages and blocks, of every length up to 1600.
    const std::size_t n = 5000;
    for (std::size_t i = 0; i < n; ++i) {
        std::string line(i % 1601, char('a' + i % 26));
        ASSERT_TRUE(store.append(line, {std::int64_t(i), std::uint32_t(i * 7), std::uint16_t(i)}));
    }
    LineStore::Snapshot before = store.snapshot();
    ASSERT_EQ(before.count, n);
    EXPECT_EQ(store.selectedIndex(), std::ptrdiff_t(n - 1));
    for (std::size_t i = 0; i < n; i += 97) {
        EXPECT_EQ(before.lines->text(i), std::string(i % 1601, char('a' + i % 26)));
        const LineDetails d = before.lines->details(i);
        EXPECT_EQ(d.arrivalMs, std::int64_t(i));
        EXPECT_EQ(d.address, i * 7);
        EXPECT_EQ(d.port, std::uint16_t(i));
    }

    // A clear hands the old lines over: a reader holding them keeps reading them.
    store.clear();
    store.append("after", {});
    LineStore::Snapshot after = store.snapshot();
    EXPECT_EQ(after.count, 1u);
    EXPECT_EQ(after.clears, before.clears + 1);
    EXPECT_NE(after.retired, nullptr);
    EXPECT_EQ(before.lines->text(n - 1), std::string((n - 1) % 1601, char('a' + (n - 1) % 26)));
    EXPECT_EQ(after.lines->text(0), "after");
    EXPECT_EQ(store.snapshot().retired, nullptr); // handed over once
}

// Full blocks of cleared lines come back to the reserve and carry the next lines, and blocks
// made ready beforehand are used; either way every line reads back as it was appended.
TEST(LineStore, TakesFullBlocksFromTheReserveAndGivesThemBack)
{
    LineStore store;
    BlockReserve &reserve = store.reserve();
    reserve.fill(3, 2);
    EXPECT_EQ(reserve.readyCount(), 2u); // at most two made per call
    reserve.fill(3, 2);
    EXPECT_EQ(reserve.readyCount(), 3u);

    // About 2 MB of lines: past the growing first blocks, then several full ones.
    const std::size_t n = 1300;
    const auto lineOf = [](std::size_t i, char c) { return std::string(1500 + i % 100, c); };
    for (std::size_t i = 0; i < n; ++i)
        ASSERT_TRUE(store.append(lineOf(i, 'a'), {}));
    EXPECT_EQ(reserve.readyCount(), 0u);
    LineStore::Snapshot first = store.snapshot();
    for (std::size_t i = 0; i < n; i += 61)
        EXPECT_EQ(first.lines->text(i), lineOf(i, 'a'));

    store.clear();
    first = {};
    store.snapshot(); // the cleared lines go, their full blocks back to the reserve
    const std::size_t returned = reserve.readyCount();
    EXPECT_GE(returned, 3u);
    for (std::size_t i = 0; i < n; ++i)
        ASSERT_TRUE(store.append(lineOf(i, 'b'), {}));
    EXPECT_LT(reserve.readyCount(), returned);
    const LineStore::Snapshot second = store.snapshot();
    ASSERT_EQ(second.count, n);
    for (std::size_t i = 0; i < n; i += 61)
        EXPECT_EQ(second.lines->text(i), lineOf(i, 'b'));
}

TEST(LineStore, UsesAboutOneByteACharacter)
{
    LineGeneration lines;
    const std::string line(64, 'x');
    for (int i = 0; i < 100000; ++i)
        lines.append(line, {});
    // 64 bytes of text, 16 of details and length, 8 of index, plus block slack.
    EXPECT_LT(lines.allocatedBytes() / 100000.0, 96.0);
}

// The cycle rule's clear: lines no reader has seen are dropped in place and their memory
// carries the next lines; lines a reader took stay readable. With no reader taking snapshots
// (the GUI thread held), the memory stays at about two cycles' worth, whatever the count.
TEST(LineStore, CycleClearsReuseMemoryAndStayBoundedWithoutAReader)
{
    const std::size_t cycle = 100;
    const auto lineOf = [](std::size_t i) { return std::string(1400, char('a' + i % 26)); };
    LineGeneration one;
    for (std::size_t i = 0; i < cycle; ++i)
        one.append(lineOf(i), {});

    LineStore store;
    for (std::size_t i = 0; i < cycle; ++i)
        ASSERT_TRUE(store.append(lineOf(i), {}));
    const LineStore::Snapshot seen = store.snapshot(); // a reader holds these lines
    for (int round = 0; round < 50; ++round) {
        (void)store.clearForCycle();
        EXPECT_EQ(store.count(), 0u);
        for (std::size_t i = 0; i < cycle; ++i)
            ASSERT_TRUE(store.append(lineOf(round + i), {}));
        EXPECT_LE(store.heldBytes(), 2 * one.allocatedBytes()) << "round " << round;
    }
    EXPECT_EQ(seen.lines->text(cycle - 1), lineOf(cycle - 1));
    const LineStore::Snapshot now = store.snapshot();
    ASSERT_EQ(now.count, cycle);
    EXPECT_EQ(now.lines->text(0), lineOf(49));
    EXPECT_EQ(now.clears, seen.clears + 50);
    EXPECT_NE(now.retired, nullptr); // the lines the reader had seen, handed back once

    // Refilled in place the lines take no new memory; fewer lines let the rest go.
    (void)store.clearForCycle(); // seen by the snapshot above: handed over
    store.snapshot();
    for (std::size_t i = 0; i < cycle; ++i)
        ASSERT_TRUE(store.append(lineOf(i), {}));
    const std::size_t held = store.heldBytes();
    (void)store.clearForCycle();
    for (std::size_t i = 0; i < cycle; ++i)
        ASSERT_TRUE(store.append(lineOf(i), {}));
    EXPECT_EQ(store.heldBytes(), held);
    (void)store.clearForCycle();
    for (std::size_t i = 0; i < 3; ++i)
        ASSERT_TRUE(store.append(lineOf(i), {}));
    (void)store.clearForCycle();
    EXPECT_LT(store.heldBytes(), held / 2);
    ASSERT_TRUE(store.append("last", {}));
    EXPECT_EQ(store.snapshot().lines->text(0), "last");
}

// Lines that need memory beyond the limit, or whose memory cannot be had, are not stored;
// the lines already there stay as they were, and after a clear lines are stored again.
TEST(LineStore, RefusesLinesBeyondTheLimitOrWithoutMemory)
{
    const std::string line(1000, 'q');
    for (const bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "memory runs out" : "at the byte limit");
        LineStore store;
        std::size_t stored = 0;
        if (failing) {
            for (; stored < 20; ++stored)
                ASSERT_TRUE(store.append(line, {}));
            store.setFailAllocations(true);
        } else {
            store.setByteLimit(256 * 1024);
        }
        std::size_t refused = 0;
        for (int i = 0; i < 1000; ++i) {
            try {
                if (store.append(line, {}))
                    ++stored;
                else
                    ++refused;
            } catch (const std::bad_alloc &) {
                ++refused;
            }
        }
        EXPECT_GT(refused, 0u);
        EXPECT_EQ(store.count(), stored);
        if (!failing) {
            EXPECT_LE(store.heldBytes(), 256u * 1024);
        }
        const LineStore::Snapshot full = store.snapshot();
        ASSERT_EQ(full.count, stored);
        EXPECT_EQ(full.lines->text(stored - 1), line);

        store.setFailAllocations(false);
        store.clear();
        store.snapshot(); // the cleared lines go
        ASSERT_TRUE(store.append("again", {}));
        EXPECT_EQ(store.count(), 1u);
    }
}

} // namespace
