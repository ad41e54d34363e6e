#include "reformat_p.h"

#include <algorithm>
#include <cstdint>

namespace numcore
{

namespace
{

bool isSeparator(char c)
{
    return c == '.' || c == ',';
}

// Pads and limits the integer part s (which may hold "-", "." and "," that passed the check)
// and puts the sign back. A "-" among the padded places counts as a zero; further left it
// ends the number, so a stray "-" cuts off what stands before it.
std::string FormatIntegerPart(std::string s, bool negative, const MaskInfo &mask)
{
    const size_t zeros = static_cast<size_t>(std::max<std::int32_t>(mask.IntZeros, 0));
    if (s.size() < zeros)
        s.insert(0, zeros - s.size(), '0');
    for (size_t i = s.size() - zeros; i < s.size(); ++i)
        if (s[i] == '-')
            s[i] = '0';

    size_t start = s.size() - zeros;
    if (mask.IntUnlimited) {
        while (start > 0 && s[start - 1] != '-')
            --start;
    } else {
        for (std::int32_t n = 0; n < mask.IntNines && start > 0 && s[start - 1] != '-'; ++n)
            --start;
    }

    std::string result;
    result.reserve(s.size() - start + 1);
    if (negative)
        result += '-';
    result.append(s, start, std::string::npos);
    return result;
}

// Adds one at the last kept character of work and carries leftward. sep is the position of
// the decimal separator; it moves right when a digit is put in front of it.
void roundUp(std::string &work, size_t &sep, size_t cut, const MaskInfo &mask)
{
    size_t i = cut; // one behind the current position; 0 means the carry ran past the start
    for (;;) {
        while (i > 0 && isSeparator(work[i - 1]))
            --i; // adjacent separators (only left without ClearOnErr) are all skipped
        if (i == 0) {
            work.insert(0, 1, '1');
            ++sep;
            return;
        }
        char &c = work[i - 1];
        if (c == '-') {
            // A "-" inside the digits: where the padding will turn it into "0" (and in the
            // fraction) it takes the carry as a zero; further left it ends the number, so the
            // carry digit goes right behind it, as at the start of the text. So 1-9.96 gives
            // 10.0 under "<0.0" and 110.0 under "000.0": the unrounded value, rounded.
            const bool padded =
                i - 1 > sep ||
                sep - (i - 1) <= static_cast<size_t>(std::max<std::int32_t>(mask.IntZeros, 0));
            if (padded) {
                c = '1';
            } else {
                work.insert(i, 1, '1');
                ++sep;
            }
            return;
        }
        if (c != '9') {
            ++c;
            return;
        }
        c = '0';
        --i;
    }
}

} // namespace

void reformatInteger(const CheckedText &checked, const ReformatInput &in, ReformatOutcome &out)
{
    // Cut at the last separator without rounding; earlier ones stay as ordinary characters.
    std::string s = checked.lastSeparator == std::string::npos
                        ? checked.body
                        : checked.body.substr(0, checked.lastSeparator);
    out.intermediateText = s;
    out.text = FormatIntegerPart(std::move(s), checked.negative, in.mask);
}

void reformatDecimal(const CheckedText &checked, const ReformatInput &in, ReformatOutcome &out)
{
    if (checked.separators > 1 && in.clearOnErr) {
        rejectInput(in, out);
        return;
    }

    std::string work = checked.body;
    size_t sep = checked.lastSeparator;
    if (sep == std::string::npos) {
        if (!in.mask.MaskSeparator) {
            // Neither the text nor the mask has a separator: no fraction at all.
            out.text = FormatIntegerPart(std::move(work), checked.negative, in.mask);
            return;
        }
        sep = work.size();
        work += in.mask.MaskSeparator;
    }

    const size_t fracZeros = static_cast<size_t>(std::max<std::int32_t>(in.mask.FracZeros, 0));
    const size_t fracNines = static_cast<size_t>(std::max<std::int32_t>(in.mask.FracNines, 0));
    size_t fracLength = work.size() - sep - 1;
    if (fracLength < fracZeros) {
        work.append(fracZeros - fracLength, '0');
        fracLength = fracZeros;
    }
    // fracLength >= fracZeros here; compared this way the sum of two counts cannot overflow.
    const size_t kept = in.mask.FracUnlimited || fracLength - fracZeros <= fracNines
                            ? fracLength
                            : fracZeros + fracNines;
    size_t cut = sep + 1 + kept;

    // Half up on the first character cut off, and only on that one.
    if (in.rounded && cut < work.size() && work[cut] >= '5' && work[cut] <= '9') {
        const size_t before = sep;
        roundUp(work, sep, cut, in.mask);
        cut += sep - before; // a carry digit put in front moves everything right
    }
    work.resize(cut);

    std::string result = FormatIntegerPart(work.substr(0, sep), checked.negative, in.mask);
    result.append(work, sep, std::string::npos);
    if (in.mask.MaskSeparator && result.back() == in.mask.MaskSeparator)
        result.pop_back(); // no fraction digit left
    out.text = std::move(result);
}

} // namespace numcore
