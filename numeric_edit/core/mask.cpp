#include "num_core.h"

namespace numcore
{

Kind AnalyseMask(std::string_view mask, MaskInfo &info)
{
    info.MaskSeparator = 0;
    if (mask.empty())
        return Kind::None; // the empty mask keeps the previous counts and flags

    info.IntNines = info.FracNines = info.IntZeros = info.FracZeros = 0;
    info.IntUnlimited = info.FracUnlimited = false;
    int separators = 0;
    for (char c : mask) {
        if (c == ';')
            break;
        if (c == '.' || c == ',') {
            info.MaskSeparator = c;
            ++separators;
        }
        if (c == 'D' || c == 'M' || c == 'Y') {
            // Only capital letters mark a date; a separator seen before stays.
            info.IntNines = info.FracNines = info.IntZeros = info.FracZeros = 0;
            info.IntUnlimited = info.FracUnlimited = false;
            return Kind::Date;
        }
        if (c == '<')
            info.IntUnlimited = true;
        else if (c == '>')
            info.FracUnlimited = true;
        if (separators == 0) {
            if (c == '0')
                ++info.IntZeros;
            else if (c == '9')
                ++info.IntNines;
        } else if (separators == 1) {
            if (c == '0')
                ++info.FracZeros;
            else if (c == '9')
                ++info.FracNines;
        }
    }
    switch (separators) {
    case 0:
        return Kind::Int;
    case 1:
        return Kind::Float;
    case 2:
        return Kind::Date;
    default:
        return Kind::None;
    }
}

std::string upperCaseMask(std::string_view mask)
{
    std::string out(mask);
    for (char &c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

} // namespace numcore
