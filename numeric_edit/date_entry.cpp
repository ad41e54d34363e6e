#include "reformat_p.h"

namespace numcore
{

// Placeholders until date entry lands: the text stays as typed.
void ReformatDate(const CheckedText &, const ReformatInput &, ReformatOutcome &) {}

std::optional<std::string> DateValueToText(double, std::string_view, const DateContext &)
{
    return std::string();
}

} // namespace numcore
