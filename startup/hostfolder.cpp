#include "startup/hostfolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace velloran {

QString GetSpecialFolderPath(int folderId)
{
    if (folderId != kPersonalFolder)
        return {};
    QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return QDir::toNativeSeparators(path);
}

bool DirExists(const QString &path)
{
    return QFileInfo(path).isDir();
}

QString findHostDataFolder(const QString &documentsFolder)
{
    const QChar separator = QDir::separator();
    QString found;
    // Both editions are tested, Standard first, so Pro wins when both exist.
    const QString standard = documentsFolder + separator + QStringLiteral("Talvesh6Std") + separator;
    if (DirExists(standard))
        found = standard;
    const QString pro = documentsFolder + separator + QStringLiteral("Talvesh6Pro") + separator;
    if (DirExists(pro))
        found = pro;
    return found;
}

} // namespace velloran
