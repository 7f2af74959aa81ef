#pragma once

#include "slider/propertybag.h"
#include "slider/slidererror.h"
#include "slider/slidermodel.h"
#include "slider/sliderproperties.h"
#include "slider/sliderrect.h"

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QSize>
#include <QWidget>

#include <optional>

namespace velloran {

// A horizontal or vertical slider over a whole-number range, worked with the
// mouse alone. The rail is a picture or a drawn 3-D groove or ridge, the
// thumb a picture or a raised block. While the thumb is dragged, a shared
// floating tip (ucSliderTip) shows the value.
//
// The properties are getter/setter pairs named after the property; a
// refused assignment throws SliderError (380 invalid property value, 6
// overflow) and changes nothing. Value is the default member: the slider
// takes a value by assignment (and is read with Value()). The signals are
// raised synchronously, inside the assignment or mouse event that causes
// them; handlers should be connected directly.
//
// Inside the slider every coordinate is in pixels. The thumb's position is
// kept with its fraction; it is drawn at the nearest whole pixel. The numbers
// (range, value, the thumb's place, where each part goes) are worked out by a
// SliderModel and the sliderlayout functions; the widget stores the other
// properties, draws, and turns the mouse into drags and events.
//
// A new slider starts with the defaults of kPersistedProperties
// (sliderproperties.h); one recreated from a host's store is built with the
// PropertyBag constructor (or ReadProperties).
// Enabled only gates the mouse: the widget itself stays enabled, and a
// disabled slider looks the same as an enabled one.
class ucSlider : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ucSlider)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(quint32 BackColor READ BackColor WRITE SetBackColor)
    Q_PROPERTY(qint32 MousePointer READ MousePointer WRITE SetMousePointer)
    Q_PROPERTY(QPixmap MouseIcon READ MouseIcon WRITE SetMouseIcon)
    Q_PROPERTY(qint32 Max READ Max WRITE SetMax)
    Q_PROPERTY(qint32 Min READ Min WRITE SetMin)
    Q_PROPERTY(qint32 Value READ Value WRITE SetValue USER true)
    Q_PROPERTY(qint32 Orientation READ Orientation WRITE SetOrientation)
    Q_PROPERTY(qint32 RailStyle READ RailStyle WRITE SetRailStyle)
    Q_PROPERTY(QPixmap SliderImage READ SliderImage WRITE SetSliderImage)
    Q_PROPERTY(QPixmap RailImage READ RailImage WRITE SetRailImage)
    Q_PROPERTY(bool ShowValueTip READ ShowValueTip WRITE SetShowValueTip)

public:
    // Orientation values. Other values are accepted and kept; the slider then
    // neither sizes nor places its thumb, and the mouse does not move it.
    enum : qint32 { Horizontal = SliderAxis::Horizontal, Vertical = SliderAxis::Vertical };

    // RailStyle values. Any other value draws no rail.
    enum : qint32 {
        RailSunken = 0,     // a sunken groove
        RailRaised = 1,     // a raised ridge
        RailSunkenLine = 2, // a thin sunken line
        RailRaisedLine = 3, // a thin raised line
        RailInvisible = 4,  // nothing visible
        RailPicture = 99,   // the rail picture (none without one)
    };

    // MousePointer values: 0 default, 1 and 4 arrow, 2 cross, 3 I-beam, 5 and
    // 15 size all, 6 size NE-SW, 7 size N-S, 8 size NW-SE, 9 size W-E, 10 up
    // arrow, 11 busy, 12 forbidden, 13 arrow and busy, 14 arrow and question
    // mark, 99 the MouseIcon picture (default without one). Others show the
    // default pointer.
    enum : qint32 { PointerDefault = 0, PointerCustom = 99 };

    // 0x80000000 + 15: the system button-face colour.
    static constexpr quint32 kDefaultBackColor =
        quint32(persistedProperty("BackColor").defaultValue);

    // A new slider: enabled, vertical, sunken rail, 0 to 10 at 0, value tip
    // on, no pictures, thumb at the start of the track.
    explicit ucSlider(QWidget *parent = nullptr);
    // A slider recreated from its saved design (see ReadProperties). Throws
    // SliderError when the store holds a value that cannot be loaded.
    explicit ucSlider(const PropertyBag &store, QWidget *parent = nullptr);
    // Closes the shared value tip, whichever slider showed it.
    ~ucSlider() override;

    // Gates the mouse only: no repaint, no greying.
    bool Enabled() const { return m_Enabled; }
    void SetEnabled(bool New_Enabled);

    // Red + 256 x green + 65536 x blue, or 0x80000000 plus a system colour
    // index. Assigning repaints.
    quint32 BackColor() const { return m_BackColor; }
    void SetBackColor(quint32 New_BackColor);

    // Throws Overflow outside -32768..32767.
    qint32 MousePointer() const { return m_MousePointer; }
    void SetMousePointer(qint32 New_MousePointer);

    QPixmap MouseIcon() const { return m_MouseIcon; }
    void SetMouseIcon(const QPixmap &New_MouseIcon);

    // Throws InvalidPropertyValue unless above Min, Overflow when Max - Min
    // does not fit 32 bits. Value and the thumb are left alone.
    qint32 Max() const { return m_Model.Max(); }
    void SetMax(qint32 New_Max);

    // Throws InvalidPropertyValue unless below Max, Overflow when Max - Min
    // does not fit 32 bits. Otherwise the value moves to the new minimum
    // (raising Change and ArrivedFirst when it changes).
    qint32 Min() const { return m_Model.Min(); }
    void SetMin(qint32 New_Min);

    // Throws InvalidPropertyValue outside Min..Max. A new value repaints and
    // raises Change, then ArrivedLast or ArrivedFirst at an end; assigning the
    // current value does nothing. During a drag the thumb stays where the
    // mouse put it.
    qint32 Value() const { return m_Model.Value(); }
    void SetValue(qint32 New_Value);

    ucSlider &operator=(qint32 New_Value)
    {
        SetValue(New_Value);
        return *this;
    }

    // Moves the thumb to the start of the track, then lays the slider out.
    qint32 Orientation() const { return m_Orientation; }
    void SetOrientation(qint32 New_Orientation);

    qint32 RailStyle() const { return m_RailStyle; }
    void SetRailStyle(qint32 New_RailStyle);

    // The thumb picture; without one the thumb is a 16 x 16 raised block.
    QPixmap SliderImage() const { return imgSlider.picture; }
    void SetSliderImage(const QPixmap &New_SliderImage);

    // The rail picture, drawn with RailStyle RailPicture. A slider with a
    // picture rail takes its size from its pictures.
    QPixmap RailImage() const { return imgRail.picture; }
    void SetRailImage(const QPixmap &New_RailImage);

    // Whether a drag shows the value tip. No repaint.
    bool ShowValueTip() const { return m_ShowValueTip; }
    void SetShowValueTip(bool New_ShowValueTip);

    // Gives Enabled, ShowValueTip, Orientation, RailStyle, Min, Max and Value
    // their new-slider defaults and moves the thumb to the start of the
    // track, without layout, painting or events. The background colour, the
    // pointer and the pictures are left as they are.
    void InitProperties();
    // Writes the twelve persisted properties in their fixed order, that of
    // kPersistedProperties; the store leaves out those that hold their
    // defaults.
    void WriteProperties(PropertyBag &store) const;
    // Restores a saved design without checks, layout, painting or events, so
    // a stored Value outside Min..Max is kept until the next assignment. A
    // store whose values cannot be loaded throws SliderError (Overflow for a
    // pointer or range that does not fit, DivisionByZero when Min equals Max,
    // TypeMismatch for a value of the wrong kind); the steps before keep their
    // effect.
    void ReadProperties(const PropertyBag &store);

    // Geometry, in the slider's pixel coordinates.
    QPointF thumbPosition() const { return {m_Model.thumb().Left, m_Model.thumb().Top}; }
    QSize thumbSize() const { return imgSlider.size(); }
    QSize railSize() const { return imgRail.size(); }
    // Where a drawn rail goes.
    SliderRect railRect() const { return m_RailRect; }
    // Where the last pictureless thumb was drawn.
    SliderRect thumbRect() const { return m_ThumbRect; }
    bool isDragging() const { return m_Model.isDragging(); }
    // What the slider shows: the image DrawSlider drew last. It is drawn
    // again only when its size, colours, rail or the thumb's whole pixel
    // change.
    const QImage &drawing() const { return m_Surface; }

Q_SIGNALS:
    // A left-button release inside the slider (enabled or not).
    void Click();
    // The value arrived at Min.
    void ArrivedFirst();
    // The value arrived at Max.
    void ArrivedLast();
    // The value changed.
    void Change();
    // A drag began. Shift: 1 Shift, 2 Ctrl, 4 Alt, added together.
    void MouseDown(qint16 &Shift);
    // A drag ended, by the release of any button.
    void MouseUp(qint16 &Shift);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // A picture; without one it has its default size.
    struct PictureHolder
    {
        explicit PictureHolder(QSize empty)
            : emptySize(empty)
        {
        }

        QPixmap picture;
        QSize emptySize;

        bool hasPicture() const { return !picture.isNull(); }
        QSize size() const { return hasPicture() ? picture.size() : emptySize; }
    };

    // The rail picture's size when the rail is drawn from it.
    std::optional<QSize> pictureRail() const;
    // The track along the slider's orientation; none for an orientation
    // other than the two.
    std::optional<SliderTrack> track() const;
    void Layout();
    void DrawSlider();
    void drawSurface(std::optional<QPoint> thumbPixel);
    void ResetThumbPosition();
    SliderStatus placeOnBothAxes();
    void ShowTip();
    void applyPointer();
    void restore(const PersistedProperty &persisted, const QVariant &value);

    // The mouse, in the slider's own coordinates.
    void pressAt(Qt::MouseButton button, qint16 shift, float x, float y);
    void dragTo(float x, float y);
    void releaseAt(Qt::MouseButton button, qint16 shift, float x, float y);

    // The constructors give every persisted property its value, from
    // kPersistedProperties or from a store.
    bool m_Enabled{};
    quint32 m_BackColor{};
    qint16 m_MousePointer{};
    QPixmap m_MouseIcon;
    qint32 m_Orientation{};
    qint32 m_RailStyle{};
    bool m_ShowValueTip{};
    // Min, Max, Value, the thumb's place and the drag.
    SliderModel m_Model;

    PictureHolder imgSlider{QSize(16, 16)};
    PictureHolder imgRail{QSize(16, 17)};
    SliderRect m_RailRect;
    SliderRect m_ThumbRect;

    bool m_InLayout = false;

    // Everything a drawing depends on; pictures by their cache keys.
    struct DrawnScene
    {
        QSize size;
        qreal ratio;
        qint64 palette;
        quint32 backColor;
        qint32 railStyle;
        qint32 orientation;
        SliderRect railRect;
        qint64 railPicture;
        qint64 thumbPicture;
        std::optional<QPoint> thumbPixel;

        friend bool operator==(const DrawnScene &, const DrawnScene &) = default;
    };
    // What m_Surface shows; none before the first drawing.
    std::optional<DrawnScene> m_Drawn;
    // What DrawSlider drew; shown unchanged until it draws again.
    QImage m_Surface;
};

} // namespace velloran
