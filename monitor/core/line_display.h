#pragma once

#include <QString>
#include <QStringView>

#include <vector>

// How a decoded line is drawn: runs of text, and marks. A mark stands for one character that
// would otherwise draw nothing (zero-width and format characters, controls), act on the
// characters around it (bidirectional controls) or end the drawn line (line and paragraph
// separators); it is drawn as a small boxed label instead. Joiners, variation selectors and
// emoji tags stay text where they form a sequence that needs them.
struct DisplayRun {
    qsizetype start = 0;  // in the text, in UTF-16 units
    qsizetype length = 0; // in UTF-16 units: one code point for a mark
    bool isMark = false;
    char32_t character = 0; // the code point a mark stands for

    friend bool operator==(const DisplayRun &, const DisplayRun &) = default;
};

// The runs that cover text from start to end, in order; consecutive text is one run.
std::vector<DisplayRun> displayRuns(QStringView text);

// The label a mark shows: a short ASCII name ("RLO", "ZWSP", "NEL") or the code point
// ("U+E0002").
QString markLabel(char32_t character);
