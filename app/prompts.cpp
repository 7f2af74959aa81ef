#include "app/prompts.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QIcon>
#include <QMessageBox>

namespace velloran {

namespace {

class OnScreenPrompts final : public Prompts
{
public:
    void message(QWidget *parent, const QString &text) override
    {
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Velloran"), text, QMessageBox::Ok, parent);
        // The style may put a pictogram on dialog buttons; a message of
        // this program has none anywhere.
        for (QAbstractButton *button : box.buttons())
            button->setIcon(QIcon());
        box.exec();
    }

    QString openPicture(QWidget *parent) override
    {
        QFileDialog dialog(parent);
        configurePictureDialog(dialog);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    }
};

} // namespace

Prompts &Prompts::onScreen()
{
    static OnScreenPrompts prompts;
    return prompts;
}

void configurePictureDialog(QFileDialog &dialog)
{
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Qt's own dialog, so the filter matches names without regard to case
    // (a camera's IMG_0001.JPG) on every platform, as Windows users expect.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    // The text before the last parenthesis is what the user reads; the
    // patterns in it are what the dialog matches.
    dialog.setNameFilter(kPictureFilterText + QStringLiteral(" (") + kPicturePatterns.join(QLatin1Char(' '))
                         + QLatin1Char(')'));
}

} // namespace velloran
