#include "conversions.h"

#include "date_value.h"

#include <numedit/exception.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tk
{

namespace
{

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

[[noreturn]] void fail(std::string_view text, const char *what)
{
    throw EConvertError("'" + std::string(text) + "' is not a valid " + what);
}

} // namespace

std::int32_t strToInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    bool signGiven = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        signGiven = true;
        ++i;
    }
    if (!signGiven) {
        size_t hexStart = std::string_view::npos;
        if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X'))
            hexStart = i + 1;
        else if (i + 1 < text.size() && text[i] == '0' &&
                 (text[i + 1] == 'x' || text[i + 1] == 'X'))
            hexStart = i + 2;
        if (hexStart != std::string_view::npos) {
            size_t digits = text.size() - hexStart;
            if (digits < 1 || digits > 8)
                fail(text, "integer value");
            std::uint32_t pattern = 0;
            for (size_t k = hexStart; k < text.size(); ++k) {
                int d = hexDigit(text[k]);
                if (d < 0)
                    fail(text, "integer value");
                pattern = pattern << 4 | static_cast<std::uint32_t>(d);
            }
            return static_cast<std::int32_t>(pattern);
        }
    }
    if (i >= text.size())
        fail(text, "integer value");
    // Accumulate the magnitude; -2147483648 is one more than the largest positive value.
    const std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!isDigit(text[i]))
            fail(text, "integer value");
        magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (magnitude > limit)
            fail(text, "integer value");
    }
    std::int64_t value =
        negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(value);
}

double strToFloat(std::string_view text, const RegionalSettings &settings)
{
    auto bad = [&] { fail(text, "floating point value"); };
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    std::string normal; // sign, digits, '.', digits, 'e', sign, digits: for from_chars
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-')
            normal += '-';
        ++i;
    }
    size_t intDigits = 0, fracDigits = 0;
    bool separator = false;
    // Decimal position of the first non-zero digit, to tell an underflow from an overflow.
    long long leadPosition = 0;
    bool seenNonZero = false;
    while (i < text.size() && isDigit(text[i])) {
        if (text[i] != '0' || seenNonZero) {
            if (!seenNonZero)
                leadPosition = 0;
            seenNonZero = true;
            ++leadPosition;
        }
        normal += text[i++];
        ++intDigits;
    }
    if (i < text.size() && text[i] == settings.decimalSeparator) {
        separator = true;
        normal += '.';
        ++i;
        long long zeros = 0;
        while (i < text.size() && isDigit(text[i])) {
            if (!seenNonZero) {
                if (text[i] == '0')
                    ++zeros;
                else {
                    seenNonZero = true;
                    leadPosition = -zeros;
                }
            }
            normal += text[i++];
            ++fracDigits;
        }
    }
    if (intDigits == 0 && fracDigits == 0 && !separator)
        bad();
    if (intDigits == 0 && fracDigits == 0)
        normal += '0'; // a lone separator reads as 0
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            ++i;
        }
        size_t expDigits = 0;
        while (i < text.size() && isDigit(text[i])) {
            if (exponent < 100000000)
                exponent = exponent * 10 + (text[i] - '0');
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            bad();
        if (expNegative)
            exponent = -exponent;
        normal += 'e';
        normal += std::to_string(exponent);
    }
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i != text.size())
        bad();

    // Straight to double: going through the extended type would round twice and miss the
    // nearest double now and then (1.31505501404952E-47, for one).
    double value = 0;
    auto [end, ec] = std::from_chars(normal.data(), normal.data() + normal.size(), value);
    if (ec == std::errc::result_out_of_range) {
        if (!seenNonZero || leadPosition + exponent < 0)
            return normal[0] == '-' ? -0.0 : 0.0; // below the smallest double
        // Beyond a double: within the extended range it is held as infinity, beyond it fails.
        long double extended = 0;
        if (std::from_chars(normal.data(), normal.data() + normal.size(), extended).ec !=
            std::errc())
            bad();
        return normal[0] == '-' ? -std::numeric_limits<double>::infinity()
                                : std::numeric_limits<double>::infinity();
    }
    if (ec != std::errc() || end != normal.data() + normal.size())
        bad();
    return value;
}

double strToDate(std::string_view text, int currentYear, const RegionalSettings &settings)
{
    auto bad = [&] { fail(text, "date"); };
    const char sep = settings.dateSeparator;
    size_t i = 0;
    auto skipSpaces = [&] {
        while (i < text.size() && text[i] == ' ')
            ++i;
    };
    auto readNumber = [&](int &out) {
        skipSpaces();
        if (i >= text.size() || !isDigit(text[i]))
            return false;
        int value = 0;
        // Digits are read while the number so far is below 1000.
        while (i < text.size() && isDigit(text[i]) && value < 1000)
            value = value * 10 + (text[i++] - '0');
        out = value;
        return true;
    };
    auto readSeparator = [&] {
        skipSpaces();
        if (i < text.size() && text[i] == sep) {
            ++i;
            return true;
        }
        return false;
    };

    int numbers[3] = {0, 0, 0};
    int count = 0;
    if (!readNumber(numbers[0]))
        bad();
    count = 1;
    if (!readSeparator() || !readNumber(numbers[1]))
        bad();
    count = 2;
    size_t afterTwo = i;
    if (readSeparator()) {
        if (readNumber(numbers[2])) {
            count = 3;
            readSeparator(); // one more separator may follow a third number
        } else {
            i = afterTwo; // a trailing separator after two numbers is not allowed
        }
    }
    skipSpaces();
    if (i != text.size())
        bad();

    // Order from the short date format: the first of D, M, Y in either case.
    char order = 'M';
    for (char c : settings.shortDateFormat) {
        char u = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        if (u == 'D' || u == 'M' || u == 'Y') {
            order = u;
            break;
        }
    }
    int year = currentYear, month = 0, day = 0;
    if (count == 3) {
        switch (order) {
        case 'D':
            day = numbers[0], month = numbers[1], year = numbers[2];
            break;
        case 'Y':
            year = numbers[0], month = numbers[1], day = numbers[2];
            break;
        default:
            month = numbers[0], day = numbers[1], year = numbers[2];
            break;
        }
        if (year < 100)
            year += currentYear / 100 * 100;
    } else if (order == 'D') {
        day = numbers[0], month = numbers[1];
    } else {
        month = numbers[0], day = numbers[1];
    }
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month))
        bad();
    return encodeDate(year, month, day);
}

std::string floatToGeneralText(double value, char decimalSeparator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";

    // 15 significant digits, correctly rounded, without the C locale's influence.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));
    bool negative = sci[0] == '-';
    if (negative)
        sci.remove_prefix(1);
    size_t ePos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, ePos))
        if (isDigit(c))
            digits += c;
    int sciExp = 0;
    std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+'), sci.data() + sci.size(),
                    sciExp);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    const int E = sciExp + 1; // value = 0.d1d2... x 10^E

    std::string out = negative ? "-" : "";
    if (E >= -3 && E <= 15) {
        if (E <= 0) {
            out += '0';
            out += decimalSeparator;
            out.append(static_cast<size_t>(-E), '0');
            out += digits;
        } else {
            const size_t e = static_cast<size_t>(E);
            if (digits.size() <= e) {
                out += digits;
                out.append(e - digits.size(), '0');
            } else {
                out += digits.substr(0, e);
                out += decimalSeparator;
                out += digits.substr(e);
            }
        }
    } else {
        out += digits[0];
        if (digits.size() > 1) {
            out += decimalSeparator;
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(E - 1);
    }
    return out;
}

std::string dateToShortDateText(double value, const RegionalSettings &settings)
{
    const CivilDate d = decodeDate(value);
    const std::string &f = settings.shortDateFormat;
    std::string out;
    for (size_t i = 0; i < f.size();) {
        char c = f[i];
        size_t run = i;
        while (run < f.size() && f[run] == c)
            ++run;
        size_t len = run - i;
        char buf[16];
        if (c == 'd' || c == 'M') {
            int n = c == 'd' ? d.day : d.month;
            std::snprintf(buf, sizeof buf, len >= 2 ? "%02d" : "%d", n);
            out += buf;
        } else if (c == 'y') {
            if (len <= 2)
                std::snprintf(buf, sizeof buf, "%02d", d.year % 100);
            else
                std::snprintf(buf, sizeof buf, "%04d", d.year);
            out += buf;
        } else {
            out.append(len, c);
        }
        i = run;
    }
    return out;
}

} // namespace tk
