#include "slider/slidermodel.h"

#include "slider/rounding.h"

namespace velloran {

using sliderdetail::checkedSub;
using sliderdetail::halfOf;
using sliderdetail::nearestInt;
using sliderdetail::narrow32;

// ---- Track ----------------------------------------------------------------

Checked<float> SliderTrack::positionOf(qint32 min, qint32 range, qint32 value) const
{
    const std::optional<qint32> offset = checkedSub(value, min);
    if (!offset)
        return SliderStatus::Overflow;
    if (range == 0)
        return SliderStatus::DivisionByZero;
    const double track = m_length;
    const double fromMin = track * *offset / range;
    return float(m_axis.minAtFarEnd() ? track - fromMin : fromMin);
}

std::optional<qint32> SliderTrack::valueAt(qint32 min, qint32 range, float position) const
{
    // The length as a dragged coordinate is held to it.
    const double track = float(m_length);
    if (track == 0.0)
        return std::nullopt;
    const double fromMin = m_axis.minAtFarEnd() ? double(m_length) - position : position;
    return nearestInt(fromMin / track * range + min);
}

float SliderTrack::clamp(float position) const
{
    const float end = float(m_length);
    return position < 0.0f ? 0.0f : (position > end ? end : position);
}

// ---- Layout ---------------------------------------------------------------

namespace sliderlayout {

QSize outerSize(SliderAxis axis, QSize current, QSize thumb, std::optional<QSize> pictureRail)
{
    if (pictureRail)
        return axis.size(axis.along(*pictureRail) + 4,
                         qMax(axis.across(thumb), axis.across(*pictureRail)));
    const int length = axis.along(current);
    return axis.size(length == 0 ? axis.along(thumb) : length, axis.across(thumb));
}

float thumbAcross(SliderAxis axis, QSize thumb, std::optional<QSize> pictureRail)
{
    if (pictureRail && axis.across(thumb) < axis.across(*pictureRail))
        return float(halfOf(axis.across(*pictureRail) - axis.across(thumb)));
    return 0.0f;
}

std::optional<SliderRect> railRect(const SliderTrack &track, QSize thumb)
{
    const SliderAxis axis = track.axis();
    const qint32 acrossStart = halfOf(axis.across(thumb) - 4);
    const qint32 alongStart = halfOf(axis.along(thumb)) - 2;
    const std::optional<qint32> acrossEnd = narrow32(qint64(acrossStart) + 4);
    const std::optional<qint32> alongEnd = narrow32(qint64(alongStart) + track.length() + 4);
    if (!acrossEnd || !alongEnd)
        return std::nullopt;
    return axis.rect(alongStart, acrossStart, *alongEnd, *acrossEnd);
}

QPoint railPicturePos(SliderAxis axis, QSize slider, QSize rail)
{
    return axis.point(2, halfOf(axis.across(slider) - axis.across(rail)));
}

std::optional<QPoint> thumbPixel(ThumbPlace place)
{
    const std::optional<qint32> left = nearestInt(place.Left);
    const std::optional<qint32> top = nearestInt(place.Top);
    if (!left || !top)
        return std::nullopt;
    return QPoint(*left, *top);
}

std::optional<SliderRect> thumbBlock(QPoint pixel, QSize thumb)
{
    const std::optional<qint32> right = narrow32(qint64(pixel.x()) + thumb.width());
    const std::optional<qint32> bottom = narrow32(qint64(pixel.y()) + thumb.height());
    if (!right || !bottom)
        return std::nullopt;
    return SliderRect{pixel.x(), pixel.y(), *right, *bottom};
}

std::optional<QPoint> tipPlace(SliderAxis axis, QPoint origin, ThumbPlace place, QSize thumb,
                               QSize label)
{
    const std::optional<qint32> centring =
        sliderdetail::halfOfNearest(axis.along(thumb) - double(axis.along(label)) - 4);
    if (!centring)
        return std::nullopt;
    // Before the thumb, besides the label: the window's frame (4 pixels
    // wide, 3 tall) and the 2-pixel gap.
    const int beyondLabel = axis.across(QSize(6, 5));
    const std::optional<qint32> along =
        nearestInt(axis.along(origin) + double(axis.along(place)) + *centring);
    const std::optional<qint32> across = nearestInt(
        axis.across(origin) + double(axis.across(place)) - double(axis.across(label)) - beyondLabel);
    if (!along || !across)
        return std::nullopt;
    return axis.point(*along, *across);
}

} // namespace sliderlayout

// ---- Range and value ------------------------------------------------------

SliderStatus SliderModel::SetMin(qint32 New_Min)
{
    return setRange(New_Min, m_Max);
}

SliderStatus SliderModel::SetMax(qint32 New_Max)
{
    return setRange(m_Min, New_Max);
}

SliderStatus SliderModel::setRange(qint32 min, qint32 max)
{
    if (max <= min)
        return SliderStatus::InvalidPropertyValue;
    // The range is checked before anything is stored, so a refused bound
    // leaves the model consistent.
    const std::optional<qint32> range = checkedSub(max, min);
    if (!range)
        return SliderStatus::Overflow;
    m_Min = min;
    m_Max = max;
    m_Range = *range;
    return SliderStatus::Done;
}

SliderStatus SliderModel::SetValue(qint32 New_Value)
{
    if (New_Value < m_Min || New_Value > m_Max)
        return SliderStatus::InvalidPropertyValue;
    m_Value = New_Value;
    return SliderStatus::Done;
}

SliderStatus SliderModel::restoreRange()
{
    const std::optional<qint32> range = checkedSub(m_Max, m_Min);
    if (!range)
        return SliderStatus::Overflow;
    m_Range = *range;
    m_LastValue = m_Value;
    return SliderStatus::Done;
}

// ---- Thumb ----------------------------------------------------------------

void SliderModel::ResetThumbPosition(const SliderTrack &track)
{
    setThumbAcross(track.axis(), 0.0f);
    setThumbAlong(track.axis(), track.minEnd());
}

void SliderModel::placeThumb(const SliderTrack &track, qint32 value)
{
    if (const Checked<float> along = track.positionOf(m_Min, m_Range, value))
        setThumbAlong(track.axis(), *along);
}

qint32 SliderModel::ThumbToValue(const SliderTrack &track)
{
    const qint32 value =
        track.valueAt(m_Min, m_Range, track.axis().along(m_Thumb)).value_or(0);
    // The thumb snaps onto the exact place of the whole value.
    placeThumb(track, value);
    return value;
}

bool SliderModel::beginDrag(QSize thumb, float x, float y)
{
    m_Dragging = true;
    const float left = m_Thumb.Left;
    const float top = m_Thumb.Top;
    const float right = left + float(thumb.width());
    const float bottom = top + float(thumb.height());
    if (left <= x && x < right && top <= y && y < bottom) {
        m_GrabX = x - left;
        m_GrabY = y - top;
        return true;
    }
    m_GrabX = float(halfOf(thumb.width()));
    m_GrabY = float(halfOf(thumb.height()));
    return false;
}

bool SliderModel::dragTo(const SliderTrack &track, float x, float y)
{
    if (!m_Dragging || !track.hasTravel())
        return false;
    const SliderAxis axis = track.axis();
    setThumbAlong(axis, track.clamp(axis.along(x, y) - axis.along(m_GrabX, m_GrabY)));
    return true;
}

} // namespace velloran
