#include "slider/ucslider.h"

#include "slider/edgedrawing.h"
#include "slider/rounding.h"
#include "slider/ucslidertip.h"

#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>

#include <exception>
#include <limits>

namespace velloran {

using sliderdetail::checkedSub;
using sliderdetail::halfOf;
using sliderdetail::nearestInt;

namespace {

// Conversions of stored values. A key present with no value reads as zero,
// false or no picture; anything that does not convert throws TypeMismatch,
// and a number that does not fit throws Overflow.

qint64 toInteger(const QVariant &value)
{
    if (PropertyBag::isNone(value))
        return 0;
    switch (value.metaType().id()) {
    case QMetaType::Bool:
        return value.toBool() ? -1 : 0;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return value.toLongLong();
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint64>::max()))
            throw SliderError(SliderError::Overflow);
        return value.toLongLong();
    case QMetaType::Double:
    case QMetaType::Float: {
        const double whole = sliderdetail::roundHalfEven(value.toDouble());
        if (!(whole >= -9.0e18 && whole <= 9.0e18))
            throw SliderError(SliderError::Overflow);
        return static_cast<qint64>(whole);
    }
    case QMetaType::QString: {
        bool ok = false;
        const QString text = value.toString().trimmed();
        const qint64 number = text.toLongLong(&ok);
        if (ok)
            return number;
        const double real = text.toDouble(&ok);
        if (ok)
            return toInteger(QVariant(real));
        if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
            return -1;
        if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
            return 0;
        throw SliderError(SliderError::TypeMismatch);
    }
    default:
        throw SliderError(SliderError::TypeMismatch);
    }
}

qint32 toInt32(const QVariant &value)
{
    return sliderdetail::narrow32(toInteger(value));
}

qint16 toInt16(const QVariant &value)
{
    return sliderdetail::narrow16(toInteger(value));
}

bool toBoolean(const QVariant &value)
{
    return toInteger(value) != 0;
}

// A colour is a 32-bit pattern, stored signed or unsigned.
quint32 toColour(const QVariant &value)
{
    const qint64 number = toInteger(value);
    if (number < -2147483648LL || number > 4294967295LL)
        throw SliderError(SliderError::Overflow);
    return static_cast<quint32>(number);
}

QPixmap toPicture(const QVariant &value)
{
    if (PropertyBag::isNone(value))
        return QPixmap();
    if (value.metaType().id() == QMetaType::QPixmap)
        return value.value<QPixmap>();
    if (value.metaType().id() == QMetaType::QImage)
        return QPixmap::fromImage(value.value<QImage>());
    throw SliderError(SliderError::TypeMismatch);
}

QVariant pictureValue(const QPixmap &picture)
{
    return picture.isNull() ? QVariant() : QVariant::fromValue(picture);
}

// The edge each rail style draws; 0 draws nothing.
int railEdge(qint32 railStyle)
{
    switch (railStyle) {
    case ucSlider::RailSunken:
        return sliderdetail::SunkenEdge;
    case ucSlider::RailRaised:
        return sliderdetail::RaisedEdge;
    case ucSlider::RailSunkenLine:
        return sliderdetail::SunkenOuter;
    case ucSlider::RailRaisedLine:
        return sliderdetail::RaisedInner;
    default:
        return 0;
    }
}

// Runs a step of the mouse handling that raises events. An exception that
// a handler of them throws ends the step there and is told on the console:
// it never crosses Qt's delivery of the mouse event.
template <typename Step>
void contained(const char *event, Step step) noexcept
{
    try {
        step();
    } catch (const std::exception &e) {
        qWarning("ucSlider: a handler of %s failed: %s", event, e.what());
    } catch (...) {
        qWarning("ucSlider: a handler of %s failed", event);
    }
}

// The Shift argument of the mouse signals: 1 Shift, 2 Ctrl, 4 Alt.
qint16 shiftState(Qt::KeyboardModifiers modifiers)
{
    int shift = 0;
    if (modifiers & Qt::ShiftModifier)
        shift |= 1;
    if (modifiers & Qt::ControlModifier)
        shift |= 2;
    if (modifiers & Qt::AltModifier)
        shift |= 4;
    return static_cast<qint16>(shift);
}

} // namespace

ucSlider::ucSlider(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    InitProperties();
}

ucSlider::ucSlider(const PropertyBag &store, QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    ReadProperties(store);
}

ucSlider::~ucSlider()
{
    ucSliderTip::closeShared();
}

// ---- Properties -----------------------------------------------------------

void ucSlider::SetEnabled(bool New_Enabled)
{
    m_Enabled = New_Enabled;
}

void ucSlider::SetBackColor(quint32 New_BackColor)
{
    m_BackColor = New_BackColor;
    DrawSlider();
}

void ucSlider::SetMousePointer(qint32 New_MousePointer)
{
    m_MousePointer = sliderdetail::narrow16(New_MousePointer);
    applyPointer();
}

void ucSlider::SetMouseIcon(const QPixmap &New_MouseIcon)
{
    m_MouseIcon = New_MouseIcon;
    applyPointer();
}

void ucSlider::SetMax(qint32 New_Max)
{
    if (New_Max <= m_Min)
        throw SliderError(SliderError::InvalidPropertyValue);
    // The range is checked before anything is stored, so a refused bound
    // leaves the slider consistent.
    const qint32 range = checkedSub(New_Max, m_Min);
    m_Max = New_Max;
    m_Range = range;
}

void ucSlider::SetMin(qint32 New_Min)
{
    if (New_Min >= m_Max)
        throw SliderError(SliderError::InvalidPropertyValue);
    const qint32 range = checkedSub(m_Max, New_Min);
    m_Min = New_Min;
    m_Range = range;
    // Handlers of the events raised here already see the new range.
    SetValue(New_Min);
}

void ucSlider::SetValue(qint32 New_Value)
{
    if (New_Value < m_Min || New_Value > m_Max)
        throw SliderError(SliderError::InvalidPropertyValue);
    m_Value = New_Value;
    if (New_Value == m_LastValue)
        return;
    // During a drag the thumb stays where the mouse put it.
    if (!m_Dragging) {
        try {
            placeThumb(New_Value);
        } catch (const SliderError &) {
            // An empty range leaves the thumb where it was.
        }
    }
    DrawSlider();
    m_LastValue = m_Value;
    Q_EMIT Change();
    // Handlers of Change may have assigned another value.
    if (m_Value == m_Max)
        Q_EMIT ArrivedLast();
    if (m_Value == m_Min)
        Q_EMIT ArrivedFirst();
}

void ucSlider::SetOrientation(qint32 New_Orientation)
{
    m_Orientation = New_Orientation;
    ResetThumbPosition();
    Layout();
}

void ucSlider::SetRailStyle(qint32 New_RailStyle)
{
    m_RailStyle = New_RailStyle;
    Layout();
}

void ucSlider::SetSliderImage(const QPixmap &New_SliderImage)
{
    imgSlider.picture = New_SliderImage;
    Layout();
}

void ucSlider::SetRailImage(const QPixmap &New_RailImage)
{
    imgRail.picture = New_RailImage;
    Layout();
}

void ucSlider::SetShowValueTip(bool New_ShowValueTip)
{
    m_ShowValueTip = New_ShowValueTip;
}

void ucSlider::applyPointer()
{
    switch (m_MousePointer) {
    case 1:
    case 4:
        setCursor(Qt::ArrowCursor);
        break;
    case 2:
        setCursor(Qt::CrossCursor);
        break;
    case 3:
        setCursor(Qt::IBeamCursor);
        break;
    case 5:
    case 15:
        setCursor(Qt::SizeAllCursor);
        break;
    case 6:
        setCursor(Qt::SizeBDiagCursor);
        break;
    case 7:
        setCursor(Qt::SizeVerCursor);
        break;
    case 8:
        setCursor(Qt::SizeFDiagCursor);
        break;
    case 9:
        setCursor(Qt::SizeHorCursor);
        break;
    case 10:
        setCursor(Qt::UpArrowCursor);
        break;
    case 11:
        setCursor(Qt::WaitCursor);
        break;
    case 12:
        setCursor(Qt::ForbiddenCursor);
        break;
    case 13:
        setCursor(Qt::BusyCursor);
        break;
    case 14:
        setCursor(Qt::WhatsThisCursor);
        break;
    case PointerCustom:
        if (!m_MouseIcon.isNull())
            setCursor(QCursor(m_MouseIcon));
        else
            unsetCursor();
        break;
    default:
        unsetCursor();
        break;
    }
}

// ---- Persistence ----------------------------------------------------------

void ucSlider::InitProperties()
{
    m_Enabled = true;
    m_ShowValueTip = true;
    m_Orientation = Vertical;
    m_RailStyle = RailSunken;
    m_Min = 0;
    m_Max = 10;
    m_Value = 0;
    m_Range = 10;
    m_LastValue = 0;
    ResetThumbPosition();
}

void ucSlider::WriteProperties(PropertyBag &store) const
{
    store.WriteProperty(QStringLiteral("BackColor"), QVariant::fromValue(m_BackColor),
                        QVariant::fromValue(kDefaultBackColor));
    store.WriteProperty(QStringLiteral("Enabled"), m_Enabled, true);
    store.WriteProperty(QStringLiteral("MouseIcon"), pictureValue(m_MouseIcon));
    store.WriteProperty(QStringLiteral("MousePointer"), QVariant::fromValue(m_MousePointer),
                        QVariant::fromValue(qint16(0)));
    store.WriteProperty(QStringLiteral("SliderImage"), pictureValue(imgSlider.picture));
    store.WriteProperty(QStringLiteral("Orientation"), m_Orientation, qint32(Vertical));
    store.WriteProperty(QStringLiteral("RailImage"), pictureValue(imgRail.picture));
    store.WriteProperty(QStringLiteral("RailStyle"), m_RailStyle, qint32(RailSunken));
    store.WriteProperty(QStringLiteral("ShowValueTip"), m_ShowValueTip, true);
    store.WriteProperty(QStringLiteral("Min"), m_Min, qint32(0));
    store.WriteProperty(QStringLiteral("Max"), m_Max, qint32(10));
    store.WriteProperty(QStringLiteral("Value"), m_Value, qint32(0));
}

void ucSlider::ReadProperties(const PropertyBag &store)
{
    // The colour is taken without the repaint its assignment does.
    m_BackColor = toColour(store.ReadProperty(QStringLiteral("BackColor"),
                                              QVariant::fromValue(kDefaultBackColor)));
    m_MousePointer = toInt16(store.ReadProperty(QStringLiteral("MousePointer"), 0));
    applyPointer();
    SetMouseIcon(toPicture(store.ReadProperty(QStringLiteral("MouseIcon"))));

    // Stored straight into the members: no checks, no layout, no events.
    m_Enabled = toBoolean(store.ReadProperty(QStringLiteral("Enabled"), true));
    m_Orientation = toInt32(store.ReadProperty(QStringLiteral("Orientation"), qint32(Vertical)));
    m_RailStyle = toInt32(store.ReadProperty(QStringLiteral("RailStyle"), qint32(RailSunken)));
    m_ShowValueTip = toBoolean(store.ReadProperty(QStringLiteral("ShowValueTip"), true));
    m_Min = toInt32(store.ReadProperty(QStringLiteral("Min"), 0));
    m_Max = toInt32(store.ReadProperty(QStringLiteral("Max"), 10));
    m_Value = toInt32(store.ReadProperty(QStringLiteral("Value"), 0));

    imgSlider.picture = toPicture(store.ReadProperty(QStringLiteral("SliderImage")));
    imgRail.picture = toPicture(store.ReadProperty(QStringLiteral("RailImage")));

    m_Range = checkedSub(m_Max, m_Min);
    m_LastValue = m_Value;

    // Placed on both axes; the next layout sets the coordinate across the
    // track again.
    placeThumbHorizontally(m_Value);
    placeThumbVertically(m_Value);
}

// ---- Layout ---------------------------------------------------------------

bool ucSlider::isPictureRail() const
{
    return m_RailStyle == RailPicture && imgRail.hasPicture();
}

float ucSlider::trackLength() const
{
    return m_Orientation == Vertical ? float(height() - imgSlider.Height())
                                     : float(width() - imgSlider.Width());
}

void ucSlider::placeThumbHorizontally(qint32 value)
{
    const qint32 offset = checkedSub(value, m_Min);
    if (m_Range == 0)
        throw SliderError(SliderError::DivisionByZero);
    const double track = width() - imgSlider.Width();
    imgSlider.Left = float(track * offset / m_Range);
}

void ucSlider::placeThumbVertically(qint32 value)
{
    const qint32 offset = checkedSub(value, m_Min);
    if (m_Range == 0)
        throw SliderError(SliderError::DivisionByZero);
    // Min at the bottom, Max at the top.
    const double track = height() - imgSlider.Height();
    imgSlider.Top = float(track - track * offset / m_Range);
}

void ucSlider::placeThumb(qint32 value)
{
    if (m_Orientation == Horizontal)
        placeThumbHorizontally(value);
    else if (m_Orientation == Vertical)
        placeThumbVertically(value);
}

void ucSlider::ResetThumbPosition()
{
    if (m_Orientation == Horizontal) {
        imgSlider.Left = 0.0f;
        imgSlider.Top = 0.0f;
    } else if (m_Orientation == Vertical) {
        imgSlider.Left = 0.0f;
        imgSlider.Top = float(height() - imgSlider.Height());
    }
}

void ucSlider::Layout()
{
    // The size set by the layout itself resizes the widget again; that
    // nested pass would compute the same result.
    if (m_InLayout)
        return;
    const QScopedValueRollback inLayout(m_InLayout, true);

    // Each step that fails is skipped; the next one still runs.
    try {
        layoutOuterSize();
    } catch (const SliderError &) {
    }
    try {
        layoutThumbPlacement();
    } catch (const SliderError &) {
    }
    try {
        layoutRailRect();
    } catch (const SliderError &) {
    }
    DrawSlider();
}

void ucSlider::layoutOuterSize()
{
    const QSize thumb = imgSlider.size();
    const QSize rail = imgRail.size();
    if (isPictureRail()) {
        // The pictures decide; the host cannot resize a picture-rail slider.
        if (m_Orientation == Horizontal)
            resize(rail.width() + 4, qMax(thumb.height(), rail.height()));
        else if (m_Orientation == Vertical)
            resize(qMax(thumb.width(), rail.width()), rail.height() + 4);
    } else {
        // The host decides the length, the thumb the thickness.
        if (m_Orientation == Horizontal)
            resize(width() == 0 ? thumb.width() : width(), thumb.height());
        else if (m_Orientation == Vertical)
            resize(thumb.width(), height() == 0 ? thumb.height() : height());
    }
}

void ucSlider::layoutThumbPlacement()
{
    const QSize thumb = imgSlider.size();
    const QSize rail = imgRail.size();
    if (m_Orientation == Horizontal) {
        // A thumb lower than a picture rail is centred on it.
        imgSlider.Top = isPictureRail() && thumb.height() < rail.height()
                            ? float(halfOf(rail.height() - thumb.height()))
                            : 0.0f;
        placeThumbHorizontally(m_Value);
    } else if (m_Orientation == Vertical) {
        imgSlider.Left = isPictureRail() && thumb.width() < rail.width()
                             ? float(halfOf(rail.width() - thumb.width()))
                             : 0.0f;
        placeThumbVertically(m_Value);
    }
}

void ucSlider::layoutRailRect()
{
    // 4 pixels thick, centred across the thumb, from 2 pixels before the
    // thumb's centre at one end of the track to 2 pixels beyond it at the
    // other end.
    const int thumbW = imgSlider.Width();
    const int thumbH = imgSlider.Height();
    SliderRect rect;
    if (m_Orientation == Horizontal) {
        rect.top = halfOf(thumbH - 4);
        rect.bottom = sliderdetail::narrow32(qint64(rect.top) + 4);
        rect.left = halfOf(thumbW) - 2;
        rect.right = nearestInt(double(width()) + rect.left - thumbW + 4);
    } else if (m_Orientation == Vertical) {
        rect.top = halfOf(thumbH) - 2;
        rect.bottom = nearestInt(double(height()) + rect.top - thumbH + 4);
        rect.left = halfOf(thumbW - 4);
        rect.right = sliderdetail::narrow32(qint64(rect.left) + 4);
    } else {
        return;
    }
    m_RailRect = rect;
}

// ---- Painting -------------------------------------------------------------

void ucSlider::DrawSlider()
{
    const QPalette &pal = palette();
    const qreal ratio = devicePixelRatioF();
    m_Surface = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    m_Surface.setDevicePixelRatio(ratio);

    if (!m_Surface.isNull()) {
        QPainter painter(&m_Surface);
        painter.fillRect(rect(), sliderdetail::resolveColour(m_BackColor, pal));

        if (m_RailStyle == RailPicture) {
            if (imgRail.hasPicture()) {
                // 2 pixels free at each end of the rail.
                try {
                    if (m_Orientation == Horizontal)
                        painter.drawPixmap(2, halfOf(height() - imgRail.Height()), imgRail.picture);
                    else if (m_Orientation == Vertical)
                        painter.drawPixmap(halfOf(width() - imgRail.Width()), 2, imgRail.picture);
                } catch (const SliderError &) {
                }
            }
        } else {
            const int edge = railEdge(m_RailStyle);
            if (edge != 0)
                sliderdetail::drawEdge(painter, pal, m_RailRect, edge, sliderdetail::AllSides);
        }

        try {
            // The thumb is drawn at the whole pixel nearest to its position.
            if (imgSlider.hasPicture()) {
                painter.drawPixmap(nearestInt(imgSlider.Left), nearestInt(imgSlider.Top),
                                   imgSlider.picture);
            } else {
                SliderRect thumb;
                thumb.left = nearestInt(imgSlider.Left);
                thumb.top = nearestInt(imgSlider.Top);
                thumb.right = nearestInt(double(imgSlider.Width()) + thumb.left);
                thumb.bottom = nearestInt(double(imgSlider.Height()) + thumb.top);
                m_ThumbRect = thumb;
                painter.fillRect(QRect(QPoint(thumb.left, thumb.top),
                                       QPoint(thumb.right - 1, thumb.bottom - 1)),
                                 sliderdetail::resolveColour(sliderdetail::kButtonFace, pal));
                sliderdetail::drawEdge(painter, pal, m_ThumbRect, sliderdetail::RaisedEdge,
                                       sliderdetail::AllSides);
            }
        } catch (const SliderError &) {
        }
    }
    update();

    // Every repaint during a drag refreshes the tip.
    if (m_ShowValueTip && m_Dragging)
        ShowTip();
}

void ucSlider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_Surface.isNull() || m_Surface.deviceIndependentSize() != QSizeF(size()))
        painter.fillRect(rect(), sliderdetail::resolveColour(m_BackColor, palette()));
    if (!m_Surface.isNull())
        painter.drawImage(0, 0, m_Surface);
}

void ucSlider::resizeEvent(QResizeEvent *)
{
    Layout();
}

void ucSlider::showEvent(QShowEvent *)
{
    DrawSlider();
}

// ---- Value tip ------------------------------------------------------------

void ucSlider::ShowTip()
{
    // Only the two orientations have a side to put the tip on.
    if (m_Orientation != Horizontal && m_Orientation != Vertical)
        return;

    const QPoint origin = mapToGlobal(QPoint(0, 0));
    ucSliderTip *tip = ucSliderTip::obtain();
    tip->setText(QString::number(m_Value));

    const double tipW = tip->lblTip()->width();
    const double tipH = tip->lblTip()->height();
    const double thumbLeft = imgSlider.Left;
    const double thumbTop = imgSlider.Top;
    int x = 0;
    int y = 0;
    try {
        if (m_Orientation == Horizontal) {
            // Above the thumb, centred on it; the tip's bottom edge 2 pixels
            // above the thumb's top edge.
            x = nearestInt(origin.x() + thumbLeft + halfOf(imgSlider.Width() - tipW - 4));
            y = nearestInt(origin.y() + thumbTop - tipH - 5);
        } else {
            // Left of the thumb, centred on it; the tip's right edge 2 pixels
            // left of the thumb's left edge.
            x = nearestInt(origin.x() + thumbLeft - tipW - 6);
            y = nearestInt(origin.y() + thumbTop + halfOf(imgSlider.Height() - tipH - 4));
        }
    } catch (const SliderError &) {
    }
    tip->showAt(QPoint(x, y));
}

// ---- Mouse ----------------------------------------------------------------

qint32 ucSlider::ThumbToValue()
{
    qint32 value = 0;
    const double track = trackLength();
    try {
        if (track == 0.0)
            throw SliderError(SliderError::DivisionByZero);
        if (m_Orientation == Horizontal) {
            value = nearestInt(imgSlider.Left / track * m_Range + m_Min);
        } else if (m_Orientation == Vertical) {
            const double fromBottom = double(height()) - imgSlider.Height() - imgSlider.Top;
            value = nearestInt(fromBottom / track * m_Range + m_Min);
        }
    } catch (const SliderError &) {
    }
    // The thumb snaps onto the exact place of the whole value.
    try {
        placeThumb(value);
    } catch (const SliderError &) {
    }
    return value;
}

void ucSlider::pressAt(Qt::MouseButton button, qint16 shift, float x, float y)
{
    if (!m_Enabled || button != Qt::LeftButton)
        return;
    m_Dragging = true;

    const float left = imgSlider.Left;
    const float top = imgSlider.Top;
    const float right = left + float(imgSlider.Width());
    const float bottom = top + float(imgSlider.Height());
    if (left <= x && x < right && top <= y && y < bottom) {
        // Held where it was grabbed; neither thumb nor value moves.
        m_GrabX = x - left;
        m_GrabY = y - top;
    } else {
        // The thumb jumps to put its centre under the pointer.
        m_GrabX = float(halfOf(imgSlider.Width()));
        m_GrabY = float(halfOf(imgSlider.Height()));
        dragTo(x, y);
    }

    if (m_ShowValueTip)
        ShowTip();
    Q_EMIT MouseDown(shift);
}

void ucSlider::dragTo(float x, float y)
{
    if (!m_Dragging)
        return;
    // Without a known direction, or without room to travel, the mouse moves
    // neither the thumb nor the value.
    if (m_Orientation != Horizontal && m_Orientation != Vertical)
        return;
    const float track = trackLength();
    if (!(track > 0.0f))
        return;

    if (m_Orientation == Horizontal) {
        const float p = x - m_GrabX;
        imgSlider.Left = p < 0.0f ? 0.0f : (p > track ? track : p);
    } else {
        const float p = y - m_GrabY;
        imgSlider.Top = p < 0.0f ? 0.0f : (p > track ? track : p);
    }
    const qint32 value = ThumbToValue();
    try {
        SetValue(value);
    } catch (const SliderError &) {
        // A stored Min above Max refuses every value; the value stays.
    }
}

void ucSlider::releaseAt(Qt::MouseButton button, qint16 shift, float x, float y)
{
    // Whatever the handlers of Click and MouseUp do, even throw, the drag
    // ends and the tip closes.
    struct EndOfDrag
    {
        ucSlider *slider;
        ~EndOfDrag()
        {
            slider->m_Dragging = false;
            ucSliderTip::closeShared();
        }
    } endOfDrag{this};
    const bool dragging = m_Dragging;
    if (button == Qt::LeftButton && x >= 0.0f && x < float(width()) && y >= 0.0f
        && y < float(height()))
        contained("Click", [&] { Q_EMIT Click(); });
    if (dragging)
        contained("MouseUp", [&] { Q_EMIT MouseUp(shift); });
}

void ucSlider::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    const QPointF pos = event->position();
    contained("MouseDown", [&] { pressAt(event->button(), shiftState(event->modifiers()), float(pos.x()), float(pos.y())); });
}

void ucSlider::mouseMoveEvent(QMouseEvent *event)
{
    event->accept();
    const QPointF pos = event->position();
    contained("Change", [&] { dragTo(float(pos.x()), float(pos.y())); });
}

void ucSlider::mouseReleaseEvent(QMouseEvent *event)
{
    event->accept();
    const QPointF pos = event->position();
    releaseAt(event->button(), shiftState(event->modifiers()), float(pos.x()), float(pos.y()));
}

} // namespace velloran
