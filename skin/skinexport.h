#pragma once

// Writing a finished skin: four window bitmaps and the skin description file
// (.skn) in the host's Skins folder.
//
// Everything is checked before anything is written. The five files are then
// staged beside their targets and put in place so that at no instant is a
// file of the skin missing or partly written, whatever happens to the
// program (see skincommit.h): a failure leaves the Skins folder as it was,
// and an export that a crash interrupted is finished or undone by the next
// run before anything else.

#include "imaging/status.h"
#include "skin/codepage.h"
#include "skin/hostwindows.h"

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <array>

namespace velloran {

class FileSystem;

// The message for an empty skin name, shown as it stands.
inline const QString kEnterSkinName = QStringLiteral("Enter a name for your Skin.");

// The Skins folder of a host data folder that ends with a separator.
QString skinsFolderPath(const QString &hostDataFolder);

// The five files of a skin.
struct SkinFiles
{
    std::array<QString, 4> images; // by window
    QString description;

    const QString &image(HostWindow window) const { return images[indexOf(window)]; }
    // All five in the order they are written: the window images in the
    // save order, the description last.
    QStringList all() const;
};

// The files of the skin `name` in `skinsFolder` ('/' or '\' in the name both
// lead into a sub-folder). Paths in Qt form.
SkinFiles skinFiles(const QString &skinsFolder, const QString &name);

// Whether `name` can name a skin: not empty (kEnterSkinName), no character
// that a Windows file name cannot hold, nothing that leads outside the Skins
// folder ('..', a leading separator, a drive), a file name after the last
// separator, no folder part that Windows would change (one ending in a dot
// or a space), no device name such as CON or COM1 as any part, no part
// longer than a file name may be, and representable in the code page of
// the description file.
Status checkSkinName(const QString &name, const CodePage &codePage = CodePage::system());
// The same checks but the code page's: whether the name leads to files
// inside the Skins folder that Windows keeps as named.
Status checkSkinNameForFiles(const QString &name);

// The description file's bytes: five lines naming the images, each ending
// with CR LF, then the template unchanged, then one more CR LF. `name` is the
// skin name already in the file's code page.
QByteArray buildSkinDescription(const QByteArray &name, const QByteArray &templateText);

// The composed window images to write, by window.
using WindowImages = std::array<QImage, 4>;

// What an export did besides succeeding or failing.
struct ExportReport
{
    QStringList written; // on success, the five paths in native form
    QString recovered;   // what was done about an interrupted earlier export, for the user
    bool exported = false; // the new skin is in place (also when only cleaning up after it failed)
};

// Exports the skin `name` made of the four window images into the Skins
// folder of `hostDataFolder`, with the description template read from
// `templatePath`. Every file is written through `fileSystem`.
// Exports into one Skins folder are serialised across processes; an
// interrupted earlier one is finished or undone first.
// The description file is written in `codePage` (the system's by default).
Status exportSkin(const QString &name, const QString &hostDataFolder, const QString &templatePath,
                  const WindowImages &images, FileSystem &fileSystem, ExportReport *report = nullptr,
                  const CodePage &codePage = CodePage::system());

// Finishes or undoes an export into the Skins folder of `hostDataFolder`
// that a crash interrupted, as every export does first; for the start of the
// window. `report` receives what was done, empty when there was nothing to
// do. Waits at most `waitMilliseconds` for a running export, and does
// nothing when it is still running then (it finishes the job itself).
Status recoverSkinsFolder(const QString &hostDataFolder, FileSystem &fileSystem, QString *report,
                          int waitMilliseconds = 2000);

} // namespace velloran
