#include "slider/ucslider.h"

#include "slider/edgedrawing.h"
#include "slider/rounding.h"
#include "slider/sliderproperties.h"
#include "slider/ucslidertip.h"

#include <QCursor>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScopedValueRollback>

#include <exception>
#include <limits>

namespace velloran {

namespace {

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
    // The new-slider values of what InitProperties leaves alone; it gives
    // the others theirs.
    for (const PersistedProperty &persisted : kPersistedProperties) {
        if (!persisted.initialised)
            restore(persisted, persistedDefault(persisted));
    }
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
    const std::optional<qint16> pointer = sliderdetail::narrow16(New_MousePointer);
    if (!pointer)
        throw SliderError(SliderError::Overflow);
    m_MousePointer = *pointer;
    applyPointer();
}

void ucSlider::SetMouseIcon(const QPixmap &New_MouseIcon)
{
    m_MouseIcon = New_MouseIcon;
    applyPointer();
}

void ucSlider::SetMax(qint32 New_Max)
{
    throwIfFailed(m_Model.SetMax(New_Max));
}

void ucSlider::SetMin(qint32 New_Min)
{
    throwIfFailed(m_Model.SetMin(New_Min));
    // Handlers of the events raised here already see the new range.
    SetValue(New_Min);
}

void ucSlider::SetValue(qint32 New_Value)
{
    throwIfFailed(m_Model.SetValue(New_Value));
    if (!m_Model.hasNewValue())
        return;
    // During a drag the thumb stays where the mouse put it; an empty range
    // leaves it where it was.
    if (!m_Model.isDragging()) {
        if (const std::optional<SliderTrack> along = track())
            m_Model.placeThumb(*along, New_Value);
    }
    DrawSlider();
    m_Model.reportValue();
    Q_EMIT Change();
    // Handlers of Change may have assigned another value.
    if (m_Model.Value() == m_Model.Max())
        Q_EMIT ArrivedLast();
    if (m_Model.Value() == m_Model.Min())
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

// The new slider's range always fits, so working it out cannot fail.
static_assert(persistedProperty("Max").defaultValue > persistedProperty("Min").defaultValue
              && persistedProperty("Max").defaultValue - persistedProperty("Min").defaultValue
                     <= std::numeric_limits<qint32>::max());

void ucSlider::InitProperties()
{
    for (const PersistedProperty &persisted : kPersistedProperties) {
        if (persisted.initialised)
            restore(persisted, persistedDefault(persisted));
    }
    static_cast<void>(m_Model.restoreRange());
    ResetThumbPosition();
}

void ucSlider::WriteProperties(PropertyBag &store) const
{
    // Each value as the property system reads it.
    for (const PersistedProperty &persisted : kPersistedProperties)
        store.WriteProperty(QString::fromLatin1(persisted.key),
                            persistedValue(persisted, property(persisted.key)),
                            persistedDefault(persisted));
}

void ucSlider::ReadProperties(const PropertyBag &store)
{
    for (const PersistedProperty *persisted : kPersistedLoadOrder) {
        const Checked<QVariant> value = loadedValue(
            *persisted,
            store.ReadProperty(QString::fromLatin1(persisted->key), persistedDefault(*persisted)));
        throwIfFailed(value.status());
        restore(*persisted, *value);
    }
    throwIfFailed(m_Model.restoreRange());
    throwIfFailed(placeOnBothAxes());
}

// Straight into the members, without the checks, layout, painting and events
// of the assignments; the colour, say, shows with the next redraw. Only the
// pointer is shown at once.
void ucSlider::restore(const PersistedProperty &persisted, const QVariant &value)
{
    if (&persisted == &persistedProperty("BackColor")) {
        m_BackColor = value.value<quint32>();
    } else if (&persisted == &persistedProperty("Enabled")) {
        m_Enabled = value.toBool();
    } else if (&persisted == &persistedProperty("MouseIcon")) {
        m_MouseIcon = value.value<QPixmap>();
        applyPointer();
    } else if (&persisted == &persistedProperty("MousePointer")) {
        m_MousePointer = value.value<qint16>();
        applyPointer();
    } else if (&persisted == &persistedProperty("SliderImage")) {
        imgSlider.picture = value.value<QPixmap>();
    } else if (&persisted == &persistedProperty("Orientation")) {
        m_Orientation = value.value<qint32>();
    } else if (&persisted == &persistedProperty("RailImage")) {
        imgRail.picture = value.value<QPixmap>();
    } else if (&persisted == &persistedProperty("RailStyle")) {
        m_RailStyle = value.value<qint32>();
    } else if (&persisted == &persistedProperty("ShowValueTip")) {
        m_ShowValueTip = value.toBool();
    } else if (&persisted == &persistedProperty("Min")) {
        m_Model.restoreMin(value.value<qint32>());
    } else if (&persisted == &persistedProperty("Max")) {
        m_Model.restoreMax(value.value<qint32>());
    } else if (&persisted == &persistedProperty("Value")) {
        m_Model.restoreValue(value.value<qint32>());
    }
}

// The thumb placed for the loaded value on both axes, whatever the
// orientation; the next layout sets the coordinate across the track again.
// Both places are worked out before either is kept.
SliderStatus ucSlider::placeOnBothAxes()
{
    const qint32 min = m_Model.Min();
    const qint32 range = m_Model.Range();
    const qint32 value = m_Model.Value();
    const Checked<float> left =
        SliderTrack(SliderAxis::horizontal(), size(), imgSlider.size()).positionOf(min, range, value);
    if (!left)
        return left.status();
    const Checked<float> top =
        SliderTrack(SliderAxis::vertical(), size(), imgSlider.size()).positionOf(min, range, value);
    if (!top)
        return top.status();
    m_Model.setThumb({*left, *top});
    return SliderStatus::Done;
}

// ---- Layout ---------------------------------------------------------------

std::optional<QSize> ucSlider::pictureRail() const
{
    if (m_RailStyle == RailPicture && imgRail.hasPicture())
        return imgRail.size();
    return std::nullopt;
}

std::optional<SliderTrack> ucSlider::track() const
{
    if (const std::optional<SliderAxis> axis = SliderAxis::of(m_Orientation))
        return SliderTrack(*axis, size(), imgSlider.size());
    return std::nullopt;
}

void ucSlider::ResetThumbPosition()
{
    if (const std::optional<SliderTrack> along = track())
        m_Model.ResetThumbPosition(*along);
}

void ucSlider::Layout()
{
    // The size set by the layout itself resizes the widget again; that
    // nested pass would compute the same result.
    if (m_InLayout)
        return;
    const QScopedValueRollback inLayout(m_InLayout, true);

    // Without a known direction the slider keeps its size, thumb and rail.
    if (const std::optional<SliderAxis> axis = SliderAxis::of(m_Orientation)) {
        // A picture-rail slider takes its size from the pictures, whatever
        // the host asks for.
        resize(sliderlayout::outerSize(*axis, size(), imgSlider.size(), pictureRail()));

        // Across the track, then along it; a value without a place (an empty
        // range) leaves the thumb where it was along the track.
        const SliderTrack along(*axis, size(), imgSlider.size());
        m_Model.setThumbAcross(*axis,
                               sliderlayout::thumbAcross(*axis, imgSlider.size(), pictureRail()));
        m_Model.placeThumb(along, m_Model.Value());

        if (const std::optional<SliderRect> rail = sliderlayout::railRect(along, imgSlider.size()))
            m_RailRect = *rail;
    }
    DrawSlider();
}

// ---- Painting -------------------------------------------------------------

void ucSlider::DrawSlider()
{
    // What the drawing would show; the drawing in hand is kept while that
    // stays the same.
    const std::optional<QPoint> thumbPixel = sliderlayout::thumbPixel(m_Model.thumb());
    const DrawnScene scene{size(),
                           devicePixelRatioF(),
                           palette().cacheKey(),
                           m_BackColor,
                           m_RailStyle,
                           m_Orientation,
                           m_RailRect,
                           imgRail.picture.cacheKey(),
                           imgSlider.picture.cacheKey(),
                           thumbPixel};
    if (scene != m_Drawn) {
        m_Drawn = scene;
        drawSurface(thumbPixel);
        update();
    }

    // Every repaint during a drag refreshes the tip.
    if (m_ShowValueTip && m_Model.isDragging())
        ShowTip();
}

void ucSlider::drawSurface(std::optional<QPoint> thumbPixel)
{
    const QPalette &pal = palette();
    const qreal ratio = devicePixelRatioF();
    m_Surface = QImage(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    m_Surface.setDevicePixelRatio(ratio);
    if (m_Surface.isNull())
        return;

    QPainter painter(&m_Surface);
    painter.fillRect(rect(), sliderdetail::resolveColour(m_BackColor, pal));

    if (m_RailStyle == RailPicture) {
        const std::optional<SliderAxis> axis = SliderAxis::of(m_Orientation);
        if (imgRail.hasPicture() && axis)
            painter.drawPixmap(sliderlayout::railPicturePos(*axis, size(), imgRail.size()),
                               imgRail.picture);
    } else {
        const int edge = railEdge(m_RailStyle);
        if (edge != 0)
            sliderdetail::drawEdge(painter, pal, m_RailRect, edge, sliderdetail::AllSides);
    }

    // The thumb is drawn at the whole pixel nearest to its position; one
    // beyond 32 bits is not drawn.
    if (!thumbPixel)
        return;
    if (imgSlider.hasPicture()) {
        painter.drawPixmap(*thumbPixel, imgSlider.picture);
    } else if (const std::optional<SliderRect> thumb =
                   sliderlayout::thumbBlock(*thumbPixel, imgSlider.size())) {
        m_ThumbRect = *thumb;
        painter.fillRect(QRect(QPoint(thumb->left, thumb->top),
                               QPoint(thumb->right - 1, thumb->bottom - 1)),
                         sliderdetail::resolveColour(sliderdetail::kButtonFace, pal));
        sliderdetail::drawEdge(painter, pal, m_ThumbRect, sliderdetail::RaisedEdge,
                               sliderdetail::AllSides);
    }
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
    const std::optional<SliderAxis> axis = SliderAxis::of(m_Orientation);
    if (!axis)
        return;

    const QPoint origin = mapToGlobal(QPoint(0, 0));
    ucSliderTip *tip = ucSliderTip::obtain();
    tip->setText(QString::number(m_Model.Value()));
    // A thumb placed beyond 32-bit screen coordinates has no place for the
    // tip beside it; the tip then shows at the screen's origin.
    tip->showAt(sliderlayout::tipPlace(*axis, origin, m_Model.thumb(), imgSlider.size(),
                                       tip->lblTip()->size())
                    .value_or(QPoint(0, 0)));
}

// ---- Mouse ----------------------------------------------------------------

void ucSlider::pressAt(Qt::MouseButton button, qint16 shift, float x, float y)
{
    if (!m_Enabled || button != Qt::LeftButton)
        return;
    // On the thumb it is held where it was grabbed and neither thumb nor
    // value moves; elsewhere it jumps to put its centre under the pointer. A
    // handler of the Change that the jump raises may fail; the press goes on.
    if (!m_Model.beginDrag(imgSlider.size(), x, y))
        contained("Change", [&] { dragTo(x, y); });

    if (m_ShowValueTip)
        ShowTip();
    Q_EMIT MouseDown(shift);
}

void ucSlider::dragTo(float x, float y)
{
    // Without a known direction, or without room to travel, the mouse moves
    // neither the thumb nor the value.
    const std::optional<SliderTrack> along = track();
    if (!along || !m_Model.dragTo(*along, x, y))
        return;
    const qint32 value = m_Model.ThumbToValue(*along);
    // A stored Min above Max refuses every value; the value then stays.
    if (value >= m_Model.Min() && value <= m_Model.Max())
        SetValue(value);
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
            slider->m_Model.endDrag();
            ucSliderTip::closeShared();
        }
    } endOfDrag{this};
    const bool dragging = m_Model.isDragging();
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
