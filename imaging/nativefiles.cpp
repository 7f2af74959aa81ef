#include "imaging/nativefiles.h"

#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_WIN
#include <QDir>

#include <windows.h>
#else
#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace velloran::native {

namespace {

// The system's reason for the error number.
Status systemFailure(int error)
{
    return Status::failure(qt_error_string(error), error);
}

// Writes go out in pieces no larger than this, which every platform takes.
constexpr qint64 kLargestWrite = qint64(1) << 30;

} // namespace

#ifdef Q_OS_WIN

namespace {

std::wstring wide(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

Status lastFailure()
{
    return systemFailure(int(GetLastError()));
}

} // namespace

Status createFile(const QString &path, const QByteArray &bytes)
{
    const std::wstring name = wide(path);
    // CREATE_NEW fails on any existing name, a link included.
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lastFailure();
    Status result;
    qint64 done = 0;
    while (result && done < bytes.size()) {
        DWORD written = 0;
        const DWORD piece = DWORD(std::min(bytes.size() - done, kLargestWrite));
        if (!WriteFile(file, bytes.constData() + done, piece, &written, nullptr))
            result = lastFailure();
        else if (written == 0)
            result = systemFailure(ERROR_DISK_FULL);
        done += written;
    }
    if (result && !FlushFileBuffers(file))
        result = lastFailure();
    if (!CloseHandle(file) && result)
        result = lastFailure();
    if (!result)
        DeleteFileW(name.c_str());
    return result;
}

Status replaceFile(const QString &from, const QString &to)
{
    // Without MOVEFILE_COPY_ALLOWED the data are never copied; write-through
    // returns only once the new name is on the disk.
    if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return lastFailure();
    return Status::success();
}

Status linkFile(const QString &existing, const QString &link)
{
    if (!CreateHardLinkW(wide(link).c_str(), wide(existing).c_str(), nullptr))
        return lastFailure();
    return Status::success();
}

Status removeFile(const QString &path)
{
    if (!DeleteFileW(wide(path).c_str()))
        return lastFailure();
    return Status::success();
}

Status flushFolder(const QString &)
{
    // The file system keeps its folders durable by itself, and replaceFile
    // writes through.
    return Status::success();
}

#else

namespace {

Status lastFailure()
{
    return systemFailure(errno);
}

int flushData(int fd)
{
#ifdef Q_OS_LINUX
    return ::fdatasync(fd);
#else
    return ::fsync(fd);
#endif
}

} // namespace

Status createFile(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    // O_EXCL fails on any existing name, a link included.
    int fd;
    do
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastFailure();
    Status result;
    qint64 done = 0;
    while (result && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(std::min(bytes.size() - done, kLargestWrite)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            result = lastFailure();
        else if (n == 0)
            result = systemFailure(ENOSPC);
        else
            done += n;
    }
    if (result && flushData(fd) != 0)
        result = lastFailure();
    // A failed close can be the first report of a failed write.
    if (::close(fd) != 0 && result && errno != EINTR)
        result = lastFailure();
    if (!result)
        ::unlink(name.constData());
    return result;
}

Status replaceFile(const QString &from, const QString &to)
{
    if (::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0)
        return lastFailure();
    return Status::success();
}

Status linkFile(const QString &existing, const QString &link)
{
    // A link standing at `existing` gets the second name itself; it is not
    // followed.
    if (::linkat(AT_FDCWD, QFile::encodeName(existing).constData(), AT_FDCWD,
                 QFile::encodeName(link).constData(), 0) != 0)
        return lastFailure();
    return Status::success();
}

Status removeFile(const QString &path)
{
    if (::unlink(QFile::encodeName(path).constData()) != 0)
        return lastFailure();
    return Status::success();
}

Status flushFolder(const QString &folder)
{
    int fd;
    do
        fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastFailure();
    Status result;
    // Some file systems cannot flush a folder at all (EINVAL): there is
    // nothing more to be done for its names.
    if (::fsync(fd) != 0 && errno != EINVAL && errno != ENOTSUP)
        result = lastFailure();
    ::close(fd);
    return result;
}

#endif

} // namespace velloran::native
