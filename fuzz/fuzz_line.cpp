// cutLine and decodeLine over arbitrary datagrams: what the receive thread does with every
// datagram from anyone.

#include "fuzz_support.h"

#include "line_text.h"

#include <QList>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <array>
#include <iconv.h>

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

    // Every byte shows: the text of the whole datagram too, control bytes and all.
    for (const std::string_view bytes : {line, std::string_view(datagram.get(), size)}) {
        const QString shownText = decodeLine(bytes);
        FUZZ_CHECK(shownText == expectedText(bytes),
                   "decoded differently: '" + fuzz::shown(bytes) + "'");
        FUZZ_CHECK(shownText.size() <= static_cast<qsizetype>(bytes.size()),
                   "more characters than bytes");
    }
    return 0;
}
