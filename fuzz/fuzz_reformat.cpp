// AnalyseMask, then reformat for every kind, over arbitrary masks, texts and flags.
//
// Input (see corpus/reformat): the previous mask, the mask, the text and the flags, one a
// line. The previous mask matters because the empty mask keeps its digit counts. Flags:
// "k" ClearOnErr cleared, "c" ClearOnErr set (refused for the empty mask), "r" Rounded,
// "e" NoFormatOnEmpty. Each input runs under all four kinds, as the NumType setter may assign
// any of them after the mask at run time.

#include "fuzz_support.h"

#include "date_value.h"
#include "num_core.h"

#include <algorithm>

namespace
{

using fuzz::shown;
using numcore::Kind;

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

bool separator(char c)
{
    return c == '.' || c == ',';
}

// The kind as the mask language defines it, read independently of AnalyseMask.
Kind expectedKind(std::string_view mask)
{
    if (mask.empty())
        return Kind::None;
    int separators = 0;
    for (char c : mask.substr(0, mask.find(';'))) {
        if (c == 'D' || c == 'M' || c == 'Y')
            return Kind::Date;
        separators += separator(c);
    }
    return separators == 0   ? Kind::Int
           : separators == 1 ? Kind::Float
           : separators == 2 ? Kind::Date
                             : Kind::None;
}

void checkAnalysis(std::string_view mask, const numcore::MaskInfo &before, Kind kind,
                   const numcore::MaskInfo &info)
{
    FUZZ_CHECK(kind == expectedKind(mask), "kind of mask '" + shown(mask) + "'");
    if (mask.empty()) {
        numcore::MaskInfo kept = before;
        kept.MaskSeparator = 0;
        FUZZ_CHECK(info == kept, "the empty mask changed the counts");
        return;
    }
    const std::string_view read = mask.substr(0, mask.find(';'));
    const bool dateLetter = read.find_first_of("DMY") != std::string_view::npos;
    std::int32_t zeros[2] = {0, 0}, nines[2] = {0, 0};
    int part = 0;
    char lastSeparator = 0;
    for (char c : read) {
        if (c == 'D' || c == 'M' || c == 'Y')
            break;
        if (separator(c)) {
            lastSeparator = c;
            ++part;
        } else if (part < 2) {
            zeros[part] += c == '0';
            nines[part] += c == '9';
        }
    }
    numcore::MaskInfo expected;
    if (!dateLetter) {
        expected.IntZeros = zeros[0];
        expected.IntNines = nines[0];
        expected.FracZeros = zeros[1];
        expected.FracNines = nines[1];
        expected.IntUnlimited = read.find('<') != std::string_view::npos;
        expected.FracUnlimited = read.find('>') != std::string_view::npos;
    }
    expected.MaskSeparator = lastSeparator;
    FUZZ_CHECK(info == expected, "MaskInfo of mask '" + shown(mask) + "'");
}

// A plain number as typed: an optional sign, digits, at most one separator, digits.
struct PlainNumber {
    bool negative = false;
    std::string integer;
    char separator = 0; // as typed, 0 for none
    std::string fraction;
};

std::optional<PlainNumber> plainNumber(std::string_view t)
{
    PlainNumber n;
    if (!t.empty() && t[0] == '-') {
        n.negative = true;
        t.remove_prefix(1);
    }
    std::size_t i = 0;
    while (i < t.size() && digit(t[i]))
        n.integer += t[i++];
    if (i < t.size() && separator(t[i])) {
        n.separator = t[i++];
        while (i < t.size() && digit(t[i]))
            n.fraction += t[i++];
    }
    if (i != t.size())
        return std::nullopt;
    return n;
}

// The integer part of a plain number under the mask's digit rules.
std::string integerPart(std::string digits, const numcore::MaskInfo &m)
{
    const std::size_t zeros = static_cast<std::size_t>(std::max(m.IntZeros, 0));
    if (digits.size() < zeros)
        digits.insert(0, zeros - digits.size(), '0');
    if (!m.IntUnlimited) {
        const std::size_t most = zeros + static_cast<std::size_t>(std::max(m.IntNines, 0));
        if (digits.size() > most)
            digits.erase(0, digits.size() - most);
    }
    return digits;
}

// What the decimal branch makes of a plain number: padding and cutting by the mask, rounding
// done as arithmetic on the digit string (half up on what is cut off).
std::string expectedDecimal(const PlainNumber &n, const numcore::MaskInfo &m, bool rounded)
{
    const std::string sign = n.negative ? "-" : "";
    if (!n.separator && !m.MaskSeparator)
        return sign + integerPart(n.integer, m);
    const char sep = m.MaskSeparator ? m.MaskSeparator : n.separator;
    std::string fraction = n.fraction;
    const std::size_t fracZeros = static_cast<std::size_t>(std::max(m.FracZeros, 0));
    if (fraction.size() < fracZeros)
        fraction.append(fracZeros - fraction.size(), '0');
    std::size_t keep = fraction.size();
    if (!m.FracUnlimited)
        keep = std::min(keep, fracZeros + static_cast<std::size_t>(std::max(m.FracNines, 0)));
    std::string integer = n.integer;
    if (rounded && keep < fraction.size() && fraction[keep] >= '5') {
        std::string all = integer + fraction.substr(0, keep);
        std::size_t i = all.size();
        while (i > 0 && all[i - 1] == '9')
            all[--i] = '0';
        if (i == 0)
            all.insert(0, 1, '1');
        else
            ++all[i - 1];
        integer = all.substr(0, all.size() - keep);
        fraction = all.substr(all.size() - keep);
    } else {
        fraction.resize(keep);
    }
    std::string out = sign + integerPart(integer, m);
    if (!fraction.empty())
        out += sep + fraction;
    else if (!m.MaskSeparator)
        out += sep; // the typed separator stays when the mask has none
    return out;
}

struct Case {
    std::string_view text;
    Kind kind;
    numcore::MaskInfo mask;
    std::string numMask;
    bool clearOnErr;
    bool rounded;
    bool noFormatOnEmpty;
};

numcore::ReformatOutcome run(const Case &c, std::string_view text)
{
    numcore::ReformatInput in;
    in.text = text;
    in.kind = c.kind;
    in.mask = c.mask;
    in.numMask = c.numMask;
    in.clearOnErr = c.clearOnErr;
    in.rounded = c.rounded;
    in.noFormatOnEmpty = c.noFormatOnEmpty;
    in.date.today = tk::encodeDate(2025, 12, 9);
    in.date.shortDateFormat = "d.M.yyyy";
    return numcore::Reformat(in);
}

std::string described(const Case &c)
{
    return "mask '" + shown(c.numMask) + "' kind " + std::to_string(int(c.kind)) + " text '" +
           shown(c.text) + "' clear " + std::to_string(c.clearOnErr) + " rounded " +
           std::to_string(c.rounded) + " noFormatOnEmpty " + std::to_string(c.noFormatOnEmpty);
}

void checkReformat(const Case &c)
{
    const numcore::ReformatOutcome out = run(c, c.text);
    const std::string what = described(c);

    FUZZ_CHECK(out.ran == !(c.text.empty() && c.noFormatOnEmpty), what);
    if (!out.ran || c.kind == Kind::None) {
        FUZZ_CHECK(!out.edErrors && !out.text && !out.intermediateText && !out.errorColour, what);
        return;
    }
    // Only the date branch rejects twice: too many separators, then a part out of range.
    FUZZ_CHECK(out.edErrors >= 0 && out.edErrors <= (c.kind == Kind::Date && !c.clearOnErr ? 2 : 1),
               what);
    if (out.errorColour)
        FUZZ_CHECK(out.edErrors && c.clearOnErr && out.text == std::string(), what);
    if (out.edErrors && c.clearOnErr)
        FUZZ_CHECK(out.text == std::string() && out.errorColour, what);

    // Characters the check refuses; a "-" passes anywhere, one in front is the sign.
    const std::string_view body = c.text.substr(!c.text.empty() && c.text[0] == '-');
    const bool foreign = std::any_of(body.begin(), body.end(), [](char ch) {
        return !digit(ch) && !separator(ch) && ch != '-';
    });
    const auto separators = std::count_if(body.begin(), body.end(), separator);
    if (foreign) {
        FUZZ_CHECK(out.edErrors, "foreign character accepted: " + what);
        if (!c.clearOnErr)
            FUZZ_CHECK(!out.text, "rejected text changed: " + what);
        return;
    }
    if (c.kind == Kind::Int)
        FUZZ_CHECK(!out.edErrors, what);
    if (c.kind == Kind::Float)
        FUZZ_CHECK(out.edErrors == (c.clearOnErr && separators > 1 ? 1 : 0), what);
    if (c.kind == Kind::Date && separators <= 2 && !out.edErrors)
        FUZZ_CHECK(out.text.has_value(), what);
    if (!out.text)
        return;

    const std::string &result = *out.text;
    FUZZ_CHECK(std::all_of(result.begin(), result.end(),
                           [](char ch) { return digit(ch) || separator(ch) || ch == '-'; }),
               "'" + shown(result) + "' from " + what);
    // Padding, a carry digit, the sign and an appended separator are all the growth there is.
    const std::size_t growth = static_cast<std::size_t>(std::max(c.mask.IntZeros, 0)) +
                               static_cast<std::size_t>(std::max(c.mask.FracZeros, 0)) + 3;
    if (c.kind == Kind::Date)
        FUZZ_CHECK(result.size() <= 39, "date text too long: '" + result + "' from " + what);
    else
        FUZZ_CHECK(result.size() <= c.text.size() + growth,
                   "'" + result + "' grew beyond its work area from " + what);

    if (const std::optional<PlainNumber> n = plainNumber(c.text)) {
        if (c.kind == Kind::Int)
            FUZZ_CHECK(result == (n->negative ? "-" : "") + integerPart(n->integer, c.mask),
                       "'" + result + "' from " + what);
        if (c.kind == Kind::Float)
            FUZZ_CHECK(result == expectedDecimal(*n, c.mask, c.rounded),
                       "'" + result + "' instead of '" + expectedDecimal(*n, c.mask, c.rounded) +
                           "' from " + what);
    }

    // A formatted text formats to itself. Not promised where a separator inside the integer
    // part (left there without ClearOnErr) becomes the cut or the decimal separator next time,
    // nor for a date whose mask begins with "-": that divider then reads as a sign.
    const auto resultSeparators = std::count_if(result.begin(), result.end(), separator);
    const bool stable = out.edErrors            ? false
                        : c.kind == Kind::Int   ? resultSeparators == 0
                        : c.kind == Kind::Float ? separators <= 1
                                                : result.empty() || result[0] != '-';
    if (stable) {
        const numcore::ReformatOutcome again = run(c, result);
        FUZZ_CHECK(!again.edErrors && !again.errorColour, "'" + result + "' refused: " + what);
        FUZZ_CHECK(again.text.value_or(result) == result,
                   "'" + result + "' became '" + again.text.value_or("") + "': " + what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::vector<std::string_view> f = fuzz::fields(data, size, 4);
    const std::string_view previous = f[0], mask = f[1], text = f[2], flags = f[3];

    numcore::MaskInfo info;
    const Kind previousKind = numcore::AnalyseMask(previous, info);
    checkAnalysis(previous, numcore::MaskInfo(), previousKind, info);
    const numcore::MaskInfo before = info;
    const Kind kind = numcore::AnalyseMask(mask, info);
    checkAnalysis(mask, before, kind, info);

    const std::string numMask = numcore::upperCaseMask(mask);
    FUZZ_CHECK(numMask.size() == mask.size(), "upper-casing changed the length");
    bool clearOnErr = !numMask.empty();
    bool rounded = false, noFormatOnEmpty = false;
    for (char c : flags) {
        if (c == 'k')
            clearOnErr = false;
        else if (c == 'c')
            clearOnErr = !numMask.empty();
        else if (c == 'r')
            rounded = true;
        else if (c == 'e')
            noFormatOnEmpty = true;
    }
    for (Kind k : {Kind::None, Kind::Date, Kind::Int, Kind::Float})
        checkReformat({text, k, info, numMask, clearOnErr, rounded, noFormatOnEmpty});
    return 0;
}
