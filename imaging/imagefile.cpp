// Picture files in and out: decoding by content (BMP, JPEG and PNG by our
// own decoders) and 24-bit BMP encoding.

#include "imaging/imagefile.h"
#include "imaging/imagefile_p.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>

namespace velloran {

namespace {

DecodedImage refuse(QString reason)
{
    return imagefile_detail::refused(std::move(reason));
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

constexpr char kPngSignature[8] = {char(0x89), 'P', 'N', 'G', '\r', '\n', char(0x1a), '\n'};

bool isPng(const char *head, qint64 size)
{
    return size >= 8 && std::equal(head, head + 8, kPngSignature);
}

// Anything else is refused, naming the format when Qt knows it. Its other
// readers are not used: some of them (GIF) give the part of a cut-short
// file that is there as if it were the whole picture.
DecodedImage refuseOther(QIODevice &device)
{
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    if (reader.canRead() && !reader.format().isEmpty())
        return refuse(QStringLiteral("the file is not a BMP or JPEG picture (it is a %1 picture, "
                                     "which is not read)")
                          .arg(QString::fromLatin1(reader.format().toUpper())));
    return refuse(QStringLiteral("the file is not a BMP or JPEG picture"));
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

quint32 storedU32(const uchar *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// One RGB32 or ARGB32 row to B, G, R bytes; the alpha byte is dropped.
// Four pixels at a time make three whole little-endian words (the bytes
// B G R B | G R B G | R B G R), stored in three moves instead of twelve.
void bgrFromRgb32Row(const QRgb *src, uchar *dst, int width)
{
    int x = 0;
    for (; x + 4 <= width; x += 4, dst += 12) {
        const quint32 a = src[x];
        const quint32 b = src[x + 1];
        const quint32 c = src[x + 2];
        const quint32 d = src[x + 3];
        qToLittleEndian<quint32>((a & 0x00FFFFFFu) | b << 24, dst);
        qToLittleEndian<quint32>((b >> 8 & 0x0000FFFFu) | c << 16, dst + 4);
        qToLittleEndian<quint32>((c >> 16 & 0x000000FFu) | d << 8, dst + 8);
    }
    for (; x < width; ++x, dst += 3) {
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

Status sizeRefusal(qint64 width, qint64 height, const DecodeOptions &options)
{
    if (width * height > options.maxPixels)
        return refused(tooLargeReason(width, height, options.maxPixels));
    if (width > options.maxSide || height > options.maxSide)
        return refused(QStringLiteral("the picture is too large (%1 x %2 pixels; at most %3 pixels on a side "
                                      "are accepted)")
                           .arg(width)
                           .arg(height)
                           .arg(options.maxSide));
    return Status::success();
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

namespace {

QString readFailure(const QIODevice &device)
{
    return QStringLiteral("the file cannot be read (%1)").arg(device.errorString());
}

// Everything after opening: the device holds `size` bytes from its start;
// `reopen` opens another over the same bytes.
DecodedImage decodeDevice(QIODevice &device, qint64 size, const DecodeOptions &options,
                          const imagefile_detail::DeviceOpener &reopen)
{
    if (size == 0)
        return refuse(QStringLiteral("the file is empty"));
    if (size > kMaxFileBytes)
        return refuse(QStringLiteral("the file is too large (%1 MiB; at most %2 MiB are read)")
                          .arg(size >> 20)
                          .arg(kMaxFileBytes >> 20));

    char head[8] = {};
    const qint64 headBytes = device.peek(head, sizeof head);
    if (headBytes < 0)
        return refuse(readFailure(device));

    if (isJpeg(head, headBytes))
        return imagefile_detail::decodeJpeg(device, kMaxFileBytes, options, reopen);
    if (isBmp(head, headBytes)) {
        imagefile_detail::ImageRows picture;
        if (Status s = imagefile_detail::decodeBmpRows(device, size, options, picture); !s)
            return s;
        return std::move(picture.image);
    }
    if (!isPng(head, headBytes))
        return refuseOther(device);

    const QByteArray bytes = device.read(size);
    if (bytes.size() != size) {
        const auto *file = qobject_cast<const QFileDevice *>(&device);
        return refuse(file && file->error() != QFileDevice::NoError
                          ? readFailure(device)
                          : QStringLiteral("the file cannot be read (it changed while being read)"));
    }
    return imagefile_detail::decodePng(bytes, options);
}

} // namespace

namespace {

// Opens the file again, for a second decoder over the same bytes.
imagefile_detail::DeviceOpener reopener(const QString &path)
{
    return [path]() -> std::unique_ptr<QIODevice> {
        auto again = std::make_unique<QFile>(path);
        if (!again->open(QIODevice::ReadOnly))
            return nullptr;
        return again;
    };
}

// Opens a picture file for reading; the refusal when it is not one to read.
Status openPicture(const QString &path, QFile &file)
{
    using imagefile_detail::refused;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.exists())
        return refused(QStringLiteral("the file does not exist"));
    if (info.isDir())
        return refused(QStringLiteral("it is a folder, not a file"));
    // Devices and pipes could block or never end.
    if (!info.isFile())
        return refused(QStringLiteral("it is not a plain file"));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return refused(readFailure(file));
    return Status::success();
}

} // namespace

DecodedImage decodeImageFile(const QString &path, const DecodeOptions &options)
{
    QFile file;
    if (Status s = openPicture(path, file); !s)
        return s;
    return decodeDevice(file, file.size(), options, reopener(path));
}

Status decodeImageFileRows(const QString &path, const DecodeOptions &options, RowSink &sink)
{
    QFile file;
    if (Status s = openPicture(path, file); !s)
        return s;
    const qint64 size = file.size();
    char head[2] = {};
    if (size > 0 && size <= kMaxFileBytes && file.peek(head, sizeof head) == sizeof head && isBmp(head, sizeof head))
        return imagefile_detail::decodeBmpRows(file, size, options, sink);

    const DecodedImage decoded = decodeDevice(file, size, options, reopener(path));
    if (!decoded)
        return decoded.status();
    const QImage &image = decoded.value();
    if (!sink.start(image.size()))
        return imagefile_detail::refused(imagefile_detail::outOfMemoryReason(image.width(), image.height()));
    sink.rows(reinterpret_cast<const QRgb *>(image.constBits()), image.bytesPerLine(), image.height());
    return Status::success();
}

DecodedImage decodeImageData(const QByteArray &content, const DecodeOptions &options)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    return decodeDevice(buffer, content.size(), options, [&content]() -> std::unique_ptr<QIODevice> {
        auto again = std::make_unique<QBuffer>();
        again->setData(content);
        again->open(QIODevice::ReadOnly);
        return again;
    });
}

bool encodeBmp24(const QImage &image, QByteArray *out)
{
    const auto nothing = [&] {
        *out = QByteArray();
        return false;
    };
    if (image.isNull())
        return nothing();
    // Straight (not premultiplied) colours, whatever the alpha says.
    const QImage rgb = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                     : QImage::Format_RGB32);
    if (rgb.isNull())
        return nothing();

    constexpr qint64 kHeaderBytes = 14 + 40;
    constexpr quint32 kPixelsPerMetre = 3780; // 96 dots per inch
    const int width = rgb.width();
    const int height = rgb.height();
    const qint64 rowBytes = (qint64(width) * 3 + 3) / 4 * 4;
    const qint64 imageBytes = rowBytes * height;
    if (kHeaderBytes + imageBytes > std::numeric_limits<quint32>::max())
        return nothing(); // beyond what the format's 32-bit sizes can state

    // The buffer's memory is reused only where it is its own: a copy of it
    // elsewhere keeps what it holds.
    if (!out->isDetached() || out->capacity() < kHeaderBytes + imageBytes)
        *out = QByteArray(kHeaderBytes + imageBytes, Qt::Uninitialized);
    else
        out->resize(kHeaderBytes + imageBytes);
    auto *p = reinterpret_cast<uchar *>(out->data());
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
    return true;
}

QByteArray encodeBmp24(const QImage &image)
{
    QByteArray out;
    encodeBmp24(image, &out);
    return out;
}

QByteArray encodeStoredPicture(const QImage &image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    if (argb.isNull())
        return {};
    const qsizetype rowBytes = qsizetype(argb.width()) * 4;
    QByteArray out(8 + rowBytes * argb.height(), Qt::Uninitialized);
    auto *p = reinterpret_cast<uchar *>(out.data());
    putU32(p, quint32(argb.width()));
    putU32(p + 4, quint32(argb.height()));
    uchar *row = p + 8;
    for (int y = 0; y < argb.height(); ++y, row += rowBytes) {
        const auto *pixels = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            putU32(row + 4 * x, pixels[x]);
    }
    return out;
}

namespace {

// The width and height of a whole stored picture in `bytes`, or nothing.
std::optional<QSize> storedPictureSize(QByteArrayView bytes)
{
    if (bytes.size() < 8)
        return std::nullopt;
    const auto *p = reinterpret_cast<const uchar *>(bytes.data());
    const quint32 width = storedU32(p);
    const quint32 height = storedU32(p + 4);
    if (width == 0 || height == 0 || width > quint32(kMaxPictureSide) || height > quint32(kMaxPictureSide)
        || qint64(width) * height * 4 != bytes.size() - 8)
        return std::nullopt;
    return QSize(int(width), int(height));
}

} // namespace

QImage decodeStoredPicture(QByteArrayView bytes)
{
    const std::optional<QSize> size = storedPictureSize(bytes);
    if (!size)
        return {};
    QImage image(*size, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    const qsizetype rowBytes = qsizetype(size->width()) * 4;
    const auto *row = reinterpret_cast<const uchar *>(bytes.data()) + 8;
    for (int y = 0; y < image.height(); ++y, row += rowBytes) {
        auto *pixels = reinterpret_cast<QRgb *>(image.scanLine(y));
        if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
            std::memcpy(pixels, row, std::size_t(rowBytes)); // the stored byte order is the memory's
        } else {
            for (int x = 0; x < image.width(); ++x)
                pixels[x] = storedU32(row + 4 * x);
        }
    }
    return image;
}

QImage viewStoredPicture(QByteArrayView bytes)
{
    const std::optional<QSize> size = storedPictureSize(bytes);
    if (!size)
        return {};
    const auto *pixels = reinterpret_cast<const uchar *>(bytes.data()) + 8;
    // QImage wants every row on a 32-bit boundary; the rows follow each
    // other without padding, so the first one being there is enough.
    if (Q_BYTE_ORDER != Q_LITTLE_ENDIAN || reinterpret_cast<quintptr>(pixels) % alignof(quint32) != 0)
        return decodeStoredPicture(bytes);
    return QImage(pixels, size->width(), size->height(), qsizetype(size->width()) * 4, QImage::Format_ARGB32);
}

} // namespace velloran
