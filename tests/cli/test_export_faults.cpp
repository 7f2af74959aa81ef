// velloran-cli exporting over an existing skin while the system works
// against it, for real: the process killed at a system call, system calls
// that fail, and two exports of one name at once. Where strace cannot trace
// here (it is missing, or tracing is not allowed), those cases are skipped.
#include "support/faultyfilesystem.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>

namespace {

using velloran::test::leftovers;
using velloran::test::restore;
using velloran::test::snapshot;

const QStringList kSuffixes = {QStringLiteral("Main.bmp"), QStringLiteral("Scene.bmp"), QStringLiteral("Chat.bmp"),
                               QStringLiteral("Console.bmp"), QStringLiteral(".skn")};

// The system calls by which the export changes the Skins folder or takes
// its lock.
const QString kCallsThatChange =
    QStringLiteral("rename,renameat,renameat2,link,linkat,unlink,unlinkat,fdatasync,fsync,flock");

struct Outcome
{
    bool crashed = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// The environment of a traced program: LeakSanitizer (in the sanitizer
// build) cannot work under a tracer, so it is turned off there.
QProcessEnvironment tracedEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString asan = environment.value(QStringLiteral("ASAN_OPTIONS"));
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       (asan.isEmpty() ? QString() : asan + QLatin1Char(':')) + QStringLiteral("detect_leaks=0"));
    return environment;
}

Outcome run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    if (program == QLatin1String("strace"))
        process.setProcessEnvironment(tracedEnvironment());
    process.start(program, arguments);
    EXPECT_TRUE(process.waitForFinished(120000));
    return {process.exitStatus() == QProcess::CrashExit, process.exitCode(),
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

bool straceWorks()
{
    static const bool works = [] {
        const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
        if (strace.isEmpty())
            return false;
        const Outcome r = run(strace, {QStringLiteral("-o"), QStringLiteral("/dev/null"), QStringLiteral("true")});
        return !r.crashed && r.exitCode == 0;
    }();
    return works;
}

class ExportFaults : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!straceWorks())
            GTEST_SKIP() << "strace is missing or may not trace here";
        ASSERT_TRUE(dir.isValid());
        documents = dir.filePath(QStringLiteral("Documents"));
        skins = documents + QStringLiteral("/Talvesh6Std/Skins");
        ASSERT_TRUE(QDir().mkpath(skins));
        picture = dir.filePath(QStringLiteral("picture.bmp"));
        ASSERT_TRUE(velloran::test::gradient(90, 60).save(picture));

        ASSERT_EQ(cli({QStringLiteral("Old")}).exitCode, 0);
        velloran::test::writeFile(skins + QStringLiteral("/Other.skn"), "other");
        earlier = files(skins, QStringLiteral("Old"));
        before = snapshot(skins);
        fresh = exported(QStringLiteral("50"));
        ASSERT_NE(fresh, earlier);
    }

    // velloran-cli exporting `arguments` (the name last) into the Documents folder.
    QStringList exportArguments(const QStringList &arguments, const QString &hue = QStringLiteral("0"),
                                const QString &documentsFolder = QString())
    {
        return QStringList{QStringLiteral("--hue"), hue, QStringLiteral("--documents"),
                           documentsFolder.isEmpty() ? documents : documentsFolder, picture}
               + arguments;
    }
    Outcome cli(const QStringList &arguments, const QString &hue = QStringLiteral("0"))
    {
        return run(QStringLiteral(VELLORAN_CLI), exportArguments(arguments, hue));
    }
    // velloran-cli exporting Old at `hue`, under strace with these options.
    Outcome traced(const QStringList &options, const QString &hue = QStringLiteral("50"))
    {
        return run(QStringLiteral("strace"), QStringList{QStringLiteral("-f"), QStringLiteral("-qq"),
                                                         QStringLiteral("-o"), QStringLiteral("/dev/null")}
                                                 + options + QStringList{QStringLiteral("--"), QStringLiteral(VELLORAN_CLI)}
                                                 + exportArguments({QStringLiteral("Old")}, hue));
    }

    static QList<QByteArray> files(const QString &folder, const QString &name)
    {
        QList<QByteArray> bytes;
        for (const QString &suffix : kSuffixes) {
            QFile file(folder + QLatin1Char('/') + name + suffix);
            bytes << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)"));
        }
        return bytes;
    }

    // The five files of Old as an export at `hue` writes them, from a
    // Documents folder of their own.
    QList<QByteArray> exported(const QString &hue)
    {
        const QString elsewhere = dir.filePath(QStringLiteral("Hue") + hue);
        EXPECT_TRUE(QDir().mkpath(elsewhere + QStringLiteral("/Talvesh6Std/Skins")));
        EXPECT_EQ(run(QStringLiteral(VELLORAN_CLI), exportArguments({QStringLiteral("Old")}, hue, elsewhere)).exitCode, 0);
        return files(elsewhere + QStringLiteral("/Talvesh6Std/Skins"), QStringLiteral("Old"));
    }

    // How often the export at hue 50 makes each of the system calls that
    // change the Skins folder.
    std::map<QString, int> callCounts()
    {
        const QString log = dir.filePath(QStringLiteral("calls.log"));
        const Outcome r = run(QStringLiteral("strace"),
                              QStringList{QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), log,
                                          QStringLiteral("-e"), QStringLiteral("trace=") + kCallsThatChange,
                                          QStringLiteral("--"), QStringLiteral(VELLORAN_CLI)}
                                  + exportArguments({QStringLiteral("Old")}, QStringLiteral("50")));
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        std::map<QString, int> counts;
        QFile file(log);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        static const QRegularExpression call(QStringLiteral("^(?:\\d+ +)?(\\w+)\\("));
        for (const QByteArray &line : file.readAll().split('\n'))
            if (const auto m = call.match(QString::fromUtf8(line)); m.hasMatch())
                ++counts[m.captured(1)];
        restore(skins, before);
        return counts;
    }

    // After whatever happened: each file of Old whole (the earlier or the new
    // one); then the next run finishes the job, making Old wholly one of the
    // two, and leaves nothing behind.
    void expectWholeThenRecovered(const std::string &trace)
    {
        SCOPED_TRACE(trace);
        const QList<QByteArray> now = files(skins, QStringLiteral("Old"));
        for (int i = 0; i < now.size(); ++i)
            EXPECT_TRUE(now[i] == earlier[i] || now[i] == fresh[i]) << kSuffixes[i].toStdString();
        // (A record still being written when the program stopped holds nothing.)
        const bool leftBehind = QFileInfo::exists(skins + QStringLiteral("/.velloran-export"));

        const Outcome next = cli({QStringLiteral("Green")});
        EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
        EXPECT_EQ(next.err.contains(QStringLiteral("velloran-cli: An export of the skin \"Old\"")), leftBehind)
            << next.err.toStdString();
        const QList<QByteArray> after = files(skins, QStringLiteral("Old"));
        EXPECT_TRUE(after == earlier || after == fresh);
        EXPECT_EQ(leftovers(skins), QStringList());
        restore(skins, before);
    }

    QTemporaryDir dir;
    QString documents, skins, picture;
    QList<QByteArray> earlier, fresh;
    QMap<QString, QByteArray> before;
};

// Killed (SIGKILL, as by a power cut or the user ending the process) at each
// system call that changes the Skins folder in turn.
TEST_F(ExportFaults, KilledAtAnyChangeTheSkinStaysWholeAndTheNextRunFinishes)
{
    int kills = 0;
    for (const auto &[call, count] : callCounts()) {
        for (int k = 1; k <= count; ++k) {
            const Outcome r = traced({QStringLiteral("-e"), QStringLiteral("trace=") + call, QStringLiteral("-e"),
                                      QStringLiteral("inject=%1:signal=KILL:when=%2").arg(call).arg(k)});
            EXPECT_NE(r.exitCode, 0);
            expectWholeThenRecovered(QStringLiteral("killed at %1 number %2").arg(call).arg(k).toStdString());
            ++kills;
        }
    }
    EXPECT_GT(kills, 20);
}

// A system call that fails: the export fails with the system's reason and
// the skin as it was, or succeeds regardless where a way round is meant
// (hard links refused: copies; locks refused: no lock), or says that only
// cleaning up failed.
TEST_F(ExportFaults, AFailingSystemCallIsReportedAndNothingIsLost)
{
    const std::map<QString, std::pair<QString, QString>> errors = {
        {QStringLiteral("rename"), {QStringLiteral("EIO"), QStringLiteral("Input/output error")}},
        {QStringLiteral("fdatasync"), {QStringLiteral("EIO"), QStringLiteral("Input/output error")}},
        {QStringLiteral("fsync"), {QStringLiteral("EIO"), QStringLiteral("Input/output error")}},
        {QStringLiteral("linkat"), {QStringLiteral("EPERM"), QStringLiteral("Operation not permitted")}},
        {QStringLiteral("unlink"), {QStringLiteral("EACCES"), QStringLiteral("Permission denied")}},
        // A file system that cannot lock: the export goes on without the lock.
        {QStringLiteral("flock"), {QStringLiteral("ENOLCK"), QStringLiteral("(it must succeed)")}},
    };
    int failures = 0;
    for (const auto &[call, count] : callCounts()) {
        const auto error = errors.find(call);
        if (error == errors.end())
            continue;
        for (int k = 1; k <= count; ++k) {
            const std::string trace = QStringLiteral("%1 number %2 fails with %3").arg(call).arg(k).arg(error->second.first).toStdString();
            const Outcome r = traced({QStringLiteral("-e"), QStringLiteral("trace=") + call, QStringLiteral("-e"),
                                      QStringLiteral("inject=%1:error=%2:when=%3").arg(call, error->second.first).arg(k)});
            if (r.exitCode == 0) {
                EXPECT_EQ(files(skins, QStringLiteral("Old")), fresh) << trace;
            } else {
                ++failures;
                EXPECT_EQ(r.exitCode, 1) << trace;
                EXPECT_TRUE(r.err.contains(error->second.second)) << trace << ": " << r.err.toStdString();
                if (r.err.contains(QStringLiteral("was exported, but")))
                    EXPECT_EQ(files(skins, QStringLiteral("Old")), fresh) << trace;
                else
                    EXPECT_EQ(snapshot(skins), before) << trace << ": " << r.err.toStdString();
            }
            expectWholeThenRecovered(trace);
        }
    }
    EXPECT_GT(failures, 10);
}

// Two exports of one name at once, many times, with every rename slowed as
// on a slow disk: they take turns, both succeed, the skin is wholly one of
// the two, and not for an instant is one of its files missing.
TEST_F(ExportFaults, TwoExportsOfOneNameAtOnceTakeTurns)
{
    const QList<QByteArray> thirty = exported(QStringLiteral("30"));
    const QList<QByteArray> sixty = exported(QStringLiteral("60"));
    std::atomic<bool> watching = true;
    std::atomic<int> missing = 0;
    std::thread watcher([&] {
        while (watching)
            for (const QString &suffix : kSuffixes)
                if (!QFileInfo::exists(skins + QStringLiteral("/Old") + suffix))
                    ++missing;
    });
    const QStringList slow = {QStringLiteral("-e"), QStringLiteral("trace=rename"), QStringLiteral("-e"),
                              QStringLiteral("inject=rename:delay_enter=5000")};
    for (int round = 0; round < 15; ++round) {
        QProcess first, second;
        first.setProcessEnvironment(tracedEnvironment());
        second.setProcessEnvironment(tracedEnvironment());
        const QStringList prefix = {QStringLiteral("-f"), QStringLiteral("-qq"), QStringLiteral("-o"), QStringLiteral("/dev/null")};
        first.start(QStringLiteral("strace"), prefix + slow + QStringList{QStringLiteral("--"), QStringLiteral(VELLORAN_CLI)}
                                                  + exportArguments({QStringLiteral("Old")}, QStringLiteral("30")));
        second.start(QStringLiteral("strace"), prefix + slow + QStringList{QStringLiteral("--"), QStringLiteral(VELLORAN_CLI)}
                                                   + exportArguments({QStringLiteral("Old")}, QStringLiteral("60")));
        ASSERT_TRUE(first.waitForFinished(60000));
        ASSERT_TRUE(second.waitForFinished(60000));
        EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
        EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
        const QList<QByteArray> now = files(skins, QStringLiteral("Old"));
        EXPECT_TRUE(now == thirty || now == sixty) << "round " << round;
        EXPECT_EQ(leftovers(skins), QStringList()) << "round " << round;
    }
    watching = false;
    watcher.join();
    EXPECT_EQ(missing, 0);
}

} // namespace
