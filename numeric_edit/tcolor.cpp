#include "tnumedit_p.h"

#include <QPalette>

namespace
{

constexpr bool isSystemColor(TColor color)
{
    return color & 0x80000000u;
}

} // namespace

TColor toTColor(const QColor &color)
{
    const QRgb rgb = color.rgb();
    return TColor(qRed(rgb)) | TColor(qGreen(rgb)) << 8 | TColor(qBlue(rgb)) << 16;
}

QColor resolveColor(TColor color, const QPalette &palette)
{
    if (!isSystemColor(color))
        return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
    switch (color & 0xFF) {
    case 5: // window background
        return palette.color(QPalette::Base);
    case 8: // window text
        return palette.color(QPalette::Text);
    case 13: // highlight
        return palette.color(QPalette::Highlight);
    case 14: // highlighted text
        return palette.color(QPalette::HighlightedText);
    case 15: // button face
        return palette.color(QPalette::Button);
    case 18: // button text
        return palette.color(QPalette::ButtonText);
    default:
        return palette.color(QPalette::Window);
    }
}
