// The resampler that makes several sizes from one reading of a picture's
// rows: the same pixels as resampleImage for each size, however the rows are
// batched and however far apart they lie, exact single colours, the same
// bytes on every machine, and null pictures for what cannot be made.
#include "imaging/resample.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

using namespace velloran;

namespace {

// The four window sizes of a skin, and an enlargement.
const std::vector<QSize> kSizes = {{800, 629}, {199, 498}, {310, 105}, {438, 173}, {5, 3}};

// Noise over a gradient: neighbouring pixels differ everywhere, so a pixel
// taken from the wrong place or weighed wrongly shows.
QImage noisyPicture(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 noise = random.generate();
            const quint32 red = (quint32(x) * 255 / quint32(width) + (noise & 0x3F)) & 0xFF;
            const quint32 green = (quint32(y) * 255 / quint32(height) + (noise >> 8 & 0x3F)) & 0xFF;
            row[x] = 0xFF000000u | red << 16 | green << 8 | (noise >> 16 & 0xFF);
        }
    }
    return image;
}

const std::uint32_t *rowOf(const QImage &picture, int y)
{
    return reinterpret_cast<const std::uint32_t *>(picture.constScanLine(y));
}

enum class Batches { AllAtOnce, OneRowAtATime, Random };

// The picture through a MultiResampler, its rows in the given batches. One
// row at a time goes through a single buffer scribbled over after each call,
// so a resampler that kept the caller's rows would go wrong.
std::vector<QImage> resampleInBatches(const QImage &picture, const std::vector<QSize> &sizes,
                                      Batches batches, quint32 seed = 1)
{
    MultiResampler resampler(picture.size(), sizes);
    const qsizetype stride = picture.bytesPerLine();
    switch (batches) {
    case Batches::AllAtOnce:
        resampler.addRows(rowOf(picture, 0), stride, picture.height());
        break;
    case Batches::OneRowAtATime: {
        std::vector<std::uint32_t> buffer(std::size_t(picture.width()));
        for (int y = 0; y < picture.height(); ++y) {
            std::copy_n(rowOf(picture, y), picture.width(), buffer.data());
            resampler.addRows(buffer.data(), 0, 1);
            std::fill(buffer.begin(), buffer.end(), 0xDEADBEEFu);
        }
        break;
    }
    case Batches::Random: {
        QRandomGenerator random(seed);
        for (int y = 0; y < picture.height();) {
            const int count = std::min(picture.height() - y, 1 + int(random.bounded(9)));
            resampler.addRows(rowOf(picture, y), stride, count);
            y += count;
        }
        break;
    }
    }
    return resampler.finish();
}

struct SourceCase
{
    const char *label;
    QSize size;
};

class MultiResamplerSources : public ::testing::TestWithParam<SourceCase>
{
};

INSTANTIATE_TEST_SUITE_P(
    Sources, MultiResamplerSources,
    ::testing::Values(SourceCase{"OnePixel", {1, 1}}, SourceCase{"Tiny", {3, 2}},
                      SourceCase{"Odd", {801, 1263}}, SourceCase{"Enlarged", {120, 80}},
                      SourceCase{"SameAsTheFirstSize", {800, 629}},
                      SourceCase{"Column", {1, 2000}}, SourceCase{"Row", {2000, 1}},
                      SourceCase{"TallStrip", {3, 4099}}, SourceCase{"TwelveMegapixels", {4000, 3000}}),
    [](const auto &info) { return std::string(info.param.label); });

TEST_P(MultiResamplerSources, GiveWhatResampleImageGivesForEachSizeInAnyBatches)
{
    const QSize size = GetParam().size;
    const QImage picture = noisyPicture(size.width(), size.height(), 29);
    std::vector<QImage> expected;
    for (const QSize target : kSizes)
        expected.push_back(resampleImage(picture, target.width(), target.height()));

    for (const Batches batches : {Batches::AllAtOnce, Batches::OneRowAtATime, Batches::Random}) {
        const std::vector<QImage> made = resampleInBatches(picture, kSizes, batches);
        ASSERT_EQ(made.size(), kSizes.size());
        for (std::size_t i = 0; i < kSizes.size(); ++i) {
            ASSERT_EQ(made[i].size(), kSizes[i]) << i;
            EXPECT_EQ(made[i].format(), QImage::Format_RGB32) << i;
            EXPECT_TRUE(made[i] == expected[i]) << "size " << i << ", batches " << int(batches);
        }
    }
}

// Rows summed in pairs must be rows 2k and 2k + 1 of the picture whatever
// the batches: odd batches that split every pair, for many seeds.
TEST(MultiResampler, GivesTheSameBytesForEveryBatchSplit)
{
    const QImage picture = noisyPicture(97, 700, 3);
    const std::vector<QImage> once = resampleInBatches(picture, kSizes, Batches::AllAtOnce);
    for (quint32 seed = 1; seed <= 20; ++seed)
        EXPECT_TRUE(resampleInBatches(picture, kSizes, Batches::Random, seed) == once) << seed;
}

// One fixed picture's fitted bytes, the same on every run, compiler and
// machine (vector code or not): a checksum of all four window pictures.
TEST(MultiResampler, GivesTheseBytesOnEveryMachine)
{
    const QImage picture = noisyPicture(1203, 907, 41);
    const std::vector<QSize> windows(kSizes.begin(), kSizes.begin() + 4);
    std::uint64_t hash = 14695981039346656037u; // FNV-1a
    for (const QImage &image : resampleInBatches(picture, windows, Batches::Random)) {
        ASSERT_FALSE(image.isNull());
        for (int y = 0; y < image.height(); ++y) {
            const auto *bytes = image.constScanLine(y);
            for (qsizetype i = 0; i < qsizetype(image.width()) * 4; ++i)
                hash = (hash ^ bytes[i]) * 1099511628211u;
        }
    }
    EXPECT_EQ(hash, 12482508212835937405u);
}

TEST(MultiResampler, KeepsASingleColourExactAtEveryFactor)
{
    const std::vector<QSize> sizes = {{800, 629}, {199, 498}, {310, 105}, {438, 173},
                                      {1, 1},     {3, 7},     {2000, 9}};
    for (const QRgb colour : {qRgb(201, 13, 77), qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(1, 254, 128)}) {
        for (const QSize source : {QSize(4000, 3000), QSize(1, 1), QSize(33, 5001), QSize(777, 2)}) {
            QImage picture(source, QImage::Format_RGB32);
            picture.fill(colour);
            const std::vector<QImage> made = resampleInBatches(picture, sizes, Batches::Random);
            for (std::size_t i = 0; i < sizes.size(); ++i) {
                ASSERT_EQ(made[i].size(), sizes[i]);
                for (int y = 0; y < made[i].height(); ++y) {
                    const auto *row = reinterpret_cast<const QRgb *>(made[i].constScanLine(y));
                    ASSERT_TRUE(std::all_of(row, row + made[i].width(), [&](QRgb p) { return p == colour; }))
                        << std::hex << colour << std::dec << " from " << source.width() << "x"
                        << source.height() << " to size " << i << ", row " << y;
                }
            }
        }
    }
}

// Rows further apart than a row's bytes, with other bytes between them, and
// rows from the bottom up (a negative stride), as decoders may hand them.
TEST(MultiResampler, ReadsRowsAnyStrideApart)
{
    const QImage picture = noisyPicture(131, 257, 5);
    const std::vector<QImage> expected = resampleInBatches(picture, kSizes, Batches::AllAtOnce);
    const int width = picture.width();
    const int height = picture.height();

    const int padded = width + 3; // pixels a row, the last three not the picture's
    std::vector<std::uint32_t> loose(std::size_t(padded) * height, 0x12345678u);
    for (int y = 0; y < height; ++y)
        std::copy_n(rowOf(picture, y), width, loose.data() + std::size_t(y) * padded);
    MultiResampler spaced(picture.size(), kSizes);
    spaced.addRows(loose.data(), qsizetype(padded) * 4, 100);
    spaced.addRows(loose.data() + std::size_t(100) * padded, qsizetype(padded) * 4, height - 100);
    EXPECT_TRUE(spaced.finish() == expected);

    std::vector<std::uint32_t> upsideDown(std::size_t(width) * height);
    for (int y = 0; y < height; ++y)
        std::copy_n(rowOf(picture, y), width, upsideDown.data() + std::size_t(height - 1 - y) * width);
    MultiResampler bottomUp(picture.size(), kSizes);
    bottomUp.addRows(upsideDown.data() + std::size_t(height - 1) * width, -qsizetype(width) * 4, height);
    EXPECT_TRUE(bottomUp.finish() == expected);
}

TEST(MultiResampler, GivesNullPicturesForWhatCannotBeMade)
{
    const QImage picture = noisyPicture(40, 30, 9);

    // A size below 1 x 1 is null; the others are made as usual.
    MultiResampler someEmpty(picture.size(), {{0, 5}, {10, 10}, {7, -1}});
    someEmpty.addRows(rowOf(picture, 0), picture.bytesPerLine(), picture.height());
    const std::vector<QImage> made = someEmpty.finish();
    ASSERT_EQ(made.size(), 3u);
    EXPECT_TRUE(made[0].isNull());
    EXPECT_TRUE(made[1] == resampleImage(picture, 10, 10));
    EXPECT_TRUE(made[2].isNull());
    // Finished once: a second finish gives nulls, rows after it change nothing.
    someEmpty.addRows(rowOf(picture, 0), picture.bytesPerLine(), 3);
    const std::vector<QImage> again = someEmpty.finish();
    ASSERT_EQ(again.size(), 3u);
    EXPECT_TRUE(std::all_of(again.begin(), again.end(), [](const QImage &i) { return i.isNull(); }));

    // Not every row in.
    MultiResampler early(picture.size(), {{10, 10}});
    early.addRows(rowOf(picture, 0), picture.bytesPerLine(), picture.height() - 1);
    EXPECT_TRUE(early.finish().front().isNull());

    // Rows past the picture's height are ignored.
    QImage taller(40, 35, QImage::Format_RGB32);
    taller.fill(Qt::red);
    for (int y = 0; y < 30; ++y)
        std::memcpy(taller.scanLine(y), picture.constScanLine(y), 40 * 4);
    MultiResampler extra(picture.size(), {{10, 10}});
    extra.addRows(rowOf(taller, 0), taller.bytesPerLine(), 35);
    EXPECT_TRUE(extra.finish().front() == resampleImage(picture, 10, 10));

    // No picture at all.
    MultiResampler empty(QSize(0, 7), {{10, 10}});
    EXPECT_TRUE(empty.finish().front().isNull());
}

} // namespace
