// The slider's thumb and rail and the window icon.
#include "artwork/artwork.h"
#include "artwork/shading.h"

#include <QRectF>

#include <cmath>
#include <optional>

namespace velloran::artwork {

namespace {

// The tones of the thumb, from its shadowed side to the highlight.
Rgb thumbRamp(double tone)
{
    constexpr Rgb kShadow{34, 10, 62};
    constexpr Rgb kBody{124, 56, 204};
    constexpr Rgb kLit{200, 160, 252};
    constexpr Rgb kHighlight{255, 255, 255};
    if (tone < 0.6)
        return mix(kShadow, kBody, tone / 0.6);
    if (tone < 1.0)
        return mix(kBody, kLit, (tone - 0.6) / 0.4);
    return mix(kLit, kHighlight, clamp01((tone - 1.0) / 0.8));
}

// A unit vector.
struct Vec3
{
    double x, y, z;
};

Vec3 normalised(Vec3 v)
{
    const double length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / length, v.y / length, v.z / length};
}

double dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// x^32 by squaring, to keep clear of pow().
double power32(double x)
{
    for (int i = 0; i < 5; ++i)
        x *= x;
    return x;
}

// What the window icon of size pixels shows at the point (u, v) of the unit
// square, or nothing where it is transparent. The window's edges, its frame
// and its title bar fall on whole pixels at 16 and 32 pixels, so both sizes
// stay crisp.
std::optional<Rgb> iconAt(double u, double v, int size)
{
    constexpr Rgb kFrame{44, 30, 70};
    const double pixel = 1.0 / size;
    const double edge = roundedBoxDistance(u, v, QRectF(0.0625, 0.125, 0.875, 0.75), 0.1);
    if (edge > 0.0)
        return std::nullopt;
    if (edge > -pixel)
        return kFrame;

    // Title bar: the purple accent, with three small window buttons where
    // there is room for them.
    constexpr double kBarBottom = 0.375;
    if (v < kBarBottom - pixel) {
        Rgb bar = mix(Rgb{176, 118, 244}, Rgb{102, 50, 176}, (v - 0.125) / (kBarBottom - 0.125));
        for (const double cx : {0.61, 0.71, 0.81}) {
            const double du = u - cx;
            const double dv = v - 0.25;
            if (size >= 32 && du * du + dv * dv < 0.04 * 0.04)
                bar = Rgb{236, 226, 252};
        }
        return bar;
    }
    if (v < kBarBottom)
        return kFrame;

    // The window's content: hills under an evening sky with the sun.
    const auto inDisc = [&](double cx, double cy, double r) {
        return (u - cx) * (u - cx) + (v - cy) * (v - cy) < r * r;
    };
    if (inDisc(0.22, 1.22, 0.5))
        return Rgb{50, 112, 80};
    if (inDisc(0.8, 1.16, 0.46))
        return Rgb{92, 156, 112};
    if (inDisc(0.66, 0.56, 0.1))
        return Rgb{255, 212, 92};
    return mix(Rgb{104, 160, 232}, Rgb{250, 212, 176}, (v - kBarBottom) / (0.875 - kBarBottom));
}

} // namespace

QImage sliderThumb()
{
    // A ball lit from the upper left, with a little light bounced back onto
    // its lower edge. Every colour comes from one ramp of tones, rounded to
    // hundredths, which keeps the icon well within its 256 colours.
    constexpr double kCentreX = 13.0;
    constexpr double kCentreY = 12.5;
    constexpr double kRadius = 12.5;
    const Vec3 light = normalised({-0.45, -0.6, 0.66});
    const Vec3 halfway = normalised({light.x, light.y, light.z + 1.0});

    QImage image(26, 25, QImage::Format_ARGB32);
    image.fill(0);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const double dx = (x + 0.5 - kCentreX) / kRadius;
            const double dy = (y + 0.5 - kCentreY) / kRadius;
            const double rr = dx * dx + dy * dy;
            if (rr >= 1.0)
                continue;
            const Vec3 normal{dx, dy, std::sqrt(1.0 - rr)};
            double tone = 0.16 + 0.74 * std::max(dot(normal, light), 0.0)
                          + 0.9 * power32(std::max(dot(normal, halfway), 0.0))
                          + 0.22 * smoothstep(0.55, 0.95, dy) * smoothstep(0.6, 0.95, rr);
            if (rr > (1.0 - 1.2 / kRadius) * (1.0 - 1.2 / kRadius))
                tone *= 0.62; // a darker rim sets the ball off any background
            tone = std::floor(tone * 100.0 + 0.5) / 100.0;
            line[x] = toQRgb(thumbRamp(tone));
        }
    }
    return image;
}

QImage sliderRail()
{
    // Light grey like a button face, so the bar's rounded ends sit on what the
    // slider's own background would be.
    constexpr Rgb kFace{240, 240, 240};
    constexpr Rgb kRim{84, 42, 140};
    constexpr Rgb kGroove{36, 14, 64};
    constexpr Rgb kGrooveLight{206, 180, 244};
    const QRectF bar(0, 3, 113, 12);
    // The groove runs under the thumb's centre over its whole travel.
    const QRectF groove(10, 8, 93, 2);

    QImage image(113, 18, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        const double py = y + 0.5;
        const double v = clamp01((py - bar.top()) / bar.height());
        Rgb body = v < 0.5 ? mix(Rgb{196, 160, 246}, Rgb{140, 86, 214}, v / 0.5)
                           : mix(Rgb{140, 86, 214}, Rgb{92, 46, 160}, (v - 0.5) / 0.5);
        for (int x = 0; x < image.width(); ++x) {
            const double px = x + 0.5;
            const double distance = roundedBoxDistance(px, py, bar, 6.0);
            Rgb c = distance > -1.0 ? kRim : body;
            // The lit edge just under the groove makes it look cut in.
            const double below = roundedBoxDistance(px, py - 1.0, groove, 1.0);
            c = mix(c, kGrooveLight, 0.7 * clamp01(0.5 - below));
            c = mix(c, kGroove, clamp01(0.5 - roundedBoxDistance(px, py, groove, 1.0)));
            line[x] = toQRgb(mix(kFace, c, clamp01(0.5 - distance)));
        }
    }
    return image;
}

QImage windowIcon(int size)
{
    // Four by four samples a pixel: a pixel is opaque when at least half of
    // them fall on the icon, and takes the mean colour of those.
    constexpr int kSamples = 4;
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(0);
    for (int y = 0; y < size; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size; ++x) {
            Rgb sum;
            int hits = 0;
            for (int sy = 0; sy < kSamples; ++sy) {
                for (int sx = 0; sx < kSamples; ++sx) {
                    const std::optional<Rgb> c = iconAt((x + (sx + 0.5) / kSamples) / size,
                                                        (y + (sy + 0.5) / kSamples) / size, size);
                    if (!c)
                        continue;
                    sum = {sum.r + c->r, sum.g + c->g, sum.b + c->b};
                    ++hits;
                }
            }
            if (2 * hits >= kSamples * kSamples)
                line[x] = toQRgb(scaled(sum, 1.0 / hits));
        }
    }
    return image;
}

} // namespace velloran::artwork
