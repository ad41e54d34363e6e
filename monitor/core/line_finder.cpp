#include "line_finder.h"

#include "line_text.h"

#include <QByteArray>
#include <QChar>
#include <QList>

#include <algorithm>
#include <cstring>
#include <vector>

namespace
{

// A character beyond ASCII that folds to an ASCII letter (the long s to "s", the Kelvin sign
// to "k"): without regard to case it matches the letter, so a search for the letter has to
// read it as one. Taken from Qt's own tables, which its case-insensitive comparison uses.
struct FoldSource {
    char utf8[4];
    std::size_t size;
    char folded;
};

const std::vector<FoldSource> &foldSources()
{
    static const std::vector<FoldSource> sources = [] {
        std::vector<FoldSource> found;
        for (char32_t c = 0x80; c <= QChar::LastValidCodePoint; ++c) {
            const char32_t folded = QChar::toCaseFolded(c);
            if (folded >= 0x80)
                continue;
            const QByteArray utf8 = QString::fromUcs4(&c, 1).toUtf8();
            FoldSource source{{}, static_cast<std::size_t>(utf8.size()), char(folded)};
            std::copy(utf8.begin(), utf8.end(), source.utf8);
            found.push_back(source);
        }
        return found;
    }();
    return sources;
}

bool isFoldTarget(char32_t c)
{
    const auto &sources = foldSources();
    return std::any_of(sources.begin(), sources.end(),
                       [c](const FoldSource &s) { return char32_t(s.folded) == c; });
}

char foldAscii(char c)
{
    return static_cast<char>(c + (static_cast<unsigned char>(c - 'A') < 26 ? 32 : 0));
}

// In blocks of a fixed size, which the compiler turns into vector instructions.
void foldAscii(std::string_view bytes, char *out)
{
    constexpr std::size_t kBlock = 16;
    std::size_t i = 0;
    for (; i + kBlock <= bytes.size(); i += kBlock) {
        for (std::size_t k = 0; k < kBlock; ++k)
            out[i + k] = foldAscii(bytes[i + k]);
    }
    for (; i < bytes.size(); ++i)
        out[i] = foldAscii(bytes[i]);
}

// Folded bytes with each fold source as its ASCII letter. A fold source's bytes are a valid
// UTF-8 sequence whose first byte cannot continue another sequence, so decodeLine reads them
// as that character wherever they stand.
std::size_t foldWithSources(std::string_view bytes, char *out)
{
    const auto &sources = foldSources();
    std::size_t written = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const auto source =
            static_cast<unsigned char>(bytes[i]) < 0x80
                ? sources.end()
                : std::find_if(sources.begin(), sources.end(), [&](const FoldSource &s) {
                      return bytes.substr(i, s.size) == std::string_view(s.utf8, s.size);
                  });
        if (source != sources.end()) {
            out[written++] = source->folded;
            i += source->size;
        } else {
            out[written++] = foldAscii(bytes[i++]);
        }
    }
    return written;
}

bool hasFoldSource(std::string_view bytes)
{
    for (const FoldSource &source : foldSources()) {
        if (bytes.find(std::string_view(source.utf8, source.size)) != std::string_view::npos)
            return true;
    }
    return false;
}

bool hasByteBeyondAscii(std::string_view bytes)
{
    unsigned char any = 0;
    for (const char c : bytes)
        any |= static_cast<unsigned char>(c);
    return any & 0x80;
}

} // namespace

void LineFinder::setText(const QString &text, Qt::CaseSensitivity sensitivity)
{
    m_text = text;
    m_sensitivity = sensitivity;
    m_probe.clear();
    m_asciiText = !text.isEmpty();
    m_foldsBeyond = false;

    // The longest run of ASCII characters that a match must hold as they are (folded when
    // the case does not matter). A letter that characters beyond ASCII fold to may stand for
    // one of them, so it interrupts a run unless the whole text is ASCII.
    const bool folding = sensitivity == Qt::CaseInsensitive;
    std::string run;
    std::string longest;
    std::string whole;
    const QList<uint> codePoints = text.toUcs4();
    for (const uint c : codePoints) {
        const char32_t folded = folding ? QChar::toCaseFolded(char32_t(c)) : char32_t(c);
        if (folded >= 0x80) {
            m_asciiText = false;
            run.clear();
            continue;
        }
        whole += static_cast<char>(folded);
        if (folding && isFoldTarget(folded)) {
            m_foldsBeyond = true;
            run.clear();
            continue;
        }
        run += static_cast<char>(folded);
        if (run.size() > longest.size())
            longest = run;
    }
    m_probe = m_asciiText ? whole : longest;

    m_searched = 0;
    m_matches.clear();
    if (m_text.isEmpty())
        m_searched = m_count;
}

void LineFinder::setLines(std::shared_ptr<const LineGeneration> lines, std::size_t count,
                          std::uint64_t clears)
{
    if (lines != m_lines || clears != m_clears || count < m_searched) {
        m_searched = 0;
        m_matches.clear();
    }
    m_lines = std::move(lines);
    m_count = m_lines ? count : 0;
    m_clears = clears;
    if (m_text.isEmpty())
        m_searched = m_count;
}

bool LineFinder::step(std::size_t maxLines)
{
    const std::size_t end = m_count - m_searched > maxLines ? m_searched + maxLines : m_count;
    for (std::size_t i = m_searched; i < end; ++i) {
        if (lineMatches(m_lines->text(i)))
            m_matches.push_back(static_cast<std::uint32_t>(i));
    }
    m_searched = end;
    return isComplete();
}

bool LineFinder::stepUntil(std::chrono::steady_clock::time_point deadline)
{
    // A slice of long lines that all need decoding takes about a third of a millisecond.
    constexpr std::size_t kSlice = 32;
    while (!step(kSlice)) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
    }
    return true;
}

std::optional<std::size_t> LineFinder::nextMatch(std::ptrdiff_t afterRow) const
{
    const auto it = afterRow < 0 ? m_matches.begin()
                                 : std::upper_bound(m_matches.begin(), m_matches.end(),
                                                    static_cast<std::size_t>(afterRow));
    if (it != m_matches.end())
        return *it;
    if (isComplete() && !m_matches.empty())
        return m_matches.front();
    return std::nullopt;
}

std::optional<std::size_t> LineFinder::previousMatch(std::ptrdiff_t beforeRow) const
{
    if (beforeRow > 0) {
        const auto it = std::lower_bound(m_matches.begin(), m_matches.end(),
                                         static_cast<std::size_t>(beforeRow));
        // Every row below one searched is searched, so the match just below is the nearest.
        if (it != m_matches.begin())
            return *(it - 1);
    }
    if (isComplete() && !m_matches.empty())
        return m_matches.back();
    return std::nullopt;
}

std::optional<std::size_t> LineFinder::matchIndex(std::size_t row) const
{
    const auto it = std::lower_bound(m_matches.begin(), m_matches.end(), row);
    if (it == m_matches.end() || *it != row)
        return std::nullopt;
    return static_cast<std::size_t>(it - m_matches.begin());
}

bool LineFinder::probeFound(std::string_view bytes) const
{
    if (m_probe.empty())
        return true;
    if (m_sensitivity == Qt::CaseSensitive)
        return memmem(bytes.data(), bytes.size(), m_probe.data(), m_probe.size()) != nullptr;
    char folded[kLongestLine];
    if (bytes.size() > sizeof folded) {
        return std::search(bytes.begin(), bytes.end(), m_probe.begin(), m_probe.end(),
                           [](char c, char p) { return foldAscii(c) == p; }) != bytes.end();
    }
    foldAscii(bytes, folded);
    return memmem(folded, bytes.size(), m_probe.data(), m_probe.size()) != nullptr;
}

bool LineFinder::lineMatches(std::string_view bytes) const
{
    if (m_text.isEmpty())
        return false;
    if (m_asciiText) {
        if (probeFound(bytes))
            return true;
        if (!m_foldsBeyond || !hasFoldSource(bytes))
            return false;
        if (bytes.size() <= kLongestLine) {
            char folded[kLongestLine];
            const std::size_t size = foldWithSources(bytes, folded);
            return memmem(folded, size, m_probe.data(), m_probe.size()) != nullptr;
        }
    } else if (!probeFound(bytes) || !hasByteBeyondAscii(bytes)) {
        // Each character beyond ASCII that the text holds comes from bytes beyond ASCII.
        return false;
    }
    return decodeLine(bytes).contains(m_text, m_sensitivity);
}
