#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

namespace velloran {

class ImageSurface;

// Shows an imaging surface's image at its own size in the top-left corner
// of a sunken frame, and repaints whenever the surface changes. With framing
// on (the window images), a right click asks for the framing menu and a drag
// with the left button reports how far the pointer moved.
class SurfaceView : public QWidget
{
    Q_OBJECT

public:
    explicit SurfaceView(ImageSurface *surface, QWidget *parent = nullptr);

    ImageSurface *surface() const { return m_surface; }

    void setFramingEnabled(bool enabled) { m_framing = enabled; }
    bool framingEnabled() const { return m_framing; }

Q_SIGNALS:
    // A right click (or the context-menu key) at `globalPosition`.
    void framingMenuRequested(QPoint globalPosition);
    // The left button held and the pointer moved by `moved` pixels since the
    // last report.
    void dragged(QPoint moved);
    // The left button let go after a drag.
    void dragFinished();

protected:
    void paintEvent(QPaintEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPointer<ImageSurface> m_surface;
    bool m_framing = false;
    bool m_dragging = false;
    QPoint m_lastPosition;
};

} // namespace velloran
