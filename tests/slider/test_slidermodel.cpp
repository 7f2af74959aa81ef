// The slider's numbers without a widget: the axis, the track's conversions
// between values and the thumb's place, where the parts go, and the range,
// value and drag of the model.
#include "sliderfixture.h"

#include "slider/slidermodel.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>

namespace velloran::test {
namespace {

using test::PrintTo;

constexpr qint32 kInt32Min = std::numeric_limits<qint32>::min();
constexpr qint32 kInt32Max = std::numeric_limits<qint32>::max();
constexpr SliderAxis kAcross = SliderAxis::horizontal();
constexpr SliderAxis kDown = SliderAxis::vertical();

TEST(SliderAxisChoice, FollowsTheOrientationAndMapsAlongAndAcross)
{
    EXPECT_EQ(SliderAxis::of(0), kAcross);
    EXPECT_EQ(SliderAxis::of(1), kDown);
    EXPECT_EQ(SliderAxis::of(5), std::nullopt);
    EXPECT_EQ(SliderAxis::of(-1), std::nullopt);

    EXPECT_EQ(kAcross.along(QSize(117, 25)), 117);
    EXPECT_EQ(kAcross.across(QSize(117, 25)), 25);
    EXPECT_EQ(kDown.along(QSize(117, 25)), 25);
    EXPECT_EQ(kDown.across(QSize(117, 25)), 117);
    EXPECT_EQ(kAcross.size(30, 4), QSize(30, 4));
    EXPECT_EQ(kDown.size(30, 4), QSize(4, 30));
    EXPECT_EQ(kDown.point(30, 4), QPoint(4, 30));
    EXPECT_EQ(kDown.rect(1, 2, 3, 4), (SliderRect{2, 1, 4, 3}));
    EXPECT_EQ(kAcross.rect(1, 2, 3, 4), (SliderRect{1, 2, 3, 4}));

    ThumbPlace place{3.5f, 7.0f};
    EXPECT_EQ(kAcross.along(place), 3.5f);
    EXPECT_EQ(kDown.along(place), 7.0f);
    kDown.along(place) = 9.0f;
    kDown.across(place) = 1.0f;
    EXPECT_EQ(place, (ThumbPlace{1.0f, 9.0f}));
    EXPECT_FALSE(kAcross.minAtFarEnd());
    EXPECT_TRUE(kDown.minAtFarEnd());
}

struct TrackCase
{
    const char *name;
    SliderAxis axis;
    QSize slider;
    QSize thumb;
    qint32 length;
    float minEnd;
    bool travels;
    SliderRect rail; // a drawn one
};

class SliderTrackLayout : public ::testing::TestWithParam<TrackCase>
{
};

// The track is the slider's length less the thumb's; a drawn rail runs along
// it between the thumb's centres at its two ends.
TEST_P(SliderTrackLayout, IsTheSlidersLengthLessTheThumbsWithTheRailAlongIt)
{
    const TrackCase &c = GetParam();
    const SliderTrack track(c.axis, c.slider, c.thumb);
    EXPECT_EQ(track.length(), c.length);
    EXPECT_EQ(track.minEnd(), c.minEnd);
    EXPECT_EQ(track.hasTravel(), c.travels);
    EXPECT_EQ(sliderlayout::railRect(track, c.thumb), c.rail);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderTrackLayout,
    ::testing::Values(
        TrackCase{"MainWindow", kAcross, {117, 25}, {26, 25}, 91, 0.0f, true, {11, 10, 106, 14}},
        TrackCase{"Horizontal", kAcross, {150, 16}, {16, 16}, 134, 0.0f, true, {6, 6, 144, 10}},
        TrackCase{"VerticalMinAtTheBottom", kDown, {16, 60}, {16, 16}, 44, 44.0f, true,
                  {6, 6, 10, 54}},
        TrackCase{"ThumbAsLongAsTheSlider", kAcross, {16, 16}, {16, 16}, 0, 0.0f, false,
                  {6, 6, 10, 10}},
        TrackCase{"ThumbLongerThanTheSlider", kDown, {40, 10}, {16, 16}, -6, -6.0f, false,
                  {6, 6, 10, 4}}),
    [](const auto &info) { return std::string(info.param.name); });

struct PositionCase
{
    const char *name;
    SliderAxis axis;
    qint32 length; // of the slider, with a 16 x 16 thumb
    qint32 min, range, value;
    std::optional<float> position;
    SliderStatus failure;
};

class SliderTrackPosition : public ::testing::TestWithParam<PositionCase>
{
};

TEST_P(SliderTrackPosition, PlacesTheValueOrSaysWhyNot)
{
    const PositionCase &c = GetParam();
    const SliderTrack track(c.axis, c.axis.size(c.length, 16), QSize(16, 16));
    const Checked<float> position = track.positionOf(c.min, c.range, c.value);
    ASSERT_EQ(bool(position), c.position.has_value());
    if (position)
        EXPECT_FLOAT_EQ(*position, *c.position);
    else
        EXPECT_EQ(position.status(), c.failure);
}

constexpr SliderStatus kDone = SliderStatus::Done;

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderTrackPosition,
    ::testing::Values(
        PositionCase{"HorizontalFromTheLeft", kAcross, 116, 0, 10, 4, 40.0f, kDone},
        PositionCase{"VerticalFromTheBottom", kDown, 116, 0, 10, 4, 60.0f, kDone},
        PositionCase{"VerticalMaxAtTheTop", kDown, 116, 0, 10, 10, 0.0f, kDone},
        PositionCase{"KeepsTheFraction", kAcross, 107, -100, 200, 0, 45.5f, kDone},
        PositionCase{"ValueBelowMinFallsBeforeTheTrack", kAcross, 116, 0, 10, -5, -50.0f, kDone},
        // A loaded Min above Max: the range is negative, and so is the
        // offset of a value between them.
        PositionCase{"BackwardsRange", kAcross, 116, 10, -20, 3, 35.0f, kDone},
        PositionCase{"ThumbLongerThanTheSlider", kAcross, 10, 0, 10, 5, -3.0f, kDone},
        PositionCase{"EmptyRange", kAcross, 116, 5, 0, 5, std::nullopt,
                     SliderStatus::DivisionByZero},
        PositionCase{"OffsetBeyond32Bits", kDown, 116, 1, 10, kInt32Min, std::nullopt,
                     SliderStatus::Overflow},
        // The offset is checked first.
        PositionCase{"OffsetBeyond32BitsOnAnEmptyRange", kAcross, 116, 5, 0, kInt32Min,
                     std::nullopt, SliderStatus::Overflow}),
    [](const auto &info) { return std::string(info.param.name); });

struct ValueCase
{
    const char *name;
    SliderAxis axis;
    qint32 length; // of the slider, with a 16 x 16 thumb
    qint32 min, range;
    float position;
    std::optional<qint32> value;
};

class SliderTrackValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(SliderTrackValue, RoundsHalvesToTheEvenValue)
{
    const ValueCase &c = GetParam();
    const SliderTrack track(c.axis, c.axis.size(c.length, 16), QSize(16, 16));
    EXPECT_EQ(track.valueAt(c.min, c.range, c.position), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderTrackValue,
    ::testing::Values(
        // 0..8 over a 16-pixel track: every pixel is half a value.
        ValueCase{"OnePointFive", kAcross, 32, 0, 8, 3.0f, 2},
        ValueCase{"TwoPointFive", kAcross, 32, 0, 8, 5.0f, 2},
        ValueCase{"ThreePointFive", kAcross, 32, 0, 8, 7.0f, 4},
        ValueCase{"FourPointFive", kAcross, 32, 0, 8, 9.0f, 4},
        ValueCase{"NotATie", kAcross, 32, 0, 8, 8.0f, 4},
        ValueCase{"VerticalTieFromTheBottom", kDown, 32, 0, 8, 13.0f, 2},
        ValueCase{"VerticalTop", kDown, 116, 0, 10, 0.0f, 10},
        ValueCase{"VerticalBottom", kDown, 116, 0, 10, 100.0f, 0},
        // 87 of 91 pixels on -100..100: 91.2.
        ValueCase{"MainWindow", kAcross, 107, -100, 200, 87.0f, 91},
        ValueCase{"NegativeHalfToEven", kAcross, 32, -3, 1, 8.0f, -2},
        ValueCase{"NoLength", kAcross, 16, 0, 10, 0.0f, std::nullopt},
        ValueCase{"Beyond32Bits", kAcross, 116, 1, kInt32Max, 100.0f, std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SliderTrackClamp, HoldsADraggedCoordinateInsideTheTrack)
{
    const SliderTrack track(kAcross, QSize(117, 25), QSize(26, 25));
    EXPECT_EQ(track.clamp(-0.5f), 0.0f);
    EXPECT_EQ(track.clamp(45.25f), 45.25f);
    EXPECT_EQ(track.clamp(91.0f), 91.0f);
    EXPECT_EQ(track.clamp(500.0f), 91.0f);
}

// ---- Layout -----------------------------------------------------------------

struct OuterSizeCase
{
    const char *name;
    SliderAxis axis;
    QSize current;
    QSize thumb;
    std::optional<QSize> pictureRail;
    QSize expected;
};

class SliderOuterSize : public ::testing::TestWithParam<OuterSizeCase>
{
};

TEST_P(SliderOuterSize, ComesFromThePicturesOrTheHostAndTheThumb)
{
    const OuterSizeCase &c = GetParam();
    EXPECT_EQ(sliderlayout::outerSize(c.axis, c.current, c.thumb, c.pictureRail), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderOuterSize,
    ::testing::Values(
        OuterSizeCase{"PictureRailHorizontal", kAcross, {300, 300}, {26, 25}, QSize(113, 18),
                      {117, 25}},
        OuterSizeCase{"PictureRailThickerThanTheThumb", kAcross, {300, 300}, {26, 13},
                      QSize(113, 18), {117, 18}},
        OuterSizeCase{"PictureRailVertical", kDown, {300, 300}, {25, 26}, QSize(18, 113),
                      {25, 117}},
        OuterSizeCase{"DrawnRailHorizontal", kAcross, {150, 40}, {16, 16}, std::nullopt,
                      {150, 16}},
        OuterSizeCase{"DrawnRailVertical", kDown, {40, 60}, {16, 16}, std::nullopt, {16, 60}},
        OuterSizeCase{"ZeroLengthTakesTheThumbs", kDown, {40, 0}, {16, 16}, std::nullopt,
                      {16, 16}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SliderThumbAcross, IsCentredOnlyOnAThickerPictureRail)
{
    EXPECT_EQ(sliderlayout::thumbAcross(kAcross, {26, 13}, QSize(113, 18)), 2.0f);
    EXPECT_EQ(sliderlayout::thumbAcross(kDown, {13, 26}, QSize(18, 113)), 2.0f);
    EXPECT_EQ(sliderlayout::thumbAcross(kAcross, {26, 25}, QSize(113, 18)), 0.0f);
    EXPECT_EQ(sliderlayout::thumbAcross(kAcross, {26, 13}, std::nullopt), 0.0f);
}

TEST(SliderRailPicture, StandsTwoPixelsInAndCentredAcross)
{
    EXPECT_EQ(sliderlayout::railPicturePos(kAcross, {117, 25}, {113, 18}), QPoint(2, 3));
    EXPECT_EQ(sliderlayout::railPicturePos(kDown, {25, 117}, {18, 113}), QPoint(3, 2));
}

TEST(SliderThumbPixels, AreTheNearestWithTiesToEvenAndFit32Bits)
{
    EXPECT_EQ(sliderlayout::thumbPixel({45.5f, 0.0f}), QPoint(46, 0));
    EXPECT_EQ(sliderlayout::thumbPixel({4.5f, 2.7f}), QPoint(4, 3));
    EXPECT_EQ(sliderlayout::thumbPixel({0.0f, 1.0e10f}), std::nullopt);
    EXPECT_EQ(sliderlayout::thumbBlock({8, 0}, {16, 16}), (SliderRect{8, 0, 24, 16}));
    EXPECT_EQ(sliderlayout::thumbBlock({kInt32Max - 4, 0}, {16, 16}), std::nullopt);
}

struct TipCase
{
    const char *name;
    SliderAxis axis;
    ThumbPlace thumb;
    QSize thumbSize;
    std::optional<QPoint> expected; // with a 20 x 21 label, the slider at (108, 240)
};

class SliderTipPlace : public ::testing::TestWithParam<TipCase>
{
};

TEST_P(SliderTipPlace, StandsBeforeTheThumbOrNowhere)
{
    const TipCase &c = GetParam();
    EXPECT_EQ(sliderlayout::tipPlace(c.axis, {108, 240}, c.thumb, c.thumbSize, {20, 21}),
              c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderTipPlace,
    ::testing::Values(
        // Above: 240 - 21 - 5, its bottom edge 2 pixels above the thumb;
        // 108 + half(26 - 20 - 4).
        TipCase{"Horizontal", kAcross, {0.0f, 0.0f}, {26, 25}, QPoint(109, 214)},
        // 108 + 47.775 + 1, to the nearest pixel.
        TipCase{"HorizontalAlongTheTrack", kAcross, {47.775f, 0.0f}, {26, 25}, QPoint(157, 214)},
        // Left: 108 - 20 - 6, its right edge 2 pixels left of the thumb;
        // 240 + 50 + half(16 - 21 - 4).
        TipCase{"Vertical", kDown, {0.0f, 50.0f}, {16, 16}, QPoint(82, 286)},
        // Either coordinate beyond 32 bits: no place at all, not half of one.
        TipCase{"VerticalBeyond32Bits", kDown, {0.0f, 1.0e10f}, {16, 16}, std::nullopt},
        TipCase{"HorizontalBeyond32Bits", kAcross, {-1.0e10f, 0.0f}, {16, 16}, std::nullopt}),
    [](const auto &info) { return std::string(info.param.name); });

// ---- Range, value and drag ------------------------------------------------

// A model on 0..10 at 0, as a new slider has it.
SliderModel newSliderModel()
{
    SliderModel model;
    model.restoreMax(10);
    EXPECT_EQ(model.restoreRange(), kDone);
    return model;
}

struct AssignmentCase
{
    const char *name;
    void (*setup)(SliderModel &);
    SliderStatus (*action)(SliderModel &);
    SliderStatus status;
    qint32 min, max, value, range;
};

class SliderModelAssignment : public ::testing::TestWithParam<AssignmentCase>
{
};

TEST_P(SliderModelAssignment, ChecksBeforeItStoresAnything)
{
    const AssignmentCase &c = GetParam();
    SliderModel model = newSliderModel();
    if (c.setup)
        c.setup(model);
    EXPECT_EQ(c.action(model), c.status);
    EXPECT_EQ(model.Min(), c.min);
    EXPECT_EQ(model.Max(), c.max);
    EXPECT_EQ(model.Value(), c.value);
    EXPECT_EQ(model.Range(), c.range);
}

constexpr SliderStatus kInvalid = SliderStatus::InvalidPropertyValue;
constexpr SliderStatus kOverflow = SliderStatus::Overflow;

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderModelAssignment,
    ::testing::Values(
        AssignmentCase{"ValueInside", {}, [](SliderModel &m) { return m.SetValue(4); }, kDone, 0,
                       10, 4, 10},
        AssignmentCase{"ValueAtMax", {}, [](SliderModel &m) { return m.SetValue(10); }, kDone, 0,
                       10, 10, 10},
        AssignmentCase{"ValueAboveMax", {}, [](SliderModel &m) { return m.SetValue(11); },
                       kInvalid, 0, 10, 0, 10},
        AssignmentCase{"ValueBelowMin", {}, [](SliderModel &m) { return m.SetValue(-1); },
                       kInvalid, 0, 10, 0, 10},
        // Min alone: the widget moves the value after it.
        AssignmentCase{"MinBelowMax", {}, [](SliderModel &m) { return m.SetMin(-5); }, kDone, -5,
                       10, 0, 15},
        AssignmentCase{"MinAtMax", {}, [](SliderModel &m) { return m.SetMin(10); }, kInvalid, 0,
                       10, 0, 10},
        AssignmentCase{"MaxBelowValue", [](SliderModel &m) { EXPECT_EQ(m.SetValue(8), kDone); },
                       [](SliderModel &m) { return m.SetMax(3); }, kDone, 0, 3, 8, 3},
        AssignmentCase{"MaxAtMin", {}, [](SliderModel &m) { return m.SetMax(0); }, kInvalid, 0,
                       10, 0, 10},
        AssignmentCase{"MinOverflowsRange",
                       [](SliderModel &m) { EXPECT_EQ(m.SetMax(kInt32Max), kDone); },
                       [](SliderModel &m) { return m.SetMin(-1); }, kOverflow, 0, kInt32Max, 0,
                       kInt32Max},
        AssignmentCase{"MaxOverflowsRange",
                       [](SliderModel &m) { EXPECT_EQ(m.SetMin(-1), kDone); },
                       [](SliderModel &m) { return m.SetMax(kInt32Max); }, kOverflow, -1, 10, 0,
                       11},
        // A loaded range that does not fit keeps the range worked out before.
        AssignmentCase{"LoadedRangeBeyond32Bits",
                       [](SliderModel &m) {
                           m.restoreMin(kInt32Min);
                           m.restoreMax(kInt32Max);
                       },
                       [](SliderModel &m) { return m.restoreRange(); }, kOverflow, kInt32Min,
                       kInt32Max, 0, 10},
        AssignmentCase{"LoadedBackwardsRange",
                       [](SliderModel &m) {
                           m.restoreMin(10);
                           m.restoreMax(-10);
                           m.restoreValue(3);
                       },
                       [](SliderModel &m) { return m.restoreRange(); }, kDone, 10, -10, 3, -20}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SliderModelChange, IsReportedOncePerNewValue)
{
    SliderModel model = newSliderModel();
    EXPECT_FALSE(model.hasNewValue());
    EXPECT_EQ(model.SetValue(4), kDone);
    EXPECT_TRUE(model.hasNewValue());
    model.reportValue();
    EXPECT_FALSE(model.hasNewValue());
    EXPECT_EQ(model.SetValue(4), kDone);
    EXPECT_FALSE(model.hasNewValue()) << "the same value again is no change";

    // A loaded value counts as reported once its range is worked out, and
    // not before.
    model.restoreValue(7);
    model.restoreMin(kInt32Min);
    EXPECT_EQ(model.restoreRange(), kOverflow);
    EXPECT_TRUE(model.hasNewValue());
    model.restoreMin(0);
    EXPECT_EQ(model.restoreRange(), kDone);
    EXPECT_FALSE(model.hasNewValue());
}

TEST(SliderModelThumb, StartsAtMinsEndAndLeavesAnUnplaceableValueAlone)
{
    SliderModel model = newSliderModel();
    const SliderTrack down(kDown, {16, 116}, {16, 16});
    model.setThumb({5.0f, 5.0f});
    model.ResetThumbPosition(down);
    EXPECT_EQ(model.thumb(), (ThumbPlace{0.0f, 100.0f}));
    model.placeThumb(down, 4);
    EXPECT_EQ(model.thumb(), (ThumbPlace{0.0f, 60.0f}));

    model.restoreMin(4);
    model.restoreMax(4);
    EXPECT_EQ(model.restoreRange(), kDone);
    model.placeThumb(down, 4);
    EXPECT_EQ(model.thumb(), (ThumbPlace{0.0f, 60.0f})) << "an empty range has no places";
}

// The main window's track: 91 pixels for -100..100, the thumb 26 x 25 at
// 45.5 (value 0).
struct DragCase
{
    const char *name;
    QPointF press;
    bool onThumb;
    QPointF drag;
    qint32 value;
    float left;
};

class SliderModelDrag : public ::testing::TestWithParam<DragCase>
{
};

TEST_P(SliderModelDrag, HoldsTheThumbWhereGrabbedAndSnapsItToTheValue)
{
    const DragCase &c = GetParam();
    SliderModel model;
    model.restoreMin(-100);
    model.restoreMax(100);
    ASSERT_EQ(model.restoreRange(), kDone);
    const SliderTrack track(kAcross, {117, 25}, {26, 25});
    model.placeThumb(track, 0);
    ASSERT_EQ(model.thumb().Left, 45.5f);

    EXPECT_EQ(model.beginDrag({26, 25}, float(c.press.x()), float(c.press.y())), c.onThumb);
    EXPECT_TRUE(model.isDragging());
    EXPECT_TRUE(model.dragTo(track, float(c.drag.x()), float(c.drag.y())));
    EXPECT_EQ(model.ThumbToValue(track), c.value);
    EXPECT_FLOAT_EQ(model.thumb().Left, c.left);
    model.endDrag();
    EXPECT_FALSE(model.dragTo(track, 0.0f, 0.0f)) << "no drag, no move";
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderModelDrag,
    ::testing::Values(
        // Held 13 from its left edge: 61 - 13 = 48 pixels along.
        DragCase{"GrabbedOnTheThumb", {58.5, 12}, true, {61, 12}, 5, 47.775f},
        // Grabbed by its centre (13, 12): 100 - 13 = 87.
        DragCase{"GrabbedOffTheThumb", {100, 12}, false, {100, 12}, 91, 86.905f},
        DragCase{"PastTheFarEnd", {58, 12}, true, {300, 40}, 100, 91.0f},
        DragCase{"BeforeTheStart", {58, 12}, true, {-80, -5}, -100, 0.0f}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SliderModelDragWithoutTravel, MovesNothing)
{
    SliderModel model = newSliderModel();
    const SliderTrack none(kAcross, {16, 16}, {16, 16});
    model.beginDrag({16, 16}, 30.0f, 3.0f);
    EXPECT_FALSE(model.dragTo(none, 9.0f, 3.0f));
    EXPECT_EQ(model.thumb(), ThumbPlace{});
}

// A range left from a failed load (here 1 plus a range of the largest
// number) has places whose value does not fit 32 bits: they count as 0.
TEST(SliderModelThumbToValue, CountsAPlaceBeyond32BitsAsZero)
{
    SliderModel model;
    model.restoreMax(kInt32Max);
    ASSERT_EQ(model.restoreRange(), kDone);
    model.restoreMin(1);
    const SliderTrack track(kAcross, {116, 16}, {16, 16});
    model.setThumb({100.0f, 0.0f});
    EXPECT_EQ(model.ThumbToValue(track), 0);
}

} // namespace
} // namespace velloran::test
