#pragma once

// The real file system with chosen operations made to fail, or a program
// stopped dead at one of them, for tests of saving; and helpers to look at
// what saving leaves in a folder.

#include "imaging/filesystem.h"

#include <QMap>

#include <functional>

namespace velloran::test {

// Thrown by the file system to stop an export dead, as a crash would:
// nothing of the export runs after it (no clean-up, no undo).
struct Died
{
};

// The real file system, with chosen operations made to fail, or the export
// stopped dead at one of them. Each operation that changes something is a
// step: "write PATH", "sync PATH" (a file's data to the disk), "replace FROM
// TO", "keep FROM TO", "remove PATH", "flush FOLDER".
class FaultyFileSystem final : public FileSystem
{
public:
    QStringList steps;                                  // every step asked for, in order
    QList<int> failSteps;                               // steps that fail, by index
    std::function<bool(const QString &step)> failIf;    // steps that fail, by what they are
    int dieAt = -1;                                     // the step at which the export stops dead
    std::function<void()> beforeEachStep;               // runs before every step
    // Files that cannot be read, by path. Reading changes nothing, so it
    // is no step.
    std::function<bool(const QString &path)> failReadIf;

    // No failures, no death, no steps so far.
    void reset();

    // A write that fails writes the first half of the data to the path
    // first, as one that fails half-way would.
    Status writeFile(const QString &path, const QByteArray &bytes, Flush flush) override;
    Status flushFile(const QString &path) override;
    Status replace(const QString &from, const QString &to) override;
    Status keepCopy(const QString &from, const QString &to) override;
    Status remove(const QString &path) override;
    Status flushFolder(const QString &folder) override;

    Status readFile(const QString &path, qint64 maxBytes, QByteArray *bytes) const override;
    Status readPieces(const QString &path, qint64 maxBytes,
                      const std::function<void(QByteArrayView)> &take) const override;
    Kind kind(const QString &path) const override;
    bool isDirectory(const QString &path) const override;
    QString canonicalPath(const QString &path) const override;
    Status entries(const QString &folder, const QString &prefix, QStringList *names) const override;

private:
    Status step(const QString &what);
    Status readFailure(const QString &path) const;
};

// The names in a folder that an export leaves only while it runs.
QStringList leftovers(const QString &folder);

// Makes the folder hold exactly what the snapshot holds.
void restore(const QString &folder, const QMap<QString, QByteArray> &files);

} // namespace velloran::test
