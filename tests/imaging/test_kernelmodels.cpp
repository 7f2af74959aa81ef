// The vectorised pixel kernels against plain models of what they compute:
// resampling against the coefficient tables applied one channel at a time
// and against its filter (summed runs, then a triangle) in floating point, row tinting against the
// colour model pixel by pixel, merging against the per-pixel rule, and the
// paths that write new pixels for shared pictures against those that work
// in place.
#include "bench/resamplefilter.h"
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

// The two passes written out plainly from the coefficient tables: the
// summed runs, then a whole intermediate picture with 4 fractional bits, one
// pixel and one channel at a time.
QImage plainResample(const QImage &source, int width, int height)
{
    const ResampleAxis across = makeResampleAxis(source.width(), width, kResampleMaxHalvingsAcross);
    const ResampleAxis down = makeResampleAxis(source.height(), height, kResampleMaxHalvingsDown);
    const auto runsAcross = bench::runsOf(source.width(), across.halvings);
    const auto runsDown = bench::runsOf(source.height(), down.halvings);
    const int acrossShift = kResampleWeightBits - kResampleIntermediateBits + across.halvings + down.halvings;
    const int downShift = kResampleWeightBits + kResampleIntermediateBits;

    // narrowed[(row of sums * width + x) * 4 + channel]
    std::vector<int> narrowed(runsDown.size() * std::size_t(width) * 4);
    for (std::size_t r = 0; r < runsDown.size(); ++r) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 4; ++c) {
                int sum = 1 << (acrossShift - 1);
                for (int k = 0; k < across.taps; ++k) {
                    int sample = 0;
                    for (const int sy : runsDown[r])
                        for (const int sx : runsAcross[across.start[x] + k])
                            sample += channel(source.pixel(sx, sy), c);
                    sum += across.weights[std::size_t(x) * across.taps + k] * sample;
                }
                narrowed[(r * width + x) * 4 + c] = sum >> acrossShift;
            }
        }
    }
    QImage result(width, height, source.format());
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(result.scanLine(y));
        for (int x = 0; x < width; ++x) {
            quint32 pixel = 0;
            for (int c = 0; c < 4; ++c) {
                int sum = 1 << (downShift - 1);
                for (int k = 0; k < down.taps; ++k)
                    sum += down.weights[std::size_t(y) * down.taps + k]
                           * narrowed[((std::size_t(down.start[y]) + k) * width + x) * 4 + c];
                pixel |= quint32(sum >> downShift) << (8 * c);
            }
            row[x] = pixel;
        }
    }
    return result;
}

// The runs a resampler sums on one axis: the largest 2^h (h at most
// maxHalvings) that is at most half the reduction factor.
int expectedHalvings(int sourceSize, int targetSize, int maxHalvings)
{
    int h = 0;
    while (h < maxHalvings && (2 << h) * 2 * targetSize <= sourceSize)
        ++h;
    return h;
}

struct ResampleCase
{
    QSize from, to;
    QImage::Format format;
};

class ResampleModels : public ::testing::TestWithParam<ResampleCase>
{
};

// Widths and heights around the two-pixel blocks and eight-pixel steps of the
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
                      ResampleCase{{120, 80}, {310, 105}, QImage::Format_RGB32},
                      // Runs of 32 rows over odd counts at every level, pairs across an odd width.
                      ResampleCase{{37, 523}, {3, 7}, QImage::Format_ARGB32},
                      // The longest runs, 64 rows.
                      ResampleCase{{9, 1300}, {2, 10}, QImage::Format_RGB32},
                      // Large enough to be made in two bands at once.
                      ResampleCase{{1100, 1000}, {97, 203}, QImage::Format_RGB32}),
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
// for (summed runs, then the triangle), so the tables have the right
// centres, widths and edges.
TEST_P(ResampleModels, FollowTheTriangleFilterToWithinRounding)
{
    const ResampleCase &c = GetParam();
    const QImage source = randomPicture(c.from.width(), c.from.height(), c.format, 23);
    const QImage fast = resampleImage(source, c.to.width(), c.to.height());
    const int sw = source.width(), sh = source.height(), tw = c.to.width(), th = c.to.height();

    const std::vector<double> ideal =
        bench::filterInDoubles(source, tw, th, expectedHalvings(sw, tw, kResampleMaxHalvingsAcross),
                               expectedHalvings(sh, th, kResampleMaxHalvingsDown));
    double worst = 0;
    for (int y = 0; y < th; ++y)
        for (int x = 0; x < tw; ++x)
            for (int ch = 0; ch < 4; ++ch)
                worst = std::max(worst, std::abs(channel(fast.pixel(x, y), ch)
                                                 - ideal[(std::size_t(y) * tw + x) * 4 + ch]));
    // 14-bit weights, 4 fractional bits between the passes, one rounding to
    // 8 bits: well under 2 levels.
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
        const MergeRule rule = drawn->hasAlphaChannel() ? MergeRule::Mask : MergeRule::KeyColour;
        mergePicture(shared, *drawn, rule, qRgb(255, 0, 255));
        mergePicture(own, *drawn, rule, qRgb(255, 0, 255));
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
