// The vectorised pixel kernels against plain models of what they compute:
// resampling against the coefficient tables applied one channel at a time
// and against the triangle filter in floating point, row tinting against the
// colour model pixel by pixel, merging against the per-pixel rule, and the
// paths that write new pixels for shared pictures against those that work
// in place.
#include "imaging/imagesurface.h"
#include "imaging/merge.h"
#include "imaging/resample.h"
#include "imaging/tint.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

using namespace velloran;

namespace {

QImage randomPicture(int width, int height, QImage::Format format, quint32 seed)
{
    QImage image(width, height, format);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = format == QImage::Format_RGB32 ? random.generate() | 0xFF000000u : random.generate();
    }
    return image;
}

int channel(quint32 pixel, int c)
{
    return int(pixel >> (8 * c) & 0xFF);
}

// The two passes written out plainly from the coefficient tables: a whole
// intermediate picture, one pixel and one channel at a time.
QImage plainResample(const QImage &source, int width, int height)
{
    const ResampleAxis across = makeResampleAxis(source.width(), width);
    const ResampleAxis down = makeResampleAxis(source.height(), height);
    const auto mix = [](const ResampleAxis &axis, int i, auto sampleAt) {
        quint32 pixel = 0;
        for (int c = 0; c < 4; ++c) {
            int sum = 1 << (kResampleWeightBits - 1);
            for (int k = 0; k < axis.taps; ++k)
                sum += axis.weights[std::size_t(i) * axis.taps + k] * channel(sampleAt(axis.start[i] + k), c);
            pixel |= quint32(sum >> kResampleWeightBits) << (8 * c);
        }
        return pixel;
    };
    std::vector<quint32> narrowed(std::size_t(width) * source.height());
    for (int y = 0; y < source.height(); ++y) {
        const auto *row = reinterpret_cast<const quint32 *>(source.constScanLine(y));
        for (int x = 0; x < width; ++x)
            narrowed[std::size_t(y) * width + x] = mix(across, x, [&](int s) { return row[s]; });
    }
    QImage result(width, height, source.format());
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(result.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = mix(down, y, [&](int s) { return narrowed[std::size_t(s) * width + x]; });
    }
    return result;
}

// The normalised triangle weights of one output sample, as (source sample,
// weight) pairs; edges repeat.
std::vector<std::pair<int, double>> triangleWeights(int sourceSize, int targetSize, int i)
{
    const double scale = double(sourceSize) / targetSize;
    const double support = std::max(1.0, scale);
    const double centre = (i + 0.5) * scale - 0.5;
    std::vector<std::pair<int, double>> weights;
    double total = 0;
    for (int j = int(std::floor(centre - support)); j <= int(std::ceil(centre + support)); ++j) {
        const double w = std::max(0.0, 1.0 - std::abs(j - centre) / support);
        weights.emplace_back(std::clamp(j, 0, sourceSize - 1), w);
        total += w;
    }
    for (auto &[sample, w] : weights)
        w /= total;
    return weights;
}

struct ResampleCase
{
    QSize from, to;
    QImage::Format format;
};

class ResampleModels : public ::testing::TestWithParam<ResampleCase>
{
};

// Widths and heights around the four-pixel groups and four-row steps of the
// kernels, enlargements, mild and strong reductions, with and without alpha.
INSTANTIATE_TEST_SUITE_P(
    Sizes, ResampleModels,
    ::testing::Values(ResampleCase{{1, 1}, {5, 3}, QImage::Format_RGB32},
                      ResampleCase{{3, 2}, {1, 1}, QImage::Format_ARGB32},
                      ResampleCase{{7, 5}, {13, 11}, QImage::Format_RGB32},
                      ResampleCase{{16, 4}, {4, 16}, QImage::Format_ARGB32},
                      ResampleCase{{17, 3}, {6, 9}, QImage::Format_RGB32},
                      ResampleCase{{250, 190}, {199, 173}, QImage::Format_ARGB32},
                      ResampleCase{{401, 333}, {97, 45}, QImage::Format_RGB32},
                      ResampleCase{{1000, 41}, {31, 7}, QImage::Format_RGB32},
                      ResampleCase{{33, 900}, {5, 30}, QImage::Format_ARGB32},
                      ResampleCase{{120, 80}, {310, 105}, QImage::Format_RGB32}),
    [](const auto &info) {
        const ResampleCase &c = info.param;
        return std::to_string(c.from.width()) + "x" + std::to_string(c.from.height()) + "_to_"
               + std::to_string(c.to.width()) + "x" + std::to_string(c.to.height())
               + (c.format == QImage::Format_ARGB32 ? "_alpha" : "");
    });

TEST_P(ResampleModels, MatchTheTablesAppliedOnePixelAtATime)
{
    const ResampleCase &c = GetParam();
    const QImage source = randomPicture(c.from.width(), c.from.height(), c.format, 17);
    const QImage fast = resampleImage(source, c.to.width(), c.to.height());
    ASSERT_EQ(fast.format(), c.format);
    EXPECT_EQ(fast, plainResample(source, c.to.width(), c.to.height()));
}

// The fixed-point passes stay within their rounding of the filter they stand
// for, so the tables have the right centres, widths and edges.
TEST_P(ResampleModels, FollowTheTriangleFilterToWithinRounding)
{
    const ResampleCase &c = GetParam();
    const QImage source = randomPicture(c.from.width(), c.from.height(), c.format, 23);
    const QImage fast = resampleImage(source, c.to.width(), c.to.height());
    const int sw = source.width(), sh = source.height(), tw = c.to.width(), th = c.to.height();

    std::vector<double> narrowed(std::size_t(tw) * sh * 4);
    for (int x = 0; x < tw; ++x) {
        for (const auto &[s, w] : triangleWeights(sw, tw, x))
            for (int y = 0; y < sh; ++y)
                for (int ch = 0; ch < 4; ++ch)
                    narrowed[(std::size_t(y) * tw + x) * 4 + ch] += w * channel(source.pixel(s, y), ch);
    }
    double worst = 0;
    for (int y = 0; y < th; ++y) {
        const auto weights = triangleWeights(sh, th, y);
        for (int x = 0; x < tw; ++x) {
            for (int ch = 0; ch < 4; ++ch) {
                double ideal = 0;
                for (const auto &[s, w] : weights)
                    ideal += w * narrowed[(std::size_t(s) * tw + x) * 4 + ch];
                worst = std::max(worst, std::abs(channel(fast.pixel(x, y), ch) - ideal));
            }
        }
    }
    // Two roundings to 8 bits and 14-bit weights: well under 2 levels.
    EXPECT_LT(worst, 1.75);
}

// Rows of runs of every length from 1 to 19 (crossing the eight-pixel blocks
// the tinter skips through), neighbouring runs of one colour with different
// alpha, and a few random colours.
std::vector<std::uint32_t> rowOfRuns()
{
    QRandomGenerator random(3);
    const std::uint32_t palette[] = {0x00FF00FFu, 0xFFFF00FFu, 0xFF202060u, 0x80202060u, 0xFFFFFFFFu};
    std::vector<std::uint32_t> row;
    for (int length = 1; length < 20; ++length) {
        for (const std::uint32_t colour : palette)
            row.insert(row.end(), std::size_t(length), colour);
        row.push_back(random.generate());
    }
    return row;
}

TEST(TintRows, RunsOfAnyLengthMatchTheColourModelInPlaceOrNot)
{
    const std::vector<std::uint32_t> row = rowOfRuns();
    const HslAdjustment adjustment{41, -35, 18};
    for (const int width : {0, 1, 7, 8, 9, 16, 17, 63, int(row.size())}) {
        std::vector<std::uint32_t> expected(row.begin(), row.begin() + width);
        for (std::uint32_t &pixel : expected)
            pixel = adjustHsl(pixel, adjustment);

        HslTinter tinter(adjustment);
        std::vector<std::uint32_t> out(width + 1, 0xDEADBEEFu); // one guard pixel
        tinter.tintRow(row.data(), out.data(), width);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin())) << width;
        EXPECT_EQ(out[width], 0xDEADBEEFu) << width;

        std::vector<std::uint32_t> inPlace(row.begin(), row.begin() + width);
        tinter.tintRow(inPlace.data(), inPlace.data(), width);
        EXPECT_EQ(inPlace, expected) << width;
    }
}

TEST(MergeRows, ChooseEveryPixelByTheRuleAtAnyWidthInPlaceOrNot)
{
    QRandomGenerator random(9);
    const std::uint32_t key = 0x00FF00FFu;
    for (int width = 0; width <= 33; ++width) {
        std::vector<std::uint32_t> under(width), drawn(width);
        for (int x = 0; x < width; ++x) {
            under[x] = random.generate();
            // Key-coloured, masked out, or drawn, with any alpha.
            const std::uint32_t kinds[] = {key | random.generate() << 24, random.generate() & 0x7FFFFFFFu,
                                           random.generate() | 0x80000000u};
            drawn[x] = kinds[random.bounded(3)];
        }
        std::vector<std::uint32_t> masked(width), keyed(width);
        for (int x = 0; x < width; ++x) {
            masked[x] = drawn[x] >= 0x80000000u ? drawn[x] | 0xFF000000u : under[x];
            keyed[x] = (drawn[x] & 0x00FFFFFFu) != key ? drawn[x] | 0xFF000000u : under[x];
        }

        std::vector<std::uint32_t> out(width);
        mergeRowMasked(under.data(), drawn.data(), out.data(), width);
        EXPECT_EQ(out, masked) << width;
        mergeRowKeyed(under.data(), drawn.data(), out.data(), width, key);
        EXPECT_EQ(out, keyed) << width;

        std::vector<std::uint32_t> inPlace = under;
        mergeRowMasked(inPlace.data(), drawn.data(), inPlace.data(), width);
        EXPECT_EQ(inPlace, masked) << width;
        inPlace = under;
        mergeRowKeyed(inPlace.data(), drawn.data(), inPlace.data(), width, key);
        EXPECT_EQ(inPlace, keyed) << width;
    }
}

// A target that shares its pixels (a fitted picture just put on a surface)
// gets new ones; its other holder keeps the old pixels, and the result is
// what merging into a picture of its own gives.
TEST(SharedPictures, MergingIntoASharedTargetLeavesItsOtherHolderAlone)
{
    const QImage fitted = randomPicture(41, 23, QImage::Format_RGB32, 5);
    const QImage before = fitted.copy();
    const QImage drawnSameSize = randomPicture(41, 23, QImage::Format_ARGB32, 6);
    const QImage drawnTaller = randomPicture(41, 30, QImage::Format_ARGB32, 7);
    const QImage drawnKeyed = randomPicture(41, 23, QImage::Format_RGB32, 8);
    for (const QImage *drawn : {&drawnSameSize, &drawnTaller, &drawnKeyed}) {
        QImage shared = fitted;
        QImage own = fitted.copy();
        mergePicture(shared, *drawn, qRgb(255, 0, 255));
        mergePicture(own, *drawn, qRgb(255, 0, 255));
        EXPECT_EQ(shared, own);
        EXPECT_NE(shared, before);
        EXPECT_EQ(fitted, before);
    }
}

TEST(SharedPictures, TintingASharedPictureOnASurfaceEqualsTintingItsOwnCopy)
{
    const QImage overlay = randomPicture(37, 19, QImage::Format_ARGB32, 11);
    const QImage before = overlay.copy();
    ImageSurface shared, own;
    shared.SetPicture(overlay);
    own.SetPicture(overlay.copy());
    shared.AdjustHsl(-60, 25, 10);
    own.AdjustHsl(-60, 25, 10);
    EXPECT_EQ(shared.image(), own.image());
    EXPECT_NE(shared.image(), before);
    EXPECT_EQ(overlay, before);
}

} // namespace
