#include "app/velloran.h"

#include "app/prompts.h"
#include "app/surfaceview.h"
#include "resources/resources.h"
#include "skin/skinexport.h"
#include "slider/ucslider.h"
#include "startup/hostfolder.h"
#include "startup/programfiles.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

#include <exception>

namespace velloran {

namespace {

const QString kCaption = QStringLiteral("Talvesh 6 Velloran v1.10");
const QString kExported = QStringLiteral("Your skin has been exported to Talvesh.");
constexpr QSize kClientSize{1163, 898};

// The design every colour slider of the window is created from.
PropertyBag colourSliderDesign()
{
    PropertyBag design;
    design.WriteProperty(QStringLiteral("_extentx"), 3096);
    design.WriteProperty(QStringLiteral("_extenty"), 661);
    design.WriteProperty(QStringLiteral("enabled"), false);
    design.WriteProperty(QStringLiteral("sliderimage"), QPixmap(resources::kSliderThumb));
    design.WriteProperty(QStringLiteral("orientation"), 0);
    design.WriteProperty(QStringLiteral("railimage"), QPixmap(resources::kSliderRail));
    design.WriteProperty(QStringLiteral("railstyle"), 99);
    design.WriteProperty(QStringLiteral("min"), -100);
    design.WriteProperty(QStringLiteral("max"), 100);
    return design;
}

QLabel *label(QWidget *parent, const QString &text, const QRect &geometry, qreal pointSize, bool wrap)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString());
    l->setGeometry(geometry);
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(pointSize);
    font.setBold(true);
    l->setFont(font);
    l->setWordWrap(wrap);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::ButtonText));
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    l->setPalette(palette);
    l->setAutoFillBackground(true);
    return l;
}


// The one local file among what is dragged, if there is one.
QString droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return {};
    return urls.first().toLocalFile();
}

} // namespace

WindowEnvironment WindowEnvironment::standard()
{
    return {[] { return GetSpecialFolderPath(kPersonalFolder); },
            programDataFile(QStringLiteral("Accent.skf")),
            programDataFile(QStringLiteral("DefaultSkin.txt"))};
}

Velloran::Velloran(Prompts &prompts, WindowEnvironment environment, QWidget *parent)
    : QWidget(parent)
    , m_prompts(prompts)
    , m_environment(std::move(environment))
{
    // The look of every window of the program.
    m_windowSkin.SetBaseStyle(2);
    m_windowSkin.SetScope(1);
    m_windowSkin.LoadSkinFile(m_environment.skinFile);
    m_windowSkin.ApplySkin();

    setObjectName(QStringLiteral("Velloran"));
    setWindowTitle(kCaption);
    setWindowIcon(QIcon(resources::kWindowIcon));

    m_client = new QWidget;
    m_client->setFixedSize(kClientSize);
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setWidget(m_client);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scrollArea);
    createControls();
    fitToScreen();
    // A picture file dropped anywhere on the window is loaded.
    setAcceptDrops(true);
}

Velloran::~Velloran() = default;

bool Velloran::Form_Load()
{
    m_documentsFolder = m_environment.documentsFolder();
    m_hostDataFolder = findHostDataFolder(m_documentsFolder);
    if (m_hostDataFolder.isEmpty()) {
        m_prompts.message(nullptr, kInstallHostMessage);
        return false;
    }
    // An export that a crash cut short is finished or undone before the
    // user starts on anything, and the user learns what became of it.
    QString recovered;
    if (Status s = recoverSkinsFolder(m_hostDataFolder, m_skin.fileSystem(), &recovered); !s)
        report(s.message(), s.code());
    else if (!recovered.isEmpty())
        m_prompts.message(nullptr, recovered);
    return true;
}

void Velloran::fitToScreen()
{
    const QScreen *screen = this->screen();
    QSize size = kClientSize;
    if (screen) {
        // The frame is known once the window is on the screen; before, it
        // counts as none.
        const QSize frame = frameGeometry().size() - geometry().size();
        const QSize room = screen->availableGeometry().size() - frame;
        // A side that does not fit gets a scroll bar, which takes room
        // from the other side.
        const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_scrollArea);
        if (size.height() > room.height())
            size.rwidth() += bar;
        if (size.width() > room.width())
            size.rheight() += bar;
        size = size.boundedTo(room);
    }
    resize(size);
}

void Velloran::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_fitted)
        return;
    m_fitted = true;
    // Now the frame counts, and the whole window is put inside the
    // screen's available area.
    fitToScreen();
    if (const QScreen *screen = this->screen()) {
        const QRect room = screen->availableGeometry();
        QRect frame = frameGeometry();
        if (!room.contains(frame)) {
            frame.moveLeft(std::clamp(frame.left(), room.left(), std::max(room.left(), room.right() - frame.width() + 1)));
            frame.moveTop(std::clamp(frame.top(), room.top(), std::max(room.top(), room.bottom() - frame.height() + 1)));
            move(frame.topLeft());
        }
    }
}

void Velloran::createControls()
{
    Command1 = new QPushButton(QStringLiteral("Load Image"), m_client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(26, 22, 81, 33);
    Command2 = new QPushButton(QStringLiteral("Save Skin"), m_client);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(789, 20, 81, 33);

    Text1 = new QLineEdit(m_client);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setGeometry(625, 28, 154, 24);
    QFont nameFont(QStringLiteral("MS Sans Serif"));
    nameFont.setPointSize(12);
    nameFont.setBold(true);
    Text1->setFont(nameFont);

    ucSlider1 = createSlider({479, 1, 117, 25});
    ucSlider2 = createSlider({478, 24, 117, 25});
    ucSlider3 = createSlider({479, 49, 117, 25});

    auto view = [this](ImageSurface &surface, const QRect &geometry) {
        auto *v = new SurfaceView(&surface, m_client);
        v->setGeometry(geometry);
        return v;
    };
    Xpress1View = view(m_skin.Xpress1(), {274, 74, 848, 635});
    Xpress3View = view(m_skin.Xpress3(), {4, 77, 260, 533});
    Xpress5View = view(m_skin.Xpress5(), {404, 711, 471, 186});
    Xpress4View = view(m_skin.Xpress4(), {68, 738, 322, 130});
    Xpress2View = view(m_skin.Xpress2(), {181, 16, 163, 38});
    for (const HostWindowInfo &info : kHostWindows) {
        const HostWindow w = info.window;
        SurfaceView *v = this->view(w);
        v->setFramingEnabled(true);
        connect(v, &SurfaceView::framingMenuRequested, this, [this, w](QPoint at) {
            guarded(QStringLiteral("The framing menu"), [&] { showFramingMenu(w, at); });
        });
        connect(v, &SurfaceView::dragged, this, [this, w](QPoint moved) {
            guarded(QStringLiteral("Moving the picture"), [&] { panPicture(w, moved); });
        });
    }

    SCLabel1 = label(m_client, QStringLiteral("Menu Hue"), {405, 5, 71, 19}, 9.76, false);
    SCLabel2 = label(m_client, QStringLiteral("Menu Saturation"), {364, 25, 107, 19}, 9.76, false);
    SCLabel3 = label(m_client, QStringLiteral("Menu Lightness"), {370, 49, 107, 19}, 9.76, false);
    SCLabel7 = label(m_client, QStringLiteral("Name Your Skin"), {644, 6, 109, 19}, 9.76, false);
    SCLabel4 = label(m_client, QStringLiteral("STEP 1: Load an image by clicking the Load Image Button."),
                     {885, 721, 233, 41}, 9.75, true);
    SCLabel5 = label(m_client, QStringLiteral("STEP 2: Adjust your menus color and hue by using the sliders."),
                     {884, 766, 233, 41}, 9.75, true);
    SCLabel6 = label(m_client,
                     QStringLiteral("STEP 3: Type a name for your skin and click Save Skin. Run Quenna "
                                    "and a new Skin will be available for you."),
                     {884, 815, 233, 56}, 9.75, true);

    // Keyboard focus runs Load Image, Save Skin, the name box.
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, Text1);
    Command1->setFocus();

    connect(Command1, &QPushButton::clicked, this, [this] { guarded(QStringLiteral("Load Image"), [this] { Command1_Click(); }); });
    connect(Command2, &QPushButton::clicked, this, [this] { guarded(QStringLiteral("Save Skin"), [this] { Command2_Click(); }); });
    for (ucSlider *slider : {ucSlider1, ucSlider2, ucSlider3}) {
        connect(slider, &ucSlider::Change, this,
                [this] { guarded(QStringLiteral("The colour preview"), [this] { Slider_Change(); }); },
                Qt::DirectConnection);
        connect(slider, &ucSlider::MouseUp, this,
                [this](qint16 &) { guarded(QStringLiteral("Recomposing the window images"), [this] { Slider_MouseUp(); }); },
                Qt::DirectConnection);
    }
}

ucSlider *Velloran::createSlider(const QRect &geometry)
{
    auto *slider = new ucSlider(colourSliderDesign(), m_client);
    slider->setGeometry(geometry); // the pictures decide the final size
    slider->setFocusPolicy(Qt::NoFocus);
    return slider;
}

HslAdjustment Velloran::sliderTint() const
{
    return {ucSlider1->Value(), ucSlider2->Value(), ucSlider3->Value()};
}

void Velloran::Command1_Click()
{
    const QString path = m_prompts.openPicture(this);
    if (path.isEmpty())
        return;
    loadPicture(path);
}

void Velloran::openPicture(const QString &path)
{
    guarded(QStringLiteral("Load Image"), [&] { loadPicture(path); });
}

void Velloran::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Velloran::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    openPicture(path);
}

void Velloran::loadPicture(const QString &path)
{
    if (Status s = m_skin.LoadImage(path, sliderTint()); !s) {
        report(s.message(), s.code());
        return;
    }
    for (ucSlider *slider : {ucSlider1, ucSlider2, ucSlider3})
        slider->SetEnabled(true);
}

void Velloran::Command2_Click()
{
    ExportReport exported;
    const Status s = m_skin.SaveSkin(Text1->text(), m_hostDataFolder, m_environment.descriptionTemplate, &exported);
    if (!exported.recovered.isEmpty())
        m_prompts.message(this, exported.recovered);
    if (!s) {
        if (s.kind() == ErrorKind::EmptyName) {
            // Only a prompt for the name: nothing was tried, so nothing failed.
            m_prompts.message(this, s.message());
        } else if (exported.exported) {
            // In place, but something it left behind could not be removed.
            Text1->setText(QString());
            report(s.message(), s.code());
        } else {
            report(QStringLiteral("The skin was not exported. ") + s.message(), s.code());
        }
        return;
    }
    Text1->setText(QString());
    m_prompts.message(this, kExported);
}

void Velloran::Slider_Change()
{
    m_skin.Preview(sliderTint());
}

void Velloran::Slider_MouseUp()
{
    m_skin.RecomposeWindowImages(sliderTint());
}

SurfaceView *Velloran::view(HostWindow window) const
{
    switch (window) {
    case HostWindow::Main:
        return Xpress1View;
    case HostWindow::Scene:
        return Xpress3View;
    case HostWindow::Console:
        return Xpress4View;
    case HostWindow::Chat:
        return Xpress5View;
    }
    return nullptr;
}

void Velloran::showFramingMenu(HostWindow window, QPoint globalPosition)
{
    if (m_framingMenu)
        m_framingMenu->close();
    auto *menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const FitMode mode = m_skin.frame(window).mode;
    QAction *stretch = menu->addAction(QStringLiteral("Stretch to fit"));
    stretch->setCheckable(true);
    stretch->setChecked(mode == FitMode::Stretch);
    QAction *fill = menu->addAction(QStringLiteral("Fill without distortion"));
    fill->setCheckable(true);
    fill->setChecked(mode == FitMode::Fill);
    menu->addSeparator();
    QAction *fillAll = menu->addAction(QStringLiteral("Fill all four windows"));
    QAction *stretchAll = menu->addAction(QStringLiteral("Stretch all four windows"));
    const auto choose = [this](QAction *action, auto choice) {
        connect(action, &QAction::triggered, this,
                [this, choice] { guarded(QStringLiteral("Framing the picture"), choice); });
    };
    choose(stretch, [this, window] { setFitMode(window, FitMode::Stretch); });
    choose(fill, [this, window] { setFitMode(window, FitMode::Fill); });
    choose(fillAll, [this] {
        for (const HostWindowInfo &info : kHostWindows)
            setFitMode(info.window, FitMode::Fill);
    });
    choose(stretchAll, [this] {
        for (const HostWindowInfo &info : kHostWindows)
            setFitMode(info.window, FitMode::Stretch);
    });
    m_framingMenu = menu;
    menu->popup(globalPosition);
}

void Velloran::setFitMode(HostWindow window, FitMode mode)
{
    // A window filled anew starts centred; one already filled keeps its place.
    const WindowFrame &now = m_skin.frame(window);
    if (now.mode == mode)
        return;
    if (!m_skin.setFrame(window, {mode, Focus{}}, sliderTint())) {
        report(QStringLiteral("There is not enough memory to frame the picture anew."));
        return;
    }
    showFraming(window);
}

void Velloran::panPicture(HostWindow window, QPoint moved)
{
    m_skin.pan(window, moved, sliderTint());
}

void Velloran::showFraming(HostWindow window)
{
    // A filled window shows a hand: its picture can be dragged.
    if (m_skin.frame(window).mode == FitMode::Fill)
        view(window)->setCursor(Qt::OpenHandCursor);
    else
        view(window)->unsetCursor();
}

void Velloran::guarded(const QString &action, const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const SliderError &e) {
        report(action + QStringLiteral(" failed: ") + e.description(), e.number());
    } catch (const std::exception &e) {
        report(action + QStringLiteral(" failed: ") + QString::fromLocal8Bit(e.what()));
    }
}

void Velloran::report(const QString &message, int code)
{
    m_prompts.message(this, code ? message + QStringLiteral(" (error %1)").arg(code) : message);
}

} // namespace velloran
