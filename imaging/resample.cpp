// Triangle-filter resampling with precomputed fixed-point coefficient tables.
//
// Both passes are made of one kernel that works on four pixels at a time
// (sixteen bytes, every channel alike), written as plain loops over sixteen
// lanes so that compilers turn it into vector code. For the vertical pass the
// four pixels are neighbours in a row; for the horizontal pass they are the
// same column of four rows, so four source rows at a time are turned into
// columns first.
#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velloran {

namespace {

constexpr int kLanes = 16;        // channel values per kernel call: four pixels
constexpr int kPixelsPerGroup = 4;
constexpr int kStripRows = 4;     // source rows per horizontal step
static_assert(kPixelsPerGroup * 4 == kLanes && kStripRows == kPixelsPerGroup);

std::size_t paddedRowBytes(int width)
{
    return (std::size_t(width) * 4 + kLanes - 1) / kLanes * kLanes;
}

// Four pixels (sixteen channel values) as the weighted sum of `taps` groups
// of four pixels, group k starting at first + k * stride bytes; rounded to
// nearest.
void weightedSumOfFourPixels(const std::uint8_t *first, std::ptrdiff_t stride,
                             const std::int16_t *weights, int taps, std::uint8_t *out)
{
    std::int32_t sum[kLanes];
    for (int i = 0; i < kLanes; ++i)
        sum[i] = 1 << (kResampleWeightBits - 1);
    for (int k = 0; k < taps; ++k) {
        const std::uint8_t *group = first + k * stride;
        const std::int32_t weight = weights[k];
        for (int i = 0; i < kLanes; ++i)
            sum[i] += weight * group[i];
    }
    for (int i = 0; i < kLanes; ++i)
        out[i] = std::uint8_t(sum[i] >> kResampleWeightBits);
}

// Four source rows resampled across, one output column at a time: the rows
// are first laid out as columns of four pixels, so each output column is one
// kernel call over consecutive columns.
class HorizontalPass
{
public:
    HorizontalPass(const ResampleAxis &axis, int sourceWidth)
        : m_axis(axis)
        , m_sourceWidth(sourceWidth)
        , m_columns(std::size_t(sourceWidth) * kStripRows)
    {
    }

    void run(const std::uint32_t *const source[kStripRows], std::uint32_t *const target[kStripRows])
    {
        std::uint32_t *columns = m_columns.data();
        for (int x = 0; x < m_sourceWidth; ++x)
            for (int r = 0; r < kStripRows; ++r)
                columns[kStripRows * x + r] = source[r][x];

        const auto *bytes = reinterpret_cast<const std::uint8_t *>(columns);
        constexpr std::ptrdiff_t columnBytes = kStripRows * 4;
        const int taps = m_axis.taps;
        const int width = int(m_axis.start.size());
        std::uint32_t column[kStripRows];
        for (int x = 0; x < width; ++x) {
            weightedSumOfFourPixels(bytes + columnBytes * m_axis.start[x], columnBytes,
                                    &m_axis.weights[std::size_t(x) * taps], taps,
                                    reinterpret_cast<std::uint8_t *>(column));
            for (int r = 0; r < kStripRows; ++r)
                target[r][x] = column[r];
        }
    }

private:
    const ResampleAxis &m_axis;
    int m_sourceWidth;
    std::vector<std::uint32_t> m_columns;
};

// The rows of the horizontal pass that the vertical pass still needs, kept
// next to each other so a window of them is evenly spaced in memory. New
// rows are appended; when the buffer is full, the rows no output needs any
// more are dropped by moving the rest to the front.
class RowWindow
{
public:
    RowWindow(int width, int taps)
        : m_rowBytes(paddedRowBytes(width))
        , m_capacity(2 * (taps + kStripRows) + 16)
        , m_bytes(m_rowBytes * m_capacity)
    {
    }

    int end() const { return m_first + m_count; } // one past the last row held
    std::size_t rowBytes() const { return m_rowBytes; }

    // Room for kStripRows more rows, dropping rows before `keepFrom`.
    std::uint32_t *append(int keepFrom)
    {
        if (m_count + kStripRows > m_capacity) {
            const int drop = std::clamp(keepFrom - m_first, 0, m_count);
            std::memmove(m_bytes.data(), m_bytes.data() + m_rowBytes * drop,
                         m_rowBytes * std::size_t(m_count - drop));
            m_first += drop;
            m_count -= drop;
        }
        std::uint32_t *rows = reinterpret_cast<std::uint32_t *>(m_bytes.data() + m_rowBytes * m_count);
        m_count += kStripRows;
        return rows;
    }

    const std::uint8_t *row(int index) const
    {
        return m_bytes.data() + m_rowBytes * (index - m_first);
    }

private:
    std::size_t m_rowBytes;
    int m_capacity;
    std::vector<std::uint8_t> m_bytes;
    int m_first = 0;
    int m_count = 0;
};

} // namespace

ResampleAxis makeResampleAxis(int sourceSize, int targetSize)
{
    const double scale = double(sourceSize) / targetSize;
    const double support = std::max(1.0, scale); // filter radius in source samples
    const auto centreOf = [&](int i) { return (i + 0.5) * scale - 0.5; };
    // Samples j with |j - centre| < support have a weight; edges repeat.
    const auto firstOf = [&](int i) {
        return std::clamp(int(std::floor(centreOf(i) - support)) + 1, 0, sourceSize - 1);
    };
    const auto lastOf = [&](int i) {
        return std::clamp(int(std::ceil(centreOf(i) + support)) - 1, 0, sourceSize - 1);
    };

    ResampleAxis axis;
    int window = 1;
    for (int i = 0; i < targetSize; ++i)
        window = std::max(window, lastOf(i) - firstOf(i) + 1);
    axis.taps = window;
    axis.start.resize(targetSize);
    axis.weights.assign(std::size_t(targetSize) * window, 0);

    std::vector<double> raw(window);
    constexpr int one = 1 << kResampleWeightBits;
    for (int i = 0; i < targetSize; ++i) {
        const double centre = centreOf(i);
        const int first = int(std::floor(centre - support)) + 1;
        const int last = int(std::ceil(centre + support)) - 1;
        const int start = std::min(firstOf(i), sourceSize - window);
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
            raw[std::clamp(int(std::lround(centre)), start, start + window - 1) - start] = 1;
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

QImage resampleImage(const QImage &picture, int width, int height)
{
    if (picture.isNull() || width < 1 || height < 1)
        return {};
    QImage source = picture;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32)
        source = source.convertToFormat(QImage::Format_RGB32);
    if (source.width() == width && source.height() == height)
        return source;
    const int sourceHeight = source.height();

    const ResampleAxis across = makeResampleAxis(source.width(), width);
    const ResampleAxis down = makeResampleAxis(sourceHeight, height);
    HorizontalPass horizontal(across, source.width());
    RowWindow rows(width, down.taps);
    QImage result(width, height, source.format());
    if (result.isNull())
        return {};

    const int fullGroups = width / kPixelsPerGroup;
    const int leftOver = width % kPixelsPerGroup;
    for (int y = 0; y < height; ++y) {
        const int firstRow = down.start[y];
        // Rows past the bottom of the source repeat its last row; they fill
        // out the last step and are never used.
        while (rows.end() < firstRow + down.taps) {
            const int next = rows.end();
            const std::uint32_t *in[kStripRows];
            for (int r = 0; r < kStripRows; ++r)
                in[r] = reinterpret_cast<const std::uint32_t *>(
                    source.constScanLine(std::min(next + r, sourceHeight - 1)));
            std::uint32_t *out = rows.append(firstRow);
            std::uint32_t *outRows[kStripRows];
            for (int r = 0; r < kStripRows; ++r)
                outRows[r] = out + rows.rowBytes() / 4 * r;
            horizontal.run(in, outRows);
        }

        const std::uint8_t *window = rows.row(firstRow);
        const auto stride = std::ptrdiff_t(rows.rowBytes());
        const std::int16_t *weights = &down.weights[std::size_t(y) * down.taps];
        std::uint8_t *target = result.scanLine(y);
        for (int g = 0; g < fullGroups; ++g)
            weightedSumOfFourPixels(window + kLanes * g, stride, weights, down.taps,
                                    target + kLanes * g);
        if (leftOver > 0) {
            // The window's rows are padded to whole groups; the image's are not.
            std::uint8_t group[kLanes];
            weightedSumOfFourPixels(window + kLanes * fullGroups, stride, weights, down.taps, group);
            std::memcpy(target + kLanes * fullGroups, group, std::size_t(leftOver) * 4);
        }
    }
    return result;
}

} // namespace velloran
