#pragma once

// The window's questions and messages to the user, behind an interface so
// that tests drive the real window without modal dialogs.

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace velloran {

class Prompts
{
public:
    virtual ~Prompts() = default;

    // A message box with an OK button, no icon and the caption "Velloran".
    virtual void message(QWidget *parent, const QString &text) = 0;

    // The open-file dialog for pictures; "" when the user cancels.
    virtual QString openPicture(QWidget *parent) = 0;

    // Message boxes and file dialogs on screen.
    static Prompts &onScreen();
};

// The open dialog's filter: its text as the user reads it, and the name
// patterns it lists, matched without regard to letter case.
inline const QString kPictureFilterText = QStringLiteral("Images Files (*.bmp;*.jpg)");
inline const QStringList kPicturePatterns = {QStringLiteral("*.bmp"), QStringLiteral("*.jpg")};

// Sets up the open dialog for pictures (used by onScreen(), and by tests to
// look at what it lists).
void configurePictureDialog(QFileDialog &dialog);

} // namespace velloran
