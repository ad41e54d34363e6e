#include "num_core.h"

namespace numcore {

// Placeholder until number formatting lands: only the colour reset of the common steps.
ReformatOutcome Reformat(const ReformatInput &in)
{
    ReformatOutcome out;
    if (in.text.empty() && in.noFormatOnEmpty)
        return out;
    out.ran = true;
    return out;
}

} // namespace numcore
