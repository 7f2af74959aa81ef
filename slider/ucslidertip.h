#pragma once

#include <QWidget>

class QLabel;

namespace velloran {

// The floating window that shows a slider's value next to its thumb while
// the thumb is dragged. One tip window serves every slider of the process: it
// is created on first use, and closed and destroyed by every mouse release on
// a slider and by a slider's destruction. It is frameless, stays above other
// windows and never takes the focus or becomes the active window.
class ucSliderTip : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ucSliderTip)

public:
    // The shared tip window, or nullptr while there is none.
    static ucSliderTip *current();
    // The shared tip window, created hidden at its design size when absent.
    static ucSliderTip *obtain();
    // Closes and destroys the shared tip window, if there is one.
    static void closeShared();

    ~ucSliderTip() override;

    // The label inside the window, at (2, 1).
    QLabel *lblTip() const { return m_lblTip; }

    // Puts text into the label, which takes the text's width and keeps its
    // height, and repaints the label at once when it is on screen.
    void setText(const QString &text);
    // Moves the window to topLeft (screen pixels), sizes it 4 pixels wider
    // and 3 pixels taller than the label, and shows it above other windows
    // without activating it.
    void showAt(QPoint topLeft);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    ucSliderTip();

    QLabel *m_lblTip = nullptr;
};

} // namespace velloran
