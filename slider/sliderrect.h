#pragma once

#include <QtGlobal>

namespace velloran {

// A rectangle in the slider's pixel coordinates. Unlike QRect, right and
// bottom are exclusive: the width is right - left.
struct SliderRect
{
    qint32 left = 0;
    qint32 top = 0;
    qint32 right = 0;
    qint32 bottom = 0;

    friend bool operator==(const SliderRect &, const SliderRect &) = default;
};

} // namespace velloran
