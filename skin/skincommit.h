#pragma once

// Putting the five files of a skin in place so that no crash, power cut or
// failure can leave a skin partly replaced.
//
// The new files are first staged beside their targets as hidden files named
// after a stem (".velloran-" and eight hex digits, then "-N.tmp"), and every
// earlier target gets a second name ("-N.old", a hard link or a copy). Then a
// record of the export, ".velloran-export" in the Skins folder, says that
// the commit has begun and tells each earlier and each new file by its size
// and checksum; then each staged file replaces its target in one step, so
// at no instant is a target missing or partly written. The record is
// removed last. Exports into one Skins folder are serialised by a lock on
// the file ".velloran-lock" there, which the system lets go of when its
// holder ends in any way.
//
// A run that finds a record finishes the interrupted export before anything
// else, judging by what each of the skin's names holds: when every one holds
// its new file, the new skin stays and only the leftovers go; otherwise each
// earlier file is put back from its second name and each new one removed,
// so the skin is wholly the earlier one again. A file that is neither (put
// there since) is left alone. A failure inside a commit undoes it the same
// way.

#include "imaging/nativefiles.h"
#include "imaging/status.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace velloran {

class FileSystem;
struct ExportRecord;

// Holds the lock of one Skins folder for as long as it lives.
class SkinsFolderLock
{
public:
    // How long taking the lock waits for another export to finish.
    static constexpr int kWaitMilliseconds = 10000;

    // Takes the lock of `skinsFolder` (Qt form, ending with '/'), waiting at
    // most `waitMilliseconds`. `firstFile` is the first file the export would
    // write, named when the folder does not let the user create files.
    static Status take(const QString &skinsFolder, const QString &firstFile,
                       std::unique_ptr<SkinsFolderLock> *lock, int waitMilliseconds = kWaitMilliseconds);

    ~SkinsFolderLock();
    SkinsFolderLock(const SkinsFolderLock &) = delete;
    SkinsFolderLock &operator=(const SkinsFolderLock &) = delete;

private:
    SkinsFolderLock();
    nativefiles::FileLock m_lock;
};

// Finishes an export into `skinsFolder` that a crash or a failure left
// half done, if there is one; the Skins folder lock must be held. On success
// `report` (when given) receives a sentence for the user on what was
// recovered, or nothing when there was nothing to do. When something cannot
// be finished the failure says what is where, and the record stays so that
// the next run tries again.
Status recoverInterruptedExport(FileSystem &fs, const QString &skinsFolder, QString *report = nullptr);

// One export of the skin `name` into the Skins folder, from staging to the
// end of the commit. The Skins folder lock must be held and
// recoverInterruptedExport must have succeeded.
class SkinCommit
{
public:
    // `skinsFolder` in Qt form, ending with '/'; `name` as typed, already
    // checked.
    SkinCommit(FileSystem &fs, const QString &skinsFolder, const QString &name);
    ~SkinCommit();

    // Records that staging begins, so that a crash from here on leaves
    // nothing behind for long. Call before writing any staged file.
    Status begin();

    // Where target `index` is staged.
    QString staged(int index) const;

    // Removes what staging left: the staged files and the record. Returns a
    // sentence for each thing that could not be removed.
    QString abandon();

    // Puts the staged files in place of the targets (all five are staged
    // and complete). On failure the targets are as they were before, or the
    // message says what is where; placed() tells whether the new skin is in
    // place all the same (when only the cleaning up failed).
    Status commit();
    bool placed() const { return m_placed; }

private:
    FileSystem &m_fs;
    std::unique_ptr<ExportRecord> m_record;
    bool m_placed = false;
};

} // namespace velloran
