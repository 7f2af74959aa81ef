// Outer size, thumb placement, rail rectangle and painting of ucSlider.
#include "sliderfixture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPalette>

#include <utility>

namespace velloran::test {
namespace {

using test::PrintTo;

QRgb pixelAt(QWidget &widget, int x, int y)
{
    return widget.grab().toImage().pixel(x, y);
}

QRgb role(const QWidget &widget, QPalette::ColorRole colourRole)
{
    return widget.palette().color(colourRole).rgb();
}

TEST(SliderDefaults, NewSliderHoldsTheDefaultsOfEveryProperty)
{
    ucSlider slider;
    EXPECT_TRUE(slider.Enabled());
    EXPECT_EQ(slider.BackColor(), 0x8000000Fu);
    EXPECT_EQ(slider.MousePointer(), 0);
    EXPECT_TRUE(slider.MouseIcon().isNull());
    EXPECT_EQ(slider.Max(), 10);
    EXPECT_EQ(slider.Min(), 0);
    EXPECT_EQ(slider.Value(), 0);
    EXPECT_EQ(slider.Orientation(), ucSlider::Vertical);
    EXPECT_EQ(slider.RailStyle(), ucSlider::RailSunken);
    EXPECT_TRUE(slider.SliderImage().isNull());
    EXPECT_TRUE(slider.RailImage().isNull());
    EXPECT_TRUE(slider.ShowValueTip());
    EXPECT_EQ(slider.thumbSize(), QSize(16, 16));
    EXPECT_EQ(slider.railSize(), QSize(16, 17));
}

// The main window's slider: horizontal, picture rail, thumb 26 x 25, rail
// 113 x 18, -100 to 100 at 0.
TEST(SliderLayout, MainWindowSliderLaysOutAsWorkedOut)
{
    Host host;
    ucSlider *slider = host.mainSlider();

    EXPECT_EQ(slider->size(), QSize(117, 25));
    EXPECT_EQ(slider->thumbPosition(), QPointF(45.5, 0.0));
    EXPECT_EQ(slider->railRect(), (SliderRect{11, 10, 106, 14}));

    const QImage image = slider->grab().toImage();
    const QRgb background = role(*slider, QPalette::Button);
    EXPECT_EQ(image.pixel(2, 3), kRailMarker) << "rail picture at (2, 3)";
    EXPECT_EQ(image.pixel(1, 3), background);
    EXPECT_EQ(image.pixel(2, 2), background);
    EXPECT_EQ(image.pixel(114, 20), kRailColour) << "rail picture ends at x 114, y 20";
    EXPECT_EQ(image.pixel(115, 20), background);
    // The thumb at 45.5 is drawn at the even neighbour, 46; its transparent
    // corner shows the background.
    EXPECT_EQ(image.pixel(46 + 3, 3), kThumbMarker);
    EXPECT_EQ(image.pixel(46, 0), background);

    slider->SetEnabled(true);
    slider->SetValue(100);
    EXPECT_EQ(slider->thumbPosition(), QPointF(91.0, 0.0)) << "track length 91";
}

TEST(SliderLayout, PictureRailSliderTakesItsSizeBackFromThePictures)
{
    Host host;
    ucSlider *slider = host.mainSlider();
    slider->resize(200, 50);
    EXPECT_EQ(slider->size(), QSize(117, 25));
}

struct PictureRailCase
{
    const char *name;
    qint32 orientation;
    QSize thumb;
    QSize rail;
    QSize expectedSize;
    QPointF expectedThumb; // at value 0 on 0..10
    QPoint expectedRailPos;
};

class PictureRailLayout : public ::testing::TestWithParam<PictureRailCase>
{
};

TEST_P(PictureRailLayout, SizesFromPicturesAndCentresTheSmallerOne)
{
    const PictureRailCase &c = GetParam();
    Host host;
    auto *slider = new ucSlider(&host.window());
    slider->setGeometry(8, 40, 300, 300);
    slider->show();
    slider->SetRailStyle(ucSlider::RailPicture);
    slider->SetOrientation(c.orientation);
    // An invisible thumb keeps the rail picture in view.
    slider->SetSliderImage(invisibleThumbPicture(c.thumb));
    slider->SetRailImage(railPicture(c.rail));

    EXPECT_EQ(slider->size(), c.expectedSize);
    EXPECT_EQ(slider->thumbPosition(), c.expectedThumb);
    const QImage image = slider->grab().toImage();
    EXPECT_EQ(image.pixel(c.expectedRailPos), kRailMarker);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, PictureRailLayout,
    ::testing::Values(
        // Thumb top 0, rail centred: half(25 - 18) = 3.
        PictureRailCase{"HorizontalThumbTallerThanRail", ucSlider::Horizontal, {26, 25},
                        {113, 18}, {117, 25}, {0.0, 0.0}, {2, 3}},
        // Thumb top half(18 - 13) = 2, rail at the top.
        PictureRailCase{"HorizontalThumbLowerThanRail", ucSlider::Horizontal, {26, 13},
                        {113, 18}, {117, 18}, {0.0, 2.0}, {2, 0}},
        // Min at the bottom: thumb top 117 - 26.
        PictureRailCase{"VerticalThumbWiderThanRail", ucSlider::Vertical, {25, 26}, {18, 113},
                        {25, 117}, {0.0, 91.0}, {3, 2}},
        PictureRailCase{"VerticalThumbNarrowerThanRail", ucSlider::Vertical, {13, 26},
                        {18, 113}, {18, 117}, {2.0, 91.0}, {0, 2}}),
    [](const auto &info) { return std::string(info.param.name); });

struct DrawnRailCase
{
    const char *name;
    qint32 orientation;
    QSize given;
    QSize expected;
    SliderRect railRect;
    QPointF thumb; // at value 0 on 0..10
};

class DrawnRailLayout : public ::testing::TestWithParam<DrawnRailCase>
{
};

// The host decides the length of a drawn-rail slider, the thumb its
// thickness; a zero length becomes the thumb's.
TEST_P(DrawnRailLayout, KeepsTheHostLengthAndTakesTheThumbThickness)
{
    const DrawnRailCase &c = GetParam();
    Host host;
    auto *slider = new ucSlider(&host.window());
    if (c.orientation != ucSlider::Vertical)
        slider->SetOrientation(c.orientation);
    slider->setGeometry(QRect(QPoint(8, 40), c.given));
    slider->show();

    EXPECT_EQ(slider->size(), c.expected);
    EXPECT_EQ(slider->railRect(), c.railRect);
    EXPECT_EQ(slider->thumbPosition(), c.thumb);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, DrawnRailLayout,
    ::testing::Values(
        // A new slider is vertical: 16 wide, Min at the bottom.
        DrawnRailCase{"NewSlider", ucSlider::Vertical, {40, 60}, {16, 60}, {6, 6, 10, 54},
                      {0.0, 44.0}},
        DrawnRailCase{"NewSliderOfZeroHeight", ucSlider::Vertical, {40, 0}, {16, 16},
                      {6, 6, 10, 10}, {0.0, 0.0}},
        DrawnRailCase{"Horizontal", ucSlider::Horizontal, {150, 40}, {150, 16}, {6, 6, 144, 10},
                      {0.0, 0.0}},
        DrawnRailCase{"HorizontalOfZeroWidth", ucSlider::Horizontal, {0, 40}, {16, 16},
                      {6, 6, 10, 10}, {0.0, 0.0}}),
    [](const auto &info) { return std::string(info.param.name); });

// Distinct colours for every role an edge uses.
QPalette edgePalette()
{
    QPalette palette;
    palette.setColor(QPalette::Button, QColor(192, 192, 192));
    palette.setColor(QPalette::Light, QColor(250, 250, 250));
    palette.setColor(QPalette::Midlight, QColor(220, 220, 220));
    palette.setColor(QPalette::Dark, QColor(128, 128, 128));
    palette.setColor(QPalette::Shadow, QColor(40, 40, 40));
    return palette;
}

enum Expect { Bg, Light, Midlight, Dark, Shadow };

QRgb expectedColour(Expect expect)
{
    const QPalette palette = edgePalette();
    switch (expect) {
    case Light:
        return palette.color(QPalette::Light).rgb();
    case Midlight:
        return palette.color(QPalette::Midlight).rgb();
    case Dark:
        return palette.color(QPalette::Dark).rgb();
    case Shadow:
        return palette.color(QPalette::Shadow).rgb();
    case Bg:
        break;
    }
    return palette.color(QPalette::Button).rgb();
}

struct RailStyleCase
{
    const char *name;
    qint32 railStyle;
    // Rows 6 to 9 of the rail at x = 20 (outer top, inner top, inner
    // bottom, outer bottom), then the top-right corner pixel (93, 6).
    Expect column[4];
    Expect topRightCorner;
};

class RailStylePainting : public ::testing::TestWithParam<RailStyleCase>
{
};

// Horizontal, 100 x 16, thumb at the left end: m_RailRect is 6, 6, 94, 10.
TEST_P(RailStylePainting, DrawsTheEdgeOfItsStyle)
{
    const RailStyleCase &c = GetParam();
    Host host;
    auto *slider = new ucSlider(&host.window());
    slider->setPalette(edgePalette());
    slider->SetOrientation(ucSlider::Horizontal);
    slider->setGeometry(8, 40, 100, 16);
    slider->show();
    slider->SetRailStyle(c.railStyle);
    ASSERT_EQ(slider->railRect(), (SliderRect{6, 6, 94, 10}));

    const QImage image = slider->grab().toImage();
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(image.pixel(20, 6 + row), expectedColour(c.column[row])) << "row " << 6 + row;
    EXPECT_EQ(image.pixel(93, 6), expectedColour(c.topRightCorner));
    EXPECT_EQ(image.pixel(94, 7), expectedColour(Bg)) << "the rail ends before x 94";
    EXPECT_EQ(image.pixel(20, 5), expectedColour(Bg));
    EXPECT_EQ(image.pixel(20, 10), expectedColour(Bg));
}

INSTANTIATE_TEST_SUITE_P(
    Slider, RailStylePainting,
    ::testing::Values(RailStyleCase{"SunkenGroove", 0, {Dark, Shadow, Midlight, Light}, Light},
                      RailStyleCase{"RaisedRidge", 1, {Midlight, Light, Dark, Shadow}, Shadow},
                      RailStyleCase{"ThinSunkenLine", 2, {Dark, Bg, Bg, Light}, Light},
                      RailStyleCase{"ThinRaisedLine", 3, {Light, Bg, Bg, Dark}, Dark},
                      RailStyleCase{"Invisible", 4, {Bg, Bg, Bg, Bg}, Bg},
                      RailStyleCase{"UnknownStyle", 7, {Bg, Bg, Bg, Bg}, Bg},
                      RailStyleCase{"PictureStyleWithoutPicture", 99, {Bg, Bg, Bg, Bg}, Bg}),
    [](const auto &info) { return std::string(info.param.name); });

struct ThumbBlockCase
{
    const char *name;
    int width;    // the track is width - 16
    qint32 value; // on 0..10
    float left;
    SliderRect thumbRect;
};

class PicturelessThumb : public ::testing::TestWithParam<ThumbBlockCase>
{
};

// Without a picture the thumb is a raised button-face block at the whole
// pixel nearest to its position, ties going to the even neighbour.
TEST_P(PicturelessThumb, IsARaisedBlockAtTheNearestWholePixel)
{
    const ThumbBlockCase &c = GetParam();
    Host host;
    auto *slider = new ucSlider(&host.window());
    slider->setPalette(edgePalette());
    slider->SetBackColor(0x000000FFu); // red, to tell the block from the background
    slider->SetRailStyle(ucSlider::RailInvisible);
    slider->SetOrientation(ucSlider::Horizontal);
    slider->setGeometry(8, 40, c.width, 16);
    slider->show();
    slider->SetValue(c.value);

    EXPECT_FLOAT_EQ(slider->thumbPosition().x(), c.left);
    EXPECT_EQ(slider->thumbRect(), c.thumbRect);
    const QImage image = slider->grab().toImage();
    const int l = c.thumbRect.left;
    EXPECT_EQ(image.pixel(l - 1, 8), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(l, 0), expectedColour(Midlight));
    EXPECT_EQ(image.pixel(l + 1, 1), expectedColour(Light));
    EXPECT_EQ(image.pixel(l + 8, 8), expectedColour(Bg)) << "button face inside";
    EXPECT_EQ(image.pixel(l + 14, 14), expectedColour(Dark));
    EXPECT_EQ(image.pixel(l + 15, 15), expectedColour(Shadow));
    EXPECT_EQ(image.pixel(l + 15, 0), expectedColour(Shadow)) << "shade takes the corner";
    EXPECT_EQ(image.pixel(l + 16, 8), qRgb(255, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Slider, PicturelessThumb,
    ::testing::Values(ThumbBlockCase{"TieGoesDown", 25, 5, 4.5f, {4, 0, 20, 16}},
                      ThumbBlockCase{"TieGoesUp", 31, 5, 7.5f, {8, 0, 24, 16}},
                      ThumbBlockCase{"Fraction", 26, 3, 3.0f, {3, 0, 19, 16}},
                      ThumbBlockCase{"NearestBelow", 25, 3, 2.7f, {3, 0, 19, 16}}),
    [](const auto &info) { return std::string(info.param.name); });

// What the slider shows changes only when it redraws: a colour loaded from a
// store appears with the next redraw, and assignments that do not redraw
// leave the old drawing.
TEST(SliderPainting, OnlyBackColorAndNewValuesRedraw)
{
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, {8, 40, 100, 16}, 0, 10, 0);
    slider->SetBackColor(0x0000FF00u); // green
    ASSERT_EQ(pixelAt(*slider, 50, 1), qRgb(0, 255, 0));

    PropertyBag store;
    store.WriteProperty(QStringLiteral("BackColor"), 0x000000FFu); // red
    store.WriteProperty(QStringLiteral("Orientation"), 0);
    slider->ReadProperties(store);
    EXPECT_EQ(pixelAt(*slider, 50, 1), qRgb(0, 255, 0)) << "loading paints nothing";

    slider->SetEnabled(false);
    slider->SetShowValueTip(false);
    slider->SetValue(0);
    EXPECT_EQ(pixelAt(*slider, 50, 1), qRgb(0, 255, 0))
        << "Enabled, ShowValueTip and the current value do not redraw";

    slider->SetValue(1);
    EXPECT_EQ(pixelAt(*slider, 50, 1), qRgb(255, 0, 0)) << "a new value redraws";

    slider->SetBackColor(0x00FF0000u); // blue
    EXPECT_EQ(pixelAt(*slider, 50, 1), qRgb(0, 0, 255)) << "BackColor redraws at once";
}

// The drawing is kept while what it shows is unchanged, and drawn again as
// soon as any of it changes. The main window's thumb is drawn at 46 for the
// values 0 to 2 (45.5, 45.955, 46.41) and at 47 for 3 (46.865).
TEST(SliderPainting, KeepsItsDrawingWhileWhatItShowsIsUnchanged)
{
    Host host;
    ucSlider *slider = host.mainSlider();
    auto redrawn = [slider, drawn = slider->drawing().cacheKey()]() mutable {
        const qint64 now = slider->drawing().cacheKey();
        return std::exchange(drawn, now) != now;
    };
    ASSERT_FALSE(slider->drawing().isNull());

    slider->SetBackColor(slider->BackColor());
    EXPECT_FALSE(redrawn()) << "the same colour";
    slider->SetRailStyle(slider->RailStyle());
    EXPECT_FALSE(redrawn()) << "the same layout";
    slider->SetValue(2);
    EXPECT_FALSE(redrawn()) << "a new value on the same whole pixel";
    EXPECT_FLOAT_EQ(float(slider->thumbPosition().x()), 46.41f);

    slider->SetValue(3);
    EXPECT_TRUE(redrawn()) << "the thumb on another pixel";
    slider->SetBackColor(0x000000FFu);
    EXPECT_TRUE(redrawn()) << "another colour";
    QPalette palette = slider->palette();
    palette.setColor(QPalette::Button, QColor(1, 2, 3));
    slider->setPalette(palette);
    slider->SetBackColor(slider->BackColor());
    EXPECT_TRUE(redrawn()) << "another palette";
    slider->SetRailImage(railPicture(QSize(113, 18)));
    EXPECT_TRUE(redrawn()) << "another rail picture";
    slider->SetRailStyle(ucSlider::RailSunken);
    EXPECT_TRUE(redrawn()) << "another rail";
    slider->resize(140, 25);
    EXPECT_TRUE(redrawn()) << "another size";
    EXPECT_EQ(slider->drawing().size(), QSize(140, 25));

    // What it keeps is what it would draw anew.
    const QImage kept = slider->grab().toImage();
    slider->SetRailStyle(ucSlider::RailRaised);
    slider->SetRailStyle(ucSlider::RailSunken);
    EXPECT_TRUE(redrawn());
    EXPECT_EQ(slider->grab().toImage(), kept);
}

TEST(SliderLayout, UnsupportedOrientationAndRailStyleAreKeptAndChangeNoGeometry)
{
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, {8, 40, 116, 16}, 0, 10, 5);
    ASSERT_EQ(slider->thumbPosition(), QPointF(50.0, 0.0));

    slider->SetOrientation(5);
    slider->SetRailStyle(7);
    slider->resize(200, 30);

    EXPECT_EQ(slider->Orientation(), 5);
    EXPECT_EQ(slider->RailStyle(), 7);
    EXPECT_EQ(slider->size(), QSize(200, 30)) << "the host's size stands";
    EXPECT_EQ(slider->thumbPosition(), QPointF(50.0, 0.0));
    EXPECT_EQ(slider->railRect(), (SliderRect{6, 6, 110, 10}));
}

// The new orientation takes the thumb's width; the length stays the host's.
TEST(SliderLayout, TurningAHorizontalSliderVerticalLaysItOutAnew)
{
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, {8, 40, 116, 16}, 0, 10, 5);
    slider->SetOrientation(ucSlider::Vertical);
    EXPECT_EQ(slider->size(), QSize(16, 16));

    slider->resize(16, 116);
    EXPECT_EQ(slider->thumbPosition(), QPointF(0.0, 50.0));
    EXPECT_EQ(slider->railRect(), (SliderRect{6, 6, 10, 110}));
}

} // namespace
} // namespace velloran::test
