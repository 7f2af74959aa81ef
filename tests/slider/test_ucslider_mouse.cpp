// Pressing, dragging and releasing: the thumb follows the pointer, snaps to
// whole values and the events arrive in order.
#include "sliderfixture.h"
#include "slider/slidererror.h"
#include "slider/ucslidertip.h"

#include <gtest/gtest.h>

#include <QTest>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace velloran::test {
namespace {

using test::PrintTo;

struct MouseStep
{
    enum Kind { Press, Move, Release } kind;
    Qt::MouseButton button;
    QPoint pos;
    Qt::KeyboardModifiers modifiers = {};
};

MouseStep press(int x, int y, Qt::MouseButton button = Qt::LeftButton,
                Qt::KeyboardModifiers modifiers = {})
{
    return {MouseStep::Press, button, {x, y}, modifiers};
}
MouseStep moveTo(int x, int y)
{
    return {MouseStep::Move, Qt::NoButton, {x, y}};
}
MouseStep release(int x, int y, Qt::MouseButton button = Qt::LeftButton,
                  Qt::KeyboardModifiers modifiers = {})
{
    return {MouseStep::Release, button, {x, y}, modifiers};
}

void play(ucSlider &slider, const std::vector<MouseStep> &steps)
{
    for (const MouseStep &step : steps) {
        switch (step.kind) {
        case MouseStep::Press:
            QTest::mousePress(&slider, step.button, step.modifiers, step.pos);
            break;
        case MouseStep::Move:
            QTest::mouseMove(&slider, step.pos);
            break;
        case MouseStep::Release:
            QTest::mouseRelease(&slider, step.button, step.modifiers, step.pos);
            break;
        }
    }
}

// The main window's slider, enabled: 117 x 25, -100..100 at 0, thumb 26 x 25
// at 45.5 (covering x 45.5 to 71.5), a 91-pixel track.
struct MainSliderCase
{
    const char *name;
    bool enabled;
    std::vector<MouseStep> steps;
    std::vector<std::string> events;
    qint32 value;
    float thumbLeft;
};

class MainSliderMouse : public ::testing::TestWithParam<MainSliderCase>
{
};

TEST_P(MainSliderMouse, RaisesEventsInOrderAndLeavesTheThumbOnTheValue)
{
    const MainSliderCase &c = GetParam();
    Host host;
    ucSlider *slider = host.mainSlider();
    slider->SetEnabled(c.enabled);
    EventLog log(*slider);

    play(*slider, c.steps);

    EXPECT_EQ(log.events, c.events);
    EXPECT_EQ(slider->Value(), c.value);
    EXPECT_FLOAT_EQ(slider->thumbPosition().x(), c.thumbLeft);
    EXPECT_FALSE(slider->isDragging());
}

INSTANTIATE_TEST_SUITE_P(
    Slider, MainSliderMouse,
    ::testing::Values(
        MainSliderCase{"PressOnThumbAndRelease",
                       true,
                       {press(58, 12), release(58, 12)},
                       {"MouseDown 0", "Click", "MouseUp 0"},
                       0,
                       45.5f},
        // Centre under the pointer: 100 - 13 = 87 -> 91.2 -> 91, snapped to
        // 191 x 91 / 200.
        MainSliderCase{"PressOnRailRightOfThumb",
                       true,
                       {press(100, 12), release(100, 12)},
                       {"Change 91", "MouseDown 0", "Click", "MouseUp 0"},
                       91,
                       86.905f},
        // 20 - 13 = 7 -> -84.6 -> -85.
        MainSliderCase{"PressOnRailLeftOfThumb",
                       true,
                       {press(20, 12), release(20, 12)},
                       {"Change -85", "MouseDown 0", "Click", "MouseUp 0"},
                       -85,
                       6.825f},
        // 112 - 13 = 99 lies beyond the track: the thumb stops at the end.
        MainSliderCase{"PressOnRailNearTheEnd",
                       true,
                       {press(112, 12), release(112, 12)},
                       {"Change 100", "ArrivedLast", "MouseDown 0", "Click", "MouseUp 0"},
                       100,
                       91.0f},
        MainSliderCase{"DragPastTheRightEnd",
                       true,
                       {press(58, 12), moveTo(200, 12), moveTo(300, 40), release(300, 40)},
                       {"MouseDown 0", "Change 100", "ArrivedLast", "MouseUp 0"},
                       100,
                       91.0f},
        MainSliderCase{"DragPastTheLeftEnd",
                       true,
                       {press(58, 12), moveTo(-40, 12), moveTo(-80, -5), release(-80, -5)},
                       {"MouseDown 0", "Change -100", "ArrivedFirst", "MouseUp 0"},
                       -100,
                       0.0f},
        MainSliderCase{"DisabledSliderOnlyClicks",
                       false,
                       {press(100, 12), moveTo(110, 12), release(100, 12)},
                       {"Click"},
                       0,
                       45.5f},
        // The right button's release ends the drag; the left button's later
        // moves are ignored and its release only clicks.
        MainSliderCase{"RightButtonDuringADrag",
                       true,
                       {press(58, 12), press(58, 12, Qt::RightButton),
                        release(58, 12, Qt::RightButton), moveTo(100, 12), release(100, 12)},
                       {"MouseDown 0", "MouseUp 0", "Click"},
                       0,
                       45.5f},
        MainSliderCase{"RightButtonAloneDoesNothing",
                       true,
                       {press(100, 12, Qt::RightButton), release(100, 12, Qt::RightButton)},
                       {},
                       0,
                       45.5f},
        MainSliderCase{"ShiftStateReachesTheHandlers",
                       true,
                       {press(58, 12, Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier),
                        release(58, 12, Qt::LeftButton, Qt::AltModifier)},
                       {"MouseDown 3", "Click", "MouseUp 4"},
                       0,
                       45.5f}),
    [](const auto &info) { return std::string(info.param.name); });

// One pixel of travel spans about two values; after every move the thumb
// sits exactly on the place of the value it shows, and a value is reported
// once, when it is new.
TEST(SliderDrag, ThumbSnapsToTheValueAfterEveryMove)
{
    Host host;
    ucSlider *slider = host.mainSlider();
    slider->SetEnabled(true);
    EventLog log(*slider);

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(58, 12)); // held 12.5 from the left
    int changes = 0;
    qint32 previous = slider->Value();
    for (int x = 10; x <= 110; ++x) {
        QTest::mouseMove(slider, QPoint(x, 12));
        const qint32 v = slider->Value();
        const double position = std::clamp(x - 12.5, 0.0, 91.0);
        EXPECT_LE(std::abs(position / 91.0 * 200.0 - 100.0 - v), 0.5) << "x " << x;
        EXPECT_FLOAT_EQ(slider->thumbPosition().x(), float((v + 100) * 91.0 / 200.0))
            << "x " << x;
        if (v != previous)
            ++changes;
        previous = v;
    }
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(110, 12));

    const auto reported = std::count_if(log.events.begin(), log.events.end(), [](const auto &e) {
        return e.rfind("Change", 0) == 0;
    });
    EXPECT_EQ(reported, changes);
    EXPECT_EQ(slider->Value(), 100);
}

struct RoundingCase
{
    const char *name;
    int x;
    qint32 expected;
};

class SliderRounding : public ::testing::TestWithParam<RoundingCase>
{
};

// 0..8 over a 16-pixel track: every pixel is half a value. The thumb is held
// one pixel from its left edge, so it stands at x - 1.
TEST_P(SliderRounding, HalvesGoToTheEvenValue)
{
    const RoundingCase &c = GetParam();
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, {8, 40, 32, 16}, 0, 8, 0);

    play(*slider, {press(1, 8), moveTo(c.x, 8), release(c.x, 8)});

    EXPECT_EQ(slider->Value(), c.expected);
    EXPECT_FLOAT_EQ(slider->thumbPosition().x(), 2.0f * float(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Slider, SliderRounding,
                         ::testing::Values(RoundingCase{"OnePointFive", 4, 2},
                                           RoundingCase{"TwoPointFive", 6, 2},
                                           RoundingCase{"ThreePointFive", 8, 4},
                                           RoundingCase{"FourPointFive", 10, 4},
                                           RoundingCase{"NotATie", 9, 4}),
                         [](const auto &info) { return std::string(info.param.name); });

struct VerticalCase
{
    const char *name;
    std::vector<MouseStep> steps;
    std::vector<std::string> events;
    qint32 value;
    float thumbTop;
};

class VerticalSliderMouse : public ::testing::TestWithParam<VerticalCase>
{
};

// 16 x 116 on 0..10 at 5: Max at the top, Min at the bottom, thumb at 50.
TEST_P(VerticalSliderMouse, TopHoldsMaxAndBottomHoldsMin)
{
    const VerticalCase &c = GetParam();
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Vertical, {8, 40, 16, 116}, 0, 10, 5);
    ASSERT_EQ(slider->thumbPosition(), QPointF(0.0, 50.0));
    EventLog log(*slider);

    play(*slider, c.steps);

    EXPECT_EQ(log.events, c.events);
    EXPECT_EQ(slider->Value(), c.value);
    EXPECT_FLOAT_EQ(slider->thumbPosition().y(), c.thumbTop);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, VerticalSliderMouse,
    ::testing::Values(
        VerticalCase{"DragAboveTheTop",
                     {press(8, 58), moveTo(8, -30), release(8, -30)},
                     {"MouseDown 0", "Change 10", "ArrivedLast", "MouseUp 0"},
                     10,
                     0.0f},
        VerticalCase{"DragBelowTheBottom",
                     {press(8, 58), moveTo(8, 300), release(8, 300)},
                     {"MouseDown 0", "Change 0", "ArrivedFirst", "MouseUp 0"},
                     0,
                     100.0f},
        // Centre under the pointer: 33 - 8 = 25 from the top, 7.5 -> 8.
        VerticalCase{"PressOnRailAboveTheThumb",
                     {press(8, 33), release(8, 33)},
                     {"Change 8", "MouseDown 0", "Click", "MouseUp 0"},
                     8,
                     20.0f}),
    [](const auto &info) { return std::string(info.param.name); });

struct NoTravelCase
{
    const char *name;
    qint32 orientation;
    QRect geometry;
};

class SliderWithoutTravel : public ::testing::TestWithParam<NoTravelCase>
{
};

// A slider the mouse cannot move (no known direction, or a thumb as long as
// the slider) still reports the press and release but keeps its value.
TEST_P(SliderWithoutTravel, KeepsItsValue)
{
    const NoTravelCase &c = GetParam();
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, c.geometry, -5, 5, 3);
    if (c.orientation != ucSlider::Horizontal)
        slider->SetOrientation(c.orientation);
    EventLog log(*slider);

    play(*slider, {press(3, 3), moveTo(9, 3), release(3, 3)});

    EXPECT_EQ(slider->Value(), 3);
    EXPECT_EQ(log.events, (std::vector<std::string>{"MouseDown 0", "Click", "MouseUp 0"}));
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderWithoutTravel,
    ::testing::Values(NoTravelCase{"UnknownOrientation", 5, {8, 40, 100, 16}},
                      NoTravelCase{"ThumbAsLongAsTheSlider", ucSlider::Horizontal,
                                   {8, 40, 16, 16}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace velloran::test

namespace velloran::test {
namespace {

// Handlers that throw, as a host's might: the exception never crosses Qt's
// delivery of the mouse event, the events after it are still raised, and a
// release ends the drag and closes the tip whatever the handlers do.
TEST(SliderHandlers, ThatThrowNeitherEscapeNorLeaveTheDragOpen)
{
    Host host;
    ucSlider *slider = host.mainSlider();
    slider->SetEnabled(true);
    std::vector<std::string> raised;
    QObject::connect(slider, &ucSlider::MouseDown, slider, [&](qint16 &) {
        raised.push_back("MouseDown");
        throw std::runtime_error("down");
    });
    QObject::connect(slider, &ucSlider::Change, slider, [&] {
        raised.push_back("Change");
        throw SliderError(SliderError::Overflow);
    });
    QObject::connect(slider, &ucSlider::Click, slider, [&] {
        raised.push_back("Click");
        throw 42;
    });
    QObject::connect(slider, &ucSlider::MouseUp, slider, [&](qint16 &) {
        raised.push_back("MouseUp");
        throw std::runtime_error("up");
    });

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(58, 12));
    EXPECT_TRUE(slider->isDragging());
    EXPECT_NE(ucSliderTip::current(), nullptr);
    QTest::mouseMove(slider, QPoint(80, 12));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(80, 12));
    EXPECT_EQ(raised, (std::vector<std::string>{"MouseDown", "Change", "Click", "MouseUp"}));
    EXPECT_FALSE(slider->isDragging());
    EXPECT_EQ(ucSliderTip::current(), nullptr);
}

// A handler of the Change that a press's jump raises may fail too: the press
// still holds the thumb, shows the tip and reports MouseDown.
TEST(SliderHandlers, ThatThrowDuringThePressJumpLeaveThePressWhole)
{
    Host host;
    ucSlider *slider = host.mainSlider();
    slider->SetEnabled(true);
    EventLog log(*slider);
    QObject::connect(slider, &ucSlider::Change, slider, [] { throw std::runtime_error("change"); });

    QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(100, 12));
    EXPECT_EQ(slider->Value(), 91);
    EXPECT_TRUE(slider->isDragging());
    EXPECT_NE(ucSliderTip::current(), nullptr);
    EXPECT_EQ(log.events, (std::vector<std::string>{"Change 91", "MouseDown 0"}));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(100, 12));
    EXPECT_EQ(ucSliderTip::current(), nullptr);
}

// The slider is a widget like any other for its host: its own mouse
// handling hides none of QWidget's members.
TEST(SliderHost, PlacesItLikeAnyWidget)
{
    Host host;
    ucSlider *slider = host.mainSlider();
    slider->move(10, 40);
    EXPECT_EQ(slider->pos(), QPoint(10, 40));
}

} // namespace
} // namespace velloran::test
