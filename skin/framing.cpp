#include "skin/framing.h"

#include "imaging/resample.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace velloran {

namespace {

// The crop's size in picture pixels, before rounding: the window's
// proportions at the largest scale the picture allows.
QSizeF cropSize(QSize picture, QSize window)
{
    const double scale = std::max(double(window.width()) / picture.width(),
                                  double(window.height()) / picture.height());
    return {std::min(window.width() / scale, double(picture.width())),
            std::min(window.height() / scale, double(picture.height()))};
}

// Where a crop of `length` starts on an axis of `extent` for a centre at
// `fraction` of it: against the edges as far as it must.
double cropStart(double extent, double length, double fraction)
{
    return std::clamp(fraction * extent - length / 2, 0.0, extent - length);
}

} // namespace

QRect fillCrop(QSize picture, QSize window, Focus focus)
{
    if (picture.isEmpty() || window.isEmpty())
        return {};
    const QSizeF size = cropSize(picture, window);
    const int width = std::clamp(int(std::lround(size.width())), 1, picture.width());
    const int height = std::clamp(int(std::lround(size.height())), 1, picture.height());
    const double fx = std::isfinite(focus.x) ? focus.x : 0.5;
    const double fy = std::isfinite(focus.y) ? focus.y : 0.5;
    const int left = int(std::lround(cropStart(picture.width(), width, fx)));
    const int top = int(std::lround(cropStart(picture.height(), height, fy)));
    return {std::clamp(left, 0, picture.width() - width), std::clamp(top, 0, picture.height() - height), width,
            height};
}

QImage framePicture(const QImage &picture, QSize window, const WindowFrame &frame)
{
    if (picture.isNull() || window.isEmpty())
        return {};
    if (frame.mode == FitMode::Stretch)
        return resampleImage(picture, window.width(), window.height());
    const QRect crop = fillCrop(picture.size(), window, frame.focus);
    // A crop of the whole picture needs no copy.
    const QImage part = crop == picture.rect() ? picture : picture.copy(crop);
    if (part.isNull())
        return {};
    return resampleImage(part, window.width(), window.height());
}

QSize keptPictureSize(QSize picture, QSize cover)
{
    if (picture.isEmpty() || cover.isEmpty())
        return picture;
    const double scale = std::max(double(cover.width()) / picture.width(),
                                  double(cover.height()) / picture.height());
    if (scale >= 1)
        return picture;
    // (A side that the scale makes exactly the cover's is not rounded up.)
    const auto side = [scale](int length) { return int(std::ceil(length * scale - 1e-6)); };
    return {std::max(cover.width(), side(picture.width())), std::max(cover.height(), side(picture.height()))};
}

Focus panned(QSize picture, QSize window, Focus focus, QPointF moved)
{
    if (picture.isEmpty() || window.isEmpty())
        return focus;
    const QSizeF crop = cropSize(picture, window);
    // Window pixels to picture pixels: the crop spans the window.
    const double perPixelX = crop.width() / window.width();
    const double perPixelY = crop.height() / window.height();
    const auto axis = [](double extent, double length, double fraction, double shift) {
        // From where the crop is now, so a focus beyond the reach of the
        // crop does not have to be dragged back first.
        const double centre = cropStart(extent, length, fraction) + length / 2 - shift;
        const double lowest = length / 2;
        const double highest = extent - length / 2;
        return std::clamp(centre, lowest, std::max(lowest, highest)) / extent;
    };
    return {axis(picture.width(), crop.width(), focus.x, moved.x() * perPixelX),
            axis(picture.height(), crop.height(), focus.y, moved.y() * perPixelY)};
}

std::optional<Focus> parseFocus(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    Focus focus;
    double *const values[] = {&focus.x, &focus.y};
    for (int i = 0; i < 2; ++i) {
        bool ok = false;
        const double v = parts[i].trimmed().toDouble(&ok);
        if (!ok || !(v >= 0 && v <= 1))
            return std::nullopt;
        *values[i] = v;
    }
    return focus;
}

} // namespace velloran
