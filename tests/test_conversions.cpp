#include "clock.h"
#include "conversions.h"
#include "date_value.h"
#include "regional.h"

#include <numedit/exception.h>

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace
{

std::string convertError(auto &&call)
{
    try {
        call();
    } catch (const tk::EConvertError &e) {
        return e.message();
    }
    return "(no error)";
}

tk::RegionalSettings settings(char decimal, char date, std::string format)
{
    tk::RegionalSettings s;
    s.decimalSeparator = decimal;
    s.dateSeparator = date;
    s.shortDateFormat = std::move(format);
    return s;
}

TEST(StrToInt, AcceptsDecimalAndHexadecimalForms)
{
    const struct {
        const char *text;
        std::int32_t value;
    } rows[] = {
        {"20010", 20010},
        {"  5", 5},
        {"-5", -5},
        {"+7", 7},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"$FF", 255},
        {"xff", 255},
        {"X10", 16},
        {"0x7FFFFFFF", INT32_MAX},
        {"0X1", 1},
        {"$FFFFFFFF", -1},
        {"  $80000000", INT32_MIN},
    };
    for (const auto &row : rows)
        EXPECT_EQ(tk::strToInt(row.text), row.value) << row.text;
}

TEST(StrToInt, RejectsWithTheWholeTextInTheMessage)
{
    for (const char *text : {"", " ", "5 ", "-", "1.5", "2147483648", "-2147483649", "$", "0x",
                             "$123456789", "-$10", "+0x1", "12a", "$FG", "9999999999999"})
        EXPECT_EQ(convertError([&] { tk::strToInt(text); }),
                  "'" + std::string(text) + "' is not a valid integer value");
}

TEST(StrToFloat, ReadsTheRegionalSeparatorAndExponent)
{
    const auto dot = settings('.', '.', "d.M.yyyy");
    const auto comma = settings(',', '.', "d.M.yyyy");
    const struct {
        const char *text;
        tk::RegionalSettings s;
        double value;
    } rows[] = {
        {"3.25", dot, 3.25}, {"  2", dot, 2},     {"2  ", dot, 2},       {"-.5", dot, -0.5},
        {".", dot, 0},       {"5.", dot, 5},      {"+1e3", dot, 1000},   {"1E-2", dot, 0.01},
        {"1e+2", dot, 100},  {"1,5", comma, 1.5}, {"1e-5000", dot, 0.0}, {"-0", dot, 0},
    };
    for (const auto &row : rows)
        EXPECT_DOUBLE_EQ(tk::strToFloat(row.text, row.s), row.value) << row.text;
    // Within the extended range but beyond a double's: the value is held as infinity.
    EXPECT_TRUE(std::isinf(tk::strToFloat("1e4000", dot)));
    EXPECT_TRUE(std::isinf(tk::strToFloat("-1e4000", dot)) && tk::strToFloat("-1e4000", dot) < 0);
}

TEST(StrToFloat, GivesTheNearestDouble)
{
    // The first three, read through the extended type first, round twice and land one step
    // off. A value's general number text must read back exactly.
    const auto dot = settings('.', '.', "d.M.yyyy");
    for (const char *text : {"1.31505501404952E-47", "-2.37728335246794e-233",
                             "2.68446400052108e+274", "0.1", "1E-320"}) {
        double nearest = 0;
        std::from_chars(text, text + std::strlen(text), nearest);
        EXPECT_EQ(tk::strToFloat(text, dot), nearest) << text;
    }
}

TEST(StrToFloat, Rejects)
{
    const auto dot = settings('.', '.', "d.M.yyyy");
    for (const char *text :
         {"", " ", "-", "1e", "1e+", "1,5", "abc", "1.5x", "1 5", "e5", "1e5000", "--1", "1.2.3"})
        EXPECT_EQ(convertError([&] { tk::strToFloat(text, dot); }),
                  "'" + std::string(text) + "' is not a valid floating point value");
    EXPECT_EQ(convertError([] { tk::strToFloat("1.5", settings(',', '.', "d.M.yyyy")); }),
              "'1.5' is not a valid floating point value");
}

TEST(StrToDate, FollowsTheShortDateOrder)
{
    const auto dmy = settings('.', '.', "d.M.yyyy");
    const auto ymd = settings('.', '-', "yyyy-MM-dd");
    const auto mdy = settings('.', '/', "M/d/yyyy");
    const auto none = settings('.', '.', "x.x.x");
    const struct {
        const char *text;
        tk::RegionalSettings s;
        int y, m, d;
    } rows[] = {
        {"1.1.2000", dmy, 2000, 1, 1},
        {"1.1", dmy, 2025, 1, 1},
        {"5.3.99", dmy, 2099, 3, 5},
        {"29.2.2000", dmy, 2000, 2, 29},
        {" 1 . 2 . 2003 ", dmy, 2003, 2, 1},
        {"1.2.2003.", dmy, 2003, 2, 1},
        {"00001.1.2000", dmy, 2000, 1, 1},
        {"2024-3-5", ymd, 2024, 3, 5},
        {"3-5", ymd, 2025, 3, 5},
        {"3/5/2024", mdy, 2024, 3, 5},
        {"3/5", mdy, 2025, 3, 5},
        {"3.5.2024", none, 2024, 3, 5},
        {"1.1.0", dmy, 2000, 1, 1},
    };
    for (const auto &row : rows)
        EXPECT_EQ(tk::strToDate(row.text, 2025, row.s), tk::encodeDate(row.y, row.m, row.d))
            << row.text;
    EXPECT_EQ(tk::strToDate("1.1.2000", 2025, dmy), 36526);
    EXPECT_EQ(tk::strToDate("1.1.1900", 2025, dmy), 2);
}

TEST(StrToDate, Rejects)
{
    const auto dmy = settings('.', '.', "d.M.yyyy");
    for (const char *text :
         {"", "1", "31.2.2000", "29.2.1900", "0.1.2000", "1.13.2000", "1.2.2003..", "1.2.",
          "12345.1.2000", "1.2.3.4", "1-2-2000", "a.1.2000", "1.1.10000"})
        EXPECT_EQ(convertError([&] { tk::strToDate(text, 2025, dmy); }),
                  "'" + std::string(text) + "' is not a valid date");
}

TEST(FloatToGeneralText, FifteenDigitsPlainOrScientific)
{
    const struct {
        double value;
        const char *text;
    } rows[] = {
        {20010, "20010"},
        {0.05, "0.05"},
        {1e20, "1E20"},
        {0.00000015, "1.5E-7"},
        {1.0 / 3, "0.333333333333333"},
        {0.1 + 0.2, "0.3"},
        {1e15, "1E15"},
        {999999999999999.0, "999999999999999"},
        {999999999999999.9, "1E15"},
        {1e-5, "1E-5"},
        {0.0001, "0.0001"},
        {9.999999999999999e-05, "0.0001"},
        {-2.5, "-2.5"},
        {0.0, "0"},
        {-0.0, "0"},
        {100, "100"},
        {123.456, "123.456"},
        {123456789012345678.0, "1.23456789012346E17"},
        {-1.5e300, "-1.5E300"},
        {1e-300, "1E-300"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(tk::floatToGeneralText(row.value, '.'), row.text) << row.value;
    EXPECT_EQ(tk::floatToGeneralText(2.5, ','), "2,5");
    EXPECT_EQ(tk::floatToGeneralText(1.5e-7, ','), "1,5E-7");
}

TEST(DateText, WritesTheShortDateFormat)
{
    EXPECT_EQ(tk::dateToShortDateText(36526, settings('.', '.', "d.M.yyyy")), "1.1.2000");
    EXPECT_EQ(tk::dateToShortDateText(36526, settings('.', '.', "dd.MM.yy")), "01.01.00");
    EXPECT_EQ(
        tk::dateToShortDateText(tk::encodeDate(2025, 12, 9), settings('.', '-', "yyyy-MM-dd")),
        "2025-12-09");
    const tk::CivilDate d = tk::decodeDate(tk::encodeDate(1899, 12, 30) + 0.75);
    EXPECT_EQ(d.year * 10000 + d.month * 100 + d.day, 18991230);
    EXPECT_EQ(tk::encodeDate(1899, 12, 30), 0);
}

TEST(RegionalSettings, DerivesANumericShortDateFormat)
{
    const struct {
        const char *point, *qtFormat, *format;
        char decimal, date;
    } rows[] = {
        {".", "d MMM yyyy", "yyyy-MM-dd", '.', '-'},    // the C locale: a month name
        {".", "M/d/yy", "M/d/yy", '.', '/'},            // en_US
        {",", "dd.MM.yy", "dd.MM.yy", ',', '.'},        // de_DE
        {",", "dd/MM/yyyy", "dd/MM/yyyy", ',', '/'},    // fr_FR
        {",", "dd-MM-yyyy", "dd-MM-yyyy", ',', '-'},    // nl_NL
        {".", "yyyy/MM/dd", "yyyy/MM/dd", '.', '/'},    // ja_JP
        {",", "yyyy. MM. dd.", "yyyy.MM.dd", ',', '.'}, // hu_HU
        {".", "dddd, d.MMM.yyyy", "d.M.yyyy", '.', '.'},
        {"\xd9\xab", "d/M/yyyy", "d/M/yyyy", '.', '/'}, // a separator of two bytes
    };
    for (const auto &row : rows) {
        const tk::RegionalSettings s = tk::deriveRegionalSettings(row.point, row.qtFormat);
        EXPECT_EQ(s.shortDateFormat, row.format) << row.qtFormat;
        EXPECT_EQ(s.decimalSeparator, row.decimal) << row.qtFormat;
        EXPECT_EQ(s.dateSeparator, row.date) << row.qtFormat;
    }
}

TEST(Clock, TodayCanBeFixed)
{
    tk::setTodayForTesting(tk::encodeDate(2025, 12, 9));
    EXPECT_EQ(tk::today(), tk::encodeDate(2025, 12, 9));
    tk::setTodayForTesting(std::nullopt);
    EXPECT_GT(tk::today(), tk::encodeDate(2020, 1, 1));
}

} // namespace
