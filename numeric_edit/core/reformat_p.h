#pragma once

// The branches of Reformat, entered after its common steps.

#include "num_core.h"

#include <string>

namespace numcore
{

// The text after the common steps: its leading "-" taken off, every "." and "," replaced by
// the mask's separator where the mask has one, and only "0"-"9", ".", ",", "-" left.
struct CheckedText {
    bool negative = false;
    std::string body;
    int separators = 0;                       // how many "." and "," body holds
    size_t lastSeparator = std::string::npos; // position of the last one in body
};

// Each branch fills edErrors, intermediateText, text and errorColour of out.
void reformatInteger(const CheckedText &checked, const ReformatInput &in, ReformatOutcome &out);
void reformatDecimal(const CheckedText &checked, const ReformatInput &in, ReformatOutcome &out);
void reformatDate(const CheckedText &checked, const ReformatInput &in, ReformatOutcome &out);

// The reaction to bad input: the event, and with ClearOnErr an empty text in the error colour.
inline void rejectInput(const ReformatInput &in, ReformatOutcome &out)
{
    ++out.edErrors;
    if (in.clearOnErr) {
        out.text = std::string();
        out.errorColour = true;
    }
}

} // namespace numcore
