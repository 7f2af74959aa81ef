#include "support/faultyfilesystem.h"

#include "support/testsupport.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <tuple>

namespace velloran::test {

void FaultyFileSystem::reset()
{
    steps.clear();
    failSteps.clear();
    failIf = nullptr;
    dieAt = -1;
    beforeEachStep = nullptr;
    failReadIf = nullptr;
}

Status FaultyFileSystem::writeFile(const QString &path, const QByteArray &bytes, Flush flush)
{
    if (Status s = step(QStringLiteral("write ") + path); !s) {
        // Half the bytes land, as when a disk fills up part way; whether
        // they do is beside the point, the injected failure is what counts.
        std::ignore = real().writeFile(path, bytes.left(bytes.size() / 2), flush);
        return s;
    }
    return real().writeFile(path, bytes, flush);
}

Status FaultyFileSystem::flushFile(const QString &path)
{
    if (Status s = step(QStringLiteral("sync ") + path); !s)
        return s;
    return real().flushFile(path);
}

Status FaultyFileSystem::replace(const QString &from, const QString &to)
{
    if (Status s = step(QStringLiteral("replace ") + from + QLatin1Char(' ') + to); !s)
        return s;
    return real().replace(from, to);
}

Status FaultyFileSystem::keepCopy(const QString &from, const QString &to)
{
    if (Status s = step(QStringLiteral("keep ") + from + QLatin1Char(' ') + to); !s)
        return s;
    return real().keepCopy(from, to);
}

Status FaultyFileSystem::remove(const QString &path)
{
    if (Status s = step(QStringLiteral("remove ") + path); !s)
        return s;
    return real().remove(path);
}

Status FaultyFileSystem::flushFolder(const QString &folder)
{
    if (Status s = step(QStringLiteral("flush ") + folder); !s)
        return s;
    return real().flushFolder(folder);
}

Status FaultyFileSystem::readFailure(const QString &path) const
{
    if (failReadIf && failReadIf(path))
        return Status::failure(QStringLiteral("Cannot read %1: injected failure.").arg(path));
    return Status::success();
}

Status FaultyFileSystem::readFile(const QString &path, qint64 maxBytes, QByteArray *bytes) const
{
    if (Status s = readFailure(path); !s)
        return s;
    return real().readFile(path, maxBytes, bytes);
}

Status FaultyFileSystem::readPieces(const QString &path, qint64 maxBytes,
                                    const std::function<void(QByteArrayView)> &take) const
{
    if (Status s = readFailure(path); !s)
        return s;
    return real().readPieces(path, maxBytes, take);
}

FileSystem::Kind FaultyFileSystem::kind(const QString &path) const
{
    return real().kind(path);
}

bool FaultyFileSystem::isDirectory(const QString &path) const
{
    return real().isDirectory(path);
}

QString FaultyFileSystem::canonicalPath(const QString &path) const
{
    return real().canonicalPath(path);
}

Status FaultyFileSystem::entries(const QString &folder, const QString &prefix, QStringList *names) const
{
    return real().entries(folder, prefix, names);
}

Status FaultyFileSystem::step(const QString &what)
{
    if (beforeEachStep)
        beforeEachStep();
    const int index = int(steps.size());
    steps << what;
    if (index == dieAt)
        throw Died{};
    if (failSteps.contains(index) || (failIf && failIf(what)))
        return Status::failure(ErrorKind::Io, QStringLiteral("Cannot do it: injected failure of %1.").arg(what));
    return Status::success();
}

QStringList leftovers(const QString &folder)
{
    return QDir(folder)
        .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
        .filter(QRegularExpression(QStringLiteral("^\\.velloran-")));
}

void restore(const QString &folder, const QMap<QString, QByteArray> &files)
{
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(folder));
    for (auto it = files.begin(); it != files.end(); ++it) {
        if (it.key().endsWith(QLatin1Char('/')))
            ASSERT_TRUE(QDir().mkpath(folder + QLatin1Char('/') + it.key()));
        else
            test::writeFile(folder + QLatin1Char('/') + it.key(), it.value());
    }
}

} // namespace velloran::test
