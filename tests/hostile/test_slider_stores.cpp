// Stored slider designs that no host of ours writes: values of the wrong
// kind, numbers too large for their property, Min equal to or above Max,
// missing pictures. Each either loads or fails with the slider's own error
// numbers (6 overflow, 11 division by zero, 13 type mismatch); a slider that
// loaded can then be laid out, painted, dragged and saved, and the design it
// saves loads back the same.
#include "slider/propertybag.h"
#include "slider/ucslider.h"

#include <QImage>
#include <QPixmap>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

using namespace velloran;

namespace {

using Check = std::function<void(const ucSlider &)>;

struct StoreCase
{
    const char *name;
    std::vector<std::pair<const char *, QVariant>> values;
    std::optional<int> error; // the error number loading fails with, if it fails
    Check check = {};
};

void PrintTo(const StoreCase &c, std::ostream *os)
{
    *os << c.name;
}

// A key present in the store without a value (a store may hold one, although
// saving never writes one).
QVariant none()
{
    return QVariant();
}

QImage picture(int width, int height, QImage::Format format = QImage::Format_ARGB32)
{
    QImage image(width, height, format);
    image.fill(1);
    return image;
}

QPixmap pixmap(int width, int height)
{
    return QPixmap::fromImage(picture(width, height));
}

PropertyBag storeOf(const StoreCase &c)
{
    PropertyBag store;
    for (const auto &[key, value] : c.values)
        // Against a default it never equals, so every entry stays, even an
        // empty one.
        store.WriteProperty(QString::fromLatin1(key), value, QVariant(QStringLiteral("\x01")));
    return store;
}

constexpr qint32 kInt32Min = std::numeric_limits<qint32>::min();
constexpr qint32 kInt32Max = std::numeric_limits<qint32>::max();

std::vector<StoreCase> storeCases()
{
    return {
        // Wrong kinds.
        {"BytesForABoolean", {{"Enabled", QVariant(QByteArray("\x01"))}}, 13},
        {"ListForANumber", {{"Min", QVariant(QVariantList{1, 2})}}, 13},
        {"EmptyTextForANumber", {{"Max", QVariant(QStringLiteral(""))}}, 13},
        {"WordForANumber", {{"RailStyle", QVariant(QStringLiteral("groove"))}}, 13},
        {"NumberForAPicture", {{"SliderImage", QVariant(7)}}, 13},
        {"TextForAPicture", {{"RailImage", QVariant(QStringLiteral("rail.bmp"))}}, 13},
        {"TextForAPointerPicture", {{"MouseIcon", QVariant(QStringLiteral("hand"))}}, 13},
        {"TextsThatReadAsValues",
         {{"Enabled", QVariant(QStringLiteral("false"))},
          {"ShowValueTip", QVariant(QStringLiteral("TRUE"))},
          {"Min", QVariant(QStringLiteral(" -7 "))},
          {"Max", QVariant(QStringLiteral("1e3"))},
          {"Value", QVariant(QStringLiteral("2.5"))}},
         std::nullopt,
         [](const ucSlider &s) {
             EXPECT_FALSE(s.Enabled());
             EXPECT_TRUE(s.ShowValueTip());
             EXPECT_EQ(s.Min(), -7);
             EXPECT_EQ(s.Max(), 1000);
             EXPECT_EQ(s.Value(), 2); // halves go to the even neighbour
         }},
        {"BooleanForNumbers",
         {{"Min", QVariant(false)}, {"Max", QVariant(true)}},
         std::nullopt,
         // True is -1: the range runs backwards, which loading keeps.
         [](const ucSlider &s) {
             EXPECT_EQ(s.Min(), 0);
             EXPECT_EQ(s.Max(), -1);
         }},
        {"RealsRoundToEven",
         {{"Min", QVariant(-2.5)}, {"Max", QVariant(3.5f)}, {"Value", QVariant(0.5)}},
         std::nullopt,
         [](const ucSlider &s) {
             EXPECT_EQ(s.Min(), -2);
             EXPECT_EQ(s.Max(), 4);
             EXPECT_EQ(s.Value(), 0);
         }},

        // Numbers too large for their property.
        {"HugeValue", {{"Value", QVariant::fromValue(qint64(1) << 40)}}, 6},
        {"LargestUnsigned", {{"Orientation", QVariant::fromValue(std::numeric_limits<quint64>::max())}}, 6},
        {"NotANumber", {{"Max", QVariant(std::nan(""))}}, 6},
        {"Infinity", {{"Min", QVariant(-HUGE_VAL)}}, 6},
        {"RealBeyond64Bits", {{"Value", QVariant(1.0e300)}}, 6},
        {"NumberTextBeyond32Bits", {{"RailStyle", QVariant(QStringLiteral("99999999999"))}}, 6},
        {"PointerAbove16Bits", {{"MousePointer", QVariant(32768)}}, 6},
        {"PointerBelow16Bits", {{"MousePointer", QVariant(-32769)}}, 6},
        {"ColourBeyond32Bits", {{"BackColor", QVariant::fromValue(qint64(1) << 32)}}, 6},
        {"RangeBeyond32Bits", {{"Min", QVariant(kInt32Min)}, {"Max", QVariant(kInt32Max)}}, 6},
        {"ValueFarBelowMin", {{"Min", QVariant(1)}, {"Value", QVariant(kInt32Min)}}, 6},
        {"ExtremesThatFit",
         {{"MousePointer", QVariant(-32768)},
          {"BackColor", QVariant(-1)},
          {"Orientation", QVariant(kInt32Max)},
          {"RailStyle", QVariant(kInt32Min)},
          {"Min", QVariant(kInt32Min)},
          {"Max", QVariant(kInt32Min + 1)},
          {"Value", QVariant(kInt32Min + 1)}},
         std::nullopt,
         [](const ucSlider &s) {
             EXPECT_EQ(s.MousePointer(), -32768);
             EXPECT_EQ(s.BackColor(), 0xffffffffu);
             EXPECT_EQ(s.Orientation(), kInt32Max);
             EXPECT_EQ(s.RailStyle(), kInt32Min);
             EXPECT_EQ(s.Value(), kInt32Min + 1);
         }},

        // Ranges the assignments never make.
        {"MinEqualsMax", {{"Min", QVariant(5)}, {"Max", QVariant(5)}}, 11},
        {"MinAboveMax",
         {{"Orientation", QVariant(0)}, {"Min", QVariant(10)}, {"Max", QVariant(-10)}, {"Value", QVariant(3)}},
         std::nullopt,
         [](const ucSlider &s) {
             EXPECT_EQ(s.Min(), 10);
             EXPECT_EQ(s.Max(), -10);
             EXPECT_EQ(s.Value(), 3);
         }},
        {"ValueBeyondMax",
         {{"Max", QVariant(100)}, {"Value", QVariant(kInt32Max)}},
         std::nullopt,
         [](const ucSlider &s) { EXPECT_EQ(s.Value(), kInt32Max); }},

        // Pictures missing or odd.
        {"PictureKeysWithoutValues",
         {{"SliderImage", none()}, {"RailImage", QVariant(QPixmap())}, {"MouseIcon", QVariant(QImage())},
          {"RailStyle", QVariant(99)}, {"MousePointer", QVariant(99)}},
         std::nullopt,
         [](const ucSlider &s) {
             EXPECT_TRUE(s.SliderImage().isNull());
             EXPECT_TRUE(s.RailImage().isNull());
             EXPECT_EQ(s.thumbSize(), QSize(16, 16));
             EXPECT_EQ(s.cursor().shape(), Qt::ArrowCursor); // the default pointer
         }},
        {"PicturesStoredAsImages",
         {{"SliderImage", QVariant(picture(3, 40, QImage::Format_Mono))},
          {"RailImage", QVariant(picture(500, 1, QImage::Format_Indexed8))},
          {"RailStyle", QVariant(99)},
          {"Orientation", QVariant(0)}},
         std::nullopt,
         [](const ucSlider &s) {
             EXPECT_EQ(s.thumbSize(), QSize(3, 40));
             EXPECT_EQ(s.railSize(), QSize(500, 1));
         }},
        {"ThumbLargerThanRail",
         {{"SliderImage", QVariant(pixmap(300, 300))},
          {"RailImage", QVariant(pixmap(10, 10))},
          {"RailStyle", QVariant(99)},
          {"Orientation", QVariant(1)},
          {"Min", QVariant(-3)},
          {"Max", QVariant(3)}},
         std::nullopt},

        // Keys in any spelling, and keys no slider knows.
        {"KeysInOtherCaseAndUnknownKeys",
         {{"VALUE", QVariant(4)}, {"mAx", QVariant(8)}, {"Colour", QVariant(QStringLiteral("red"))},
          {"", QVariant(1)}},
         std::nullopt,
         [](const ucSlider &s) {
             EXPECT_EQ(s.Value(), 4);
             EXPECT_EQ(s.Max(), 8);
         }},
    };
}

class HostileStore : public ::testing::TestWithParam<StoreCase>
{
};

void expectSameDesign(const ucSlider &a, const ucSlider &b)
{
    EXPECT_EQ(a.Enabled(), b.Enabled());
    EXPECT_EQ(a.BackColor(), b.BackColor());
    EXPECT_EQ(a.MousePointer(), b.MousePointer());
    EXPECT_EQ(a.Orientation(), b.Orientation());
    EXPECT_EQ(a.RailStyle(), b.RailStyle());
    EXPECT_EQ(a.ShowValueTip(), b.ShowValueTip());
    EXPECT_EQ(a.Min(), b.Min());
    EXPECT_EQ(a.Max(), b.Max());
    EXPECT_EQ(a.Value(), b.Value());
    EXPECT_EQ(a.SliderImage().toImage(), b.SliderImage().toImage());
    EXPECT_EQ(a.RailImage().toImage(), b.RailImage().toImage());
    EXPECT_EQ(a.MouseIcon().toImage(), b.MouseIcon().toImage());
}

TEST_P(HostileStore, LoadsOrFailsWithTheSlidersErrorAndALoadedSliderWorks)
{
    const StoreCase &c = GetParam();
    const PropertyBag store = storeOf(c);

    QWidget host;
    host.resize(400, 400);
    host.show();
    std::unique_ptr<ucSlider> slider;
    try {
        slider = std::make_unique<ucSlider>(store, &host);
    } catch (const SliderError &e) {
        ASSERT_TRUE(c.error.has_value()) << "failed with " << e.number() << " " << e.what();
        EXPECT_EQ(e.number(), *c.error) << e.what();
        return;
    }
    ASSERT_FALSE(c.error.has_value()) << "loaded instead of failing with " << *c.error;
    if (c.check)
        c.check(*slider);

    // Laid out, painted and dragged across and beyond its ends: the slider's
    // own routines skip what fails, so nothing escapes.
    slider->setGeometry(10, 10, 200, 30);
    slider->show();
    slider->SetEnabled(true);
    (void)slider->grab();
    const QPoint centre = slider->rect().center();
    QTest::mousePress(slider.get(), Qt::LeftButton, {}, centre);
    QTest::mouseMove(slider.get(), QPoint(-500, -500));
    QTest::mouseMove(slider.get(), QPoint(5000, 5000));
    QTest::mouseRelease(slider.get(), Qt::LeftButton, {}, QPoint(5000, 5000));
    (void)slider->grab();

    // What it saves, it loads back the same.
    PropertyBag saved;
    slider->WriteProperties(saved);
    try {
        const ucSlider reloaded(saved, &host);
        expectSameDesign(*slider, reloaded);
    } catch (const SliderError &e) {
        ADD_FAILURE() << "the saved design does not load: " << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Slider, HostileStore, ::testing::ValuesIn(storeCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// A refused store leaves an existing slider usable: loading it again from a
// good store works, and assignments are checked as before.
TEST(HostileStoreRecovery, ASliderThatFailedToLoadCanLoadAgain)
{
    ucSlider slider;
    PropertyBag bad;
    bad.WriteProperty(QStringLiteral("Min"), 5);
    bad.WriteProperty(QStringLiteral("Max"), 5);
    EXPECT_THROW(slider.ReadProperties(bad), SliderError);

    PropertyBag good;
    good.WriteProperty(QStringLiteral("Min"), -100);
    good.WriteProperty(QStringLiteral("Max"), 100);
    slider.ReadProperties(good);
    EXPECT_EQ(slider.Min(), -100);
    slider.SetValue(40);
    EXPECT_EQ(slider.Value(), 40);
    EXPECT_THROW(slider.SetValue(101), SliderError);
}

} // namespace
