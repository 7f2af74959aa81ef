#pragma once

#include <QRectF>
#include <QRgb>

// Colour and shape arithmetic shared by the drawings. Only +, -, *, / and
// sqrt are used, which IEEE 754 rounds the same on every machine, so the
// pictures are reproducible to the byte.
namespace velloran::artwork {

// A colour with channels on the 0..255 scale, kept fractional while shading
// and rounded once by toQRgb().
struct Rgb
{
    double r = 0;
    double g = 0;
    double b = 0;
};

constexpr Rgb mix(Rgb from, Rgb to, double t)
{
    return {from.r + (to.r - from.r) * t, from.g + (to.g - from.g) * t,
            from.b + (to.b - from.b) * t};
}

constexpr Rgb scaled(Rgb c, double factor)
{
    return {c.r * factor, c.g * factor, c.b * factor};
}

double clamp01(double x);

// 0 below edge0, 1 above edge1, a smooth cubic step between.
double smoothstep(double edge0, double edge1, double x);

// Rounds each channel to the nearest integer (halves up) and clamps to 0..255.
QRgb toQRgb(Rgb c, int alpha = 255);

// Signed distance from the point (x, y) to the rectangle box with corners
// rounded to radius: negative inside, positive outside, in pixels. Pixel
// (col, row) is sampled at its centre (col + 0.5, row + 0.5), so a straight
// edge of a box laid on whole pixels is at distance -0.5 from its pixels.
double roundedBoxDistance(double x, double y, const QRectF &box, double radius);

} // namespace velloran::artwork
