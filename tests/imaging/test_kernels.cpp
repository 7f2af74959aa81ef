// The pixel kernels: resampling, tinting and merging.
#include "imaging/merge.h"
#include "imaging/resample.h"
#include "imaging/tint.h"
#include "support/testsupport.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

class ResampleSizes : public ::testing::TestWithParam<std::pair<QSize, QSize>>
{
};

// Exact size, and a single colour stays exactly that colour whatever the
// factor: the fixed-point weights of every output sum to one.
TEST_P(ResampleSizes, GivesTheExactSizeAndKeepsASingleColourExact)
{
    const auto [from, to] = GetParam();
    const QRgb colour = qRgb(201, 13, 77);
    const QImage result = resampleImage(test::solid(from.width(), from.height(), QColor(colour)),
                                        to.width(), to.height());
    ASSERT_EQ(result.size(), to);
    for (int y = 0; y < to.height(); ++y)
        for (int x = 0; x < to.width(); ++x)
            ASSERT_EQ(result.pixel(x, y), colour) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Factors, ResampleSizes,
    ::testing::Values(std::pair{QSize(4000, 3000), QSize(310, 105)}, // large reduction
                      std::pair{QSize(1000, 750), QSize(800, 629)},
                      std::pair{QSize(1, 1), QSize(800, 629)},       // enlargement from one pixel
                      std::pair{QSize(7, 3), QSize(199, 498)},
                      std::pair{QSize(2000, 1), QSize(3, 3)},
                      std::pair{QSize(159, 35), QSize(159, 35)}));

TEST(Resample, ReducingAFineCheckerboardGivesEvenGreyNotAliasing)
{
    QImage board(1000, 1000, QImage::Format_RGB32);
    for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1000; ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QImage result = resampleImage(board, 97, 101);
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x)
            ASSERT_NEAR(qGray(result.pixel(x, y)), 128, 3) << x << "," << y;
}

TEST(Resample, EnlargingInterpolatesBetweenSamples)
{
    QImage two(2, 1, QImage::Format_RGB32);
    two.setPixel(0, 0, qRgb(0, 0, 0));
    two.setPixel(1, 0, qRgb(255, 255, 255));
    const QImage result = resampleImage(two, 4, 1);
    // Output centres fall at -0.25, 0.25, 0.75 and 1.25 source pixels.
    EXPECT_EQ(qRed(result.pixel(0, 0)), 0);
    EXPECT_EQ(qRed(result.pixel(1, 0)), 64);
    EXPECT_EQ(qRed(result.pixel(2, 0)), 191);
    EXPECT_EQ(qRed(result.pixel(3, 0)), 255);
}

TEST(Resample, KeepsTheGeometryOfThePicture)
{
    // A bright quarter stays a quarter after a non-uniform stretch.
    QImage picture = test::solid(400, 300, Qt::black);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            picture.setPixel(x, y, qRgb(255, 255, 255));
    const QImage result = resampleImage(picture, 199, 498);
    EXPECT_EQ(result.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(result.pixel(97, 246), qRgb(255, 255, 255));
    EXPECT_EQ(result.pixel(101, 251), qRgb(0, 0, 0));
    EXPECT_EQ(result.pixel(198, 497), qRgb(0, 0, 0));
}

struct TintCase
{
    const char *label;
    QRgb in;
    HslAdjustment adjustment;
    QRgb out;
};

class TintColours : public ::testing::TestWithParam<TintCase>
{
};

TEST_P(TintColours, FollowTheColourModel)
{
    EXPECT_EQ(adjustHsl(GetParam().in, GetParam().adjustment), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Model, TintColours,
    ::testing::Values(
        TintCase{"HueHalfTurn", qRgb(255, 0, 0), {100, 0, 0}, qRgb(0, 255, 255)},
        TintCase{"HueHalfTurnBack", qRgb(255, 0, 0), {-100, 0, 0}, qRgb(0, 255, 255)},
        TintCase{"HueQuarterTurn", qRgb(255, 0, 0), {50, 0, 0}, qRgb(128, 255, 0)},
        TintCase{"KeyToYellow", qRgb(255, 0, 255), {67, 0, 0}, qRgb(252, 255, 0)},
        TintCase{"NoSaturationIsGrey", qRgb(255, 0, 255), {0, -100, 0}, qRgb(128, 128, 128)},
        TintCase{"GreyStaysGrey", qRgb(90, 90, 90), {40, 100, 0}, qRgb(90, 90, 90)},
        TintCase{"MoreSaturation", qRgb(150, 100, 100), {0, 100, 0}, qRgb(175, 75, 75)},
        TintCase{"LightnessDownIsBlack", qRgb(12, 200, 99), {0, 0, -100}, qRgb(0, 0, 0)},
        TintCase{"LightnessUpIsWhite", qRgb(12, 200, 99), {0, 0, 100}, qRgb(255, 255, 255)},
        TintCase{"HalfLighter", qRgb(0, 0, 0), {0, 0, 50}, qRgb(128, 128, 128)},
        TintCase{"AlphaPassesThrough", qRgba(255, 0, 0, 0), {100, 0, 0}, qRgba(0, 255, 255, 0)},
        TintCase{"OutOfRangeIsClamped", qRgb(255, 0, 0), {0, 0, -500}, qRgb(0, 0, 0)}),
    [](const auto &info) { return std::string(info.param.label); });

TEST(Tint, IdentityLeavesEveryColourAlone)
{
    QRandomGenerator random(7);
    for (int i = 0; i < 100000; ++i) {
        const QRgb colour = random.generate();
        ASSERT_EQ(adjustHsl(colour, {}), colour);
    }
}

// The row tinter remembers colours in a cache; whatever the collisions, every
// pixel must come out as the colour model says.
TEST(Tint, RowsMatchTheColourModelPixelForPixel)
{
    // Random colours, a quarter of them repeats of earlier ones.
    QRandomGenerator random(11);
    std::vector<std::uint32_t> row(50000);
    for (std::size_t i = 0; i < row.size(); ++i)
        row[i] = i > 0 && random.bounded(4) == 0 ? row[random.bounded(int(i))] : random.generate();
    const HslAdjustment adjustment{-33, 57, -21};

    HslTinter tinter(adjustment);
    std::vector<std::uint32_t> tinted(row.size());
    tinter.tintRow(row.data(), tinted.data(), int(row.size()));
    for (std::size_t i = 0; i < row.size(); ++i)
        ASSERT_EQ(tinted[i], adjustHsl(row[i], adjustment)) << i;

    tinter.tintRow(row.data(), row.data(), int(row.size())); // in place, cache warm
    EXPECT_EQ(row, tinted);
}

TEST(Merge, KeyColourLeavesTheTargetAndOtherColoursReplaceIt)
{
    QImage target = test::solid(3, 1, Qt::blue);
    QImage drawn(3, 1, QImage::Format_RGB32);
    drawn.setPixel(0, 0, qRgb(255, 0, 255));
    drawn.setPixel(1, 0, qRgb(254, 0, 255));
    drawn.setPixel(2, 0, qRgb(10, 20, 30));
    mergePicture(target, drawn, MergeRule::KeyColour, qRgb(255, 0, 255));
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(1, 0), qRgb(254, 0, 255));
    EXPECT_EQ(target.pixel(2, 0), qRgb(10, 20, 30));
}

TEST(Merge, AMaskDecidesWhateverTheColours)
{
    QImage target = test::solid(3, 1, Qt::blue);
    QImage drawn(3, 1, QImage::Format_ARGB32);
    drawn.setPixel(0, 0, qRgba(9, 9, 9, 0));     // masked out, though not the key
    drawn.setPixel(1, 0, qRgba(255, 0, 255, 255)); // drawn, though it is the key
    drawn.setPixel(2, 0, qRgba(10, 20, 30, 255));
    mergePicture(target, drawn, MergeRule::Mask, qRgb(255, 0, 255));
    EXPECT_EQ(target.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(target.pixel(1, 0), qRgb(255, 0, 255));
    EXPECT_EQ(target.pixel(2, 0), qRgb(10, 20, 30));
    EXPECT_EQ(target.format(), QImage::Format_RGB32);
}

// The rule is named by the caller, never read from the picture's format: a
// picture that lost its mask (converted to RGB32) is drawn whole by the mask
// rule rather than falling back to comparing colours with the key.
TEST(Merge, TheCallerNamesTheRuleWhateverThePicturesFormat)
{
    QImage masked(2, 1, QImage::Format_ARGB32);
    masked.setPixel(0, 0, qRgba(9, 9, 9, 0));
    masked.setPixel(1, 0, qRgba(255, 0, 255, 255));
    const QImage unmasked = masked.convertToFormat(QImage::Format_RGB32);
    struct Case
    {
        const char *name;
        const QImage &drawn;
        MergeRule rule;
        QRgb left, right;
    };
    const Case cases[] = {
        {"mask rule, masked picture", masked, MergeRule::Mask, qRgb(0, 0, 255), qRgb(255, 0, 255)},
        {"mask rule, mask lost", unmasked, MergeRule::Mask, qRgb(9, 9, 9), qRgb(255, 0, 255)},
        {"key rule, masked picture", masked, MergeRule::KeyColour, qRgb(9, 9, 9), qRgb(0, 0, 255)},
        {"key rule, mask lost", unmasked, MergeRule::KeyColour, qRgb(9, 9, 9), qRgb(0, 0, 255)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QImage target = test::solid(2, 1, Qt::blue);
        mergePicture(target, c.drawn, c.rule, qRgb(255, 0, 255));
        EXPECT_EQ(target.pixel(0, 0), c.left);
        EXPECT_EQ(target.pixel(1, 0), c.right);
    }
}

TEST(Merge, ATallerPictureIsScaledOntoTheTargetWithoutMixingColours)
{
    // A bar near the bottom of a 199 x 550 overlay, below the 498th row.
    QImage overlay(199, 550, QImage::Format_ARGB32);
    overlay.fill(Qt::transparent);
    for (int y = 482; y <= 508; ++y)
        for (int x = 23; x <= 170; ++x)
            overlay.setPixel(x, y, y % 2 ? qRgb(200, 200, 0) : qRgb(0, 100, 200));
    QImage target = test::solid(199, 498, Qt::black);
    mergePicture(target, overlay, MergeRule::Mask, qRgb(255, 0, 255));

    int barPixels = 0;
    for (int y = 0; y < 498; ++y) {
        for (int x = 0; x < 199; ++x) {
            const QRgb p = target.pixel(x, y);
            ASSERT_TRUE(p == qRgb(0, 0, 0) || p == qRgb(200, 200, 0) || p == qRgb(0, 100, 200))
                << x << "," << y;
            barPixels += p != qRgb(0, 0, 0);
        }
    }
    // The whole bar shows, scaled by 498/550 in height.
    EXPECT_NEAR(barPixels, 148 * 27 * 498 / 550, 148 * 2);
    EXPECT_NE(target.pixel(100, 497 * 482 / 550 + 1), qRgb(0, 0, 0));
    EXPECT_NE(target.pixel(100, 508 * 498 / 550), qRgb(0, 0, 0));
}

} // namespace
