// Date completion in reformat and DateValueToText, through the pure core.
#include "clock.h"
#include "date_value.h"
#include "fixed_settings.h"
#include "num_core.h"
#include "regional.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace
{

// Today is 9 December 2025 and dates are shown as d.M.yyyy unless a test says otherwise.
class DateEntryTest : public FixedSettingsTest
{
protected:
    static void useShortDateFormat(const char *format) { useSettings('.', format); }
};

struct Row {
    const char *mask;
    const char *typed;
    const char *result;
    int events; // how often OnEdError fires
    bool errorColour;
    bool clearOnErr = true;
};

struct Shown {
    std::string text;
    int events = 0;
    bool errorColour = false;
};

// Runs the date branch the way the control does and applies the outcome in its order.
Shown reformatDate(const Row &row)
{
    numcore::MaskInfo info;
    numcore::AnalyseMask(row.mask, info);
    const std::string mask = numcore::upperCaseMask(row.mask);
    numcore::ReformatInput in;
    in.text = row.typed;
    in.kind = numcore::Kind::Date;
    in.mask = info;
    in.numMask = mask;
    in.clearOnErr = row.clearOnErr;
    in.date = {tk::today(), tk::regionalSettings().shortDateFormat};
    const numcore::ReformatOutcome out = numcore::Reformat(in);
    Shown shown{row.typed};
    if (out.intermediateText)
        shown.text = *out.intermediateText;
    if (out.text)
        shown.text = *out.text;
    shown.events = out.edErrors;
    shown.errorColour = out.errorColour;
    return shown;
}

void expectRows(const std::vector<Row> &rows)
{
    for (const Row &row : rows) {
        SCOPED_TRACE(std::string("mask ") + row.mask + ", typed \"" + row.typed + "\"" +
                     (row.clearOnErr ? "" : ", ClearOnErr cleared"));
        const Shown shown = reformatDate(row);
        EXPECT_EQ(shown.text, row.result);
        EXPECT_EQ(shown.events, row.events);
        EXPECT_EQ(shown.errorColour, row.errorColour);
    }
}

constexpr int none = 0, fired = 1, twice = 2;
constexpr bool normal = false, red = true, withoutClearOnErr = false;

const std::vector<Row> completionTable = {
    {"D.M.Y", "5.3.", "5.3.2025", none, normal},
    {"D.M.Y", "5", "5.12.2025", none, normal},
    {"D.M.Y", "31.12.99", "31.12.1999", none, normal},
    {"D.M.Y", "1.1.5", "1.1.2005", none, normal},
    {"D.M.Y", "", "9.12.2025", none, normal},
    {"D.M.Y", "5.3.00", "5.3.2025", none, normal}, // 0 means "not given"
    {"D.M.Y", "0.0.0", "9.12.2025", none, normal},
    {"D.M.Y", "5..", "5.12.2025", none, normal},
    {"D.M.Y", "..2024", "9.12.2024", none, normal},
    {"D.M.Y", "-5.3.", "5.3.2025", none, normal},
    {"D.M.Y", "31.2.1999", "31.2.1999", none, normal}, // no calendar check
    {"D.M.Y", "5.3.123", "5.3.123", none, normal},
    {"D.M.Y", "1-2-3-4-5", "1.2.2003", none, normal}, // "-" is no separator for the limit
    {"DD.MM.YYYY", "5.3.", "05.03.2025", none, normal},
    {"DD.MM.YYYY", "5,3,2024", "05.03.2024", none, normal},
    {"DD.MM.YYYY", "5-3-24", "05.03.2024", none, normal},
    {"DD.MM.YYYY", "", "09.12.2025", none, normal},
    {"DD.MM.YY", "5.3.", "05.03.2025", none, normal}, // the year is always written in full
    {"D.MM.Y", "5.3.", "5.03.2025", none, normal},
    {"DDD.M.Y", "5.3.", "5.3.2025", none, normal}, // padding only with exactly two letters
    {"M.D.Y", "3.5.89", "3.5.2089", none, normal},
    {"M.D.Y", "3.5.90", "3.5.1990", none, normal},
    {"Y-M-D", "2024-3-5", "2024-3-5", none, normal},
    {"Y-M-D", "123-3-5", "123-3-5", none, normal},
    {"Y.M.D", "24.3.5", "2024.3.5", none, normal},
    {"D-M-Y", "5.3.2024", "5-3-2024", none, normal},
    {"D.M", "5.3.2024", "5.3", none, normal},
    {"D.M.Y", "32.1.2020", "", fired, red},
    {"D.M.Y", "32.1.2020", "", fired, normal, withoutClearOnErr},
    {"D.M.Y", "1.13.2020", "", fired, red},
    {"D.M.Y", "1.2.3.4", "", fired, red},
    {"D.M.Y", "1.2.3.4", "1.2.2003", fired, normal, withoutClearOnErr},
    {"D.M.Y", "5.3.2024x", "", fired, red},
    // Too many separators, and then a part out of range: rejected twice, unless the first
    // rejection already emptied the field.
    {"DD-MM-YYYY", "32.5..99", "", twice, normal, withoutClearOnErr},
    {"D.M.Y", "1.13.3.4", "", twice, normal, withoutClearOnErr},
    {"DD-MM-YYYY", "32.5..99", "", fired, red},
    {"D/M/Y", "5.3.24", "5", none, normal},         // one section: only its first part
    {"00.00.0000", "5.3.2024", "..", none, normal}, // no date letters: only the dividers
    // Typed text divides at ",", the mask does not: one section, as with "/".
    {"DD,MM,YYYY", "5,3,2024", "05", none, normal},
};

TEST_F(DateEntryTest, CompletesAndNormalisesTypedDates)
{
    expectRows(completionTable);
}

// Today's day, month and year are read in the order of the short date format, whatever its
// dividers; the result's order comes from the mask alone, so every row comes out the same.
TEST_F(DateEntryTest, TodaysPartsFollowTheShortDateFormat)
{
    for (const char *format : {"yyyy-MM-dd", "M/d/yyyy", "dd.MM.yy", "M/d/yy"}) {
        SCOPED_TRACE(format);
        useShortDateFormat(format);
        expectRows(completionTable);
    }
}

TEST_F(DateEntryTest, RunsOfDividersInTheShortDateFormatCountAsOne)
{
    useShortDateFormat("yyyy. MM. dd.");
    expectRows({
        {"D.M.Y", "5", "5.12.2025", none, normal},
        {"D.M.Y", "", "9.12.2025", none, normal},
        {"Y-M-D", "..3", "2025-12-3", none, normal},
    });
}

// Fields longer than nine digits must neither wrap around nor overflow: 4294967301 is
// 2^32 + 5, which a 32-bit reading would take for 5.
TEST_F(DateEntryTest, OverlongFieldsAreOutOfRange)
{
    const std::string thousandNines(1000, '9');
    const std::string longYear = "1.1." + thousandNines;
    expectRows({
        {"D.M.Y", "99999999999.1.2020", "", fired, red},
        {"D.M.Y", "99999999999.1.2020", "", fired, normal, withoutClearOnErr},
        {"D.M.Y", "4294967301.1.2020", "", fired, red},
        {"D.M.Y", "1.4294967297.2020", "", fired, red},
        {"D.M.Y", "1.1.99999999999", "", fired, red},
        {"D.M.Y", "1.1.99999999999", "", fired, normal, withoutClearOnErr},
        {"D.M.Y", "1.1.4294969321", "", fired, red},
        {"D.M.Y", longYear.c_str(), "", fired, red},
        {"D.M.Y", "1.1.2147483647", "1.1.2147483647", none, normal},
        {"D.M.Y", "1.1.2147483648", "", fired, red},
        {"D.M.Y", "0000000000000000000005.3.", "5.3.2025", none, normal},
        // A field beyond the mask's sections is never read.
        {"D.M.Y", "1.2.3.99999999999", "1.2.2003", fired, normal, withoutClearOnErr},
    });
}

struct ValueRow {
    const char *format;
    const char *mask;
    int year, month, day;
    const char *result;
};

TEST_F(DateEntryTest, DateValueToTextWritesTheMasksForm)
{
    const std::vector<ValueRow> rows = {
        {"d.M.yyyy", "DD.MM.YYYY", 2024, 3, 5, "05.03.2024"},
        {"d.M.yyyy", "Y-M-D", 2024, 3, 5, "2024-3-5"},
        {"d.M.yyyy", "DD,MM,YYYY", 2024, 3, 5, "05,03,2024"}, // "," divides here too
        {"d.M.yyyy", "D.M", 2024, 3, 5, "5.3"},
        {"d.M.yyyy", "D/M/Y", 2024, 3, 5, "5"},
        {"d.M.yyyy", "M.D.Y.X", 2024, 12, 31, "12.31.2024"},
        {"d.M.yyyy", "DD.MM.YY", 2024, 3, 5, "05.03.2024"},
        // The order of the format's pieces does not show in the result.
        {"yyyy-MM-dd", "DD.MM.YYYY", 2024, 3, 5, "05.03.2024"},
        {"M/d/yyyy", "DD.MM.YYYY", 2024, 3, 5, "05.03.2024"},
        {"yyyy. MM. dd.", "D.M.Y", 2024, 3, 5, "5.3.2024"},
        // Two-digit-year formats: the value's own century is withoutClearOnErr.
        {"dd.MM.yy", "D.M.Y", 1985, 1, 1, "1.1.1985"},
        {"M/d/yy", "D.M.Y", 2095, 7, 4, "4.7.2095"},
        {"dd.MM.yy", "D.M.Y", 2024, 3, 5, "5.3.2024"},
    };
    for (const ValueRow &row : rows) {
        SCOPED_TRACE(std::string(row.format) + ", mask " + row.mask);
        const numcore::DateContext context{tk::today(), row.format};
        EXPECT_EQ(numcore::DateValueToText(tk::encodeDate(row.year, row.month, row.day), row.mask,
                                           context),
                  std::optional<std::string>(row.result));
    }
}

TEST_F(DateEntryTest, DateValueToTextFailsWhenTheDayIsOutOfRange)
{
    // A month-year format leaves the day on the first piece, the year.
    const numcore::DateContext context{tk::today(), "yyyy.M"};
    EXPECT_EQ(numcore::DateValueToText(tk::encodeDate(2024, 3, 5), "D.M.Y", context), std::nullopt);
}

} // namespace
