#include "slider/ucslidertip.h"

#include "slider/edgedrawing.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPainter>

namespace velloran {

namespace {

// The window's background, 0x00BBGGRR: red 192, green 192, blue 255.
constexpr quint32 kTipBackground = 0x00FFC0C0u;

// Design sizes in pixels: the window's inner area, the label's place and
// height. The label keeps its height; its width follows its text.
constexpr QSize kDesignSize(40, 23);
constexpr QPoint kLabelPos(2, 1);
constexpr QSize kLabelDesignSize(31, 21);

ucSliderTip *s_sharedTip = nullptr;

} // namespace

ucSliderTip *ucSliderTip::current()
{
    return s_sharedTip;
}

ucSliderTip *ucSliderTip::obtain()
{
    if (!s_sharedTip)
        s_sharedTip = new ucSliderTip;
    return s_sharedTip;
}

void ucSliderTip::closeShared()
{
    ucSliderTip *tip = s_sharedTip;
    s_sharedTip = nullptr;
    if (tip) {
        tip->close();
        delete tip;
    }
}

ucSliderTip::ucSliderTip()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::WindowDoesNotAcceptFocus)
{
    setObjectName(QStringLiteral("ucSliderTip"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    resize(kDesignSize);

    m_lblTip = new QLabel(this);
    m_lblTip->setObjectName(QStringLiteral("lblTip"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(9.0);
    font.setWeight(QFont::Bold);
    m_lblTip->setFont(font);
    m_lblTip->setAlignment(Qt::AlignCenter);
    m_lblTip->setAutoFillBackground(true);
    QPalette labelPalette = m_lblTip->palette();
    labelPalette.setColor(QPalette::Window,
                          sliderdetail::resolveColour(sliderdetail::kWindowColour, palette()));
    labelPalette.setColor(QPalette::WindowText,
                          sliderdetail::resolveColour(sliderdetail::kWindowTextColour, palette()));
    m_lblTip->setPalette(labelPalette);
    m_lblTip->setGeometry(QRect(kLabelPos, kLabelDesignSize));
}

ucSliderTip::~ucSliderTip()
{
    if (s_sharedTip == this)
        s_sharedTip = nullptr;
}

void ucSliderTip::setText(const QString &text)
{
    // Measured in the label's own font, so that the bold text always fits.
    const int width = QFontMetrics(m_lblTip->font()).horizontalAdvance(text);
    m_lblTip->resize(width, m_lblTip->height());
    m_lblTip->setText(text);
    if (m_lblTip->isVisible())
        m_lblTip->repaint();
}

void ucSliderTip::showAt(QPoint topLeft)
{
    setGeometry(QRect(topLeft, m_lblTip->size() + QSize(4, 3)));
    // A tooltip window stays above the others; showing it takes no focus.
    show();
}

void ucSliderTip::paintEvent(QPaintEvent *)
{
    // A raised one-pixel frame: light top and left lines, dark right and
    // bottom lines drawn last, so they take the two far corner pixels.
    const int w = width();
    const int h = height();
    const QColor light = sliderdetail::resolveColour(sliderdetail::kEdgeHighlight, palette());
    const QColor dark = sliderdetail::resolveColour(sliderdetail::kEdgeDarkShadow, palette());
    QPainter painter(this);
    painter.fillRect(rect(), sliderdetail::resolveColour(kTipBackground, palette()));
    painter.fillRect(QRect(0, 0, w, 1), light);
    painter.fillRect(QRect(0, 0, 1, h), light);
    painter.fillRect(QRect(w - 1, 0, 1, h), dark);
    painter.fillRect(QRect(0, h - 1, w, 1), dark);
}

} // namespace velloran
