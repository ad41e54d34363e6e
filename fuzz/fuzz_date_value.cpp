// DateValueToText over arbitrary doubles and masks.
//
// Input (see corpus/date_value): the value on the first line, as from_chars reads it ("nan",
// "-inf" and "1e300" work too); a first line that does not read as a number gives its first
// eight bytes as the value. The mask follows on the second line.

#include "fuzz_support.h"

#include "date_value.h"
#include "num_core.h"

#include <QDate>

#include <cmath>
#include <cstring>

namespace
{

using fuzz::shown;

// The calendar date a value falls on, by Qt's proleptic Gregorian calendar. Like the
// conversions, values beyond the years 1 to 9999 land on the ends of that range.
QDate calendarDate(double value)
{
    double day = std::isnan(value) ? 0.0 : std::floor(value);
    day = std::clamp(day, -693593.0, 2958465.0);
    return QDate(1899, 12, 30).addDays(static_cast<qint64>(day));
}

std::string number(int n, bool twoDigits)
{
    return (twoDigits && n < 10 ? "0" : "") + std::to_string(n);
}

// The mask's form of a date: its first three sections (divided at ".", "-" and ","), each
// showing the part its first letter names, with the divider that ends it.
std::string expectedText(const QDate &date, std::string_view mask)
{
    const auto days = std::count(mask.begin(), mask.end(), 'D');
    const auto months = std::count(mask.begin(), mask.end(), 'M');
    const int year = date.year() < 90    ? date.year() + 2000
                     : date.year() < 100 ? date.year() + 1900
                                         : date.year();
    std::string out;
    std::size_t start = 0;
    for (int section = 0; section < 3; ++section) {
        const std::size_t end = mask.find_first_of(".-,", start);
        const char first = start < mask.size() ? mask[start] : 0;
        if (first == 'D' && end != start)
            out += number(date.day(), days == 2);
        else if (first == 'M' && end != start)
            out += number(date.month(), months == 2);
        else if (first == 'Y' && end != start)
            out += std::to_string(year);
        if (end == std::string_view::npos || section == 2)
            break;
        out += mask[end];
        start = end + 1;
    }
    return out;
}

const char *const formats[] = {"d.M.yyyy", "yyyy-MM-dd", "M/d/yy", "dd.MM.yy", "yyyy. MM. dd."};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::string_view> f = fuzz::fields(data, size, 2);
    double value = 0;
    const auto parsed = std::from_chars(f[0].data(), f[0].data() + f[0].size(), value);
    if (parsed.ec != std::errc() || parsed.ptr != f[0].data() + f[0].size()) {
        unsigned char bytes[sizeof value] = {};
        std::memcpy(bytes, f[0].data(), std::min(f[0].size(), sizeof bytes));
        std::memcpy(&value, bytes, sizeof value);
    }
    const std::string mask = numcore::upperCaseMask(f[1]);
    const QDate date = calendarDate(value);

    const tk::CivilDate civil = tk::decodeDate(value);
    FUZZ_CHECK(civil.year == date.year() && civil.month == date.month() && civil.day == date.day(),
               "decodeDate(" + fuzz::text(value) + ") is " + std::to_string(civil.year) + "-" +
                   std::to_string(civil.month) + "-" + std::to_string(civil.day));
    FUZZ_CHECK(tk::encodeDate(civil.year, civil.month, civil.day) ==
                   static_cast<double>(QDate(1899, 12, 30).daysTo(date)),
               "encodeDate of " + fuzz::text(value));

    // A value that is no day of the years 1 to 9999 is refused: its clamped date would be
    // another date.
    const bool calendarDay =
        std::isfinite(value) && std::floor(value) >= -693593.0 && std::floor(value) <= 2958465.0;
    const std::string expected = expectedText(date, mask);
    for (const char *format : formats) {
        // Today does not matter: every part comes from the value.
        const numcore::DateContext context{tk::encodeDate(2025, 12, 9), format};
        const std::optional<std::string> text = numcore::DateValueToText(value, mask, context);
        if (!calendarDay) {
            FUZZ_CHECK(!text.has_value(), "a text for " + fuzz::text(value) + " under " + format);
            continue;
        }
        FUZZ_CHECK(text.has_value(), "no text for " + fuzz::text(value) + " under " + format);
        FUZZ_CHECK(text->size() <= 39, "longer than its field: " + *text);
        FUZZ_CHECK(*text == expected, "'" + *text + "' instead of '" + expected + "' for " +
                                          fuzz::text(value) + ", mask '" + shown(mask) +
                                          "', format " + format);
    }
    return 0;
}
