#pragma once

// Classic 3-D edges and the 32-bit colour values the slider is configured
// with, drawn with QPainter from the widget's palette.

#include "slider/sliderrect.h"

#include <QColor>
#include <QtGlobal>

class QPainter;
class QPalette;

namespace velloran::sliderdetail {

// A colour value as the slider's properties hold it: red + 256 x green +
// 65536 x blue, or 0x80000000 plus a system colour index, which resolves
// through the palette (15 button face, 5 window, 8 window text, 20 highlight
// edge, 21 dark shadow edge, ...). Unknown indexes resolve to button face.
QColor resolveColour(quint32 value, const QPalette &palette);

inline constexpr quint32 kSystemColour = 0x80000000u;
inline constexpr quint32 kButtonFace = kSystemColour | 15u;
inline constexpr quint32 kWindowColour = kSystemColour | 5u;
inline constexpr quint32 kWindowTextColour = kSystemColour | 8u;
inline constexpr quint32 kEdgeHighlight = kSystemColour | 20u;
inline constexpr quint32 kEdgeDarkShadow = kSystemColour | 21u;

// The borders of an edge; an edge is a combination of one outer and one
// inner border. The values are those the rail styles are defined with.
enum EdgeBorder : int {
    RaisedOuter = 1,
    SunkenOuter = 2,
    RaisedInner = 4,
    SunkenInner = 8,
    RaisedEdge = RaisedOuter | RaisedInner, // 5
    SunkenEdge = SunkenOuter | SunkenInner, // 10
};

// The sides an edge is drawn on.
enum EdgeSide : int {
    LeftSide = 1,
    TopSide = 2,
    RightSide = 4,
    BottomSide = 8,
    AllSides = 15,
};

// Draws the borders of `edge` along the sides of `rect` (right and bottom
// exclusive). The outer border runs on the rectangle's own outline, the inner
// border one pixel inside it, or on the outline when there is no outer one. Each border lights its top and left lines and
// shades its bottom and right lines; the shaded lines are drawn last and so
// take the top-right and bottom-left corner pixels:
//   raised outer: mid-light / shadow      sunken outer: dark / light
//   raised inner: light / dark            sunken inner: shadow / mid-light
// An edge of 0 draws nothing.
void drawEdge(QPainter &painter, const QPalette &palette, const SliderRect &rect, int edge,
              int sides);

} // namespace velloran::sliderdetail
