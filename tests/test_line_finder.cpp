#include "line_finder.h"
#include "line_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

using Rows = std::vector<std::uint32_t>;

std::vector<std::uint32_t> findAll(const std::vector<std::string> &lines, const QString &text,
                                   Qt::CaseSensitivity sensitivity)
{
    LineStore store;
    for (const std::string &line : lines)
        store.append(line, {});
    LineFinder finder;
    finder.setText(text, sensitivity);
    finder.setLines(store.snapshot());
    EXPECT_TRUE(finder.step(lines.size()));
    return finder.matches();
}

TEST(LineFinder, FindsWhatTheListShows)
{
    const std::vector<std::string> lines = {
        "ERROR disk full",          // 0
        "error: retry",             // 1
        "caf\xc3\xa9 au lait",      // 2 UTF-8
        "\xe9t\xe9 \x93quoted\x94", // 3 Windows-1252 bytes
        "",                         // 4
        "price 5 \x80",             // 5 the euro sign as one 1252 byte
        "Stra\xc3\x9f"
        "e", // 6
    };
    const struct {
        const char *what;
        QString text;
        Qt::CaseSensitivity sensitivity;
        Rows rows;
    } rows[] = {
        {"with case", QStringLiteral("ERROR"), Qt::CaseSensitive, {0}},
        {"without case", QStringLiteral("ERROR"), Qt::CaseInsensitive, {0, 1}},
        {"no match", QStringLiteral("warning"), Qt::CaseInsensitive, {}},
        {"the empty text matches nothing", QString(), Qt::CaseInsensitive, {}},
        {"an e with acute from UTF-8 and from 1252 alike",
         QString::fromUtf8("\xc3\xa9"),
         Qt::CaseSensitive,
         {2, 3}},
        {"a character beyond ASCII without case",
         QString::fromUtf8("\xc3\x89T\xc3\x89"),
         Qt::CaseInsensitive,
         {3}},
        {"quotes shown for 1252 bytes",
         QString::fromUtf8("\xe2\x80\x9cquoted\xe2\x80\x9d"),
         Qt::CaseSensitive,
         {3}},
        {"the euro sign", QString::fromUtf8("\xe2\x82\xac"), Qt::CaseSensitive, {5}},
        {"ASCII around a character beyond it",
         QString::fromUtf8("caf\xc3\xa9 au"),
         Qt::CaseSensitive,
         {2}},
    };
    for (const auto &row : rows)
        EXPECT_EQ(findAll(lines, row.text, row.sensitivity), row.rows) << row.what;
}

// Every way of finding a line without decoding it agrees with searching the decoded text,
// over lines and texts chosen where bytes and characters part: case folds from beyond ASCII
// (the Kelvin sign, the long s), bytes that are UTF-8 in one line and 1252 in another,
// characters outside the basic plane.
TEST(LineFinder, AgreesWithSearchingTheDecodedText)
{
    const std::vector<std::string> lines = {
        "OK kelvin",
        "273 \xe2\x84\xaa", // Kelvin sign
        "\xc5\xbftop",      // long s
        "STOP now",
        "Stra\xc3\x9f"
        "e",
        "\xc3\xa9t\xc3\xa9 \xe9t\xe9",
        "\xc3\x89T\xc3\x89",
        "emoji \xf0\x9f\x98\x80!",
        "cut \xf0\x9f\x98", // a UTF-8 character cut short
        "\xef\xbb\xbf"
        "bom",
        "plain ascii line",
        "",
    };
    const std::vector<QString> texts = {
        QStringLiteral("k"),
        QStringLiteral("K"),
        QString(QChar(0x212A)),
        QStringLiteral("stop"),
        QStringLiteral("s"),
        QString(QChar(0x17F)),
        QString::fromUtf8("\xc3\xa9t\xc3\xa9"),
        QString::fromUtf8("\xc3\x89"),
        QString::fromUtf8("\xc3\x9f"),
        QStringLiteral("SS"),
        QString::fromUtf8("\xf0\x9f\x98\x80"),
        QString::fromUtf8("\xc3\xb0\xc5\xb8\xcb\x9c"),
        QString(QChar(0xFEFF)) + "b",
        QStringLiteral("line"),
        QStringLiteral(" "),
        QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xc3\xa9"),
    };
    for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (const QString &text : texts) {
            Rows expected;
            for (std::size_t i = 0; i < lines.size(); ++i) {
                if (decodeLine(lines[i]).contains(text, sensitivity))
                    expected.push_back(static_cast<std::uint32_t>(i));
            }
            EXPECT_EQ(findAll(lines, text, sensitivity), expected)
                << text.toStdString() << (sensitivity == Qt::CaseSensitive ? " with case" : "");
        }
    }
}

TEST(LineFinder, ContinuesWithNewLinesAndStartsOverAfterAClear)
{
    LineStore store;
    const auto add = [&](int n, const char *line) {
        for (int i = 0; i < n; ++i)
            store.append(line, {});
    };
    add(4, "hit");
    add(4, "miss");
    LineFinder finder;
    finder.setText(QStringLiteral("hit"), Qt::CaseSensitive);
    finder.setLines(store.snapshot());

    EXPECT_FALSE(finder.step(3));
    EXPECT_EQ(finder.matches(), (Rows{0, 1, 2}));
    EXPECT_TRUE(finder.step(100));
    EXPECT_EQ(finder.matchCount(), 4u);

    // More lines: only they are searched, and the search is incomplete until they are.
    add(2, "hit");
    finder.setLines(store.snapshot());
    EXPECT_FALSE(finder.isComplete());
    EXPECT_EQ(finder.searchedCount(), 8u);
    EXPECT_TRUE(finder.step(100));
    EXPECT_EQ(finder.matches(), (Rows{0, 1, 2, 3, 8, 9}));

    // A clear and a refill to more lines than before within one look: a new search.
    store.clear();
    add(5, "miss");
    add(6, "hit");
    finder.setLines(store.snapshot());
    EXPECT_EQ(finder.searchedCount(), 0u);
    EXPECT_TRUE(finder.step(100));
    EXPECT_EQ(finder.matches(), (Rows{5, 6, 7, 8, 9, 10}));

    // A clear that leaves the list empty.
    store.clear();
    finder.setLines(store.snapshot());
    EXPECT_TRUE(finder.isComplete());
    EXPECT_EQ(finder.matchCount(), 0u);

    // A new text searches again from the first line.
    add(3, "hit");
    finder.setLines(store.snapshot());
    finder.step(100);
    finder.setText(QStringLiteral("HIT"), Qt::CaseInsensitive);
    EXPECT_EQ(finder.searchedCount(), 0u);
    EXPECT_TRUE(finder.step(100));
    EXPECT_EQ(finder.matchCount(), 3u);
}

TEST(LineFinder, StepsOnEvenWhenTheDeadlineHasPassed)
{
    LineStore store;
    for (int i = 0; i < 1000; ++i)
        store.append("a line", {});
    LineFinder finder;
    finder.setText(QStringLiteral("line"), Qt::CaseSensitive);
    finder.setLines(store.snapshot());
    const auto past = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    std::size_t calls = 0;
    while (!finder.stepUntil(past))
        ASSERT_LT(++calls, 1000u) << "no progress within a passed deadline";
    EXPECT_EQ(finder.matchCount(), 1000u);
}

TEST(LineFinder, GoesFromMatchToMatchAndWrapsAround)
{
    LineStore store;
    for (int i = 0; i < 12; ++i)
        store.append(i == 2 || i == 5 || i == 9 ? "hit" : "miss", {});
    LineFinder finder;
    finder.setText(QStringLiteral("hit"), Qt::CaseSensitive);
    finder.setLines(store.snapshot());

    // Part searched (rows 0..6): no wrapping yet, since later rows may hold matches.
    finder.step(7);
    EXPECT_EQ(finder.nextMatch(-1), 2u);
    EXPECT_EQ(finder.nextMatch(2), 5u);
    EXPECT_EQ(finder.nextMatch(5), std::nullopt);
    EXPECT_EQ(finder.previousMatch(5), 2u);
    EXPECT_EQ(finder.previousMatch(2), std::nullopt);

    finder.step(100);
    const struct {
        const char *what;
        std::optional<std::size_t> found;
        std::optional<std::size_t> expected;
    } rows[] = {
        {"next from no row", finder.nextMatch(-1), 2},
        {"next from a match", finder.nextMatch(2), 5},
        {"next from between matches", finder.nextMatch(6), 9},
        {"next from the last match wraps", finder.nextMatch(9), 2},
        {"next from beyond the last match wraps", finder.nextMatch(11), 2},
        {"previous from a match", finder.previousMatch(9), 5},
        {"previous from the first match wraps", finder.previousMatch(2), 9},
        {"previous from row 0 wraps", finder.previousMatch(0), 9},
        {"previous from no row wraps", finder.previousMatch(-1), 9},
        {"index of a match", finder.matchIndex(9), 2},
        {"index of a row that is no match", finder.matchIndex(4), std::nullopt},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.found, row.expected) << row.what;

    finder.setText(QStringLiteral("none"), Qt::CaseSensitive);
    finder.step(100);
    EXPECT_EQ(finder.nextMatch(-1), std::nullopt);
    EXPECT_EQ(finder.previousMatch(5), std::nullopt);
}

} // namespace
