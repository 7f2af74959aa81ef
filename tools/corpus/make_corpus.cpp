// velloran-make-corpus DIR [--seeds | --large]: writes the corpus of picture
// files into DIR, with expected.txt saying what loading each must give. With
// --seeds only the well-formed variants are written, as fuzzing seeds; with
// --large the large hostile files instead (hundreds of megabytes).
#include "corpus/corpus.h"

#include <QDir>
#include <QFile>
#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool seedsOnly = arguments.contains(QStringLiteral("--seeds"));
    const bool large = arguments.contains(QStringLiteral("--large"));
    QStringList folders = arguments;
    folders.removeAll(QStringLiteral("--seeds"));
    folders.removeAll(QStringLiteral("--large"));
    if (folders.size() != 1 || (seedsOnly && large)) {
        QTextStream(stderr) << "usage: velloran-make-corpus DIR [--seeds | --large]" << Qt::endl;
        return 2;
    }
    const QDir dir(folders.first());
    if (!QDir().mkpath(dir.path())) {
        QTextStream(stderr) << "velloran-make-corpus: cannot create " << dir.path() << Qt::endl;
        return 1;
    }

    std::vector<velloran::corpus::LargeEntry> entries;
    if (large) {
        entries = velloran::corpus::largeEntries();
    } else {
        for (velloran::corpus::Entry &entry : velloran::corpus::entries())
            entries.push_back({std::move(entry), {}});
    }
    QByteArray expected;
    for (velloran::corpus::LargeEntry &made : entries) {
        velloran::corpus::Entry &entry = made.entry;
        if (seedsOnly && !entry.seed)
            continue;
        if (made.make)
            entry.bytes = made.make();
        QFile file(dir.filePath(entry.fileName));
        const bool written = file.open(QIODevice::WriteOnly) && file.write(entry.bytes) == entry.bytes.size();
        entry.bytes.clear();
        if (!written) {
            QTextStream(stderr) << "velloran-make-corpus: cannot write " << file.fileName() << Qt::endl;
            return 1;
        }
        expected += entry.fileName.toUtf8() + '\t'
                    + (entry.outcome == velloran::corpus::Outcome::Loads
                           ? QStringLiteral("loads %1 x %2").arg(entry.size.width()).arg(entry.size.height())
                           : QStringLiteral("refused: ") + entry.reason)
                          .toUtf8()
                    + '\n';
    }
    if (!seedsOnly) {
        QFile list(dir.filePath(QStringLiteral("expected.txt")));
        if (!list.open(QIODevice::WriteOnly) || list.write(expected) != expected.size())
            return 1;
    }
    return 0;
}
