// The table of the twelve saved properties: its keys are the slider's
// properties, its defaults are a new slider's, and stored values convert to
// each kind or fail with the slider's error numbers.
#include "sliderfixture.h"

#include "slider/sliderproperties.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QMetaProperty>

#include <cmath>
#include <set>
#include <string>

namespace velloran::test {
namespace {

using test::PrintTo;

TEST(SliderPropertyTable, NamesEveryPropertyOnceAndLoadsEachOnce)
{
    std::set<std::string> keys;
    std::set<int> steps;
    for (const PersistedProperty &persisted : kPersistedProperties) {
        keys.insert(persisted.key);
        steps.insert(persisted.loadStep);
    }
    EXPECT_EQ(keys.size(), kPersistedProperties.size());
    EXPECT_EQ(steps.size(), kPersistedProperties.size());
    // The pointer and its picture straight after the colour, the pictures last.
    EXPECT_STREQ(kPersistedLoadOrder.front()->key, "BackColor");
    EXPECT_STREQ(kPersistedLoadOrder[1]->key, "MousePointer");
    EXPECT_STREQ(kPersistedLoadOrder[2]->key, "MouseIcon");
    EXPECT_STREQ(kPersistedLoadOrder[10]->key, "SliderImage");
    EXPECT_STREQ(kPersistedLoadOrder.back()->key, "RailImage");
}

// Every key is a readable and writable property of the slider, and a new
// slider reads the table's default through the property system.
TEST(SliderPropertyTable, KeysAreTheSlidersPropertiesWithANewSlidersValues)
{
    const ucSlider slider;
    const QMetaObject &meta = ucSlider::staticMetaObject;
    for (const PersistedProperty &persisted : kPersistedProperties) {
        SCOPED_TRACE(persisted.key);
        const int index = meta.indexOfProperty(persisted.key);
        ASSERT_GE(index, 0);
        EXPECT_TRUE(meta.property(index).isReadable());
        EXPECT_TRUE(meta.property(index).isWritable());
        const QVariant value = persistedValue(persisted, slider.property(persisted.key));
        EXPECT_TRUE(PropertyBag::sameValue(value, persistedDefault(persisted)));
        EXPECT_EQ(value.metaType(), persistedDefault(persisted).metaType())
            << "saved in the kind's own type";
    }
}

// Values are made when a test runs: pictures need the application object.
struct LoadCase
{
    const char *name;
    const char *key;
    QVariant (*stored)();
    QVariant (*expected)(); // invalid when loading fails
    SliderStatus failure;
};

void PrintTo(const LoadCase &c, std::ostream *os)
{
    *os << c.name;
}

class SliderPropertyLoad : public ::testing::TestWithParam<LoadCase>
{
};

TEST_P(SliderPropertyLoad, ConvertsToTheKindOrSaysWhyNot)
{
    const LoadCase &c = GetParam();
    const PersistedProperty *persisted = nullptr;
    for (const PersistedProperty &row : kPersistedProperties) {
        if (std::string(row.key) == c.key)
            persisted = &row;
    }
    ASSERT_NE(persisted, nullptr);

    const Checked<QVariant> loaded = loadedValue(*persisted, c.stored());
    const QVariant expected = c.expected();
    ASSERT_EQ(bool(loaded), expected.isValid()) << int(loaded.status());
    if (!loaded) {
        EXPECT_EQ(loaded.status(), c.failure);
        return;
    }
    EXPECT_EQ((*loaded).metaType(), expected.metaType());
    if (expected.metaType().id() == QMetaType::QPixmap)
        EXPECT_EQ((*loaded).value<QPixmap>().toImage(), expected.value<QPixmap>().toImage());
    else
        EXPECT_EQ(*loaded, expected);
}

constexpr SliderStatus kDone = SliderStatus::Done;

QVariant none()
{
    return QVariant();
}

INSTANTIATE_TEST_SUITE_P(
    Slider, SliderPropertyLoad,
    ::testing::Values(
        LoadCase{"AbsentBooleanIsFalse", "Enabled", none, [] { return QVariant(false); }, kDone},
        LoadCase{"TextBoolean", "ShowValueTip", [] { return QVariant(QStringLiteral("TRUE")); },
                 [] { return QVariant(true); }, kDone},
        LoadCase{"NumberAsBoolean", "Enabled", [] { return QVariant(2); },
                 [] { return QVariant(true); }, kDone},
        LoadCase{"SignedColour", "BackColor", [] { return QVariant(-1); },
                 [] { return QVariant::fromValue(0xFFFFFFFFu); }, kDone},
        LoadCase{"ColourBeyond32Bits", "BackColor",
                 [] { return QVariant::fromValue(qint64(1) << 32); }, none,
                 SliderStatus::Overflow},
        LoadCase{"PointerOf16Bits", "MousePointer", [] { return QVariant(-32768); },
                 [] { return QVariant::fromValue(qint16(-32768)); }, kDone},
        LoadCase{"PointerBeyond16Bits", "MousePointer", [] { return QVariant(32768); }, none,
                 SliderStatus::Overflow},
        LoadCase{"RealRoundsToEven", "Value", [] { return QVariant(2.5); },
                 [] { return QVariant::fromValue(qint32(2)); }, kDone},
        LoadCase{"TextOfAReal", "Max", [] { return QVariant(QStringLiteral("1e3")); },
                 [] { return QVariant::fromValue(qint32(1000)); }, kDone},
        LoadCase{"NumberBeyond32Bits", "Min", [] { return QVariant::fromValue(qint64(1) << 40); },
                 none, SliderStatus::Overflow},
        LoadCase{"NotANumber", "Max", [] { return QVariant(std::nan("")); }, none,
                 SliderStatus::Overflow},
        LoadCase{"WordForANumber", "RailStyle", [] { return QVariant(QStringLiteral("groove")); },
                 none, SliderStatus::TypeMismatch},
        LoadCase{"ImageForAPicture", "SliderImage",
                 [] { return QVariant::fromValue(thumbPicture().toImage()); },
                 [] { return QVariant::fromValue(thumbPicture()); }, kDone},
        LoadCase{"AbsentPicture", "RailImage", none, [] { return QVariant::fromValue(QPixmap()); },
                 kDone},
        LoadCase{"NumberForAPicture", "MouseIcon", [] { return QVariant(3); }, none,
                 SliderStatus::TypeMismatch}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace velloran::test
