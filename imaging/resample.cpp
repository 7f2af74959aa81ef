// Triangle-filter resampling with precomputed fixed-point coefficient tables.
//
// The horizontal pass reads rows in a paired layout: pixels 2j and 2j + 1
// make one block of eight 16-bit values, B B G G R R A A, so that one
// multiply-add of a block by a pair of weights gives the four channels of
// both taps at once. Rows are put in that layout when they come in (and, when
// rows are summed, while summing them); sums of rows stay in it, since it
// adds lane by lane. The horizontal pass writes 16-bit rows in the usual
// layout, B G R A per pixel, and the vertical pass pairs two such rows lane
// by lane for its multiply-adds.
//
// Every kernel has a plain form and, where SSE2 is there (every x86-64), a
// vector form; both compute the same integers, so every machine gives the
// same bytes. resampleImage makes a large picture in two bands of rows on two
// threads; each output row is computed as the single-threaded resampler
// computes it, so that changes no byte either.
#include "imaging/resample.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define VELLORAN_RESAMPLE_SSE2 1
#include <emmintrin.h>
#endif

namespace velloran {

namespace {

constexpr int kAcrossShiftBase = kResampleWeightBits - kResampleIntermediateBits;
constexpr int kDownShift = kResampleWeightBits + kResampleIntermediateBits;
// Pictures at least this large are resampled in two bands at once.
constexpr qint64 kBandedPixels = qint64(1) << 20;

// Eight 16-bit values: two pixels, paired (B B G G R R A A) or in the usual
// layout (B G R A B G R A).
struct alignas(16) Block
{
    std::int16_t v[8];
};

using Blocks = std::vector<Block>;

int channelOf(std::uint32_t pixel, int c)
{
    return int(pixel >> (8 * c) & 0xFF);
}

// --- Rows into the paired layout ---------------------------------------------

// Channel c of sample x of row a (plus that of row b when there is one):
// the sum of `across` (1 or 2) pixels. A run past the right edge repeats the
// last pixel.
int sampleOf(const std::uint32_t *a, const std::uint32_t *b, int width, int across, int x, int c)
{
    int value = 0;
    for (int e = 0; e < across; ++e) {
        const int pixelX = std::min(x * across + e, width - 1);
        value += channelOf(a[pixelX], c) + (b ? channelOf(b[pixelX], c) : 0);
    }
    return value;
}

// Blocks of samples [first, samples) made from row a, or from the sum of
// rows a and b (b may be null); a missing partner of the last sample counts
// as zero.
void pairPlain(const std::uint32_t *a, const std::uint32_t *b, int width, int across, int first,
               Block *out)
{
    const int samples = (width + across - 1) / across;
    for (int x = first & ~1; x < samples; x += 2) {
        Block &block = out[x / 2];
        for (int e = 0; e < 2; ++e)
            for (int c = 0; c < 4; ++c)
                block.v[2 * c + e] =
                    std::int16_t(x + e < samples ? sampleOf(a, b, width, across, x + e, c) : 0);
    }
}

#ifdef VELLORAN_RESAMPLE_SSE2
// Two pixels side by side, B G R A B G R A, made B B G G R R A A.
inline __m128i interleavePixels(__m128i twoPixels)
{
    return _mm_unpacklo_epi16(twoPixels, _mm_unpackhi_epi64(twoPixels, twoPixels));
}

// Pixels x to x + 3 of row a (plus those of row b with Sum; without, b may be
// null) as 16-bit values, two pixels in each half.
template <bool Sum>
inline void loadFour(const std::uint32_t *a, const std::uint32_t *b, int x, __m128i &low, __m128i &high)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + x));
    low = _mm_unpacklo_epi8(p, zero);
    high = _mm_unpackhi_epi8(p, zero);
    if constexpr (Sum) {
        const __m128i q = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + x));
        low = _mm_add_epi16(low, _mm_unpacklo_epi8(q, zero));
        high = _mm_add_epi16(high, _mm_unpackhi_epi8(q, zero));
    }
}

// Blocks of the first `width` pixels (rounded down to a multiple of 8);
// returns the number of pixels done. Every 64 bytes, the same place in the
// rows `ahead` is fetched into the cache.
template <int Across, bool Sum>
int makeBlocksSse2(const std::uint32_t *a, const std::uint32_t *b, int width,
                   const std::uint32_t *const ahead[2], __m128i *blocks)
{
    int x = 0;
    for (; x + 8 <= width; x += 8) {
        if (x % 16 == 0)
            for (int r = 0; r < 2; ++r)
                if (ahead[r])
                    _mm_prefetch(reinterpret_cast<const char *>(ahead[r] + x), _MM_HINT_T0);
        __m128i low, high, low2, high2;
        loadFour<Sum>(a, b, x, low, high);
        loadFour<Sum>(a, b, x + 4, low2, high2);
        if constexpr (Across == 1) {
            _mm_store_si128(blocks + x / 2, interleavePixels(low));
            _mm_store_si128(blocks + x / 2 + 1, interleavePixels(high));
            _mm_store_si128(blocks + x / 2 + 2, interleavePixels(low2));
            _mm_store_si128(blocks + x / 2 + 3, interleavePixels(high2));
        } else {
            // Pixels 0 and 2 interleaved plus pixels 1 and 3 interleaved:
            // the sums 0+1 and 2+3, B B G G R R A A.
            _mm_store_si128(blocks + x / 4,
                            _mm_add_epi16(_mm_unpacklo_epi16(low, high), _mm_unpackhi_epi16(low, high)));
            _mm_store_si128(blocks + x / 4 + 1,
                            _mm_add_epi16(_mm_unpacklo_epi16(low2, high2), _mm_unpackhi_epi16(low2, high2)));
        }
    }
    return x;
}
#endif

// A row (or the sum of two rows) in blocks, with runs of `across` pixels
// summed. `ahead` is where the next rows will be read (null entries for
// none), for the processor to fetch while this one is worked on; it changes
// no result.
void makeBlocks(const std::uint32_t *a, const std::uint32_t *b, int width, int across,
                const std::uint32_t *const ahead[2], Block *out)
{
    int x = 0; // in source pixels, a multiple of 8
#ifdef VELLORAN_RESAMPLE_SSE2
    auto *blocks = reinterpret_cast<__m128i *>(out);
    if (across == 1)
        x = b ? makeBlocksSse2<1, true>(a, b, width, ahead, blocks)
              : makeBlocksSse2<1, false>(a, b, width, ahead, blocks);
    else
        x = b ? makeBlocksSse2<2, true>(a, b, width, ahead, blocks)
              : makeBlocksSse2<2, false>(a, b, width, ahead, blocks);
#else
    (void)ahead;
#endif
    pairPlain(a, b, width, across, x / across, out);
}

void addBlocks(const Block *a, const Block *b, int count, Block *out)
{
    int i = 0;
#ifdef VELLORAN_RESAMPLE_SSE2
    for (; i < count; ++i)
        _mm_store_si128(reinterpret_cast<__m128i *>(out + i),
                        _mm_add_epi16(_mm_load_si128(reinterpret_cast<const __m128i *>(a + i)),
                                      _mm_load_si128(reinterpret_cast<const __m128i *>(b + i))));
#endif
    for (; i < count; ++i)
        for (int k = 0; k < 8; ++k)
            out[i].v[k] = std::int16_t(a[i].v[k] + b[i].v[k]);
}

// --- The horizontal pass -----------------------------------------------------

// The horizontal table in blocks: output x reads `pairs` blocks from
// firstBlock[x], block k with the weights weights[x * pairs + k], each
// (w even, w odd) repeated four times to match a block's lanes.
struct AcrossTable
{
    int pairs = 0;
    int shift = 0; // of the weighted sum, to 4 fractional bits
    std::vector<int> firstBlock;
    Blocks weights;
};

AcrossTable makeAcrossTable(const ResampleAxis &axis, int extraShift)
{
    AcrossTable table;
    const int width = int(axis.start.size());
    // A window starting at an odd pixel begins one block earlier.
    table.pairs = (axis.taps + 2) / 2;
    table.shift = kAcrossShiftBase + extraShift;
    table.firstBlock.resize(width);
    table.weights.assign(std::size_t(width) * table.pairs, Block{});
    for (int x = 0; x < width; ++x) {
        const int first = axis.start[x] / 2;
        table.firstBlock[x] = first;
        for (int k = 0; k < axis.taps; ++k) {
            const int offset = axis.start[x] + k - 2 * first; // pixel within the blocks read
            Block &pair = table.weights[std::size_t(x) * table.pairs + offset / 2];
            for (int c = 0; c < 4; ++c)
                pair.v[2 * c + offset % 2] = axis.weights[std::size_t(x) * axis.taps + k];
        }
    }
    return table;
}

// One row of blocks filtered to table.firstBlock.size() pixels, written as
// 16-bit values in the usual layout.
void filterAcross(const Block *in, const AcrossTable &table, std::int16_t *out)
{
    const int width = int(table.firstBlock.size());
    const int pairs = table.pairs;
    const std::int32_t bias = std::int32_t(1) << (table.shift - 1);
#ifdef VELLORAN_RESAMPLE_SSE2
    const __m128i biasVector = _mm_set1_epi32(bias);
    const __m128i shift = _mm_cvtsi32_si128(table.shift);
    const auto *blocks = reinterpret_cast<const __m128i *>(in);
    const auto *weights = reinterpret_cast<const __m128i *>(table.weights.data());
    const auto run = [&](auto pairsConstant) {
        const int n = pairsConstant > 0 ? int(pairsConstant) : pairs;
        const auto sumAt = [&](int x) {
            const __m128i *window = blocks + table.firstBlock[x];
            const __m128i *w = weights + std::size_t(x) * n;
            __m128i sum = biasVector;
            for (int k = 0; k < n; ++k)
                sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_load_si128(window + k), _mm_load_si128(w + k)));
            return _mm_sra_epi32(sum, shift);
        };
        // Two pixels a step, one block of the row written (rows are whole blocks).
        int x = 0;
        for (; x + 2 <= width; x += 2)
            _mm_store_si128(reinterpret_cast<__m128i *>(out + 4 * x), _mm_packs_epi32(sumAt(x), sumAt(x + 1)));
        if (x < width) {
            const __m128i sum = sumAt(x);
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 4 * x), _mm_packs_epi32(sum, sum));
        }
    };
    // The common short windows with a loop the compiler unrolls.
    switch (pairs) {
    case 1: return run(std::integral_constant<int, 1>());
    case 2: return run(std::integral_constant<int, 2>());
    case 3: return run(std::integral_constant<int, 3>());
    case 4: return run(std::integral_constant<int, 4>());
    case 5: return run(std::integral_constant<int, 5>());
    case 6: return run(std::integral_constant<int, 6>());
    case 7: return run(std::integral_constant<int, 7>());
    case 8: return run(std::integral_constant<int, 8>());
    default: return run(std::integral_constant<int, 0>());
    }
#else
    for (int x = 0; x < width; ++x) {
        const Block *window = in + table.firstBlock[x];
        const Block *w = table.weights.data() + std::size_t(x) * pairs;
        for (int c = 0; c < 4; ++c) {
            std::int32_t sum = bias;
            for (int k = 0; k < pairs; ++k)
                sum += window[k].v[2 * c] * w[k].v[2 * c] + window[k].v[2 * c + 1] * w[k].v[2 * c + 1];
            out[4 * x + c] = std::int16_t(sum >> table.shift);
        }
    }
#endif
}

// --- The vertical pass -------------------------------------------------------

// One output row, `width` pixels, from `taps` rows of 16-bit values in the
// usual layout, `stride` values apart.
void filterDown(const std::int16_t *rows, std::ptrdiff_t stride, const std::int16_t *weights, int taps,
                int width, std::uint32_t *out)
{
    constexpr std::int32_t bias = std::int32_t(1) << (kDownShift - 1);
#ifdef VELLORAN_RESAMPLE_SSE2
    const __m128i zero = _mm_setzero_si128();
    const __m128i biasVector = _mm_set1_epi32(bias);
    const auto pairOf = [](std::int16_t even, std::int16_t odd) {
        return _mm_set1_epi32(int(std::uint16_t(even)) | int(std::uint32_t(std::uint16_t(odd)) << 16));
    };
    for (int x = 0; x < width; x += 2) {
        __m128i low = biasVector, high = biasVector;
        const std::int16_t *column = rows + 4 * std::ptrdiff_t(x);
        int k = 0;
        for (; k + 2 <= taps; k += 2) {
            const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i *>(column + k * stride));
            const __m128i b = _mm_load_si128(reinterpret_cast<const __m128i *>(column + (k + 1) * stride));
            const __m128i w = pairOf(weights[k], weights[k + 1]);
            low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), w));
            high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), w));
        }
        if (k < taps) {
            const __m128i a = _mm_load_si128(reinterpret_cast<const __m128i *>(column + k * stride));
            const __m128i w = pairOf(weights[k], 0);
            low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a, zero), w));
            high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a, zero), w));
        }
        low = _mm_srai_epi32(low, kDownShift);
        high = _mm_srai_epi32(high, kDownShift);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(low, high), zero);
        if (x + 2 <= width)
            _mm_storel_epi64(reinterpret_cast<__m128i *>(out + x), bytes);
        else
            out[x] = std::uint32_t(_mm_cvtsi128_si32(bytes));
    }
#else
    for (int x = 0; x < width; ++x) {
        std::uint32_t pixel = 0;
        for (int c = 0; c < 4; ++c) {
            std::int32_t sum = bias;
            for (int k = 0; k < taps; ++k)
                sum += weights[k] * rows[k * stride + 4 * x + c];
            pixel |= std::uint32_t(sum >> kDownShift) << (8 * c);
        }
        out[x] = pixel;
    }
#endif
}

// The rows of the horizontal pass that the vertical pass still needs, kept
// next to each other so a window of them is evenly spaced in memory. New
// rows are appended; when the buffer is full, the rows no output needs any
// more are dropped by moving the rest to the front.
class RowWindow
{
public:
    // The first row appended is row `first`.
    RowWindow(int width, int taps, int first = 0)
        : m_rowBlocks((std::size_t(width) + 1) / 2)
        , m_capacity(2 * taps + 8)
        , m_blocks(m_rowBlocks * m_capacity)
        , m_first(first)
    {
    }

    int end() const { return m_first + m_count; } // one past the last row held
    std::ptrdiff_t rowValues() const { return std::ptrdiff_t(m_rowBlocks) * 8; }

    // Room for one more row, dropping rows before `keepFrom`.
    std::int16_t *append(int keepFrom)
    {
        if (m_count == m_capacity) {
            const int drop = std::clamp(keepFrom - m_first, 0, m_count);
            std::memmove(m_blocks.data(), m_blocks.data() + m_rowBlocks * drop,
                         sizeof(Block) * m_rowBlocks * std::size_t(m_count - drop));
            m_first += drop;
            m_count -= drop;
        }
        return row(m_first + m_count++);
    }

    std::int16_t *row(int index)
    {
        return m_blocks[m_rowBlocks * std::size_t(index - m_first)].v;
    }

private:
    std::size_t m_rowBlocks;
    int m_capacity;
    Blocks m_blocks;
    int m_first;
    int m_count = 0;
};

// Largest h <= maxHalvings with 2^h at most half the reduction
// factor sourceSize / targetSize, so the filter keeps two sums of support.
int halvingsFor(int sourceSize, int targetSize, int maxHalvings)
{
    int h = 0;
    while (h < maxHalvings && (std::int64_t(4) << h) * targetSize <= sourceSize)
        ++h;
    return h;
}

} // namespace

ResampleAxis makeResampleAxis(int sourceSize, int targetSize, int maxHalvings)
{
    ResampleAxis axis;
    axis.halvings = halvingsFor(sourceSize, targetSize, maxHalvings);
    const int run = 1 << axis.halvings;
    const int samples = (sourceSize + run - 1) / run; // the sums the filter reads
    const double scale = double(sourceSize) / targetSize / run;
    double support = std::max(1.0, scale); // filter radius in samples
    if (run > 1) {
        // The runs widen the filter; a triangle narrowed to the same spread
        // (variance) in all keeps the result closest to the plain one.
        const double plain = double(sourceSize) / targetSize;
        support = std::sqrt(plain * plain - (double(run) * run - 1) / 2) / run;
    }
    const auto centreOf = [&](int i) { return (i + 0.5) * scale - 0.5; };
    // Samples j with |j - centre| < support have a weight; edges repeat.
    const auto firstOf = [&](int i) {
        return std::clamp(int(std::floor(centreOf(i) - support)) + 1, 0, samples - 1);
    };
    const auto lastOf = [&](int i) {
        return std::clamp(int(std::ceil(centreOf(i) + support)) - 1, 0, samples - 1);
    };

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
        const int start = std::min(firstOf(i), samples - window);
        axis.start[i] = start;

        std::fill(raw.begin(), raw.end(), 0.0);
        double total = 0;
        for (int j = first; j <= last; ++j) {
            const double w = 1.0 - std::abs(j - centre) / support;
            if (w <= 0)
                continue;
            const int sample = std::clamp(j, 0, samples - 1); // edges repeat
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

// --- MultiResampler ---------------------------------------------------------

namespace {

// One size being made: its tables, the rows its vertical pass still needs
// and the picture filled in row by row.
class Target
{
public:
    Target(QSize source, QSize size)
        : m_across(makeResampleAxis(source.width(), size.width(), kResampleMaxHalvingsAcross))
        , m_down(makeResampleAxis(source.height(), size.height(), kResampleMaxHalvingsDown))
        , m_table(makeAcrossTable(m_across, m_across.halvings + m_down.halvings))
        , m_window(size.width(), m_down.taps)
        , m_image(size, QImage::Format_RGB32)
        , m_width(size.width())
        , m_endOutput(size.height())
    {
        if (!m_image.isNull()) {
            m_bits = m_image.bits();
            m_bytesPerLine = m_image.bytesPerLine();
        }
    }

    // Makes only output rows [first, end), into `bits`; the rows of sums
    // then start at the first that row reads (see firstSourceRow).
    Target(QSize source, QSize size, int first, int end, uchar *bits, qsizetype bytesPerLine)
        : m_across(makeResampleAxis(source.width(), size.width(), kResampleMaxHalvingsAcross))
        , m_down(makeResampleAxis(source.height(), size.height(), kResampleMaxHalvingsDown))
        , m_table(makeAcrossTable(m_across, m_across.halvings + m_down.halvings))
        , m_window(size.width(), m_down.taps, m_down.start[first])
        , m_bits(bits)
        , m_bytesPerLine(bytesPerLine)
        , m_width(size.width())
        , m_nextOutput(first)
        , m_endOutput(end)
    {
    }

    int across() const { return 1 << m_across.halvings; } // source pixels summed across
    int level() const { return m_down.halvings; }         // rows summed: 2^level
    int firstSourceRow() const { return m_down.start[m_nextOutput] << level(); }
    // One past the last source row the rows still to make read.
    int endSourceRow() const
    {
        return (m_down.start[m_endOutput - 1] + m_down.taps) << level();
    }
    bool failed() const { return m_bits == nullptr; }
    bool complete() const { return m_nextOutput == m_endOutput; }
    QImage take() { return std::exchange(m_image, QImage()); }

    // The next row of sums, in blocks.
    void addRow(const Block *blocks)
    {
        if (complete() || failed())
            return; // rows below the last window
        filterAcross(blocks, m_table, m_window.append(m_down.start[m_nextOutput]));
        while (m_nextOutput < m_endOutput && m_down.start[m_nextOutput] + m_down.taps <= m_window.end()) {
            const int y = m_nextOutput++;
            filterDown(m_window.row(m_down.start[y]), m_window.rowValues(),
                       &m_down.weights[std::size_t(y) * m_down.taps], m_down.taps, m_width,
                       reinterpret_cast<std::uint32_t *>(m_bits + m_bytesPerLine * y));
        }
    }

private:
    ResampleAxis m_across;
    ResampleAxis m_down;
    AcrossTable m_table;
    RowWindow m_window;
    QImage m_image; // when the target makes a picture of its own
    uchar *m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    int m_width;
    int m_nextOutput = 0;
    int m_endOutput;
};

// The rows of sums for the targets that sum `across` pixels across: level m
// holds sums of 2^m rows. Each level hands its rows to the targets that read
// it and, in pairs, to the level above; an odd last row is paired with
// itself.
struct Pyramid
{
    int across = 1;
    int topLevel = 0;
    bool levelZeroRead = false; // else rows come in summed in pairs
    int rowBlocks = 0;
    std::vector<Target *> targets;
    std::vector<Blocks> waiting; // per level, a row waiting for its partner
    std::vector<char> hasWaiting;
    std::vector<Blocks> made; // per level, the row just made

    Pyramid(int sourceWidth, int runAcross, std::vector<Target *> readers)
        : across(runAcross)
        , targets(std::move(readers))
    {
        int lowest = kResampleMaxHalvingsDown;
        for (const Target *t : targets) {
            topLevel = std::max(topLevel, t->level());
            lowest = std::min(lowest, t->level());
        }
        levelZeroRead = lowest == 0;
        // One block more than the samples need: the horizontal pass may read
        // a block past the last sample, with zero weights.
        rowBlocks = ((sourceWidth + across - 1) / across + 1) / 2 + 1;
        waiting.assign(std::size_t(topLevel) + 1, Blocks(std::size_t(rowBlocks)));
        made.assign(std::size_t(topLevel) + 1, Blocks(std::size_t(rowBlocks)));
        hasWaiting.assign(std::size_t(topLevel) + 1, 0);
    }

    // made[level] holds a new row.
    void deliver(int level)
    {
        for (Target *target : targets)
            if (target->level() == level)
                target->addRow(made[level].data());
        if (level == topLevel)
            return;
        if (hasWaiting[level]) {
            addBlocks(waiting[level].data(), made[level].data(), rowBlocks, made[level + 1].data());
            hasWaiting[level] = false;
            deliver(level + 1);
        } else {
            std::swap(waiting[level], made[level]); // the made row is written anew next time
            hasWaiting[level] = true;
        }
    }

    // One source row, or (when level zero is not read) the sum of two.
    void addSourceRows(const std::uint32_t *a, const std::uint32_t *b, int width,
                       const std::uint32_t *const ahead[2])
    {
        const int level = b ? 1 : 0;
        makeBlocks(a, b, width, across, ahead, made[level].data());
        deliver(level);
    }

    void flush()
    {
        for (int level = 0; level < topLevel; ++level) {
            if (hasWaiting[level]) {
                addBlocks(waiting[level].data(), waiting[level].data(), rowBlocks, made[level + 1].data());
                hasWaiting[level] = false;
                deliver(level + 1);
            }
        }
    }
};

} // namespace

struct MultiResampler::State
{
    QSize source;
    std::size_t targetCount = 0;
    std::vector<std::unique_ptr<Target>> targets; // null for a size that cannot be made
    std::vector<Pyramid> pyramids;                 // one per run length across in use
    bool anySummedInPairs = false;
    int rowsIn = 0;
    // A source row waiting for the row below it, for the pyramids that take
    // rows summed in pairs.
    std::vector<std::uint32_t> waitingRow;
    bool rowWaiting = false;
    bool failed = false;
    bool finished = false;

    // Rows a and b (b after a, or null), with the rows after them for the
    // processor to fetch ahead.
    void addSourceRows(const std::uint32_t *a, const std::uint32_t *b, const std::uint32_t *const ahead[2])
    {
        const int width = source.width();
        for (Pyramid &pyramid : pyramids) {
            if (pyramid.levelZeroRead) {
                pyramid.addSourceRows(a, nullptr, width, ahead);
                if (b)
                    pyramid.addSourceRows(b, nullptr, width, ahead);
            } else if (b) {
                pyramid.addSourceRows(a, b, width, ahead);
            }
        }
    }
};

MultiResampler::MultiResampler(QSize source, std::vector<QSize> targets)
{
    try {
        m_state = std::make_unique<State>();
        State &s = *m_state;
        s.source = source;
        s.targetCount = targets.size();
        s.targets.resize(targets.size());
        if (source.isEmpty()) {
            s.failed = true;
            return;
        }
        for (std::size_t i = 0; i < targets.size(); ++i) {
            if (targets[i].width() < 1 || targets[i].height() < 1)
                continue;
            try {
                s.targets[i] = std::make_unique<Target>(source, targets[i]);
            } catch (const std::bad_alloc &) {
                continue; // that size alone comes out null
            }
        }
        for (const int across : {1, 2}) {
            std::vector<Target *> readers;
            for (const auto &target : s.targets)
                if (target && !target->failed() && target->across() == across)
                    readers.push_back(target.get());
            if (!readers.empty()) {
                s.pyramids.emplace_back(source.width(), across, std::move(readers));
                s.anySummedInPairs = s.anySummedInPairs || !s.pyramids.back().levelZeroRead;
            }
        }
        if (s.anySummedInPairs)
            s.waitingRow.resize(std::size_t(source.width()));
    } catch (const std::bad_alloc &) {
        if (m_state)
            m_state->failed = true;
    }
}

MultiResampler::~MultiResampler() = default;

void MultiResampler::addRows(const std::uint32_t *rows, qsizetype stride, int count)
{
    if (!m_state || m_state->failed || m_state->finished || count <= 0)
        return;
    State &s = *m_state;
    count = std::min(count, s.source.height() - s.rowsIn);
    const auto rowAt = [&](int i) -> const std::uint32_t * {
        if (i >= count)
            return nullptr;
        return reinterpret_cast<const std::uint32_t *>(reinterpret_cast<const char *>(rows) + stride * i);
    };
    // Rows go in two at a time, so that rows summed in pairs are always rows
    // 2k and 2k + 1 of the picture, however the rows are batched.
    int i = 0;
    if (s.rowWaiting && count > 0) {
        const std::uint32_t *const ahead[2] = {rowAt(1), rowAt(2)};
        for (Pyramid &pyramid : s.pyramids) {
            if (pyramid.levelZeroRead)
                pyramid.addSourceRows(rowAt(0), nullptr, s.source.width(), ahead);
            else
                pyramid.addSourceRows(s.waitingRow.data(), rowAt(0), s.source.width(), ahead);
        }
        s.rowWaiting = false;
        i = 1;
    }
    for (; i + 1 < count; i += 2) {
        const std::uint32_t *const ahead[2] = {rowAt(i + 2), rowAt(i + 3)};
        s.addSourceRows(rowAt(i), rowAt(i + 1), ahead);
    }
    if (i < count) {
        const std::uint32_t *const ahead[2] = {nullptr, nullptr};
        s.addSourceRows(rowAt(i), nullptr, ahead);
        if (s.anySummedInPairs) {
            std::copy_n(rowAt(i), s.source.width(), s.waitingRow.data());
            s.rowWaiting = true;
        }
    }
    s.rowsIn += count;
}

std::vector<QImage> MultiResampler::finish()
{
    std::vector<QImage> images(m_state ? m_state->targetCount : 0);
    if (!m_state || m_state->failed || m_state->finished)
        return images;
    State &s = *m_state;
    s.finished = true;
    if (s.rowsIn < s.source.height())
        return images;
    // An odd last source row is paired with itself, then each level's.
    const std::uint32_t *const ahead[2] = {nullptr, nullptr};
    for (Pyramid &pyramid : s.pyramids) {
        if (s.rowWaiting && !pyramid.levelZeroRead)
            pyramid.addSourceRows(s.waitingRow.data(), s.waitingRow.data(), s.source.width(), ahead);
        pyramid.flush();
    }
    for (std::size_t i = 0; i < s.targets.size(); ++i)
        if (s.targets[i] && !s.targets[i]->failed() && s.targets[i]->complete())
            images[i] = s.targets[i]->take();
    s.pyramids.clear();
    s.targets.clear();
    return images;
}

namespace {

// Output rows [first, end) of `picture` resampled to `size`, written into
// `bits`. The rows of sums begin at a source row that is a multiple of the
// run summed, so they are those a MultiResampler makes for the whole picture
// and the rows come out the same.
bool resampleBand(const QImage &picture, QSize size, int first, int end, uchar *bits,
                  qsizetype bytesPerLine)
{
    try {
        Target target(picture.size(), size, first, end, bits, bytesPerLine);
        Pyramid pyramid(picture.width(), target.across(), {&target});
        const int height = picture.height();
        const int last = std::min(height, target.endSourceRow());
        const auto rowAt = [&](int y) -> const std::uint32_t * {
            return y < last ? reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y)) : nullptr;
        };
        for (int y = target.firstSourceRow(); y < last;) {
            const std::uint32_t *const ahead[2] = {rowAt(y + 2), rowAt(y + 3)};
            if (pyramid.levelZeroRead) {
                pyramid.addSourceRows(rowAt(y), nullptr, picture.width(), ahead);
                y += 1;
            } else {
                // An odd last row of the picture is paired with itself.
                const std::uint32_t *below = y + 1 < height ? rowAt(y + 1) : rowAt(y);
                pyramid.addSourceRows(rowAt(y), below, picture.width(), ahead);
                y += 2;
            }
        }
        if (last == height)
            pyramid.flush();
        return target.complete();
    } catch (const std::bad_alloc &) {
        return false;
    }
}

} // namespace

QImage resampleImage(const QImage &picture, int width, int height)
{
    if (picture.isNull() || width < 1 || height < 1)
        return {};
    QImage source = picture;
    if (source.format() != QImage::Format_RGB32 && source.format() != QImage::Format_ARGB32)
        source = source.convertToFormat(QImage::Format_RGB32);
    if (source.width() == width && source.height() == height)
        return source;

    // A large picture is made in two bands of rows at once, one on a thread
    // of its own; each band reads the source rows it needs.
    if (qint64(source.width()) * source.height() >= kBandedPixels && height >= 2
        && std::thread::hardware_concurrency() >= 2) {
        QImage result(width, height, QImage::Format_RGB32);
        if (result.isNull())
            return {};
        uchar *bits = result.bits();
        const qsizetype bytesPerLine = result.bytesPerLine();
        const int split = height / 2;
        bool topDone = false;
        bool bottomDone = false;
        try {
            std::thread top(
                [&] { topDone = resampleBand(source, result.size(), 0, split, bits, bytesPerLine); });
            bottomDone = resampleBand(source, result.size(), split, height, bits, bytesPerLine);
            top.join();
        } catch (const std::system_error &) { // no thread to be had: one band after the other
            topDone = resampleBand(source, result.size(), 0, split, bits, bytesPerLine);
            bottomDone = resampleBand(source, result.size(), split, height, bits, bytesPerLine);
        }
        if (!topDone || !bottomDone)
            return {};
        if (source.format() == QImage::Format_ARGB32)
            result.reinterpretAsFormat(QImage::Format_ARGB32);
        return result;
    }

    MultiResampler resampler(source.size(), {QSize(width, height)});
    resampler.addRows(reinterpret_cast<const std::uint32_t *>(source.constBits()), source.bytesPerLine(),
                      source.height());
    QImage result = std::move(resampler.finish().front());
    // Every channel is resampled alike, so alpha comes through as it went in.
    if (!result.isNull() && source.format() == QImage::Format_ARGB32)
        result.reinterpretAsFormat(QImage::Format_ARGB32);
    return result;
}

} // namespace velloran
