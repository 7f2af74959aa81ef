#include "app/surfaceview.h"

#include "imaging/imagesurface.h"

#include <QPainter>

namespace velloran {

namespace {
constexpr int kFrame = 1; // pixels of sunken frame on each side
}

SurfaceView::SurfaceView(ImageSurface *surface, QWidget *parent)
    : QWidget(parent)
    , m_surface(surface)
{
    setFocusPolicy(Qt::NoFocus);
    connect(surface, &ImageSurface::changed, this, qOverload<>(&QWidget::update));
}

void SurfaceView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QPalette &p = palette();
    painter.fillRect(rect(), p.color(QPalette::Window));
    // A thin sunken frame: dark above and left, light below and right.
    painter.setPen(p.color(QPalette::Dark));
    painter.drawLine(0, 0, width() - 1, 0);
    painter.drawLine(0, 0, 0, height() - 1);
    painter.setPen(p.color(QPalette::Light));
    painter.drawLine(0, height() - 1, width() - 1, height() - 1);
    painter.drawLine(width() - 1, 0, width() - 1, height() - 1);
    if (m_surface && !m_surface->isEmpty()) {
        painter.setClipRect(rect().adjusted(kFrame, kFrame, -kFrame, -kFrame));
        painter.drawImage(kFrame, kFrame, m_surface->image());
    }
}

} // namespace velloran
