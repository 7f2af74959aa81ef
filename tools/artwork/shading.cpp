#include "artwork/shading.h"

#include <algorithm>
#include <cmath>

namespace velloran::artwork {

double clamp01(double x)
{
    return std::clamp(x, 0.0, 1.0);
}

double smoothstep(double edge0, double edge1, double x)
{
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3.0 - 2.0 * t);
}

QRgb toQRgb(Rgb c, int alpha)
{
    const auto channel = [](double v) {
        return static_cast<int>(std::clamp(std::floor(v + 0.5), 0.0, 255.0));
    };
    return qRgba(channel(c.r), channel(c.g), channel(c.b), alpha);
}

double roundedBoxDistance(double x, double y, const QRectF &box, double radius)
{
    const QPointF centre = box.center();
    const double qx = std::abs(x - centre.x()) - (box.width() / 2.0 - radius);
    const double qy = std::abs(y - centre.y()) - (box.height() / 2.0 - radius);
    const double ox = std::max(qx, 0.0);
    const double oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

} // namespace velloran::artwork
