#include "num_core.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

namespace numcore
{

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The white space that C's text-to-double skips; fixed, so no locale can widen it.
bool isCSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::size_t skipDigits(std::string_view s, std::size_t i)
{
    while (i < s.size() && isDigit(s[i]))
        ++i;
    return i;
}

// Adds a run of decimal digits to a count that saturates far beyond any double's exponent.
std::int64_t addDigitsSaturated(std::int64_t value, std::string_view digits)
{
    constexpr std::int64_t cap = 1'000'000'000;
    for (char c : digits)
        value = value >= cap ? cap : value * 10 + (c - '0');
    return value;
}

// from_chars refuses a decimal number beyond the range of a double without telling which end
// it missed. Where its leading digit stands decides: above the range it becomes infinity,
// below it zero, as C's conversion rounds them.
double outOfRange(std::string_view number)
{
    const std::size_t mantissaEnd = std::min(number.find_first_of("eE"), number.size());
    const std::size_t point = std::min(number.find('.'), mantissaEnd);
    const std::size_t first = number.find_first_of("123456789");
    if (first >= mantissaEnd)
        return 0.0;
    // value = 0.d1d2... x 10^magnitude
    std::int64_t magnitude = first < point ? static_cast<std::int64_t>(point - first)
                                           : -static_cast<std::int64_t>(first - point - 1);
    if (mantissaEnd < number.size())
        magnitude += addDigitsSaturated(0, number.substr(mantissaEnd + 1));
    return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

// The value of an operand: white space skipped, then the longest leading decimal number
// (digits, an optional "." with fraction digits, an optional exponent). No sign: "+" and
// "-" always close an operand before it could carry one. Anything else, including the
// infinity, not-a-number and hexadecimal forms a C library would take, stops the reading,
// and an operand without a leading number is 0.
double readOperand(std::string_view operand)
{
    std::size_t i = 0;
    while (i < operand.size() && isCSpace(operand[i]))
        ++i;
    const std::size_t start = i;
    std::size_t end = skipDigits(operand, i);
    bool digits = end > start;
    if (end < operand.size() && operand[end] == '.') {
        const std::size_t fractionEnd = skipDigits(operand, end + 1);
        digits = digits || fractionEnd > end + 1;
        end = fractionEnd;
    }
    if (!digits)
        return 0.0;
    if (end < operand.size() && (operand[end] == 'e' || operand[end] == 'E')) {
        const std::size_t exponentEnd = skipDigits(operand, end + 1);
        if (exponentEnd > end + 1)
            end = exponentEnd;
    }

    const std::string_view number = operand.substr(start, end - start);
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(number.data(), number.data() + number.size(),
                                                     value, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range)
        return outOfRange(number);
    return value;
}

} // namespace

double EvaluateExpression(std::string_view text)
{
    // The whole text is read, however long it is; commas count as decimal points.
    std::string work(text);
    for (char &c : work)
        if (c == ',')
            c = '.';

    double accumulator = 0.0;
    char pending = 0; // the first operand has no operator
    std::size_t operandStart = 0;
    for (std::size_t i = 0; i <= work.size(); ++i) {
        const char c = i < work.size() ? work[i] : '\0';
        if (i < work.size() && c != '+' && c != '-' && c != '*' && c != '/')
            continue;
        const double x = readOperand(std::string_view(work).substr(operandStart, i - operandStart));
        switch (pending) {
        case 0:
            accumulator = x;
            break;
        case '+':
            accumulator += x;
            break;
        case '-':
            accumulator -= x;
            break;
        case '*':
            accumulator *= x;
            break;
        case '/':
            if (x != 0) // a division by zero is skipped, not an error
                accumulator /= x;
            break;
        }
        pending = c;
        operandStart = i + 1;
    }
    return accumulator;
}

} // namespace numcore
