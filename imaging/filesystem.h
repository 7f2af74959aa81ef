#pragma once

#include "imaging/status.h"

#include <QByteArray>
#include <QString>

namespace velloran {

// The few file operations that saving needs, behind an interface so that
// tests can make any of them fail. Paths are in Qt form ('/' separators).
class FileSystem
{
public:
    virtual ~FileSystem() = default;

    // Creates or replaces the file with exactly these bytes, flushed to disk.
    // On failure no file of that name is left behind by this call.
    virtual Status writeFile(const QString &path, const QByteArray &bytes) = 0;
    // Renames a file; fails when the target exists.
    virtual Status rename(const QString &from, const QString &to) = 0;
    virtual Status remove(const QString &path) = 0;
    virtual bool exists(const QString &path) const = 0;
    virtual bool isDirectory(const QString &path) const = 0;

    // The real file system; the default for every caller.
    static FileSystem &real();
};

} // namespace velloran
