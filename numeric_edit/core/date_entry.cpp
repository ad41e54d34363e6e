// Date completion: a loosely typed date is filled up from today's date and written in the
// mask's order, dividers and padding; DateValueToText writes a date value the same way.

#include "reformat_p.h"

#include "conversions.h"
#include "date_value.h"
#include "regional.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace numcore
{

namespace
{

// ASCII only: the C library's classification follows the process locale.
bool isLetterOrDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char upper(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Leading white space, an optional sign, then decimal digits up to the first other
// character; no digits give 0. The magnitude saturates far above the 32-bit range, so a
// typed field of any length stays comparable with the limits instead of wrapping.
std::int64_t leadingNumber(std::string_view s)
{
    constexpr std::int64_t cap = std::int64_t{1} << 40;
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    std::int64_t n = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
        n = n >= cap ? cap : n * 10 + (s[i] - '0');
    return negative ? -n : n;
}

// The runs of letters and digits of a date text or a short date format. Any other character
// divides, and a run of them counts as one divider: "12/9/2025" and "2025. 12. 09." both
// give three pieces.
std::vector<std::string_view> letterDigitRuns(std::string_view s)
{
    std::vector<std::string_view> runs;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && !isLetterOrDigit(s[i]))
            ++i;
        const size_t start = i;
        while (i < s.size() && isLetterOrDigit(s[i]))
            ++i;
        if (i > start)
            runs.push_back(s.substr(start, i - start));
    }
    return runs;
}

struct DateParts {
    std::int64_t day = 0;
    std::int64_t month = 0;
    std::int64_t year = 0;
};

// The format with its year written in full. Many locales show two-digit years; read back
// through the century rule they would turn a value from 1985 into 2085.
std::string withFullYear(std::string_view format)
{
    std::string out;
    for (size_t i = 0; i < format.size();) {
        if (format[i] != 'y') {
            out += format[i++];
            continue;
        }
        while (i < format.size() && format[i] == 'y')
            ++i;
        out += "yyyy";
    }
    return out;
}

// Day, month and year as the short-date text of value shows them, in the order its format
// gives. A piece that the text lacks reads as 0.
DateParts readPieces(double value, const std::string &shortDateFormat)
{
    tk::RegionalSettings settings;
    settings.shortDateFormat = withFullYear(shortDateFormat);
    const std::string text = tk::dateToShortDateText(value, settings);
    const std::vector<std::string_view> pieces = letterDigitRuns(text);
    const std::vector<std::string_view> sections = letterDigitRuns(shortDateFormat);

    size_t dayPiece = 0, monthPiece = 1, yearPiece = 2;
    for (size_t i = 0; i < sections.size() && i < 3; ++i) {
        switch (upper(sections[i].front())) {
        case 'D':
            dayPiece = i;
            break;
        case 'M':
            monthPiece = i;
            break;
        case 'Y':
            yearPiece = i;
            break;
        default:
            break;
        }
    }
    auto number = [&](size_t i) { return i < pieces.size() ? leadingNumber(pieces[i]) : 0; };
    return {number(dayPiece), number(monthPiece), number(yearPiece)};
}

struct MaskSection {
    std::string_view text;
    char end = 0; // the divider that ends the section in the mask, 0 where the mask ends
};

// The first three sections of the mask, divided at any of dividers.
std::vector<MaskSection> maskSections(std::string_view mask, std::string_view dividers)
{
    std::vector<MaskSection> sections;
    size_t start = 0;
    while (sections.size() < 3) {
        const size_t end = mask.find_first_of(dividers, start);
        if (end == std::string_view::npos) {
            sections.push_back({mask.substr(start), 0});
            break;
        }
        sections.push_back({mask.substr(start, end - start), mask[end]});
        start = end + 1;
    }
    return sections;
}

char partOf(const MaskSection &section)
{
    return section.text.empty() ? 0 : section.text.front();
}

bool outOfRange(const DateParts &p)
{
    return p.day < 0 || p.day > 31 || p.month < 0 || p.month > 12;
}

// The parts are 32-bit numbers; a year typed beyond that cannot be written back.
bool yearFits(std::int64_t year)
{
    return year >= std::numeric_limits<std::int32_t>::min() &&
           year <= std::numeric_limits<std::int32_t>::max();
}

std::string padded(std::int64_t n, std::ptrdiff_t letters)
{
    if (n >= 0 && n <= 9 && letters == 2)
        return "0" + std::to_string(n);
    return std::to_string(n);
}

std::int64_t withCentury(std::int64_t year)
{
    if (year < 90)
        return year + 2000;
    if (year <= 99)
        return year + 1900;
    return year;
}

std::string compose(const std::vector<MaskSection> &sections, const DateParts &p,
                    std::string_view mask)
{
    const auto days = std::count(mask.begin(), mask.end(), 'D');
    const auto months = std::count(mask.begin(), mask.end(), 'M');
    std::string out;
    for (size_t i = 0; i < sections.size(); ++i) {
        switch (partOf(sections[i])) {
        case 'D':
            out += padded(p.day, days);
            break;
        case 'M':
            out += padded(p.month, months);
            break;
        case 'Y':
            out += std::to_string(withCentury(p.year));
            break;
        default:
            break;
        }
        if (i == 2 || !sections[i].end)
            break;
        out += sections[i].end;
    }
    return out;
}

} // namespace

void reformatDate(const CheckedText &checked, const ReformatInput &in, ReformatOutcome &out)
{
    if (checked.separators > 2) {
        if (in.clearOnErr) {
            rejectInput(in, out);
            return;
        }
        // Reported, but the first fields still make a date (or fail a second time below).
        ++out.edErrors;
    }

    const DateParts today = readPieces(in.date.today, in.date.shortDateFormat);
    const std::vector<MaskSection> sections = maskSections(in.numMask, ".-");

    DateParts typed;
    size_t field = 0;
    size_t start = 0;
    const std::string_view body = checked.body;
    for (;;) {
        const size_t end = body.find_first_of(".,-", start);
        const std::string_view text =
            body.substr(start, end == std::string_view::npos ? end : end - start);
        if (field < sections.size()) {
            switch (partOf(sections[field])) {
            case 'D':
                typed.day = leadingNumber(text);
                break;
            case 'M':
                typed.month = leadingNumber(text);
                break;
            case 'Y':
                typed.year = leadingNumber(text);
                break;
            default:
                break;
            }
        }
        if (end == std::string_view::npos)
            break;
        ++field;
        start = end + 1;
    }

    if (outOfRange(typed) || !yearFits(typed.year)) {
        ++out.edErrors;
        out.text = std::string(); // emptied with or without ClearOnErr
        out.errorColour = in.clearOnErr;
        return;
    }

    // 0 stands for "not given", so the year 2000 has to be typed in full.
    if (typed.day == 0)
        typed.day = today.day;
    if (typed.month == 0)
        typed.month = today.month;
    if (typed.year == 0)
        typed.year = today.year;

    out.text = compose(sections, typed, in.numMask);
}

std::optional<std::string> DateValueToText(double value, std::string_view numMask,
                                           const DateContext &context)
{
    // The conversions clamp such values to the ends of the calendar: writing that date would
    // silently turn the value into a different one.
    const double day = std::floor(value);
    if (!std::isfinite(value) || day < tk::encodeDate(1, 1, 1) ||
        day > tk::encodeDate(9999, 12, 31))
        return std::nullopt;
    const DateParts parts = readPieces(value, context.shortDateFormat);
    if (outOfRange(parts))
        return std::nullopt;
    return compose(maskSections(numMask, ".-,"), parts, numMask);
}

} // namespace numcore
