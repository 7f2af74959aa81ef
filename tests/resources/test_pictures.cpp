// The pictures compiled into the programs, checked as the programs load them.
#include "filebytes.h"
#include "resources/resources.h"

#include <QImage>
#include <QImageReader>
#include <QList>
#include <QRect>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

using velloran::test::fileBytes;
using velloran::test::le16;
using velloran::test::le32;
namespace res = velloran::resources;

namespace {

constexpr QRgb kKey = qRgb(255, 0, 255);

// Pixels of buttons and labels must differ from the key by at least this
// much, summed over the channels, so no tint or rounding makes one into key.
constexpr int kMinDistanceFromKey = 40;

int distanceFromKey(QRgb c)
{
    return (255 - qRed(c)) + qGreen(c) + (255 - qBlue(c));
}

QRect bounds(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QImage loadRgb(const QString &path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

void expectTwentyFourBitBmp(const QString &path)
{
    const QByteArray bytes = fileBytes(path);
    EXPECT_EQ(bytes.left(2), QByteArray("BM")) << path.toStdString();
    EXPECT_EQ(le16(bytes, 28), 24u) << path.toStdString() << ": biBitCount";
    EXPECT_EQ(le32(bytes, 30), 0u) << path.toStdString() << ": biCompression (BI_RGB)";
}

struct TemplateCase
{
    const char *name;
    QString path;
    QSize size;
    QList<QRect> elements; // inclusive bounds of each button or label
};

void PrintTo(const TemplateCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<TemplateCase> templateCases()
{
    return {
        {"Main", res::kMainTemplate, {800, 629},
         {bounds(635, 11, 730, 39), bounds(733, 12, 758, 37), bounds(761, 12, 786, 37)}},
        {"Scene", res::kSceneTemplate, {199, 550},
         {bounds(147, 3, 198, 28), bounds(41, 35, 149, 54), bounds(49, 268, 140, 283),
          bounds(23, 482, 170, 508)}},
        {"Chat", res::kChatTemplate, {438, 173},
         {bounds(386, 3, 437, 28), bounds(325, 114, 406, 138)}},
        {"Console", res::kConsoleTemplate, {310, 105}, {bounds(26, 14, 50, 90)}},
    };
}

class OverlayTemplate : public ::testing::TestWithParam<TemplateCase>
{
};

TEST_P(OverlayTemplate, IsATwentyFourBitBitmapOfItsSize)
{
    expectTwentyFourBitBmp(GetParam().path);
    EXPECT_EQ(QImage(GetParam().path).size(), GetParam().size);
}

TEST_P(OverlayTemplate, HasTheKeyColourEverywhereOutsideItsElements)
{
    const QImage image = loadRgb(GetParam().path);
    ASSERT_EQ(image.size(), GetParam().size);
    EXPECT_EQ(image.pixel(0, 0), kKey);
    EXPECT_EQ(image.pixel(1, 1), kKey);

    int strays = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            bool inElement = false;
            for (const QRect &box : GetParam().elements)
                inElement = inElement || box.contains(x, y);
            if (!inElement && image.pixel(x, y) != kKey && ++strays <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") outside every element is not key-coloured";
        }
    }
    EXPECT_EQ(strays, 0);
}

TEST_P(OverlayTemplate, EachElementReachesTheEdgesOfItsBox)
{
    const QImage image = loadRgb(GetParam().path);
    ASSERT_EQ(image.size(), GetParam().size);
    for (const QRect &box : GetParam().elements) {
        QRect painted;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                if (image.pixel(x, y) != kKey)
                    painted |= QRect(x, y, 1, 1);
            }
        }
        EXPECT_EQ(painted, box);
    }
}

TEST_P(OverlayTemplate, NoElementPixelComesNearTheKey)
{
    const QImage image = loadRgb(GetParam().path);
    int nearKey = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            if (c != kKey && distanceFromKey(c) < kMinDistanceFromKey && ++nearKey <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << c << ", almost the key";
        }
    }
    EXPECT_EQ(nearKey, 0);
}

INSTANTIATE_TEST_SUITE_P(Templates, OverlayTemplate, ::testing::ValuesIn(templateCases()),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Swatch, ShowsButtonsOnDarkBlueWithoutAnyKeyColour)
{
    expectTwentyFourBitBmp(res::kSwatch);
    const QImage image = loadRgb(res::kSwatch);
    ASSERT_EQ(image.size(), QSize(159, 35));

    const QColor background = image.pixelColor(0, 0);
    EXPECT_GT(background.blue(), background.red());
    EXPECT_GT(background.blue(), background.green());
    EXPECT_LT(background.lightness(), 100);

    int buttonPixels = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_GE(distanceFromKey(image.pixel(x, y)), kMinDistanceFromKey) << "at " << x << ", " << y;
            buttonPixels += image.pixel(x, y) != background.rgb() ? 1 : 0;
        }
    }
    EXPECT_GT(buttonPixels, 159 * 35 / 3);
}

TEST(SliderRail, IsATwentyFourBitBitmapOfItsSize)
{
    expectTwentyFourBitBmp(res::kSliderRail);
    EXPECT_EQ(QImage(res::kSliderRail).size(), QSize(113, 18));
}

struct IconCase
{
    const char *name;
    QString path;
    QList<QSize> sizes; // of the images, in file order
};

void PrintTo(const IconCase &c, std::ostream *os)
{
    *os << c.name;
}

class IconFile : public ::testing::TestWithParam<IconCase>
{
};

// ICONDIR, then one ICONDIRENTRY of 16 bytes per image, each pointing at a
// BITMAPINFOHEADER whose height counts the colour and the mask rows.
TEST_P(IconFile, HoldsEightBitImagesWithMasksOfTheGivenSizes)
{
    const QList<QSize> &sizes = GetParam().sizes;
    const QByteArray bytes = fileBytes(GetParam().path);
    EXPECT_EQ(le16(bytes, 2), 1u) << "idType: icon";
    ASSERT_EQ(le16(bytes, 4), static_cast<unsigned>(sizes.size())) << "idCount";
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const qsizetype entry = 6 + 16 * i;
        SCOPED_TRACE(::testing::Message() << "image " << i);
        EXPECT_EQ(static_cast<unsigned char>(bytes[entry]), sizes[i].width());
        EXPECT_EQ(static_cast<unsigned char>(bytes[entry + 1]), sizes[i].height());
        EXPECT_EQ(le16(bytes, entry + 6), 8u) << "wBitCount";
        const qsizetype header = le32(bytes, entry + 12);
        EXPECT_EQ(le32(bytes, header + 4), static_cast<unsigned>(sizes[i].width()));
        EXPECT_EQ(le32(bytes, header + 8), static_cast<unsigned>(2 * sizes[i].height()));
        EXPECT_EQ(le16(bytes, header + 14), 8u) << "biBitCount";
    }
}

TEST_P(IconFile, ImagesHaveTransparentCornersAndAnOpaqueCentre)
{
    QImageReader reader(GetParam().path);
    ASSERT_EQ(reader.imageCount(), GetParam().sizes.size());
    for (const QSize &size : GetParam().sizes) {
        SCOPED_TRACE(::testing::Message() << size.width() << " x " << size.height());
        const QImage image = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), size) << reader.errorString().toStdString();
        const int right = size.width() - 1;
        const int bottom = size.height() - 1;
        for (const QPoint corner : {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)})
            EXPECT_EQ(qAlpha(image.pixel(corner)), 0) << "corner " << corner.x() << ", " << corner.y();
        EXPECT_EQ(qAlpha(image.pixel(size.width() / 2, size.height() / 2)), 255);
        reader.jumpToNextImage();
    }
}

INSTANTIATE_TEST_SUITE_P(Icons, IconFile,
                         ::testing::Values(IconCase{"SliderThumb", res::kSliderThumb, {{26, 25}}},
                                           IconCase{"WindowIcon", res::kWindowIcon, {{32, 32}, {16, 16}}}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(CompiledPictures, EveryListedPathLoads)
{
    for (const QString &path : res::allPictures())
        EXPECT_FALSE(QImage(path).isNull()) << path.toStdString();
}

} // namespace
