#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

// Windows bitmap and icon files, written byte by byte so the output depends on
// nothing but the pixels.
namespace velloran::artwork {

// A BMP file: BITMAPFILEHEADER, BITMAPINFOHEADER, 24 bits per pixel, BI_RGB,
// rows bottom-up and padded to 4 bytes, 2835 pixels per metre (72 dpi) on
// both axes. Alpha is ignored. Empty for a null image.
QByteArray encodeBmp24(const QImage &image);

// An ICO file holding images in the given order, each 8 bits per pixel with a
// 256-entry palette and an AND mask: a pixel with alpha below 128 is
// transparent (mask bit set, palette index 0, which is black, so the screen
// shows through unchanged); every other pixel is opaque in its RGB colour.
// Images must be 1 to 256 pixels on each side. Empty when an image is null or
// too large, or has more than 256 opaque colours (black included).
QByteArray encodeIco8(const QList<QImage> &images);

} // namespace velloran::artwork
