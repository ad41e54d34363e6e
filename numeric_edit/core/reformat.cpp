#include "reformat_p.h"

namespace numcore
{

ReformatOutcome Reformat(const ReformatInput &in)
{
    ReformatOutcome out;
    if (in.text.empty() && in.noFormatOnEmpty)
        return out; // not even the colour changes
    out.ran = true; // the colour goes back to normal
    if (in.kind == Kind::None)
        return out;

    CheckedText checked;
    std::string_view rest = in.text;
    if (!rest.empty() && rest.front() == '-') {
        checked.negative = true;
        rest.remove_prefix(1);
    }
    checked.body.reserve(rest.size());
    for (char c : rest) {
        if (c == '.' || c == ',') {
            if (in.mask.MaskSeparator)
                c = in.mask.MaskSeparator;
            ++checked.separators;
            checked.lastSeparator = checked.body.size();
        } else if (!(c >= '0' && c <= '9') && c != '-') {
            rejectInput(in, out);
            return out;
        }
        checked.body += c;
    }

    switch (in.kind) {
    case Kind::Int:
        reformatInteger(checked, in, out);
        break;
    case Kind::Float:
        reformatDecimal(checked, in, out);
        break;
    case Kind::Date:
        reformatDate(checked, in, out);
        break;
    case Kind::None:
        break;
    }
    return out;
}

} // namespace numcore
