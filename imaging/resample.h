#pragma once

// Resampling of 32-bit pixels (four 8-bit channels, treated alike) to an
// exact size with a triangle filter whose support widens with the reduction
// factor: bilinear when enlarging, an area-weighted average when reducing,
// so a 10x shrink does not alias. Weights are 14-bit fixed point and sum to
// exactly 1 << 14, so a single-colour picture keeps its colour exactly, and
// the results are the same on every run and every machine.

#include <QImage>

#include <cstdint>
#include <vector>

namespace velloran {

// Coefficient table for one axis: output i is the weighted sum of `taps`
// consecutive input samples starting at start[i], with weights
// weights[i * taps .. i * taps + taps - 1]. Edge samples are repeated, so
// every window lies inside the input.
struct ResampleAxis
{
    int taps = 0;
    std::vector<int> start;
    std::vector<std::int16_t> weights;
};

inline constexpr int kResampleWeightBits = 14;

ResampleAxis makeResampleAxis(int sourceSize, int targetSize);

// One output row from one input row, across the horizontal axis.
void resampleRowHorizontal(const std::uint32_t *source, std::uint32_t *target,
                           const ResampleAxis &axis);

// One output row as the weighted sum of `taps` input rows of `width` pixels.
void resampleRowVertical(const std::uint32_t *const *sourceRows, const std::int16_t *weights,
                         int taps, std::uint32_t *target, int width);

// The picture resampled to exactly width x height (both at least 1), in the
// picture's own 32-bit format (RGB32 or ARGB32; other formats are converted
// to RGB32 first).
QImage resampleImage(const QImage &picture, int width, int height);

} // namespace velloran
