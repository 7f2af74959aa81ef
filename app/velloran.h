#pragma once

#include "app/windowskin.h"
#include "skin/skinbuilder.h"

#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;

class QPushButton;
class QScrollArea;

namespace velloran {

class Prompts;
class SurfaceView;
class ucSlider;

// Where the window finds what lies outside the program; tests replace them.
struct WindowEnvironment
{
    // The user's Documents folder, without a trailing separator.
    std::function<QString()> documentsFolder;
    // The skin file that gives the program its look.
    QString skinFile;
    // The skin description template read by every export.
    QString descriptionTemplate;

    // The real ones: the Documents folder, Accent.skf and DefaultSkin.txt
    // of the program.
    static WindowEnvironment standard();
};

// The main window: load a picture, tint the menus with three sliders, name
// the skin and save it into the host's Skins folder. Every control sits at a
// fixed place on a client area of fixed size; nothing moves when the window
// is resized. The client area scrolls when the window is smaller than it,
// as it opens on a screen too small for it.
class Velloran : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Velloran)

public:
    // Creates the window and its controls and sets up its look.
    explicit Velloran(Prompts &prompts, WindowEnvironment environment = WindowEnvironment::standard(),
                      QWidget *parent = nullptr);
    ~Velloran() override;

    // Finds the host data folder before the window is first shown. Without
    // one it tells the user to install the host and returns false: the
    // program then ends without showing the window.
    bool Form_Load();

    // The controls, for the program's handlers and for tests.
    QPushButton *Command1 = nullptr; // Load Image
    QPushButton *Command2 = nullptr; // Save Skin
    QLineEdit *Text1 = nullptr;      // the skin's name
    ucSlider *ucSlider1 = nullptr;   // menu hue
    ucSlider *ucSlider2 = nullptr;   // menu saturation
    ucSlider *ucSlider3 = nullptr;   // menu lightness
    SurfaceView *Xpress1View = nullptr;
    SurfaceView *Xpress2View = nullptr;
    SurfaceView *Xpress3View = nullptr;
    SurfaceView *Xpress4View = nullptr;
    SurfaceView *Xpress5View = nullptr;
    QLabel *SCLabel1 = nullptr, *SCLabel2 = nullptr, *SCLabel3 = nullptr, *SCLabel4 = nullptr,
           *SCLabel5 = nullptr, *SCLabel6 = nullptr, *SCLabel7 = nullptr;

    // Loads the picture at `path` exactly as when it is chosen in the Load
    // Image dialog; for a picture named on the command line.
    void openPicture(const QString &path);

    // The fixed client area that holds every control.
    QWidget *clientArea() const { return m_client; }

    SkinBuilder &skin() { return m_skin; }
    const WindowSkin &windowSkin() const { return m_windowSkin; }
    const QString &DocumentsFolder() const { return m_documentsFolder; }
    const QString &HostDataFolder() const { return m_hostDataFolder; }

    // The three slider positions as a tint.
    HslAdjustment sliderTint() const;

    // The view of a window image.
    SurfaceView *view(HostWindow window) const;
    // The framing menu a right click on a window image opened last, while it
    // is open.
    QMenu *framingMenu() const { return m_framingMenu; }

protected:
    void showEvent(QShowEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The size the window opens at: the client area's where the screen's
    // available area holds it with the window's frame, else what it holds.
    void fitToScreen();

    void Command1_Click();
    void loadPicture(const QString &path);
    void Command2_Click();
    void Slider_Change();
    void Slider_MouseUp();

    // Framing: a window image stretched or filled, and the picture under a
    // filled one dragged.
    void showFramingMenu(HostWindow window, QPoint globalPosition);
    void setFitMode(HostWindow window, FitMode mode);
    void panPicture(HostWindow window, QPoint moved);
    void showFraming(HostWindow window);

    void createControls();
    ucSlider *createSlider(const QRect &geometry);
    // Runs a handler; anything that goes wrong inside is told to the user and
    // the program goes on with everything as it was.
    void guarded(const QString &action, const std::function<void()> &handler);
    void report(const QString &message, int code = 0);

    QWidget *m_client = nullptr;
    QScrollArea *m_scrollArea = nullptr;
    bool m_fitted = false;
    Prompts &m_prompts;
    WindowEnvironment m_environment;
    WindowSkin m_windowSkin;
    SkinBuilder m_skin{SkinTemplates::compiledIn()};
    QString m_documentsFolder;
    QString m_hostDataFolder;
    QPointer<QMenu> m_framingMenu;
};

} // namespace velloran
