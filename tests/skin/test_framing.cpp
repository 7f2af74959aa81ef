#include "skin/framing.h"
#include "skin/hostwindows.h"
#include "support/testsupport.h"

#include <gtest/gtest.h>

#include <QString>

#include <cmath>
#include <vector>

namespace velloran {
namespace {

struct Shape
{
    const char *name;
    QSize size;
};

const Shape kShapes[] = {
    {"4:3", {1600, 1200}},       {"16:9", {1920, 1080}},        {"1:1", {1000, 1000}},
    {"panorama", {20000, 60}},   {"strip", {60, 20000}},        {"smaller than the window", {50, 40}},
};

// For every window and picture shape: the crop has the window's proportions
// within a pixel, spans the picture on one axis, and stays inside it for
// every focus; focus 0, 0.5 and 1 put it against one edge, in the middle
// and against the other edge.
TEST(FillCrop, HasTheWindowsProportionsAndStaysInsideThePicture)
{
    for (const HostWindowInfo &window : kHostWindows) {
        for (const Shape &shape : kShapes) {
            SCOPED_TRACE(std::string(window.fileSuffix.data(), window.fileSuffix.size()) + " from " + shape.name);
            const QSize picture = shape.size;
            const QRect centred = fillCrop(picture, window.size, {});
            ASSERT_FALSE(centred.isEmpty());
            EXPECT_TRUE(QRect(QPoint(), picture).contains(centred));
            EXPECT_TRUE(centred.width() == picture.width() || centred.height() == picture.height());
            // Cropped to the window's proportions: the other side within
            // half a pixel of them (one at the smallest crops).
            const double expectedHeight = double(centred.width()) * window.size.height() / window.size.width();
            const double expectedWidth = double(centred.height()) * window.size.width() / window.size.height();
            if (centred.width() == picture.width() && centred.height() != picture.height()) {
                EXPECT_NEAR(centred.height(), expectedHeight, 1.0);
            } else if (centred.height() == picture.height() && centred.width() != picture.width()) {
                EXPECT_NEAR(centred.width(), expectedWidth, 1.0);
            }

            const int slackX = picture.width() - centred.width();
            const int slackY = picture.height() - centred.height();
            EXPECT_NEAR(centred.left(), slackX / 2.0, 1.0);
            EXPECT_NEAR(centred.top(), slackY / 2.0, 1.0);
            EXPECT_EQ(fillCrop(picture, window.size, {0, 0}).topLeft(), QPoint(0, 0));
            EXPECT_EQ(fillCrop(picture, window.size, {1, 1}).topLeft(), QPoint(slackX, slackY));
            for (const Focus focus : {Focus{-5, 7}, Focus{0.2, 0.9}, Focus{NAN, INFINITY}}) {
                const QRect crop = fillCrop(picture, window.size, focus);
                EXPECT_TRUE(QRect(QPoint(), picture).contains(crop));
                EXPECT_EQ(crop.size(), centred.size());
            }
        }
    }
}

// Mean length of the runs of one colour along a line of pixels, the first
// and last (cut) runs left out.
double meanRun(const std::vector<QRgb> &line)
{
    std::vector<int> runs;
    int run = 1;
    for (std::size_t i = 1; i < line.size(); ++i) {
        if ((qGray(line[i]) > 127) == (qGray(line[i - 1]) > 127)) {
            ++run;
        } else {
            runs.push_back(run);
            run = 1;
        }
    }
    if (runs.size() < 3)
        return 0;
    double sum = 0;
    for (std::size_t i = 1; i < runs.size(); ++i)
        sum += runs[i];
    return sum / double(runs.size() - 1);
}

QImage checkerboard(QSize size, int cell)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, ((x / cell + y / cell) % 2) ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return image;
}

// Filled, the picture is scaled by one factor on both axes: the cells of a
// checkerboard stay square within a pixel, in every window, from a
// landscape and a portrait picture. Stretched, they do not (the check can
// fail).
TEST(FramePicture, FillScalesBothAxesAlikeAndGivesTheWindowsSize)
{
    for (const QSize pictureSize : {QSize(1200, 900), QSize(640, 1280)}) {
        const QImage board = checkerboard(pictureSize, 40);
        for (const HostWindowInfo &window : kHostWindows) {
            SCOPED_TRACE(std::string(window.fileSuffix.data(), window.fileSuffix.size()));
            const QImage filled = framePicture(board, window.size, {FitMode::Fill, {}});
            ASSERT_EQ(filled.size(), window.size);
            std::vector<QRgb> row, column;
            for (int x = 0; x < filled.width(); ++x)
                row.push_back(filled.pixel(x, filled.height() / 2));
            for (int y = 0; y < filled.height(); ++y)
                column.push_back(filled.pixel(filled.width() / 2, y));
            const double scale = std::max(double(window.size.width()) / pictureSize.width(),
                                          double(window.size.height()) / pictureSize.height());
            const double across = meanRun(row);
            const double down = meanRun(column);
            if (across > 0) {
                EXPECT_NEAR(across, 40 * scale, 1.0);
            }
            if (down > 0) {
                EXPECT_NEAR(down, 40 * scale, 1.0);
            }
        }
    }
    const QImage stretched = framePicture(checkerboard({1200, 900}, 40), kSceneImageSize, {});
    EXPECT_EQ(stretched.size(), kSceneImageSize);
}

// Stretch is the plain resampling of the whole picture; a picture smaller
// than the window is enlarged either way.
TEST(FramePicture, StretchIsTheWholePictureResampledAndSmallPicturesAreEnlarged)
{
    const QImage picture = test::gradient(300, 200);
    const QImage stretched = framePicture(picture, kMainImageSize, {FitMode::Stretch, {0.1, 0.9}});
    EXPECT_EQ(stretched, framePicture(picture, kMainImageSize, {}));
    EXPECT_EQ(stretched.size(), kMainImageSize);
    EXPECT_EQ(framePicture(test::gradient(30, 20), kMainImageSize, {FitMode::Fill, {}}).size(), kMainImageSize);
    EXPECT_TRUE(framePicture(QImage(), kMainImageSize, {FitMode::Fill, {}}).isNull());
}

TEST(KeptPicture, IsScaledDownAsFarAsItStillCoversEveryWindow)
{
    const QSize cover(800, 629);
    struct Case
    {
        QSize picture, kept;
    };
    const Case cases[] = {
        {{8000, 6000}, {839, 629}},    // the height decides
        {{8192, 8192}, {800, 800}},    // the width decides
        {{1000, 629}, {1000, 629}},    // already as small as it may be
        {{640, 480}, {640, 480}},      // never enlarged
        {{20000, 60}, {20000, 60}},    // too low to reduce
        {{4000, 1000}, {2516, 629}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << c.picture.width() << " x " << c.picture.height());
        EXPECT_EQ(keptPictureSize(c.picture, cover), c.kept);
    }
}

// Dragging moves the picture with the pointer: the crop moves the other way
// by the drag in picture pixels, stops at the picture's edge, and answers at
// once when the drag turns back.
TEST(Pan, TheCropFollowsThePointerAndStopsAtTheEdge)
{
    const QSize picture(2000, 1000); // the scene window shows a 400 x 1000 strip of it
    const QSize window = kSceneImageSize;
    const double scale = double(window.height()) / picture.height();
    const QRect start = fillCrop(picture, window, {});

    const Focus right = panned(picture, window, {}, {50, 0});
    EXPECT_NEAR(fillCrop(picture, window, right).left(), start.left() - 50 / scale, 1.0);
    EXPECT_DOUBLE_EQ(right.y, 0.5) << "no room to move down: the focus stays";

    const Focus farLeft = panned(picture, window, {}, {-10000, 0});
    EXPECT_EQ(fillCrop(picture, window, farLeft).right(), picture.width() - 1);
    const Focus back = panned(picture, window, farLeft, {10, 0});
    EXPECT_LT(fillCrop(picture, window, back).right(), picture.width() - 1);

    // A focus beyond reach (typed on the command line) moves from where the
    // crop really is.
    const Focus typed{1.0, 0.5};
    const Focus nudged = panned(picture, window, typed, {10, 0});
    EXPECT_LT(fillCrop(picture, window, nudged).left(), fillCrop(picture, window, typed).left());
}

TEST(ParseFocus, TakesTwoFractionsFromZeroToOne)
{
    struct Case
    {
        const char *text;
        bool ok;
        Focus focus;
    };
    const Case cases[] = {
        {"0.5,0.5", true, {0.5, 0.5}}, {"0,1", true, {0, 1}},    {" 0.25 , 0.75 ", true, {0.25, 0.75}},
        {"1.5,0", false, {}},          {"-0.1,0.5", false, {}},  {"0.5", false, {}},
        {"0.5,0.5,0.5", false, {}},    {"a,b", false, {}},       {"nan,0.5", false, {}},
        {"", false, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<Focus> focus = parseFocus(QString::fromLatin1(c.text));
        ASSERT_EQ(focus.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*focus, c.focus);
        }
    }
}

} // namespace
} // namespace velloran
