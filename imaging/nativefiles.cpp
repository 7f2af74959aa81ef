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
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace velloran::nativefiles {

namespace {

// The system's reason for the error number.
Status systemFailure(int error)
{
    return Status::failure(ErrorKind::Io, qt_error_string(error), error);
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

Status createFile(const QString &path, const QByteArray &bytes, bool flush)
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
    if (result && flush && !FlushFileBuffers(file))
        result = lastFailure();
    if (!CloseHandle(file) && result)
        result = lastFailure();
    if (!result)
        DeleteFileW(name.c_str());
    return result;
}

Status flushFile(const QString &path)
{
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lastFailure();
    Status result;
    if (!FlushFileBuffers(file))
        result = lastFailure();
    CloseHandle(file);
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

Status lockFile(const QString &path, FileLock *lock)
{
    // Shared with no one, the open file is the lock; it goes with the last
    // handle, however the process ends. A link is opened as itself and
    // refused.
    HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Held, or being removed by a holder that is letting go (which
        // reads as access denied while the file is still there).
        const bool there = GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || (error == ERROR_ACCESS_DENIED && there))
            return Status::failure(ErrorKind::Busy, QString());
        if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)
            return Status::failure(ErrorKind::Denied, qt_error_string(int(error)), int(error));
        return systemFailure(int(error));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info)
        || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        CloseHandle(file);
        return Status::failure(ErrorKind::Io, QStringLiteral("something other than a file is there"));
    }
    lock->handle = reinterpret_cast<qintptr>(file);
    lock->path = path;
    lock->held = true;
    return Status::success();
}

void unlockFile(FileLock *lock)
{
    if (lock->handle != -1)
        CloseHandle(reinterpret_cast<HANDLE>(lock->handle)); // removes the file
    lock->handle = -1;
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

Status createFile(const QString &path, const QByteArray &bytes, bool flush)
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
    if (result && flush && flushData(fd) != 0)
        result = lastFailure();
    // A failed close can be the first report of a failed write.
    if (::close(fd) != 0 && result && errno != EINTR)
        result = lastFailure();
    if (!result)
        ::unlink(name.constData());
    return result;
}

Status flushFile(const QString &path)
{
    int fd;
    do
        fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return lastFailure();
    Status result;
    if (flushData(fd) != 0)
        result = lastFailure();
    ::close(fd);
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

Status lockFile(const QString &path, FileLock *lock)
{
    const QByteArray name = QFile::encodeName(path);
    for (;;) {
        // Not through a link, and never waiting on a pipe.
        // Read-only is enough to lock it, so a lock file another user left
        // behind serves this one too.
        int fd;
        do
            fd = ::open(name.constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            const int error = errno;
            if (error == EACCES || error == EPERM || error == EROFS)
                return Status::failure(ErrorKind::Denied, qt_error_string(error), error);
            return systemFailure(error);
        }
        struct stat opened;
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
            ::close(fd);
            return Status::failure(ErrorKind::Io, QStringLiteral("something other than a file is there"));
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            if (error == ENOLCK || error == EOPNOTSUPP || error == ENOTSUP || error == EINVAL) {
                // A file system that cannot lock (some network shares):
                // the export goes on without one rather than never.
                lock->handle = fd;
                lock->path = path;
                lock->held = false;
                return Status::success();
            }
            ::close(fd);
            if (error == EWOULDBLOCK || error == EINTR)
                return Status::failure(ErrorKind::Busy, QString());
            return systemFailure(error);
        }
        // A holder removes the file as it lets go; the lock is only ours if
        // the file locked is still the one at the path.
        struct stat current;
        if (::stat(name.constData(), &current) == 0 && current.st_dev == opened.st_dev
            && current.st_ino == opened.st_ino) {
            lock->handle = fd;
            lock->path = path;
            lock->held = true;
            return Status::success();
        }
        ::close(fd);
    }
}

void unlockFile(FileLock *lock)
{
    if (lock->handle != -1) {
        // Removed while still held, so that no one takes a file on its way
        // out; only if it is still ours (someone may have removed it and
        // another holder made a new one).
        const QByteArray name = QFile::encodeName(lock->path);
        struct stat ours, current;
        if (::fstat(int(lock->handle), &ours) == 0 && ::stat(name.constData(), &current) == 0
            && ours.st_dev == current.st_dev && ours.st_ino == current.st_ino)
            ::unlink(name.constData());
        ::close(int(lock->handle));
    }
    lock->handle = -1;
}

#endif

} // namespace velloran::nativefiles
