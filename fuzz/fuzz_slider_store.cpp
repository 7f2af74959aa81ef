// A slider recreated from any stored design, then worked like a host and a
// user would. Loading either succeeds or throws SliderError; so do the
// assignments afterwards; no other exception, crash or undefined behaviour.
// And whatever state the slider is in, the design it saves loads back into
// the same properties.
//
// The input is text, one entry a line:
//   key=T:value   a stored value under that key (any spelling, any name); T:
//                 b boolean (0 false, else true), i 32-bit, l 64-bit,
//                 u unsigned 64-bit, d floating point, s text, y bytes,
//                 v a list, n present without a value,
//                 p picture "WxH" or "WxH:F" (F: r RGB32, a ARGB32,
//                 i indexed with a 2-colour table, m mono, g greyscale),
//                 x pixmap "WxH"
//   @action=args  done to the loaded slider, in order: size=WxH, show,
//                 press=X,Y[,B] (B: 1 left, 2 right), move=X,Y, release=X,Y[,B],
//                 value=N, min=N, max=N, orientation=N, railstyle=N,
//                 pointer=N, backcolor=N, enabled=N, tip=N,
//                 sliderimage=WxH, railimage=WxH, icon=WxH, init, paint

#include "fuzzsupport.h"
#include "slider/propertybag.h"
#include "slider/ucslider.h"

#include <QApplication>
#include <QImage>
#include <QList>
#include <QMouseEvent>
#include <QPixmap>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

using namespace velloran;

namespace {

// Pictures and sizes stay small so that each run is quick; nothing in the
// slider depends on them being large.
constexpr int kMaxPictureSide = 300;
constexpr int kMaxWidgetSide = 1200;

QWidget *host = nullptr;

QSize sizeOf(const QByteArray &text, int maxSide)
{
    const QList<QByteArray> parts = text.split('x');
    const auto side = [&](int i) {
        if (parts.size() <= i)
            return 0;
        return int(qBound<qint64>(0, parts[i].trimmed().toLongLong(), qint64(maxSide)));
    };
    return {side(0), side(1)};
}

QImage pictureOf(const QByteArray &text)
{
    const QList<QByteArray> parts = text.split(':');
    const QSize size = sizeOf(parts.value(0), kMaxPictureSide);
    if (size.isEmpty())
        return QImage();
    const char format = parts.value(1).isEmpty() ? 'a' : parts.value(1).at(0);
    QImage image;
    switch (format) {
    case 'r':
        image = QImage(size, QImage::Format_RGB32);
        break;
    case 'i':
        image = QImage(size, QImage::Format_Indexed8);
        image.setColorTable({qRgb(200, 20, 20), qRgba(0, 0, 255, 128)});
        break;
    case 'm':
        image = QImage(size, QImage::Format_Mono);
        break;
    case 'g':
        image = QImage(size, QImage::Format_Grayscale8);
        break;
    default:
        image = QImage(size, QImage::Format_ARGB32);
        break;
    }
    // A pattern, not one colour, with indices past the colour table too.
    for (int y = 0; y < image.height(); ++y) {
        uchar *row = image.scanLine(y);
        for (qsizetype i = 0; i < image.bytesPerLine(); ++i)
            row[i] = uchar(i * 37 + y * 11);
    }
    return image;
}

QVariant valueOf(char type, const QByteArray &text)
{
    switch (type) {
    case 'b':
        return QVariant(text.trimmed() != "0");
    case 'i':
        return QVariant(qint32(text.toLongLong()));
    case 'l':
        return QVariant(text.toLongLong());
    case 'u':
        return QVariant(text.toULongLong());
    case 'd':
        return QVariant(text.toDouble());
    case 's':
        return QVariant(QString::fromUtf8(text));
    case 'y':
        return QVariant(text);
    case 'v':
        return QVariant(QVariantList{QVariant(text.toInt()), QVariant(QString::fromUtf8(text))});
    case 'p':
        return QVariant(pictureOf(text));
    case 'x':
        return QVariant(QPixmap::fromImage(pictureOf(text)));
    default:
        return QVariant();
    }
}

PropertyBag storeOf(const QList<QByteArray> &lines)
{
    PropertyBag store;
    for (const QByteArray &line : lines) {
        if (line.startsWith('@'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QString key = QString::fromUtf8(line.left(equals));
        const QByteArray rest = line.mid(equals + 1);
        const char type = rest.isEmpty() ? 'n' : rest.at(0);
        const QByteArray text = rest.mid(2);
        // Stored against a default it never equals, so that a key without a
        // value (or with an empty picture) stays in the store.
        store.WriteProperty(key, valueOf(type, text), QVariant(QStringLiteral("\x01")));
    }
    return store;
}

QPointF pointOf(const QList<QByteArray> &numbers)
{
    return {qBound(-1.0e6, numbers.value(0).toDouble(), 1.0e6),
            qBound(-1.0e6, numbers.value(1).toDouble(), 1.0e6)};
}

void sendMouse(ucSlider &slider, QEvent::Type type, const QList<QByteArray> &args)
{
    const QPointF at = pointOf(args);
    const Qt::MouseButton button = args.value(2).trimmed() == "2" ? Qt::RightButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, at, slider.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : button,
                      held, Qt::NoModifier);
    QCoreApplication::sendEvent(&slider, &event);
}

qint32 int32Of(const QByteArray &text)
{
    const qint64 v = text.trimmed().toLongLong();
    return qint32(qBound<qint64>(qint64(std::numeric_limits<qint32>::min()), v,
                                 qint64(std::numeric_limits<qint32>::max())));
}

void act(ucSlider &slider, const QByteArray &line)
{
    const qsizetype equals = line.indexOf('=');
    const QByteArray name = (equals < 0 ? line.mid(1) : line.mid(1, equals - 1)).trimmed();
    const QByteArray args = equals < 0 ? QByteArray() : line.mid(equals + 1);
    const QList<QByteArray> numbers = args.split(',');
    if (name == "size")
        slider.resize(sizeOf(args, kMaxWidgetSide));
    else if (name == "show")
        slider.show();
    else if (name == "press")
        sendMouse(slider, QEvent::MouseButtonPress, numbers);
    else if (name == "move")
        sendMouse(slider, QEvent::MouseMove, numbers);
    else if (name == "release")
        sendMouse(slider, QEvent::MouseButtonRelease, numbers);
    else if (name == "value")
        slider = int32Of(args);
    else if (name == "min")
        slider.SetMin(int32Of(args));
    else if (name == "max")
        slider.SetMax(int32Of(args));
    else if (name == "orientation")
        slider.SetOrientation(int32Of(args));
    else if (name == "railstyle")
        slider.SetRailStyle(int32Of(args));
    else if (name == "pointer")
        slider.SetMousePointer(int32Of(args));
    else if (name == "backcolor")
        slider.SetBackColor(quint32(int32Of(args)));
    else if (name == "enabled")
        slider.SetEnabled(int32Of(args) != 0);
    else if (name == "tip")
        slider.SetShowValueTip(int32Of(args) != 0);
    else if (name == "sliderimage")
        slider.SetSliderImage(QPixmap::fromImage(pictureOf(args)));
    else if (name == "railimage")
        slider.SetRailImage(QPixmap::fromImage(pictureOf(args)));
    else if (name == "icon")
        slider.SetMouseIcon(QPixmap::fromImage(pictureOf(args)));
    else if (name == "init")
        slider.InitProperties();
    else if (name == "paint")
        (void)slider.grab();
}

void requireSameDesign(const ucSlider &a, const ucSlider &b)
{
    fuzz::require(a.Enabled() == b.Enabled(), "Enabled changed by saving and loading");
    fuzz::require(a.BackColor() == b.BackColor(), "BackColor changed by saving and loading");
    fuzz::require(a.MousePointer() == b.MousePointer(), "MousePointer changed by saving and loading");
    fuzz::require(a.Orientation() == b.Orientation(), "Orientation changed by saving and loading");
    fuzz::require(a.RailStyle() == b.RailStyle(), "RailStyle changed by saving and loading");
    fuzz::require(a.ShowValueTip() == b.ShowValueTip(), "ShowValueTip changed by saving and loading");
    fuzz::require(a.Min() == b.Min() && a.Max() == b.Max() && a.Value() == b.Value(),
                  "the range or value changed by saving and loading");
    fuzz::require(a.SliderImage().toImage() == b.SliderImage().toImage(),
                  "SliderImage changed by saving and loading");
    fuzz::require(a.RailImage().toImage() == b.RailImage().toImage(),
                  "RailImage changed by saving and loading");
    fuzz::require(a.MouseIcon().toImage() == b.MouseIcon().toImage(),
                  "MouseIcon changed by saving and loading");
}

// What the slider saves, it can load again into the same design.
void requireRoundTrip(const ucSlider &slider)
{
    PropertyBag saved;
    slider.WriteProperties(saved);
    try {
        const ucSlider loaded(saved, host);
        requireSameDesign(slider, loaded);
    } catch (const SliderError &e) {
        fuzz::fail("a saved design does not load", QString::fromUtf8(e.what()));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startApplication<QApplication>();
    host = new QWidget;
    host->resize(kMaxWidgetSide, kMaxWidgetSide);
    host->show();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\n');
    const PropertyBag store = storeOf(lines);

    std::unique_ptr<ucSlider> slider;
    try {
        slider = std::make_unique<ucSlider>(store, host);
    } catch (const SliderError &) {
        return 0; // refused with one of the slider's errors
    }
    requireRoundTrip(*slider);

    for (const QByteArray &line : lines) {
        if (!line.startsWith('@'))
            continue;
        try {
            act(*slider, line);
        } catch (const SliderError &) {
            // a refused assignment; the slider goes on
        }
    }
    // Every design is laid out and painted at least once.
    slider->show();
    (void)slider->grab();
    requireRoundTrip(*slider);
    return 0;
}
