// Writing a skin: the description file's bytes, the checks made before
// anything is written, and that a failure at any step leaves the Skins
// folder exactly as it was.
#include "imaging/filesystem.h"
#include "skin/skinbuilder.h"
#include "skin/skinexport.h"
#include "skin/windows1252.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

using namespace velloran;

namespace {

const QByteArray kTemplate = "[Colours]\r\nText=255,255,255\r\n\r\n[Layout]\r\nMenuLeft=635";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The real file system, with chosen writes, renames or removals made to fail.
class FaultyFileSystem final : public FileSystem
{
public:
    int failWrite = -1;  // index of the writeFile call that fails
    int failRename = -1; // index of the rename call that fails
    QList<int> alsoFailRenames; // indices of further rename calls that fail
    QList<int> failRemoves;     // indices of remove calls that fail
    int writes = 0;
    int renames = 0;
    int removes = 0;

    Status writeFile(const QString &path, const QByteArray &bytes) override
    {
        if (writes++ == failWrite) {
            // A write that fails half-way: the start of the data reaches the disk.
            (void)real().writeFile(path, bytes.left(bytes.size() / 2));
            return Status::failure(QStringLiteral("Cannot write %1: disk full.").arg(path));
        }
        return real().writeFile(path, bytes);
    }
    Status rename(const QString &from, const QString &to) override
    {
        const int index = renames++;
        if (index == failRename || alsoFailRenames.contains(index))
            return Status::failure(QStringLiteral("Cannot rename %1.").arg(from));
        return real().rename(from, to);
    }
    Status remove(const QString &path) override
    {
        if (failRemoves.contains(removes++))
            return Status::failure(QStringLiteral("Cannot remove %1.").arg(path));
        return real().remove(path);
    }
    bool exists(const QString &path) const override { return real().exists(path); }
    bool isDirectory(const QString &path) const override { return real().isDirectory(path); }
};

class SkinExportTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        host = QDir::toNativeSeparators(dir.filePath(QStringLiteral("Talvesh6Std"))) + QDir::separator();
        skins = dir.filePath(QStringLiteral("Talvesh6Std/Skins"));
        ASSERT_TRUE(QDir().mkpath(skins));
        templatePath = dir.filePath(QStringLiteral("DefaultSkin.txt"));
        test::writeFile(templatePath, kTemplate);
        builder.setFileSystem(&fs);
        ASSERT_TRUE(builder.LoadImage(picturePath(), {}).ok());
    }

    QString picturePath()
    {
        const QString path = dir.filePath(QStringLiteral("picture.bmp"));
        if (!QFile::exists(path)) {
            EXPECT_TRUE(test::gradient(64, 48).save(path));
        }
        return path;
    }

    Status save(const QString &name, QStringList *written = nullptr)
    {
        return builder.SaveSkin(name, host, templatePath, written);
    }

    QTemporaryDir dir;
    QString host;
    QString skins;
    QString templatePath;
    FaultyFileSystem fs;
    SkinBuilder builder;
};

TEST(SkinDescription, NamesTheImagesInReverseOrderOfAdditionThenTheTemplateAndOneMoreLineEnd)
{
    EXPECT_EQ(buildSkinDescription("Blue", kTemplate),
              "ConsoleBorderImage=BlueConsole.bmp\r\n"
              "SceneWindowImage=BlueScene.bmp\r\n"
              "ChatWindowImage=BlueChat.bmp\r\n"
              "MainWindowImage=BlueMain.bmp\r\n"
              "Skin=Blue.bmp\r\n"
                  + kTemplate + "\r\n");
    // A template that ends with a line end gives two in a row; an empty one
    // gives the five lines and a line end.
    EXPECT_TRUE(buildSkinDescription("B", "x\r\n").endsWith("Skin=B.bmp\r\nx\r\n\r\n"));
    EXPECT_EQ(buildSkinDescription("B", "").right(14), QByteArray("Skin=B.bmp\r\n\r\n"));
}

TEST(SkinDescription, EncodesNamesInWindows1252OrRefusesThem)
{
    EXPECT_EQ(*toWindows1252(QStringLiteral("Caf\u00e9 \u20ac")), QByteArray("Caf\xe9 \x80"));
    EXPECT_EQ(*toWindows1252(QStringLiteral("\u0152\u2122\u00ff")), QByteArray("\x8c\x99\xff"));
    EXPECT_FALSE(toWindows1252(QStringLiteral("\u65e5\u672c")));
    EXPECT_FALSE(toWindows1252(QStringLiteral("\U0001F600")));
    EXPECT_FALSE(toWindows1252(QStringLiteral("\u0081"))); // unassigned in the code page
}

TEST_F(SkinExportTest, WritesFiveFilesWithTheExactDescriptionAndListsThem)
{
    QStringList written;
    ASSERT_TRUE(save(QStringLiteral("Blue"), &written).ok());
    const QString base = QDir::toNativeSeparators(skins + QStringLiteral("/Blue"));
    EXPECT_EQ(written, (QStringList{base + QStringLiteral("Main.bmp"), base + QStringLiteral("Scene.bmp"),
                                    base + QStringLiteral("Chat.bmp"), base + QStringLiteral("Console.bmp"),
                                    base + QStringLiteral(".skn")}));
    EXPECT_EQ(readAll(skins + QStringLiteral("/Blue.skn")), buildSkinDescription("Blue", kTemplate));

    // Each bitmap holds its window image at the window's size.
    const std::pair<QString, QSize> images[] = {{QStringLiteral("BlueMain.bmp"), kMainImageSize},
                                                {QStringLiteral("BlueScene.bmp"), kSceneImageSize},
                                                {QStringLiteral("BlueChat.bmp"), kChatImageSize},
                                                {QStringLiteral("BlueConsole.bmp"), kConsoleImageSize}};
    for (const auto &[file, size] : images) {
        const QImage saved(skins + QLatin1Char('/') + file);
        EXPECT_EQ(saved.size(), size) << file.toStdString();
    }
    EXPECT_EQ(QImage(skins + QStringLiteral("/BlueChat.bmp")).convertToFormat(QImage::Format_RGB32),
              builder.Xpress5.image());
    EXPECT_EQ(QImage(skins + QStringLiteral("/BlueConsole.bmp")).convertToFormat(QImage::Format_RGB32),
              builder.Xpress4.image());
}

TEST_F(SkinExportTest, ExportingTwiceReplacesAllFilesAndLeavesNothingElse)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    builder.RecomposeWindowImages({60, 0, 0});
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    const auto files = test::snapshot(skins);
    EXPECT_EQ(files.keys(), (QStringList{QStringLiteral("Blue.skn"), QStringLiteral("BlueChat.bmp"),
                                         QStringLiteral("BlueConsole.bmp"), QStringLiteral("BlueMain.bmp"),
                                         QStringLiteral("BlueScene.bmp")}));
    EXPECT_EQ(files[QStringLiteral("Blue.skn")], buildSkinDescription("Blue", kTemplate));
    EXPECT_EQ(QImage(skins + QStringLiteral("/BlueMain.bmp")).convertToFormat(QImage::Format_RGB32),
              builder.Xpress1.image());
}

TEST_F(SkinExportTest, AcceptsSpacesAndSubFoldersThatExist)
{
    ASSERT_TRUE(save(QStringLiteral("   ")).ok());
    EXPECT_TRUE(QFile::exists(skins + QStringLiteral("/   Main.bmp")));

    ASSERT_TRUE(QDir(skins).mkdir(QStringLiteral("Mine")));
    ASSERT_TRUE(save(QStringLiteral("Mine\\Blue")).ok());
    ASSERT_TRUE(save(QStringLiteral("Mine/Red")).ok());
    EXPECT_TRUE(QFile::exists(skins + QStringLiteral("/Mine/BlueMain.bmp")));
    EXPECT_TRUE(QFile::exists(skins + QStringLiteral("/Mine/Red.skn")));
    // The description names the files as the name was typed.
    EXPECT_TRUE(readAll(skins + QStringLiteral("/Mine/Blue.skn"))
                    .startsWith("ConsoleBorderImage=Mine\\BlueConsole.bmp\r\n"));
}

// Names that look odd but name files inside the Skins folder that Windows
// keeps as typed.
TEST_F(SkinExportTest, AcceptsOddNamesThatStayInside)
{
    ASSERT_TRUE(QDir(skins).mkdir(QStringLiteral("Mine")));
    const std::pair<QString, QString> names[] = {
        {QStringLiteral("..."), QStringLiteral("...Main.bmp")},
        {QStringLiteral("Blue."), QStringLiteral("Blue..skn")},
        {QStringLiteral("Mine//Red"), QStringLiteral("Mine/RedMain.bmp")},
        {QStringLiteral("CONSOLE"), QStringLiteral("CONSOLE.skn")},
        {QStringLiteral("\u00c9t\u00e9 \u20ac"), QStringLiteral("\u00c9t\u00e9 \u20acChat.bmp")},
    };
    for (const auto &[name, file] : names) {
        const Status s = save(name);
        EXPECT_TRUE(s.ok()) << name.toStdString() << ": " << s.message().toStdString();
        EXPECT_TRUE(QFile::exists(skins + QLatin1Char('/') + file)) << file.toStdString();
    }
}

struct RefusedName
{
    const char *label;
    QString name;
    const char *messagePart;
};

class RefusedNames : public SkinExportTest, public ::testing::WithParamInterface<RefusedName>
{
};

TEST_P(RefusedNames, AreRefusedBeforeAnythingIsWritten)
{
    ASSERT_TRUE(QDir(skins).mkdir(QStringLiteral("Old")));
    test::writeFile(skins + QStringLiteral("/Old/Keep.skn"), "keep");
    const auto before = test::snapshot(dir.path());

    const Status s = save(GetParam().name);
    EXPECT_FALSE(s.ok());
    EXPECT_TRUE(s.message().contains(QLatin1String(GetParam().messagePart)))
        << s.message().toStdString();
    EXPECT_EQ(test::snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    SkinNames, RefusedNames,
    ::testing::Values(
        RefusedName{"Empty", QString(), "Enter a name for your Skin."},
        RefusedName{"Colon", QStringLiteral("a:b"), "character :"},
        RefusedName{"Question", QStringLiteral("why?"), "character ?"},
        RefusedName{"Star", QStringLiteral("*"), "character *"},
        RefusedName{"Quote", QStringLiteral("say \"hi\""), "character \""},
        RefusedName{"Tab", QStringLiteral("a\tb"), "control character"},
        RefusedName{"ParentBackslash", QStringLiteral("..\\Escape"), "\"..\""},
        RefusedName{"ParentSlash", QStringLiteral("Old/../../Escape"), "\"..\""},
        RefusedName{"AbsoluteSlash", QStringLiteral("/tmp/Escape"), "cannot begin"},
        RefusedName{"AbsoluteBackslash", QStringLiteral("\\Escape"), "cannot begin"},
        RefusedName{"Drive", QStringLiteral("C:\\Escape"), "character :"},
        RefusedName{"Device", QStringLiteral("con"), "device name"},
        RefusedName{"DeviceInFolder", QStringLiteral("Old\\LPT1"), "device name"},
        RefusedName{"TooLong", QString(250, QLatin1Char('x')), "too long"},
        RefusedName{"NotInCodePage", QStringLiteral("\u65e5\u672c"), "cannot hold"},
        RefusedName{"TrailingSeparator", QStringLiteral("Old\\"), "cannot end with"},
        RefusedName{"FolderEndsWithDot", QStringLiteral("Old.\\Blue"), "cannot end with a dot or a space"},
        RefusedName{"FolderEndsWithSpace", QStringLiteral("Old /Blue"), "cannot end with a dot or a space"},
        RefusedName{"FolderOfDots", QStringLiteral(".../Blue"), "cannot end with a dot or a space"},
        RefusedName{"DeviceAsFolder", QStringLiteral("CON\\Blue"), "device name"},
        RefusedName{"DeviceWithSuperscript", QStringLiteral("com\u00b9"), "device name"},
        RefusedName{"ConsoleInput", QStringLiteral("CONIN$"), "device name"},
        RefusedName{"FolderTooLong", QString(256, QLatin1Char('f')) + QStringLiteral("/Blue"), "too long"},
        RefusedName{"MissingSubFolder", QStringLiteral("Nowhere\\Blue"), "does not exist"}),
    [](const ::testing::TestParamInfo<RefusedName> &info) { return std::string(info.param.label); });

TEST_F(SkinExportTest, ReportsWhatIsMissingBeforeWritingAnything)
{
    const auto before = test::snapshot(dir.path());

    Status s = builder.SaveSkin(QStringLiteral("Blue"), host, dir.filePath(QStringLiteral("none.txt")));
    EXPECT_TRUE(s.message().contains(QStringLiteral("skin description template"))) << s.message().toStdString();

    const QString otherHost = QDir::toNativeSeparators(dir.filePath(QStringLiteral("Talvesh6Pro"))) + QDir::separator();
    s = builder.SaveSkin(QStringLiteral("Blue"), otherHost, templatePath);
    EXPECT_TRUE(s.message().contains(QStringLiteral("Skins folder"))) << s.message().toStdString();

    SkinBuilder empty; // nothing loaded yet
    s = empty.SaveSkin(QStringLiteral("Blue"), host, templatePath);
    EXPECT_TRUE(s.message().contains(QStringLiteral("load a picture first"))) << s.message().toStdString();

    ASSERT_TRUE(QDir(skins).mkdir(QStringLiteral("BlueScene.bmp")));
    const auto withFolder = test::snapshot(dir.path());
    s = save(QStringLiteral("Blue"));
    EXPECT_TRUE(s.message().contains(QStringLiteral("a folder of that name is in the way")))
        << s.message().toStdString();
    EXPECT_EQ(test::snapshot(dir.path()), withFolder);
    ASSERT_TRUE(QDir(skins).rmdir(QStringLiteral("BlueScene.bmp")));
    EXPECT_EQ(test::snapshot(dir.path()), before);
}

// A write failing at each of the five files, or a rename failing at any
// point, leaves an existing skin of that name byte for byte as it was and no
// file behind.
TEST_F(SkinExportTest, AFailureAtAnyStepLeavesTheSkinsFolderAsItWas)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    test::writeFile(skins + QStringLiteral("/Other.skn"), "other");
    builder.RecomposeWindowImages({-40, 30, 20}); // the next export would differ
    const auto before = test::snapshot(skins);

    for (int write = 0; write < 5; ++write) {
        fs.writes = fs.renames = 0;
        fs.failWrite = write;
        fs.failRename = -1;
        EXPECT_FALSE(save(QStringLiteral("Blue")).ok()) << "write " << write;
        EXPECT_EQ(test::snapshot(skins), before) << "write " << write;
    }
    // Five existing files are moved aside, then five new ones moved in.
    for (int rename = 0; rename < 10; ++rename) {
        fs.writes = fs.renames = 0;
        fs.failWrite = -1;
        fs.failRename = rename;
        EXPECT_FALSE(save(QStringLiteral("Blue")).ok()) << "rename " << rename;
        EXPECT_EQ(test::snapshot(skins), before) << "rename " << rename;
    }
    fs.failRename = -1;
    EXPECT_TRUE(save(QStringLiteral("Blue")).ok());
    EXPECT_NE(test::snapshot(skins), before);
}

TEST_F(SkinExportTest, AFailedWriteNamesTheFileItWasWriting)
{
    fs.failWrite = 2; // the chat window image
    const Status s = save(QStringLiteral("Blue"));
    EXPECT_TRUE(s.message().contains(QDir::toNativeSeparators(skins + QStringLiteral("/BlueChat.bmp"))))
        << s.message().toStdString();
}

// A folder standing where any of the five files goes is reported before
// anything is written, naming that file.
TEST_F(SkinExportTest, AFolderInThePlaceOfAnyFileIsReportedBeforeWriting)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    for (const char *file : {"BlueMain.bmp", "BlueScene.bmp", "BlueChat.bmp", "BlueConsole.bmp", "Blue.skn"}) {
        const QString path = skins + QLatin1Char('/') + QLatin1String(file);
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(QDir().mkdir(path));
        const auto before = test::snapshot(dir.path());
        const Status s = save(QStringLiteral("Blue"));
        EXPECT_TRUE(s.message().contains(QDir::toNativeSeparators(path) + QStringLiteral(": a folder")))
            << s.message().toStdString();
        EXPECT_EQ(test::snapshot(dir.path()), before) << file;
        ASSERT_TRUE(QDir().rmdir(path));
        ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    }
}

// A new skin (no files of its name yet) is taken back as wholly as one that
// replaces another when a write or a rename fails.
TEST_F(SkinExportTest, AFailureWritingANewSkinLeavesNothingBehind)
{
    test::writeFile(skins + QStringLiteral("/Other.skn"), "other");
    const auto before = test::snapshot(dir.path());
    for (int write = 0; write < 5; ++write) {
        fs.writes = fs.renames = 0;
        fs.failWrite = write;
        fs.failRename = -1;
        EXPECT_FALSE(save(QStringLiteral("Fresh")).ok()) << "write " << write;
        EXPECT_EQ(test::snapshot(dir.path()), before) << "write " << write;
    }
    for (int rename = 0; rename < 5; ++rename) {
        fs.writes = fs.renames = 0;
        fs.failWrite = -1;
        fs.failRename = rename;
        EXPECT_FALSE(save(QStringLiteral("Fresh")).ok()) << "rename " << rename;
        EXPECT_EQ(test::snapshot(dir.path()), before) << "rename " << rename;
    }
}

// When putting an earlier file back fails too, nothing of it is lost: it
// stays under the name the export moved it to, and the message says where.
TEST_F(SkinExportTest, AnEarlierFileThatCannotBePutBackIsKeptAndNamed)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    const QByteArray earlierMain = readAll(skins + QStringLiteral("/BlueMain.bmp"));
    builder.RecomposeWindowImages({-40, 30, 20});

    // Renames 0 to 4 move the five earlier files aside; 5 would place the
    // new main image and fails; 6 would put the earlier one back and fails.
    fs.writes = fs.renames = fs.removes = 0;
    fs.failRename = 5;
    fs.alsoFailRenames = {6};
    const Status s = save(QStringLiteral("Blue"));
    ASSERT_FALSE(s.ok());

    const QStringList left = QDir(skins).entryList(QDir::Files | QDir::Hidden);
    const QStringList kept = left.filter(QRegularExpression(QStringLiteral("^\\.velloran-.*\\.old$")));
    ASSERT_EQ(kept.size(), 1) << left.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(readAll(skins + QLatin1Char('/') + kept.first()), earlierMain);
    EXPECT_TRUE(s.message().contains(QStringLiteral("could not be put back; it is kept as ")
                                     + QDir::toNativeSeparators(skins + QLatin1Char('/') + kept.first())))
        << s.message().toStdString();
    // The other four are back, and no temporary file is left.
    EXPECT_EQ(left.size(), 5) << left.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(left.contains(QStringLiteral("BlueMain.bmp")));
}

// A temporary file that cannot be removed after a failed write is named in
// the message rather than left behind in silence.
TEST_F(SkinExportTest, ATemporaryFileThatCannotBeRemovedIsNamed)
{
    fs.failWrite = 1;    // the scene image, half written
    fs.failRemoves = {0}; // removing the staged main image fails
    const Status s = save(QStringLiteral("Blue"));
    ASSERT_FALSE(s.ok());
    EXPECT_TRUE(s.message().contains(QStringLiteral("could not be removed"))) << s.message().toStdString();
    const QStringList left = QDir(skins).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(left.size(), 1);
    EXPECT_TRUE(s.message().contains(left.first())) << s.message().toStdString();
}

TEST_F(SkinExportTest, ASkinsPathThatIsAFileIsReportedAsSuch)
{
    const QString otherHost = QDir::toNativeSeparators(dir.filePath(QStringLiteral("Talvesh6Pro"))) + QDir::separator();
    test::writeFile(dir.filePath(QStringLiteral("Talvesh6Pro/Skins")), "not a folder");
    const auto before = test::snapshot(dir.path());
    const Status s = builder.SaveSkin(QStringLiteral("Blue"), otherHost, templatePath);
    EXPECT_TRUE(s.message().contains(QStringLiteral("is a file, not a folder"))) << s.message().toStdString();
    EXPECT_EQ(test::snapshot(dir.path()), before);
}

// Templates that are not plain files: a folder, and where the platform has
// them a pipe with no writer (opening it would wait for ever) and an endless
// device (reading it would never stop). Each is refused at once.
TEST_F(SkinExportTest, ATemplateThatIsNoPlainFileIsRefusedAtOnce)
{
    QStringList templates{dir.filePath(QStringLiteral("Template.txt"))};
    ASSERT_TRUE(QDir().mkdir(templates.first()));
#ifdef Q_OS_UNIX
    const QString pipe = dir.filePath(QStringLiteral("pipe.txt"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    templates << pipe;
    if (QFileInfo::exists(QStringLiteral("/dev/zero")))
        templates << QStringLiteral("/dev/zero");
#endif
    for (const QString &path : templates) {
        const Status s = builder.SaveSkin(QStringLiteral("Blue"), host, path);
        EXPECT_TRUE(s.message().startsWith(QStringLiteral("Cannot read the skin description template ")
                                           + QDir::toNativeSeparators(path) + QStringLiteral(": it is ")))
            << s.message().toStdString();
        EXPECT_FALSE(QFile::exists(skins + QStringLiteral("/Blue.skn")));
    }
#ifdef Q_OS_UNIX
    ASSERT_TRUE(QFile::remove(pipe)); // the snapshot of the test folder would wait on it
#endif
    EXPECT_EQ(QDir(skins).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

TEST_F(SkinExportTest, ATemplateBeyondTheLimitIsRefused)
{
    const QString large = dir.filePath(QStringLiteral("Large.txt"));
    QFile file(large);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize((16 << 20) + 1)); // sparse where the file system can
    file.close();
    const Status s = builder.SaveSkin(QStringLiteral("Blue"), host, large);
    EXPECT_TRUE(s.message().contains(QStringLiteral("is too large"))) << s.message().toStdString();
    EXPECT_EQ(QDir(skins).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

// Permissions that keep the program out, for real. Root (as in CI) is not
// kept out by them, so there these cases are skipped.
bool permissionsKeepOut(const QString &folder)
{
    QFile probe(folder + QStringLiteral("/probe"));
    if (probe.open(QIODevice::WriteOnly)) {
        probe.close();
        probe.remove();
        return false;
    }
    return true;
}

TEST_F(SkinExportTest, AReadOnlySkinsFolderIsReportedAndLeftAsItWas)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    builder.setFileSystem(nullptr); // the real file system, no injected faults
    builder.RecomposeWindowImages({30, 0, 0});
    const auto writable = QFile::permissions(skins);
    ASSERT_TRUE(QFile::setPermissions(skins, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const bool keptOut = permissionsKeepOut(skins);
    std::optional<Status> s;
    QMap<QString, QByteArray> before, after;
    if (keptOut) {
        before = test::snapshot(skins);
        s = save(QStringLiteral("Blue"));
        after = test::snapshot(skins);
    }
    QFile::setPermissions(skins, writable);
    if (!keptOut)
        GTEST_SKIP() << "permissions do not keep this user out (running as root?)";
    ASSERT_FALSE(s->ok());
    EXPECT_TRUE(s->message().contains(QDir::toNativeSeparators(skins + QStringLiteral("/BlueMain.bmp"))))
        << s->message().toStdString();
    EXPECT_EQ(after, before);
}

TEST_F(SkinExportTest, AnUnreadableTemplateIsReportedBeforeWriting)
{
    ASSERT_TRUE(QFile::setPermissions(templatePath, QFileDevice::Permissions()));
    QFile probe(templatePath);
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "permissions do not keep this user out (running as root?)";
    const auto before = test::snapshot(skins);
    const Status s = save(QStringLiteral("Blue"));
    EXPECT_TRUE(s.message().startsWith(QStringLiteral("Cannot read the skin description template ")
                                       + QDir::toNativeSeparators(templatePath)))
        << s.message().toStdString();
    EXPECT_EQ(test::snapshot(skins), before);
}

} // namespace
