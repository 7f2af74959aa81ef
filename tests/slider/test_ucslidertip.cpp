// The value tip: one shared window beside the dragged thumb, showing the
// value, closed by every release.
#include "sliderfixture.h"

#include "slider/ucslidertip.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QTest>

#include <cmath>

namespace velloran::test {
namespace {

using test::PrintTo;

class SliderTip : public ::testing::Test
{
protected:
    void TearDown() override { ucSliderTip::closeShared(); }

    static int textWidth(const QString &text)
    {
        return QFontMetrics(ucSliderTip::current()->lblTip()->font()).horizontalAdvance(text);
    }

    Host host;
};

// The main window's slider at (8, 40) in a window at (100, 200): its
// top-left corner is at (108, 240) on the screen.
TEST_F(SliderTip, HorizontalTipSitsCentredAboveTheThumbAndFollowsTheValue)
{
    ucSlider *slider = host.mainSlider();
    slider->SetEnabled(true);
    slider->SetValue(-100);
    ASSERT_EQ(slider->mapToGlobal(QPoint(0, 0)), QPoint(108, 240));
    EXPECT_EQ(ucSliderTip::current(), nullptr);

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(13, 12));
    ucSliderTip *tip = ucSliderTip::current();
    ASSERT_NE(tip, nullptr);
    EXPECT_TRUE(tip->isVisible());
    EXPECT_EQ(tip->lblTip()->text(), QStringLiteral("-100"));
    int w = textWidth(QStringLiteral("-100"));
    const int h = tip->lblTip()->height();
    EXPECT_EQ(tip->lblTip()->geometry(), QRect(2, 1, w, h));
    // x = 108 + 0 + half(26 - w - 4), y = 240 + 0 - h - 5: the tip's bottom
    // edge 2 pixels above the thumb.
    EXPECT_EQ(tip->geometry(), QRect(108 + (22 - w) / 2, 240 - h - 5, w + 4, h + 3));

    // 61 - 13 = 48 pixels along: value 5, thumb snapped to 47.775.
    QTest::mouseMove(slider, QPoint(61, 12));
    ASSERT_EQ(slider->Value(), 5);
    ASSERT_EQ(ucSliderTip::current(), tip) << "one tip window for the whole drag";
    EXPECT_EQ(tip->lblTip()->text(), QStringLiteral("5"));
    w = textWidth(QStringLiteral("5"));
    EXPECT_EQ(tip->width(), w + 4);
    const int expectedX = int(std::lround(108 + 47.775 + (22 - w) / 2));
    EXPECT_EQ(tip->x(), expectedX);
    EXPECT_EQ(tip->y(), 240 - h - 5);

    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(61, 12));
    EXPECT_EQ(ucSliderTip::current(), nullptr) << "a release destroys the tip";
}

// A vertical slider 16 x 116 at (8, 40) on 0..10 at 5: thumb top 50.
TEST_F(SliderTip, VerticalTipSitsLeftOfTheThumbCentredOnIt)
{
    ucSlider *slider = host.drawnSlider(ucSlider::Vertical, {8, 40, 16, 116}, 0, 10, 5);

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(8, 58));
    ucSliderTip *tip = ucSliderTip::current();
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(tip->lblTip()->text(), QStringLiteral("5"));
    const int w = textWidth(QStringLiteral("5"));
    const int h = tip->lblTip()->height();
    // x = 108 + 0 - w - 6: the right edge 2 pixels left of the thumb;
    // y = 240 + 50 + half(16 - h - 4).
    EXPECT_EQ(tip->geometry(), QRect(108 - w - 6, 290 + (12 - h) / 2, w + 4, h + 3));

    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(8, 58));
    EXPECT_EQ(ucSliderTip::current(), nullptr);
}

TEST_F(SliderTip, FrameIsRaisedAndTheWindowIsNeverActivated)
{
    ucSlider *slider = host.mainSlider();
    slider->SetEnabled(true);
    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(58, 12));
    ucSliderTip *tip = ucSliderTip::current();
    ASSERT_NE(tip, nullptr);
    QApplication::processEvents();
    EXPECT_FALSE(tip->isActiveWindow());

    const QImage image = tip->grab().toImage();
    const int right = image.width() - 1;
    const int bottom = image.height() - 1;
    const QRgb light = tip->palette().color(QPalette::Light).rgb();
    const QRgb dark = tip->palette().color(QPalette::Shadow).rgb();
    ASSERT_NE(light, dark);
    EXPECT_EQ(image.pixel(0, 0), light);
    EXPECT_EQ(image.pixel(right - 1, 0), light);
    EXPECT_EQ(image.pixel(0, bottom - 1), light);
    EXPECT_EQ(image.pixel(right, 0), dark) << "the dark lines take the corners";
    EXPECT_EQ(image.pixel(0, bottom), dark);
    EXPECT_EQ(image.pixel(right, bottom), dark);
    EXPECT_EQ(image.pixel(1, 1), qRgb(192, 192, 255)) << "background beside the label";
    EXPECT_EQ(image.pixel(2, 1), tip->palette().color(QPalette::Base).rgb()) << "label";

    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(58, 12));
}

struct NoTipCase
{
    const char *name;
    bool enabled;
    bool showValueTip;
};

class SliderWithoutTip : public SliderTip, public ::testing::WithParamInterface<NoTipCase>
{
};

TEST_P(SliderWithoutTip, PressShowsNoTip)
{
    ucSlider *slider = host.mainSlider();
    slider->SetEnabled(GetParam().enabled);
    slider->SetShowValueTip(GetParam().showValueTip);

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(100, 12));
    QTest::mouseMove(slider, QPoint(20, 12));
    EXPECT_EQ(ucSliderTip::current(), nullptr);
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(20, 12));
}

INSTANTIATE_TEST_SUITE_P(Slider, SliderWithoutTip,
                         ::testing::Values(NoTipCase{"TipSwitchedOff", true, false},
                                           NoTipCase{"SliderDisabled", false, true}),
                         [](const auto &info) { return std::string(info.param.name); });

// The tip is shared: any slider's release, or any slider's destruction,
// closes the tip another slider showed.
TEST_F(SliderTip, ReleaseOnAnySliderClosesTheSharedTip)
{
    ucSlider *shown = host.mainSlider();
    shown->SetEnabled(true);
    ucSlider *other = host.drawnSlider(ucSlider::Vertical, {200, 40, 16, 116}, 0, 10, 5);
    other->SetShowValueTip(false);

    QTest::mousePress(shown, Qt::LeftButton, {}, QPoint(58, 12));
    ASSERT_NE(ucSliderTip::current(), nullptr);
    QTest::mouseRelease(other, Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(ucSliderTip::current(), nullptr);
}

TEST_F(SliderTip, DestroyingAnySliderClosesTheSharedTip)
{
    ucSlider *shown = host.mainSlider();
    shown->SetEnabled(true);
    ucSlider *other = host.drawnSlider(ucSlider::Vertical, {200, 40, 16, 116}, 0, 10, 5);

    QTest::mousePress(shown, Qt::LeftButton, {}, QPoint(58, 12));
    ASSERT_NE(ucSliderTip::current(), nullptr);
    delete other;
    EXPECT_EQ(ucSliderTip::current(), nullptr);
    QTest::mouseRelease(shown, Qt::LeftButton, {}, QPoint(58, 12));
}

} // namespace
} // namespace velloran::test
