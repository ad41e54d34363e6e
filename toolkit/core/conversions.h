#pragma once

#include "regional.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tk
{

// The toolkit's text and number conversions. They never depend on the C library's locale:
// separators come only from RegionalSettings. Failures throw EConvertError with the whole
// given text in the message.

// Leading spaces, an optional sign, decimal digits in the 32-bit signed range; without a
// sign also "$", "x", "X", "0x", "0X" and one to eight hexadecimal digits (a 32-bit pattern).
std::int32_t strToInt(std::string_view text);

// Leading spaces, optional sign, digits, decimal separator, digits (not all three missing),
// optional exponent, trailing spaces. Values beyond the extended range fail.
double strToFloat(std::string_view text, const RegionalSettings &settings = regionalSettings());

// Two or three numbers divided by the date separator, ordered as the short date format says.
// Years below 100 get the century of currentYear; two numbers take currentYear as the year.
double strToDate(std::string_view text, int currentYear,
                 const RegionalSettings &settings = regionalSettings());

// At most 15 significant digits; plain notation while the decimal exponent E of 0.d1d2... x
// 10^E lies in -3..15, otherwise d.dddE-n. NaN and infinities give "NAN", "INF", "-INF".
std::string floatToGeneralText(double value, char decimalSeparator);

// The text of a date value in the short date format (d, dd, M, MM, yy, yyyy; anything else
// is copied).
std::string dateToShortDateText(double value,
                                const RegionalSettings &settings = regionalSettings());

} // namespace tk
