// Mask analysis and number formatting through the pure core: tables of masks and texts.
#include "num_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>

namespace
{

using numcore::Kind;
using numcore::MaskInfo;

// ---------------------------------------------------------------------------------------------
// Mask analysis

// Every row starts from this mask, so a field that a new mask fails to reset shows up.
constexpr const char *previousMask = "<0990,009>";

TEST(MaskAnalysis, KindAndDigitRules)
{
    const struct {
        const char *mask;
        Kind kind;
        MaskInfo info; // IntNines, FracNines, IntZeros, FracZeros, IntUnlimited, FracUnlimited, sep
    } rows[] = {
        // The empty mask clears only the separator: the rest is the previous mask's.
        {"", Kind::None, {2, 1, 2, 2, true, true, 0}},
        {"<0", Kind::Int, {0, 0, 1, 0, true, false, 0}},
        {"<0.009", Kind::Float, {0, 1, 1, 2, true, false, '.'}},
        {"D.M.Y", Kind::Date, {0, 0, 0, 0, false, false, 0}},
        {"DD.MM.YYYY", Kind::Date, {0, 0, 0, 0, false, false, 0}},
        {"0.D", Kind::Date, {0, 0, 0, 0, false, false, '.'}}, // separator before the letter stays
        {"000", Kind::Int, {0, 0, 3, 0, false, false, 0}},
        {"990", Kind::Int, {2, 0, 1, 0, false, false, 0}},
        {"0,00", Kind::Float, {0, 0, 1, 2, false, false, ','}},
        {"9.99>", Kind::Float, {1, 2, 0, 0, false, true, '.'}},
        {"<0.>", Kind::Float, {0, 0, 1, 0, true, true, '.'}},
        {".", Kind::Float, {0, 0, 0, 0, false, false, '.'}},
        {"9.9;0.000", Kind::Float, {1, 1, 0, 0, false, false, '.'}}, // ";" ends the analysis
        {"0;D", Kind::Int, {0, 0, 1, 0, false, false, 0}},
        {"#,##0.00", Kind::Date, {0, 0, 0, 1, false, false, '.'}}, // two separators
        {"00.00.0000", Kind::Date, {0, 0, 2, 2, false, false, '.'}},
        {"0.0.0.0", Kind::None, {0, 0, 1, 1, false, false, '.'}},
        {"d.m.y", Kind::Date, {0, 0, 0, 0, false, false, '.'}}, // lower case: no date letter
        {"dd-mm-yyyy", Kind::Int, {0, 0, 0, 0, false, false, 0}},
        {"X", Kind::Int, {0, 0, 0, 0, false, false, 0}},
        {"9.9,", Kind::Date, {1, 1, 0, 0, false, false, ','}}, // the last separator counts
        {"<", Kind::Int, {0, 0, 0, 0, true, false, 0}},
    };
    for (const auto &row : rows) {
        MaskInfo info;
        numcore::AnalyseMask(previousMask, info);
        EXPECT_EQ(numcore::AnalyseMask(row.mask, info), row.kind) << row.mask;
        EXPECT_EQ(info.IntNines, row.info.IntNines) << row.mask;
        EXPECT_EQ(info.FracNines, row.info.FracNines) << row.mask;
        EXPECT_EQ(info.IntZeros, row.info.IntZeros) << row.mask;
        EXPECT_EQ(info.FracZeros, row.info.FracZeros) << row.mask;
        EXPECT_EQ(info.IntUnlimited, row.info.IntUnlimited) << row.mask;
        EXPECT_EQ(info.FracUnlimited, row.info.FracUnlimited) << row.mask;
        EXPECT_EQ(info.MaskSeparator, row.info.MaskSeparator) << row.mask;
    }
}

// ---------------------------------------------------------------------------------------------
// Reformat through the core

// A field as the NumMask setter leaves it, optionally with the kind or ClearOnErr changed
// afterwards.
struct Field {
    std::string mask;
    Kind kind = Kind::None;
    MaskInfo info;
    bool clearOnErr = false;
    bool rounded = false;
    bool noFormatOnEmpty = false;

    explicit Field(const std::string &m, std::optional<Kind> kindOverride = {})
    {
        kind = numcore::AnalyseMask(m, info);
        mask = numcore::upperCaseMask(m);
        clearOnErr = !mask.empty();
        if (kindOverride)
            kind = *kindOverride;
    }

    numcore::ReformatOutcome run(const std::string &text) const
    {
        numcore::ReformatInput in;
        in.text = text;
        in.kind = kind;
        in.mask = info;
        in.numMask = mask;
        in.clearOnErr = clearOnErr;
        in.rounded = rounded;
        in.noFormatOnEmpty = noFormatOnEmpty;
        return numcore::Reformat(in);
    }
};

// The text the control shows once the outcome is applied.
std::string shown(const numcore::ReformatOutcome &out, const std::string &before)
{
    if (out.text)
        return *out.text;
    if (out.intermediateText)
        return *out.intermediateText;
    return before;
}

struct FormatRow {
    const char *mask;
    bool keepOnErr; // ClearOnErr cleared after the mask
    bool rounded;
    const char *text;
    const char *result;
    bool edError;
    bool errorColour;
};

void checkRows(const FormatRow *begin, const FormatRow *end, std::optional<Kind> kind = {})
{
    for (const FormatRow *row = begin; row != end; ++row) {
        Field f(row->mask, kind);
        if (row->keepOnErr)
            f.clearOnErr = false;
        f.rounded = row->rounded;
        const numcore::ReformatOutcome out = f.run(row->text);
        const std::string what = std::string(row->mask) + " \"" + row->text + "\"";
        EXPECT_TRUE(out.ran) << what;
        EXPECT_EQ(shown(out, row->text), row->result) << what;
        EXPECT_EQ(out.edErrors, row->edError ? 1 : 0) << what;
        EXPECT_EQ(out.errorColour, row->errorColour) << what;
    }
}

TEST(NumberFormat, IntegerFields)
{
    const FormatRow rows[] = {
        {"<0", false, false, "007", "007", false, false},
        {"<0", false, false, "20010", "20010", false, false},
        {"<0", false, false, "-42", "-42", false, false},
        {"<0", false, false, "12.7", "12", false, false}, // cut, never rounded
        {"<0", false, true, "12.7", "12", false, false},  // Rounded acts on decimals only
        {"<0", false, false, "1,234", "1", false, false},
        {"<0", false, false, "", "0", false, false},
        {"<0", false, false, "-", "-0", false, false},
        {"<0", false, false, "--5", "-5", false, false},
        {"<0", false, false, "12a", "", true, true},
        {"<0", true, false, "12a", "12a", true, false},
        {"<0", false, false, " 5", "", true, true},
        {"<0", false, false, "+5", "", true, true},
        {"<0", false, false, "5\xC3\xA9", "", true, true}, // a character above 127
        {"000", false, false, "7", "007", false, false},
        {"000", false, false, "-7", "-007", false, false},
        {"00", false, false, "123", "23", false, false},
        {"9", false, false, "123", "3", false, false},
        {"990", false, false, "5", "5", false, false},
        {"90", false, false, "123", "23", false, false},
        {"<00", false, false, "5", "05", false, false},
        {"X", false, false, "123", "", false, false},
        {"<0", false, false, "12-345", "345", false, false},
        {"<0", false, false, "-12-345", "-345", false, false},
        {"<0", false, false, "5-", "50", false, false},
        {"990", false, false, "1-2345", "345", false, false}, // limit reached before the "-"
        {"<0", false, false, "1.2.3", "1.2", false, false},   // earlier separators stay
    };
    checkRows(std::begin(rows), std::end(rows));
}

TEST(NumberFormat, IntegerBranchShowsTheCutTextWithoutItsSignFirst)
{
    const Field f("<0");
    const numcore::ReformatOutcome out = f.run("-12.7");
    EXPECT_EQ(out.intermediateText, "12");
    EXPECT_EQ(out.text, "-12");
}

TEST(NumberFormat, DecimalFields)
{
    const FormatRow rows[] = {
        {"<0.009", false, false, "3,14159", "3.141", false, false},
        {"<0.009", false, true, "3,14159", "3.142", false, false},
        {"<0.009", false, true, "3.145", "3.145", false, false},
        {"<0.009", false, true, "1.2345678", "1.235", false, false},
        {"<0.009", false, true, "0.9999", "1.000", false, false},
        {"<0.009", false, false, "3.1", "3.10", false, false},
        {"<0.009", false, false, "3", "3.00", false, false},
        {"<0.009", false, false, "5.", "5.00", false, false},
        {"<0.009", false, false, "", "0.00", false, false},
        {"<0.009", false, false, "-5", "-5.00", false, false},
        {"<0.009", false, false, "-,5", "-0.50", false, false},
        {"00.00", false, false, "-5", "-05.00", false, false},
        {"0.00", false, false, "12.5", "2.50", false, false},
        {"9.9", false, false, "123.45", "3.4", false, false},
        {"<0.0", false, true, "9.96", "10.0", false, false},
        {"<0.0", false, true, "-9.96", "-10.0", false, false},
        {"<0.0", false, true, "99.99", "100.0", false, false},
        {"0.0", false, true, "9.96", "0.0", false, false}, // the carry digit is cut too
        {"<0.0", false, true, "0.05", "0.1", false, false},
        {"<0.00", false, true, "-0.005", "-0.01", false, false},
        {"<0.", false, true, "2.5", "3", false, false},
        {"<0.", false, true, "-2.5", "-3", false, false},
        {"<0.", false, true, "2.4", "2", false, false},
        {"<0.9", false, true, ".95", "1.0", false, false},
        {"<0.09", false, false, ".5", "0.5", false, false},
        {"<0.99", false, false, "1.2", "1.2", false, false},
        {"<0.>", false, false, "1.23456", "1.23456", false, false},
        {"<0,00", false, false, "1.5", "1,50", false, false},
        {"<0.00", false, false, "1.234.5", "", true, true},
        {"<0.00", true, false, "1.234.5", "1.234.50", false, false},
        {"<0.00", false, false, "1,234.56", "", true, true},
        {"<0.00", false, false, "1E20", "", true, true},
        {".", false, false, "5", "", false, false},
        // Rounding looks at the first character cut off only.
        {"<0.0", false, true, "1.249", "1.2", false, false},
        {"<0.0", false, true, "1.25", "1.3", false, false},
        {"<0.0", false, true, "1.2-9", "1.2", false, false}, // "-" behind the cut: no carry
        {"<0.0", false, true, ".05", "0.1", false, false},
        {"9.9", false, true, "9.96", "0.0", false, false}, // carry "1" beyond IntNines
        {"<0.00", true, false, "1.2.3", "1.2.30", false, false},
        {"<0.00", false, false, "1-2.5", "2.50", false, false},
        {"<0.00", false, false, "a1.5", "", true, true},
        {"<0.00", true, false, "a1.5", "a1.5", true, false},
    };
    checkRows(std::begin(rows), std::end(rows));
}

// Inputs the rules reach only in corners: a decimal kind over a mask without separator, a
// carry over several separators or into a "-" among the digits.
TEST(NumberFormat, DecimalCorners)
{
    const FormatRow noMaskSeparator[] = {
        {"<0", false, false, "3.7", "3.", false, false}, // the typed separator stays
        {"<0", false, true, "3.7", "4.", false, false},
        {"<0", false, false, "3", "3", false, false}, // nothing to append
        {"<0", false, true, ".5", "1.", false, false},
        {"<0", false, false, "", "0", false, false},
    };
    checkRows(std::begin(noMaskSeparator), std::end(noMaskSeparator), Kind::Float);

    const FormatRow carries[] = {
        {"<0.0", true, true, "1..96", "2..0", false, false}, // adjacent separators all skipped
        {"<0.0", true, true, "..96", "1..0", false, false},
        {"<0.0", true, true, "9.9.96", "10.0.0", false, false},
        {"<0.0", false, true, "1-9.96", "10.0", false, false},   // "-" ends the number
        {"000.0", false, true, "1-9.96", "110.0", false, false}, // "-" padded: a zero
        {"<0.0", false, true, "-1-9.96", "-10.0", false, false},
        {"<0.0", false, true, "-9.96", "-10.0", false, false},
        {"<0.0", false, true, "1.-96", "1.1", false, false}, // "-" in the fraction: a zero
        {"<0.00", false, true, "1.-996", "1.10", false, false},
    };
    checkRows(std::begin(carries), std::end(carries));

    // 0.00, then the empty mask, then ntFloat: the counts remain but there is no separator
    // to append, so a text without one gets no fraction to pad.
    Field f("0.00");
    numcore::AnalyseMask("", f.info);
    f.mask.clear();
    f.clearOnErr = false;
    f.kind = Kind::Float;
    EXPECT_EQ(f.run("3").text, "3");
    EXPECT_EQ(f.run("3.7").text, "3.70");
}

TEST(NumberFormat, LongTextsAndMasksGrowTheResult)
{
    Field f("<0.0");
    f.rounded = true;
    const std::string nines(5000, '9');
    EXPECT_EQ(f.run(nines + ".96").text, "1" + std::string(5000, '0') + ".0");

    const std::string zeros(300, '0');
    Field wide(zeros + "." + zeros);
    EXPECT_EQ(wide.run("-1.5").text, "-" + std::string(299, '0') + "1.5" + std::string(299, '0'));
    EXPECT_EQ(wide.run("").text, zeros + "." + zeros);

    Field bigInt(zeros);
    EXPECT_EQ(bigInt.run("-").text, "-" + zeros);
}

TEST(NumberFormat, NoFormatOnEmptyLeavesEverything)
{
    Field f("<0.00");
    f.noFormatOnEmpty = true;
    const numcore::ReformatOutcome empty = f.run("");
    EXPECT_FALSE(empty.ran); // not even the colour
    EXPECT_FALSE(empty.text);
    EXPECT_FALSE(empty.edErrors);
    EXPECT_EQ(f.run("5").text, "5.00"); // only the empty text is left alone
}

TEST(NumberFormat, KindNoneOnlyResetsTheColour)
{
    const Field f("0.0.0.0");
    ASSERT_EQ(f.kind, Kind::None);
    const numcore::ReformatOutcome out = f.run("abc");
    EXPECT_TRUE(out.ran);
    EXPECT_FALSE(out.text);
    EXPECT_FALSE(out.intermediateText);
    EXPECT_FALSE(out.edErrors);
    EXPECT_FALSE(out.errorColour);
}

// Random texts of valid characters over a set of masks: the result keeps to the mask's digit
// limits and is already in the mask's form, so a second run leaves it as it is.
TEST(NumberFormat, ResultsKeepTheLimitsAndAreStable)
{
    const struct {
        const char *mask;
        std::optional<Kind> kind;
    } masks[] = {{"<0", {}},     {"000", {}},   {"990", {}},   {"9", {}},          {"X", {}},
                 {"<0.009", {}}, {"0.0", {}},   {"9.9", {}},   {"<0.>", {}},       {"<0,00", {}},
                 {".", {}},      {"00.00", {}}, {"<00.9", {}}, {"<0", Kind::Float}};
    const std::string alphabet = "0123456789999555.,--";
    std::mt19937 rng(20010);
    for (const auto &m : masks) {
        for (int flags = 0; flags < 4; ++flags) {
            Field f(m.mask, m.kind);
            f.clearOnErr = flags & 1;
            f.rounded = flags & 2;
            for (int n = 0; n < 1500; ++n) {
                std::string text;
                for (int len = rng() % 9; len > 0; --len)
                    text += alphabet[rng() % alphabet.size()];
                const numcore::ReformatOutcome out = f.run(text);
                const std::string what = std::string(m.mask) + " \"" + text + "\"";
                ASSERT_TRUE(out.ran) << what;
                if (out.edErrors) {
                    // Only several separators in a decimal field with ClearOnErr.
                    EXPECT_TRUE(f.kind == Kind::Float && f.clearOnErr) << what;
                    continue;
                }
                ASSERT_TRUE(out.text) << what;
                // Earlier separators stay as ordinary characters, and a second run would
                // cut at them: the properties below hold for one separator at most.
                if (std::count_if(text.begin(), text.end(),
                                  [](char c) { return c == '.' || c == ','; }) > 1)
                    continue;
                std::string_view result = *out.text;
                if (result.starts_with('-'))
                    result.remove_prefix(1);
                std::string_view intPart = result;
                const size_t sep = result.find_last_of(".,");
                if (sep != result.npos) {
                    ASSERT_EQ(f.kind, Kind::Float) << what; // the integer branch cuts it off
                    intPart = result.substr(0, sep);
                    const size_t fraction = result.size() - sep - 1;
                    EXPECT_GE(fraction, size_t(f.info.FracZeros)) << what;
                    if (!f.info.FracUnlimited) {
                        EXPECT_LE(fraction, size_t(f.info.FracZeros + f.info.FracNines)) << what;
                    }
                } else if (f.kind == Kind::Float && f.info.MaskSeparator) {
                    EXPECT_EQ(f.info.FracZeros, 0) << what; // only an empty fraction drops it
                }
                EXPECT_GE(intPart.size(), size_t(f.info.IntZeros)) << what;
                if (!f.info.IntUnlimited) {
                    EXPECT_LE(intPart.size(), size_t(f.info.IntZeros + f.info.IntNines)) << what;
                }
                EXPECT_EQ(f.run(*out.text).text, *out.text) << what << " -> " << *out.text;
            }
        }
    }
}

} // namespace
