// Keyed and masked merging of one picture over another.
#include "imaging/merge.h"

#include <vector>

namespace velloran {

void mergeRowMasked(std::uint32_t *target, const std::uint32_t *drawn, int width)
{
    for (int x = 0; x < width; ++x)
        if (drawn[x] >= 0x80000000u)
            target[x] = drawn[x] | 0xFF000000u;
}

void mergeRowKeyed(std::uint32_t *target, const std::uint32_t *drawn, int width,
                   std::uint32_t keyRgb)
{
    for (int x = 0; x < width; ++x)
        if ((drawn[x] & 0x00FFFFFFu) != keyRgb)
            target[x] = drawn[x] | 0xFF000000u;
}

void mergePicture(QImage &target, const QImage &drawn, QRgb key)
{
    if (target.isNull() || drawn.isNull())
        return;
    const bool masked = drawn.hasAlphaChannel();
    const QImage source = drawn.convertToFormat(masked ? QImage::Format_ARGB32
                                                       : QImage::Format_RGB32);
    const std::uint32_t keyRgb = key & 0x00FFFFFFu;
    const int width = target.width();
    const int height = target.height();

    auto mergeRow = [&](std::uint32_t *row, const std::uint32_t *drawnRow) {
        if (masked)
            mergeRowMasked(row, drawnRow, width);
        else
            mergeRowKeyed(row, drawnRow, width, keyRgb);
    };

    if (source.size() == target.size()) {
        for (int y = 0; y < height; ++y)
            mergeRow(reinterpret_cast<std::uint32_t *>(target.scanLine(y)),
                     reinterpret_cast<const std::uint32_t *>(source.constScanLine(y)));
        return;
    }

    // Nearest sample at each target pixel's centre.
    std::vector<int> column(width);
    for (int x = 0; x < width; ++x)
        column[x] = int((2LL * x + 1) * source.width() / (2LL * width));
    std::vector<std::uint32_t> scaled(width);
    for (int y = 0; y < height; ++y) {
        const int sy = int((2LL * y + 1) * source.height() / (2LL * height));
        const auto *sourceRow = reinterpret_cast<const std::uint32_t *>(source.constScanLine(sy));
        for (int x = 0; x < width; ++x)
            scaled[x] = sourceRow[column[x]];
        mergeRow(reinterpret_cast<std::uint32_t *>(target.scanLine(y)), scaled.data());
    }
}

} // namespace velloran
