#include "reformat_p.h"

namespace numcore
{

// Placeholders until number formatting lands: the text stays as typed.
void ReformatInteger(const CheckedText &, const ReformatInput &, ReformatOutcome &) {}
void ReformatDecimal(const CheckedText &, const ReformatInput &, ReformatOutcome &) {}

} // namespace numcore
