#pragma once

// The numbers behind a slider, kept apart from the widget so that they can be
// worked out and tested without one: the direction of the track, the track's
// length, the conversions between a value and the thumb's place, where the
// parts of the slider go, and the range, value and thumb of one slider.

#include "slider/slidererror.h"
#include "slider/sliderrect.h"

#include <QPoint>
#include <QSize>

#include <optional>

namespace velloran {

// Where the thumb's top-left corner stands, in the slider's pixels. It keeps
// the fraction that the place of a value has; the thumb is drawn at the
// nearest whole pixel.
struct ThumbPlace
{
    float Left = 0.0f;
    float Top = 0.0f;

    friend bool operator==(const ThumbPlace &, const ThumbPlace &) = default;
};

// The direction of a slider's track, chosen once from its orientation, so
// that one piece of code serves both directions. "Along" names the coordinate
// and the extent that run with the track, "across" the other two.
// Horizontal: along is x and the width; Min is at the left end. Vertical:
// along is y and the height; Min is at the bottom, the far end of the track.
class SliderAxis
{
public:
    // The orientation values.
    enum : qint32 { Horizontal = 0, Vertical = 1 };

    static constexpr SliderAxis horizontal() { return SliderAxis(false); }
    static constexpr SliderAxis vertical() { return SliderAxis(true); }
    // The axis of an orientation value; none for a value other than the two.
    static constexpr std::optional<SliderAxis> of(qint32 orientation)
    {
        if (orientation == Horizontal)
            return horizontal();
        if (orientation == Vertical)
            return vertical();
        return std::nullopt;
    }

    // Whether Min is at the far end of the track: the coordinate of a value
    // then falls as the value rises.
    constexpr bool minAtFarEnd() const { return m_vertical; }

    constexpr int along(QSize size) const { return m_vertical ? size.height() : size.width(); }
    constexpr int across(QSize size) const { return m_vertical ? size.width() : size.height(); }
    constexpr int along(QPoint point) const { return m_vertical ? point.y() : point.x(); }
    constexpr int across(QPoint point) const { return m_vertical ? point.x() : point.y(); }
    constexpr float along(float x, float y) const { return m_vertical ? y : x; }
    constexpr float along(const ThumbPlace &place) const { return m_vertical ? place.Top : place.Left; }
    constexpr float across(const ThumbPlace &place) const { return m_vertical ? place.Left : place.Top; }
    constexpr float &along(ThumbPlace &place) const { return m_vertical ? place.Top : place.Left; }
    constexpr float &across(ThumbPlace &place) const { return m_vertical ? place.Left : place.Top; }

    constexpr QSize size(int along, int across) const
    {
        return m_vertical ? QSize(across, along) : QSize(along, across);
    }
    constexpr QPoint point(int along, int across) const
    {
        return m_vertical ? QPoint(across, along) : QPoint(along, across);
    }
    constexpr SliderRect rect(qint32 alongStart, qint32 acrossStart, qint32 alongEnd,
                              qint32 acrossEnd) const
    {
        return m_vertical ? SliderRect{acrossStart, alongStart, acrossEnd, alongEnd}
                          : SliderRect{alongStart, acrossStart, alongEnd, acrossEnd};
    }

    friend constexpr bool operator==(SliderAxis, SliderAxis) = default;

private:
    explicit constexpr SliderAxis(bool vertical)
        : m_vertical(vertical)
    {
    }

    bool m_vertical;
};

// The room a thumb travels in along one axis of a slider: the slider's length
// less the thumb's, in whole pixels, worked out once from the two sizes. It is
// zero or less when the thumb is as long as the slider or longer. The
// thumb's coordinate along the axis (Left or Top) runs from 0 to the length.
class SliderTrack
{
public:
    SliderTrack(SliderAxis axis, QSize slider, QSize thumb)
        : m_axis(axis)
        , m_length(axis.along(slider) - axis.along(thumb))
    {
    }

    SliderAxis axis() const { return m_axis; }
    qint32 length() const { return m_length; }
    // Whether a dragged thumb can move at all.
    bool hasTravel() const { return float(m_length) > 0.0f; }
    // The coordinate of Min's end: 0, or the length when Min is at the far
    // end.
    float minEnd() const { return m_axis.minAtFarEnd() ? float(m_length) : 0.0f; }

    // The thumb's coordinate for value on the range that starts at min and
    // spans range (Max - Min): the value's share of the range, as a share of
    // the length, from Min's end. Overflow when value - min does not fit 32
    // bits, DivisionByZero for an empty range.
    Checked<float> positionOf(qint32 min, qint32 range, qint32 value) const;
    // The whole value at a coordinate: its share of the length, as a share of
    // the range, from min, the nearest whole number with halves going to the
    // even one. None without a length or when the value does not fit 32 bits.
    std::optional<qint32> valueAt(qint32 min, qint32 range, float position) const;
    // A dragged coordinate held inside 0..length.
    float clamp(float position) const;

private:
    SliderAxis m_axis;
    qint32 m_length;
};

// Where the parts of a slider go, for a slider whose direction is axis.
namespace sliderlayout {

// The slider's own size. With a picture rail (pictureRail, its size) the
// pictures decide: as long as the rail and 4 pixels more, as thick as the
// thicker picture. Otherwise the host decides the length (the thumb's when it
// is zero) and the thumb the thickness.
QSize outerSize(SliderAxis axis, QSize current, QSize thumb, std::optional<QSize> pictureRail);

// The thumb's coordinate across the track: a thumb thinner than a picture
// rail is centred on it, any other sits at 0.
float thumbAcross(SliderAxis axis, QSize thumb, std::optional<QSize> pictureRail);

// Where a drawn rail goes: 4 pixels thick, centred across the thumb, from 2
// pixels before the thumb's centre at one end of the track to 2 pixels beyond
// it at the other end. None when it does not fit 32 bits.
std::optional<SliderRect> railRect(const SliderTrack &track, QSize thumb);

// Where the rail picture is drawn: 2 pixels free before it along the track,
// centred across the slider.
QPoint railPicturePos(SliderAxis axis, QSize slider, QSize rail);

// The whole pixel the thumb is drawn at: the nearest, ties to even. None
// when it does not fit 32 bits.
std::optional<QPoint> thumbPixel(ThumbPlace place);

// The rectangle a pictureless thumb drawn at pixel covers; none when it does
// not fit 32 bits.
std::optional<SliderRect> thumbBlock(QPoint pixel, QSize thumb);

// The screen place of the value tip's window, whose label is label large and
// which is 4 pixels wider and 3 pixels taller than its label, for a thumb at
// place on a slider whose top-left corner is at origin on the screen. The tip
// stands before the thumb across the track (above a horizontal one, left of
// a vertical one), 2 pixels clear of it; along the track it is centred on the
// thumb as if it were 4 pixels longer than its label, in both directions.
// None when the place does not fit 32 bits.
std::optional<QPoint> tipPlace(SliderAxis axis, QPoint origin, ThumbPlace place, QSize thumb,
                               QSize label);

} // namespace sliderlayout

// The range and value of one slider, and its thumb. The assignments check
// what they are given, as the slider's properties report it, and change
// nothing when they refuse; the restore members take a loaded value as it is.
// A new model holds 0 to 0 at 0, the thumb at (0, 0), no drag.
class SliderModel
{
public:
    qint32 Min() const { return m_Min; }
    qint32 Max() const { return m_Max; }
    qint32 Value() const { return m_Value; }
    // Max - Min as it was last worked out: by an accepted Min or Max, or by
    // restoreRange.
    qint32 Range() const { return m_Range; }

    // InvalidPropertyValue unless below Max, Overflow when Max - New_Min does
    // not fit 32 bits. Sets Min and the range only; the caller moves the value.
    SliderStatus SetMin(qint32 New_Min);
    // InvalidPropertyValue unless above Min, Overflow when New_Max - Min does
    // not fit 32 bits.
    SliderStatus SetMax(qint32 New_Max);
    // InvalidPropertyValue outside Min..Max.
    SliderStatus SetValue(qint32 New_Value);

    // Whether the value differs from the one last reported as a change, and
    // the report of the present one.
    bool hasNewValue() const { return m_Value != m_LastValue; }
    void reportValue() { m_LastValue = m_Value; }

    // Loading: values taken unchecked; then the range is worked out (Overflow
    // when it does not fit 32 bits, the range then kept as it was) and the
    // loaded value counts as reported.
    void restoreMin(qint32 New_Min) { m_Min = New_Min; }
    void restoreMax(qint32 New_Max) { m_Max = New_Max; }
    void restoreValue(qint32 New_Value) { m_Value = New_Value; }
    SliderStatus restoreRange();

    ThumbPlace thumb() const { return m_Thumb; }
    void setThumb(ThumbPlace place) { m_Thumb = place; }
    void setThumbAlong(SliderAxis axis, float along) { axis.along(m_Thumb) = along; }
    void setThumbAcross(SliderAxis axis, float across) { axis.across(m_Thumb) = across; }

    // The thumb at Min's end of the track, at 0 across it.
    void ResetThumbPosition(const SliderTrack &track);
    // The thumb at value's place along the track; left where it is when the
    // place cannot be worked out.
    void placeThumb(const SliderTrack &track, qint32 value);
    // The value at the thumb's place, and the thumb snapped onto that value's
    // exact place. A place whose value does not fit 32 bits (only a range
    // left from a failed load has such places) counts as value 0.
    qint32 ThumbToValue(const SliderTrack &track);

    // A drag, begun by a press at (x, y) with a thumb of the given size: a
    // press on the thumb holds it where it was grabbed (true), any other
    // grabs it by its centre (false), and the caller then drags it there.
    bool beginDrag(QSize thumb, float x, float y);
    bool isDragging() const { return m_Dragging; }
    // The thumb moved along the track with the pointer at (x, y), held inside
    // the track. False, and nothing moves, outside a drag or without travel.
    bool dragTo(const SliderTrack &track, float x, float y);
    void endDrag() { m_Dragging = false; }

private:
    // Min and Max, refused unless Min is below Max and Max - Min fits.
    SliderStatus setRange(qint32 min, qint32 max);

    qint32 m_Min = 0;
    qint32 m_Max = 0;
    qint32 m_Value = 0;
    qint32 m_Range = 0;
    qint32 m_LastValue = 0;

    ThumbPlace m_Thumb;
    bool m_Dragging = false;
    // Where the thumb is held, from its top-left corner.
    float m_GrabX = 0.0f;
    float m_GrabY = 0.0f;
};

} // namespace velloran
