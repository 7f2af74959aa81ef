#include "artwork/bitmapfile.h"

#include <QHash>

#include <cstdint>
#include <optional>

namespace velloran::artwork {

namespace {

void putU16(QByteArray &out, int value)
{
    out.append(static_cast<char>(value & 0xff));
    out.append(static_cast<char>((value >> 8) & 0xff));
}

void putU32(QByteArray &out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(static_cast<char>((value >> shift) & 0xff));
}

void putI32(QByteArray &out, int value)
{
    putU32(out, static_cast<std::uint32_t>(value));
}

// Bytes of one row of bits_per_pixel-deep pixels, padded to a multiple of 4.
int strideOf(int width, int bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4;
}

void putInfoHeader(QByteArray &out, int width, int height, int bitsPerPixel,
                   int imageBytes, int pixelsPerMetre)
{
    putU32(out, 40);           // biSize
    putI32(out, width);        // biWidth
    putI32(out, height);       // biHeight; positive: rows bottom-up
    putU16(out, 1);            // biPlanes
    putU16(out, bitsPerPixel); // biBitCount
    putU32(out, 0);            // biCompression: BI_RGB
    putI32(out, imageBytes);   // biSizeImage
    putI32(out, pixelsPerMetre);
    putI32(out, pixelsPerMetre);
    putU32(out, 0);            // biClrUsed: all 2^bitsPerPixel colours
    putU32(out, 0);            // biClrImportant
}

struct IndexedImage
{
    QList<QRgb> palette;       // 256 entries, entry 0 black
    QList<quint8> indices;     // row-major, top row first
    QList<bool> transparent;   // likewise
};

std::optional<IndexedImage> toIndexed(const QImage &source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    IndexedImage out;
    out.palette = {qRgb(0, 0, 0)};
    QHash<QRgb, quint8> indexOf{{qRgb(0, 0, 0), 0}};
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const bool clear = qAlpha(line[x]) < 128;
            const QRgb colour = qRgb(qRed(line[x]), qGreen(line[x]), qBlue(line[x]));
            quint8 index = 0;
            if (!clear) {
                const auto found = indexOf.constFind(colour);
                if (found != indexOf.cend()) {
                    index = found.value();
                } else if (out.palette.size() < 256) {
                    index = static_cast<quint8>(out.palette.size());
                    indexOf.insert(colour, index);
                    out.palette.append(colour);
                } else {
                    return std::nullopt;
                }
            }
            out.indices.append(index);
            out.transparent.append(clear);
        }
    }
    out.palette.resize(256, qRgb(0, 0, 0));
    return out;
}

} // namespace

QByteArray encodeIco8(const QList<QImage> &images)
{
    QList<IndexedImage> indexed;
    for (const QImage &image : images) {
        if (image.isNull() || image.width() > 256 || image.height() > 256)
            return {};
        std::optional<IndexedImage> one = toIndexed(image);
        if (!one)
            return {};
        indexed.append(std::move(*one));
    }

    const auto resourceBytes = [](const QImage &image) {
        return 40 + 256 * 4 + strideOf(image.width(), 8) * image.height()
               + strideOf(image.width(), 1) * image.height();
    };

    QByteArray out;
    putU16(out, 0);                                 // idReserved
    putU16(out, 1);                                 // idType: icon
    putU16(out, static_cast<int>(images.size()));   // idCount
    int offset = 6 + 16 * static_cast<int>(images.size());
    for (const QImage &image : images) {
        // A side of 256 is stored as 0.
        out.append(static_cast<char>(image.width() & 0xff));  // bWidth
        out.append(static_cast<char>(image.height() & 0xff)); // bHeight
        out.append('\0');                               // bColorCount: 0 for 256 colours
        out.append('\0');                               // bReserved
        putU16(out, 1);                                 // wPlanes
        putU16(out, 8);                                 // wBitCount
        putI32(out, resourceBytes(image));              // dwBytesInRes
        putI32(out, offset);                            // dwImageOffset
        offset += resourceBytes(image);
    }

    for (qsizetype i = 0; i < images.size(); ++i) {
        const int width = images[i].width();
        const int height = images[i].height();
        const IndexedImage &pixels = indexed[i];
        const int xorStride = strideOf(width, 8);
        const int andStride = strideOf(width, 1);
        // The height counts the colour rows and the mask rows together.
        putInfoHeader(out, width, 2 * height, 8, (xorStride + andStride) * height, 0);
        for (const QRgb colour : pixels.palette) {
            out.append(static_cast<char>(qBlue(colour)));
            out.append(static_cast<char>(qGreen(colour)));
            out.append(static_cast<char>(qRed(colour)));
            out.append('\0');
        }
        for (int y = height - 1; y >= 0; --y) {
            for (int x = 0; x < width; ++x)
                out.append(static_cast<char>(pixels.indices[y * width + x]));
            out.append(xorStride - width, '\0');
        }
        for (int y = height - 1; y >= 0; --y) {
            QByteArray row(andStride, '\0');
            for (int x = 0; x < width; ++x) {
                if (pixels.transparent[y * width + x])
                    row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
            }
            out.append(row);
        }
    }
    return out;
}

} // namespace velloran::artwork
