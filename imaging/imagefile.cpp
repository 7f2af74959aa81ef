// Picture files in and out: decoding by content (BMP and JPEG by our own
// decoders, anything else Qt reads through QImageReader) and 24-bit BMP
// encoding.

#include "imaging/imagefile.h"
#include "imaging/imagefile_p.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <limits>

namespace velloran {

namespace {

// Files are read whole (BMP) or streamed (JPEG); either way no more than this.
constexpr qint64 kMaxFileBytes = 512LL * 1024 * 1024;

DecodedImage refuse(QString reason)
{
    return {QImage(), std::move(reason)};
}

// The start-of-image marker alone: whatever follows it is for the JPEG
// decoder to judge (Qt's own JPEG reader, which needs no more than this,
// would load damaged data that ours refuses).
bool isJpeg(const char *head, qint64 size)
{
    return size >= 2 && uchar(head[0]) == 0xff && uchar(head[1]) == 0xd8;
}

bool isBmp(const char *head, qint64 size)
{
    return size >= 2 && head[0] == 'B' && head[1] == 'M';
}

DecodedImage decodeWithQt(QFile &file, const DecodeOptions &options)
{
    QImageReader reader(&file);
    // The name says nothing: only the content picks the format.
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    const qint64 maxBytes = std::min<qint64>(options.maxPixels, std::numeric_limits<int>::max()) * 4;
    reader.setAllocationLimit(int(std::clamp<qint64>((maxBytes + (1 << 20) - 1) >> 20, 1,
                                                     std::numeric_limits<int>::max())));
    if (!reader.canRead())
        return refuse(QStringLiteral("the file is not a BMP or JPEG picture"));

    const QSize declared = reader.size();
    if (declared.isValid() && qint64(declared.width()) * declared.height() > options.maxPixels)
        return refuse(imagefile_detail::tooLargeReason(declared.width(), declared.height(),
                                                       options.maxPixels));
    const QImage image = reader.read();
    if (image.isNull())
        return refuse(QStringLiteral("the picture cannot be decoded (%1)").arg(reader.errorString()));
    if (qint64(image.width()) * image.height() > options.maxPixels)
        return refuse(imagefile_detail::tooLargeReason(image.width(), image.height(), options.maxPixels));
    return {image.convertToFormat(QImage::Format_RGB32), QString()};
}

void putU16(uchar *p, quint32 v)
{
    p[0] = uchar(v);
    p[1] = uchar(v >> 8);
}

void putU32(uchar *p, quint32 v)
{
    putU16(p, v & 0xffff);
    putU16(p + 2, v >> 16);
}

// One RGB32 or ARGB32 row to B, G, R bytes; the alpha byte is dropped.
void bgrFromRgb32Row(const QRgb *src, uchar *dst, int width)
{
    for (int x = 0; x < width; ++x, dst += 3) {
        dst[0] = uchar(qBlue(src[x]));
        dst[1] = uchar(qGreen(src[x]));
        dst[2] = uchar(qRed(src[x]));
    }
}

} // namespace

namespace imagefile_detail {

QString tooLargeReason(qint64 width, qint64 height, qint64 maxPixels)
{
    // "67.1 million" for the default limit; small limits (tests) exactly.
    const QString limit = maxPixels >= 1000000
                              ? QString::number(double(maxPixels) / 1e6, 'g', 3) + QStringLiteral(" million")
                              : QString::number(maxPixels);
    return QStringLiteral("the picture is too large (%1 x %2 pixels; at most %3 pixels are accepted)")
        .arg(width)
        .arg(height)
        .arg(limit);
}

QString truncatedReason()
{
    return QStringLiteral("the file ends before the picture data is complete");
}

QString outOfMemoryReason(qint64 width, qint64 height)
{
    return QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels").arg(width).arg(height);
}

} // namespace imagefile_detail

DecodedImage decodeImageFile(const QString &path, const DecodeOptions &options)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return refuse(QStringLiteral("the file does not exist"));
    if (info.isDir())
        return refuse(QStringLiteral("it is a folder, not a file"));
    // Devices and pipes could block or never end.
    if (!info.isFile())
        return refuse(QStringLiteral("it is not a plain file"));

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("the file cannot be read (%1)").arg(file.errorString()));
    const qint64 size = file.size();
    if (size == 0)
        return refuse(QStringLiteral("the file is empty"));
    if (size > kMaxFileBytes)
        return refuse(QStringLiteral("the file is too large (%1 MiB; at most %2 MiB are read)")
                          .arg(size >> 20)
                          .arg(kMaxFileBytes >> 20));

    char head[4] = {};
    const qint64 headBytes = file.peek(head, sizeof head);
    if (headBytes < 0)
        return refuse(QStringLiteral("the file cannot be read (%1)").arg(file.errorString()));

    if (isJpeg(head, headBytes))
        return imagefile_detail::decodeJpeg(file, kMaxFileBytes, options);
    if (isBmp(head, headBytes)) {
        const QByteArray bytes = file.read(size);
        if (bytes.size() != size)
            return refuse(QStringLiteral("the file cannot be read (%1)")
                              .arg(file.error() != QFileDevice::NoError
                                       ? file.errorString()
                                       : QStringLiteral("it changed while being read")));
        return imagefile_detail::decodeBmp(bytes, options);
    }
    return decodeWithQt(file, options);
}

QByteArray encodeBmp24(const QImage &image)
{
    if (image.isNull())
        return {};
    // Straight (not premultiplied) colours, whatever the alpha says.
    const QImage rgb = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                     : QImage::Format_RGB32);
    if (rgb.isNull())
        return {};

    constexpr qint64 kHeaderBytes = 14 + 40;
    constexpr quint32 kPixelsPerMetre = 3780; // 96 dots per inch
    const int width = rgb.width();
    const int height = rgb.height();
    const qint64 rowBytes = (qint64(width) * 3 + 3) / 4 * 4;
    const qint64 imageBytes = rowBytes * height;
    if (kHeaderBytes + imageBytes > std::numeric_limits<quint32>::max())
        return {}; // beyond what the format's 32-bit sizes can state

    QByteArray out(kHeaderBytes + imageBytes, Qt::Uninitialized);
    auto *p = reinterpret_cast<uchar *>(out.data());
    // BITMAPFILEHEADER
    p[0] = 'B';
    p[1] = 'M';
    putU32(p + 2, quint32(kHeaderBytes + imageBytes));
    putU32(p + 6, 0);
    putU32(p + 10, quint32(kHeaderBytes));
    // BITMAPINFOHEADER: positive height, so rows run bottom-up
    putU32(p + 14, 40);
    putU32(p + 18, quint32(width));
    putU32(p + 22, quint32(height));
    putU16(p + 26, 1);
    putU16(p + 28, 24);
    putU32(p + 30, 0); // BI_RGB
    putU32(p + 34, quint32(imageBytes));
    putU32(p + 38, kPixelsPerMetre);
    putU32(p + 42, kPixelsPerMetre);
    putU32(p + 46, 0);
    putU32(p + 50, 0);

    const qint64 padding = rowBytes - qint64(width) * 3;
    uchar *row = p + kHeaderBytes;
    for (int y = height - 1; y >= 0; --y, row += rowBytes) {
        bgrFromRgb32Row(reinterpret_cast<const QRgb *>(rgb.constScanLine(y)), row, width);
        std::fill(row + rowBytes - padding, row + rowBytes, uchar(0));
    }
    return out;
}

} // namespace velloran
