// The overlay templates and the swatch: dark glass buttons and labels with a
// purple accent, laid on the key colour.
//
// Every element is a rounded rectangle (a circle is one whose radius is half
// its side) filled pixel by pixel: a pixel belongs to the element when its
// centre lies inside the shape, and then it is painted opaque. Nothing is
// blended with the key colour, so the merge finds a hard edge; the rounding
// and the bevel are shading inside the shape. The colours stay far from
// magenta, so no pixel of an element can be taken for the key.
#include "artwork/artwork.h"
#include "artwork/pixelfont.h"
#include "artwork/shading.h"

#include <QPoint>
#include <QRect>
#include <QStringView>

#include <algorithm>

namespace velloran::artwork {

namespace {

constexpr Rgb kGlassTop{76, 58, 118};
constexpr Rgb kGlassBottom{22, 16, 40};
constexpr Rgb kAccentGlow{128, 74, 200};   // light pooling at the lower edge
constexpr Rgb kRimTop{206, 178, 250};      // outer rim, bright where the light falls
constexpr Rgb kRimBottom{112, 70, 176};
constexpr Rgb kGloss{255, 255, 255};
constexpr Rgb kLettering{242, 236, 255};
constexpr Rgb kLetteringShadow{12, 8, 24};
constexpr Rgb kSwatchBackground{18, 28, 78};

constexpr int kWindowButton = 26;  // diameter of the round minimise and close buttons
constexpr int kSquareButton = 25;  // side of the square chat buttons

// The glass fill at a pixel depth pixels inside the edge, at relative height
// v (0 at the top of the element, 1 at the bottom).
Rgb glassAt(double depth, double v)
{
    if (depth < 1.0)
        return mix(kRimTop, kRimBottom, v);
    Rgb c = mix(kGlassTop, kGlassBottom, v);
    c = mix(c, kAccentGlow, 0.5 * smoothstep(0.55, 1.0, v));
    if (depth < 2.0)
        return scaled(c, 0.55); // a dark line inside the rim: the bevel
    if (v < 0.48)
        c = mix(c, kGloss, 0.07 + 0.2 * (1.0 - v / 0.48)); // the glossy upper half
    return c;
}

// Fills the rounded rectangle box (inclusive pixel bounds) with glass.
void paintGlass(QImage &image, const QRect &box, double radius)
{
    const QRectF shape(box.x(), box.y(), box.width(), box.height());
    for (int y = box.top(); y <= box.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double v = (y + 0.5 - box.y()) / box.height();
        for (int x = box.left(); x <= box.right(); ++x) {
            const double distance = roundedBoxDistance(x + 0.5, y + 0.5, shape, radius);
            if (distance < 0.0)
                line[x] = toQRgb(glassAt(-distance, v));
        }
    }
}

// Stamps light lettering with a dark shadow one pixel down and right, centred
// in box. Only pixels of the element already there are painted, so lettering
// can never widen an element.
void paintStamp(QImage &image, const QRect &box, const Stamp &stamp)
{
    const QPoint origin(box.x() + (box.width() - stamp.size.width()) / 2,
                        box.y() + (box.height() - stamp.size.height()) / 2);
    const auto plot = [&](QPoint p, Rgb colour) {
        if (image.pixel(p) != kKeyColour)
            image.setPixel(p, toQRgb(colour));
    };
    for (const QPoint &p : stamp.pixels)
        plot(origin + p + QPoint(1, 1), kLetteringShadow);
    for (const QPoint &p : stamp.pixels)
        plot(origin + p, kLettering);
}

Stamp minimiseSign()
{
    return bitmapStamp({"##########", "##########"});
}

Stamp closeSign()
{
    return bitmapStamp({
        "##    ##",
        "###  ###",
        " ###### ",
        "  ####  ",
        "  ####  ",
        " ###### ",
        "###  ###",
        "##    ##",
    });
}

Stamp pauseSign()
{
    return bitmapStamp({
        "###   ###", "###   ###", "###   ###", "###   ###", "###   ###",
        "###   ###", "###   ###", "###   ###", "###   ###",
    });
}

void paintRoundButton(QImage &image, const QRect &box, const Stamp &sign)
{
    paintGlass(image, box, box.width() / 2.0);
    paintStamp(image, box, sign);
}

// Minimise and close side by side; topLeft is the minimise button's corner.
void paintWindowButtons(QImage &image, QPoint topLeft)
{
    const QSize size(kWindowButton, kWindowButton);
    paintRoundButton(image, QRect(topLeft, size), minimiseSign());
    paintRoundButton(image, QRect(topLeft + QPoint(kWindowButton, 0), size), closeSign());
}

// A rounded bar with a caption, the corners as round as the bar allows up to
// eight pixels.
void paintBar(QImage &image, const QRect &box, QStringView caption)
{
    paintGlass(image, box, std::min(box.height() / 2.0, 8.0));
    paintStamp(image, box, textStamp(caption, true));
}

// The three square buttons of the chat windows (R, an exclamation mark, a
// pause sign), spread along area: the first at its start, the last at its end,
// the middle one halfway, so the gaps differ by a pixel at most.
void paintChatButtons(QImage &image, const QRect &area, Qt::Orientation orientation)
{
    const Stamp signs[] = {textStamp(u"R", true), textStamp(u"!", true), pauseSign()};
    const bool across = orientation == Qt::Horizontal;
    const int slack = (across ? area.width() : area.height()) - kSquareButton;
    for (int n = 0; n < 3; ++n) {
        const int offset = slack * n / 2;
        const QPoint corner = area.topLeft() + (across ? QPoint(offset, 0) : QPoint(0, offset));
        const QRect box(corner, QSize(kSquareButton, kSquareButton));
        paintGlass(image, box, 5.0);
        paintStamp(image, box, signs[n]);
    }
}

QImage keyedCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(kKeyColour);
    return image;
}

// Inclusive pixel bounds, as the element positions are given.
QRect bounds(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

} // namespace

QImage mainTemplate()
{
    QImage image = keyedCanvas(800, 629);
    paintBar(image, bounds(635, 11, 730, 39), u"MENU");
    paintRoundButton(image, bounds(733, 12, 758, 37), minimiseSign());
    paintRoundButton(image, bounds(761, 12, 786, 37), closeSign());
    return image;
}

QImage sceneTemplate()
{
    QImage image = keyedCanvas(199, 550);
    paintWindowButtons(image, QPoint(147, 3));
    paintBar(image, bounds(41, 35, 149, 54), u"Choose Scene");
    paintBar(image, bounds(49, 268, 140, 283), u"Choose Skin");
    paintBar(image, bounds(23, 482, 170, 508), u"Scene Size");
    return image;
}

QImage chatTemplate()
{
    QImage image = keyedCanvas(438, 173);
    paintWindowButtons(image, QPoint(386, 3));
    paintChatButtons(image, bounds(325, 114, 406, 138), Qt::Horizontal);
    return image;
}

QImage consoleTemplate()
{
    QImage image = keyedCanvas(310, 105);
    paintChatButtons(image, bounds(26, 14, 50, 90), Qt::Vertical);
    return image;
}

QImage swatch()
{
    // The main template's buttons span columns 635 to 786 and rows 11 to 39;
    // the swatch shows them with a margin of 3 or 4 pixels.
    QImage image = mainTemplate().copy(632, 8, 159, 35);
    const QRgb background = toQRgb(kSwatchBackground);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        std::replace(line, line + image.width(), kKeyColour, background);
    }
    return image;
}

} // namespace velloran::artwork
