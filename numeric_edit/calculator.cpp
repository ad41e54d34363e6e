#include "num_core.h"

namespace numcore
{

// Placeholder until the calculator lands.
double EvaluateExpression(std::string_view)
{
    return 0.0;
}

} // namespace numcore
