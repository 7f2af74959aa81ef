#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <gtest/gtest.h>

namespace velloran::test {

// The whole file, or empty (with a test failure) when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << path.toStdString() << ": " << file.errorString().toStdString();
        return {};
    }
    return file.readAll();
}

// Little-endian fields of Windows bitmap and icon files; 0 past the end.
inline unsigned le16(const QByteArray &bytes, qsizetype offset)
{
    if (offset + 2 > bytes.size())
        return 0;
    return static_cast<unsigned char>(bytes[offset])
           | static_cast<unsigned>(static_cast<unsigned char>(bytes[offset + 1])) << 8;
}

inline unsigned le32(const QByteArray &bytes, qsizetype offset)
{
    return le16(bytes, offset) | le16(bytes, offset + 2) << 16;
}

} // namespace velloran::test
