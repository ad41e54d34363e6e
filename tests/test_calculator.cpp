#include "conversions.h"
#include "num_core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{

using numcore::EvaluateExpression;

constexpr double inf = std::numeric_limits<double>::infinity();

struct ValueCase {
    const char *why;
    std::string text;
    double expected;
};

TEST(CalculatorTest, ReadsStrictlyLeftToRight)
{
    const ValueCase cases[] = {
        {"no precedence", "1+2*3", 9},
        {"division by zero skipped", "10/0", 10},
        {"comma reads as a decimal point", "2,5*2", 5},
        {"leading minus on an empty operand", "-5", -5},
        {"trailing operator takes 0", "3-", 3},
        {"empty text", "", 0},
        {"operator after operator", "5*-3", -3},
        {"division by the empty operand skipped", "10/-2", 8},
        {"white space around numbers", "1 + 2", 3},
        {"conversion stops at a letter", "12abc", 12},
        {"comma as decimal point, not thousands", "1,000", 1},
        {"second full stop ends the number", "1.5.2", 1.5},
        {"several steps", "12*3+4", 40},
        {"tabs and newlines skipped", "\t\n7*2", 14},
        {"fraction without integer digits", ".5*4", 2},
        {"integer with a bare point", "5.+1", 6},
        {"a lone point is no number", ".+3", 3},
        {"exponent", "1e3+1E2", 1100},
        {"exponent without digits is not read", "2e*3", 6},
        {"exponent sign closes the operand", "1E-5", -4},
        {"letters before the number", "x5+1", 1},
        {"space between digits ends the number", "1 2+1", 2},
        {"non-ASCII bytes belong to the operand", "3\xc3\xa9+1", 4},
        {"division by a text operand skipped", "9/abc", 9},
        {"zero written with a fraction is skipped too", "6/0.0", 6},
    };
    for (const ValueCase &c : cases)
        EXPECT_EQ(EvaluateExpression(c.text), c.expected) << c.why << ": \"" << c.text << '"';
}

TEST(CalculatorTest, ForeignNumberFormsCountAsTheirLeadingDecimalPart)
{
    // A C library's conversion would read these as infinity, not-a-number or hexadecimal.
    const ValueCase cases[] = {
        {"infinity", "inf", 0},
        {"long infinity", "INFINITY*2+1", 1},
        {"not-a-number", "nan+2", 2},
        {"not-a-number with payload", "nan(123)", 0},
        {"hexadecimal reads as its leading 0", "0x10", 0},
        {"hexadecimal plus", "0x1A+1", 1},
        {"hexadecimal divisor is 0, so skipped", "8/0x2", 8},
        {"hexadecimal float", "0x1p3", 0},
    };
    for (const ValueCase &c : cases)
        EXPECT_EQ(EvaluateExpression(c.text), c.expected) << c.why << ": \"" << c.text << '"';
}

TEST(CalculatorTest, ResultsBeyondTheRangeStayIeeeValues)
{
    const ValueCase cases[] = {
        {"operand above the range", "1e400", inf},
        {"operand with a huge exponent", "1e99999999999999999999", inf},
        {"negated overflow", "-1e400", -inf},
        {"product overflows", "1e200*1e200", inf},
        {"finite times infinity", "1e400*0.5", inf},
        {"operand below the range", "0." + std::string(400, '0') + "1", 0},
        {"tiny operand, then more", "0." + std::string(400, '0') + "1+2", 2},
        {"tiny divisor rounds to 0 and is skipped", "3/0." + std::string(400, '0') + "1", 3},
        {"largest double", "1.7976931348623157e308", 1.7976931348623157e308},
    };
    for (const ValueCase &c : cases)
        EXPECT_EQ(EvaluateExpression(c.text), c.expected) << c.why;

    EXPECT_TRUE(std::isnan(EvaluateExpression("1e400-1e400")));
    EXPECT_TRUE(std::isnan(EvaluateExpression("1e400*0")));
}

TEST(CalculatorTest, LongTextIsEvaluatedWhole)
{
    // 600 terms, 1199 characters: well past 999.
    std::string sum = "1";
    for (int i = 1; i < 600; ++i)
        sum += "+1";
    ASSERT_GT(sum.size(), 999u);
    EXPECT_EQ(EvaluateExpression(sum), 600);

    // The operator that matters stands after character 999.
    const std::string padded = "3" + std::string(1200, ' ') + "*4";
    EXPECT_EQ(EvaluateExpression(padded), 12);

    // One operand of 2000 digits.
    EXPECT_EQ(EvaluateExpression(std::string(2000, '9')), inf);
    EXPECT_EQ(EvaluateExpression("2" + std::string(2000, '0') + "e-1"), inf); // "e" then "-1"
    const std::string longFraction = "0." + std::string(1500, '3');
    EXPECT_DOUBLE_EQ(EvaluateExpression(longFraction), 1.0 / 3);
}

// What the field shows after the expression step: the result in general number form.
struct TextCase {
    const char *why;
    std::string text;
    char separator;
    std::string expected;
};

TEST(CalculatorTest, ResultsInGeneralNumberForm)
{
    const TextCase cases[] = {
        {"whole result", "5*4", '.', "20"},
        {"half", "7/2", '.', "3.5"},
        {"15 significant digits", "1/3", '.', "0.333333333333333"},
        {"binary rounding hidden", "0.1+0.2", '.', "0.3"},
        {"10^15 in exponent form", "1000000000000000", '.', "1E15"},
        {"just below 10^15", "999999999999999", '.', "999999999999999"},
        {"10^-5 in exponent form", "1/100000", '.', "1E-5"},
        {"10^-4 still plain", "1/10000", '.', "0.0001"},
        {"regional comma, typed full stop", "2.5*2", ',', "5"},
        {"regional comma in the result", "5/2", ',', "2,5"},
        {"negative", "-1/4", '.', "-0.25"},
        {"zero", "", '.', "0"},
        {"infinity", "1e400", '.', "INF"},
        {"negative infinity", "-1e400", '.', "-INF"},
        {"not-a-number", "1e400-1e400", '.', "NAN"},
    };
    for (const TextCase &c : cases)
        EXPECT_EQ(tk::floatToGeneralText(EvaluateExpression(c.text), c.separator), c.expected)
            << c.why << ": \"" << c.text << '"';
}

} // namespace
