#pragma once

// Resampling of 32-bit pixels (four 8-bit channels, treated alike) to an
// exact size with a triangle filter whose support widens with the reduction
// factor: bilinear when enlarging, an area-weighted average when reducing,
// so a 10x shrink does not alias. Weights are 14-bit fixed point and sum to
// exactly 1 << 14, so a single-colour picture keeps its colour exactly, and
// the results are the same on every run and every machine.
//
// Rows are taken top to bottom. When a picture is reduced to a quarter of its
// height or less, runs of 2, 4, 8 ... rows (at most 64) are first added up
// exactly (a box filter), leaving the triangle filter at least two sums of
// support, narrowed so that box and triangle together spread as far as the
// plain triangle would; the same is done across with runs of two pixels.
// The horizontal pass then filters each row of sums to the target width,
// keeping 4 fractional bits; the vertical pass mixes those rows and rounds to
// 8 bits. Only the rows the vertical pass still needs are kept,
// so memory stays small whatever the picture's size, and the picture need
// never be whole in memory.

#include <QImage>
#include <QSize>

#include <cstdint>
#include <memory>
#include <vector>

namespace velloran {

// Coefficient table for one axis: output i is the weighted sum of `taps`
// consecutive input samples starting at start[i], with weights
// weights[i * taps .. i * taps + taps - 1]. Edge samples are repeated, so
// every window lies inside the input; `taps` is the widest run of non-zero
// weights, so little of the table is padding.
//
// With `halvings` h > 0 the input samples are first summed in runs of 2^h:
// h times, each pair of neighbours is added, an odd last sample being
// added to itself. The table then indexes those sums, ceil(size / 2^h) of
// them, and the filter is centred on where they lie in the picture.
struct ResampleAxis
{
    int taps = 0;
    int halvings = 0;
    std::vector<int> start;
    std::vector<std::int16_t> weights;
};

inline constexpr int kResampleWeightBits = 14;
// Fractional bits kept between the horizontal and the vertical pass.
inline constexpr int kResampleIntermediateBits = 4;
// The longest runs summed before filtering: 1 << these, down and across.
inline constexpr int kResampleMaxHalvingsDown = 6;
inline constexpr int kResampleMaxHalvingsAcross = 1;

// The table for sourceSize samples to targetSize. When the reduction is at
// least fourfold, runs of samples are summed first (see
// ResampleAxis::halvings), up to maxHalvings times: the largest run that
// leaves the filter two sums of support.
ResampleAxis makeResampleAxis(int sourceSize, int targetSize, int maxHalvings = 0);

// The picture resampled to exactly width x height (both at least 1), in the
// picture's own 32-bit format (RGB32 or ARGB32; other formats are converted
// to RGB32 first). The same pixels as a MultiResampler gives for that size.
QImage resampleImage(const QImage &picture, int width, int height);

// Resamples one picture to several sizes at once from its rows, given top to
// bottom in any batches; keeps only the rows still needed.
class MultiResampler
{
public:
    // source: the picture's size; targets: the sizes to make (each at least 1 x 1).
    MultiResampler(QSize source, std::vector<QSize> targets);
    ~MultiResampler();
    // The next `count` rows (RGB32 pixels, 0xffRRGGBB), `stride` bytes apart.
    void addRows(const std::uint32_t *rows, qsizetype stride, int count);
    // Once every row is in: the pictures, Format_RGB32, in the order of targets
    // (null images if memory ran out).
    std::vector<QImage> finish();

    // Rows past the picture's height are ignored. A target smaller than
    // 1 x 1, a finish before every row is in, or a second finish gives null
    // images. All four channels are resampled alike, so rows with other
    // alpha values are resampled too (resampleImage uses that for ARGB32).

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace velloran
