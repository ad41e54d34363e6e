#include "line_store.h"
#include "line_text.h"

#include <gtest/gtest.h>

#include <string>

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
    };
    for (const auto &row : rows)
        EXPECT_EQ(decodeLine(row.bytes), row.text) << row.what;
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
