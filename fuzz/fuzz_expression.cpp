// EvaluateExpression over arbitrary text, and the general number text of what it gives, as
// Enter and leaving a number field do.

#include "fuzz_support.h"

#include "conversions.h"
#include "num_core.h"

#include <algorithm>
#include <cmath>

namespace
{

bool same(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const double result = numcore::EvaluateExpression(text);

    // Commas are decimal points to the calculator.
    std::string dotted(text);
    std::replace(dotted.begin(), dotted.end(), ',', '.');
    FUZZ_CHECK(same(numcore::EvaluateExpression(dotted), result),
               "commas changed the result of '" + fuzz::shown(text) + "'");

    const std::string general = tk::floatToGeneralText(result, '.');
    if (!std::isfinite(result)) {
        FUZZ_CHECK(general == (std::isnan(result) ? "NAN" : result < 0 ? "-INF" : "INF"), general);
        return 0;
    }
    const double r = fuzz::rounded15(result);
    tk::RegionalSettings dot;
    dot.decimalSeparator = '.';
    FUZZ_CHECK(tk::strToFloat(general, dot) == r, "'" + general + "' does not read back as " +
                                                      fuzz::text(r) + " (from '" +
                                                      fuzz::shown(text) + "')");
    // The field evaluates its text again on the next Enter: a result in plain notation, or
    // with a positive exponent, gives itself. ("1E-5" would read as 1E minus 5.)
    if (general.find("E-") == std::string::npos)
        FUZZ_CHECK(numcore::EvaluateExpression(general) == r,
                   "'" + general + "' evaluates to " +
                       fuzz::text(numcore::EvaluateExpression(general)));
    return 0;
}
