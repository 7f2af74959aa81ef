// Renders the main window after loading a picture with the sliders moved,
// and writes it to a PNG file: the picture of the program in the README.
// Usage: velloran-screenshot PICTURE OUTPUT.png  (run with -platform offscreen)
#include "app/prompts.h"
#include "app/velloran.h"
#include "slider/ucslider.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>

using namespace velloran;

namespace {

// Answers the open dialog with the given picture and reports any message.
class ScriptedPrompts final : public Prompts
{
public:
    explicit ScriptedPrompts(QString picture) : m_picture(std::move(picture)) {}
    void message(QWidget *, const QString &text) override
    {
        QTextStream(stderr) << "velloran-screenshot: " << text << Qt::endl;
        failed = true;
    }
    QString openPicture(QWidget *) override { return m_picture; }
    bool failed = false;

private:
    QString m_picture;
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() != 3) {
        QTextStream(stderr) << "usage: velloran-screenshot PICTURE OUTPUT.png" << Qt::endl;
        return 2;
    }
    QTemporaryDir documents;
    QDir().mkpath(documents.filePath(QStringLiteral("Talvesh6Std/Skins")));

    ScriptedPrompts prompts(arguments[1]);
    WindowEnvironment environment = WindowEnvironment::standard();
    environment.documentsFolder = [&] { return documents.path(); };
    environment.skinFile = QStringLiteral(VELLORAN_ACCENT);
    Velloran window(prompts, environment);
    if (!window.Form_Load())
        return 1;
    window.show();
    window.Command1->click();
    // A violet-to-teal turn of the menus, a little richer and lighter.
    window.ucSlider1->SetValue(-35);
    window.ucSlider2->SetValue(25);
    window.ucSlider3->SetValue(10);
    window.skin().RecomposeWindowImages(window.sliderTint());
    window.Text1->setText(QStringLiteral("Evening"));
    QApplication::processEvents();
    if (prompts.failed || !window.clientArea()->grab().save(arguments[2]))
        return 1;
    return 0;
}
