#pragma once

// The resampling filter in double precision, for the kernel model tests and
// the benchmark's quality figures: runs of 2^h samples summed as the
// resampler sums them, then a triangle over those sums (with h = 0, the
// plain triangle filter), separable, edges repeated.

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace velloran::bench {

// Runs of 2^halvings samples summed as the resampler sums them: each pair of
// neighbours added, an odd last sample added to itself, `halvings` times.
// For each sum, the samples it adds (a sample may come more than once).
inline std::vector<std::vector<int>> runsOf(int size, int halvings)
{
    std::vector<std::vector<int>> runs(size);
    for (int i = 0; i < size; ++i)
        runs[i] = {i};
    for (int h = 0; h < halvings; ++h) {
        std::vector<std::vector<int>> next((runs.size() + 1) / 2);
        for (std::size_t j = 0; j < next.size(); ++j) {
            next[j] = runs[2 * j];
            const auto &second = runs[std::min(2 * j + 1, runs.size() - 1)];
            next[j].insert(next[j].end(), second.begin(), second.end());
        }
        runs = std::move(next);
    }
    return runs;
}

// The normalised weights of output sample i on the source samples, as
// (source sample, weight) pairs: a plain triangle filter, or (with
// halvings) runs of 2^halvings samples averaged, then a triangle over those
// averages narrowed so that both together spread as far as the plain one.
inline std::vector<std::pair<int, double>> triangleWeights(int sourceSize, int targetSize, int i,
                                                           int halvings = 0)
{
    const int run = 1 << halvings;
    const auto runs = runsOf(sourceSize, halvings);
    const double plain = double(sourceSize) / targetSize;
    const double scale = plain / run;
    const double support = run > 1 ? std::sqrt(plain * plain - (double(run) * run - 1) / 2) / run
                                   : std::max(1.0, scale);
    const double centre = (i + 0.5) * scale - 0.5;
    std::vector<std::pair<int, double>> weights;
    double total = 0;
    for (int j = int(std::floor(centre - support)); j <= int(std::ceil(centre + support)); ++j) {
        const double w = std::max(0.0, 1.0 - std::abs(j - centre) / support);
        for (const int sample : runs[std::clamp(j, 0, int(runs.size()) - 1)])
            weights.emplace_back(sample, w / run);
        total += w;
    }
    for (auto &[sample, w] : weights)
        w /= total;
    return weights;
}

// The picture filtered to width x height in doubles: value c of pixel (x, y)
// (channel c = bits 8c..8c+7 of the pixel) at [(y * width + x) * 4 + c].
inline std::vector<double> filterInDoubles(const QImage &source, int width, int height,
                                           int halvingsAcross = 0, int halvingsDown = 0)
{
    const int sw = source.width(), sh = source.height();
    std::vector<double> narrowed(std::size_t(width) * sh * 4);
    for (int x = 0; x < width; ++x) {
        for (const auto &[s, w] : triangleWeights(sw, width, x, halvingsAcross)) {
            for (int y = 0; y < sh; ++y) {
                const auto pixel = reinterpret_cast<const std::uint32_t *>(source.constScanLine(y))[s];
                for (int c = 0; c < 4; ++c)
                    narrowed[(std::size_t(y) * width + x) * 4 + c] += w * double(pixel >> (8 * c) & 0xFF);
            }
        }
    }
    std::vector<double> result(std::size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (const auto &[s, w] : triangleWeights(sh, height, y, halvingsDown))
            for (std::size_t i = 0; i < std::size_t(width) * 4; ++i)
                result[std::size_t(y) * width * 4 + i] += w * narrowed[std::size_t(s) * width * 4 + i];
    return result;
}

} // namespace velloran::bench
