// velloran-make-corpus DIR [--seeds]: writes the corpus of picture files
// into DIR, with expected.txt saying what loading each must give. With
// --seeds only the well-formed variants are written, as fuzzing seeds.
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
    QStringList folders = arguments;
    folders.removeAll(QStringLiteral("--seeds"));
    if (folders.size() != 1) {
        QTextStream(stderr) << "usage: velloran-make-corpus DIR [--seeds]" << Qt::endl;
        return 2;
    }
    const QDir dir(folders.first());
    if (!QDir().mkpath(dir.path())) {
        QTextStream(stderr) << "velloran-make-corpus: cannot create " << dir.path() << Qt::endl;
        return 1;
    }

    QByteArray expected;
    for (const velloran::corpus::Entry &entry : velloran::corpus::entries()) {
        if (seedsOnly && !entry.seed)
            continue;
        QFile file(dir.filePath(entry.fileName));
        if (!file.open(QIODevice::WriteOnly) || file.write(entry.bytes) != entry.bytes.size()) {
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
