#pragma once

// The photo-like picture of photolike.h as a QImage, for the benchmarks and
// the fit-quality test that write it out as a JPEG.

#include "photolike.h"

#include <QImage>

#include <cstdint>
#include <vector>

namespace velloran::bench {

inline QImage photoLikeImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    std::vector<std::uint8_t> rgb(std::size_t(width) * 3);
    for (int y = 0; y < height; ++y) {
        photoLikeRow(y, width, height, rgb.data());
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRgb(rgb[3 * x], rgb[3 * x + 1], rgb[3 * x + 2]);
    }
    return image;
}

} // namespace velloran::bench
