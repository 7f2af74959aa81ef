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
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloran;

namespace {

const QByteArray kTemplate = "[Colours]\r\nText=255,255,255\r\n\r\n[Layout]\r\nMenuLeft=635";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The real file system, with one chosen write or rename made to fail.
class FaultyFileSystem final : public FileSystem
{
public:
    int failWrite = -1;  // index of the writeFile call that fails
    int failRename = -1; // index of the rename call that fails
    int writes = 0;
    int renames = 0;

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
        if (renames++ == failRename)
            return Status::failure(QStringLiteral("Cannot rename %1.").arg(from));
        return real().rename(from, to);
    }
    Status remove(const QString &path) override { return real().remove(path); }
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

} // namespace
