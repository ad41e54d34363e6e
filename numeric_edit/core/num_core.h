#pragma once

// The pure text core of the numeric edit control: plain values in, plain values out, so
// tests and fuzzers call it without a widget.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace numcore
{

// Same values as TNumEdit::TNumType.
enum class Kind : std::uint8_t { None = 0, Date = 1, Int = 2, Float = 3 };

// The digit rules derived from a mask.
struct MaskInfo {
    std::int32_t IntNines = 0;
    std::int32_t FracNines = 0;
    std::int32_t IntZeros = 0;
    std::int32_t FracZeros = 0;
    bool IntUnlimited = false;
    bool FracUnlimited = false;
    char MaskSeparator = 0; // '.' or ',', 0 for none

    bool operator==(const MaskInfo &) const = default;
};

// Analyses a mask: fills info (keeping the previous counts for the empty mask) and returns
// the kind.
Kind AnalyseMask(std::string_view mask, MaskInfo &info);

// Letters a to z become A to Z; everything else stays.
std::string upperCaseMask(std::string_view mask);

// What the date branch needs from outside: today's date value and the regional short date
// format (as in tk::RegionalSettings).
struct DateContext {
    double today = 0;
    std::string shortDateFormat = "d.M.yyyy";
};

struct ReformatInput {
    std::string_view text;
    Kind kind = Kind::None;
    MaskInfo mask;
    std::string_view numMask; // the stored, upper-cased mask
    bool clearOnErr = false;
    bool rounded = false;
    bool noFormatOnEmpty = false;
    DateContext date;
};

// What a run of Reformat does to the control, applied in this order:
//   1. if !ran: nothing at all (not even the colour);
//   2. the displayed colour becomes the normal colour;
//   3. intermediateText, when set, is assigned (integer branch);
//   4. OnEdError fires edErrors times (the handler still sees the text from before);
//   5. text, when set, is assigned through the base control;
//   6. the displayed colour becomes the error colour when errorColour.
struct ReformatOutcome {
    bool ran = false;
    std::optional<std::string> intermediateText;
    int edErrors = 0; // the date branch can reject a text twice: too many separators, then a part
    std::optional<std::string> text;
    bool errorColour = false;
};

ReformatOutcome Reformat(const ReformatInput &in);

// Writes a date value in the mask's form. nullopt after a failure, which the control reports
// like a rejected text: a value that is no date of the years 1 to 9999 (NaN, infinity, too
// far out), or a day or month out of range.
std::optional<std::string> DateValueToText(double value, std::string_view numMask,
                                           const DateContext &context);

// The calculator: strictly left to right, "+", "-", "*", "/", no precedence.
double EvaluateExpression(std::string_view text);

} // namespace numcore
