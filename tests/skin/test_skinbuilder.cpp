// Loading and fitting a picture, the swatch preview, and the recomposition
// of the four window images from fitted pictures and tinted overlays.
#include "imaging/colour.h"
#include "imaging/imagefile.h"
#include "imaging/tint.h"
#include "resources/resources.h"
#include "skin/skinbuilder.h"
#include "support/testsupport.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

using namespace velloran;

namespace {

constexpr QRgb kMagenta = 0xFFFF00FF;

// An overlay with a grey button and a near-white label on the key colour:
// saturation -100 turns the key into the button's grey, lightness +100 turns
// everything white, so only a mask can keep them apart.
QImage overlayWithButtons(QSize size)
{
    QImage overlay = test::solid(size.width(), size.height(), QColor(kMagenta));
    for (int y = 2; y < size.height() / 2; ++y)
        for (int x = 2; x < size.width() / 2; ++x)
            overlay.setPixel(x, y, qRgb(128, 128, 128));
    for (int y = size.height() / 2; y < size.height() - 2; ++y)
        for (int x = size.width() / 2; x < size.width() - 2; ++x)
            overlay.setPixel(x, y, qRgb(250, 250, 250));
    return overlay;
}

class SkinBuilderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
    }

    // Overlays with a few plain buttons, sized as the stored ones; the
    // swatch a gradient.
    static SkinTemplates buttonTemplates()
    {
        SkinTemplates t;
        t.overlays[indexOf(HostWindow::Main)] = withKeyMask(overlayWithButtons({800, 629}));
        t.overlays[indexOf(HostWindow::Scene)] = withKeyMask(overlayWithButtons({199, 550}));
        t.overlays[indexOf(HostWindow::Console)] = withKeyMask(overlayWithButtons({310, 105}));
        t.overlays[indexOf(HostWindow::Chat)] = withKeyMask(overlayWithButtons({438, 173}));
        t.swatch = test::gradient(159, 35);
        return t;
    }

    QString pictureFile(const QImage &picture, const QString &name = QStringLiteral("p.bmp"))
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(picture.save(path));
        return path;
    }

    struct Window
    {
        const char *name;
        const ImageSurface &surface;
        const QImage &fitted;
        const QImage &overlay;
    };
    std::vector<Window> windows() const
    {
        return {{"main", b.Xpress1(), b.MainPic(), b.MainMerge()},
                {"scene", b.Xpress3(), b.ScenePic(), b.SceneMerge()},
                {"console", b.Xpress4(), b.InChatPic(), b.InChatMerge()},
                {"chat", b.Xpress5(), b.OutChatPic(), b.OutChatMerge()}};
    }

    QTemporaryDir dir;
    SkinBuilder b{buttonTemplates()};
};

TEST_F(SkinBuilderTest, FitsAnyPictureToTheFourWindowSizes)
{
    for (const QSize size : {QSize(300, 300), QSize(7, 3), QSize(1, 1), QSize(2000, 500)}) {
        ASSERT_TRUE(b.LoadImage(pictureFile(test::gradient(size.width(), size.height())), {}).ok());
        EXPECT_EQ(b.MainPic().size(), kMainImageSize);
        EXPECT_EQ(b.ScenePic().size(), kSceneImageSize);
        EXPECT_EQ(b.InChatPic().size(), kConsoleImageSize);
        EXPECT_EQ(b.OutChatPic().size(), kChatImageSize);
        for (const Window &w : windows())
            EXPECT_EQ(w.surface.image().size(), w.fitted.size()) << w.name;
    }
    // Stretched, not letter-boxed: the corners of a square picture reach the
    // corners of every window image.
    QImage square = test::solid(100, 100, Qt::white);
    square.setPixel(0, 0, qRgb(255, 0, 0));
    square.setPixel(99, 99, qRgb(0, 0, 255));
    ASSERT_TRUE(b.LoadImage(pictureFile(square), {}).ok());
    EXPECT_GT(qRed(b.MainPic().pixel(0, 0)), qBlue(b.MainPic().pixel(0, 0)));
    EXPECT_GT(qBlue(b.MainPic().pixel(799, 628)), qRed(b.MainPic().pixel(799, 628)));
}

TEST_F(SkinBuilderTest, AFailedLoadChangesNothing)
{
    ASSERT_TRUE(b.LoadImage(pictureFile(test::gradient(40, 30)), {20, 0, 0}).ok());
    const QImage main = b.Xpress1().image();
    const QImage fitted = b.MainPic();

    const QString broken = dir.filePath(QStringLiteral("broken.jpg"));
    test::writeFile(broken, "not a picture at all");
    const Status s = b.LoadImage(broken, {});
    EXPECT_FALSE(s.ok());
    EXPECT_TRUE(s.message().contains(QStringLiteral("broken.jpg"))) << s.message().toStdString();
    EXPECT_EQ(b.Xpress1().image(), main);
    EXPECT_EQ(b.MainPic(), fitted);
}

// At every slider position, a window image shows the user's picture exactly
// where the overlay is background and the tinted overlay everywhere else.
TEST_F(SkinBuilderTest, OverlaysCoverExactlyTheirElementsAtEverySliderPosition)
{
    ASSERT_TRUE(b.LoadImage(pictureFile(test::gradient(120, 90)), {}).ok());
    const HslAdjustment positions[] = {{0, 0, 0},      {0, -100, 0},  {0, 0, 100},  {0, 0, -100},
                                       {100, 100, 0},  {-100, 0, 50}, {37, -63, 12}, {0, 100, 100}};
    for (const HslAdjustment &t : positions) {
        b.RecomposeWindowImages(t);
        for (const Window &w : windows()) {
            // The overlay as the window image sees it (the scene overlay is
            // taller than its image and is scaled by nearest sample).
            const QImage overlay = w.overlay.size() == w.fitted.size()
                                       ? w.overlay
                                       : w.overlay.scaled(w.fitted.size());
            int background = 0, element = 0;
            for (int y = 0; y < overlay.height(); ++y) {
                for (int x = 0; x < overlay.width(); ++x) {
                    const QRgb o = overlay.pixel(x, y);
                    const QRgb shown = w.surface.image().pixel(x, y);
                    if (qAlpha(o) == 0) {
                        ++background;
                        ASSERT_EQ(shown, w.fitted.pixel(x, y)) << w.name << " at " << x << "," << y;
                    } else {
                        ++element;
                        ASSERT_EQ(shown, adjustHsl(o, t) | 0xFF000000u) << w.name << " at " << x << "," << y;
                    }
                }
            }
            EXPECT_GT(background, 0);
            EXPECT_GT(element, 0);
        }
    }
}

// Where the overlay draws (alpha set), as the window image sees it.
QImage overlayAsShown(const QImage &overlay, QSize size)
{
    return overlay.size() == size ? overlay : overlay.scaled(size);
}

// Filling a window frames the kept picture at one scale, the overlay's
// elements unchanged; stretching it again gives back the load's image to
// the byte.
TEST_F(SkinBuilderTest, FillFramesTheWindowAndStretchComesBackUnchanged)
{
    const HslAdjustment tint{20, -30, 10};
    ASSERT_TRUE(b.LoadImage(pictureFile(test::gradient(1200, 900)), tint).ok());
    ASSERT_FALSE(b.keptPicture().isNull());
    for (const HostWindowInfo &info : kHostWindows) {
        SCOPED_TRACE(info.fileSuffix.data());
        const HostWindow w = info.window;
        const QImage stretchedImage = b.surface(w).image();
        const QImage stretchedFit = b.fitted(w);

        ASSERT_TRUE(b.setFrame(w, {FitMode::Fill, {}}, tint));
        EXPECT_EQ(b.frame(w).mode, FitMode::Fill);
        EXPECT_EQ(b.fitted(w), framePicture(b.keptPicture(), info.size, {FitMode::Fill, {}}));
        EXPECT_NE(b.fitted(w), stretchedFit) << "the picture is 4:3, no window is";
        const QImage overlay = overlayAsShown(b.overlay(w), info.size);
        const QImage filledImage = b.surface(w).image();
        for (int y = 0; y < info.size.height(); ++y)
            for (int x = 0; x < info.size.width(); ++x)
                ASSERT_EQ(filledImage.pixel(x, y),
                          qAlpha(overlay.pixel(x, y)) ? stretchedImage.pixel(x, y) : b.fitted(w).pixel(x, y))
                    << x << "," << y;

        ASSERT_TRUE(b.setFrame(w, {}, tint));
        EXPECT_EQ(b.fitted(w), stretchedFit);
        EXPECT_EQ(b.surface(w).image(), stretchedImage);
    }
}

// Dragging a filled window moves the picture under the buttons, which stay;
// a stretched window does not move; a new picture keeps each window's way
// of fitting and centres the filled ones again.
TEST_F(SkinBuilderTest, PanningMovesOnlyThePictureAndANewLoadCentresIt)
{
    ASSERT_TRUE(b.setFrame(HostWindow::Scene, {FitMode::Fill, {0.2, 0.5}}, {})) << "before a load: kept";
    ASSERT_TRUE(b.LoadImage(pictureFile(test::gradient(1200, 900)), {}).ok());
    EXPECT_EQ(b.frame(HostWindow::Scene), (WindowFrame{FitMode::Fill, {}}));

    const QImage before = b.surface(HostWindow::Scene).image();
    const QImage fittedBefore = b.fitted(HostWindow::Scene);
    ASSERT_TRUE(b.pan(HostWindow::Scene, {40, 0}, {}));
    EXPECT_LT(b.frame(HostWindow::Scene).focus.x, 0.5) << "the picture follows the pointer to the right";
    EXPECT_NE(b.fitted(HostWindow::Scene), fittedBefore);
    EXPECT_EQ(b.fitted(HostWindow::Scene),
              framePicture(b.keptPicture(), kSceneImageSize, b.frame(HostWindow::Scene)));
    const QImage overlay = overlayAsShown(b.overlay(HostWindow::Scene), kSceneImageSize);
    const QImage after = b.surface(HostWindow::Scene).image();
    for (int y = 0; y < kSceneImageSize.height(); ++y)
        for (int x = 0; x < kSceneImageSize.width(); ++x) {
            if (qAlpha(overlay.pixel(x, y))) {
                ASSERT_EQ(after.pixel(x, y), before.pixel(x, y)) << x << "," << y;
            }
        }

    EXPECT_FALSE(b.pan(HostWindow::Main, {40, 0}, {})) << "stretched";
    EXPECT_FALSE(b.pan(HostWindow::Scene, {0, 40}, {})) << "the scene crop spans the picture's height";

    ASSERT_TRUE(b.LoadImage(pictureFile(test::gradient(900, 1200), QStringLiteral("q.bmp")), {}).ok());
    EXPECT_EQ(b.frame(HostWindow::Scene), (WindowFrame{FitMode::Fill, {}}));
    EXPECT_EQ(b.frame(HostWindow::Main).mode, FitMode::Stretch);
    SkinBuilder plain{buttonTemplates()};
    ASSERT_TRUE(plain.LoadImage(pictureFile(test::gradient(900, 1200), QStringLiteral("q.bmp")), {}).ok());
    EXPECT_EQ(b.surface(HostWindow::Main).image(), plain.surface(HostWindow::Main).image());
}

TEST_F(SkinBuilderTest, RecompositionStartsAfreshEveryTime)
{
    ASSERT_TRUE(b.LoadImage(pictureFile(test::gradient(64, 64)), {10, 20, 30}).ok());
    const QImage first = b.Xpress1().image();
    b.RecomposeWindowImages({10, 20, 30});
    EXPECT_EQ(b.Xpress1().image(), first);
    b.RecomposeWindowImages({-70, 0, 0});
    EXPECT_NE(b.Xpress1().image(), first);
    b.RecomposeWindowImages({10, 20, 30});
    EXPECT_EQ(b.Xpress1().image(), first);
    EXPECT_EQ(b.Xpress3().image().size(), kSceneImageSize);
}

TEST_F(SkinBuilderTest, ASecondPictureIsTintedWithTheCurrentPositionsAndShowsAlone)
{
    ASSERT_TRUE(b.LoadImage(pictureFile(test::solid(50, 50, Qt::red)), {}).ok());
    const HslAdjustment moved{45, -20, 10};
    ASSERT_TRUE(b.LoadImage(pictureFile(test::solid(50, 50, Qt::green), QStringLiteral("g.bmp")), moved).ok());
    EXPECT_EQ(b.Xpress1().image().pixel(0, 0), qRgb(0, 255, 0));
    EXPECT_EQ(b.Xpress1().image().pixel(10, 10), adjustHsl(qRgb(128, 128, 128), moved));
}

TEST_F(SkinBuilderTest, PreviewTintsTheUntintedSwatchEachTime)
{
    b.Preview({30, 0, 0});
    b.Preview({-50, 40, 10});
    const QImage twice = b.Xpress2().image();
    b.Preview({-50, 40, 10});
    EXPECT_EQ(b.Xpress2().image(), twice);
    EXPECT_EQ(twice.pixel(5, 5), adjustHsl(b.Picture1().pixel(5, 5), {-50, 40, 10}));
    b.Preview({});
    EXPECT_EQ(b.Xpress2().image(), b.Picture1());
}

// The overlays are stored masked, ready to draw: exactly the templates with
// their key colour masked out.
TEST(SkinBuilderArtwork, TheStoredOverlaysAreTheTemplatesMasked)
{
    SkinBuilder b(SkinTemplates::compiledIn());
    const std::pair<const QImage *, QString> overlays[] = {{&b.MainMerge(), resources::kMainTemplate},
                                                           {&b.SceneMerge(), resources::kSceneTemplate},
                                                           {&b.OutChatMerge(), resources::kChatTemplate},
                                                           {&b.InChatMerge(), resources::kConsoleTemplate}};
    for (const auto &[overlay, templatePath] : overlays) {
        const QImage masked = withKeyMask(decodeImageFile(templatePath).value());
        ASSERT_FALSE(masked.isNull()) << templatePath.toStdString();
        EXPECT_EQ(*overlay, masked) << templatePath.toStdString();
        EXPECT_EQ(overlay->format(), QImage::Format_ARGB32);
    }
    // Damaged stored data gives no picture, never a wrong one.
    const QByteArray good = encodeStoredPicture(b.InChatMerge());
    EXPECT_EQ(decodeStoredPicture(good), b.InChatMerge());
    EXPECT_TRUE(decodeStoredPicture(good.chopped(1)).isNull());
    EXPECT_TRUE(decodeStoredPicture(good.left(7)).isNull());
    QByteArray lying = good;
    lying[0] = char(lying[0] + 1); // one pixel wider than the data
    EXPECT_TRUE(decodeStoredPicture(lying).isNull());
}

// A stored picture viewed in place is the decoded one: over the bytes
// themselves where they lie on a 32-bit boundary, a copy elsewhere; never
// writing to them; and no picture from damaged data.
TEST(SkinBuilderArtwork, AStoredPictureViewedInPlaceIsTheDecodedOne)
{
    SkinBuilder b(SkinTemplates::compiledIn());
    const QByteArray good = encodeStoredPicture(b.InChatMerge());
    // The stored bytes at each offset from a 32-bit boundary.
    QByteArray room(good.size() + 8, '\0');
    for (int offset = 0; offset < 4; ++offset) {
        SCOPED_TRACE(offset);
        const quintptr misalignment = reinterpret_cast<quintptr>(room.constData()) % 4;
        char *at = room.data() + (4 - misalignment) % 4 + offset;
        std::memcpy(at, good.constData(), std::size_t(good.size()));
        const QByteArrayView stored(at, good.size());
        QImage view = viewStoredPicture(stored);
        EXPECT_EQ(view, b.InChatMerge());
        EXPECT_EQ(view.format(), QImage::Format_ARGB32);
        EXPECT_EQ(view.constBits() == reinterpret_cast<const uchar *>(at) + 8, offset == 0);
        view.setPixel(0, 0, 0xFF123456u);
        EXPECT_EQ(QByteArrayView(at, good.size()), QByteArrayView(good)) << "the stored bytes were written";
        EXPECT_EQ(viewStoredPicture(stored.first(7)), QImage());
        EXPECT_EQ(viewStoredPicture(stored.chopped(1)), QImage());
    }
    QByteArray lying = good;
    lying[0] = char(lying[0] + 1); // one pixel wider than the data
    EXPECT_TRUE(viewStoredPicture(lying).isNull());
}

TEST(SkinBuilderArtwork, StartsWithTheStoredOverlaysAndTheUntintedSwatch)
{
    SkinBuilder b(SkinTemplates::compiledIn());
    EXPECT_EQ(b.MainMerge().size(), QSize(800, 629));
    EXPECT_EQ(b.SceneMerge().size(), QSize(199, 550));
    EXPECT_EQ(b.OutChatMerge().size(), QSize(438, 173));
    EXPECT_EQ(b.InChatMerge().size(), QSize(310, 105));
    EXPECT_EQ(b.Picture1().size(), QSize(159, 35));
    EXPECT_EQ(b.Xpress2().image(), b.Picture1());
    // The key colour is background in every overlay.
    for (const QImage *overlay : {&b.MainMerge(), &b.SceneMerge(), &b.OutChatMerge(), &b.InChatMerge()}) {
        EXPECT_EQ(qAlpha(overlay->pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(overlay->pixel(1, 1)), 0);
    }
    EXPECT_TRUE(b.Xpress1().isEmpty());
    EXPECT_FALSE(b.hasPicture());
}

} // namespace

namespace {

// The rows of a window image that differ from a flat picture, as runs
// [first, last].
std::vector<std::pair<int, int>> elementRuns(const QImage &image, QRgb flat)
{
    std::vector<std::pair<int, int>> runs;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        const bool drawn = std::any_of(line, line + image.width(), [&](QRgb p) { return p != flat; });
        if (drawn && !runs.empty() && runs.back().second == y - 1)
            runs.back().second = y;
        else if (drawn)
            runs.push_back({y, y});
    }
    return runs;
}

class StoredScene : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("flat.bmp"));
        ASSERT_TRUE(test::solid(40, 40, QColor(kFlat)).save(path));
        ASSERT_TRUE(b.LoadImage(path, {}).ok());
    }

    static constexpr QRgb kFlat = 0xFF204060;
    QTemporaryDir dir;
    SkinBuilder b{SkinTemplates::compiledIn()};
};

// The scene overlay is taller than the scene image: only rows with nothing
// drawn on them are dropped, so every row of its buttons and labels reaches
// the image whole, in order, near its place scaled to the image's height.
TEST_F(StoredScene, EveryRowOfTheOverlaysElementsReachesTheImageWhole)
{
    const QImage &overlay = b.SceneMerge();
    const QImage image = b.Xpress3().image();
    ASSERT_EQ(image.size(), kSceneImageSize);
    int next = 0;
    int rows = 0;
    for (int r = 0; r < overlay.height(); ++r) {
        QList<QRgb> expected(overlay.width());
        bool drawn = false;
        for (int x = 0; x < overlay.width(); ++x) {
            const QRgb o = overlay.pixel(x, r);
            drawn |= qAlpha(o) >= 128;
            expected[x] = qAlpha(o) >= 128 ? o | 0xFF000000u : kFlat;
        }
        if (!drawn)
            continue;
        ++rows;
        int found = next;
        while (found < image.height()
               && !std::equal(expected.begin(), expected.end(), reinterpret_cast<const QRgb *>(image.constScanLine(found))))
            ++found;
        ASSERT_LT(found, image.height()) << "template row " << r << " is not in the image after row " << next;
        EXPECT_NEAR(found, r * image.height() / overlay.height(), 4) << "template row " << r;
        next = found + 1;
    }
    EXPECT_GT(rows, 80);
}

// The scene window's layout numbers in the skin template describe the image
// as exported: the scene list below the Choose Scene bar, the skin list
// below the Choose Skin bar, the Scene Size bar where it is, all inside.
TEST_F(StoredScene, TheTemplatesLayoutNumbersDescribeTheExportedImage)
{
    QFile file(QStringLiteral(VELLORAN_RESOURCES_DIR "/DefaultSkin.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QMap<QByteArray, int> numbers;
    for (const QByteArray &line : file.readAll().split('\n'))
        if (const qsizetype equals = line.indexOf('='); equals > 0)
            numbers[line.left(equals)] = line.mid(equals + 1).trimmed().toInt();

    // Window buttons, Choose Scene, Choose Skin, Scene Size.
    const auto runs = elementRuns(b.Xpress3().image(), kFlat);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_GT(numbers["SceneListTop"], runs[1].second);
    EXPECT_LT(numbers["SceneListTop"], runs[2].first);
    EXPECT_GT(numbers["SkinListTop"], runs[2].second);
    EXPECT_LT(numbers["SkinListTop"], runs[3].first);
    EXPECT_EQ(numbers["SceneSizeTop"], runs[3].first);
    EXPECT_LT(runs[3].second, kSceneImageSize.height());
}

} // namespace
