// Every file of the corpus (tools/corpus), and paths that are no file at all,
// given to the loader and to velloran-cli: each is loaded upright at its size,
// or refused with a message that names the file and the reason, and a refusal
// changes nothing: the surface keeps its picture, the program exits 1 and the
// Skins folder stays as it was.
#include "corpus/corpus.h"
#include "imaging/imagefile.h"
#include "imaging/imagesurface.h"
#include "support/collectedrows.h"
#include "support/testsupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace velloran;
using corpus::Entry;
using corpus::Outcome;

namespace {

struct Case
{
    Entry entry;
    // Makes the path in the folder: mostly writes the entry's bytes there.
    std::function<QString(const QDir &, const Entry &)> make;
};

void PrintTo(const Case &c, std::ostream *os)
{
    *os << c.entry.fileName.toStdString();
}

QString writeEntry(const QDir &dir, const Entry &entry)
{
    const QString path = dir.filePath(entry.fileName);
    test::writeFile(path, entry.bytes);
    return path;
}

Entry refusedPath(const char *name, const char *reason)
{
    Entry e;
    e.fileName = QString::fromUtf8(name);
    e.outcome = Outcome::Refused;
    e.reason = QString::fromUtf8(reason);
    return e;
}

std::vector<Case> cases()
{
    std::vector<Case> all;
    for (const Entry &entry : corpus::entries())
        all.push_back({entry, writeEntry});

    all.push_back({refusedPath("folder.bmp", "it is a folder, not a file"), [](const QDir &dir, const Entry &e) {
                       EXPECT_TRUE(dir.mkdir(e.fileName));
                       return dir.filePath(e.fileName);
                   }});
    all.push_back({refusedPath("missing.jpg", "the file does not exist"),
                   [](const QDir &dir, const Entry &e) { return dir.filePath(e.fileName); }});
#ifdef Q_OS_UNIX
    // A pipe with no writer: opening it to read would wait for ever.
    all.push_back({refusedPath("pipe.bmp", "it is not a plain file"), [](const QDir &dir, const Entry &e) {
                       const QString path = dir.filePath(e.fileName);
                       EXPECT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
                       return path;
                   }});
#endif
    // A name beyond ASCII, as the open-file dialog may give.
    for (const Entry &entry : corpus::entries()) {
        if (entry.fileName == QLatin1String("bmp-24bit.bmp")) {
            Entry renamed = entry;
            renamed.fileName = QStringLiteral("\u00c9t\u00e9 \u00e0 Z\u00fcrich.bmp");
            all.push_back({renamed, writeEntry});
        }
    }
    return all;
}

std::string caseName(const ::testing::TestParamInfo<Case> &info)
{
    std::string name;
    for (const QChar c : info.param.entry.fileName)
        name += c.isLetterOrNumber() && c.unicode() < 0x80 ? char(c.unicode()) : '_';
    return name;
}

// The colour at the centre of each quarter of the picture.
std::array<QRgb, 4> quarterCentres(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    return {image.pixel(w / 4, h / 4), image.pixel(w * 3 / 4, h / 4), image.pixel(w / 4, h * 3 / 4),
            image.pixel(w * 3 / 4, h * 3 / 4)};
}

bool near(QRgb a, QRgb b, int tolerance)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance
        && std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

std::string hex(QRgb c)
{
    return QString::number(c & 0xffffff, 16).rightJustified(6, QLatin1Char('0')).toStdString();
}

class Corpus : public ::testing::TestWithParam<Case>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("pictures"))));
        path = GetParam().make(QDir(dir.filePath(QStringLiteral("pictures"))), GetParam().entry);
    }

    const Entry &entry() const { return GetParam().entry; }

    // What a refusal must say, in full up to the reason's own words.
    QString refusalStart() const
    {
        return QStringLiteral("Cannot load ") + QDir::toNativeSeparators(path) + QStringLiteral(": ");
    }

    QTemporaryDir dir;
    QString path;
};

TEST_P(Corpus, LoaderLoadsUprightOrRefusesAndKeepsItsPicture)
{
    ImageSurface surface;
    const QImage before = test::gradient(3, 2);
    surface.SetPicture(before);

    const Status s = surface.LoadImageFile(path);
    if (entry().outcome == Outcome::Loads) {
        ASSERT_TRUE(s.ok()) << s.message().toStdString();
        const QImage &image = surface.image();
        EXPECT_EQ(image.size(), entry().size);
        EXPECT_EQ(image.format(), QImage::Format_RGB32);
        const std::array<QRgb, 4> got = quarterCentres(image);
        for (int i = 0; i < 4; ++i)
            EXPECT_TRUE(near(got[i], entry().quarters[i], entry().tolerance))
                << "quarter " << i << ": " << hex(got[i]) << " instead of " << hex(entry().quarters[i]);
    } else {
        ASSERT_FALSE(s.ok());
        EXPECT_TRUE(s.message().startsWith(refusalStart())) << s.message().toStdString();
        EXPECT_TRUE(s.message().contains(entry().reason)) << s.message().toStdString();
        EXPECT_EQ(surface.image(), before);
    }
}

// Row by row, every file gives the picture that decoding it whole gives, or
// the same refusal.
TEST_P(Corpus, RowsGiveTheWholePicture)
{
    const DecodedImage whole = decodeImageFile(path);
    test::CollectedRows rows;
    const QString refusal = decodeImageFileRows(path, {}, rows).message();
    if (!whole) {
        EXPECT_EQ(refusal, whole.error());
        return;
    }
    ASSERT_EQ(refusal, QString());
    EXPECT_EQ(rows.starts, 1);
    EXPECT_EQ(rows.next, whole.value().height());
    EXPECT_EQ(rows.image, whole.value());
}

TEST_P(Corpus, CliBuildsTheSkinOrExitsOneAndWritesNothing)
{
    // (The pictures folder is left out of the snapshots: it may hold a pipe.)
    const QString documents = dir.filePath(QStringLiteral("Documents"));
    const QString skins = documents + QStringLiteral("/Talvesh6Std/Skins");
    test::writeFile(skins + QStringLiteral("/Keep.skn"), "Skin=Keep.bmp\r\n");
    test::writeFile(skins + QStringLiteral("/KeepMain.bmp"), "an earlier skin");
    const auto before = test::snapshot(documents);

    QProcess cli;
    cli.start(QStringLiteral(VELLORAN_CLI),
              {QStringLiteral("--documents"), documents, path, QStringLiteral("Blue")});
    // A generous bound for a sanitizer build on a busy machine; each file
    // takes well under a second.
    ASSERT_TRUE(cli.waitForFinished(60000)) << "velloran-cli did not finish";
    const QString out = QString::fromUtf8(cli.readAllStandardOutput());
    const QString err = QString::fromUtf8(cli.readAllStandardError());
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);

    if (entry().outcome == Outcome::Loads) {
        EXPECT_EQ(cli.exitCode(), 0) << err.toStdString();
        EXPECT_EQ(err, QString());
        EXPECT_EQ(out.count(QLatin1Char('\n')), 5) << out.toStdString();
        auto after = test::snapshot(documents);
        for (const char *file : {"BlueMain.bmp", "BlueScene.bmp", "BlueChat.bmp", "BlueConsole.bmp", "Blue.skn"})
            EXPECT_TRUE(after.remove(QStringLiteral("Talvesh6Std/Skins/") + QLatin1String(file)) == 1) << file;
        EXPECT_EQ(after, before);
    } else {
        EXPECT_EQ(cli.exitCode(), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith(QStringLiteral("velloran-cli: ") + refusalStart())) << err.toStdString();
        EXPECT_TRUE(err.contains(entry().reason)) << err.toStdString();
        EXPECT_EQ(err.count(QLatin1Char('\n')), 1) << err.toStdString();
        EXPECT_EQ(out, QString());
        EXPECT_EQ(test::snapshot(documents), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, Corpus, ::testing::ValuesIn(cases()), caseName);

// The fuzzer decodes from memory; that must be the very decoding a file
// gets, refusals and their reasons included.
TEST(CorpusFromMemory, DecodesAsFromTheFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const Entry &entry : corpus::entries()) {
        const QString path = dir.filePath(entry.fileName);
        test::writeFile(path, entry.bytes);
        const DecodedImage fromFile = decodeImageFile(path);
        const DecodedImage fromMemory = decodeImageData(entry.bytes);
        EXPECT_EQ(fromMemory.error(), fromFile.error()) << entry.fileName.toStdString();
        EXPECT_EQ(fromMemory.value(), fromFile.value()) << entry.fileName.toStdString();
    }
}

// The corpus is the same on every run: the generator depends on nothing but
// its own code and libjpeg.
TEST(CorpusGenerator, IsDeterministicAndNamesEachFileOnce)
{
    const std::vector<Entry> first = corpus::entries();
    const std::vector<Entry> second = corpus::entries();
    ASSERT_EQ(first.size(), second.size());
    QStringList names;
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].bytes, second[i].bytes) << first[i].fileName.toStdString();
        names << first[i].fileName;
    }
    names.removeDuplicates();
    EXPECT_EQ(std::size_t(names.size()), first.size());
}

} // namespace
