// Decodes Windows and OS/2 bitmap files, trusting nothing the header says.
//
// Every size and offset is checked against the bytes actually present before
// the picture is allocated, so a header that lies about its size costs no
// memory. Pixels that run-length data leaves unwritten are black, and so are
// palette indices past the end of the palette.

#include "imaging/imagefile_p.h"

#include <QFileDevice>
#include <QIODevice>
#include <QImage>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <tuple>
#include <vector>

namespace velloran::imagefile_detail {

namespace {

enum Compression : quint32 {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,
};

constexpr qsizetype kFileHeaderBytes = 14;
constexpr qsizetype kCoreHeaderBytes = 12;
constexpr qsizetype kInfoHeaderBytes = 40;
constexpr QRgb kBlack = 0xff000000;

quint32 u16At(const uchar *p)
{
    return quint32(p[0]) | quint32(p[1]) << 8;
}

quint32 u32At(const uchar *p)
{
    return u16At(p) | u16At(p + 2) << 16;
}

qint32 i32At(const uchar *p)
{
    return static_cast<qint32>(u32At(p));
}

// One colour channel of a bit-field pixel: where it sits and how its value
// scales to 8 bits. Channels wider than 8 bits keep their top 8.
struct Channel
{
    quint32 mask = 0;
    int shift = 0;
    int drop = 0;
    std::array<uchar, 256> scale{};

    static std::optional<Channel> fromMask(quint32 mask)
    {
        Channel c;
        c.mask = mask;
        if (mask == 0)
            return c; // an absent channel reads as 0
        c.shift = std::countr_zero(mask);
        const quint32 field = mask >> c.shift;
        if ((field & (field + 1)) != 0)
            return std::nullopt; // not one run of bits
        const int bits = std::popcount(field);
        c.drop = bits > 8 ? bits - 8 : 0;
        const quint32 top = (1u << (bits - c.drop)) - 1;
        for (quint32 v = 0; v <= top; ++v)
            c.scale[v] = static_cast<uchar>((v * 255 + top / 2) / top);
        return c;
    }

    uint value(quint32 pixel) const { return scale[((pixel & mask) >> shift) >> drop]; }
};

struct BitFields
{
    Channel red, green, blue;
};

// What the headers say, once it has been checked to be self-consistent.
struct Layout
{
    qint64 width = 0;
    qint64 height = 0;
    bool topDown = false;
    int bitCount = 0;
    quint32 compression = kRgb;
    qsizetype paletteOffset = 0;
    int paletteEntryBytes = 4;
    int paletteCount = 0;
    std::array<quint32, 3> masks{};
    qsizetype dataOffset = 0;
};

Status damaged(const QString &detail)
{
    return refused(QStringLiteral("the BMP header is damaged (%1)").arg(detail));
}

Status unsupported(const QString &detail)
{
    return refused(QStringLiteral("this kind of BMP is not supported (%1)").arg(detail));
}

// Reads and checks the file and DIB headers; on success the layout's offsets
// all lie inside the file.
Status readLayout(const uchar *file, qsizetype size, Layout &out)
{
    if (size < kFileHeaderBytes + 4)
        return refused(truncatedReason());
    const qsizetype headerBytes = u32At(file + kFileHeaderBytes);
    const uchar *h = file + kFileHeaderBytes;

    if (headerBytes == kCoreHeaderBytes) {
        // OS/2 1.x: 16-bit unsigned sizes, always bottom-up, 3-byte palette.
        if (size < kFileHeaderBytes + kCoreHeaderBytes)
            return refused(truncatedReason());
        out.width = u16At(h + 4);
        out.height = u16At(h + 6);
        out.bitCount = static_cast<int>(u16At(h + 10));
        out.paletteEntryBytes = 3;
        out.paletteOffset = kFileHeaderBytes + kCoreHeaderBytes;
        if (out.bitCount != 1 && out.bitCount != 4 && out.bitCount != 8 && out.bitCount != 24)
            return unsupported(QStringLiteral("%1 bits per pixel").arg(out.bitCount));
        if (out.width == 0 || out.height == 0)
            return damaged(QStringLiteral("%1 x %2 pixels").arg(out.width).arg(out.height));
        out.paletteCount = out.bitCount <= 8 ? 1 << out.bitCount : 0;
    } else if (headerBytes == kInfoHeaderBytes || headerBytes == 52 || headerBytes == 56
               || headerBytes == 108 || headerBytes == 124) {
        // BITMAPINFOHEADER and its extensions (V2/V3 with masks, V4, V5).
        if (size < kFileHeaderBytes + headerBytes)
            return refused(truncatedReason());
        const qint32 width = i32At(h + 4);
        const qint32 height = i32At(h + 8);
        out.bitCount = static_cast<int>(u16At(h + 14));
        out.compression = u32At(h + 16);
        const quint32 coloursUsed = u32At(h + 32);
        out.paletteOffset = kFileHeaderBytes + headerBytes;

        if (width <= 0)
            return damaged(QStringLiteral("width %1").arg(width));
        if (height == 0 || height == std::numeric_limits<qint32>::min())
            return damaged(QStringLiteral("height %1").arg(height));
        out.width = width;
        out.topDown = height < 0;
        out.height = out.topDown ? -qint64(height) : qint64(height);

        switch (out.compression) {
        case kRgb:
            if (out.bitCount != 1 && out.bitCount != 4 && out.bitCount != 8
                && out.bitCount != 16 && out.bitCount != 24 && out.bitCount != 32)
                return unsupported(QStringLiteral("%1 bits per pixel").arg(out.bitCount));
            break;
        case kRle8:
        case kRle4:
            if (out.bitCount != (out.compression == kRle8 ? 8 : 4))
                return damaged(QStringLiteral("RLE%1 compression with %2 bits per pixel")
                                   .arg(out.compression == kRle8 ? 8 : 4)
                                   .arg(out.bitCount));
            break;
        case kBitFields:
        case kAlphaBitFields: {
            if (out.bitCount != 16 && out.bitCount != 32)
                return unsupported(QStringLiteral("bit fields with %1 bits per pixel").arg(out.bitCount));
            // The masks follow a plain info header, or sit inside a longer one.
            const uchar *masks = h + kInfoHeaderBytes;
            if (headerBytes == kInfoHeaderBytes) {
                const qsizetype maskBytes = out.compression == kAlphaBitFields ? 16 : 12;
                if (size < out.paletteOffset + maskBytes)
                    return refused(truncatedReason());
                out.paletteOffset += maskBytes;
            }
            for (int i = 0; i < 3; ++i)
                out.masks[i] = u32At(masks + 4 * i);
            break;
        }
        case kJpeg:
            return unsupported(QStringLiteral("embedded JPEG data"));
        case kPng:
            return unsupported(QStringLiteral("embedded PNG data"));
        default:
            return unsupported(QStringLiteral("compression type %1").arg(out.compression));
        }

        if (out.bitCount <= 8) {
            const quint32 full = 1u << out.bitCount;
            out.paletteCount = static_cast<int>(coloursUsed == 0 || coloursUsed > full ? full : coloursUsed);
        }
    } else {
        return unsupported(QStringLiteral("a %1-byte header").arg(headerBytes));
    }

    const qsizetype dataOffset = u32At(file + 10);
    if (dataOffset < out.paletteOffset || dataOffset > size)
        return damaged(QStringLiteral("pixel data offset %1").arg(dataOffset));
    out.dataOffset = dataOffset;
    // The palette ends where the pixels begin, whatever its count says.
    const qsizetype paletteRoom = (dataOffset - out.paletteOffset) / out.paletteEntryBytes;
    if (out.paletteCount > paletteRoom)
        out.paletteCount = static_cast<int>(paletteRoom);
    return Status::success();
}

// A 256-entry palette, padded with black so any 8-bit index is safe.
std::array<QRgb, 256> readPalette(const uchar *file, const Layout &layout)
{
    std::array<QRgb, 256> palette;
    palette.fill(kBlack);
    const uchar *p = file + layout.paletteOffset;
    for (int i = 0; i < layout.paletteCount; ++i, p += layout.paletteEntryBytes)
        palette[i] = qRgb(p[2], p[1], p[0]);
    return palette;
}

// Row kernels: one file row in, one RGB32 row out.

template <int Bits>
void indexedRow(const uchar *src, QRgb *dst, qint64 width, const QRgb *palette)
{
    constexpr int kPerByte = 8 / Bits;
    constexpr uint kMask = (1u << Bits) - 1;
    qint64 x = 0;
    for (; x + kPerByte <= width; x += kPerByte, ++src) {
        const uint byte = *src;
        for (int i = 0; i < kPerByte; ++i)
            dst[x + i] = palette[(byte >> (8 - Bits * (i + 1))) & kMask];
    }
    for (int i = 0; x < width; ++x, ++i)
        dst[x] = palette[(*src >> (8 - Bits * (i + 1))) & kMask];
}

void bgrRow(const uchar *src, QRgb *dst, qint64 width)
{
    for (qint64 x = 0; x < width; ++x, src += 3)
        dst[x] = qRgb(src[2], src[1], src[0]);
}

void bgrxRow(const uchar *src, QRgb *dst, qint64 width)
{
    for (qint64 x = 0; x < width; ++x, src += 4)
        dst[x] = qRgb(src[2], src[1], src[0]);
}

template <int Bytes>
void bitFieldsRow(const uchar *src, QRgb *dst, qint64 width, const BitFields &f)
{
    for (qint64 x = 0; x < width; ++x, src += Bytes) {
        const quint32 p = Bytes == 2 ? u16At(src) : u32At(src);
        dst[x] = qRgb(f.red.value(p), f.green.value(p), f.blue.value(p));
    }
}

// Codes that neither write a pixel nor move (runs at the end of a row, deltas
// of nothing) allowed beyond one a row: an encoder may end a row with one,
// but hundreds of megabytes of them would take seconds to walk for nothing.
constexpr qint64 kMaxIdleCodes = 4096;

// Run-length data: a stream of two-byte codes, in file row order. Writes go
// through the palette and are clipped to the picture; a run past the end of
// a row is cut there, a delta past the last row ends the picture.
// Without an image the codes are only walked, so data that ends too soon (or
// idles) is refused before the picture (which a few bytes of codes can make
// as large as the pixel limit allows) is allocated. Every other code writes
// or skips a pixel or ends a row, so the work is bounded by the picture.
Status decodeRle(const uchar *file, qsizetype size, const Layout &layout, const QRgb *palette, QImage *image)
{
    const bool rle4 = layout.compression == kRle4;
    const qint64 width = layout.width;
    const qint64 height = layout.height;
    uchar *bits = image ? image->bits() : nullptr;
    const qsizetype stride = image ? image->bytesPerLine() : 0;
    const auto rowAt = [&](qint64 y) {
        const qint64 row = layout.topDown ? y : height - 1 - y;
        return reinterpret_cast<QRgb *>(bits + row * stride);
    };

    qint64 x = 0;
    qint64 y = 0;
    qint64 lastX = -1;
    qint64 lastY = -1;
    qint64 idleLeft = height + kMaxIdleCodes;
    qsizetype pos = layout.dataOffset;
    while (y < height) {
        // Did the last code write or move?
        if (x == lastX && y == lastY && --idleLeft < 0)
            return refused(QStringLiteral("the BMP data is damaged (more than %1 run-length codes that write no pixel)")
                               .arg(height + kMaxIdleCodes));
        lastX = x;
        lastY = y;
        if (size - pos < 2)
            return refused(truncatedReason());
        const uint count = file[pos];
        const uint code = file[pos + 1];
        pos += 2;
        if (count > 0) {
            // A run of one index (RLE8) or of two alternating ones (RLE4).
            const qint64 end = qMin(x + count, width);
            if (!bits) {
                x = end;
                continue;
            }
            QRgb *row = rowAt(y);
            if (rle4) {
                const QRgb pair[2] = {palette[code >> 4], palette[code & 0x0f]};
                for (qint64 i = 0; x < end; ++x, ++i)
                    row[x] = pair[i & 1];
            } else {
                for (const QRgb c = palette[code]; x < end; ++x)
                    row[x] = c;
            }
            continue;
        }
        switch (code) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return Status::success();
        case 2: // delta: move right and up (down the file)
            if (size - pos < 2)
                return refused(truncatedReason());
            x = qMin(x + file[pos], width);
            y += file[pos + 1];
            pos += 2;
            break;
        default: { // absolute: `code` literal indices, padded to 16 bits
            const qsizetype bytes = rle4 ? (code + 1) / 2 : code;
            const qsizetype padded = bytes + (bytes & 1);
            if (size - pos < padded)
                return refused(truncatedReason());
            if (!bits) {
                x = qMin<qint64>(x + code, width);
                pos += padded;
                break;
            }
            QRgb *row = rowAt(y);
            const uchar *src = file + pos;
            for (uint i = 0; i < code && x < width; ++i, ++x) {
                const uint index = rle4 ? (src[i / 2] >> ((i & 1) ? 0 : 4)) & 0x0f : src[i];
                row[x] = palette[index];
            }
            pos += padded;
            break;
        }
        }
    }
    return Status::success();
}

} // namespace

namespace {

// The bytes [offset, offset + count) of the device, fewer where it ends.
std::optional<QByteArray> readAt(QIODevice &device, qint64 offset, qint64 count)
{
    if (!device.seek(offset))
        return std::nullopt;
    QByteArray bytes = device.read(count);
    if (bytes.isNull() && count > 0 && device.atEnd())
        return QByteArray();
    if (bytes.isNull() && count > 0)
        return std::nullopt;
    return bytes;
}

Status readFailure(const QIODevice &device)
{
    const auto *file = qobject_cast<const QFileDevice *>(&device);
    if (file && file->error() != QFileDevice::NoError)
        return refused(QStringLiteral("the file cannot be read (%1)").arg(device.errorString()));
    return refused(QStringLiteral("the file cannot be read (it changed while being read)"));
}

// How an uncompressed file's rows turn into RGB32 ones.
struct RowFormat
{
    int bitCount = 0;
    qint64 width = 0;
    std::array<QRgb, 256> palette{};
    BitFields fields;
    bool plain32 = false;

    void convert(const uchar *src, QRgb *dst) const
    {
        switch (bitCount) {
        case 1:
            indexedRow<1>(src, dst, width, palette.data());
            break;
        case 4:
            indexedRow<4>(src, dst, width, palette.data());
            break;
        case 8:
            indexedRow<8>(src, dst, width, palette.data());
            break;
        case 16:
            bitFieldsRow<2>(src, dst, width, fields);
            break;
        case 24:
            bgrRow(src, dst, width);
            break;
        default:
            if (plain32)
                bgrxRow(src, dst, width);
            else
                bitFieldsRow<4>(src, dst, width, fields);
            break;
        }
    }
};

// A run-length file, read and decoded whole (its rows lie in the file in
// the order the codes draw them, not as the picture needs them).
Status decodeRunLength(QIODevice &device, qint64 size, const Layout &layout, const DecodeOptions &options,
                       RowSink &sink)
{
    const std::optional<QByteArray> bytes = readAt(device, 0, size);
    if (!bytes || bytes->size() != size)
        return readFailure(device);
    const auto *file = reinterpret_cast<const uchar *>(bytes->constData());
    if (Status s = sizeRefusal(layout.width, layout.height, options); !s)
        return s;
    if (Status s = decodeRle(file, size, layout, nullptr, nullptr); !s)
        return s;
    QImage image(static_cast<int>(layout.width), static_cast<int>(layout.height), QImage::Format_RGB32);
    if (image.isNull() || !sink.start(image.size()))
        return refused(outOfMemoryReason(layout.width, layout.height));
    const std::array<QRgb, 256> palette = readPalette(file, layout);
    image.fill(kBlack);
    // The walk above accepted these very codes, and drawing them takes the
    // same path through them, so this pass cannot refuse; its Status is
    // success and is dropped.
    std::ignore = decodeRle(file, size, layout, palette.data(), &image);
    sink.rows(reinterpret_cast<const QRgb *>(image.constBits()), image.bytesPerLine(), image.height());
    return Status::success();
}

// Bytes of the file read in one go: a block of whole rows of about this size.
constexpr qint64 kBlockBytes = 1 << 20;
// The headers and the palette lie in the first bytes of a file; this many
// hold them whatever the header's kind.
constexpr qint64 kHeadBytes = 64 * 1024;

} // namespace

Status decodeBmpRows(QIODevice &device, qint64 size, const DecodeOptions &options, RowSink &sink)
{
    const std::optional<QByteArray> head = readAt(device, 0, std::min(size, kHeadBytes));
    if (!head || head->size() != std::min(size, kHeadBytes))
        return readFailure(device);
    // The layout's checks hold offsets against the whole file; what it reads
    // (headers, masks, palette) lies within the head.
    const auto *headBytes = reinterpret_cast<const uchar *>(head->constData());
    Layout layout;
    if (Status s = readLayout(headBytes, size, layout); !s)
        return s;
    if (layout.paletteOffset + qsizetype(layout.paletteCount) * layout.paletteEntryBytes > head->size())
        return unsupported(QStringLiteral("a palette that does not follow its header"));

    if (layout.compression == kRle8 || layout.compression == kRle4)
        return decodeRunLength(device, size, layout, options, sink);

    // Uncompressed rows are 4-byte aligned; the last one may lack its
    // padding. Checked by division so no product can overflow.
    const qint64 rowBytes = (layout.width * layout.bitCount + 31) / 32 * 4;
    const qint64 lastRowBytes = (layout.width * layout.bitCount + 7) / 8;
    const qint64 available = size - layout.dataOffset;
    if (available < lastRowBytes || (available - lastRowBytes) / rowBytes < layout.height - 1)
        return refused(truncatedReason());
    if (Status s = sizeRefusal(layout.width, layout.height, options); !s)
        return s;

    RowFormat format;
    format.bitCount = layout.bitCount;
    format.width = layout.width;
    const bool bitFields = layout.compression == kBitFields || layout.compression == kAlphaBitFields;
    if (bitFields) {
        const auto red = Channel::fromMask(layout.masks[0]);
        const auto green = Channel::fromMask(layout.masks[1]);
        const auto blue = Channel::fromMask(layout.masks[2]);
        const quint32 allowed = layout.bitCount == 16 ? 0xffffu : 0xffffffffu;
        const quint32 all = layout.masks[0] | layout.masks[1] | layout.masks[2];
        if (!red || !green || !blue || all == 0 || (all & ~allowed) != 0)
            return damaged(QStringLiteral("bit-field masks %1, %2, %3")
                               .arg(layout.masks[0], 0, 16)
                               .arg(layout.masks[1], 0, 16)
                               .arg(layout.masks[2], 0, 16));
        format.fields = {*red, *green, *blue};
    } else if (layout.bitCount == 16) {
        format.fields = {*Channel::fromMask(0x7c00), *Channel::fromMask(0x03e0), *Channel::fromMask(0x001f)};
    }
    format.plain32 = layout.bitCount == 32
                     && (!bitFields
                         || (layout.masks[0] == 0x00ff0000 && layout.masks[1] == 0x0000ff00
                             && layout.masks[2] == 0x000000ff));
    format.palette = readPalette(headBytes, layout);

    const QSize pictureSize(static_cast<int>(layout.width), static_cast<int>(layout.height));
    if (!sink.start(pictureSize))
        return refused(outOfMemoryReason(layout.width, layout.height));

    // A block of rows at a time, top row first: in a bottom-up file the
    // rows of one block lie in one run of the file, last row first.
    const qint64 blockRows = std::max<qint64>(1, kBlockBytes / rowBytes);
    std::vector<QRgb> rows;
    try {
        rows.resize(std::size_t(std::min(blockRows, layout.height) * layout.width));
    } catch (const std::bad_alloc &) {
        return refused(outOfMemoryReason(layout.width, layout.height));
    }
    for (qint64 y = 0; y < layout.height; y += blockRows) {
        const qint64 count = std::min(blockRows, layout.height - y);
        const qint64 firstFileRow = layout.topDown ? y : layout.height - y - count;
        const qint64 offset = layout.dataOffset + firstFileRow * rowBytes;
        std::optional<QByteArray> block = readAt(device, offset, std::min(count * rowBytes, size - offset));
        if (!block || block->size() < std::min(count * rowBytes, size - offset))
            return readFailure(device);
        // The last row of the file may lack its padding.
        block->resize(count * rowBytes, '\0');
        const auto *raw = reinterpret_cast<const uchar *>(block->constData());
        for (qint64 i = 0; i < count; ++i) {
            const qint64 fileRow = layout.topDown ? i : count - 1 - i;
            format.convert(raw + fileRow * rowBytes, rows.data() + i * layout.width);
        }
        sink.rows(rows.data(), qsizetype(layout.width) * 4, int(count));
    }
    return Status::success();
}

bool ImageRows::start(QSize size)
{
    image = QImage(size, QImage::Format_RGB32);
    m_next = 0;
    return !image.isNull();
}

void ImageRows::rows(const QRgb *rows, qsizetype stride, int count)
{
    const auto *src = reinterpret_cast<const uchar *>(rows);
    const qsizetype bytes = qsizetype(image.width()) * 4;
    for (int i = 0; i < count && m_next < image.height(); ++i, ++m_next, src += stride)
        std::memcpy(image.scanLine(m_next), src, std::size_t(bytes));
}

} // namespace velloran::imagefile_detail
