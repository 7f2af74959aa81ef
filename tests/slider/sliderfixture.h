#pragma once

#include "slider/propertybag.h"
#include "slider/ucslider.h"

#include <QPixmap>
#include <QPoint>
#include <QWidget>

#include <ostream>
#include <string>
#include <vector>

namespace velloran::test {

// Parameterised cases print as their name.
template <typename Case>
    requires requires(const Case &c) { c.name; }
void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.name;
}

// Colours of the test pictures. Each picture carries a marker colour in its
// top-left pixel (the rail) or at (3, 3) (the thumb), so a test can find
// exactly where it was drawn.
inline constexpr QRgb kRailColour = 0xFF8040C0u;
inline constexpr QRgb kRailMarker = 0xFF00FF00u;
inline constexpr QRgb kThumbColour = 0xFF602080u;
inline constexpr QRgb kThumbMarker = 0xFFFFFF00u;

// A thumb picture with 3 x 3 transparent corners (ARGB), 26 x 25 unless said.
QPixmap thumbPicture(QSize size = QSize(26, 25));
// A thumb picture that is present but draws nothing.
QPixmap invisibleThumbPicture(QSize size);
// An opaque rail picture (RGB), 113 x 18 unless said.
QPixmap railPicture(QSize size = QSize(113, 18));

// The stored design of each of the main window's three sliders, keys in
// lower case as the host writes them, its own extent keys first.
PropertyBag mainWindowDesign();

// The slider's signals in the order they arrive, each with what its handler
// sees: "Change 5", "ArrivedLast", "MouseDown 0" (the Shift argument), ...
class EventLog
{
public:
    explicit EventLog(ucSlider &slider);
    std::vector<std::string> events;
};

// A shown top-level window at screen position (100, 200) holding sliders.
class Host
{
public:
    static constexpr QPoint kScreenPos{100, 200};

    Host();
    QWidget &window() { return m_window; }

    // A slider loaded from the main window's design, placed at (8, 40) with
    // the main window's size, 117 x 25.
    ucSlider *mainSlider();
    // A new slider with a drawn rail and the 16 x 16 pictureless thumb.
    ucSlider *drawnSlider(qint32 orientation, QRect geometry, qint32 min, qint32 max,
                          qint32 value);

private:
    QWidget m_window;
};

} // namespace velloran::test
