#include "regional.h"

#include <QLocale>

#include <atomic>
#include <cctype>
#include <memory>

namespace tk
{

namespace
{

std::shared_ptr<const RegionalSettings> &storage()
{
    static std::shared_ptr<const RegionalSettings> settings =
        std::make_shared<const RegionalSettings>(systemRegionalSettings());
    return settings;
}

bool isFormatLetter(char c)
{
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}

} // namespace

const RegionalSettings &regionalSettings()
{
    return *storage();
}

void setRegionalSettings(const RegionalSettings &settings)
{
    // Settings are replaced only before a test or the program starts using them; the old
    // object stays alive so references taken earlier in the same statement stay valid.
    static std::shared_ptr<const RegionalSettings> previous;
    previous = storage();
    storage() = std::make_shared<const RegionalSettings>(settings);
}

RegionalSettings deriveRegionalSettings(const std::string &decimalPoint,
                                        const std::string &qtShortDateFormat)
{
    RegionalSettings result;
    result.decimalSeparator = decimalPoint.size() == 1 ? decimalPoint[0] : '.';

    // Keep the day, month and year fields in their order; drop weekdays, quoted text and
    // time parts. The divider is the first non-letter that follows a kept field.
    std::string fields[3];
    int count = 0;
    char divider = 0;
    const std::string &f = qtShortDateFormat;
    for (size_t i = 0; i < f.size() && count < 3;) {
        char c = f[i];
        if (c == '\'') { // quoted literal
            size_t end = f.find('\'', i + 1);
            i = end == std::string::npos ? f.size() : end + 1;
            continue;
        }
        if (!isFormatLetter(c)) {
            if (divider == 0 && count > 0 && c != ' ' && c != ',')
                divider = c;
            ++i;
            continue;
        }
        size_t run = i;
        while (run < f.size() && f[run] == c)
            ++run;
        size_t len = run - i;
        i = run;
        switch (c) {
        case 'd':
            if (len <= 2) // "ddd"/"dddd" are weekday names
                fields[count++] = std::string(len, 'd');
            break;
        case 'M':
        case 'L':
            fields[count++] = len == 2 ? "MM" : "M"; // month names become plain numbers
            break;
        case 'y':
            fields[count++] = len >= 3 ? "yyyy" : "yy";
            break;
        default:
            break;
        }
    }
    if (count != 3 || (divider != '.' && divider != '-' && divider != '/')) {
        result.shortDateFormat = "yyyy-MM-dd";
        result.dateSeparator = '-';
        return result;
    }
    result.dateSeparator = divider;
    result.shortDateFormat = fields[0] + divider + fields[1] + divider + fields[2];
    return result;
}

RegionalSettings systemRegionalSettings()
{
    QLocale locale = QLocale::system();
    return deriveRegionalSettings(locale.decimalPoint().toStdString(),
                                  locale.dateFormat(QLocale::ShortFormat).toStdString());
}

} // namespace tk
