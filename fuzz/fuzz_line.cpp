// cutLine, the line formats, decodeLine, displayRuns and the text of saved lines over
// arbitrary datagrams: what the receive thread, the list and a saved file make of every
// datagram from anyone.

#include "fuzz_support.h"

#include "line_display.h"
#include "line_format.h"
#include "line_save.h"
#include "line_text.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <cstring>
#include <iconv.h>
#include <memory>
#include <string>
#include <vector>

namespace
{

// A byte as a Windows-1252 character by the C library's converter; the five bytes that code
// page leaves undefined read as Latin-1.
char16_t windows1252(unsigned char byte)
{
    static const std::array<char16_t, 256> table = [] {
        std::array<char16_t, 256> t{};
        iconv_t cd = iconv_open("UTF-16LE", "CP1252");
        for (int b = 0; b < 256; ++b) {
            char in = static_cast<char>(b);
            char16_t unit = static_cast<char16_t>(b);
            char *inPtr = &in, *outPtr = reinterpret_cast<char *>(&unit);
            std::size_t inLeft = 1, outLeft = sizeof unit;
            if (cd == reinterpret_cast<iconv_t>(-1) ||
                iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1))
                unit = static_cast<char16_t>(b);
            t[b] = unit;
        }
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
        FUZZ_CHECK(t[0x80] == 0x20AC, "no CP1252 converter in the C library");
        return t;
    }();
    return table[byte];
}

// One character per valid UTF-8 sequence, one per other byte, judged by Qt's own UTF-8 codec:
// a slice is a valid sequence when it decodes to one code point and encodes back to itself.
QString expectedText(std::string_view bytes)
{
    QString out;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        if (lead >= 0x80 && i + length <= bytes.size()) {
            const QByteArray slice(bytes.data() + i, static_cast<qsizetype>(length));
            // Keeping a leading U+FEFF: it arrived, so it is shown.
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
            const QString decoded = utf8(slice);
            if (decoded.toUcs4().size() == 1 && decoded.toUtf8() == slice &&
                (decoded != QChar(0xFFFD) || slice == "\xEF\xBF\xBD")) {
                out += decoded;
                i += length;
                continue;
            }
        }
        out += windows1252(lead);
        ++i;
    }
    return out;
}

char32_t codePoint(const QString &text, qsizetype i)
{
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
               ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1))
               : text.at(i).unicode();
}

char32_t codePointBefore(const QString &text, qsizetype i)
{
    return i >= 2 && text.at(i - 1).isLowSurrogate() && text.at(i - 2).isHighSurrogate()
               ? codePoint(text, i - 2)
               : codePoint(text, i - 1);
}

bool isVariationSelector(char32_t c)
{
    return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) ||
           (c >= 0x180B && c <= 0x180D) || c == 0x180F;
}

// Characters that draw nothing, act on others or end a drawn line, by Qt's own tables where
// they have the property, and the default-ignorables that are not format characters.
bool actsOrHides(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    return c == 0x034F || c == 0x115F || c == 0x1160 || c == 0x17B4 || c == 0x17B5 || c == 0x3164 ||
           c == 0xFFA0 || c == 0xFFFC || isVariationSelector(c) || (c >= 0x2060 && c <= 0x206F) ||
           (c >= 0xFFF0 && c <= 0xFFF8) || (c >= 0xE0000 && c <= 0xE0FFF);
}

// What the list draws of text: runs that cover it in order, each mark one character with a
// short printable label, and text runs in which nothing hides or acts, except where a
// sequence needs it: a joiner between two characters of its run, one variation selector
// after a character, the tags of a flag, hieroglyph controls between hieroglyphs, and the
// format characters that fonts draw.
void checkDisplay(const QString &text, std::string_view input)
{
    const std::vector<DisplayRun> runs = displayRuns(text);
    const auto where = [&] { return " in '" + fuzz::shown(input) + "'"; };
    qsizetype at = 0;
    bool lastWasText = false;
    for (const DisplayRun &run : runs) {
        FUZZ_CHECK(run.start == at && run.length > 0, "runs do not tile the text" + where());
        const qsizetype end = run.start + run.length;
        FUZZ_CHECK(end <= text.size(), "a run past the text" + where());
        if (run.isMark) {
            const char32_t c = codePoint(text, run.start);
            FUZZ_CHECK(c == run.character && run.length == (c > 0xFFFF ? 2 : 1),
                       "a mark that is not its one character" + where());
            const QString label = markLabel(c);
            FUZZ_CHECK(!label.isEmpty() && label.size() <= 8 &&
                           std::all_of(label.begin(), label.end(),
                                       [](QChar l) { return l >= u' ' && l < u'\x7f'; }),
                       "label '" + label.toStdString() + "'" + where());
            lastWasText = false;
        } else {
            FUZZ_CHECK(!lastWasText, "two text runs in a row" + where());
            lastWasText = true;
            bool flag = false;
            int tags = 0;
            qsizetype length = 1;
            for (qsizetype i = run.start; i < end; i += length) {
                const char32_t c = codePoint(text, i);
                length = c > 0xFFFF ? 2 : 1;
                if (c == 0x1F3F4)
                    flag = true;
                tags = c >= 0xE0020 && c <= 0xE007F ? tags + 1 : 0;
                if (!actsOrHides(c))
                    continue;
                const qsizetype next = i + length;
                const bool inside = i > run.start && next < end;
                const char32_t before = i > run.start ? codePointBefore(text, i) : 0;
                bool allowed = false;
                if (c == 0x200C || c == 0x200D)
                    allowed = inside && before != 0x200C && before != 0x200D &&
                              !actsOrHides(codePoint(text, next));
                else if (isVariationSelector(c))
                    allowed = i > run.start && !actsOrHides(before);
                else if (c >= 0xE0020 && c <= 0xE007F)
                    allowed = flag && tags <= 8;
                else if (c >= 0x13430 && c <= 0x1345F)
                    allowed = inside;
                else
                    allowed = (c >= 0x0600 && c <= 0x0605) || c == 0x06DD || c == 0x070F ||
                              c == 0x0890 || c == 0x0891 || c == 0x08E2 || c == 0x110BD ||
                              c == 0x110CD;
                FUZZ_CHECK(allowed, "U+" + QString::number(uint(c), 16).toStdString() +
                                        " kept as text" + where());
            }
        }
        at = end;
    }
    FUZZ_CHECK(at == text.size(), "runs stop short of the text's end" + where());
}

// Escape sequences removed by a state machine, the way a terminal reads them.
std::string withoutEscapes(std::string_view in)
{
    enum { Text, Escape, Intermediate, Control } state = Text;
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        const unsigned char c = static_cast<unsigned char>(in[i]);
        switch (state) {
        case Text:
            if (c == 0x1B)
                state = Escape;
            else
                out += in[i];
            ++i;
            continue;
        case Escape:
            if (c == '[')
                state = Control, ++i;
            else if (c >= 0x20 && c <= 0x2F)
                state = Intermediate, ++i;
            else if (c >= 0x30 && c <= 0x7E)
                state = Text, ++i;
            else
                state = Text; // broken off: the byte is read again as text
            continue;
        case Intermediate:
            if (c >= 0x20 && c <= 0x2F)
                ++i;
            else if (c >= 0x30 && c <= 0x7E)
                state = Text, ++i;
            else
                state = Text;
            continue;
        case Control:
            if (c >= 0x20 && c <= 0x3F)
                ++i;
            else if (c >= 0x40 && c <= 0x7E)
                state = Text, ++i;
            else
                state = Text;
            continue;
        }
    }
    return out;
}

std::string cutAtControl(std::string_view part)
{
    const auto end = std::find_if(part.begin(), part.end(),
                                  [](char c) { return static_cast<unsigned char>(c) < 32; });
    return std::string(part.begin(), end);
}

// The lines of a datagram under a format, told plainly: CR LF and then CR become LF, the
// text splits at each LF, and an empty last piece after a break is no line.
std::vector<std::string> expectedLines(std::string_view datagram, LineFormat format)
{
    std::string text(datagram.substr(0, kLongestLine));
    if (format.removeColourCodes)
        text = withoutEscapes(text);
    if (!format.splitAtLineBreaks)
        return {cutAtControl(text)};
    std::string unified;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        unified += text[i] == '\r' ? '\n' : text[i];
    }
    std::vector<std::string> pieces(1);
    for (const char c : unified) {
        if (c == '\n')
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    if (pieces.size() > 1 && pieces.back().empty())
        pieces.pop_back();
    std::vector<std::string> lines;
    for (const std::string &piece : pieces)
        lines.push_back(cutAtControl(piece));
    return lines;
}

void checkLineFormats(const char *datagram, std::size_t size)
{
    const std::string_view input(datagram, size);
    const auto where = [&] { return " in '" + fuzz::shown(input) + "'"; };

    // One cutter for every run, as the receive thread keeps one: nothing of a datagram may
    // stay for the next.
    static const auto cutter = std::make_unique<DatagramLines>();
    for (const LineFormat format : {LineFormat{false, false}, LineFormat{true, false},
                                    LineFormat{false, true}, LineFormat{true, true}}) {
        const std::string formatName = std::string(format.splitAtLineBreaks ? "split" : "") +
                                       (format.removeColourCodes ? " colours" : "");
        const auto lines = cutter->cut(datagram, size, format);
        FUZZ_CHECK(!lines.empty() && lines.size() <= DatagramLines::kMostLines,
                   std::to_string(lines.size()) + " lines" + where());
        for (const std::string_view line : lines) {
            FUZZ_CHECK(line.size() <= kLongestLine, "a line of " + std::to_string(line.size()));
            FUZZ_CHECK(std::none_of(line.begin(), line.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 32; }),
                       "a control byte in '" + fuzz::shown(line) + "' " + formatName + where());
        }
        const std::vector<std::string> expected = expectedLines(input, format);
        FUZZ_CHECK(std::equal(lines.begin(), lines.end(), expected.begin(), expected.end()),
                   "other lines than expected, " + formatName + where());
        if (format == LineFormat{}) {
            const std::string_view line = cutLine(datagram, size);
            FUZZ_CHECK(lines.size() == 1 && lines[0].data() == line.data() &&
                           lines[0].size() == line.size(),
                       "options off differ from cutLine" + where());
        }
    }

    // Removing escapes, in place or not, leaves no ESC and nothing to remove again.
    std::string window(input.substr(0, kLongestLine));
    std::string cleaned(window.size(), '\0');
    cleaned.resize(removeEscapeSequences(window.data(), window.size(), cleaned.data()));
    FUZZ_CHECK(cleaned.find('\x1b') == std::string::npos, "an ESC left" + where());
    FUZZ_CHECK(cleaned == withoutEscapes(window), "escapes removed otherwise" + where());
    window.resize(removeEscapeSequences(window.data(), window.size(), window.data()));
    FUZZ_CHECK(window == cleaned, "in place differs" + where());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Exactly the bytes received, so that reading one more is caught.
    const auto datagram = std::make_unique<char[]>(size);
    std::copy(data, data + size, datagram.get());

    const std::string_view line = cutLine(datagram.get(), size);
    FUZZ_CHECK(line.data() == datagram.get(), "the line is not the datagram's start");
    FUZZ_CHECK(line.size() <= kLongestLine, "a line of " + std::to_string(line.size()));
    FUZZ_CHECK(std::none_of(line.begin(), line.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 32; }),
               "a control byte in '" + fuzz::shown(line) + "'");
    // It ends only at a control byte or at the limit.
    FUZZ_CHECK(line.size() == std::min(size, kLongestLine) ||
                   static_cast<unsigned char>(datagram[line.size()]) < 32,
               "cut early: '" + fuzz::shown(line) + "'");

    checkLineFormats(datagram.get(), size);

    // Every byte shows: the text of the whole datagram too, control bytes and all.
    for (const std::string_view bytes : {line, std::string_view(datagram.get(), size)}) {
        const QString shownText = decodeLine(bytes);
        FUZZ_CHECK(shownText == expectedText(bytes),
                   "decoded differently: '" + fuzz::shown(bytes) + "'");
        FUZZ_CHECK(shownText.size() <= static_cast<qsizetype>(bytes.size()),
                   "more characters than bytes");
        // A saved file holds what is shown.
        QByteArray saved;
        appendShownUtf8(saved, bytes);
        FUZZ_CHECK(saved == shownText.toUtf8(), "saved otherwise: '" + fuzz::shown(bytes) + "'");
        checkDisplay(shownText, bytes);
    }
    // And any UTF-16, lone surrogates included, as another model might hand the list.
    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * 2);
    checkDisplay(QString::fromStdU16String(units), std::string_view(datagram.get(), size));
    return 0;
}
