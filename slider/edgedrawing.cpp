#include "slider/edgedrawing.h"

#include <QPainter>
#include <QPalette>
#include <QWidget>

namespace velloran::sliderdetail {

namespace {

QPalette::ColorRole systemRole(quint32 index)
{
    switch (index) {
    case 1: // desktop
        return QPalette::Window;
    case 2: // active caption
    case 13: // highlight
        return QPalette::Highlight;
    case 4: // menu
        return QPalette::Window;
    case 5: // window
        return QPalette::Base;
    case 6: // window frame
    case 21: // 3-D dark shadow
        return QPalette::Shadow;
    case 7: // menu text
        return QPalette::WindowText;
    case 8: // window text
        return QPalette::Text;
    case 9: // caption text
    case 14: // highlighted text
        return QPalette::HighlightedText;
    case 16: // button shadow
        return QPalette::Dark;
    case 18: // button text
        return QPalette::ButtonText;
    case 20: // button highlight
        return QPalette::Light;
    case 22: // 3-D light
        return QPalette::Midlight;
    case 23: // tooltip text
        return QPalette::ToolTipText;
    case 24: // tooltip background
        return QPalette::ToolTipBase;
    default: // 15, button face, and anything unknown
        return QPalette::Button;
    }
}

struct BorderColours
{
    QPalette::ColorRole lit;
    QPalette::ColorRole shaded;
};

// One border on the outline of (left, top, right, bottom), right and bottom
// exclusive, so the lines sit on columns left and right - 1 and on rows top
// and bottom - 1.
void drawBorder(QPainter &painter, const QPalette &palette, const SliderRect &r,
                BorderColours colours, int sides)
{
    if (r.right <= r.left || r.bottom <= r.top)
        return;
    // Nothing is ever painted beyond a widget's maximum size.
    const int width = int(qMin<qint64>(qint64(r.right) - r.left, QWIDGETSIZE_MAX));
    const int height = int(qMin<qint64>(qint64(r.bottom) - r.top, QWIDGETSIZE_MAX));
    const QColor lit = palette.color(colours.lit);
    const QColor shaded = palette.color(colours.shaded);
    if (sides & TopSide)
        painter.fillRect(QRect(r.left, r.top, width, 1), lit);
    if (sides & LeftSide)
        painter.fillRect(QRect(r.left, r.top, 1, height), lit);
    if (sides & BottomSide)
        painter.fillRect(QRect(r.left, r.bottom - 1, width, 1), shaded);
    if (sides & RightSide)
        painter.fillRect(QRect(r.right - 1, r.top, 1, height), shaded);
}

} // namespace

QColor resolveColour(quint32 value, const QPalette &palette)
{
    if (value & kSystemColour)
        return palette.color(systemRole(value & 0xFFFFu));
    return QColor(int(value & 0xFFu), int(value >> 8 & 0xFFu), int(value >> 16 & 0xFFu));
}

void drawEdge(QPainter &painter, const QPalette &palette, const SliderRect &rect, int edge,
              int sides)
{
    if (edge & RaisedOuter)
        drawBorder(painter, palette, rect, {QPalette::Midlight, QPalette::Shadow}, sides);
    else if (edge & SunkenOuter)
        drawBorder(painter, palette, rect, {QPalette::Dark, QPalette::Light}, sides);

    // The inner border lies inside the outer one; alone, it takes the
    // outline itself.
    const bool outer = (edge & (RaisedOuter | SunkenOuter)) != 0;
    const SliderRect inner = outer ? SliderRect{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1} : rect;
    if (edge & RaisedInner)
        drawBorder(painter, palette, inner, {QPalette::Light, QPalette::Dark}, sides);
    else if (edge & SunkenInner)
        drawBorder(painter, palette, inner, {QPalette::Shadow, QPalette::Midlight}, sides);
}

} // namespace velloran::sliderdetail
