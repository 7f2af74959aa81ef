// Velloran: builds a skin for Talvesh 6 from a picture of the user's own.
// Usage: velloran [PICTURE]
#include "app/prompts.h"
#include "app/velloran.h"

#include <QApplication>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velloran"));
    QApplication::setApplicationVersion(QStringLiteral("1.10"));
    // The desktop entry, so that a desktop shows the window with its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELLORAN_APP_ID));

    velloran::Velloran window(velloran::Prompts::onScreen());
    if (!window.Form_Load())
        return 1;
    window.show();
    // velloran PICTURE, as desktops and file associations start it.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1)
        window.openPicture(arguments[1]);
    return app.exec();
}
