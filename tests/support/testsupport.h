#pragma once

// Small helpers shared by the tests: pictures made in code and snapshots of
// folders to prove that nothing changed.

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QMap>
#include <QString>

namespace velloran::test {

// A picture of one colour.
QImage solid(int width, int height, QColor colour, QImage::Format format = QImage::Format_RGB32);

// A picture whose every pixel differs from its neighbours, for checks that
// pixels came from the right place.
QImage gradient(int width, int height);

// Every file below `folder` (relative path -> bytes), folders marked with a
// trailing '/', for before/after comparisons.
QMap<QString, QByteArray> snapshot(const QString &folder);

// Writes bytes to a file, creating its folder; fails the test on error.
void writeFile(const QString &path, const QByteArray &bytes);

} // namespace velloran::test
