#include "line_display.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <iterator>

namespace
{

constexpr char32_t kZwnj = 0x200C;
constexpr char32_t kZwj = 0x200D;
constexpr char32_t kWavingBlackFlag = 0x1F3F4;
constexpr char32_t kCancelTag = 0xE007F;

// The code point at text[i] and its length; a lone surrogate stands for itself.
char32_t codePointAt(QStringView text, qsizetype i, qsizetype &length)
{
    const QChar unit = text[i];
    if (unit.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        length = 2;
        return QChar::surrogateToUcs4(unit, text[i + 1]);
    }
    length = 1;
    return unit.unicode();
}

// Where the code point that ends right before i starts.
qsizetype previousStart(QStringView text, qsizetype i)
{
    if (i >= 2 && text[i - 1].isLowSurrogate() && text[i - 2].isHighSurrogate())
        return i - 2;
    return i - 1;
}

bool isVariationSelector(char32_t c)
{
    return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF) ||
           (c >= 0x180B && c <= 0x180D) || c == 0x180F;
}

// Format characters that fonts draw as a visible sign (number signs and the like that span
// the digits after them).
bool isVisibleFormat(char32_t c)
{
    return (c >= 0x0600 && c <= 0x0605) || c == 0x06DD || c == 0x070F || c == 0x0890 ||
           c == 0x0891 || c == 0x08E2 || c == 0x110BD || c == 0x110CD;
}

// Characters that draw nothing or act instead of showing, whatever surrounds them: controls,
// line and paragraph separators, format characters (the bidirectional controls among them)
// and the other default-ignorable characters, also those not yet assigned.
bool isInvisible(char32_t c)
{
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return true;
    if (c < 0xAD)
        return false;
    if (c >= 0xD800 && c <= 0xDFFF) // a lone surrogate
        return true;
    switch (c) {
    case 0x00AD: // soft hyphen
    case 0x034F: // combining grapheme joiner
    case 0x115F: // Hangul fillers
    case 0x1160:
    case 0x3164:
    case 0xFFA0:
    case 0x17B4: // Khmer inherent vowels
    case 0x17B5:
    case 0xFFFC: // object replacement: Qt lays it out as an empty object
        return true;
    default:
        break;
    }
    if ((c >= 0x2060 && c <= 0x206F) || (c >= 0xFFF0 && c <= 0xFFF8) ||
        (c >= 0xE0000 && c <= 0xE0FFF))
        return true;
    switch (QChar::category(c)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return !isVisibleFormat(c);
    default:
        return false;
    }
}

bool isPictographic(char32_t c)
{
    if (c >= 0x1F000 && c <= 0x1FAFF)
        return !(c >= 0x1F3FB && c <= 0x1F3FF); // skin tones only modify
    if (c >= 0x2100 && c <= 0x2BFF)
        return QChar::category(c) == QChar::Symbol_Other;
    switch (c) {
    case 0x00A9:
    case 0x00AE:
    case 0x203C:
    case 0x2049:
    case 0x3030:
    case 0x303D:
    case 0x3297:
    case 0x3299:
        return true;
    default:
        return false;
    }
}

// What may follow a pictograph before the joiner: its presentation selector, a skin tone,
// the keycap, the tags of a flag.
bool isEmojiTail(char32_t c)
{
    return c == 0xFE0E || c == 0xFE0F || (c >= 0x1F3FB && c <= 0x1F3FF) || c == 0x20E3 ||
           (c >= 0xE0020 && c <= kCancelTag);
}

// Scripts whose shaping gives ZWJ and ZWNJ a meaning: the cursively joined ones and the
// Brahmic ones (conjuncts, half forms, explicit viramas).
bool usesJoiners(QChar::Script script)
{
    static constexpr QChar::Script kScripts[] = {
        QChar::Script_Arabic,
        QChar::Script_Syriac,
        QChar::Script_Nko,
        QChar::Script_Mandaic,
        QChar::Script_Mongolian,
        QChar::Script_PhagsPa,
        QChar::Script_Manichaean,
        QChar::Script_PsalterPahlavi,
        QChar::Script_HanifiRohingya,
        QChar::Script_Sogdian,
        QChar::Script_OldUyghur,
        QChar::Script_Chorasmian,
        QChar::Script_Adlam,
        QChar::Script_Devanagari,
        QChar::Script_Bengali,
        QChar::Script_Gurmukhi,
        QChar::Script_Gujarati,
        QChar::Script_Oriya,
        QChar::Script_Tamil,
        QChar::Script_Telugu,
        QChar::Script_Kannada,
        QChar::Script_Malayalam,
        QChar::Script_Sinhala,
        QChar::Script_Tibetan,
        QChar::Script_Myanmar,
        QChar::Script_Khmer,
        QChar::Script_Lao,
        QChar::Script_Limbu,
        QChar::Script_Buginese,
        QChar::Script_Balinese,
        QChar::Script_Sundanese,
        QChar::Script_Lepcha,
        QChar::Script_Javanese,
        QChar::Script_TaiTham,
        QChar::Script_MeeteiMayek,
        QChar::Script_SylotiNagri,
        QChar::Script_Kharoshthi,
        QChar::Script_Kaithi,
        QChar::Script_Batak,
        QChar::Script_Brahmi,
        QChar::Script_Chakma,
        QChar::Script_Sharada,
        QChar::Script_Takri,
        QChar::Script_Grantha,
        QChar::Script_Khojki,
        QChar::Script_Mahajani,
        QChar::Script_Modi,
        QChar::Script_Siddham,
        QChar::Script_Khudawadi,
        QChar::Script_Tirhuta,
        QChar::Script_Ahom,
        QChar::Script_Multani,
        QChar::Script_Bhaiksuki,
        QChar::Script_Marchen,
        QChar::Script_Newa,
        QChar::Script_MasaramGondi,
        QChar::Script_Soyombo,
        QChar::Script_ZanabazarSquare,
        QChar::Script_Dogra,
        QChar::Script_GunjalaGondi,
        QChar::Script_Makasar,
        QChar::Script_Nandinagari,
        QChar::Script_DivesAkuru,
        QChar::Script_Tagalog,
    };
    return std::find(std::begin(kScripts), std::end(kScripts), script) != std::end(kScripts);
}

bool isLetterOrMark(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

// Whether the joiner at text[at] (ending at after) does its work: inside an emoji sequence
// (ZWJ between two pictographs), or between letters of one script that uses joiners.
bool joins(QStringView text, qsizetype at, qsizetype after, char32_t joiner)
{
    if (at == 0 || after >= text.size())
        return false;
    qsizetype length = 0;
    const char32_t next = codePointAt(text, after, length);

    qsizetype i = at;
    char32_t before = 0;
    if (joiner == kZwj && isPictographic(next)) {
        do {
            i = previousStart(text, i);
            before = codePointAt(text, i, length);
        } while (i > 0 && isEmojiTail(before));
        if (isPictographic(before))
            return true;
        i = at;
    }
    // Vowel signs and the like that belong to every script do not end the walk back.
    do {
        i = previousStart(text, i);
        before = codePointAt(text, i, length);
    } while (i > 0 && QChar::script(before) == QChar::Script_Inherited && QChar::isMark(before));
    const QChar::Script script = QChar::script(before);
    return usesJoiners(script) && isLetterOrMark(before) && isLetterOrMark(next) &&
           !isInvisible(next) && !isVariationSelector(next) && QChar::script(next) == script;
}

bool isHieroglyphControl(char32_t c)
{
    return c >= 0x13430 && c <= 0x1345F;
}

// Egyptian hieroglyph format controls arrange the signs around them into quadrats: one is
// text after a hieroglyph (or a control kept before it) when a hieroglyph follows, after at
// most a few more controls.
bool betweenHieroglyphs(QStringView text, qsizetype at, qsizetype after)
{
    if (at == 0)
        return false;
    qsizetype length = 0;
    if (QChar::script(codePointAt(text, previousStart(text, at), length)) !=
        QChar::Script_EgyptianHieroglyphs)
        return false;
    for (int controls = 0; after < text.size() && controls < 8; ++controls) {
        const char32_t next = codePointAt(text, after, length);
        if (!isHieroglyphControl(next))
            return QChar::script(next) == QChar::Script_EgyptianHieroglyphs && !isInvisible(next);
        after += length;
    }
    return false;
}

// Where the tags of a subdivision flag end (after its cancel tag), when from starts them:
// one to seven tag letters or digits, then the cancel tag. 0 when they do not form one.
qsizetype flagTagsEnd(QStringView text, qsizetype from)
{
    int spec = 0;
    for (qsizetype i = from; i < text.size();) {
        qsizetype length = 0;
        const char32_t c = codePointAt(text, i, length);
        if (c == kCancelTag)
            return spec > 0 ? i + length : 0;
        const bool letterOrDigit = (c >= 0xE0030 && c <= 0xE0039) || (c >= 0xE0061 && c <= 0xE007A);
        if (!letterOrDigit || ++spec > 7)
            return 0;
        i += length;
    }
    return 0;
}

void append(std::vector<DisplayRun> &runs, qsizetype at, qsizetype length, bool mark, char32_t c)
{
    if (!mark && !runs.empty() && !runs.back().isMark) {
        runs.back().length += length;
        return;
    }
    runs.push_back({at, length, mark, mark ? c : 0});
}

struct Label {
    char32_t character;
    const char *text;
};

// Sorted by character.
constexpr Label kLabels[] = {
    {0x00AD, "SHY"},   {0x034F, "CGJ"},     {0x061C, "ALM"},   {0x115F, "HCF"}, {0x1160, "HJF"},
    {0x180E, "MVS"},   {0x200B, "ZWSP"},    {0x200C, "ZWNJ"},  {0x200D, "ZWJ"}, {0x200E, "LRM"},
    {0x200F, "RLM"},   {0x2028, "LSEP"},    {0x2029, "PSEP"},  {0x202A, "LRE"}, {0x202B, "RLE"},
    {0x202C, "PDF"},   {0x202D, "LRO"},     {0x202E, "RLO"},   {0x2060, "WJ"},  {0x2061, "FA"},
    {0x2062, "IT"},    {0x2063, "IS"},      {0x2064, "IP"},    {0x2066, "LRI"}, {0x2067, "RLI"},
    {0x2068, "FSI"},   {0x2069, "PDI"},     {0x206A, "ISS"},   {0x206B, "ASS"}, {0x206C, "IAFS"},
    {0x206D, "AAFS"},  {0x206E, "NADS"},    {0x206F, "NODS"},  {0x3164, "HF"},  {0xFEFF, "BOM"},
    {0xFFA0, "HWF"},   {0xFFF9, "IAA"},     {0xFFFA, "IAS"},   {0xFFFB, "IAT"}, {0xFFFC, "OBJ"},
    {0xE0001, "LANG"}, {0xE0020, "TAG SP"}, {0xE007F, "CTAG"},
};

// The names of the C0 and C1 controls and DEL, as control pictures show them.
constexpr std::array<const char *, 32> kC0 = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};
constexpr std::array<const char *, 32> kC1 = {
    "PAD", "HOP", "BPH", "NBH", "IND", "NEL", "SSA", "ESA", "HTS", "HTJ", "VTS",
    "PLD", "PLU", "RI",  "SS2", "SS3", "DCS", "PU1", "PU2", "STS", "CCH", "MW",
    "SPA", "EPA", "SOS", "SGC", "SCI", "CSI", "ST",  "OSC", "PM",  "APC",
};

} // namespace

std::vector<DisplayRun> displayRuns(QStringView text)
{
    std::vector<DisplayRun> runs;
    qsizetype flagTags = 0; // the tags before this index belong to a flag
    bool afterBase = false; // a variation selector here selects the character before
    for (qsizetype i = 0; i < text.size();) {
        qsizetype length = 0;
        const char32_t c = codePointAt(text, i, length);
        bool mark = false;
        if (c >= 0x20 && c < 0x7F) {
            mark = false;
        } else if (isVariationSelector(c)) {
            mark = !afterBase; // one selector a character; more would hide what follows
        } else if (c == kZwnj || c == kZwj) {
            // Never next to a mark: it would join nothing there.
            mark = runs.empty() || runs.back().isMark || !joins(text, i, i + length, c);
        } else if (c >= 0xE0020 && c <= kCancelTag) {
            mark = i >= flagTags;
        } else if (isHieroglyphControl(c)) {
            mark = runs.empty() || runs.back().isMark || !betweenHieroglyphs(text, i, i + length);
        } else {
            mark = isInvisible(c);
        }
        if (!mark && c == kWavingBlackFlag)
            flagTags = flagTagsEnd(text, i + length);
        afterBase = !mark && !isVariationSelector(c) &&
                    (c < 0x80 || QChar::category(c) != QChar::Other_Format);
        append(runs, i, length, mark, c);
        i += length;
    }
    return runs;
}

QString markLabel(char32_t c)
{
    if (c < 0x20)
        return QString::fromLatin1(kC0[c]);
    if (c == 0x7F)
        return QStringLiteral("DEL");
    if (c >= 0x80 && c <= 0x9F)
        return QString::fromLatin1(kC1[c - 0x80]);
    if (c >= 0xFE00 && c <= 0xFE0F)
        return QStringLiteral("VS%1").arg(c - 0xFE00 + 1);
    if (c >= 0xE0100 && c <= 0xE01EF)
        return QStringLiteral("VS%1").arg(c - 0xE0100 + 17);
    if (c >= 0x180B && c <= 0x180D)
        return QStringLiteral("FVS%1").arg(c - 0x180B + 1);
    if (c == 0x180F)
        return QStringLiteral("FVS4");
    const auto found = std::lower_bound(std::begin(kLabels), std::end(kLabels), c,
                                        [](const Label &l, char32_t v) { return l.character < v; });
    if (found != std::end(kLabels) && found->character == c)
        return QString::fromLatin1(found->text);
    // A tag shows the ASCII character it mirrors: text hidden in tags can be read.
    if (c > 0xE0020 && c < kCancelTag)
        return QStringLiteral("TAG ") + QChar(char16_t(c - 0xE0000));
    return QStringLiteral("U+%1").arg(uint(c), 4, 16, QLatin1Char('0')).toUpper();
}
