#pragma once

#include <QColor>

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

// System colours resolve through the application palette, never the widget's own (which may
// show an error colour).
QColor resolveColor(TColor color);
