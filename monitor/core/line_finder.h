#pragma once

#include "line_store.h"

#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Finds the lines whose text as shown (decodeLine) contains a piece of text, a slice at a
// time, so that the GUI thread can search a million lines within its frames while new lines
// keep arriving. It reads the lines of a snapshot, without ListLock.
//
// A line matches exactly when decodeLine(line).contains(text, sensitivity) would, but most
// lines are never decoded: a needle of ASCII characters is looked for in the bytes, since
// ASCII bytes read the same in UTF-8 and in Windows-1252 and every other byte shows as a
// character beyond ASCII.
class LineFinder
{
public:
    // What to look for; the empty text matches no line. The search starts over.
    void setText(const QString &text, Qt::CaseSensitivity sensitivity);
    const QString &text() const { return m_text; }
    Qt::CaseSensitivity sensitivity() const { return m_sensitivity; }

    // The lines to search. The same lines with more of them continue the search where it
    // stopped; other lines (a clear happened) start it over.
    void setLines(std::shared_ptr<const LineGeneration> lines, std::size_t count,
                  std::uint64_t clears);
    void setLines(const LineStore::Snapshot &snapshot)
    {
        setLines(snapshot.lines, snapshot.count, snapshot.clears);
    }

    // Searches at most maxLines more lines; true when every line is searched.
    bool step(std::size_t maxLines);
    // Searches until done or until the deadline has passed (looked at every few lines).
    bool stepUntil(std::chrono::steady_clock::time_point deadline);

    bool isComplete() const { return m_searched == m_count; }
    // Lines [0, searchedCount()) are searched.
    std::size_t searchedCount() const { return m_searched; }
    std::size_t lineCount() const { return m_count; }
    // The rows found so far, in ascending order.
    const std::vector<std::uint32_t> &matches() const { return m_matches; }
    std::size_t matchCount() const { return m_matches.size(); }

    // The first match after row (-1: from the start), wrapping around to the first match once
    // the search is complete; none when there is no match or none yet.
    std::optional<std::size_t> nextMatch(std::ptrdiff_t afterRow) const;
    // The last match before row, wrapping around to the last match once the search is
    // complete; none when there is no match or none yet.
    std::optional<std::size_t> previousMatch(std::ptrdiff_t beforeRow) const;
    // Where row is among the matches (0 for the first), or none when it is not a match found.
    std::optional<std::size_t> matchIndex(std::size_t row) const;

    // Whether one line's bytes match.
    bool lineMatches(std::string_view bytes) const;

private:
    bool probeFound(std::string_view bytes) const;

    QString m_text;
    Qt::CaseSensitivity m_sensitivity = Qt::CaseSensitive;
    std::string m_probe;        // ASCII bytes that every matching line holds (folded)
    bool m_asciiText = false;   // the probe is the whole text
    bool m_foldsBeyond = false; // a character beyond ASCII folds to one of the text's letters

    std::shared_ptr<const LineGeneration> m_lines;
    std::size_t m_count = 0;
    std::uint64_t m_clears = 0;
    std::size_t m_searched = 0;
    std::vector<std::uint32_t> m_matches;
};
