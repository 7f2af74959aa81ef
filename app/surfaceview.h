#pragma once

#include <QPointer>
#include <QWidget>

namespace velloran {

class ImageSurface;

// Shows an imaging surface's image at its own size in the top-left corner
// of a sunken frame, and repaints whenever the surface changes.
class SurfaceView : public QWidget
{
    Q_OBJECT

public:
    explicit SurfaceView(ImageSurface *surface, QWidget *parent = nullptr);

    ImageSurface *surface() const { return m_surface; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<ImageSurface> m_surface;
};

} // namespace velloran
