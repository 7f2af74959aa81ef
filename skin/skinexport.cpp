#include "skin/skinexport.h"

#include "imaging/filesystem.h"
#include "imaging/imagesurface.h"
#include "skin/windows1252.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <vector>

namespace velloran {

namespace {

// Characters a Windows file name cannot hold; '\' and '/' are allowed in a
// skin name because they lead into an existing sub-folder of Skins.
const QString kForbiddenCharacters = QStringLiteral("<>:\"|?*");

// The longest suffix appended to the skin name to form a file name.
const QString kLongestSuffix = QStringLiteral("Console.bmp");
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
    return QStringLiteral("the character %1").arg(c);
}

// A file staged under a temporary name beside its target.
struct StagedFile
{
    QString temporary;
    QString target;
    QString backup;       // where an existing target was moved aside, if any
    bool placed = false;  // the temporary file has been renamed to the target
};

// A failure while writing a staged file, told in terms of its target.
Status aboutTarget(const Status &failure, const StagedFile &file)
{
    return Status::failure(QString(failure.message()).replace(native(file.temporary), native(file.target)),
                           failure.code());
}

// Removes what staging and committing left behind and puts moved-aside
// targets back. Goes on past failures (the first failure has already been
// reported) and returns a sentence for each file it could not restore or
// remove, so that the user learns where things are.
QString rollBack(FileSystem &fs, std::vector<StagedFile> &files)
{
    QStringList notes;
    for (StagedFile &f : files) {
        if (f.placed) {
            if (fs.remove(f.target))
                f.placed = false;
        } else if (fs.exists(f.temporary) && !fs.remove(f.temporary)) {
            notes << QStringLiteral("The temporary file %1 could not be removed.").arg(native(f.temporary));
        }
        if (!f.backup.isEmpty()) {
            if (!f.placed && fs.rename(f.backup, f.target))
                f.backup.clear();
            else
                notes << QStringLiteral("The earlier %1 could not be put back; it is kept as %2.")
                             .arg(native(f.target), native(f.backup));
        } else if (f.placed) {
            notes << QStringLiteral("The new %1 could not be removed.").arg(native(f.target));
        }
    }
    return notes.join(QLatin1Char(' '));
}

// The failure, followed by what the rollback could not undo.
Status failedWith(const Status &failure, const QString &notes)
{
    if (notes.isEmpty())
        return failure;
    return Status::failure(failure.message() + QLatin1Char(' ') + notes, failure.code());
}

// Moves every existing target aside, renames each staged file into place and
// drops the moved-aside copies; on any failure everything is put back.
Status commit(FileSystem &fs, std::vector<StagedFile> &files, const QString &stem)
{
    for (std::size_t i = 0; i < files.size(); ++i) {
        StagedFile &f = files[i];
        if (!fs.exists(f.target))
            continue;
        const QString backup = stem + QStringLiteral("-%1.old").arg(i);
        if (Status s = fs.rename(f.target, backup); !s)
            return failedWith(s, rollBack(fs, files));
        f.backup = backup;
    }
    for (StagedFile &f : files) {
        if (Status s = fs.rename(f.temporary, f.target); !s)
            return failedWith(s, rollBack(fs, files));
        f.placed = true;
    }
    for (StagedFile &f : files)
        if (!f.backup.isEmpty())
            (void)fs.remove(f.backup);
    return Status::success();
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
    return {base + QStringLiteral("Main.bmp"), base + QStringLiteral("Scene.bmp"),
            base + QStringLiteral("Chat.bmp"), base + QStringLiteral("Console.bmp"),
            base + QStringLiteral(".skn")};
}

Status checkSkinName(const QString &name)
{
    if (name.isEmpty())
        return Status::failure(kEnterSkinName);
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || kForbiddenCharacters.contains(c))
            return Status::failure(
                QStringLiteral("The skin name cannot contain %1: file names cannot hold it.")
                    .arg(describe(c)));
    }
    if (!toWindows1252(name))
        return Status::failure(QStringLiteral(
            "The skin name \"%1\" has characters that the skin description file cannot hold; "
            "use letters, digits and punctuation of Western European languages.")
                                   .arg(name));

    const QStringList parts = name.split(QRegularExpression(QStringLiteral("[\\\\/]")));
    if (parts.first().isEmpty() && parts.size() > 1)
        return Status::failure(QStringLiteral(
            "The skin name cannot begin with \\ or /: the skin must stay inside the Skins folder."));
    if (parts.contains(QStringLiteral("..")))
        return Status::failure(QStringLiteral(
            "The skin name cannot contain \"..\": the skin must stay inside the Skins folder."));
    const QString last = parts.last();
    if (last.isEmpty())
        return Status::failure(QStringLiteral(
            "The skin name cannot end with \\ or /: the files need a name after the folder."));
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        // Windows drops these from a folder name, so another folder than the
        // one typed would be used.
        const QString &folder = parts[i];
        if (folder.endsWith(QLatin1Char('.')) || folder.endsWith(QLatin1Char(' ')))
            return Status::failure(QStringLiteral(
                "The folder \"%1\" in the skin name cannot end with a dot or a space.").arg(folder));
    }
    for (const QString &part : parts)
        if (isDeviceName(part))
            return Status::failure(
                QStringLiteral("\"%1\" is a device name on Windows and cannot name a skin.").arg(part));
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QString fileName = i + 1 < parts.size() ? parts[i] : last + kLongestSuffix;
        if (fileName.toUtf8().size() > kMaxFileNameBytes)
            return Status::failure(QStringLiteral("The skin name is too long for a file name."));
    }
    return Status::success();
}

QByteArray buildSkinDescription(const QByteArray &name, const QByteArray &templateText)
{
    // Each line is put in front of the text built so far, so they end up in
    // the reverse of the order they are added in.
    const QByteArray crlf("\r\n");
    QByteArray text = templateText;
    text.prepend("Skin=" + name + ".bmp" + crlf);
    text.prepend("MainWindowImage=" + name + "Main.bmp" + crlf);
    text.prepend("ChatWindowImage=" + name + "Chat.bmp" + crlf);
    text.prepend("SceneWindowImage=" + name + "Scene.bmp" + crlf);
    text.prepend("ConsoleBorderImage=" + name + "Console.bmp" + crlf);
    return text + crlf;
}

Status exportSkin(const QString &name, const QString &hostDataFolder, const QString &templatePath,
                  const WindowImageSurfaces &surfaces, FileSystem &fs, QStringList *written)
{
    // Everything that can be known before writing is checked first.
    if (Status s = checkSkinName(name); !s)
        return s;
    const QString skinsFolder = QDir::fromNativeSeparators(skinsFolderPath(hostDataFolder));
    if (!fs.isDirectory(skinsFolder)) {
        // (The path ends with a separator, which a file's path does not.)
        if (fs.exists(skinsFolder.chopped(1)))
            return Status::failure(QStringLiteral("The Skins folder %1 is a file, not a folder.")
                                       .arg(native(skinsFolder.chopped(1))));
        return Status::failure(
            QStringLiteral("The Skins folder %1 does not exist.").arg(native(skinsFolder)));
    }
    const SkinFiles files = skinFiles(skinsFolder, name);
    const QString folder = files.main.left(files.main.lastIndexOf(QLatin1Char('/')) + 1);
    if (!fs.isDirectory(folder))
        return Status::failure(QStringLiteral("The folder %1 does not exist inside the Skins folder.")
                                   .arg(native(folder)));

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
    const QByteArray templateText = templateFile.read(kMaxTemplateBytes + 1);
    if (templateFile.error() != QFileDevice::NoError)
        return Status::failure(QStringLiteral("Cannot read the skin description template %1: %2.")
                                   .arg(native(templatePath), templateFile.errorString()),
                               int(templateFile.error()));
    if (templateText.size() > kMaxTemplateBytes)
        return Status::failure(QStringLiteral("The skin description template %1 is too large "
                                              "(more than %2 MiB).")
                                   .arg(native(templatePath))
                                   .arg(kMaxTemplateBytes >> 20));

    ImageSurface *const images[] = {surfaces.main, surfaces.scene, surfaces.chat, surfaces.console};
    for (ImageSurface *surface : images)
        if (surface->isEmpty())
            return Status::failure(QStringLiteral(
                "There are no window images to save yet: load a picture first."));
    for (const QString &target : files.all())
        if (fs.isDirectory(target))
            return Status::failure(QStringLiteral("Cannot write %1: a folder of that name is in the way.")
                                       .arg(native(target)));

    const QByteArray description = buildSkinDescription(*toWindows1252(name), templateText);

    // Stage all five files beside their targets.
    const QString stem = folder + QStringLiteral(".velloran-%1")
                                      .arg(QRandomGenerator::global()->generate(), 8, 16,
                                           QLatin1Char('0'));
    std::vector<StagedFile> staged;
    const QStringList targets = files.all();
    for (int i = 0; i < targets.size(); ++i)
        staged.push_back({stem + QStringLiteral("-%1.tmp").arg(i), targets[i], {}, false});

    for (int i = 0; i < 4; ++i) {
        images[i]->SetSavePath(staged[i].temporary);
        const Status s = images[i]->SaveImage();
        images[i]->SetSavePath(staged[i].target);
        if (!s)
            return failedWith(aboutTarget(s, staged[i]), rollBack(fs, staged));
    }
    if (Status s = fs.writeFile(staged[4].temporary, description); !s)
        return failedWith(aboutTarget(s, staged[4]), rollBack(fs, staged));

    if (Status s = commit(fs, staged, stem); !s)
        return s;

    if (written) {
        written->clear();
        for (const QString &target : targets)
            written->append(native(target));
    }
    return Status::success();
}

} // namespace velloran
