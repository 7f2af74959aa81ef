#include "imaging/filesystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace velloran {

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

class RealFileSystem final : public FileSystem
{
public:
    Status writeFile(const QString &path, const QByteArray &bytes) override
    {
        // QSaveFile writes beside the target and renames into place on
        // commit, so a failure never leaves a half-written file of that name.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return failure(path, file);
        // A write that fits only in part returns short without an error;
        // writing the rest then fails with the cause (a full disk, say).
        qint64 written = 0;
        while (written < bytes.size()) {
            const qint64 n = file.write(bytes.constData() + written, bytes.size() - written);
            if (n <= 0)
                break;
            written += n;
        }
        if (written != bytes.size()) {
            // Cancelling replaces the error with its own, so the cause (a
            // full disk, say) is taken first.
            const Status failed = failure(path, file);
            file.cancelWriting();
            return failed;
        }
        if (!file.commit())
            return failure(path, file);
        return Status::success();
    }

    Status rename(const QString &from, const QString &to) override
    {
        if (QFileInfo::exists(to))
            return Status::failure(QStringLiteral("Cannot rename %1 to %2: the target exists.")
                                       .arg(native(from), native(to)));
        QFile file(from);
        if (!file.rename(to))
            return Status::failure(QStringLiteral("Cannot rename %1 to %2: %3.")
                                       .arg(native(from), native(to), file.errorString()),
                                   int(file.error()));
        return Status::success();
    }

    Status remove(const QString &path) override
    {
        QFile file(path);
        if (!file.remove())
            return Status::failure(QStringLiteral("Cannot remove %1: %2.")
                                       .arg(native(path), file.errorString()),
                                   int(file.error()));
        return Status::success();
    }

    bool exists(const QString &path) const override
    {
        return QFileInfo::exists(path);
    }

    bool isDirectory(const QString &path) const override
    {
        return QFileInfo(path).isDir();
    }

private:
    static Status failure(const QString &path, const QFileDevice &file)
    {
        return Status::failure(QStringLiteral("Cannot write %1: %2.")
                                   .arg(native(path), file.errorString()),
                               int(file.error()));
    }
};

} // namespace

FileSystem &FileSystem::real()
{
    static RealFileSystem fileSystem;
    return fileSystem;
}

} // namespace velloran
