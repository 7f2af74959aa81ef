#include "startup/programfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace velloran {

QString programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QString programDataFile(const QString &fileName)
{
    const QString besideProgram = programFolder() + QDir::separator() + fileName;
    if (QFileInfo::exists(besideProgram))
        return besideProgram;
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath()
                                              + QStringLiteral("/../share/velloran/") + fileName);
    if (QFileInfo::exists(installed))
        return QDir::toNativeSeparators(installed);
    return besideProgram;
}

} // namespace velloran
