#pragma once

// The file operations that safe saving needs and that each platform does in
// its own way: a new file written and flushed, a file put in the place of
// another in one step, a second name for a file, and the names in a folder
// made durable. Paths are in Qt form ('/' separators).
//
// Each returns success, or a failure whose message is the system's reason
// alone ("No space left on device"), for the caller to put into a sentence
// that names the file, and whose code is the system's error number.

#include "imaging/status.h"

#include <QByteArray>
#include <QString>

namespace velloran::nativefiles {

// Creates `path`, which must not exist (not even as a link: nothing is
// written through one), with exactly these bytes, flushed to the disk
// unless `flush` is false. On failure the file is removed again.
Status createFile(const QString &path, const QByteArray &bytes, bool flush = true);

// Flushes the data of the plain file at `path` to the disk.
Status flushFile(const QString &path);

// Puts the file `from` in the place of `to` in one step: `to`, whatever it
// was (a file or a link), is replaced, and at no instant is there no file
// named `to`. Both must be in the same folder or at least on the same disk;
// the data are never copied.
Status replaceFile(const QString &from, const QString &to);

// Gives the file `existing` the second name `link` (a hard link).
Status linkFile(const QString &existing, const QString &link);

// Removes a file, or a link without what it leads to.
Status removeFile(const QString &path);

// Makes the names that were created, replaced or removed in `folder`
// durable. Where the platform keeps them durable by itself this does nothing.
Status flushFolder(const QString &folder);

// An exclusive lock held through a file, by one holder at a time across
// processes and within one. The system lets go of it when the holder's
// process ends in any way, so a crash never leaves it held.
struct FileLock
{
    qintptr handle = -1;
    QString path;
    bool held = false; // false where the file system cannot lock at all
};

// Takes the lock at `path` without waiting, creating the file. Fails with
// ErrorKind::Busy (and no message) while another holder has it,
// ErrorKind::Denied where the file may not be created; fails (ErrorKind::Io)
// when something other than a plain file (a link, a folder, a device) stands
// at the path. Where the file system cannot lock files at all, succeeds with
// `held` false.
Status lockFile(const QString &path, FileLock *lock);

// Lets go of the lock and removes its file.
void unlockFile(FileLock *lock);

} // namespace velloran::nativefiles
