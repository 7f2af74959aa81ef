// Overlays get their key-coloured background marked transparent in the
// alpha channel, whatever format the overlay picture comes in.
#include "imaging/colour.h"
#include "skin/skinbuilder.h"

#include <gtest/gtest.h>

using namespace velloran;

namespace {

TEST(KeyMask, MarksExactlyTheKeyColourTransparentInEveryFormat)
{
    // The key, colours one step from it, a grey and white, with alphas that
    // must not matter.
    const QRgb pixels[] = {qRgba(255, 0, 255, 255), qRgba(255, 0, 255, 0),  qRgba(254, 0, 255, 255),
                           qRgba(255, 1, 255, 255), qRgba(255, 0, 254, 17), qRgba(128, 128, 128, 0),
                           qRgba(255, 255, 255, 200)};
    QImage picture(7, 1, QImage::Format_ARGB32);
    for (int x = 0; x < 7; ++x)
        picture.setPixel(x, 0, pixels[x]);

    for (const QImage::Format format : {QImage::Format_ARGB32, QImage::Format_RGB32, QImage::Format_RGB888}) {
        const QImage overlay = picture.convertToFormat(format);
        const QImage masked = withKeyMask(overlay);
        ASSERT_EQ(masked.format(), QImage::Format_ARGB32) << format;
        for (int x = 0; x < 7; ++x) {
            const QRgb rgb = overlay.pixel(x, 0) & 0x00FFFFFFu;
            const QRgb expected = rgb == fromColorRef(kKeyColour) - 0xFF000000u ? rgb : rgb | 0xFF000000u;
            EXPECT_EQ(masked.pixel(x, 0), expected) << format << " at " << x;
        }
    }
    EXPECT_TRUE(withKeyMask(QImage()).isNull());
}

} // namespace
