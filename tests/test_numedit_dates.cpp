// Dates in the widget: the date case of SetValue and the order in which a rejected date is
// shown. (Date completion itself is in test_date_entry.cpp.)
#include "date_value.h"
#include "fixed_settings.h"

#include <numedit/tnumedit.h>

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace
{

// Today is 9 December 2025 and dates are shown as d.M.yyyy unless a test says otherwise.
class NumEditDates : public FixedSettingsTest
{
protected:
    static void useShortDateFormat(const char *format) { useSettings('.', format); }
};

TEST_F(NumEditDates, SetValueWritesTheTextWithoutFormattingIt)
{
    TNumEdit e;
    // Reformat would cut this mask's text to "05": it divides the mask only at "." and "-".
    e.setNumMask(QStringLiteral("DD,MM,YYYY"));
    ASSERT_EQ(e.numType(), TNumEdit::ntDate);
    int events = 0;
    QObject::connect(&e, &TNumEdit::edError, [&] { ++events; });
    e.SetValue(tk::encodeDate(2024, 3, 5));
    EXPECT_EQ(e.text(), QStringLiteral("05,03,2024"));
    EXPECT_EQ(e.DateOutput(), QStringLiteral("05,03,2024"));
    EXPECT_EQ(events, 0);
    EXPECT_EQ(e.color(), clWindow);
}

TEST_F(NumEditDates, SetValueFailureEmptiesTheText)
{
    useShortDateFormat("yyyy.M");
    for (bool clearOnErr : {true, false}) {
        SCOPED_TRACE(clearOnErr ? "ClearOnErr" : "ClearOnErr cleared");
        TNumEdit e;
        e.setNumMask(QStringLiteral("D.M.Y"));
        e.setClearOnErr(clearOnErr);
        e.QLineEdit::setText(QStringLiteral("1.1.2020"));
        QString seen;
        int events = 0;
        QObject::connect(&e, &TNumEdit::edError, [&] {
            ++events;
            seen = e.text();
        });
        e.SetValue(tk::encodeDate(2024, 3, 5));
        EXPECT_EQ(events, 1);
        EXPECT_EQ(seen, QStringLiteral("1.1.2020")); // the event comes first
        EXPECT_TRUE(e.text().isEmpty());
        EXPECT_TRUE(e.DateOutput().isEmpty());
        EXPECT_EQ(e.color(), clearOnErr ? clRed : clWindow);
    }
}

// A value that is no day of the years 1 to 9999 is refused like a day out of range: clamped,
// it would be written as another date without a word.
TEST_F(NumEditDates, SetValueRefusesValuesThatAreNoDate)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char *name;
        double value;
        const char *text; // empty: refused
    } rows[] = {
        {"NaN", std::numeric_limits<double>::quiet_NaN(), ""},
        {"infinity", inf, ""},
        {"minus infinity", -inf, ""},
        {"the day after 31.12.9999", tk::encodeDate(9999, 12, 31) + 1, ""},
        {"the day before 1.1.1", tk::encodeDate(1, 1, 1) - 1, ""},
        {"far out", 1e300, ""},
        {"noon of 31.12.9999", tk::encodeDate(9999, 12, 31) + 0.5, "31.12.9999"},
        // Written years below 100 take the century rule, as typed ones do.
        {"1.1.1", tk::encodeDate(1, 1, 1), "1.1.2001"},
    };
    for (const auto &row : rows) {
        for (bool clearOnErr : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (clearOnErr ? "" : ", ClearOnErr cleared"));
            TNumEdit e;
            e.setNumMask(QStringLiteral("D.M.Y"));
            e.setClearOnErr(clearOnErr);
            e.QLineEdit::setText(QStringLiteral("1.1.2020"));
            int events = 0;
            QObject::connect(&e, &TNumEdit::edError, [&] { ++events; });
            e.SetValue(row.value);
            const bool refused = !*row.text;
            EXPECT_EQ(e.text().toStdString(), row.text);
            EXPECT_EQ(e.DateOutput().toStdString(), row.text);
            EXPECT_EQ(events, refused ? 1 : 0);
            EXPECT_EQ(e.color(), refused && clearOnErr ? clRed : clWindow);
        }
    }
}

// Too many separators and then a day out of range: the handler hears of both, each time with
// the rejected text in the normal colour, and only then is the field emptied.
TEST_F(NumEditDates, TextRejectedTwiceFiresTheEventTwice)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("DD-MM-YYYY"));
    e.setClearOnErr(false);
    std::vector<std::string> seen;
    QObject::connect(&e, &TNumEdit::edError, [&] {
        seen.push_back(e.text().toStdString() + (e.color() == clWindow ? " normal" : " coloured"));
    });
    e.setText(QStringLiteral("32.5..99"));
    EXPECT_EQ(seen, std::vector<std::string>(2, "32.5..99 normal"));
    EXPECT_TRUE(e.text().isEmpty());
    EXPECT_EQ(e.color(), clWindow);
}

// The control applies the date branch's error in order: the handler sees the rejected text
// in the normal colour, the text and the colour change after it.
TEST_F(NumEditDates, RangeErrorReachesTheHandlerBeforeTheTextChanges)
{
    TNumEdit e;
    e.setNumMask(QStringLiteral("D.M.Y"));
    QString seenText;
    TColor seenColour = 0;
    QObject::connect(&e, &TNumEdit::edError, [&] {
        seenText = e.text();
        seenColour = e.color();
    });
    e.QLineEdit::setText(QStringLiteral("32.1.2020"));
    e.Reformat();
    EXPECT_EQ(seenText, QStringLiteral("32.1.2020"));
    EXPECT_EQ(seenColour, clWindow);
    EXPECT_TRUE(e.text().isEmpty());
    EXPECT_EQ(e.color(), clRed);

    // Typing a date through the Text setter completes it from today.
    e.setText(QStringLiteral("5"));
    EXPECT_EQ(e.text(), QStringLiteral("5.12.2025"));
    EXPECT_EQ(e.color(), clWindow);
}

} // namespace
