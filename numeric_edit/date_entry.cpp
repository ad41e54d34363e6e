#include "num_core.h"

namespace numcore {

// Placeholder until date entry lands: the text stays as typed.
void ReformatDate(std::string_view, const ReformatInput &, ReformatOutcome &) {}

std::optional<std::string> DateValueToText(double, std::string_view, const DateContext &)
{
    return std::string();
}

} // namespace numcore
