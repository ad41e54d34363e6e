// The four toolkit conversions over arbitrary text. Each result is compared with a reading of
// the documented grammar written here independently, and each value that comes out must
// survive the way back: a date its own short-date text, a number its general number text.

#include "fuzz_support.h"

#include "conversions.h"
#include "date_value.h"

#include <numedit/exception.h>

#include <QDate>

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace
{

using fuzz::shown;

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (digit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Text to integer as the grammar reads it; nullopt where it must fail.
std::optional<std::int32_t> expectedInt(std::string_view t)
{
    t.remove_prefix(std::min(t.find_first_not_of(' '), t.size()));
    bool negative = false;
    if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
        negative = t[0] == '-';
        t.remove_prefix(1);
    } else {
        std::size_t prefix = 0;
        if (t.starts_with("0x") || t.starts_with("0X"))
            prefix = 2;
        else if (!t.empty() && (t[0] == '$' || t[0] == 'x' || t[0] == 'X'))
            prefix = 1;
        if (prefix > 0) {
            const std::string_view hex = t.substr(prefix);
            if (hex.empty() || hex.size() > 8)
                return std::nullopt;
            std::uint32_t pattern = 0;
            for (char c : hex) {
                if (hexValue(c) < 0)
                    return std::nullopt;
                pattern = pattern * 16 + static_cast<std::uint32_t>(hexValue(c));
            }
            return static_cast<std::int32_t>(pattern);
        }
    }
    if (t.empty())
        return std::nullopt;
    // Leading zeros do not count toward the size of the number.
    const std::size_t first = std::min(t.find_first_not_of('0'), t.size());
    for (char c : t)
        if (!digit(c))
            return std::nullopt;
    if (t.size() - first > 10)
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (char c : t.substr(first))
        magnitude = magnitude * 10 + (c - '0');
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void checkInt(std::string_view text)
{
    const std::optional<std::int32_t> expected = expectedInt(text);
    try {
        const std::int32_t value = tk::strToInt(text);
        FUZZ_CHECK(expected.has_value(), "strToInt accepted '" + shown(text) + "'");
        FUZZ_CHECK(value == *expected, "strToInt('" + shown(text) +
                                           "') = " + std::to_string(value) + ", expected " +
                                           std::to_string(*expected));
        FUZZ_CHECK(tk::strToInt(std::to_string(value)) == value,
                   "no way back for " + std::to_string(value));
    } catch (const tk::EConvertError &error) {
        FUZZ_CHECK(!expected.has_value(), "strToInt rejected '" + shown(text) + "'");
        FUZZ_CHECK(error.message() == "'" + std::string(text) + "' is not a valid integer value",
                   "message: " + shown(error.message()));
    }
}

// Text to floating as the grammar reads it: the text in the form from_chars reads (or
// nullopt when the grammar refuses it) and the decimal position of its leading digit, to
// judge its range.
struct FloatReading {
    std::string normal;
    bool hasValue = false; // a non-zero digit is there
    long long leadExponent = 0;
};

std::optional<FloatReading> readFloat(std::string_view t, char separator)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    FloatReading r;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        if (t[i] == '-')
            r.normal += '-'; // from_chars takes no "+"
        ++i;
    }
    const std::size_t intStart = i;
    while (i < t.size() && digit(t[i]))
        ++i;
    const std::string_view intDigits = t.substr(intStart, i - intStart);
    bool hasSeparator = false;
    std::string_view fracDigits;
    if (i < t.size() && t[i] == separator) {
        hasSeparator = true;
        const std::size_t fracStart = ++i;
        while (i < t.size() && digit(t[i]))
            ++i;
        fracDigits = t.substr(fracStart, i - fracStart);
    }
    if (intDigits.empty() && fracDigits.empty() && !hasSeparator)
        return std::nullopt;
    std::string exponentDigits = "0";
    bool exponentNegative = false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            exponentNegative = t[i++] == '-';
        const std::size_t expStart = i;
        while (i < t.size() && digit(t[i]))
            ++i;
        if (i == expStart)
            return std::nullopt;
        exponentDigits = std::string(t.substr(expStart, i - expStart));
    }
    while (i < t.size() && t[i] == ' ')
        ++i;
    if (i != t.size())
        return std::nullopt;

    r.normal += intDigits.empty() ? "0" : std::string(intDigits);
    r.normal += '.';
    r.normal += fracDigits.empty() ? "0" : std::string(fracDigits);
    r.normal += (exponentNegative ? "e-" : "e") + exponentDigits;

    const std::size_t intLead = intDigits.find_first_not_of('0');
    const std::size_t fracLead = fracDigits.find_first_not_of('0');
    if (intLead != std::string_view::npos) {
        r.hasValue = true;
        r.leadExponent = static_cast<long long>(intDigits.size() - intLead);
    } else if (fracLead != std::string_view::npos) {
        r.hasValue = true;
        r.leadExponent = -static_cast<long long>(fracLead);
    }
    const std::size_t expLead = exponentDigits.find_first_not_of('0');
    const long long exponent = expLead == std::string::npos ? 0
                               : exponentDigits.size() - expLead > 7
                                   ? 100000000LL
                                   : std::stoll(exponentDigits.substr(expLead));
    r.leadExponent += exponentNegative ? -exponent : exponent;
    return r;
}

void checkFloat(std::string_view text, char separator)
{
    tk::RegionalSettings settings;
    settings.decimalSeparator = separator;
    const std::optional<FloatReading> reading = readFloat(text, separator);
    // The extended range ends near 1.19E4932; the decade around that border may go either way.
    const bool beyondExtended = reading && reading->hasValue && reading->leadExponent > 4933;
    const bool withinExtended = reading && (!reading->hasValue || reading->leadExponent < 4932);
    try {
        const double value = tk::strToFloat(text, settings);
        FUZZ_CHECK(reading && !beyondExtended, "strToFloat accepted '" + shown(text) + "'");
        FUZZ_CHECK(!std::isnan(value), "strToFloat('" + shown(text) + "') is NaN");
        double nearest = 0;
        const std::string &n = reading->normal;
        const auto parsed = std::from_chars(n.data(), n.data() + n.size(), nearest);
        if (parsed.ec == std::errc()) {
            FUZZ_CHECK(value == nearest, "strToFloat('" + shown(text) +
                                             "') = " + fuzz::text(value) + ", nearest " +
                                             fuzz::text(nearest));
        } else if (reading->leadExponent > 0) {
            FUZZ_CHECK(std::isinf(value), "strToFloat('" + shown(text) +
                                              "') = " + fuzz::text(value) + ", expected infinity");
        } else {
            FUZZ_CHECK(std::fabs(value) <= std::numeric_limits<double>::min(),
                       "strToFloat('" + shown(text) + "') = " + fuzz::text(value) +
                           ", expected about zero");
        }
        if (std::isfinite(value)) {
            const std::string general = tk::floatToGeneralText(value, separator);
            FUZZ_CHECK(tk::strToFloat(general, settings) == fuzz::rounded15(value),
                       "no way back for " + fuzz::text(value) + " through " + general);
        }
    } catch (const tk::EConvertError &error) {
        FUZZ_CHECK(!withinExtended, "strToFloat rejected '" + shown(text) + "'");
        FUZZ_CHECK(error.message() ==
                       "'" + std::string(text) + "' is not a valid floating point value",
                   "message: " + shown(error.message()));
    }
}

// Text to date as the grammar reads it: the day, month and year, not yet checked.
struct DateReading {
    int numbers[3] = {0, 0, 0};
    int count = 0;
};

std::optional<DateReading> readDate(std::string_view t, char separator)
{
    DateReading r;
    std::size_t i = 0;
    auto spaces = [&] {
        while (i < t.size() && t[i] == ' ')
            ++i;
    };
    auto number = [&](int &out) {
        spaces();
        if (i >= t.size() || !digit(t[i]))
            return false;
        out = 0;
        while (i < t.size() && digit(t[i]) && out < 1000)
            out = out * 10 + (t[i++] - '0');
        return true;
    };
    auto divider = [&] {
        spaces();
        if (i < t.size() && t[i] == separator) {
            ++i;
            return true;
        }
        return false;
    };
    while (r.count < 3) {
        if (r.count > 0) {
            const std::size_t before = i;
            if (!divider()) {
                i = before;
                break;
            }
            if (!number(r.numbers[r.count])) {
                // Only after the third number may a divider end the text.
                i = before;
                break;
            }
        } else if (!number(r.numbers[0])) {
            return std::nullopt;
        }
        ++r.count;
    }
    if (r.count == 3) {
        const std::size_t before = i;
        if (!divider())
            i = before;
    }
    spaces();
    if (r.count < 2 || i != t.size())
        return std::nullopt;
    return r;
}

struct DateSettings {
    tk::RegionalSettings regional;
    char order; // first of D, M, Y in the format
};

void checkDate(std::string_view text, const DateSettings &s, int currentYear)
{
    std::optional<int> expected; // days since 30 December 1899
    if (const std::optional<DateReading> r = readDate(text, s.regional.dateSeparator)) {
        int day, month, year = currentYear;
        const int *n = r->numbers;
        if (r->count == 3) {
            if (s.order == 'D')
                day = n[0], month = n[1], year = n[2];
            else if (s.order == 'Y')
                year = n[0], month = n[1], day = n[2];
            else
                month = n[0], day = n[1], year = n[2];
            if (year < 100)
                year += currentYear / 100 * 100;
        } else if (s.order == 'D') {
            day = n[0], month = n[1];
        } else {
            month = n[0], day = n[1];
        }
        // The calendar of Qt, proleptic Gregorian, is the independent judge here.
        const QDate date(year, month, day);
        if (year >= 1 && year <= 9999 && date.isValid())
            expected = static_cast<int>(QDate(1899, 12, 30).daysTo(date));
    }
    try {
        const double value = tk::strToDate(text, currentYear, s.regional);
        FUZZ_CHECK(expected.has_value(),
                   "strToDate accepted '" + shown(text) + "' under " + s.regional.shortDateFormat);
        FUZZ_CHECK(value == *expected, "strToDate('" + shown(text) + "') = " + fuzz::text(value) +
                                           ", expected " + std::to_string(*expected));
        // Written in the short date format (the year in full) it reads back as itself.
        tk::RegionalSettings full = s.regional;
        for (std::size_t p = full.shortDateFormat.find("yy"); p != std::string::npos;
             p = full.shortDateFormat.find("yy", p + 4))
            if (full.shortDateFormat.compare(p, 4, "yyyy") != 0)
                full.shortDateFormat.replace(p, 2, "yyyy");
        // Years below 100 come back in the current century, as documented.
        const std::string written = tk::dateToShortDateText(value, full);
        if (tk::decodeDate(value).year >= 100)
            FUZZ_CHECK(tk::strToDate(written, currentYear, s.regional) == value,
                       "no way back for " + fuzz::text(value) + " through " + written);
    } catch (const tk::EConvertError &error) {
        FUZZ_CHECK(!expected.has_value(),
                   "strToDate rejected '" + shown(text) + "' under " + s.regional.shortDateFormat);
        FUZZ_CHECK(error.message() == "'" + std::string(text) + "' is not a valid date",
                   "message: " + shown(error.message()));
    }
}

// The general number text of any double: the documented form, and its way back.
void checkGeneralText(double value)
{
    const std::string t = tk::floatToGeneralText(value, '.');
    if (std::isnan(value)) {
        FUZZ_CHECK(t == "NAN", t);
        return;
    }
    if (std::isinf(value)) {
        FUZZ_CHECK(t == (value < 0 ? "-INF" : "INF"), t);
        return;
    }
    std::string comma = t;
    for (char &c : comma)
        if (c == '.')
            c = ',';
    FUZZ_CHECK(tk::floatToGeneralText(value, ',') == comma, "',' form of " + t);

    // Form: -?digits(.digits)?(E-?digits)?, at most 15 significant digits, no trailing zero
    // in a fraction, an exponent form exactly outside 0.0001 <= |value| < 1E15.
    std::size_t i = t[0] == '-' ? 1 : 0;
    std::string significant;
    bool fraction = false;
    for (; i < t.size() && (digit(t[i]) || t[i] == '.'); ++i) {
        if (t[i] == '.') {
            FUZZ_CHECK(!fraction && i + 1 < t.size() && digit(t[i + 1]), "form of " + t);
            fraction = true;
        } else {
            significant += t[i];
        }
    }
    const bool scientific = i < t.size();
    if (scientific) {
        FUZZ_CHECK(t[i] == 'E', "form of " + t);
        std::size_t e = i + 1 + (i + 1 < t.size() && t[i + 1] == '-');
        FUZZ_CHECK(e < t.size() && t[e] != '0', "exponent of " + t);
        for (; e < t.size(); ++e)
            FUZZ_CHECK(digit(t[e]), "exponent of " + t);
    }
    const std::string mantissa = t.substr(0, i);
    if (fraction)
        FUZZ_CHECK(mantissa.back() != '0', "trailing zero in " + t);
    const std::size_t lead = significant.find_first_not_of('0');
    if (lead != std::string::npos) {
        std::string digits = significant.substr(lead);
        if (!fraction)
            digits.erase(digits.find_last_not_of('0') + 1);
        FUZZ_CHECK(digits.size() <= 15, "more than 15 digits in " + t);
    }

    const double r = fuzz::rounded15(value);
    tk::RegionalSettings dot;
    dot.decimalSeparator = '.';
    FUZZ_CHECK(tk::strToFloat(t, dot) == r, "'" + t + "' does not read back as " + fuzz::text(r));
    if (r != 0) {
        const bool plain = std::fabs(r) >= 1e-4 && std::fabs(r) < 1e15;
        FUZZ_CHECK(plain == !scientific, "notation of " + t);
    } else {
        FUZZ_CHECK(t == "0", "zero is " + t);
    }
}

const DateSettings dateSettings[] = {
    {{'.', '.', "d.M.yyyy"}, 'D'},
    {{'.', '/', "M/d/yy"}, 'M'},
    {{',', '-', "yyyy-MM-dd"}, 'Y'},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    checkInt(text);
    checkFloat(text, '.');
    checkFloat(text, ',');
    for (const DateSettings &s : dateSettings) {
        checkDate(text, s, 2025);
        checkDate(text, s, 1999);
    }
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        checkGeneralText(value);
    }
    return 0;
}
