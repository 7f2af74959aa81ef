// velloran-cli as a user runs it: arguments, exit codes, messages, and the
// files it writes or leaves alone.
#include "skin/framing.h"
#include "skin/skinbuilder.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <QStandardPaths>

#include <gtest/gtest.h>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

namespace {

struct Outcome
{
    int exitCode = -1;
    QString out;
    QString err;
};

class CliTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        documents = dir.filePath(QStringLiteral("Documents"));
        skins = documents + QStringLiteral("/Talvesh6Std/Skins");
        ASSERT_TRUE(QDir().mkpath(skins));
        picture = dir.filePath(QStringLiteral("picture.bmp"));
        ASSERT_TRUE(velloran::test::gradient(90, 60).save(picture));
    }

    // Runs velloran-cli, or `program` with the arguments when given (a
    // launcher that starts velloran-cli).
    Outcome run(QStringList arguments, const QString &program = QStringLiteral(VELLORAN_CLI))
    {
        QProcess process;
        process.start(program, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
                QString::fromLocal8Bit(process.readAllStandardError())};
    }

    Outcome build(const QString &name, QStringList extra = {})
    {
        return run(extra + QStringList{QStringLiteral("--documents"), documents, picture, name});
    }

    QTemporaryDir dir;
    QString documents;
    QString skins;
    QString picture;
};

TEST_F(CliTest, BuildsASkinAndPrintsTheFivePathsInOrder)
{
    const Outcome r = build(QStringLiteral("Blue"), {QStringLiteral("--hue"), QStringLiteral("40"),
                                                 QStringLiteral("--saturation=-20"),
                                                 QStringLiteral("--lightness"), QStringLiteral("10")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QString());
    const QString base = QDir::toNativeSeparators(skins + QStringLiteral("/Blue"));
    EXPECT_EQ(r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
              (QStringList{base + QStringLiteral("Main.bmp"), base + QStringLiteral("Scene.bmp"),
                           base + QStringLiteral("Chat.bmp"), base + QStringLiteral("Console.bmp"),
                           base + QStringLiteral(".skn")}));
    EXPECT_EQ(QImage(skins + QStringLiteral("/BlueMain.bmp")).size(), QSize(800, 629));
    QFile description(skins + QStringLiteral("/Blue.skn"));
    ASSERT_TRUE(description.open(QIODevice::ReadOnly));
    EXPECT_TRUE(description.readAll().startsWith("ConsoleBorderImage=BlueConsole.bmp\r\n"));
}

// Framing from the command line: the window program's own code, so the same
// choices give the same files; a window left out stays stretched.
TEST_F(CliTest, FillAndFocusFrameTheWindowsAsTheWindowProgramDoes)
{
    using namespace velloran;
    const Outcome r = build(QStringLiteral("Framed"),
                            {QStringLiteral("--fit"), QStringLiteral("fill"), QStringLiteral("--fit-main=stretch"),
                             QStringLiteral("--focus"), QStringLiteral("0.5,0.2"), QStringLiteral("--focus-scene"),
                             QStringLiteral("0,0.5"), QStringLiteral("--hue"), QStringLiteral("30")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    ASSERT_EQ(build(QStringLiteral("Plain"), {QStringLiteral("--hue"), QStringLiteral("30")}).exitCode, 0);

    const QString elsewhere = dir.filePath(QStringLiteral("Elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere + QStringLiteral("/Talvesh6Std/Skins")));
    const HslAdjustment tint{30, 0, 0};
    SkinBuilder builder{SkinTemplates::compiledIn()};
    for (HostWindow w : {HostWindow::Scene, HostWindow::Console, HostWindow::Chat})
        ASSERT_TRUE(builder.setFrame(w, {FitMode::Fill, {}}, tint));
    ASSERT_TRUE(builder.LoadImage(picture, tint).ok());
    ASSERT_TRUE(builder.setFrame(HostWindow::Scene, {FitMode::Fill, {0, 0.5}}, tint));
    for (HostWindow w : {HostWindow::Console, HostWindow::Chat})
        ASSERT_TRUE(builder.setFrame(w, {FitMode::Fill, {0.5, 0.2}}, tint));
    ASSERT_TRUE(builder.SaveSkin(QStringLiteral("Framed"), elsewhere + QStringLiteral("/Talvesh6Std/"),
                                 QStringLiteral(VELLORAN_TEMPLATE))
                    .ok());

    const auto bytes = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    for (const QString &suffix : {QStringLiteral("Main.bmp"), QStringLiteral("Scene.bmp"), QStringLiteral("Chat.bmp"),
                                 QStringLiteral("Console.bmp")}) {
        SCOPED_TRACE(suffix.toStdString());
        const QByteArray cli = bytes(skins + QStringLiteral("/Framed") + suffix);
        ASSERT_FALSE(cli.isEmpty());
        EXPECT_EQ(cli, bytes(elsewhere + QStringLiteral("/Talvesh6Std/Skins/Framed") + suffix));
        const bool stretched = suffix == QStringLiteral("Main.bmp");
        EXPECT_EQ(cli == bytes(skins + QStringLiteral("/Plain") + suffix), stretched);
    }
}

TEST_F(CliTest, UsesTheProFolderAndAnotherTemplateWhenAsked)
{
    ASSERT_TRUE(QDir().mkpath(documents + QStringLiteral("/Talvesh6Pro/Skins")));
    const QString templatePath = dir.filePath(QStringLiteral("mine.txt"));
    velloran::test::writeFile(templatePath, "Mine=1");
    const Outcome r = build(QStringLiteral("Red"), {QStringLiteral("--template"), templatePath});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    QFile description(documents + QStringLiteral("/Talvesh6Pro/Skins/Red.skn"));
    ASSERT_TRUE(description.open(QIODevice::ReadOnly));
    EXPECT_TRUE(description.readAll().endsWith("Skin=Red.bmp\r\nMine=1\r\n"));
    EXPECT_FALSE(QFile::exists(skins + QStringLiteral("/Red.skn")));
}

struct Failure
{
    const char *label;
    QStringList arguments; // %D documents, %P picture
    int exitCode;
    const char *messagePart;
};

class CliFailures : public CliTest, public ::testing::WithParamInterface<Failure>
{
};

TEST_P(CliFailures, ExitWithOneLineNamingTheCauseAndWriteNothing)
{
    QStringList arguments;
    for (QString a : GetParam().arguments)
        arguments << a.replace(QStringLiteral("%D"), documents)
                         .replace(QStringLiteral("%P"), picture)
                         .replace(QStringLiteral("%T"), dir.path());
    const auto before = velloran::test::snapshot(dir.path());
    const Outcome r = run(arguments);
    EXPECT_EQ(r.exitCode, GetParam().exitCode) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("velloran-cli: "))) << r.err.toStdString();
    EXPECT_EQ(r.err.count(QLatin1Char('\n')), 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::fromUtf8(GetParam().messagePart))) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(velloran::test::snapshot(dir.path()), before);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CliFailures,
    ::testing::Values(
        Failure{"NoArguments", {}, 2, "expected IMAGE and NAME"},
        Failure{"OneArgument", {QStringLiteral("%P")}, 2, "expected IMAGE and NAME"},
        Failure{"UnknownOption", {QStringLiteral("--bogus"), QStringLiteral("%P"), QStringLiteral("x")}, 2, "bogus"},
        Failure{"HueOutOfRange", {QStringLiteral("--hue"), QStringLiteral("101"), QStringLiteral("%P"), QStringLiteral("x")}, 2, "--hue"},
        Failure{"LightnessNotANumber", {QStringLiteral("--lightness"), QStringLiteral("pale"), QStringLiteral("%P"), QStringLiteral("x")}, 2, "pale"},
        Failure{"MissingPicture", {QStringLiteral("--documents"), QStringLiteral("%D"), QStringLiteral("%T/none.jpg"), QStringLiteral("x")}, 1, "none.jpg"},
        Failure{"EmptyName", {QStringLiteral("--documents"), QStringLiteral("%D"), QStringLiteral("%P"), QString()}, 1, "Enter a name for your Skin."},
        Failure{"EscapingName", {QStringLiteral("--documents"), QStringLiteral("%D"), QStringLiteral("%P"), QStringLiteral("../x")}, 1, "Skins folder"},
        Failure{"NoHostFolder", {QStringLiteral("--documents"), QStringLiteral("%T/Talvesh6Std"), QStringLiteral("%P"), QStringLiteral("x")}, 1, "Please install Talvesh 6 or Talvesh 6 Pro."},
        Failure{"EmptyDocumentsFolder", {QStringLiteral("--documents"), QString(), QStringLiteral("%P"), QStringLiteral("x")}, 2, "--documents needs the name of a folder"},
        Failure{"FitNeitherStretchNorFill", {QStringLiteral("--fit"), QStringLiteral("crop"), QStringLiteral("%P"), QStringLiteral("x")}, 2, "--fit must be stretch or fill, not \"crop\""},
        Failure{"FitOfOneWindowMisspelt", {QStringLiteral("--fit-scene=Fill"), QStringLiteral("%P"), QStringLiteral("x")}, 2, "--fit-scene must be stretch or fill"},
        Failure{"FocusOutOfRange", {QStringLiteral("--focus"), QStringLiteral("1.5,0"), QStringLiteral("%P"), QStringLiteral("x")}, 2, "--focus must be two fractions from 0 to 1"},
        Failure{"FocusOfOneWindowNotAPair", {QStringLiteral("--focus-chat"), QStringLiteral("0.5"), QStringLiteral("%P"), QStringLiteral("x")}, 2, "--focus-chat must be two fractions"},
        Failure{"HelpAllIsNotOffered", {QStringLiteral("--help-all")}, 2, "help-all"},
        Failure{"MissingTemplate", {QStringLiteral("--documents"), QStringLiteral("%D"), QStringLiteral("--template"), QStringLiteral("%T/none.txt"), QStringLiteral("%P"), QStringLiteral("x")}, 1, "none.txt"}),
    [](const auto &info) { return std::string(info.param.label); });

// The help lists only options that work.
TEST_F(CliTest, HelpListsOnlyWhatWorks)
{
    const Outcome r = run({QStringLiteral("-h")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("-h, --help"))) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains(QStringLiteral("--help-all"))) << r.out.toStdString();
}

// The manual page names every option the help lists.
TEST_F(CliTest, TheManualPageDescribesEveryOption)
{
    QFile page(QStringLiteral(VELLORAN_MANPAGE));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString manual = QString::fromUtf8(page.readAll()).remove(QStringLiteral("\\"));
    const Outcome r = run({QStringLiteral("--help")});
    static const QRegularExpression option(QStringLiteral("--([a-z-]+)"));
    int options = 0;
    for (auto it = option.globalMatch(r.out); it.hasNext(); ++options) {
        const QString name = it.next().captured(0);
        EXPECT_TRUE(manual.contains(name)) << name.toStdString() << " is not in the manual page";
    }
    EXPECT_GE(options, 7);
}

TEST_F(CliTest, HelpAndVersionSucceed)
{
    Outcome r = run({QStringLiteral("--help")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("--documents")));
    r = run({QStringLiteral("--version")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.trimmed(), QStringLiteral("velloran-cli 1.10"));
}

#ifdef Q_OS_LINUX
// How to start velloran-cli as a user whom permissions keep out: this
// user, or as root (whom they do not) the user nobody, through setpriv. The
// program is empty when there is no way.
std::pair<QString, QStringList> unprivileged()
{
    if (::geteuid() != 0)
        return {QStringLiteral(VELLORAN_CLI), {}};
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty())
        return {};
    return {setpriv, {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                      QStringLiteral("--clear-groups"), QStringLiteral(VELLORAN_CLI)}};
}

// A Skins folder the user may not write to, for real. Permissions do not
// keep root (as in CI) out, so there the program runs as the unprivileged
// user nobody, started by setpriv.
TEST_F(CliTest, AReadOnlySkinsFolderIsReportedAndLeftAsItWas)
{
    ASSERT_EQ(build(QStringLiteral("Blue")).exitCode, 0);
    const auto [program, launcher] = unprivileged();
    if (program.isEmpty())
        GTEST_SKIP() << "running as root without setpriv to run as another user";
    // Everyone may enter the test folder and read what is in it; nobody may
    // write to the Skins folder.
    const auto readable = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                          | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(dir.path(), readable | QFileDevice::WriteOwner));
    ASSERT_TRUE(QFile::setPermissions(skins, readable));
    const auto before = velloran::test::snapshot(skins);

    const Outcome r = run(launcher + QStringList{QStringLiteral("--hue"), QStringLiteral("50"),
                                                 QStringLiteral("--documents"), documents, picture,
                                                 QStringLiteral("Blue")},
                          program);
    const auto after = velloran::test::snapshot(skins);
    ASSERT_TRUE(QFile::setPermissions(skins, readable | QFileDevice::WriteOwner));

    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("velloran-cli: "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QDir::toNativeSeparators(skins + QStringLiteral("/BlueMain.bmp"))))
        << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(after, before);
}

// A lock file that another user's run left behind (killed while exporting
// into a Skins folder everyone may write) does not keep this user out: it
// only needs reading to be locked.
TEST_F(CliTest, ALockFileLeftByAnotherUserServesThisOne)
{
    const auto [program, launcher] = unprivileged();
    if (program.isEmpty())
        GTEST_SKIP() << "running as root without setpriv to run as another user";
    const auto all = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                     | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
                     | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    for (const QString &folder : QStringList{dir.path(), documents, documents + QStringLiteral("/Talvesh6Std"), skins})
        ASSERT_TRUE(QFile::setPermissions(folder, all));
    ASSERT_TRUE(QFile::setPermissions(picture, QFileDevice::ReadOwner | QFileDevice::ReadOther));
    const QString lock = skins + QStringLiteral("/.velloran-lock");
    velloran::test::writeFile(lock, "");
    ASSERT_TRUE(QFile::setPermissions(lock, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther));

    const Outcome r = run(launcher + QStringList{QStringLiteral("--documents"), documents, picture,
                                                 QStringLiteral("Blue")},
                          program);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(QFile::exists(skins + QStringLiteral("/Blue.skn")));
    EXPECT_FALSE(QFile::exists(lock));
}

// A full file system, for real: where the kernel lets anyone make a mount
// namespace of their own, the Skins folder (holding an earlier skin) becomes
// a small tmpfs with too little room for the new one, so writing fails half
// way with "No space left on device". The mount ends with the namespace, so
// what the folder holds afterwards is copied out first.
TEST_F(CliTest, AFullFileSystemIsReportedAndTheEarlierSkinKept)
{
    QProcess probe;
    probe.start(QStringLiteral("unshare"), {QStringLiteral("-Urm"), QStringLiteral("true")});
    if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
        GTEST_SKIP() << "no mount namespace may be made here";

    ASSERT_EQ(build(QStringLiteral("Blue")).exitCode, 0);
    const auto before = velloran::test::snapshot(skins);
    const QString earlier = dir.filePath(QStringLiteral("earlier"));
    const QString after = dir.filePath(QStringLiteral("after"));
    ASSERT_TRUE(QDir().mkpath(earlier));
    ASSERT_TRUE(QDir().mkpath(after));
    for (const QString &name : QDir(skins).entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(skins + QLatin1Char('/') + name, earlier + QLatin1Char('/') + name));

    // The earlier skin takes about 2.1 MB, the new main image alone 1.5 MB.
    const QString script = QStringLiteral(
        "mount -t tmpfs -o size=3m tmpfs \"$1\" || exit 99\n"
        "cp -p \"$2\"/* \"$1\"/ || exit 99\n"
        "\"$4\" --hue 50 --documents \"$5\" \"$6\" Blue\n"
        "status=$?\n"
        "cp -p \"$1\"/* \"$3\"/ 2>/dev/null\n"
        "exit $status\n");
    const Outcome r = run({QStringLiteral("-Urm"), QStringLiteral("sh"), QStringLiteral("-c"), script,
                           QStringLiteral("sh"), skins, earlier, after, QStringLiteral(VELLORAN_CLI),
                           documents, picture},
                          QStringLiteral("unshare"));
    ASSERT_NE(r.exitCode, 99) << "the small file system could not be set up: " << r.err.toStdString();
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(QStringLiteral("velloran-cli: Cannot write ")
                                 + QDir::toNativeSeparators(skins + QStringLiteral("/BlueMain.bmp"))))
        << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QStringLiteral("No space left on device"))) << r.err.toStdString();
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(velloran::test::snapshot(after), before);
}
#endif

} // namespace
