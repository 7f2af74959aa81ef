#pragma once

// Finding the host program's data folder under the user's Documents folder.

#include <QString>

namespace velloran {

// Shell folder id of the user's Documents folder.
inline constexpr int kPersonalFolder = 5;

// The file-system path of a special folder, without a trailing separator;
// "" when there is none. Only the Documents folder (id 5) is known.
QString GetSpecialFolderPath(int folderId);

// True only when a folder exists at `path` (a plain file does not count).
bool DirExists(const QString &path);

// The host data folder under `documentsFolder`: the Standard edition's
// folder, then the Pro edition's, the Pro folder winning when both exist.
// The result ends with the platform separator; "" when neither exists.
QString findHostDataFolder(const QString &documentsFolder);

// The message shown when no host data folder exists.
inline const QString kInstallHostMessage =
    QStringLiteral("Please install Talvesh 6 or Talvesh 6 Pro.");

} // namespace velloran
