// Triangle-filter resampling with precomputed fixed-point coefficient tables.
#include "imaging/resample.h"

#include <algorithm>
#include <cmath>

namespace velloran {

ResampleAxis makeResampleAxis(int sourceSize, int targetSize)
{
    ResampleAxis axis;
    const double scale = double(sourceSize) / targetSize;
    const double support = std::max(1.0, scale); // filter radius in source samples
    const int window = std::min(sourceSize, int(std::ceil(2 * support)) + 1);
    axis.taps = window;
    axis.start.resize(targetSize);
    axis.weights.assign(std::size_t(targetSize) * window, 0);

    std::vector<double> raw(window);
    constexpr int one = 1 << kResampleWeightBits;
    for (int i = 0; i < targetSize; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int first = int(std::floor(centre - support)) + 1;
        const int last = int(std::ceil(centre + support)) - 1;
        const int start = std::clamp(first, 0, sourceSize - window);
        axis.start[i] = start;

        std::fill(raw.begin(), raw.end(), 0.0);
        double total = 0;
        for (int j = first; j <= last; ++j) {
            const double w = 1.0 - std::abs(j - centre) / support;
            if (w <= 0)
                continue;
            const int sample = std::clamp(j, 0, sourceSize - 1); // edges repeat
            raw[sample - start] += w;
            total += w;
        }
        if (total <= 0) { // cannot happen for sizes >= 1; keep the table sound anyway
            raw[std::clamp(int(std::lround(centre)), 0, sourceSize - 1) - start] = 1;
            total = 1;
        }

        // Round to fixed point, then give the rounding remainder to the
        // largest weight so the weights sum to exactly `one`.
        std::int16_t *w = &axis.weights[std::size_t(i) * window];
        int sum = 0;
        int largest = 0;
        for (int k = 0; k < window; ++k) {
            w[k] = std::int16_t(std::lround(raw[k] / total * one));
            sum += w[k];
            if (w[k] > w[largest])
                largest = k;
        }
        w[largest] = std::int16_t(w[largest] + (one - sum));
    }
    return axis;
}

void resampleRowHorizontal(const std::uint32_t *source, std::uint32_t *target,
                           const ResampleAxis &axis)
{
    constexpr int half = 1 << (kResampleWeightBits - 1);
    const int taps = axis.taps;
    const int width = int(axis.start.size());
    for (int x = 0; x < width; ++x) {
        const std::uint32_t *s = source + axis.start[x];
        const std::int16_t *w = &axis.weights[std::size_t(x) * taps];
        int c0 = half, c1 = half, c2 = half, c3 = half;
        for (int k = 0; k < taps; ++k) {
            const std::uint32_t p = s[k];
            c0 += w[k] * int(p & 0xFF);
            c1 += w[k] * int(p >> 8 & 0xFF);
            c2 += w[k] * int(p >> 16 & 0xFF);
            c3 += w[k] * int(p >> 24);
        }
        target[x] = std::uint32_t(c0 >> kResampleWeightBits)
                    | std::uint32_t(c1 >> kResampleWeightBits) << 8
                    | std::uint32_t(c2 >> kResampleWeightBits) << 16
                    | std::uint32_t(c3 >> kResampleWeightBits) << 24;
    }
}

void resampleRowVertical(const std::uint32_t *const *sourceRows, const std::int16_t *weights,
                         int taps, std::uint32_t *target, int width)
{
    constexpr int half = 1 << (kResampleWeightBits - 1);
    for (int x = 0; x < width; ++x) {
        int c0 = half, c1 = half, c2 = half, c3 = half;
        for (int k = 0; k < taps; ++k) {
            const std::uint32_t p = sourceRows[k][x];
            c0 += weights[k] * int(p & 0xFF);
            c1 += weights[k] * int(p >> 8 & 0xFF);
            c2 += weights[k] * int(p >> 16 & 0xFF);
            c3 += weights[k] * int(p >> 24);
        }
        target[x] = std::uint32_t(c0 >> kResampleWeightBits)
                    | std::uint32_t(c1 >> kResampleWeightBits) << 8
                    | std::uint32_t(c2 >> kResampleWeightBits) << 16
                    | std::uint32_t(c3 >> kResampleWeightBits) << 24;
    }
}

QImage resampleImage(const QImage &picture, int width, int height)
{
    if (picture.isNull() || width < 1 || height < 1)
        return {};
    QImage source = picture;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32)
        source = source.convertToFormat(QImage::Format_RGB32);
    if (source.width() == width && source.height() == height)
        return source;

    // Horizontal pass first, into rows of the target width; then each target
    // row mixes a window of those rows.
    const ResampleAxis across = makeResampleAxis(source.width(), width);
    const ResampleAxis down = makeResampleAxis(source.height(), height);
    std::vector<std::uint32_t> narrowed(std::size_t(width) * source.height());
    for (int y = 0; y < source.height(); ++y)
        resampleRowHorizontal(reinterpret_cast<const std::uint32_t *>(source.constScanLine(y)),
                              &narrowed[std::size_t(y) * width], across);

    QImage result(width, height, source.format());
    std::vector<const std::uint32_t *> rows(down.taps);
    for (int y = 0; y < height; ++y) {
        for (int k = 0; k < down.taps; ++k)
            rows[k] = &narrowed[std::size_t(down.start[y] + k) * width];
        resampleRowVertical(rows.data(), &down.weights[std::size_t(y) * down.taps], down.taps,
                            reinterpret_cast<std::uint32_t *>(result.scanLine(y)), width);
    }
    return result;
}

} // namespace velloran
