#pragma once

// (Bitmaps are written by the program's own encodeBmp24.)
#include <QByteArray>
#include <QImage>
#include <QList>

// Windows icon files, written byte by byte so the output depends on
// nothing but the pixels.
namespace velloran::artwork {

// An ICO file holding images in the given order, each 8 bits per pixel with a
// 256-entry palette and an AND mask: a pixel with alpha below 128 is
// transparent (mask bit set, palette index 0, which is black, so the screen
// shows through unchanged); every other pixel is opaque in its RGB colour.
// Images must be 1 to 256 pixels on each side. Empty when an image is null or
// too large, or has more than 256 opaque colours (black included).
QByteArray encodeIco8(const QList<QImage> &images);

} // namespace velloran::artwork
