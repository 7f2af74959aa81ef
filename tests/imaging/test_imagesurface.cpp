// The surface operations the skin pipeline relies on.
#include "imaging/colour.h"
#include "imaging/imagesurface.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

TEST(ImageSurface, APictureTakenOutIsUnaffectedByLaterChanges)
{
    ImageSurface surface;
    surface.SetPicture(test::gradient(20, 10));
    const QImage before = surface.Picture();
    const QImage copy = before.copy();
    surface.AdjustHsl(50, 20, -10);
    ASSERT_TRUE(surface.ResizeImage(2, 5, 5).ok());
    EXPECT_EQ(before, copy);
    EXPECT_NE(surface.Picture(), copy);

    // And a picture put in is unaffected by later changes of the surface.
    QImage put = test::gradient(8, 8);
    const QImage putCopy = put.copy();
    surface.SetPicture(put);
    surface.AdjustHsl(-80, 0, 0);
    EXPECT_EQ(put, putCopy);
}

TEST(ImageSurface, AnArmedMergeServesOnePutOnly)
{
    ImageSurface surface;
    surface.SetPicture(test::solid(4, 4, Qt::blue));
    QImage overlay = test::solid(4, 4, QColor(255, 0, 255));
    overlay.setPixel(1, 1, qRgb(1, 2, 3));

    surface.MergeSettings(true, 2, 0, true, kKeyColour, 100, 100);
    EXPECT_TRUE(surface.mergeArmed());
    surface.SetPicture(overlay);
    EXPECT_EQ(surface.image().pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(surface.image().pixel(1, 1), qRgb(1, 2, 3));
    EXPECT_FALSE(surface.mergeArmed());

    surface.SetPicture(overlay); // a plain copy again
    EXPECT_EQ(surface.image(), overlay);

    surface.MergeSettings(true, 2, 0, true, kKeyColour, 100, 100);
    surface.MergeSettings(false, 2, 0, true, kKeyColour, 100, 100);
    surface.SetPicture(test::solid(2, 2, Qt::green));
    EXPECT_EQ(surface.image().size(), QSize(2, 2));
}

TEST(ImageSurface, ResizeStretchesToTheExactSizeInModeTwoOnly)
{
    ImageSurface surface;
    surface.SetPicture(test::gradient(30, 30));
    ASSERT_TRUE(surface.ResizeImage(2, 800, 629).ok());
    EXPECT_EQ(surface.image().size(), QSize(800, 629));
    EXPECT_FALSE(surface.ResizeImage(1, 10, 10).ok());
    EXPECT_FALSE(surface.ResizeImage(2, 0, 10).ok());
    EXPECT_EQ(surface.image().size(), QSize(800, 629));
}

TEST(ImageSurface, PixelColorPacksRedGreenAndBlueAndIsZeroOutside)
{
    ImageSurface surface;
    EXPECT_EQ(surface.PixelColor(1, 1), 0u);
    QImage picture = test::solid(3, 3, Qt::black);
    picture.setPixel(1, 1, qRgb(1, 2, 3));
    surface.SetPicture(picture);
    EXPECT_EQ(surface.PixelColor(1, 1), 1u + 256u * 2 + 65536u * 3);
    EXPECT_EQ(surface.PixelColor(3, 0), 0u);
    EXPECT_EQ(surface.PixelColor(-1, 0), 0u);
}

TEST(ImageSurface, AdjustHslMapsEqualColoursAlikeAndKeepsTheMask)
{
    ImageSurface surface;
    QImage picture(2, 2, QImage::Format_ARGB32);
    picture.fill(qRgba(255, 0, 255, 0));
    picture.setPixel(1, 1, qRgba(255, 0, 255, 255));
    surface.SetPicture(picture);
    surface.AdjustHsl(0, -100, 0);
    EXPECT_EQ(surface.image().pixel(0, 0) & 0xFFFFFF, surface.image().pixel(1, 1) & 0xFFFFFF);
    EXPECT_EQ(qAlpha(surface.image().pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(surface.image().pixel(1, 1)), 255);
}

TEST(ImageSurface, AFailedLoadKeepsTheImageAndNamesTheFile)
{
    QTemporaryDir dir;
    ImageSurface surface;
    surface.SetPicture(test::gradient(5, 5));
    const QImage before = surface.image();
    QSignalSpy changed(&surface, &ImageSurface::changed);

    const QString missing = dir.filePath(QStringLiteral("missing.jpg"));
    const Status s = surface.LoadImageFile(missing);
    EXPECT_FALSE(s.ok());
    EXPECT_TRUE(s.message().startsWith(QStringLiteral("Cannot load ") + QDir::toNativeSeparators(missing)))
        << s.message().toStdString();
    EXPECT_EQ(surface.image(), before);
    EXPECT_EQ(changed.count(), 0);
}

TEST(ImageSurface, SavesA24BitBitmapOfTheImageOrSaysWhyNot)
{
    QTemporaryDir dir;
    ImageSurface surface;
    surface.SetSavePath(dir.filePath(QStringLiteral("empty.bmp")));
    EXPECT_FALSE(surface.SaveImage().ok());
    EXPECT_FALSE(QFile::exists(surface.SavePath()));

    const QImage picture = test::gradient(13, 7);
    surface.SetPicture(picture);
    surface.SetSavePath(dir.filePath(QStringLiteral("saved.bmp")));
    ASSERT_TRUE(surface.SaveImage().ok());
    QFile file(surface.SavePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_EQ(bytes.left(2), QByteArray("BM"));
    EXPECT_EQ(bytes[28], 24); // bits per pixel
    EXPECT_EQ(QImage::fromData(bytes).convertToFormat(QImage::Format_RGB32), picture);

    surface.SetSavePath(dir.filePath(QStringLiteral("no/such/folder/x.bmp")));
    const Status s = surface.SaveImage();
    EXPECT_FALSE(s.ok());
    EXPECT_TRUE(s.message().contains(QStringLiteral("x.bmp"))) << s.message().toStdString();
}

} // namespace
