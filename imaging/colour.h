#pragma once

#include <QRgb>
#include <QtGlobal>

namespace velloran {

// Colours as the program passes them around: red + 256 x green + 65536 x blue
// in a 32-bit value. Pixels inside images are QRgb (0xAARRGGBB).
using ColorRef = quint32;

inline constexpr ColorRef kKeyColour = 0x00FF00FFu; // red 255, green 0, blue 255

constexpr ColorRef toColorRef(QRgb pixel)
{
    return ColorRef(qRed(pixel)) | ColorRef(qGreen(pixel)) << 8 | ColorRef(qBlue(pixel)) << 16;
}

constexpr QRgb fromColorRef(ColorRef colour)
{
    return qRgb(int(colour & 0xFF), int(colour >> 8 & 0xFF), int(colour >> 16 & 0xFF));
}

} // namespace velloran
