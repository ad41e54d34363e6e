#pragma once

#include <string>

namespace tk
{

// The number and date settings that conversions and date entry follow. Read once from the
// system locale; tests replace them with setRegionalSettings().
struct RegionalSettings {
    char decimalSeparator = '.';
    char dateSeparator = '-';
    // Numeric short date format with literal dividers, e.g. "d.M.yyyy" or "yyyy-MM-dd".
    std::string shortDateFormat = "yyyy-MM-dd";
};

const RegionalSettings &regionalSettings();
void setRegionalSettings(const RegionalSettings &settings);

// Derives the settings from a locale's decimal point and short date format as Qt reports
// them. Month names become month numbers, weekday names are dropped, and a format whose
// divider is none of ".", "-", "/" becomes yyyy-MM-dd.
RegionalSettings deriveRegionalSettings(const std::string &decimalPoint,
                                        const std::string &qtShortDateFormat);

// The settings of QLocale::system().
RegionalSettings systemRegionalSettings();

} // namespace tk
