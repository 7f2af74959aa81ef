// The property store: case-insensitive keys, defaults left out, pictures.
#include "slider/propertybag.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

namespace velloran {
namespace {

QVariant number(qint32 v)
{
    return QVariant(v);
}

// Values are made when a test runs: pictures need the application object,
// which does not exist yet while the cases are being registered.
struct DefaultCase
{
    const char *name;
    QVariant (*value)();
    QVariant (*defaultValue)();
    bool stored;
};

void PrintTo(const DefaultCase &c, std::ostream *os)
{
    *os << c.name;
}

class PropertyBagDefaults : public ::testing::TestWithParam<DefaultCase>
{
};

TEST_P(PropertyBagDefaults, LeavesOutAValueEqualToItsDefault)
{
    const DefaultCase &c = GetParam();
    PropertyBag store;
    store.WriteProperty(QStringLiteral("Key"), c.value(), c.defaultValue());
    EXPECT_EQ(store.contains(QStringLiteral("Key")), c.stored);
}

INSTANTIATE_TEST_SUITE_P(
    Slider, PropertyBagDefaults,
    ::testing::Values(
        DefaultCase{"EqualNumbers", [] { return number(10); }, [] { return number(10); }, false},
        DefaultCase{"OtherNumber", [] { return number(11); }, [] { return number(10); }, true},
        DefaultCase{"NumbersOfOtherWidths", [] { return QVariant::fromValue(qint16(0)); },
                    [] { return number(0); }, false},
        DefaultCase{"UnsignedColour", [] { return QVariant::fromValue(0x8000000Fu); },
                    [] { return QVariant::fromValue(qint64(0x8000000F)); }, false},
        DefaultCase{"NegativeAgainstLargeUnsigned", [] { return QVariant::fromValue(qint64(-1)); },
                    [] { return QVariant::fromValue(~quint64(0)); }, true},
        DefaultCase{"EqualBooleans", [] { return QVariant(true); }, [] { return QVariant(true); },
                    false},
        DefaultCase{"OtherBoolean", [] { return QVariant(false); }, [] { return QVariant(true); },
                    true},
        DefaultCase{"EmptyPixmapIsNone", [] { return QVariant::fromValue(QPixmap()); },
                    [] { return QVariant(); }, false},
        DefaultCase{"EmptyImageIsNone", [] { return QVariant::fromValue(QImage()); },
                    [] { return QVariant(); }, false},
        DefaultCase{"PictureIsNotNone",
                    [] {
                        QPixmap pixmap(1, 1);
                        pixmap.fill(Qt::red);
                        return QVariant::fromValue(pixmap);
                    },
                    [] { return QVariant(); }, true}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(PropertyBag, KeysMatchInAnyLetterCaseAndKeepTheirPlace)
{
    PropertyBag store;
    store.WriteProperty(QStringLiteral("Enabled"), false, true);
    store.WriteProperty(QStringLiteral("Max"), 100, 10);

    EXPECT_EQ(store.ReadProperty(QStringLiteral("enabled"), true), QVariant(false));
    EXPECT_EQ(store.ReadProperty(QStringLiteral("MAX"), 10), QVariant(100));
    EXPECT_EQ(store.ReadProperty(QStringLiteral("Min"), 0), QVariant(0)) << "absent: default";

    store.WriteProperty(QStringLiteral("ENABLED"), 0, true);
    EXPECT_EQ(store.keys(), (QStringList{QStringLiteral("ENABLED"), QStringLiteral("Max")}));
    EXPECT_EQ(store.ReadProperty(QStringLiteral("Enabled"), true), QVariant(0));
}

TEST(PropertyBag, WritingTheDefaultRemovesAnEarlierValue)
{
    PropertyBag store;
    store.WriteProperty(QStringLiteral("Value"), 5, 0);
    store.WriteProperty(QStringLiteral("value"), 0, 0);
    EXPECT_TRUE(store.isEmpty());
    EXPECT_EQ(store.ReadProperty(QStringLiteral("Value"), 0), QVariant(0));
}

} // namespace
} // namespace velloran
