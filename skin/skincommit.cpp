#include "skin/skincommit.h"

#include "imaging/filesystem.h"
#include "imaging/nativefiles.h"
#include "skin/skinexport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <zlib.h>

#include <algorithm>
#include <array>
#include <optional>

namespace velloran {

namespace {

const QString kRecordName = QStringLiteral(".velloran-export");
const QString kLockName = QStringLiteral(".velloran-lock");
const QByteArray kRecordHeading = "Velloran export record 2";
constexpr qint64 kMaxRecordBytes = 64 * 1024;
// No file of a skin is larger (the description's template is at most
// 16 MiB); a larger one at a target's name is not one the export wrote.
constexpr qint64 kMaxSkinFileBytes = 64 * 1024 * 1024;
constexpr int kFileCount = 5;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Whether a resolved path is `root` or lies below it.
bool inside(const QString &canonical, const QString &root)
{
    if (canonical.isEmpty() || root.isEmpty())
        return false;
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return canonical == root || canonical.startsWith(prefix);
}

// The system's reason in a failure of the file system ("Cannot remove X:
// reason."), without the part that names the file.
QString reasonIn(const Status &failure, const QString &lead)
{
    QString text = failure.message();
    if (text.startsWith(lead))
        text.remove(0, lead.size());
    while (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text;
}

// The sentences in one message, the empty ones left out.
QString joinedText(const QString &first, const QStringList &more)
{
    QStringList parts{first};
    parts << more;
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

Status joined(const QString &first, const QStringList &more)
{
    return Status::failure(joinedText(first, more));
}

// The failure with more sentences after its own; its kind and code stay.
Status joined(const Status &cause, const QStringList &more)
{
    return cause.reworded(joinedText(cause.message(), more));
}

// What tells one file of a skin from another: its size and the CRC-32 of
// its bytes. (Not proof against someone making a file look like another,
// who could change the folder anyway; enough to know an export's own files
// from those a user put there since.)
struct FileId
{
    qint64 size = -1;
    quint32 crc = 0;

    bool known() const { return size >= 0; }
    bool operator==(const FileId &) const = default;

    QByteArray text() const
    {
        return known() ? QByteArray::number(size) + ':' + QByteArray::number(crc, 16).rightJustified(8, '0')
                       : QByteArray("-");
    }
    static std::optional<FileId> parse(const QByteArray &text)
    {
        if (text == "-")
            return FileId{};
        static const QRegularExpression pattern(QStringLiteral("^(\\d{1,12}):([0-9a-f]{8})$"));
        const auto m = pattern.match(QString::fromLatin1(text));
        if (!m.hasMatch())
            return std::nullopt;
        return FileId{m.captured(1).toLongLong(), m.captured(2).toUInt(nullptr, 16)};
    }
};

// The id of the plain file at `path`; unknown when something else or
// nothing is there, or it cannot be read.
FileId identify(const FileSystem &fs, const QString &path)
{
    if (fs.kind(path) != FileSystem::Kind::File)
        return {};
    uLong crc = crc32(0L, Z_NULL, 0);
    qint64 size = 0;
    const Status read = fs.readPieces(path, kMaxSkinFileBytes, [&](QByteArrayView piece) {
        crc = crc32_z(crc, reinterpret_cast<const Bytef *>(piece.data()), z_size_t(piece.size()));
        size += piece.size();
    });
    if (!read)
        return {};
    return {size, quint32(crc)};
}

} // namespace

// What one export is doing, as kept in the record in the Skins folder.
struct ExportRecord
{
    enum class State { Staging, Committing };

    QString skinsFolder; // Qt form, ending with '/'
    QString name;        // the skin name as typed
    QString stem;        // ".velloran-" and eight hex digits
    State state = State::Staging;
    std::array<FileId, kFileCount> earlier{}; // the file that stood at each target, if any
    std::array<FileId, kFileCount> fresh{};   // the file the export puts there

    // Derived from the above.
    QStringList targets;
    QString folder; // the targets' folder, ending with '/'

    static ExportRecord make(const QString &skinsFolder, const QString &name, const QString &stem)
    {
        ExportRecord r;
        r.skinsFolder = skinsFolder;
        r.name = name;
        r.stem = stem;
        r.targets = skinFiles(skinsFolder, name).all();
        r.folder = r.targets.first().left(r.targets.first().lastIndexOf(QLatin1Char('/')) + 1);
        return r;
    }

    QString target(int i) const { return targets[i]; }
    QString staged(int i) const { return folder + stem + QStringLiteral("-%1.tmp").arg(i); }
    QString kept(int i) const { return folder + stem + QStringLiteral("-%1.old").arg(i); }
    QString path() const { return skinsFolder + kRecordName; }

    QByteArray text() const
    {
        QByteArray text = kRecordHeading + '\n' + "state " + (state == State::Staging ? "staging" : "committing")
                          + '\n' + "skin " + name.toUtf8() + '\n' + "stem " + stem.toLatin1() + '\n';
        for (int i = 0; i < kFileCount; ++i)
            text += "file " + QByteArray::number(i) + ' ' + earlier[i].text() + ' ' + fresh[i].text() + '\n';
        return text;
    }

    // The record in `bytes`, when it is one this program writes, for a skin
    // name that it would accept: nothing in it can lead outside the folder.
    static std::optional<ExportRecord> parse(const QString &skinsFolder, const QByteArray &bytes)
    {
        const QList<QByteArray> lines = bytes.split('\n');
        if (lines.size() != 5 + kFileCount || lines[0] != kRecordHeading || !lines.last().isEmpty())
            return std::nullopt;
        auto value = [&](int line, const QByteArray &key) -> std::optional<QByteArray> {
            const QByteArray lead = key + ' ';
            if (!lines[line].startsWith(lead))
                return std::nullopt;
            return lines[line].mid(lead.size());
        };
        const auto state = value(1, "state");
        const auto name = value(2, "skin");
        const auto stem = value(3, "stem");
        if (!state || !name || !stem)
            return std::nullopt;
        static const QRegularExpression stemPattern(QStringLiteral("^\\.velloran-[0-9a-f]{8}$"));
        const QString skin = QString::fromUtf8(*name);
        if ((*state != "staging" && *state != "committing") || !checkSkinNameForFiles(skin)
            || !stemPattern.match(QString::fromLatin1(*stem)).hasMatch())
            return std::nullopt;
        ExportRecord r = make(skinsFolder, skin, QString::fromLatin1(*stem));
        r.state = *state == "staging" ? State::Staging : State::Committing;
        for (int i = 0; i < kFileCount; ++i) {
            const auto ids = value(4 + i, "file " + QByteArray::number(i));
            const QList<QByteArray> parts = ids ? ids->split(' ') : QList<QByteArray>();
            const auto earlier = parts.size() == 2 ? FileId::parse(parts[0]) : std::nullopt;
            const auto fresh = parts.size() == 2 ? FileId::parse(parts[1]) : std::nullopt;
            if (!earlier || !fresh)
                return std::nullopt;
            r.earlier[i] = *earlier;
            r.fresh[i] = *fresh;
        }
        return r;
    }
};

namespace {

// What stands at one of the skin's names, measured against the record. A
// file can be both the earlier and the new one: the same export made twice.
struct Holds
{
    bool nothing = false;
    bool earlier = false; // the earlier file
    bool fresh = false;   // the file the export wrote
    bool other() const { return !nothing && !earlier && !fresh; }
};

Holds holds(const FileSystem &fs, const ExportRecord &r, int i)
{
    const QString target = r.target(i);
    if (fs.kind(target) == FileSystem::Kind::None)
        return {true, false, false};
    const FileId id = identify(fs, target);
    if (!id.known())
        return {};
    return {false, r.earlier[i].known() && id == r.earlier[i], r.fresh[i].known() && id == r.fresh[i]};
}

// Whether every name holds the new file.
bool allFresh(const FileSystem &fs, const ExportRecord &r)
{
    for (int i = 0; i < kFileCount; ++i)
        if (!holds(fs, r, i).fresh)
            return false;
    return true;
}

// Whether every name is as it was before the export: the earlier file, or
// nothing where there was none.
bool allEarlier(const FileSystem &fs, const ExportRecord &r)
{
    for (int i = 0; i < kFileCount; ++i) {
        const Holds h = holds(fs, r, i);
        if (r.earlier[i].known() ? !h.earlier : !h.nothing)
            return false;
    }
    return true;
}

QString removalProblem(const QString &path, const Status &failure)
{
    return QStringLiteral("The leftover %1 could not be removed: %2; the next export into this Skins folder "
                          "removes it.")
        .arg(native(path), reasonIn(failure, QStringLiteral("Cannot remove %1: ").arg(native(path))));
}

// Removes every file of the export's stem from its folder (staged files,
// second names of earlier files, half-written files), then the record: the
// end of every export, whichever way it went. Returns a sentence for each
// thing that could not be removed; the record then stays, to keep them
// known to the next run.
QStringList finish(FileSystem &fs, const ExportRecord &r)
{
    QStringList problems;
    const auto removeIfThere = [&](const QString &path) {
        const FileSystem::Kind kind = fs.kind(path);
        if (kind == FileSystem::Kind::None || kind == FileSystem::Kind::Folder)
            return;
        if (Status s = fs.remove(path); !s)
            problems << removalProblem(path, s);
    };
    // The names the export gives its files, whether or not the folder can
    // be listed; then anything else of its stem (a file half written when
    // the program stopped).
    for (int i = 0; i < kFileCount; ++i) {
        removeIfThere(r.staged(i));
        removeIfThere(r.kept(i));
    }
    QStringList names;
    if (Status s = fs.entries(r.folder, r.stem + QLatin1Char('-'), &names); !s)
        problems << s.message();
    for (const QString &name : names)
        removeIfThere(r.folder + name);
    if (!problems.isEmpty())
        return problems;
    if (Status s = fs.remove(r.path()); !s && fs.exists(r.path()))
        problems << removalProblem(r.path(), s);
    return problems;
}

// Makes each of the skin's names what it was before the commit: the earlier
// file back from its second name where the new one stands, the new file
// removed where there was none. Decided by what each name holds, so it is
// safe to repeat after a crash at any point inside it, and a file that is
// neither the earlier nor the new one (a user's, since) is left alone and
// named in `notes`.
QStringList undo(FileSystem &fs, const ExportRecord &r, QStringList *notes)
{
    QStringList problems;
    for (int i = 0; i < kFileCount; ++i) {
        const QString target = r.target(i);
        const Holds h = holds(fs, r, i);
        if (h.other()) {
            *notes << QStringLiteral("%1 was left as it is: it is neither the earlier file nor the one the export "
                                     "wrote.")
                          .arg(native(target));
            continue;
        }
        if (r.earlier[i].known()) {
            if (h.earlier)
                continue;
            const QString kept = r.kept(i);
            if (identify(fs, kept) != r.earlier[i]) {
                problems << QStringLiteral("The earlier %1 cannot be put back: its copy %2 is gone or changed.")
                                .arg(native(target), native(kept));
                continue;
            }
            if (Status s = fs.replace(kept, target); !s)
                problems << s.message()
                                + QStringLiteral(" The earlier %1 could not be put back; it is kept as %2.")
                                      .arg(native(target), native(kept));
        } else if (h.fresh) {
            if (Status s = fs.remove(target); !s)
                problems << s.message() + QStringLiteral(" The new %1 could not be removed.").arg(native(target));
        }
    }
    if (!problems.isEmpty())
        return problems;
    if (Status s = fs.flushFolder(r.folder); !s)
        return {QStringLiteral("The skin's files are as they were, but they may not be on the disk yet:"),
                s.message()};
    return finish(fs, r);
}

bool anyEarlier(const ExportRecord &r)
{
    return std::any_of(r.earlier.begin(), r.earlier.end(), [](const FileId &id) { return id.known(); });
}

// What undoing brought back, for the user.
QString undoneText(const ExportRecord &r)
{
    return anyEarlier(r) ? QStringLiteral("the earlier files of the skin \"%1\" are back as they were.").arg(r.name)
                         : QStringLiteral("the files of the unfinished skin \"%1\" were removed.").arg(r.name);
}

QString recoveryTail()
{
    return QStringLiteral("Velloran tries again at the next export into this Skins folder or at its next start.");
}

// Whether the record's folder still lies inside the Skins folder, now.
bool folderInside(const FileSystem &fs, const ExportRecord &r)
{
    return inside(fs.canonicalPath(r.folder), fs.canonicalPath(r.skinsFolder));
}

} // namespace

Status recoverInterruptedExport(FileSystem &fs, const QString &skinsFolder, QString *report)
{
    if (report)
        report->clear();
    QStringList warnings;
    // A record that was being written when the program stopped holds
    // nothing yet; the record itself is in place or not at all.
    QStringList halfWritten;
    if (Status s = fs.entries(skinsFolder, kRecordName + QStringLiteral(".~"), &halfWritten); !s)
        return s;
    for (const QString &name : halfWritten)
        if (Status s = fs.remove(skinsFolder + name); !s)
            warnings << removalProblem(skinsFolder + name, s);
    auto told = [&](const QString &text) {
        if (report)
            *report = joinedText(text, warnings);
        return Status::success();
    };

    const QString path = skinsFolder + kRecordName;
    switch (fs.kind(path)) {
    case FileSystem::Kind::None:
        return warnings.isEmpty() ? Status::success() : told(QString());
    case FileSystem::Kind::File:
        break;
    default:
        return Status::failure(QStringLiteral("Something other than a file stands at %1, where Velloran keeps the "
                                              "record of an export in progress; remove it, then export again.")
                                   .arg(native(path)));
    }
    QByteArray bytes;
    const Status read = fs.readFile(path, kMaxRecordBytes, &bytes);
    const std::optional<ExportRecord> record =
        read ? ExportRecord::parse(skinsFolder, bytes) : std::nullopt;
    if (!record) {
        // Not a record this program writes (or far too long for one): nothing
        // in it is followed. One that cannot be read at all stays, and says so.
        if (!read && QFileInfo(path).size() <= kMaxRecordBytes)
            return joined(read, {QStringLiteral("It is the record of an interrupted export, which must be "
                                                "finished before another one.")});
        if (Status s = fs.remove(path); !s)
            return s;
        return told(QStringLiteral("The unreadable record %1 of an earlier export was removed; no skin was "
                                   "changed.")
                        .arg(native(path)));
    }
    if (fs.kind(record->folder) == FileSystem::Kind::None) {
        // The folder went, and every file the export wrote with it.
        if (Status s = fs.remove(path); !s)
            return s;
        return told(QStringLiteral("An interrupted export of the skin \"%1\" went into the folder %2, which is "
                                   "gone; its record was removed.")
                        .arg(record->name, native(record->folder)));
    }
    if (!folderInside(fs, *record))
        return Status::failure(QStringLiteral("An interrupted export of the skin \"%1\" went into the folder %2, "
                                              "which no longer leads to a folder inside the Skins folder; put it "
                                              "back, or remove %3.")
                                   .arg(record->name, native(record->folder), native(path)));

    const QString about = QStringLiteral("An export of the skin \"%1\" into %2 was interrupted")
                              .arg(record->name, native(skinsFolder));
    QString done;
    QStringList problems;
    QStringList notes;
    if (record->state == ExportRecord::State::Staging) {
        problems = finish(fs, *record);
        done = about + QStringLiteral(" before any of its files replaced the skin's; what it had written was "
                                      "removed.");
    } else if (allFresh(fs, *record)) {
        problems = finish(fs, *record);
        done = QStringLiteral("An export of the skin \"%1\" into %2 had put all its files in place but had not "
                              "finished; the new skin stays, and what the export left behind was removed.")
                   .arg(record->name, native(skinsFolder));
    } else if (allEarlier(fs, *record)) {
        problems = finish(fs, *record);
        done = about + QStringLiteral("; the skin's files are as they were before it, and what the export left "
                                      "behind was removed.");
    } else {
        problems = undo(fs, *record, &notes);
        done = about + QStringLiteral(" before all its files were in place, and was undone: ") + undoneText(*record);
    }
    if (!problems.isEmpty())
        return joined(about + QStringLiteral(", and finishing it failed:"), problems << notes << recoveryTail());
    warnings = notes + warnings;
    return told(done);
}

SkinsFolderLock::SkinsFolderLock() = default;

SkinsFolderLock::~SkinsFolderLock()
{
    nativefiles::unlockFile(&m_lock);
}

Status SkinsFolderLock::take(const QString &skinsFolder, const QString &firstFile,
                             std::unique_ptr<SkinsFolderLock> *lock, int waitMilliseconds)
{
    const QString path = skinsFolder + kLockName;
    std::unique_ptr<SkinsFolderLock> held(new SkinsFolderLock);
    const QDeadlineTimer deadline(waitMilliseconds);
    for (;;) {
        const Status s = nativefiles::lockFile(path, &held->m_lock);
        if (s) {
            *lock = std::move(held);
            return Status::success();
        }
        switch (s.kind()) {
        case ErrorKind::Busy:
            break;
        case ErrorKind::Denied:
            // The system's reason is in the sentence; its number is not shown.
            return Status::failure(ErrorKind::Denied,
                                   QStringLiteral("Cannot write %1: %2 (this user may not create files in the "
                                                  "Skins folder %3).")
                                       .arg(native(firstFile), s.message(), native(skinsFolder)));
        default:
            return s.reworded(QStringLiteral("Cannot write %1: the lock %2 of the Skins folder cannot be taken "
                                             "(%3); remove what stands there if it is not a file.")
                                  .arg(native(firstFile), native(path), s.message()));
        }
        if (deadline.hasExpired())
            return Status::failure(ErrorKind::Busy,
                                   QStringLiteral("Another export into the Skins folder %1 is still running (waited "
                                                  "%2 seconds); try again when it has finished.")
                                       .arg(native(skinsFolder))
                                       .arg(waitMilliseconds / 1000));
        // Exports take milliseconds: a short, even pace takes the lock
        // soon after it is let go.
        QThread::msleep(10);
    }
}

SkinCommit::SkinCommit(FileSystem &fs, const QString &skinsFolder, const QString &name)
    : m_fs(fs)
    , m_record(std::make_unique<ExportRecord>(ExportRecord::make(
          skinsFolder, name,
          QStringLiteral(".velloran-%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')))))
{
}

SkinCommit::~SkinCommit() = default;

Status SkinCommit::begin()
{
    // Lost in a power cut, this record would only leave staged files
    // behind; it need not wait for the disk.
    m_record->state = ExportRecord::State::Staging;
    return m_fs.writeFile(m_record->path(), m_record->text(), FileSystem::Flush::Later);
}

QString SkinCommit::staged(int index) const
{
    return m_record->staged(index);
}

QString SkinCommit::abandon()
{
    return finish(m_fs, *m_record).join(QLatin1Char(' '));
}

Status SkinCommit::commit()
{
    ExportRecord &r = *m_record;
    auto abandoned = [&](const Status &failure) { return joined(failure, {abandon()}); };
    // Undoes what the commit did so far, after `failure`, and says so.
    auto undone = [&](const Status &failure) {
        QStringList notes;
        const QStringList problems = undo(m_fs, r, &notes);
        if (problems.isEmpty())
            return joined(failure, QStringList{QStringLiteral("The export was undone: ") + undoneText(r)} << notes);
        return joined(failure, QStringList{QStringLiteral("Undoing the export failed too:")}
                                   << problems << notes << recoveryTail());
    };

    // Nothing is ever written outside the Skins folder, whatever links lead
    // where.
    const QString root = m_fs.canonicalPath(r.skinsFolder);
    for (int i = 0; i < kFileCount; ++i) {
        const QString resolved = m_fs.canonicalPath(r.staged(i));
        if (!inside(resolved, root) || m_fs.kind(r.staged(i)) != FileSystem::Kind::File)
            return abandoned(Status::failure(
                QStringLiteral("Cannot write %1: the file would not land inside the Skins folder %2 (%3).")
                    .arg(native(r.target(i)), native(r.skinsFolder),
                         resolved.isEmpty() ? QStringLiteral("it could not be found again")
                                            : QStringLiteral("it went to %1").arg(native(resolved)))));
    }

    // The staged files to the disk, in one pass now that all are written.
    for (int i = 0; i < kFileCount; ++i) {
        if (Status s = m_fs.flushFile(r.staged(i)); !s)
            return abandoned(s.reworded(QString(s.message()).replace(native(r.staged(i)), native(r.target(i)))));
    }

    // What undoing and any later run need: each file the export wrote and
    // each earlier one as they are now, and a second name for the earlier
    // ones.
    for (int i = 0; i < kFileCount; ++i) {
        r.fresh[i] = identify(m_fs, r.staged(i));
        if (!r.fresh[i].known())
            return abandoned(Status::failure(
                QStringLiteral("Cannot write %1: the staged file cannot be read back.").arg(native(r.target(i)))));
        r.earlier[i] = identify(m_fs, r.target(i));
        if (!r.earlier[i].known() && m_fs.kind(r.target(i)) != FileSystem::Kind::None)
            return abandoned(Status::failure(
                QStringLiteral("Cannot replace %1: it cannot be read, or is larger than any file of a skin, so it "
                               "could not be put back should the export fail.")
                    .arg(native(r.target(i)))));
        if (r.earlier[i].known())
            if (Status s = m_fs.keepCopy(r.target(i), r.kept(i)); !s)
                return abandoned(s);
    }

    // From here on an interruption is undone, or finished, by the next run.
    r.state = ExportRecord::State::Committing;
    if (Status s = m_fs.writeFile(r.path(), r.text()); !s)
        return abandoned(s);
    for (const QString &folder : {r.folder, r.skinsFolder}) {
        if (Status s = m_fs.flushFolder(folder); !s)
            return undone(s);
        if (r.folder == r.skinsFolder)
            break;
    }

    for (int i = 0; i < kFileCount; ++i) {
        if (Status s = m_fs.replace(r.staged(i), r.target(i)); !s) {
            const QString lead =
                QStringLiteral("Cannot put %1 in the place of %2: ").arg(native(r.staged(i)), native(r.target(i)));
            return undone(
                s.reworded(QStringLiteral("Cannot write %1: %2.").arg(native(r.target(i)), reasonIn(s, lead))));
        }
    }
    if (Status s = m_fs.flushFolder(r.folder); !s)
        return undone(s);
    m_placed = true;

    if (const QStringList problems = finish(m_fs, r); !problems.isEmpty())
        return joined(QStringLiteral("The skin \"%1\" was exported, but cleaning up after it failed:").arg(r.name),
                      problems);
    return Status::success();
}

} // namespace velloran
