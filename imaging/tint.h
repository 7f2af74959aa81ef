#pragma once

// Hue, saturation and lightness adjustment of 32-bit pixels.
//
// Colour model (HSL, per pixel, a function of the pixel's colour alone; the
// alpha channel passes through unchanged):
//   hue        -100..100 turns the hue by hue x 1.8 degrees (-180..180);
//   saturation -100..100 scales the saturation by (100 + saturation) / 100,
//              capped at full: -100 gives grey, +100 doubles it; greys stay grey;
//   lightness  -100..100 moves the lightness towards black (negative) or
//              white (positive) by that percentage: -100 is black, +100 white.
// (0, 0, 0) is the exact identity. Channels are rounded to the nearest value.
// Out-of-range arguments are clamped to -100..100.

#include <QRgb>

#include <array>
#include <cstdint>

namespace velloran {

struct HslAdjustment
{
    int hue = 0;
    int saturation = 0;
    int lightness = 0;

    bool isIdentity() const { return hue == 0 && saturation == 0 && lightness == 0; }
    friend bool operator==(const HslAdjustment &, const HslAdjustment &) = default;
};

// One colour through the model above.
QRgb adjustHsl(QRgb pixel, const HslAdjustment &adjustment);

// Tints rows of pixels. Pictures hold few distinct colours compared with
// their pixel count, mostly in runs (a template is mostly its key colour), so
// a run of one colour is looked up once, and each result is remembered in a
// small direct-mapped cache keyed by the colour.
class HslTinter
{
public:
    explicit HslTinter(const HslAdjustment &adjustment);

    // Source and target may be the same row.
    void tintRow(const std::uint32_t *source, std::uint32_t *target, int width);

private:
    std::uint32_t tinted(std::uint32_t pixel);

    static constexpr int kCacheBits = 12;
    HslAdjustment m_adjustment;
    // A key holds the colour's RGB with the top byte 0xFF, so 0 means empty.
    std::array<std::uint32_t, 1 << kCacheBits> m_keys{};
    std::array<std::uint32_t, 1 << kCacheBits> m_values{};
};

} // namespace velloran
