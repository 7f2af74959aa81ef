// The generator of the pictures: its file encoders, and that it draws the
// same bytes on every run, the very bytes that are committed.
#include "artwork/artwork.h"
#include "artwork/bitmapfile.h"
#include "filebytes.h"
#include "resources/resources.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>

using namespace Qt::Literals::StringLiterals;
using velloran::test::fileBytes;
namespace art = velloran::artwork;

namespace {

// Transparent, opaque and opaque black pixels; odd widths exercise the row
// padding of the colour and of the mask rows.
QImage patterned(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int n = seed + x + width * y;
            image.setPixel(x, y, n % 4 == 0 ? qRgba(0, 0, 0, 0)
                                 : n % 4 == 1 ? qRgb(0, 0, 0)
                                              : qRgb(n * 7 % 256, n * 13 % 256, 255 - n % 256));
        }
    }
    return image;
}

TEST(IconEncoding, ReadsBackThroughQtsIconReader)
{
    const QList<QImage> images = {patterned(5, 3, 0), patterned(9, 11, 1), patterned(2, 2, 2)};
    QByteArray bytes = art::encodeIco8(images);
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ico");
    ASSERT_EQ(reader.imageCount(), images.size());
    for (const QImage &original : images) {
        const QImage decoded = reader.read().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(decoded.size(), original.size()) << reader.errorString().toStdString();
        for (int y = 0; y < original.height(); ++y) {
            for (int x = 0; x < original.width(); ++x) {
                const QRgb want = original.pixel(x, y);
                const QRgb got = decoded.pixel(x, y);
                EXPECT_EQ(qAlpha(got), qAlpha(want)) << "at " << x << ", " << y;
                if (qAlpha(want) == 255) {
                    EXPECT_EQ(got, want) << "at " << x << ", " << y;
                }
            }
        }
        reader.jumpToNextImage();
    }
}

// side x side pixels, each a colour of its own, black among them.
QImage distinctColours(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    for (int n = 0; n < side * side; ++n)
        image.setPixel(n % side, n / side, qRgb(n % 256, n / 256, 0));
    return image;
}

TEST(IconEncoding, TakesUpTo256ColoursAndSidesUpTo256)
{
    EXPECT_FALSE(art::encodeIco8({distinctColours(16)}).isEmpty()) << "256 colours, black included";
    EXPECT_TRUE(art::encodeIco8({distinctColours(17)}).isEmpty()) << "289 colours";
    EXPECT_TRUE(art::encodeIco8({QImage()}).isEmpty()) << "null image";
    QImage wide(257, 1, QImage::Format_ARGB32);
    wide.fill(qRgb(9, 9, 9));
    EXPECT_TRUE(art::encodeIco8({wide}).isEmpty()) << "257 pixels wide";
}

TEST(Generator, WritesTheSameBytesOnEveryRun)
{
    const art::Artwork first = art::renderAll();
    ASSERT_TRUE(first.error.isEmpty()) << first.error.toStdString();
    QTemporaryDir one;
    QTemporaryDir two;
    ASSERT_TRUE(one.isValid() && two.isValid());
    const QString folders[] = {one.filePath(u"out"_s), two.filePath(u"out"_s)};
    for (const QString &folder : folders)
        ASSERT_EQ(art::writeAll(folder), QString());

    for (const art::ArtworkFile &file : first.files) {
        SCOPED_TRACE(file.name.toStdString());
        EXPECT_FALSE(file.bytes.isEmpty());
        for (const QString &folder : folders)
            EXPECT_TRUE(fileBytes(QDir(folder).filePath(file.name)) == file.bytes);
    }
    EXPECT_EQ(QDir(folders[0]).entryList(QDir::Files).size(), first.files.size());
}

// The sample picture is painted with QPainter, whose antialiasing may round
// differently on another processor, and compressed with loss; so it is
// compared by the mean colour of 16 x 16 blocks.
void expectSamePictureRoughly(const QImage &stored, const QImage &drawn)
{
    ASSERT_EQ(stored.size(), drawn.size());
    constexpr int kBlock = 16;
    constexpr int kTolerance = 4;
    int differing = 0;
    for (int by = 0; by + kBlock <= drawn.height(); by += kBlock) {
        for (int bx = 0; bx + kBlock <= drawn.width(); bx += kBlock) {
            int sum[2][3] = {};
            for (int y = by; y < by + kBlock; ++y) {
                for (int x = bx; x < bx + kBlock; ++x) {
                    const QRgb pixels[2] = {stored.pixel(x, y), drawn.pixel(x, y)};
                    for (int i = 0; i < 2; ++i) {
                        sum[i][0] += qRed(pixels[i]);
                        sum[i][1] += qGreen(pixels[i]);
                        sum[i][2] += qBlue(pixels[i]);
                    }
                }
            }
            for (int c = 0; c < 3; ++c) {
                if (std::abs(sum[0][c] - sum[1][c]) > kTolerance * kBlock * kBlock && ++differing <= 5)
                    ADD_FAILURE() << "block at " << bx << ", " << by << " differs in channel " << c;
            }
        }
    }
    EXPECT_EQ(differing, 0);
}

TEST(Generator, DrawsWhatIsCommitted)
{
    const art::Artwork artwork = art::renderAll();
    ASSERT_TRUE(artwork.error.isEmpty()) << artwork.error.toStdString();

    QSet<QString> drawn;
    for (const art::ArtworkFile &file : artwork.files) {
        SCOPED_TRACE(file.name.toStdString());
        drawn.insert(file.name);
        if (file.name == u"sample.jpg"_s) {
            const QImage stored(QStringLiteral(VELLORAN_RESOURCES_DIR "/sample.jpg"));
            expectSamePictureRoughly(stored.convertToFormat(QImage::Format_RGB32), art::samplePicture());
        } else {
            // A mismatch means the drawing changed: rebuild the "artwork" target and commit.
            EXPECT_TRUE(fileBytes(u":/velloran/"_s + file.name) == file.bytes);
        }
    }
    for (const QString &path : velloran::resources::allPictures())
        EXPECT_TRUE(drawn.contains(QFileInfo(path).fileName())) << path.toStdString() << " is not drawn";
}

TEST(Generator, NamesTheFolderItCannotCreate)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    QFile blocker(temp.filePath(u"taken"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const QString folder = temp.filePath(u"taken/artwork"_s);
    const QString error = art::writeAll(folder);
    EXPECT_TRUE(error.contains(QDir::toNativeSeparators(folder))) << error.toStdString();
}

} // namespace
