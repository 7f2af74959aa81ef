// HSL hue, saturation and lightness adjustment.
#include "imaging/tint.h"

#include <algorithm>
#include <cmath>

namespace velloran {

namespace {

double hueToChannel(double p, double q, double t)
{
    if (t < 0)
        t += 1;
    if (t > 1)
        t -= 1;
    if (t < 1.0 / 6)
        return p + (q - p) * 6 * t;
    if (t < 0.5)
        return q;
    if (t < 2.0 / 3)
        return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

int toByte(double v)
{
    return std::clamp(int(std::floor(v * 255 + 0.5)), 0, 255);
}

} // namespace

QRgb adjustHsl(QRgb pixel, const HslAdjustment &adjustment)
{
    if (adjustment.isIdentity())
        return pixel;
    const int hueStep = std::clamp(adjustment.hue, -100, 100);
    const int satStep = std::clamp(adjustment.saturation, -100, 100);
    const int lightStep = std::clamp(adjustment.lightness, -100, 100);

    const double r = qRed(pixel) / 255.0;
    const double g = qGreen(pixel) / 255.0;
    const double b = qBlue(pixel) / 255.0;
    const double hi = std::max({r, g, b});
    const double lo = std::min({r, g, b});
    double l = (hi + lo) / 2;
    double s = 0;
    double h = 0; // in turns, 0..1
    if (hi > lo) {
        const double d = hi - lo;
        s = l > 0.5 ? d / (2 - hi - lo) : d / (hi + lo);
        if (hi == r)
            h = (g - b) / d + (g < b ? 6 : 0);
        else if (hi == g)
            h = (b - r) / d + 2;
        else
            h = (r - g) / d + 4;
        h /= 6;
    }

    h += hueStep * 1.8 / 360;
    h -= std::floor(h);
    s = std::min(1.0, s * (100 + satStep) / 100.0);
    if (lightStep < 0)
        l = l * (100 + lightStep) / 100.0;
    else
        l = l + (1 - l) * lightStep / 100.0;

    int nr, ng, nb;
    if (s <= 0) {
        nr = ng = nb = toByte(l);
    } else {
        const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
        const double p = 2 * l - q;
        nr = toByte(hueToChannel(p, q, h + 1.0 / 3));
        ng = toByte(hueToChannel(p, q, h));
        nb = toByte(hueToChannel(p, q, h - 1.0 / 3));
    }
    return qRgba(nr, ng, nb, qAlpha(pixel));
}

HslTinter::HslTinter(const HslAdjustment &adjustment)
    : m_adjustment(adjustment)
{
}

std::uint32_t HslTinter::tinted(std::uint32_t pixel)
{
    const std::uint32_t key = pixel | 0xFF000000u;
    const std::uint32_t slot = (key * 2654435761u) >> (32 - kCacheBits);
    if (m_keys[slot] != key) {
        m_keys[slot] = key;
        m_values[slot] = adjustHsl(key, m_adjustment) & 0x00FFFFFFu;
    }
    return m_values[slot] | (pixel & 0xFF000000u);
}

void HslTinter::tintRow(const std::uint32_t *source, std::uint32_t *target, int width)
{
    if (m_adjustment.isIdentity()) {
        std::copy(source, source + width, target);
        return;
    }
    // A run of one colour is looked up once and goes on eight pixels at a
    // time while whole blocks continue it (the test and the stores
    // vectorise). Each pixel is read before it is written, so source and
    // target may be the same row.
    constexpr int kBlock = 8;
    const auto blockContinues = [](const std::uint32_t *block, std::uint32_t colour) {
        std::uint32_t differences = 0;
        for (int i = 0; i < kBlock; ++i)
            differences |= block[i] ^ colour;
        return differences == 0;
    };
    for (int x = 0; x < width;) {
        const std::uint32_t colour = source[x];
        const std::uint32_t result = tinted(colour);
        target[x++] = result;
        for (; x + kBlock <= width && blockContinues(source + x, colour); x += kBlock)
            for (int i = 0; i < kBlock; ++i)
                target[x + i] = result;
        for (; x < width && source[x] == colour; ++x)
            target[x] = result;
    }
}

} // namespace velloran
