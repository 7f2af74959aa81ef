// Saving a slider into a property store and recreating it from one.
#include "sliderfixture.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

namespace velloran::test {
namespace {

using test::PrintTo;

QStringList keys(std::initializer_list<const char *> names)
{
    QStringList result;
    for (const char *name : names)
        result.append(QString::fromLatin1(name));
    return result;
}

TEST(SliderSave, NewSliderWritesNothing)
{
    ucSlider slider;
    slider.SetSliderImage(QPixmap()); // an empty picture counts as none
    PropertyBag store;
    slider.WriteProperties(store);
    EXPECT_TRUE(store.isEmpty()) << store.keys().join(u' ').toStdString();
}

TEST(SliderSave, MainWindowSliderWritesItsDesignInOrder)
{
    ucSlider slider;
    slider.SetEnabled(false);
    slider.SetSliderImage(thumbPicture());
    slider.SetOrientation(ucSlider::Horizontal);
    slider.SetRailImage(railPicture());
    slider.SetRailStyle(ucSlider::RailPicture);
    slider.SetMin(-100);
    slider.SetMax(100);
    slider.SetValue(0);

    PropertyBag store;
    slider.WriteProperties(store);
    EXPECT_EQ(store.keys(), keys({"Enabled", "SliderImage", "Orientation", "RailImage",
                                  "RailStyle", "Min", "Max"}));
    EXPECT_EQ(store.ReadProperty(QStringLiteral("Enabled")), QVariant(false));
    EXPECT_EQ(store.ReadProperty(QStringLiteral("Orientation")).toInt(), 0);
    EXPECT_EQ(store.ReadProperty(QStringLiteral("RailStyle")).toInt(), 99);
    EXPECT_EQ(store.ReadProperty(QStringLiteral("Min")).toInt(), -100);
    EXPECT_EQ(store.ReadProperty(QStringLiteral("Max")).toInt(), 100);

    slider.SetValue(5);
    PropertyBag withValue;
    slider.WriteProperties(withValue);
    EXPECT_EQ(withValue.keys().last(), QStringLiteral("Value"));
    EXPECT_EQ(withValue.ReadProperty(QStringLiteral("Value")).toInt(), 5);
}

// Every property off its default: all twelve keys, in their fixed order, and
// a slider recreated from them reads back the same.
TEST(SliderSave, EveryPropertyRoundTripsThroughTheStore)
{
    ucSlider slider;
    slider.SetBackColor(0x00123456u);
    slider.SetEnabled(false);
    slider.SetMouseIcon(thumbPicture(QSize(16, 16)));
    slider.SetMousePointer(ucSlider::PointerCustom);
    slider.SetSliderImage(thumbPicture());
    slider.SetOrientation(ucSlider::Horizontal);
    slider.SetRailImage(railPicture());
    slider.SetRailStyle(3);
    slider.SetShowValueTip(false);
    slider.SetMax(50);
    slider.SetMin(-20);
    slider.SetValue(7);

    PropertyBag store;
    slider.WriteProperties(store);
    EXPECT_EQ(store.keys(), keys({"BackColor", "Enabled", "MouseIcon", "MousePointer",
                                  "SliderImage", "Orientation", "RailImage", "RailStyle",
                                  "ShowValueTip", "Min", "Max", "Value"}));

    const ucSlider loaded(store);
    EXPECT_EQ(loaded.BackColor(), 0x00123456u);
    EXPECT_FALSE(loaded.Enabled());
    EXPECT_EQ(loaded.MouseIcon().toImage(), slider.MouseIcon().toImage());
    EXPECT_EQ(loaded.MousePointer(), ucSlider::PointerCustom);
    EXPECT_EQ(loaded.cursor().shape(), Qt::BitmapCursor);
    EXPECT_EQ(loaded.SliderImage().toImage(), slider.SliderImage().toImage());
    EXPECT_EQ(loaded.Orientation(), ucSlider::Horizontal);
    EXPECT_EQ(loaded.RailImage().toImage(), slider.RailImage().toImage());
    EXPECT_EQ(loaded.RailStyle(), 3);
    EXPECT_FALSE(loaded.ShowValueTip());
    EXPECT_EQ(loaded.Min(), -20);
    EXPECT_EQ(loaded.Max(), 50);
    EXPECT_EQ(loaded.Value(), 7);
}

TEST(SliderLoad, MainWindowDesignLoadsWithLowerCaseKeys)
{
    const ucSlider slider(mainWindowDesign());
    EXPECT_FALSE(slider.Enabled());
    EXPECT_EQ(slider.Orientation(), ucSlider::Horizontal);
    EXPECT_EQ(slider.RailStyle(), ucSlider::RailPicture);
    EXPECT_EQ(slider.Min(), -100);
    EXPECT_EQ(slider.Max(), 100);
    EXPECT_EQ(slider.Value(), 0);
    EXPECT_EQ(slider.thumbSize(), QSize(26, 25));
    EXPECT_EQ(slider.railSize(), QSize(113, 18));
    EXPECT_EQ(slider.BackColor(), 0x8000000Fu);
    EXPECT_TRUE(slider.ShowValueTip());
}

// An empty store gives the new-slider values; the thumb is placed for the
// value on both axes, whatever the orientation.
TEST(SliderLoad, PlacesTheThumbForTheValueOnBothAxes)
{
    QWidget parent;
    ucSlider slider(&parent);
    slider.resize(116, 36); // tracks of 100 across and 20 down

    slider.ReadProperties(PropertyBag());
    EXPECT_EQ(slider.Orientation(), ucSlider::Vertical);
    EXPECT_EQ(slider.Max(), 10);
    EXPECT_EQ(slider.thumbPosition(), QPointF(0.0, 20.0));

    PropertyBag store;
    store.WriteProperty(QStringLiteral("Value"), 5);
    slider.ReadProperties(store);
    EXPECT_EQ(slider.thumbPosition(), QPointF(50.0, 10.0));
}

// Loading keeps what it is given, raises nothing and draws nothing; the next
// assignment is checked again.
TEST(SliderLoad, KeepsAStoredValueOutsideTheRange)
{
    Host host;
    ucSlider *slider = host.drawnSlider(ucSlider::Horizontal, {8, 40, 116, 16}, 0, 10, 0);
    EventLog log(*slider);
    PropertyBag store;
    store.WriteProperty(QStringLiteral("Orientation"), 0);
    store.WriteProperty(QStringLiteral("Max"), 100);
    store.WriteProperty(QStringLiteral("Value"), 150);

    slider->ReadProperties(store);
    EXPECT_EQ(slider->Value(), 150);
    EXPECT_TRUE(log.events.empty());

    EXPECT_THROW(slider->SetValue(150), SliderError);
    slider->SetValue(100);
    EXPECT_EQ(log.events, (std::vector<std::string>{"Change 100", "ArrivedLast"}));
}

struct LoadFailureCase
{
    const char *name;
    const char *key;
    QVariant value;
    int error;
};

class SliderLoadFailure : public ::testing::TestWithParam<LoadFailureCase>
{
};

TEST_P(SliderLoadFailure, ReportsTheErrorOfTheFailingValue)
{
    const LoadFailureCase &c = GetParam();
    PropertyBag store;
    store.WriteProperty(QStringLiteral("Min"), -5);
    store.WriteProperty(QString::fromLatin1(c.key), c.value);
    ucSlider slider;
    try {
        slider.ReadProperties(store);
        ADD_FAILURE() << "loaded without error";
    } catch (const SliderError &e) {
        EXPECT_EQ(e.number(), c.error) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderLoadFailure,
    ::testing::Values(
        LoadFailureCase{"PointerBeyondSixteenBits", "MousePointer", QVariant(40000), 6},
        LoadFailureCase{"NumberBeyondThirtyTwoBits", "Orientation",
                        QVariant::fromValue(qint64(1) << 40), 6},
        LoadFailureCase{"RangeBeyondThirtyTwoBits", "Max", QVariant(2147483647), 6},
        LoadFailureCase{"EmptyRange", "Max", QVariant(-5), 11},
        LoadFailureCase{"TextForANumber", "RailStyle", QVariant(QStringLiteral("groove")), 13},
        LoadFailureCase{"NumberForAPicture", "SliderImage", QVariant(3), 13}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace velloran::test
