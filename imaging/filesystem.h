#pragma once

#include "imaging/status.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>

class QFileDevice;

namespace velloran {

// Reads the rest of an open file, at most `maxBytes` and one byte more (so a
// caller tells a file over its limit). Room is taken for what the file holds,
// never for the limit.
QByteArray readAtMost(QFileDevice &file, qint64 maxBytes);

// The file operations that saving needs, behind an interface so that tests
// can make any of them fail, or stop the program dead at any of them. Paths
// are in Qt form ('/' separators). Failures name the path and the reason in
// a sentence.
class FileSystem
{
public:
    // What stands at a path, a link not followed.
    enum class Kind { None, File, Folder, Link, Other };
    // Whether writeFile flushes the data to the disk itself, or leaves it to
    // a later flushFile (so that several files go to the disk in one pass).
    enum class Flush { Now, Later };

    virtual ~FileSystem() = default;

    // Creates or replaces the file with exactly these bytes, flushed to the
    // disk (unless `flush` says later): they are written to a new file
    // beside it, named `path` + ".~" and eight hex digits, which then takes
    // the place of `path` in one step. A link standing at `path` is
    // replaced, never written through. On failure an earlier file of that
    // name is unchanged and this call leaves no file behind. (The new name
    // is durable once the folder is flushed.)
    virtual Status writeFile(const QString &path, const QByteArray &bytes, Flush flush = Flush::Now) = 0;
    // Flushes the data of a file written with Flush::Later to the disk.
    virtual Status flushFile(const QString &path) = 0;
    // Puts the file `from` in the place of `to` in one step, replacing a
    // file there; never copies.
    virtual Status replace(const QString &from, const QString &to) = 0;
    // Gives the file `from` the second name `to`, which must not exist: a
    // hard link where the file system has them, else a flushed copy.
    virtual Status keepCopy(const QString &from, const QString &to) = 0;
    // Removes a file, or a link without what it leads to.
    virtual Status remove(const QString &path) = 0;
    // Makes the names created, replaced or removed in the folder durable.
    virtual Status flushFolder(const QString &folder) = 0;

    // Reads a whole file of at most `maxBytes` bytes.
    virtual Status readFile(const QString &path, qint64 maxBytes, QByteArray *bytes) const = 0;
    // Reads a whole file of at most `maxBytes` bytes a piece at a time,
    // handing the pieces to `take` in order: for looking at every byte of a
    // file without holding it whole. The pieces are of a bounded size and
    // valid only during the call to `take`. On failure some pieces may
    // have been taken already.
    virtual Status readPieces(const QString &path, qint64 maxBytes,
                              const std::function<void(QByteArrayView piece)> &take) const = 0;
    virtual Kind kind(const QString &path) const = 0;
    // Whether a folder, or a link to one, is at the path.
    virtual bool isDirectory(const QString &path) const = 0;
    // The path with every link resolved; empty when nothing is there.
    virtual QString canonicalPath(const QString &path) const = 0;
    // The names of the entries of the folder that begin with `prefix`,
    // hidden ones included; fails when the folder cannot be listed.
    virtual Status entries(const QString &folder, const QString &prefix, QStringList *names) const = 0;

    bool exists(const QString &path) const { return kind(path) != Kind::None; }

    // The real file system; the default for every caller.
    static FileSystem &real();
};

} // namespace velloran
