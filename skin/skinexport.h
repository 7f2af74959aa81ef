#pragma once

// Writing a finished skin: four window bitmaps and the skin description file
// (.skn) in the host's Skins folder.
//
// Everything is checked before anything is written, and the five files are
// first written under temporary names and only then renamed into place, so a
// failure at any point leaves the Skins folder as it was: an existing skin of
// the same name stays intact and no partial skin or temporary file remains.

#include "imaging/status.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace velloran {

class FileSystem;
class ImageSurface;

// The message for an empty skin name, shown as it stands.
inline const QString kEnterSkinName = QStringLiteral("Enter a name for your Skin.");

// The Skins folder of a host data folder that ends with a separator.
QString skinsFolderPath(const QString &hostDataFolder);

// The five files of a skin, in the order they are written.
struct SkinFiles
{
    QString main, scene, chat, console, description;
    QStringList all() const { return {main, scene, chat, console, description}; }
};

// The files of the skin `name` in `skinsFolder` ('/' or '\' in the name both
// lead into a sub-folder). Paths in Qt form.
SkinFiles skinFiles(const QString &skinsFolder, const QString &name);

// Whether `name` can name a skin: not empty (kEnterSkinName), no character
// that a Windows file name cannot hold, nothing that leads outside the Skins
// folder ('..', a leading separator, a drive), a file name after the last
// separator, no folder part that Windows would change (one ending in a dot
// or a space), no device name such as CON or COM1 as any part, no part
// longer than a file name may be, and representable in the 8-bit text of
// the description file.
Status checkSkinName(const QString &name);

// The description file's bytes: five lines naming the images, each ending
// with CR LF, then the template unchanged, then one more CR LF. `name` is the
// skin name already in the file's 8-bit encoding.
QByteArray buildSkinDescription(const QByteArray &name, const QByteArray &templateText);

// The window images to write, in the order main, scene, chat, console.
struct WindowImageSurfaces
{
    ImageSurface *main;
    ImageSurface *scene;
    ImageSurface *chat;
    ImageSurface *console;
};

// Exports the skin `name` from the four surfaces into the Skins folder of
// `hostDataFolder`, with the description template read from `templatePath`.
// On success `written` (when given) receives the five paths in native form.
Status exportSkin(const QString &name, const QString &hostDataFolder, const QString &templatePath,
                  const WindowImageSurfaces &surfaces, FileSystem &fileSystem,
                  QStringList *written = nullptr);

} // namespace velloran
