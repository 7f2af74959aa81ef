// Keyed and masked merging of one picture over another.
#include "imaging/merge.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace velloran {

namespace {

constexpr int kBlock = 8;

// Each output pixel is choose(drawn, under). Eight pixels at a time are
// chosen into a small buffer before any is stored, so the compiler
// vectorises the choice although `out` may be `under`.
template <typename Choose>
void mergeRow(const std::uint32_t *under, const std::uint32_t *drawn, std::uint32_t *out,
              int width, Choose choose)
{
    int x = 0;
    for (; x + kBlock <= width; x += kBlock) {
        std::uint32_t block[kBlock];
        for (int i = 0; i < kBlock; ++i)
            block[i] = choose(drawn[x + i], under[x + i]);
        for (int i = 0; i < kBlock; ++i)
            out[x + i] = block[i];
    }
    for (; x < width; ++x)
        out[x] = choose(drawn[x], under[x]);
}

} // namespace

void mergeRowMasked(const std::uint32_t *under, const std::uint32_t *drawn, std::uint32_t *out,
                    int width)
{
    mergeRow(under, drawn, out, width, [](std::uint32_t d, std::uint32_t u) {
        return d >= 0x80000000u ? d | 0xFF000000u : u;
    });
}

void mergeRowKeyed(const std::uint32_t *under, const std::uint32_t *drawn, std::uint32_t *out,
                   int width, std::uint32_t keyRgb)
{
    mergeRow(under, drawn, out, width, [keyRgb](std::uint32_t d, std::uint32_t u) {
        return (d & 0x00FFFFFFu) != keyRgb ? d | 0xFF000000u : u;
    });
}

void mergePicture(QImage &target, const QImage &drawn, MergeRule rule, QRgb key)
{
    if (target.isNull() || drawn.isNull())
        return;
    const bool masked = rule == MergeRule::Mask;
    const QImage source = drawn.convertToFormat(masked ? QImage::Format_ARGB32
                                                       : QImage::Format_RGB32);
    const std::uint32_t keyRgb = key & 0x00FFFFFFu;
    const int width = target.width();
    const int height = target.height();

    // Merging in place needs pixels of our own; when they are shared, new
    // pixels are written from the shared ones instead of copied first.
    const bool inPlace = target.isDetached();
    QImage merged = inPlace ? std::move(target) : QImage(target.size(), target.format());
    if (merged.isNull())
        return; // out of memory: the target is left as it was
    const QImage &under = inPlace ? merged : target;

    auto mergeRow = [&](int y, const std::uint32_t *drawnRow) {
        const auto *underRow = reinterpret_cast<const std::uint32_t *>(under.constScanLine(y));
        auto *outRow = reinterpret_cast<std::uint32_t *>(merged.scanLine(y));
        if (masked)
            mergeRowMasked(underRow, drawnRow, outRow, width);
        else
            mergeRowKeyed(underRow, drawnRow, outRow, width, keyRgb);
    };

    if (source.size() == merged.size()) {
        for (int y = 0; y < height; ++y)
            mergeRow(y, reinterpret_cast<const std::uint32_t *>(source.constScanLine(y)));
    } else {
        // Nearest sample at each target pixel's centre.
        std::vector<int> column(width);
        for (int x = 0; x < width; ++x)
            column[x] = int((2LL * x + 1) * source.width() / (2LL * width));
        std::vector<std::uint32_t> scaled(width);
        for (int y = 0; y < height; ++y) {
            const int sy = int((2LL * y + 1) * source.height() / (2LL * height));
            const auto *sourceRow =
                reinterpret_cast<const std::uint32_t *>(source.constScanLine(sy));
            for (int x = 0; x < width; ++x)
                scaled[x] = sourceRow[column[x]];
            mergeRow(y, scaled.data());
        }
    }
    target = std::move(merged);
}

std::vector<int> rowsKeptForHeight(const QImage &overlay, int height)
{
    const int rows = overlay.height();
    if (!overlay.hasAlphaChannel() || height <= 0 || height >= rows)
        return {};
    const QImage argb = overlay.convertToFormat(QImage::Format_ARGB32);
    std::vector<bool> drawn(rows);
    int drawnRows = 0;
    for (int y = 0; y < rows; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        drawn[y] = std::any_of(line, line + argb.width(), [](QRgb p) { return qAlpha(p) >= 128; });
        drawnRows += drawn[y];
    }
    if (drawnRows > height)
        return {};

    // Rows are taken in order. A transparent row is kept while fewer rows
    // are kept than its place scaled to the new height asks for, unless the
    // drawn rows still to come would then not fit; it is kept in any case
    // when dropping it would leave too few rows.
    std::vector<int> kept;
    kept.reserve(height);
    int drawnAfter = drawnRows;
    for (int y = 0; y < rows; ++y) {
        if (drawn[y]) {
            --drawnAfter;
            kept.push_back(y);
            continue;
        }
        const int kept_ = int(kept.size());
        const int scaled = int((2LL * (y + 1) * height + rows) / (2LL * rows));
        const bool behind = kept_ < scaled && kept_ + 1 + drawnAfter <= height;
        const bool needed = kept_ + (rows - y - 1) < height;
        if (behind || needed)
            kept.push_back(y);
    }
    return kept;
}

QImage fitOverlay(const QImage &overlay, QSize size)
{
    if (overlay.isNull() || overlay.size() == size)
        return overlay;
    if (overlay.width() == size.width()) {
        const std::vector<int> kept = rowsKeptForHeight(overlay, size.height());
        if (!kept.empty()) {
            QImage fitted(size, overlay.format());
            if (fitted.isNull())
                return overlay;
            const qsizetype bytes = qsizetype(fitted.bytesPerLine());
            for (int y = 0; y < size.height(); ++y)
                std::copy_n(overlay.constScanLine(kept[y]), bytes, fitted.scanLine(y));
            return fitted;
        }
    }
    return overlay;
}

} // namespace velloran
