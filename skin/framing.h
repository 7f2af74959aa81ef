#pragma once

// How the user's picture is framed in a window image: stretched to the
// window's size (the picture's proportions lost), or filling it at one scale
// with the overflow cropped, the visible part placed by a focus point.

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QSize>

#include <optional>

namespace velloran {

enum class FitMode { Stretch, Fill };

// Where the visible part of a filled window lies: the centre of the crop as
// fractions of the picture's width and height (0.5, 0.5 the middle; 0 and 1
// put the crop against an edge).
struct Focus
{
    double x = 0.5;
    double y = 0.5;
    friend bool operator==(const Focus &, const Focus &) = default;
};

struct WindowFrame
{
    FitMode mode = FitMode::Stretch;
    Focus focus;
    friend bool operator==(const WindowFrame &, const WindowFrame &) = default;
};

// The part of a picture of `picture` pixels that fills a window image of
// `window` pixels at one scale: as large as the picture allows in the
// window's proportions, centred on the focus as far as the picture reaches,
// whole pixels, never outside the picture and never empty.
QRect fillCrop(QSize picture, QSize window, Focus focus);

// The picture made `window` by `mode` (stretched whole, or its fill crop
// resampled); null for a null picture or when memory runs out.
QImage framePicture(const QImage &picture, QSize window, const WindowFrame &frame);

// The size a loaded picture is kept at for framing later: scaled down by one
// factor as far as it still covers `cover` on both axes (so every window
// image up to that size is filled from it without enlarging), never up.
QSize keptPictureSize(QSize picture, QSize cover);

// The focus after the picture under a filled window has been dragged by
// `moved` window pixels, so that it follows the pointer; kept where the crop
// can still move, so dragging back answers at once.
Focus panned(QSize picture, QSize window, Focus focus, QPointF moved);

// "0.3,0.7" as a focus: two fractions from 0 to 1, comma-separated.
std::optional<Focus> parseFocus(const QString &text);

} // namespace velloran
