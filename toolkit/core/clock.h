#pragma once

#include <optional>

namespace tk
{

// A date value: days since 30 December 1899 (day 0). 1 January 1900 is 2.
using TDateTime = double;

// Today's local date as a date value. Tests fix it with setTodayForTesting().
TDateTime today();
void setTodayForTesting(std::optional<TDateTime> day);

} // namespace tk
