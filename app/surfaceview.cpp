#include "app/surfaceview.h"

#include "imaging/imagesurface.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
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

void SurfaceView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_framing) {
        QWidget::contextMenuEvent(event);
        return;
    }
    event->accept();
    Q_EMIT framingMenuRequested(event->globalPos());
}

void SurfaceView::mousePressEvent(QMouseEvent *event)
{
    if (!m_framing || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    m_lastPosition = event->position().toPoint();
    event->accept();
}

void SurfaceView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint position = event->position().toPoint();
    const QPoint moved = position - m_lastPosition;
    m_lastPosition = position;
    event->accept();
    if (!moved.isNull())
        Q_EMIT dragged(moved);
}

void SurfaceView::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_dragging = false;
    event->accept();
    Q_EMIT dragFinished();
}

} // namespace velloran
