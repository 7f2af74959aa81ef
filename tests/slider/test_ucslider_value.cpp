// Assignments of Value, Min, Max and MousePointer: results, refusals and the
// events they raise.
#include "sliderfixture.h"

#include <gtest/gtest.h>

#include <QCursor>

#include <functional>
#include <limits>

namespace velloran::test {
namespace {

using test::PrintTo;

constexpr qint32 kInt32Max = std::numeric_limits<qint32>::max();

struct AssignmentCase
{
    const char *name;
    std::function<void(ucSlider &)> setup;  // before the events are recorded
    std::function<void(ucSlider &)> action; // recorded
    int error;                              // SliderError number, 0 for none
    std::vector<std::string> events;
    qint32 min, max, value;
    float thumbLeft;
};

class Assignment : public ::testing::TestWithParam<AssignmentCase>
{
};

// A horizontal slider 116 x 16 on 0..10: 10 pixels per value.
TEST_P(Assignment, ChangesStateAndRaisesEventsInOrder)
{
    const AssignmentCase &c = GetParam();
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, {8, 40, 116, 16}, 0, 10, 0);
    EventLog log(*slider);
    if (c.setup)
        c.setup(*slider);
    log.events.clear();

    int error = 0;
    try {
        c.action(*slider);
    } catch (const SliderError &e) {
        error = e.number();
    }

    EXPECT_EQ(error, c.error);
    EXPECT_EQ(log.events, c.events);
    EXPECT_EQ(slider->Min(), c.min);
    EXPECT_EQ(slider->Max(), c.max);
    EXPECT_EQ(slider->Value(), c.value);
    EXPECT_FLOAT_EQ(slider->thumbPosition().x(), c.thumbLeft);
}

auto value(qint32 v)
{
    return [v](ucSlider &s) { s.SetValue(v); };
}
auto minimum(qint32 v)
{
    return [v](ucSlider &s) { s.SetMin(v); };
}
auto maximum(qint32 v)
{
    return [v](ucSlider &s) { s.SetMax(v); };
}

INSTANTIATE_TEST_SUITE_P(
    Slider, Assignment,
    ::testing::Values(
        AssignmentCase{"ValueInside", {}, value(4), 0, {"Change 4"}, 0, 10, 4, 40.0f},
        AssignmentCase{"ValueToMax", {}, value(10), 0, {"Change 10", "ArrivedLast"}, 0, 10, 10,
                       100.0f},
        AssignmentCase{"ValueBackToMin", value(10), value(0), 0, {"Change 0", "ArrivedFirst"}, 0,
                       10, 0, 0.0f},
        AssignmentCase{"SameValueAgain", value(4), value(4), 0, {}, 0, 10, 4, 40.0f},
        AssignmentCase{"ValueAboveMax", value(4), value(11), 380, {}, 0, 10, 4, 40.0f},
        AssignmentCase{"ValueBelowMin", value(4), value(-1), 380, {}, 0, 10, 4, 40.0f},
        AssignmentCase{"MinAboveValue", value(2), minimum(5), 0, {"Change 5", "ArrivedFirst"}, 5,
                       10, 5, 0.0f},
        AssignmentCase{"MinBelowValue", value(2), minimum(-5), 0,
                       {"Change -5", "ArrivedFirst"}, -5, 10, -5, 0.0f},
        AssignmentCase{"MinAtMax", value(2), minimum(10), 380, {}, 0, 10, 2, 20.0f},
        AssignmentCase{"MaxBelowValue", value(8), maximum(3), 0, {}, 0, 3, 8, 80.0f},
        AssignmentCase{"MaxAtMin", value(8), maximum(0), 380, {}, 0, 10, 8, 80.0f},
        // A range that does not fit 32 bits is refused before anything changes.
        AssignmentCase{"MinOverflowsRange", maximum(kInt32Max), minimum(-1), 6, {}, 0, kInt32Max,
                       0, 0.0f},
        AssignmentCase{"MaxOverflowsRange", minimum(-1), maximum(kInt32Max), 6, {}, -1, 10, -1,
                       0.0f},
        // A Change handler that assigns again: ArrivedLast looks at the value
        // the handler left.
        AssignmentCase{"ChangeHandlerAssignsAgain",
                       [](ucSlider &s) {
                           QObject::connect(&s, &ucSlider::Change, &s, [&s] {
                               if (s.Value() == 10)
                                   s.SetValue(5);
                           });
                       },
                       value(10), 0, {"Change 10", "Change 5"}, 0, 10, 5, 50.0f}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SliderValue, IsTheDefaultMemberOfAssignment)
{
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, {8, 40, 116, 16}, 0, 10, 0);
    EventLog log(*slider);

    *slider = 7;

    EXPECT_EQ(slider->Value(), 7);
    EXPECT_EQ(log.events, (std::vector<std::string>{"Change 7"}));
    EXPECT_THROW(*slider = 11, SliderError);
}

struct PointerCase
{
    const char *name;
    qint32 pointer;
    int error;
    qint32 expectedPointer; // after a start at 2 (cross)
    Qt::CursorShape expectedShape;
};

class MousePointer : public ::testing::TestWithParam<PointerCase>
{
};

TEST_P(MousePointer, TakesSixteenBitValuesAndShowsTheShape)
{
    const PointerCase &c = GetParam();
    ucSlider slider;
    slider.SetMouseIcon(thumbPicture());
    slider.SetMousePointer(2);

    int error = 0;
    try {
        slider.SetMousePointer(c.pointer);
    } catch (const SliderError &e) {
        error = e.number();
    }

    EXPECT_EQ(error, c.error);
    EXPECT_EQ(slider.MousePointer(), c.expectedPointer);
    EXPECT_EQ(slider.cursor().shape(), c.expectedShape);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, MousePointer,
    ::testing::Values(PointerCase{"Default", 0, 0, 0, Qt::ArrowCursor},
                      PointerCase{"SizeWestEast", 9, 0, 9, Qt::SizeHorCursor},
                      PointerCase{"CustomPicture", 99, 0, 99, Qt::BitmapCursor},
                      PointerCase{"Largest16Bit", 32767, 0, 32767, Qt::ArrowCursor},
                      PointerCase{"Smallest16Bit", -32768, 0, -32768, Qt::ArrowCursor},
                      PointerCase{"AboveSixteenBits", 32768, 6, 2, Qt::CrossCursor},
                      PointerCase{"BelowSixteenBits", -32769, 6, 2, Qt::CrossCursor}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace velloran::test
