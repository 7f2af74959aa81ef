#pragma once

// Resampling of 32-bit pixels (four 8-bit channels, treated alike) to an
// exact size with a triangle filter whose support widens with the reduction
// factor: bilinear when enlarging, an area-weighted average when reducing,
// so a 10x shrink does not alias. Weights are 14-bit fixed point and sum to
// exactly 1 << 14, so a single-colour picture keeps its colour exactly, and
// the results are the same on every run and every machine.
//
// The horizontal pass runs first and its rows are rounded to 8 bits; the
// vertical pass then mixes those rows. Only the few rows the vertical pass
// still needs are kept, so memory stays small whatever the picture's size.

#include <QImage>

#include <cstdint>
#include <vector>

namespace velloran {

// Coefficient table for one axis: output i is the weighted sum of `taps`
// consecutive input samples starting at start[i], with weights
// weights[i * taps .. i * taps + taps - 1]. Edge samples are repeated, so
// every window lies inside the input; `taps` is the widest run of non-zero
// weights, so little of the table is padding.
struct ResampleAxis
{
    int taps = 0;
    std::vector<int> start;
    std::vector<std::int16_t> weights;
};

inline constexpr int kResampleWeightBits = 14;

ResampleAxis makeResampleAxis(int sourceSize, int targetSize);

// The picture resampled to exactly width x height (both at least 1), in the
// picture's own 32-bit format (RGB32 or ARGB32; other formats are converted
// to RGB32 first).
QImage resampleImage(const QImage &picture, int width, int height);

} // namespace velloran
