#include "sliderfixture.h"

#include <QImage>
#include <QPainter>

namespace velloran::test {

QPixmap thumbPicture(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(kThumbColour);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            image.setPixel(x, y, 0);
            image.setPixel(size.width() - 1 - x, y, 0);
            image.setPixel(x, size.height() - 1 - y, 0);
            image.setPixel(size.width() - 1 - x, size.height() - 1 - y, 0);
        }
    }
    image.setPixel(3, 3, kThumbMarker);
    return QPixmap::fromImage(image);
}

QPixmap invisibleThumbPicture(QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return QPixmap::fromImage(image);
}

QPixmap railPicture(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(kRailColour);
    image.setPixel(0, 0, kRailMarker);
    return QPixmap::fromImage(image);
}

PropertyBag mainWindowDesign()
{
    PropertyBag store;
    store.WriteProperty(QStringLiteral("_extentx"), 3096);
    store.WriteProperty(QStringLiteral("_extenty"), 661);
    store.WriteProperty(QStringLiteral("enabled"), false, true);
    store.WriteProperty(QStringLiteral("sliderimage"), thumbPicture());
    store.WriteProperty(QStringLiteral("orientation"), 0, 1);
    store.WriteProperty(QStringLiteral("railimage"), railPicture());
    store.WriteProperty(QStringLiteral("railstyle"), 99, 0);
    store.WriteProperty(QStringLiteral("min"), -100, 0);
    store.WriteProperty(QStringLiteral("max"), 100, 10);
    return store;
}

EventLog::EventLog(ucSlider &slider)
{
    QObject::connect(&slider, &ucSlider::Click, [this] { events.push_back("Click"); });
    QObject::connect(&slider, &ucSlider::ArrivedFirst,
                     [this] { events.push_back("ArrivedFirst"); });
    QObject::connect(&slider, &ucSlider::ArrivedLast, [this] { events.push_back("ArrivedLast"); });
    QObject::connect(&slider, &ucSlider::Change, [this, &slider] {
        events.push_back("Change " + std::to_string(slider.Value()));
    });
    QObject::connect(&slider, &ucSlider::MouseDown, [this](qint16 &shift) {
        events.push_back("MouseDown " + std::to_string(shift));
    });
    QObject::connect(&slider, &ucSlider::MouseUp, [this](qint16 &shift) {
        events.push_back("MouseUp " + std::to_string(shift));
    });
}

Host::Host()
{
    m_window.setGeometry(QRect(kScreenPos, QSize(400, 300)));
    m_window.show();
}

ucSlider *Host::mainSlider()
{
    auto *slider = new ucSlider(mainWindowDesign(), &m_window);
    slider->setGeometry(8, 40, 117, 25);
    slider->show();
    return slider;
}

ucSlider *Host::drawnSlider(qint32 orientation, QRect geometry, qint32 min, qint32 max,
                            qint32 value)
{
    auto *slider = new ucSlider(&m_window);
    slider->SetOrientation(orientation);
    slider->setGeometry(geometry);
    slider->show();
    if (min < slider->Max()) {
        slider->SetMin(min);
        slider->SetMax(max);
    } else {
        slider->SetMax(max);
        slider->SetMin(min);
    }
    slider->SetValue(value);
    return slider;
}

} // namespace velloran::test
