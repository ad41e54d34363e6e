#include "clock.h"

#include "date_value.h"

#include <QDate>

#include <atomic>
#include <cmath>

namespace tk
{

namespace
{
// NaN means "not fixed": use the system clock.
std::atomic<double> fixedToday{std::nan("")};
} // namespace

TDateTime today()
{
    double fixed = fixedToday.load(std::memory_order_relaxed);
    if (!std::isnan(fixed))
        return fixed;
    QDate d = QDate::currentDate();
    return encodeDate(d.year(), d.month(), d.day());
}

void setTodayForTesting(std::optional<TDateTime> day)
{
    fixedToday.store(day ? *day : std::nan(""), std::memory_order_relaxed);
}

} // namespace tk
