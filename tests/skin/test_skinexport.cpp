// Writing a skin: the description file's bytes, the checks made before
// anything is written, and that a failure at any step leaves the Skins
// folder exactly as it was.
#include "imaging/filesystem.h"
#include "skin/skinbuilder.h"
#include "skin/skincommit.h"
#include "skin/skinexport.h"
#include "skin/windows1252.h"
#include "support/faultyfilesystem.h"
#include "support/testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <optional>
#include <thread>
#include <tuple>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

using namespace velloran;
using velloran::test::Died;
using velloran::test::FaultyFileSystem;
using velloran::test::leftovers;
using velloran::test::restore;

namespace {

const QByteArray kTemplate = "[Colours]\r\nText=255,255,255\r\n\r\n[Layout]\r\nMenuLeft=635";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

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
    SkinBuilder builder{SkinTemplates::compiledIn()};
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
              builder.Xpress5().image());
    EXPECT_EQ(QImage(skins + QStringLiteral("/BlueConsole.bmp")).convertToFormat(QImage::Format_RGB32),
              builder.Xpress4().image());
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
              builder.Xpress1().image());
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
    // What the window tells apart: an empty name is asked for, any other
    // refusal is reported as a failed export.
    ErrorKind kind = ErrorKind::InvalidName;
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
    EXPECT_EQ(s.kind(), GetParam().kind);
    EXPECT_EQ(test::snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    SkinNames, RefusedNames,
    ::testing::Values(
        RefusedName{"Empty", QString(), "Enter a name for your Skin.", ErrorKind::EmptyName},
        RefusedName{"Colon", QStringLiteral("a:b"), "character \":\""},
        RefusedName{"Question", QStringLiteral("why?"), "character \"?\""},
        RefusedName{"Star", QStringLiteral("*"), "character \"*\""},
        RefusedName{"Quote", QStringLiteral("say \"hi\""), "a double quote (\")"},
        RefusedName{"Tab", QStringLiteral("a\tb"), "control character"},
        RefusedName{"ParentBackslash", QStringLiteral("..\\Escape"), "\"..\""},
        RefusedName{"ParentSlash", QStringLiteral("Old/../../Escape"), "\"..\""},
        RefusedName{"AbsoluteSlash", QStringLiteral("/tmp/Escape"), "cannot begin"},
        RefusedName{"AbsoluteBackslash", QStringLiteral("\\Escape"), "cannot begin"},
        RefusedName{"Drive", QStringLiteral("C:\\Escape"), "character \":\""},
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
        RefusedName{"MissingSubFolder", QStringLiteral("Nowhere\\Blue"), "does not exist", ErrorKind::Other},
        RefusedName{"MissingSubFolderDoubled", QStringLiteral("Nowhere//Blue"), "Skins/Nowhere/ does not exist",
                    ErrorKind::Other},
        RefusedName{"DotAsFolder", QStringLiteral("./Blue"), "cannot have \".\" as a folder"}),
    [](const ::testing::TestParamInfo<RefusedName> &info) { return std::string(info.param.label); });

TEST_F(SkinExportTest, ReportsWhatIsMissingBeforeWritingAnything)
{
    const auto before = test::snapshot(dir.path());

    Status s = builder.SaveSkin(QStringLiteral("Blue"), host, dir.filePath(QStringLiteral("none.txt")));
    EXPECT_TRUE(s.message().contains(QStringLiteral("skin description template"))) << s.message().toStdString();

    const QString otherHost = QDir::toNativeSeparators(dir.filePath(QStringLiteral("Talvesh6Pro"))) + QDir::separator();
    s = builder.SaveSkin(QStringLiteral("Blue"), otherHost, templatePath);
    EXPECT_TRUE(s.message().contains(QStringLiteral("Skins folder"))) << s.message().toStdString();

    SkinBuilder empty(SkinTemplates::compiledIn()); // nothing loaded yet
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

// Every step of an export over an existing skin made to fail in turn: the
// export fails and the Skins folder is byte for byte as it was, no file
// behind. Only where cleaning up after a finished commit fails is the new
// skin in place, said so, and what is left is gone after the next export.
TEST_F(SkinExportTest, AFailureAtAnyStepLeavesTheSkinsFolderAsItWas)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    test::writeFile(skins + QStringLiteral("/Other.skn"), "other");
    builder.RecomposeWindowImages({-40, 30, 20}); // the next export would differ
    const auto before = test::snapshot(skins);

    int cleanUpFailures = 0;
    for (int step = 0;; ++step) {
        restore(skins, before);
        fs.reset();
        fs.failSteps = {step};
        ExportReport report;
        const Status s = builder.SaveSkin(QStringLiteral("Blue"), host, templatePath, &report);
        if (fs.steps.size() <= step) {
            EXPECT_TRUE(s.ok()) << s.message().toStdString();
            EXPECT_GT(step, 20) << "an export takes more steps than that";
            break;
        }
        SCOPED_TRACE(fs.steps[step].toStdString());
        ASSERT_FALSE(s.ok());
        if (!report.exported) {
            EXPECT_EQ(test::snapshot(skins), before);
            // However many sentences were added on the way up, it stays the
            // failed file operation it was.
            EXPECT_EQ(s.kind(), ErrorKind::Io) << s.message().toStdString();
            continue;
        }
        ++cleanUpFailures;
        EXPECT_TRUE(s.message().contains(QStringLiteral("was exported, but"))) << s.message().toStdString();
        fs.reset();
        ASSERT_TRUE(save(QStringLiteral("Green")).ok());
        EXPECT_EQ(leftovers(skins), QStringList());
    }
    EXPECT_GT(cleanUpFailures, 0);
}

// What a failure names: the file being written, in terms of its target, and
// for a failed replace the file that could not be replaced.
TEST_F(SkinExportTest, AFailureNamesTheFileOfTheSkinItConcerns)
{
    fs.failIf = [](const QString &step) {
        return step.startsWith(QStringLiteral("write")) && step.endsWith(QStringLiteral("-2.tmp"));
    };
    Status s = save(QStringLiteral("Blue"));
    EXPECT_TRUE(s.message().contains(QDir::toNativeSeparators(skins + QStringLiteral("/BlueChat.bmp"))))
        << s.message().toStdString();

    fs.reset();
    ASSERT_TRUE(save(QStringLiteral("Fresh")).ok()); // a skin to replace
    fs.failIf = [](const QString &step) {
        return step.startsWith(QStringLiteral("replace")) && step.contains(QStringLiteral("-1.tmp "));
    };
    s = save(QStringLiteral("Fresh"));
    EXPECT_TRUE(s.message().contains(QDir::toNativeSeparators(skins + QStringLiteral("/FreshScene.bmp"))))
        << s.message().toStdString();
    EXPECT_TRUE(s.message().contains(QStringLiteral("The export was undone: the earlier files of the skin "
                                                    "\"Fresh\" are back as they were.")))
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
// replaces another when any step fails.
TEST_F(SkinExportTest, AFailureWritingANewSkinLeavesNothingBehind)
{
    test::writeFile(skins + QStringLiteral("/Other.skn"), "other");
    const auto before = test::snapshot(dir.path());
    for (int step = 0;; ++step) {
        fs.reset();
        fs.failSteps = {step};
        ExportReport report;
        const Status s = builder.SaveSkin(QStringLiteral("Fresh"), host, templatePath, &report);
        if (fs.steps.size() <= step) {
            EXPECT_TRUE(s.ok()) << s.message().toStdString();
            break;
        }
        SCOPED_TRACE(fs.steps[step].toStdString());
        ASSERT_FALSE(s.ok());
        if (report.exported)
            break; // only the cleaning up is left from here on
        EXPECT_EQ(test::snapshot(dir.path()), before);
    }
}

// When putting an earlier file back fails too, nothing of it is lost: it
// stays under its second name, the message says where, every file of the
// skin is still there, and the next export finishes putting it back.
TEST_F(SkinExportTest, AnEarlierFileThatCannotBePutBackIsKeptAndNamed)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    const auto earlier = test::snapshot(skins);
    builder.RecomposeWindowImages({-40, 30, 20});

    // The new main image is put in place, the scene image fails, and putting
    // the earlier main image back fails as well.
    fs.failIf = [](const QString &step) {
        return (step.startsWith(QStringLiteral("replace")) && step.endsWith(QStringLiteral("BlueScene.bmp")))
               || (step.startsWith(QStringLiteral("replace")) && step.contains(QStringLiteral("-0.old ")));
    };
    const Status s = save(QStringLiteral("Blue"));
    ASSERT_FALSE(s.ok());

    const QStringList kept = leftovers(skins).filter(QRegularExpression(QStringLiteral("-0\\.old$")));
    ASSERT_EQ(kept.size(), 1) << leftovers(skins).join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(readAll(skins + QLatin1Char('/') + kept.first()), earlier[QStringLiteral("BlueMain.bmp")]);
    EXPECT_TRUE(s.message().contains(QStringLiteral("could not be put back; it is kept as ")
                                     + QDir::toNativeSeparators(skins + QLatin1Char('/') + kept.first())))
        << s.message().toStdString();
    for (const QString &file : earlier.keys())
        EXPECT_TRUE(QFile::exists(skins + QLatin1Char('/') + file)) << file.toStdString();

    fs.reset();
    ExportReport report;
    ASSERT_TRUE(builder.SaveSkin(QStringLiteral("Green"), host, templatePath, &report).ok());
    EXPECT_TRUE(report.recovered.contains(QStringLiteral("the earlier files of the skin \"Blue\" are back")))
        << report.recovered.toStdString();
    auto now = test::snapshot(skins);
    for (const QString &file : earlier.keys())
        EXPECT_EQ(now[file], earlier[file]) << file.toStdString();
    EXPECT_EQ(leftovers(skins), QStringList());
}

// A staged file that cannot be removed after a failed write is named in the
// message rather than left behind in silence, and the next export removes it.
TEST_F(SkinExportTest, ATemporaryFileThatCannotBeRemovedIsNamed)
{
    fs.failIf = [](const QString &step) {
        return (step.startsWith(QStringLiteral("write")) && step.endsWith(QStringLiteral("-1.tmp")))
               || (step.startsWith(QStringLiteral("remove")) && step.endsWith(QStringLiteral("-0.tmp")));
    };
    const Status s = save(QStringLiteral("Blue"));
    ASSERT_FALSE(s.ok());
    EXPECT_TRUE(s.message().contains(QStringLiteral("could not be removed"))) << s.message().toStdString();
    const QStringList left = leftovers(skins).filter(QRegularExpression(QStringLiteral("\\.tmp$")));
    ASSERT_EQ(left.size(), 1) << leftovers(skins).join(QLatin1Char(' ')).toStdString();
    EXPECT_TRUE(s.message().contains(left.first())) << s.message().toStdString();

    fs.reset();
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    EXPECT_EQ(leftovers(skins), QStringList());
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

namespace {

struct Crash
{
    const char *label;
    QString name;
    bool earlier; // a skin of that name is there before
};

class ExportCrashes : public SkinExportTest, public ::testing::WithParamInterface<Crash>
{
};

void PrintTo(const Crash &c, std::ostream *os)
{
    *os << c.label;
}

QList<QByteArray> readFiles(const QStringList &paths)
{
    QList<QByteArray> bytes;
    for (const QString &path : paths)
        bytes << (QFile::exists(path) ? readAll(path) : QByteArray());
    return bytes;
}

// An export stopped dead at every step in turn, as by a crash or a power
// cut. At every step each file of the skin is whole, the earlier one or the
// new one, never missing or cut short, so that the host may start at any
// moment. The next run makes the skin wholly the earlier or wholly the new
// one, tells what it did, and leaves nothing behind.
TEST_P(ExportCrashes, LeaveTheSkinWholeAndTheNextRunFinishesTheJob)
{
    const Crash &c = GetParam();
    ASSERT_TRUE(QDir(skins).mkdir(QStringLiteral("Mine")));
    test::writeFile(skins + QStringLiteral("/Other.skn"), "other");
    if (c.earlier) {
        ASSERT_TRUE(save(c.name).ok());
    }
    const QStringList targets = skinFiles(skins, c.name).all();
    const QList<QByteArray> earlier = readFiles(targets);

    // What the export writes, taken from a Skins folder of its own.
    builder.RecomposeWindowImages({50, -20, 10});
    const QString elsewhere = dir.filePath(QStringLiteral("Elsewhere/Talvesh6Std/Skins"));
    ASSERT_TRUE(QDir().mkpath(elsewhere + QStringLiteral("/Mine")));
    ASSERT_TRUE(builder.SaveSkin(c.name, QFileInfo(elsewhere).absolutePath() + QLatin1Char('/'), templatePath).ok());
    const QList<QByteArray> fresh = readFiles(skinFiles(elsewhere, c.name).all());
    ASSERT_NE(fresh, earlier);

    // Each file is the earlier one, the new one or (for a new skin) none.
    auto eachWhole = [&](const QList<QByteArray> &now) {
        for (int i = 0; i < now.size(); ++i)
            EXPECT_TRUE(now[i] == fresh[i] || now[i] == earlier[i]) << targets[i].toStdString();
    };
    // Cheap enough for every step: each file there (when it was), at its size.
    auto eachThere = [&] {
        for (int i = 0; i < targets.size(); ++i) {
            const QFileInfo info(targets[i]);
            if (c.earlier || info.exists()) {
                EXPECT_TRUE(info.size() == fresh[i].size() || info.size() == earlier[i].size())
                    << targets[i].toStdString() << " at " << info.size() << " bytes";
            }
        }
    };

    const auto before = test::snapshot(skins);
    int endedNew = 0;
    int endedEarlier = 0;
    for (int step = 0;; ++step) {
        restore(skins, before);
        fs.reset();
        fs.dieAt = step;
        fs.beforeEachStep = eachThere;
        bool died = false;
        try {
            // Killed part way or not, what counts is what the folder holds.
            std::ignore = save(c.name);
        } catch (const Died &) {
            died = true;
        }
        if (!died)
            break;
        SCOPED_TRACE(fs.steps[step].toStdString());
        eachWhole(readFiles(targets));
        const bool leftBehind = !leftovers(skins).isEmpty() || !leftovers(skins + QStringLiteral("/Mine")).isEmpty();

        // The next run.
        QString report;
        ASSERT_TRUE(recoverSkinsFolder(host, FileSystem::real(), &report, 0).ok());
        const QList<QByteArray> after = readFiles(targets);
        EXPECT_TRUE(after == fresh || after == earlier);
        (after == fresh ? endedNew : endedEarlier) += 1;
        EXPECT_EQ(report.isEmpty(), !leftBehind) << report.toStdString();
        EXPECT_EQ(leftovers(skins), QStringList());
        EXPECT_EQ(leftovers(skins + QStringLiteral("/Mine")), QStringList());
        EXPECT_EQ(readAll(skins + QStringLiteral("/Other.skn")), QByteArray("other"));
    }
    EXPECT_GT(endedNew, 0);
    EXPECT_GT(endedEarlier, 10);
}

INSTANTIATE_TEST_SUITE_P(
    Skins, ExportCrashes,
    ::testing::Values(Crash{"OverAnEarlierSkin", QStringLiteral("Blue"), true},
                      Crash{"OverAnEarlierSkinInASubFolder", QStringLiteral("Mine\\Blue"), true},
                      Crash{"ANewSkin", QStringLiteral("Fresh"), false}),
    [](const ::testing::TestParamInfo<Crash> &info) { return std::string(info.param.label); });

// An export stopped dead after it had replaced two of the five files, then
// the run that finishes it stopped dead at every step in turn: at every step
// each file is whole, and the run after that leaves the skin wholly earlier
// or wholly new, with nothing behind and a message that says which.
TEST_F(SkinExportTest, ARecoveryStoppedDeadIsFinishedByTheNextRun)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    const QStringList targets = skinFiles(skins, QStringLiteral("Blue")).all();
    const QList<QByteArray> earlier = readFiles(targets);
    builder.RecomposeWindowImages({50, -20, 10});

    // Where the export dies: at its third replace of a target, found by
    // running it once whole.
    const auto before = test::snapshot(skins);
    fs.reset();
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    int replaces = 0;
    int dieAt = -1;
    for (int i = 0; i < fs.steps.size() && dieAt < 0; ++i)
        if (fs.steps[i].startsWith(QStringLiteral("replace")) && fs.steps[i].contains(QStringLiteral(".tmp ")))
            if (++replaces == 3)
                dieAt = i;
    ASSERT_GT(dieAt, 0);

    for (int step = 0;; ++step) {
        restore(skins, before);
        fs.reset();
        fs.dieAt = dieAt;
        EXPECT_THROW((void)save(QStringLiteral("Blue")), Died);
        const QList<QByteArray> mixed = readFiles(targets);
        ASSERT_NE(mixed, earlier); // two of the five are new
        fs.reset();
        fs.dieAt = step;
        QString report;
        bool died = false;
        try {
            // Killed part way or not, what counts is what the folder holds.
            std::ignore = recoverSkinsFolder(host, fs, &report, 0);
        } catch (const Died &) {
            died = true;
        }
        if (!died)
            break;
        SCOPED_TRACE(fs.steps[step].toStdString());
        const QList<QByteArray> now = readFiles(targets);
        for (int i = 0; i < now.size(); ++i)
            EXPECT_TRUE(now[i] == mixed[i] || now[i] == earlier[i]) << targets[i].toStdString();

        report.clear();
        ASSERT_TRUE(recoverSkinsFolder(host, FileSystem::real(), &report, 0).ok());
        EXPECT_EQ(readFiles(targets), earlier);
        EXPECT_FALSE(report.contains(QStringLiteral("new skin stays"))) << report.toStdString();
        EXPECT_EQ(leftovers(skins), QStringList());
    }
}

#ifdef Q_OS_UNIX
// A link at one of the skin's files, dangling or leading to a file outside
// the Skins folder, is refused: nothing is written through it, nothing
// outside the Skins folder is created or changed. So is a sub-folder that
// leads outside; one that leads to a folder inside is fine.
TEST_F(SkinExportTest, NothingIsWrittenThroughALink)
{
    const QString outsideFile = dir.filePath(QStringLiteral("outside.bmp"));
    test::writeFile(outsideFile, "outside");
    const QString nowhere = dir.filePath(QStringLiteral("nowhere.bmp"));
    for (const char *file : {"BlueMain.bmp", "BlueConsole.bmp", "Blue.skn"}) {
        for (const QString &leadsTo : {outsideFile, nowhere}) {
            const QString link = skins + QLatin1Char('/') + QLatin1String(file);
            const auto before = test::snapshot(dir.path());
            ASSERT_TRUE(QFile::link(leadsTo, link));
            const Status s = save(QStringLiteral("Blue"));
            EXPECT_TRUE(s.message().contains(QDir::toNativeSeparators(link) + QStringLiteral(": a link")))
                << s.message().toStdString();
            EXPECT_EQ(QFileInfo(link).symLinkTarget(), leadsTo);
            ASSERT_TRUE(QFile::remove(link));
            EXPECT_EQ(test::snapshot(dir.path()), before); // nowhere.bmp not made, outside.bmp as it was
        }
    }

    const QString away = dir.filePath(QStringLiteral("Away"));
    ASSERT_TRUE(QDir().mkdir(away));
    ASSERT_TRUE(QFile::link(away, skins + QStringLiteral("/Away")));
    const Status s = save(QStringLiteral("Away/Blue"));
    EXPECT_TRUE(s.message().contains(QStringLiteral("leads outside the Skins folder"))) << s.message().toStdString();
    EXPECT_EQ(QDir(away).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

    ASSERT_TRUE(QDir(skins).mkdir(QStringLiteral("Mine")));
    ASSERT_TRUE(QFile::link(skins + QStringLiteral("/Mine"), skins + QStringLiteral("/Alias")));
    ASSERT_TRUE(save(QStringLiteral("Alias/Blue")).ok());
    EXPECT_TRUE(QFile::exists(skins + QStringLiteral("/Mine/BlueMain.bmp")));
}
#endif

// A record in the Skins folder that this program would not write (damaged,
// or naming files outside the folder) is removed without being followed; so
// is one whose folder is gone. Nothing else changes, and the export goes on.
TEST_F(SkinExportTest, ARecordThatCannotBeFollowedIsRemoved)
{
    test::writeFile(dir.filePath(QStringLiteral("Escape.skn")), "keep");
    const std::pair<QByteArray, const char *> records[] = {
        {"damaged", "unreadable record"},
        {"Velloran export record 1\nstate committing\nskin ../Escape\nstem .velloran-0123abcd\nearlier 00000\n",
         "unreadable record"},
        {"Velloran export record 1\nstate committing\nskin Blue\nstem ../../x\nearlier 00000\n", "unreadable record"},
        {"Velloran export record 2\nstate committing\nskin Gone/Blue\nstem .velloran-0123abcd\n"
         "file 0 1:00000000 2:00000000\nfile 1 - 2:00000000\nfile 2 - 2:00000000\nfile 3 - 2:00000000\n"
         "file 4 - 2:00000000\n",
         "which is gone; its record was removed"},
        {QByteArray(70000, '\0'), "unreadable record"},
    };
    for (const auto &[record, reported] : records) {
        test::writeFile(skins + QStringLiteral("/.velloran-export"), record);
        ExportReport report;
        ASSERT_TRUE(builder.SaveSkin(QStringLiteral("Blue"), host, templatePath, &report).ok());
        EXPECT_TRUE(report.recovered.contains(QLatin1String(reported))) << report.recovered.toStdString();
        EXPECT_EQ(readAll(dir.filePath(QStringLiteral("Escape.skn"))), QByteArray("keep"));
        EXPECT_EQ(leftovers(skins), QStringList());
    }
}

// A record naming the user's own skin, as a crash could leave it and the
// user then change the files, or as someone could write it: the files of the
// skin that are neither the earlier nor the new ones are left alone, and
// second names that are links are never put in place.
TEST_F(SkinExportTest, ARecordNeverCostsTheUserAFile)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    const auto users = test::snapshot(skins);
    const QString outside = dir.filePath(QStringLiteral("outside.bmp"));
    test::writeFile(outside, "outside");
    const QByteArray head = "Velloran export record 2\nstate committing\nskin Blue\nstem .velloran-0123abcd\n";
    const QByteArray newSkin = "file 0 - 9:01234567\nfile 1 - 9:01234567\nfile 2 - 9:01234567\n"
                               "file 3 - 9:01234567\nfile 4 - 9:01234567\n";
    const QByteArray earlierSkin = "file 0 9:01234567 9:89abcdef\nfile 1 9:01234567 9:89abcdef\n"
                                   "file 2 9:01234567 9:89abcdef\nfile 3 9:01234567 9:89abcdef\n"
                                   "file 4 9:01234567 9:89abcdef\n";
    // A file of the user's whose name only begins like the export's files.
    test::writeFile(skins + QStringLiteral("/.velloran-0123abcd notes.txt"), "notes");
    const auto usersNow = test::snapshot(skins);
    for (const QByteArray &files : {newSkin, earlierSkin}) {
        test::writeFile(skins + QStringLiteral("/.velloran-export"), head + files);
        test::writeFile(skins + QStringLiteral("/.velloran-0123abcd-0.tmp"), QByteArray());
#ifdef Q_OS_UNIX
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(QFile::link(outside, skins + QStringLiteral("/.velloran-0123abcd-%1.old").arg(i)));
#endif
        fs.reset();
        ExportReport report;
        const Status s = builder.SaveSkin(QStringLiteral("Green"), host, templatePath, &report);
        ASSERT_TRUE(s.ok()) << s.message().toStdString();
        EXPECT_TRUE(report.recovered.contains(QStringLiteral("was left as it is"))) << report.recovered.toStdString();
        auto now = test::snapshot(skins);
        for (const QString &file : usersNow.keys())
            EXPECT_EQ(now[file], usersNow[file]) << file.toStdString();
        EXPECT_EQ(leftovers(skins), QStringList{QStringLiteral(".velloran-0123abcd notes.txt")});
        EXPECT_EQ(readAll(outside), QByteArray("outside"));
        for (const QString &file : users.keys())
            EXPECT_FALSE(QFileInfo(skins + QLatin1Char('/') + file).isSymLink()) << file.toStdString();
    }
}

// An earlier file that cannot be read (or is larger than any file of a
// skin) could not be put back should the export fail, so it is not
// replaced: the export is refused and the file stays.
TEST_F(SkinExportTest, AnEarlierFileThatCannotBeKeptIsNotReplaced)
{
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    const QString main = skins + QStringLiteral("/BlueMain.bmp");
    QFile file(main);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.resize(65 << 20)); // sparse where the file system can
    file.close();
    const auto before = test::snapshot(skins);
    const Status s = save(QStringLiteral("Blue"));
    EXPECT_TRUE(s.message().contains(QStringLiteral("could not be put back should the export fail")))
        << s.message().toStdString();
    EXPECT_EQ(test::snapshot(skins), before);
}

// Reading a file in pieces hands over every byte once, in order, whatever
// its size against the pieces, and refuses what readFile refuses.
TEST(FileSystemPieces, GiveTheWholeFileInOrderOrTheReadFilesRefusal)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Case
    {
        qint64 size;
        qint64 limit;
        bool read;
    };
    const Case cases[] = {
        {0, 10, true},           {1, 1, true},          {65535, 1 << 20, true},
        {65536, 1 << 20, true},  {65537, 1 << 20, true}, {300001, 300001, true},
        {300001, 300000, false}, {2, 1, false},
    };
    const FileSystem &fs = FileSystem::real();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.size);
        SCOPED_TRACE(c.limit);
        QByteArray bytes(c.size, Qt::Uninitialized);
        for (qint64 i = 0; i < c.size; ++i)
            bytes[i] = char((i * 7919) >> 3);
        const QString path = dir.filePath(QStringLiteral("file"));
        test::writeFile(path, bytes);

        QByteArray pieces;
        int count = 0;
        const Status s = fs.readPieces(path, c.limit, [&](QByteArrayView piece) {
            EXPECT_FALSE(piece.isEmpty());
            pieces += piece;
            ++count;
        });
        QByteArray whole;
        const Status r = fs.readFile(path, c.limit, &whole);
        EXPECT_EQ(s.ok(), c.read) << s.message().toStdString();
        EXPECT_EQ(s.message(), r.message());
        if (c.read) {
            EXPECT_EQ(pieces, bytes);
            if (c.size > 256 * 1024) {
                EXPECT_GT(count, 1) << "the file was held whole";
            }
        }
    }
    const QString missing = dir.filePath(QStringLiteral("missing"));
    const Status s = fs.readPieces(missing, 10, [](QByteArrayView) { ADD_FAILURE() << "a piece of nothing"; });
    QByteArray none;
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(s.message(), fs.readFile(missing, 10, &none).message());
}

// A file the export cannot read back whole (a staged file, to check what
// reached the disk; an earlier file, to know it again when putting it back)
// stops the export before any file of the skin is replaced, naming the file
// concerned, and leaves nothing of the export behind.
TEST_F(SkinExportTest, AFileThatCannotBeReadBackStopsTheExportBeforeAnyReplace)
{
    struct Case
    {
        QString unreadable; // how the path that cannot be read ends
        QString named;      // the skin's file the message names
        QString because;
    };
    const Case cases[] = {
        {QStringLiteral("-0.tmp"), QStringLiteral("BlueMain.bmp"), QStringLiteral("the staged file cannot be read back")},
        {QStringLiteral("-4.tmp"), QStringLiteral("Blue.skn"), QStringLiteral("the staged file cannot be read back")},
        {QStringLiteral("/BlueChat.bmp"), QStringLiteral("BlueChat.bmp"),
         QStringLiteral("could not be put back should the export fail")},
        {QStringLiteral("/Blue.skn"), QStringLiteral("Blue.skn"),
         QStringLiteral("could not be put back should the export fail")},
    };
    ASSERT_TRUE(save(QStringLiteral("Blue")).ok());
    builder.RecomposeWindowImages({25, 0, 0}); // the next export would differ
    const auto before = test::snapshot(skins);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.unreadable.toStdString());
        restore(skins, before);
        fs.reset();
        fs.failReadIf = [&](const QString &path) { return path.endsWith(c.unreadable); };
        const Status s = save(QStringLiteral("Blue"));
        EXPECT_TRUE(s.message().contains(QDir::toNativeSeparators(skins + QLatin1Char('/') + c.named)))
            << s.message().toStdString();
        EXPECT_TRUE(s.message().contains(c.because)) << s.message().toStdString();
        EXPECT_FALSE(std::any_of(fs.steps.begin(), fs.steps.end(),
                                 [](const QString &step) { return step.startsWith(QStringLiteral("replace")); }));
        EXPECT_EQ(test::snapshot(skins), before);
        EXPECT_EQ(leftovers(skins), QStringList());
    }
}

// A second export into the same Skins folder waits for the first, takes the
// lock soon after it is let go, and says so when the wait is too long; what
// is left of a lock whose holder died (an empty file) is taken at once.
TEST_F(SkinExportTest, ExportsIntoOneSkinsFolderTakeTurns)
{
    const QString skinsFolder = skins + QLatin1Char('/');
    const QString first = skinsFolder + QStringLiteral("BlueMain.bmp");
    std::unique_ptr<SkinsFolderLock> held;
    ASSERT_TRUE(SkinsFolderLock::take(skinsFolder, first, &held, 0).ok());
    std::unique_ptr<SkinsFolderLock> lock;
    const Status s = SkinsFolderLock::take(skinsFolder, first, &lock, 200);
    EXPECT_TRUE(s.message().startsWith(QStringLiteral("Another export into the Skins folder"))) << s.message().toStdString();
    EXPECT_EQ(s.kind(), ErrorKind::Busy);
    EXPECT_FALSE(lock);

    // Let go after 300 ms of a 10 s wait: taken within moments, not at the
    // end of a long pause between tries.
    QElapsedTimer clock;
    clock.start();
    std::thread letGo([&] {
        QThread::msleep(300);
        held.reset();
    });
    EXPECT_TRUE(SkinsFolderLock::take(skinsFolder, first, &lock, 10000).ok());
    letGo.join();
    EXPECT_LT(clock.elapsed(), 3000);
    lock.reset();
    EXPECT_FALSE(QFile::exists(skinsFolder + QStringLiteral(".velloran-lock")));

    test::writeFile(skinsFolder + QStringLiteral(".velloran-lock"), QByteArray());
    EXPECT_TRUE(SkinsFolderLock::take(skinsFolder, first, &lock, 0).ok());
    lock.reset();

    // Something other than a file where the lock goes is named, not waited for.
    ASSERT_TRUE(QDir(skins).mkdir(QStringLiteral(".velloran-lock")));
    clock.restart();
    Status blocked = save(QStringLiteral("Blue"));
    EXPECT_TRUE(blocked.message().contains(QStringLiteral(".velloran-lock"))) << blocked.message().toStdString();
    EXPECT_EQ(blocked.kind(), ErrorKind::Io);
    EXPECT_LT(clock.elapsed(), 3000);
    ASSERT_TRUE(QDir(skins).rmdir(QStringLiteral(".velloran-lock")));
#ifdef Q_OS_UNIX
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("elsewhere")), skinsFolder + QStringLiteral(".velloran-lock")));
    blocked = save(QStringLiteral("Blue"));
    EXPECT_TRUE(blocked.message().contains(QStringLiteral(".velloran-lock"))) << blocked.message().toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("elsewhere"))));
#endif
}

} // namespace

namespace {

// The description file in the code page the system uses: a name is written
// when that code page holds it, with its bytes there, and refused
// otherwise, before anything is written.
TEST_F(SkinExportTest, TheDescriptionIsWrittenInTheSystemsCodePage)
{
    struct Case
    {
        int codePage;
        QString name;
        QByteArray bytes; // empty: refused
    };
    const Case cases[] = {
        {1250, QStringLiteral("\u0141\u00f3d\u017a"), "\xa3\xf3" "d\x9f"},
        {1252, QStringLiteral("\u0141\u00f3d\u017a"), {}},
        {1252, QStringLiteral("Caf\u00e9"), "Caf\xe9"},
        {1251, QStringLiteral("Caf\u00e9"), {}},
        {1251, QStringLiteral("\u041c\u043e\u0439"), "\xcc\xee\xe9"},
        {1253, QStringLiteral("\u039c\u03c0\u03bb\u03b5"), "\xcc\xf0\xeb\xe5"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.codePage);
        const CodePage *codePage = CodePage::windows(c.codePage);
        ASSERT_NE(codePage, nullptr);
        builder.setCodePage(codePage);
        const auto before = test::snapshot(skins);
        const Status s = save(c.name);
        if (c.bytes.isEmpty()) {
            EXPECT_TRUE(s.message().contains(QStringLiteral("cannot hold"))) << s.message().toStdString();
            EXPECT_TRUE(s.message().contains(QStringLiteral("Windows-%1").arg(c.codePage))) << s.message().toStdString();
            EXPECT_EQ(test::snapshot(skins), before);
        } else {
            ASSERT_TRUE(s.ok()) << s.message().toStdString();
            EXPECT_TRUE(readAll(skins + QLatin1Char('/') + c.name + QStringLiteral(".skn"))
                            .startsWith(QByteArray("ConsoleBorderImage=" + c.bytes + "Console.bmp\r\n")));
        }
    }
}

} // namespace
