#include "skin/skinexport.h"

#include "imaging/filesystem.h"
#include "imaging/imagefile.h"
#include "skin/skincommit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <memory>

namespace velloran {

namespace {

// Characters a Windows file name cannot hold; '\' and '/' are allowed in a
// skin name because they lead into an existing sub-folder of Skins.
const QString kForbiddenCharacters = QStringLiteral("<>:\"|?*");

constexpr int kMaxFileNameBytes = 255;
constexpr qint64 kMaxTemplateBytes = 16 * 1024 * 1024;

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// Windows opens a device for these names, whatever extension follows; the
// superscript digits of the code page count as digits here.
bool isDeviceName(const QString &component)
{
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|CONIN\\$|CONOUT\\$|COM[0-9\u00b9\u00b2\u00b3]|LPT[0-9\u00b9\u00b2\u00b3])$"),
        QRegularExpression::CaseInsensitiveOption);
    QString base = component.section(QLatin1Char('.'), 0, 0);
    while (base.endsWith(QLatin1Char(' ')))
        base.chop(1);
    return device.match(base).hasMatch();
}

QString describe(QChar c)
{
    if (c.unicode() < 0x20)
        return QStringLiteral("a control character (code %1)").arg(c.unicode());
    if (c == QLatin1Char('"'))
        return QStringLiteral("a double quote (\")");
    return QStringLiteral("the character \"%1\"").arg(c);
}

// The failure of writing a staged file, told in terms of its target.
Status aboutTarget(const Status &failure, const QString &staged, const QString &target)
{
    return failure.reworded(QString(failure.message()).replace(native(staged), native(target)));
}

// The failure, followed by what cleaning up could not undo.
Status failedWith(const Status &failure, const QString &notes)
{
    if (notes.isEmpty())
        return failure;
    return failure.reworded(failure.message() + QLatin1Char(' ') + notes);
}

// A folder path for the user: native separators, no doubled ones.
QString folderForUser(const QString &folder)
{
    return native(QDir::cleanPath(folder) + QLatin1Char('/'));
}

// Refuses what stands at a target and cannot be replaced by a plain file
// without harm: a folder, a link (writing through it could reach anything)
// or a device, pipe or socket.
Status checkTarget(const FileSystem &fs, const QString &target)
{
    switch (fs.kind(target)) {
    case FileSystem::Kind::None:
    case FileSystem::Kind::File:
        return Status::success();
    case FileSystem::Kind::Folder:
        return Status::failure(QStringLiteral("Cannot write %1: a folder of that name is in the way.").arg(native(target)));
    case FileSystem::Kind::Link:
        return Status::failure(QStringLiteral("Cannot write %1: a link of that name is in the way; remove it or "
                                              "choose another name.")
                                   .arg(native(target)));
    case FileSystem::Kind::Other:
        break;
    }
    return Status::failure(QStringLiteral("Cannot write %1: something that is not a file (a device, a pipe or a "
                                          "socket) is in the way.")
                               .arg(native(target)));
}

// Whether the skins folder holds a folder of its own at its path, telling
// the user what it is otherwise.
Status checkSkinsFolder(const FileSystem &fs, const QString &skinsFolder)
{
    if (fs.isDirectory(skinsFolder))
        return Status::success();
    // (The path ends with a separator, which a file's path does not.)
    if (fs.exists(skinsFolder.chopped(1)))
        return Status::failure(QStringLiteral("The Skins folder %1 is a file, not a folder.")
                                   .arg(native(skinsFolder.chopped(1))));
    return Status::failure(QStringLiteral("The Skins folder %1 does not exist.").arg(native(skinsFolder)));
}

} // namespace

QString skinsFolderPath(const QString &hostDataFolder)
{
    return hostDataFolder + QStringLiteral("Skins") + QDir::separator();
}

SkinFiles skinFiles(const QString &skinsFolder, const QString &name)
{
    QString base = QDir::fromNativeSeparators(skinsFolder);
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    base += QString(name).replace(QLatin1Char('\\'), QLatin1Char('/'));
    SkinFiles files;
    for (const HostWindowInfo &w : kHostWindows)
        files.images[indexOf(w.window)] = base + w.fileSuffix + QLatin1StringView(".bmp");
    files.description = base + QLatin1StringView(".skn");
    return files;
}

QStringList SkinFiles::all() const
{
    QStringList paths;
    for (HostWindow w : kSaveOrder)
        paths.append(image(w));
    paths.append(description);
    return paths;
}

namespace {

// The checks of a skin name; the code page's only when one is given.
Status checkName(const QString &name, const CodePage *codePage)
{
    if (name.isEmpty())
        return Status::failure(ErrorKind::EmptyName, kEnterSkinName);
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || kForbiddenCharacters.contains(c))
            return Status::failure(ErrorKind::InvalidName,
                QStringLiteral("The skin name cannot contain %1: file names cannot hold it.")
                    .arg(describe(c)));
    }
    if (codePage && !codePage->encode(name))
        return Status::failure(ErrorKind::InvalidName, QStringLiteral("The skin name \"%1\" has characters that the skin description "
                                              "file cannot hold: it is written in this system's code page, %2.")
                                   .arg(name, codePage->name()));

    const QStringList parts = name.split(QRegularExpression(QStringLiteral("[\\\\/]")));
    if (parts.first().isEmpty() && parts.size() > 1)
        return Status::failure(ErrorKind::InvalidName, QStringLiteral(
            "The skin name cannot begin with \\ or /: the skin must stay inside the Skins folder."));
    if (parts.contains(QStringLiteral("..")))
        return Status::failure(ErrorKind::InvalidName, QStringLiteral(
            "The skin name cannot contain \"..\": the skin must stay inside the Skins folder."));
    if (parts.first(parts.size() - 1).contains(QStringLiteral(".")))
        return Status::failure(ErrorKind::InvalidName, QStringLiteral(
            "The skin name cannot have \".\" as a folder: it names no folder of its own; leave it out."));
    const QString last = parts.last();
    if (last.isEmpty())
        return Status::failure(ErrorKind::InvalidName, QStringLiteral(
            "The skin name cannot end with \\ or /: the files need a name after the folder."));
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        // Windows drops these from a folder name, so another folder than the
        // one typed would be used.
        const QString &folder = parts[i];
        if (folder.endsWith(QLatin1Char('.')) || folder.endsWith(QLatin1Char(' ')))
            return Status::failure(ErrorKind::InvalidName, QStringLiteral(
                "The folder \"%1\" in the skin name cannot end with a dot or a space.").arg(folder));
    }
    for (const QString &part : parts)
        if (isDeviceName(part))
            return Status::failure(ErrorKind::InvalidName,
                QStringLiteral("\"%1\" is a device name on Windows and cannot name a skin.").arg(part));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString fileName = i + 1 < parts.size() ? parts[i] : last + kLongestFileSuffix;
        if (fileName.toUtf8().size() > kMaxFileNameBytes)
            return Status::failure(ErrorKind::InvalidName, QStringLiteral("The skin name is too long for a file name."));
    }
    return Status::success();
}

} // namespace

Status checkSkinName(const QString &name, const CodePage &codePage)
{
    return checkName(name, &codePage);
}

Status checkSkinNameForFiles(const QString &name)
{
    return checkName(name, nullptr);
}

QByteArray buildSkinDescription(const QByteArray &name, const QByteArray &templateText)
{
    const QByteArray crlf("\r\n");
    QByteArray text;
    for (HostWindow w : kDescriptionOrder) {
        const HostWindowInfo &info = hostWindow(w);
        text += QByteArrayView(info.descriptionKey) + '=' + name + QByteArrayView(info.fileSuffix) + ".bmp" + crlf;
    }
    text += "Skin=" + name + ".bmp" + crlf;
    return text + templateText + crlf;
}

Status exportSkin(const QString &name, const QString &hostDataFolder, const QString &templatePath,
                  const WindowImages &images, FileSystem &fs, ExportReport *report,
                  const CodePage &codePage)
{
    ExportReport ignored;
    ExportReport &out = report ? *report : ignored;
    out = {};

    // Everything that can be known before writing is checked first.
    if (Status s = checkSkinName(name, codePage); !s)
        return s;
    const QString skinsFolder = QDir::fromNativeSeparators(skinsFolderPath(hostDataFolder));
    if (Status s = checkSkinsFolder(fs, skinsFolder); !s)
        return s;
    const SkinFiles files = skinFiles(skinsFolder, name);
    const QString &firstFile = files.image(kSaveOrder.front());
    const QString folder = firstFile.left(firstFile.lastIndexOf(QLatin1Char('/')) + 1);

    // A folder, a pipe or a device as the template would fail to open, block
    // or never end; only a plain file is read, and never more than the limit.
    const QFileInfo templateInfo(templatePath);
    if (templateInfo.exists() && !templateInfo.isFile())
        return Status::failure(QStringLiteral("Cannot read the skin description template %1: %2.")
                                   .arg(native(templatePath),
                                        templateInfo.isDir() ? QStringLiteral("it is a folder, not a file")
                                                             : QStringLiteral("it is not a plain file")));
    QFile templateFile(templatePath);
    if (!templateFile.open(QIODevice::ReadOnly))
        return Status::failure(QStringLiteral("Cannot read the skin description template %1: %2.")
                                   .arg(native(templatePath), templateFile.errorString()),
                               int(templateFile.error()));
    const QByteArray templateText = readAtMost(templateFile, kMaxTemplateBytes);
    if (templateFile.error() != QFileDevice::NoError)
        return Status::failure(QStringLiteral("Cannot read the skin description template %1: %2.")
                                   .arg(native(templatePath), templateFile.errorString()),
                               int(templateFile.error()));
    if (templateText.size() > kMaxTemplateBytes)
        return Status::failure(QStringLiteral("The skin description template %1 is too large "
                                              "(more than %2 MiB).")
                                   .arg(native(templatePath))
                                   .arg(kMaxTemplateBytes >> 20));

    for (const QImage &image : images)
        if (image.isNull())
            return Status::failure(QStringLiteral(
                "There are no window images to save yet: load a picture first."));
    const QByteArray description = buildSkinDescription(*codePage.encode(name), templateText);

    // One export at a time into this Skins folder, and none before an
    // interrupted one is finished.
    std::unique_ptr<SkinsFolderLock> lock;
    if (Status s = SkinsFolderLock::take(skinsFolder, firstFile, &lock); !s)
        return s;
    if (Status s = recoverInterruptedExport(fs, skinsFolder, &out.recovered); !s)
        return s.reworded(s.message() + QStringLiteral(" The skin was not exported."));

    if (!fs.isDirectory(folder))
        return Status::failure(QStringLiteral("The folder %1 does not exist inside the Skins folder.")
                                   .arg(folderForUser(folder)));
    // Checked again before every file is written: a sub-folder could be
    // swapped for a link meanwhile.
    const auto folderInside = [&]() -> Status {
        const QString resolvedFolder = fs.canonicalPath(folder);
        const QString resolvedSkins = fs.canonicalPath(skinsFolder);
        if (resolvedFolder != resolvedSkins && !resolvedFolder.startsWith(resolvedSkins + QLatin1Char('/')))
            return Status::failure(QStringLiteral("The folder %1 leads outside the Skins folder (to %2); the skin "
                                                  "must stay inside it.")
                                       .arg(folderForUser(folder), native(resolvedFolder)));
        return Status::success();
    };
    if (Status s = folderInside(); !s)
        return s;
    for (const QString &target : files.all())
        if (Status s = checkTarget(fs, target); !s)
            return s;

    // Stage all five files beside their targets, then put them in place.
    SkinCommit commit(fs, skinsFolder, name);
    if (Status s = commit.begin(); !s)
        return failedWith(s, commit.abandon());
    const QStringList targets = files.all();
    // One buffer for the four bitmaps, the largest (the main window's) first.
    QByteArray bitmap;
    for (int i = 0; i < int(kSaveOrder.size()); ++i) {
        if (Status s = folderInside(); !s)
            return failedWith(s, commit.abandon());
        if (!encodeBmp24(images[indexOf(kSaveOrder[i])], &bitmap))
            return failedWith(Status::failure(QStringLiteral("Cannot save %1: the picture cannot be encoded.")
                                                  .arg(native(targets[i]))),
                              commit.abandon());
        // Flushed together with the others once all are written.
        if (Status s = fs.writeFile(commit.staged(i), bitmap, FileSystem::Flush::Later); !s)
            return failedWith(aboutTarget(s, commit.staged(i), targets[i]), commit.abandon());
    }
    if (Status s = folderInside(); !s)
        return failedWith(s, commit.abandon());
    if (Status s = fs.writeFile(commit.staged(4), description, FileSystem::Flush::Later); !s)
        return failedWith(aboutTarget(s, commit.staged(4), targets[4]), commit.abandon());

    const Status committed = commit.commit();
    out.exported = commit.placed();
    if (out.exported)
        for (const QString &target : targets)
            out.written.append(native(target));
    return committed;
}

Status recoverSkinsFolder(const QString &hostDataFolder, FileSystem &fs, QString *report, int waitMilliseconds)
{
    report->clear();
    const QString skinsFolder = QDir::fromNativeSeparators(skinsFolderPath(hostDataFolder));
    if (!fs.isDirectory(skinsFolder))
        return Status::success();
    std::unique_ptr<SkinsFolderLock> lock;
    if (!SkinsFolderLock::take(skinsFolder, skinsFolder, &lock, waitMilliseconds))
        return Status::success(); // whoever holds the lock finishes the job first
    return recoverInterruptedExport(fs, skinsFolder, report);
}

} // namespace velloran
