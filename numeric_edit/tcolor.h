#pragma once

#include <QColor>
#include <QPalette>

#include <cstdint>

// The component library's colour: a value with the top bit set names a system colour by its
// index in the low byte; any other value is RGB with red in the low byte.
using TColor = std::uint32_t;

constexpr TColor clRed = 0x000000FF;
constexpr TColor clBlack = 0x00000000;
constexpr TColor clWhite = 0x00FFFFFF;
constexpr TColor clWindow = 0x80000005;
constexpr TColor clWindowText = 0x80000008;
constexpr TColor clBtnFace = 0x8000000F;

constexpr bool isSystemColor(TColor color)
{
    return color & 0x80000000u;
}

// System colours resolve through the application palette, never the widget's own (which may
// show an error colour).
QColor resolveColor(TColor color);
// The same with the given palette: a widget's roles other than its background follow the
// application, a palette for its class and its parent, as a plain widget's do.
QColor resolveColor(TColor color, const QPalette &palette);
// The TColor of an RGB colour (red in the low byte).
TColor toTColor(const QColor &color);
