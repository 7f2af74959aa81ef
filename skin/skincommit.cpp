#include "skin/skincommit.h"

#include "imaging/filesystem.h"
#include "skin/skinexport.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <optional>

namespace velloran {

namespace {

const QString kRecordName = QStringLiteral(".velloran-export");
const QString kLockName = QStringLiteral(".velloran-lock");
const QByteArray kRecordHeading = "Velloran export record 1";
constexpr qint64 kMaxRecordBytes = 64 * 1024;
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

Status joined(const QString &first, const QStringList &more, int code = 0)
{
    QStringList parts{first};
    parts << more;
    parts.removeAll(QString());
    return Status::failure(parts.join(QLatin1Char(' ')), code);
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
    std::array<bool, kFileCount> earlier{}; // an earlier file stood at the target

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
        QByteArray flags;
        for (bool e : earlier)
            flags += e ? '1' : '0';
        return kRecordHeading + '\n' + "state " + (state == State::Staging ? "staging" : "committing") + '\n'
               + "skin " + name.toUtf8() + '\n' + "stem " + stem.toLatin1() + '\n' + "earlier " + flags + '\n';
    }

    // The record in `bytes`, when it is one this program wrote for a skin
    // name that it would accept: nothing in it can lead outside the folder.
    static std::optional<ExportRecord> parse(const QString &skinsFolder, const QByteArray &bytes)
    {
        const QList<QByteArray> lines = bytes.split('\n');
        if (lines.size() != 6 || lines[0] != kRecordHeading || !lines[5].isEmpty())
            return std::nullopt;
        auto value = [&](int line, const char *key) -> std::optional<QByteArray> {
            const QByteArray lead = QByteArray(key) + ' ';
            if (!lines[line].startsWith(lead))
                return std::nullopt;
            return lines[line].mid(lead.size());
        };
        const auto state = value(1, "state");
        const auto name = value(2, "skin");
        const auto stem = value(3, "stem");
        const auto earlier = value(4, "earlier");
        if (!state || !name || !stem || !earlier)
            return std::nullopt;
        static const QRegularExpression stemPattern(QStringLiteral("^\\.velloran-[0-9a-f]{8}$"));
        static const QRegularExpression flagsPattern(QStringLiteral("^[01]{5}$"));
        const QString skin = QString::fromUtf8(*name);
        if ((*state != "staging" && *state != "committing") || !checkSkinNameForFiles(skin)
            || !stemPattern.match(QString::fromLatin1(*stem)).hasMatch()
            || !flagsPattern.match(QString::fromLatin1(*earlier)).hasMatch())
            return std::nullopt;
        ExportRecord r = make(skinsFolder, skin, QString::fromLatin1(*stem));
        r.state = *state == "staging" ? State::Staging : State::Committing;
        for (int i = 0; i < kFileCount; ++i)
            r.earlier[i] = earlier->at(i) == '1';
        return r;
    }
};

namespace {

// Removes every file of the export's stem from its folder (staged files,
// second names of earlier files, half-written files) and returns a sentence
// for each that could not be removed.
QStringList removeLeftovers(FileSystem &fs, const ExportRecord &record)
{
    QStringList problems;
    for (const QString &name : fs.entries(record.folder, record.stem)) {
        const QString path = record.folder + name;
        if (fs.kind(path) == FileSystem::Kind::Folder)
            continue;
        if (Status s = fs.remove(path); !s)
            problems << QStringLiteral("The leftover %1 could not be removed: %2; the next export into this "
                                       "Skins folder removes it.")
                            .arg(native(path), reasonIn(s, QStringLiteral("Cannot remove %1: ").arg(native(path))));
    }
    return problems;
}

// Removes the leftovers and the record: the end of every export, whichever
// way it went.
QStringList finish(FileSystem &fs, const ExportRecord &record)
{
    QStringList problems = removeLeftovers(fs, record);
    if (!problems.isEmpty())
        return problems; // the record keeps them known to the next run
    if (Status s = fs.remove(record.path()); !s && fs.exists(record.path()))
        problems << QStringLiteral("The record %1 could not be removed: %2; the next export into this Skins "
                                   "folder removes it.")
                        .arg(native(record.path()),
                             reasonIn(s, QStringLiteral("Cannot remove %1: ").arg(native(record.path()))));
    return problems;
}

bool anyStaged(FileSystem &fs, const ExportRecord &record)
{
    for (int i = 0; i < kFileCount; ++i)
        if (fs.exists(record.staged(i)))
            return true;
    return false;
}

// Makes the skin's files what they were before the commit began: each
// earlier file back from its second name, each file that the commit added
// removed. Safe to repeat after a crash at any point inside it: a second
// name that is gone has been put back already, and a staged file that is
// gone has replaced its target. The staged files go only once every target
// is back, so that a record whose staged files are all gone always means a
// finished commit.
QStringList undo(FileSystem &fs, const ExportRecord &record)
{
    QStringList problems;
    for (int i = 0; i < kFileCount; ++i) {
        const QString target = record.target(i);
        if (record.earlier[i]) {
            const QString kept = record.kept(i);
            if (!fs.exists(kept))
                continue;
            if (Status s = fs.replace(kept, target); !s)
                problems << s.message()
                                + QStringLiteral(" The earlier %1 could not be put back; it is kept as %2.")
                                      .arg(native(target), native(kept));
        } else if (!fs.exists(record.staged(i)) && fs.exists(target)) {
            if (Status s = fs.remove(target); !s)
                problems << s.message() + QStringLiteral(" The new %1 could not be removed.").arg(native(target));
        }
    }
    if (!problems.isEmpty())
        return problems;
    if (Status s = fs.flushFolder(record.folder); !s)
        return {s.message()};
    return finish(fs, record);
}

bool anyEarlier(const ExportRecord &record)
{
    return std::find(record.earlier.begin(), record.earlier.end(), true) != record.earlier.end();
}

// What undoing brought back, for the user.
QString undoneText(const ExportRecord &record)
{
    return anyEarlier(record)
               ? QStringLiteral("the earlier files of the skin \"%1\" are back as they were.").arg(record.name)
               : QStringLiteral("the files of the unfinished skin \"%1\" were removed.").arg(record.name);
}

QString recoveryTail()
{
    return QStringLiteral("Velloran tries again at the next export into this Skins folder or at its next start.");
}

} // namespace

Status recoverInterruptedExport(FileSystem &fs, const QString &skinsFolder, QString *report)
{
    if (report)
        report->clear();
    // A record that was being written when the program stopped holds
    // nothing yet; the record itself is in place or not at all.
    for (const QString &name : fs.entries(skinsFolder, kRecordName + QStringLiteral(".~")))
        (void)fs.remove(skinsFolder + name);

    const QString path = skinsFolder + kRecordName;
    switch (fs.kind(path)) {
    case FileSystem::Kind::None:
        return Status::success();
    case FileSystem::Kind::File:
        break;
    default:
        return Status::failure(QStringLiteral("Something other than a file stands at %1, where Velloran keeps the "
                                              "record of an export in progress; remove it, then export again.")
                                   .arg(native(path)));
    }
    QByteArray bytes;
    if (Status s = fs.readFile(path, kMaxRecordBytes, &bytes); !s)
        return joined(s.message(), {QStringLiteral("It is the record of an interrupted export, which must be "
                                                   "finished before another one.")},
                      s.code());

    const std::optional<ExportRecord> record = ExportRecord::parse(skinsFolder, bytes);
    if (!record) {
        // Not a record this program would write: nothing in it is followed.
        if (Status s = fs.remove(path); !s)
            return s;
        if (report)
            *report = QStringLiteral("The unreadable record %1 of an earlier export was removed; no skin was "
                                     "changed.")
                          .arg(native(path));
        return Status::success();
    }
    if (fs.kind(record->folder) == FileSystem::Kind::None) {
        // The folder went, and every file the export wrote with it.
        if (Status s = fs.remove(path); !s)
            return s;
        if (report)
            *report = QStringLiteral("An interrupted export of the skin \"%1\" went into the folder %2, which is "
                                     "gone; its record was removed.")
                          .arg(record->name, native(record->folder));
        return Status::success();
    }
    const QString root = fs.canonicalPath(skinsFolder);
    if (!inside(fs.canonicalPath(record->folder), root))
        return Status::failure(QStringLiteral("An interrupted export of the skin \"%1\" went into the folder %2, "
                                              "which no longer leads to a folder inside the Skins folder; put it "
                                              "back, or remove %3.")
                                   .arg(record->name, native(record->folder), native(path)));

    const QString about = QStringLiteral("An export of the skin \"%1\" into %2 was interrupted")
                              .arg(record->name, native(skinsFolder));
    QString done;
    QStringList problems;
    if (record->state == ExportRecord::State::Staging) {
        problems = finish(fs, *record);
        done = about + QStringLiteral(" before any of its files replaced the skin's; what it had written was "
                                      "removed.");
    } else if (!anyStaged(fs, *record)) {
        problems = finish(fs, *record);
        done = QStringLiteral("An export of the skin \"%1\" into %2 had put all its files in place but had not "
                              "finished; the new skin stays, and what the export left behind was removed.")
                   .arg(record->name, native(skinsFolder));
    } else {
        problems = undo(fs, *record);
        done = about + QStringLiteral(" before all its files were in place, and was undone: ") + undoneText(*record);
    }
    if (!problems.isEmpty())
        return joined(about + QStringLiteral(", and finishing it failed:"), problems << recoveryTail());
    if (report)
        *report = done;
    return Status::success();
}

SkinsFolderLock::SkinsFolderLock(const QString &path)
    : m_file(path)
{
    // A lock whose holder has died is taken over at once (the holder's
    // process is checked); a live holder keeps it however long it takes.
    m_file.setStaleLockTime(0);
}

Status SkinsFolderLock::take(const QString &skinsFolder, const QString &firstFile,
                             std::unique_ptr<SkinsFolderLock> *lock, int waitMilliseconds)
{
    const QString path = skinsFolder + kLockName;
    if (const QFileInfo info(path); info.isSymbolicLink() || (info.exists() && !info.isFile()))
        return Status::failure(QStringLiteral("Cannot write %1: something other than a file stands at %2, where "
                                              "Velloran keeps the lock of the Skins folder; remove it.")
                                   .arg(native(firstFile), native(path)));
    std::unique_ptr<SkinsFolderLock> held(new SkinsFolderLock(path));
    if (held->m_file.tryLock(waitMilliseconds)) {
        *lock = std::move(held);
        return Status::success();
    }
    switch (held->m_file.error()) {
    case QLockFile::LockFailedError:
        return Status::failure(QStringLiteral("Another export into the Skins folder %1 is still running (waited %2 "
                                              "seconds); try again when it has finished.")
                                   .arg(native(skinsFolder))
                                   .arg(waitMilliseconds / 1000));
    case QLockFile::PermissionError:
        return Status::failure(QStringLiteral("Cannot write %1: Permission denied (this user may not create files "
                                              "in the Skins folder %2).")
                                   .arg(native(firstFile), native(skinsFolder)));
    default:
        return Status::failure(QStringLiteral("Cannot write %1: the lock file %2 cannot be created (is the disk "
                                              "full or read-only?).")
                                   .arg(native(firstFile), native(skinsFolder + kLockName)));
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
    m_record->state = ExportRecord::State::Staging;
    return m_fs.writeFile(m_record->path(), m_record->text());
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
    const ExportRecord &r = *m_record;
    auto abandoned = [&](const Status &failure) { return joined(failure.message(), {abandon()}, failure.code()); };
    // Undoes what the commit did so far, after `failure`, and says so.
    auto undone = [&](const Status &failure) {
        const QStringList problems = undo(m_fs, r);
        if (problems.isEmpty())
            return joined(failure.message(), {QStringLiteral("The export was undone: ") + undoneText(r)},
                          failure.code());
        return joined(failure.message(), QStringList{QStringLiteral("Undoing the export failed too:")} << problems
                                                                                                      << recoveryTail(),
                      failure.code());
    };

    // Nothing is ever written outside the Skins folder, whatever links lead
    // where.
    const QString root = m_fs.canonicalPath(r.skinsFolder);
    for (int i = 0; i < kFileCount; ++i) {
        const QString resolved = m_fs.canonicalPath(r.staged(i));
        if (!inside(resolved, root) || m_fs.kind(r.staged(i)) != FileSystem::Kind::File)
            return abandoned(Status::failure(
                QStringLiteral("Cannot write %1: the file would not land inside the Skins folder %2 (it went to %3).")
                    .arg(native(r.target(i)), native(r.skinsFolder), native(resolved))));
    }

    // What undoing needs: a second name for each earlier file, as the
    // targets stand now.
    for (int i = 0; i < kFileCount; ++i)
        m_record->earlier[i] = m_fs.kind(r.target(i)) == FileSystem::Kind::File;
    for (int i = 0; i < kFileCount; ++i)
        if (r.earlier[i])
            if (Status s = m_fs.keepCopy(r.target(i), r.kept(i)); !s)
                return abandoned(s);

    // From here on an interruption is undone, or finished, by the next run.
    m_record->state = ExportRecord::State::Committing;
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
            return undone(Status::failure(
                QStringLiteral("Cannot write %1: %2.").arg(native(r.target(i)), reasonIn(s, lead)), s.code()));
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
