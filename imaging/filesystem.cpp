#include "imaging/filesystem.h"

#include "imaging/nativefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <memory>
#include <tuple>

namespace velloran {

QByteArray readAtMost(QFileDevice &file, qint64 maxBytes)
{
    // What the file holds and one byte more, which finds a file that grew
    // since; only then is more read.
    const qint64 left = std::max<qint64>(file.size() - file.pos(), 0);
    const qint64 expected = std::min(left, maxBytes) + 1;
    QByteArray bytes = file.read(expected);
    if (bytes.size() == expected && expected <= maxBytes)
        bytes.append(file.read(maxBytes + 1 - expected));
    return bytes;
}

namespace {

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// "<what>: <reason>." with the system's reason, which some systems end with
// a full stop of their own: a failed file operation.
Status sentence(const QString &what, const Status &cause)
{
    QString reason = cause.message().trimmed();
    while (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return Status::failure(ErrorKind::Io, what + QStringLiteral(": ") + reason + QLatin1Char('.'), cause.code());
}

class RealFileSystem final : public FileSystem
{
public:
    Status writeFile(const QString &path, const QByteArray &bytes, Flush flush) override
    {
        const QString fresh = path + QStringLiteral(".~%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                 QLatin1Char('0'));
        const QString what = QStringLiteral("Cannot write %1").arg(native(path));
        if (Status s = nativefiles::createFile(fresh, bytes, flush == Flush::Now); !s)
            return sentence(what, s);
        if (Status s = nativefiles::replaceFile(fresh, path); !s) {
            // The failure to report is the replacement's. Removing the fresh
            // copy is a courtesy: should it fail too, a file under a random
            // name that nothing reads is left beside the target, and the
            // message about the write already tells the user what matters.
            std::ignore = nativefiles::removeFile(fresh);
            return sentence(what, s);
        }
        return Status::success();
    }

    Status flushFile(const QString &path) override
    {
        if (Status s = nativefiles::flushFile(path); !s)
            return sentence(QStringLiteral("Cannot write %1").arg(native(path)), s);
        return Status::success();
    }

    Status replace(const QString &from, const QString &to) override
    {
        if (Status s = nativefiles::replaceFile(from, to); !s)
            return sentence(QStringLiteral("Cannot put %1 in the place of %2").arg(native(from), native(to)), s);
        return Status::success();
    }

    Status keepCopy(const QString &from, const QString &to) override
    {
        const Status linked = nativefiles::linkFile(from, to);
        if (linked)
            return linked;
        // File systems without hard links (FAT, some network shares) get a
        // copy instead.
        const QString what = QStringLiteral("Cannot keep a copy of %1 as %2").arg(native(from), native(to));
        QByteArray bytes;
        QFile file(from);
        if (!file.open(QIODevice::ReadOnly))
            return sentence(what, linked);
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return sentence(what, Status::failure(file.errorString(), int(file.error())));
        if (Status s = nativefiles::createFile(to, bytes); !s)
            return sentence(what, s);
        return Status::success();
    }

    Status remove(const QString &path) override
    {
        if (Status s = nativefiles::removeFile(path); !s)
            return sentence(QStringLiteral("Cannot remove %1").arg(native(path)), s);
        return Status::success();
    }

    Status flushFolder(const QString &folder) override
    {
        if (Status s = nativefiles::flushFolder(folder); !s)
            return sentence(QStringLiteral("Cannot flush the folder %1 to the disk").arg(native(folder)), s);
        return Status::success();
    }

    Status readFile(const QString &path, qint64 maxBytes, QByteArray *bytes) const override
    {
        const QString what = QStringLiteral("Cannot read %1").arg(native(path));
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return sentence(what, Status::failure(file.errorString(), int(file.error())));
        *bytes = readAtMost(file, maxBytes);
        if (file.error() != QFileDevice::NoError)
            return sentence(what, Status::failure(file.errorString(), int(file.error())));
        if (bytes->size() > maxBytes)
            return sentence(what, Status::failure(QStringLiteral("it is larger than %1 bytes").arg(maxBytes)));
        return Status::success();
    }

    Status readPieces(const QString &path, qint64 maxBytes,
                      const std::function<void(QByteArrayView)> &take) const override
    {
        // Small enough to come from memory the program has freed already,
        // large enough that a window image takes a few dozen reads.
        constexpr qint64 kPieceBytes = 64 * 1024;
        const QString what = QStringLiteral("Cannot read %1").arg(native(path));
        const auto tooLarge = [&] {
            return sentence(what, Status::failure(QStringLiteral("it is larger than %1 bytes").arg(maxBytes)));
        };
        // Unbuffered: the pieces go from the system straight into the one
        // buffer, not through QFile's own.
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return sentence(what, Status::failure(file.errorString(), int(file.error())));
        if (file.size() > maxBytes)
            return tooLarge();
        const auto buffer = std::make_unique_for_overwrite<char[]>(std::size_t(kPieceBytes));
        qint64 total = 0;
        for (;;) {
            const qint64 got = file.read(buffer.get(), kPieceBytes);
            if (got < 0 || file.error() != QFileDevice::NoError)
                return sentence(what, Status::failure(file.errorString(), int(file.error())));
            if (got == 0)
                return Status::success();
            total += got;
            // A file that grew since it was opened.
            if (total > maxBytes)
                return tooLarge();
            take(QByteArrayView(buffer.get(), got));
        }
    }

    Kind kind(const QString &path) const override
    {
        const QFileInfo info(path);
        if (info.isSymbolicLink() || info.isJunction())
            return Kind::Link;
        if (!info.exists())
            return Kind::None;
        if (info.isDir())
            return Kind::Folder;
        return info.isFile() ? Kind::File : Kind::Other;
    }

    bool isDirectory(const QString &path) const override
    {
        return QFileInfo(path).isDir();
    }

    QString canonicalPath(const QString &path) const override
    {
        return QFileInfo(path).canonicalFilePath();
    }

    Status entries(const QString &folder, const QString &prefix, QStringList *names) const override
    {
        const QDir dir(folder);
        if (!dir.isReadable())
            return Status::failure(ErrorKind::Io,
                                   QStringLiteral("Cannot list the folder %1: it cannot be read.").arg(native(folder)));
        *names = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names->removeIf([&](const QString &name) { return !name.startsWith(prefix); });
        return Status::success();
    }
};

} // namespace

FileSystem &FileSystem::real()
{
    static RealFileSystem fileSystem;
    return fileSystem;
}

} // namespace velloran
