// Decodes PNG files with zlib, into the pixels Qt's own PNG reader gives.
//
// Every chunk is checked whole (length, name, checksum) before anything is
// decoded. The image data is inflated row by row with its output capped at
// exactly what the header implies (rows x (1 + row bytes), per Adam7 pass),
// so data that would go on after the last row (a few kilobytes of
// compressed zeros inflate to gigabytes) is refused after one byte too many,
// and compressed data far longer than the picture could need is refused
// before it is worked through: the work is bounded by the picture's size.
//
// The rows are turned into the very QImage format and colour table that
// Qt's reader would make for the file (Mono, Indexed8, Grayscale8/16, RGB32,
// ARGB32, RGBX64/RGBA64, some strip rows at a time) and converted to RGB32 by
// Qt itself, so a PNG gives the same RGB32 pixels as it did through Qt's
// reader, without a picture of the intermediate format in memory.

#include "imaging/imagefile_p.h"

#include <QImage>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <vector>

#include <zlib.h>

namespace velloran::imagefile_detail {

namespace {

constexpr char kSignature[8] = {char(0x89), 'P', 'N', 'G', '\r', '\n', char(0x1a), '\n'};
// Rows gathered before Qt converts them to RGB32.
constexpr int kStripRows = 16;
// Deflate spends at most about 9/8 of a byte on a literal byte (fixed
// codes), 15/8 with the worst dynamic codes; compressed image data beyond
// twice the raw size, plus room for block headers, holds no more pixels.
constexpr qint64 kSlackBytes = 64 * 1024;

enum ColourType { kGrey = 0, kRgb = 2, kPalette = 3, kGreyAlpha = 4, kRgba = 6 };

quint32 bigEndian32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | quint32(p[3]);
}

quint16 bigEndian16(const uchar *p)
{
    return quint16(p[0] << 8 | p[1]);
}

QString damaged(const QString &detail)
{
    return QStringLiteral("the PNG data is damaged (%1)").arg(detail);
}

QString damagedHeader(const QString &detail)
{
    return QStringLiteral("the PNG header is damaged (%1)").arg(detail);
}

struct Span
{
    const uchar *data = nullptr;
    qsizetype size = 0;
};

// What the chunks say, once each has been checked.
struct PngFile
{
    quint32 width = 0;
    quint32 height = 0;
    int depth = 0;
    int colourType = 0;
    bool interlaced = false;
    std::vector<QRgb> palette; // PLTE as opaque colours, palette pictures only
    Span transparency;         // tRNS, when it applies
    std::vector<Span> imageData; // the first run of IDAT chunks
};

int channelsOf(int colourType)
{
    switch (colourType) {
    case kRgb:
        return 3;
    case kGreyAlpha:
        return 2;
    case kRgba:
        return 4;
    default:
        return 1;
    }
}

bool validDepth(int colourType, int depth)
{
    switch (colourType) {
    case kGrey:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case kPalette:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case kRgb:
    case kGreyAlpha:
    case kRgba:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

std::optional<QString> readHeader(const uchar *h, PngFile &png)
{
    png.width = bigEndian32(h);
    png.height = bigEndian32(h + 4);
    png.depth = h[8];
    png.colourType = h[9];
    if (png.width == 0 || png.height == 0 || png.width > 0x7fffffffu || png.height > 0x7fffffffu)
        return damagedHeader(QStringLiteral("%1 x %2 pixels").arg(png.width).arg(png.height));
    if (!validDepth(png.colourType, png.depth))
        return damagedHeader(QStringLiteral("colour type %1 with %2 bits").arg(png.colourType).arg(png.depth));
    if (h[10] != 0 || h[11] != 0 || h[12] > 1)
        return damagedHeader(QStringLiteral("compression %1, filter %2, interlace %3").arg(h[10]).arg(h[11]).arg(h[12]));
    png.interlaced = h[12] == 1;
    return std::nullopt;
}

bool isLetter(uchar c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Walks the chunks up to IEND: each one whole, named in letters and matching
// its checksum. Critical chunks the format does not know, a second header or
// palette, a palette picture without its palette, and image data that is
// missing or interrupted before the picture could be complete are refused,
// as they make decoding impossible; ancillary chunks that do not fit are
// passed over.
std::optional<QString> readChunks(const QByteArray &file, PngFile &png)
{
    const auto *data = reinterpret_cast<const uchar *>(file.constData());
    qsizetype pos = sizeof kSignature;
    bool header = false;
    bool havePalette = false;
    bool haveTransparency = false;
    bool dataStarted = false;
    bool dataEnded = false;
    for (;;) {
        if (file.size() - pos < 12)
            return truncatedReason();
        const quint32 length = bigEndian32(data + pos);
        if (length > 0x7fffffffu)
            return damaged(QStringLiteral("a chunk of %1 bytes").arg(length));
        if (file.size() - pos - 12 < qsizetype(length))
            return truncatedReason();
        const uchar *type = data + pos + 4;
        const uchar *body = data + pos + 8;
        if (crc32(0, type, uInt(length) + 4) != bigEndian32(body + length))
            return damaged(QStringLiteral("the checksum of a chunk does not match"));
        if (!std::all_of(type, type + 4, isLetter))
            return damaged(QStringLiteral("a chunk without a name"));
        const QLatin1StringView name(reinterpret_cast<const char *>(type), 4);
        pos += 12 + qsizetype(length);

        if (!header) {
            if (name != QLatin1StringView("IHDR") || length != 13)
                return damagedHeader(QStringLiteral("it does not start with the header chunk"));
            if (auto refusal = readHeader(body, png))
                return refusal;
            header = true;
            continue;
        }
        if (name == QLatin1StringView("IDAT")) {
            if (dataEnded)
                continue; // image data after other chunks: never read
            if (png.colourType == kPalette && !havePalette)
                return damaged(QStringLiteral("the palette is missing"));
            dataStarted = true;
            if (length > 0)
                png.imageData.push_back({body, qsizetype(length)});
            continue;
        }
        if (dataStarted)
            dataEnded = true;
        if (name == QLatin1StringView("IEND"))
            break;
        if (name == QLatin1StringView("IHDR"))
            return damagedHeader(QStringLiteral("a second header chunk"));
        if (name == QLatin1StringView("PLTE")) {
            if (havePalette)
                return damaged(QStringLiteral("a second palette"));
            havePalette = true;
            if (png.colourType != kPalette || dataStarted)
                continue; // a suggestion for displays with fewer colours, or too late
            if (length == 0 || length > 3 * 256 || length % 3 != 0)
                return damaged(QStringLiteral("a palette of %1 bytes").arg(length));
            // Entries past what the bit depth can index are never used.
            const quint32 count = std::min<quint32>(length / 3, 1u << png.depth);
            for (quint32 i = 0; i < count; ++i)
                png.palette.push_back(qRgb(body[3 * i], body[3 * i + 1], body[3 * i + 2]));
            continue;
        }
        if (name == QLatin1StringView("tRNS")) {
            const bool fits = png.colourType == kPalette ? havePalette && length > 0 && length <= png.palette.size()
                              : png.colourType == kGrey  ? length == 2
                              : png.colourType == kRgb   ? length == 6
                                                         : false;
            if (!haveTransparency && !dataStarted && fits)
                png.transparency = {body, qsizetype(length)};
            haveTransparency = true;
            continue;
        }
        if (!(type[0] & 0x20))
            return QStringLiteral("this kind of PNG is not supported (a critical chunk named %1)").arg(name);
    }
    if (png.imageData.empty())
        return damaged(QStringLiteral("there is no image data"));
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Image data

struct Pass
{
    int x0, y0, dx, dy;
};
constexpr std::array<Pass, 7> kAdam7 = {{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                          {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};
constexpr Pass kWhole = {0, 0, 1, 1};

qint64 passSpan(qint64 size, int start, int step)
{
    return size > start ? (size - start + step - 1) / step : 0;
}

// Inflates the image data run, one filtered row at a time.
class Inflater
{
public:
    Inflater(const std::vector<Span> &chunks, qint64 maxInput) : chunks_(chunks), inputLeft_(maxInput)
    {
        stream_.zalloc = Z_NULL;
        stream_.zfree = Z_NULL;
        stream_.opaque = Z_NULL;
        stream_.next_in = Z_NULL;
        stream_.avail_in = 0;
        ready_ = inflateInit(&stream_) == Z_OK;
    }
    ~Inflater()
    {
        if (ready_)
            inflateEnd(&stream_);
    }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;

    // Fills `out` whole, or says why it cannot.
    std::optional<QString> read(uchar *out, qsizetype size)
    {
        if (!ready_)
            return QStringLiteral("there is not enough memory to decode the picture");
        stream_.next_out = out;
        stream_.avail_out = uInt(size);
        for (;;) {
            const bool more = stream_.avail_in > 0 || feed();
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (stream_.avail_out == 0)
                return std::nullopt;
            if (status == Z_STREAM_END)
                return endsEarly();
            if (auto refusal = failure(status))
                return refusal;
            if (!more && stream_.avail_in == 0)
                return inputLeft_ <= 0 ? tooLong() : endsEarly();
        }
    }

    // After the last row: the stream must end without another byte of
    // output. Data that stops short of the stream's end after the last row
    // leaves no pixel out, and is taken as it is.
    std::optional<QString> finish()
    {
        uchar extra = 0;
        for (;;) {
            const bool more = stream_.avail_in > 0 || feed();
            stream_.next_out = &extra;
            stream_.avail_out = 1;
            const int status = inflate(&stream_, Z_NO_FLUSH);
            if (stream_.avail_out == 0)
                return tooLong();
            if (status == Z_STREAM_END)
                return std::nullopt;
            if (auto refusal = failure(status))
                return refusal;
            if (!more && stream_.avail_in == 0)
                return inputLeft_ <= 0 ? std::optional<QString>(tooLong()) : std::nullopt;
        }
    }

    void setPicture(quint32 width, quint32 height)
    {
        width_ = width;
        height_ = height;
    }

private:
    bool feed()
    {
        while (next_ < chunks_.size() && inputLeft_ > 0) {
            const Span &chunk = chunks_[next_];
            const qsizetype size = std::min<qint64>(chunk.size - offset_, inputLeft_);
            if (size <= 0) {
                ++next_;
                offset_ = 0;
                continue;
            }
            stream_.next_in = const_cast<uchar *>(chunk.data + offset_);
            stream_.avail_in = uInt(size);
            inputLeft_ -= size;
            offset_ += size;
            return true;
        }
        return false;
    }

    std::optional<QString> failure(int status) const
    {
        switch (status) {
        case Z_OK:
        case Z_STREAM_END:
        case Z_BUF_ERROR: // no progress this call; more input follows
            return std::nullopt;
        case Z_MEM_ERROR:
            return QStringLiteral("there is not enough memory to decode the picture");
        case Z_NEED_DICT:
            return damaged(QStringLiteral("the image data asks for a preset dictionary"));
        default:
            return damaged(QStringLiteral("the image data cannot be decompressed: %1")
                               .arg(QString::fromLatin1(stream_.msg ? stream_.msg : "unknown error")));
        }
    }

    static QString endsEarly() { return damaged(QStringLiteral("the image data ends before the last row")); }

    QString tooLong() const
    {
        return damaged(QStringLiteral("its image data is longer than a picture of %1 x %2 pixels needs")
                           .arg(width_)
                           .arg(height_));
    }

    const std::vector<Span> &chunks_;
    std::size_t next_ = 0;
    qsizetype offset_ = 0;
    qint64 inputLeft_;
    z_stream stream_{};
    bool ready_ = false;
    quint32 width_ = 0;
    quint32 height_ = 0;
};

int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Undoes a row's filter in place, against the previous row of the pass (all
// zeros for its first row).
std::optional<QString> unfilter(uchar *row, const uchar *previous, qsizetype size, int bpp)
{
    const int filter = row[0];
    uchar *p = row + 1;
    const uchar *up = previous + 1;
    switch (filter) {
    case 0:
        break;
    case 1:
        for (qsizetype i = bpp; i < size; ++i)
            p[i] = uchar(p[i] + p[i - bpp]);
        break;
    case 2:
        for (qsizetype i = 0; i < size; ++i)
            p[i] = uchar(p[i] + up[i]);
        break;
    case 3:
        for (qsizetype i = 0; i < bpp && i < size; ++i)
            p[i] = uchar(p[i] + (up[i] >> 1));
        for (qsizetype i = bpp; i < size; ++i)
            p[i] = uchar(p[i] + ((p[i - bpp] + up[i]) >> 1));
        break;
    case 4:
        for (qsizetype i = 0; i < bpp && i < size; ++i)
            p[i] = uchar(p[i] + up[i]);
        for (qsizetype i = bpp; i < size; ++i)
            p[i] = uchar(p[i] + paeth(p[i - bpp], up[i], up[i - bpp]));
        break;
    default:
        return damaged(QStringLiteral("row filter %1").arg(filter));
    }
    return std::nullopt;
}

// The format and colour table Qt's reader gives the file, and how one row
// of samples becomes a row of it.
class RowFormat
{
public:
    explicit RowFormat(const PngFile &png) : png_(png)
    {
        const bool hasTransparency = png.transparency.size > 0;
        const int maxSample = (1 << png.depth) - 1;
        if (hasTransparency && png.colourType != kPalette) {
            const quint16 grey = bigEndian16(png.transparency.data);
            transparentGrey_ = grey;
            if (png.colourType == kRgb)
                transparentRgb_ = {grey, bigEndian16(png.transparency.data + 2),
                                   bigEndian16(png.transparency.data + 4)};
        }
        switch (png.colourType) {
        case kGrey:
            if (png.depth == 1) {
                format_ = QImage::Format_Mono;
                colours_ = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
                colourCount_ = 2;
                if (hasTransparency && transparentGrey_ == 0)
                    colours_[1] = qRgba(0, 0, 0, 0);
                else if (hasTransparency && transparentGrey_ == 1)
                    colours_[0] = qRgba(255, 255, 255, 0);
            } else if (png.depth == 16) {
                format_ = hasTransparency ? QImage::Format_RGBA64 : QImage::Format_Grayscale16;
            } else if (png.depth == 8 && !hasTransparency) {
                format_ = QImage::Format_Grayscale8;
            } else {
                format_ = QImage::Format_Indexed8;
                const int count = png.depth < 8 ? maxSample + 1 : 256;
                for (int i = 0; i < count; ++i) {
                    const int c = i * 255 / (count - 1);
                    colours_.push_back(qRgb(c, c, c));
                }
                if (hasTransparency && transparentGrey_ < count)
                    colours_[transparentGrey_] = 0;
                colourCount_ = count;
            }
            break;
        case kPalette: {
            format_ = png.depth == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
            colours_ = png.palette;
            const qsizetype alphas = png.transparency.size;
            for (qsizetype i = 0; i < alphas; ++i)
                colours_[i] = qRgba(qRed(colours_[i]), qGreen(colours_[i]), qBlue(colours_[i]),
                                    png.transparency.data[i]);
            colourCount_ = format_ == QImage::Format_Mono ? 2 : int(colours_.size());
            break;
        }
        default:
            if (png.depth == 16)
                format_ = png.colourType == kRgb && !hasTransparency ? QImage::Format_RGBX64
                                                                     : QImage::Format_RGBA64;
            else
                format_ = png.colourType == kRgb && !hasTransparency ? QImage::Format_RGB32
                                                                     : QImage::Format_ARGB32;
            break;
        }
    }

    QImage::Format format() const { return format_; }

    QImage makeStrip(int width) const
    {
        QImage strip(width, kStripRows, format_);
        if (strip.isNull())
            return strip;
        strip.fill(0);
        // As Qt's reader sets them: a count, then the entries the file gives.
        if (colourCount_ > 0) {
            strip.setColorCount(colourCount_);
            for (std::size_t i = 0; i < colours_.size(); ++i)
                strip.setColor(int(i), colours_[i]);
        }
        return strip;
    }

    // One row of `width` pixels of samples (after unfiltering) into `out`.
    void convert(const uchar *in, uchar *out, int width) const
    {
        const int depth = png_.depth;
        switch (format_) {
        case QImage::Format_Mono: {
            const qsizetype bytes = (qsizetype(width) + 7) / 8;
            if (png_.colourType == kGrey)
                for (qsizetype i = 0; i < bytes; ++i)
                    out[i] = uchar(~in[i]);
            else
                std::memcpy(out, in, std::size_t(bytes));
            break;
        }
        case QImage::Format_Indexed8: {
            const int perByte = 8 / depth;
            const uint mask = (1u << depth) - 1;
            const uint count = uint(colourCount_);
            for (int x = 0; x < width; ++x) {
                const uint shift = uint(8 - depth * (x % perByte + 1));
                const uint v = depth == 8 ? in[x] : (uint(in[x / perByte]) >> shift) & mask;
                out[x] = uchar(v < count ? v : 0);
            }
            break;
        }
        case QImage::Format_Grayscale8:
            std::memcpy(out, in, std::size_t(width));
            break;
        case QImage::Format_Grayscale16: {
            auto *o = reinterpret_cast<quint16 *>(out);
            for (int x = 0; x < width; ++x)
                o[x] = bigEndian16(in + 2 * x);
            break;
        }
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
            convert8(in, reinterpret_cast<QRgb *>(out), width);
            break;
        default:
            convert16(in, reinterpret_cast<quint16 *>(out), width);
            break;
        }
    }

private:
    void convert8(const uchar *in, QRgb *out, int width) const
    {
        switch (png_.colourType) {
        case kRgb:
            // As libpng compares them: the low byte of each 16-bit value.
            for (int x = 0; x < width; ++x, in += 3) {
                const bool clear = transparentRgb_ && ((*transparentRgb_)[0] & 0xff) == in[0]
                                   && ((*transparentRgb_)[1] & 0xff) == in[1]
                                   && ((*transparentRgb_)[2] & 0xff) == in[2];
                out[x] = qRgba(in[0], in[1], in[2], clear ? 0 : 255);
            }
            break;
        case kGreyAlpha:
            for (int x = 0; x < width; ++x, in += 2)
                out[x] = qRgba(in[0], in[0], in[0], in[1]);
            break;
        default:
            for (int x = 0; x < width; ++x, in += 4)
                out[x] = qRgba(in[0], in[1], in[2], in[3]);
            break;
        }
    }

    // RGBX64 / RGBA64: four 16-bit channels in host order.
    void convert16(const uchar *in, quint16 *out, int width) const
    {
        for (int x = 0; x < width; ++x, out += 4) {
            switch (png_.colourType) {
            case kGrey: {
                const quint16 g = bigEndian16(in);
                out[0] = out[1] = out[2] = g;
                out[3] = g == transparentGrey_ ? 0 : 0xffff;
                in += 2;
                break;
            }
            case kGreyAlpha:
                out[0] = out[1] = out[2] = bigEndian16(in);
                out[3] = bigEndian16(in + 2);
                in += 4;
                break;
            case kRgb: {
                for (int c = 0; c < 3; ++c)
                    out[c] = bigEndian16(in + 2 * c);
                const bool clear = transparentRgb_ && (*transparentRgb_)[0] == out[0]
                                   && (*transparentRgb_)[1] == out[1] && (*transparentRgb_)[2] == out[2];
                out[3] = clear ? 0 : 0xffff;
                in += 6;
                break;
            }
            default:
                for (int c = 0; c < 4; ++c)
                    out[c] = bigEndian16(in + 2 * c);
                in += 8;
                break;
            }
        }
    }

    const PngFile &png_;
    QImage::Format format_ = QImage::Format_Invalid;
    std::vector<QRgb> colours_;
    int colourCount_ = 0;
    quint16 transparentGrey_ = 0xffff;
    std::optional<std::array<quint16, 3>> transparentRgb_;
};

// Converts the strip's first `rows` rows to RGB32 and puts them in place:
// strip row i is pass row firstRow + i.
void placeStrip(const QImage &strip, int rows, int firstRow, const Pass &pass, QImage &image)
{
    const QImage rgb = strip.convertToFormat(QImage::Format_RGB32);
    const int width = rgb.width();
    for (int i = 0; i < rows; ++i) {
        const auto *src = reinterpret_cast<const QRgb *>(rgb.constScanLine(i));
        auto *dst = reinterpret_cast<QRgb *>(image.scanLine(pass.y0 + (firstRow + i) * pass.dy));
        if (pass.dx == 1) {
            std::memcpy(dst, src, std::size_t(width) * sizeof(QRgb));
        } else {
            for (int x = 0; x < width; ++x)
                dst[pass.x0 + x * pass.dx] = src[x];
        }
    }
}

} // namespace

DecodedImage decodePng(const QByteArray &file, const DecodeOptions &options)
{
    const auto refuse = [](QString reason) -> DecodedImage { return refused(std::move(reason)); };
    PngFile png;
    if (auto refusal = readChunks(file, png))
        return refuse(*refusal);
    if (Status s = sizeRefusal(png.width, png.height, options); !s)
        return s;

    const int width = int(png.width);
    const int height = int(png.height);
    const int bitsPerPixel = channelsOf(png.colourType) * png.depth;
    const int bpp = std::max(1, bitsPerPixel / 8);
    const auto rowBytes = [&](qint64 pixels) { return (pixels * bitsPerPixel + 7) / 8; };

    std::vector<Pass> passes;
    if (png.interlaced)
        passes.assign(kAdam7.begin(), kAdam7.end());
    else
        passes.push_back(kWhole);
    qint64 rawBytes = 0;
    for (const Pass &p : passes) {
        const qint64 w = passSpan(width, p.x0, p.dx);
        if (w > 0)
            rawBytes += passSpan(height, p.y0, p.dy) * (1 + rowBytes(w));
    }

    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return refuse(outOfMemoryReason(width, height));

    const RowFormat format(png);
    Inflater inflater(png.imageData, 2 * rawBytes + kSlackBytes);
    inflater.setPicture(png.width, png.height);
    const qsizetype maxRow = qsizetype(rowBytes(width));
    std::vector<uchar> current(std::size_t(maxRow) + 1);
    std::vector<uchar> previous(std::size_t(maxRow) + 1);

    for (const Pass &pass : passes) {
        const int passWidth = int(passSpan(width, pass.x0, pass.dx));
        const int passHeight = int(passSpan(height, pass.y0, pass.dy));
        if (passWidth == 0 || passHeight == 0)
            continue;
        const qsizetype size = qsizetype(rowBytes(passWidth));
        std::fill(previous.begin(), previous.end(), uchar(0));
        // Plain RGB rows of a picture that is not interlaced go straight into it.
        const bool direct = format.format() == QImage::Format_RGB32 && !png.interlaced;
        QImage strip = direct ? QImage() : format.makeStrip(passWidth);
        if (!direct && strip.isNull())
            return refuse(outOfMemoryReason(width, height));
        int stripRows = 0;
        for (int y = 0; y < passHeight; ++y) {
            if (auto refusal = inflater.read(current.data(), size + 1))
                return refuse(*refusal);
            if (auto refusal = unfilter(current.data(), previous.data(), size, bpp))
                return refuse(*refusal);
            if (direct) {
                format.convert(current.data() + 1, image.scanLine(y), passWidth);
            } else {
                format.convert(current.data() + 1, strip.scanLine(stripRows), passWidth);
                if (++stripRows == kStripRows || y == passHeight - 1) {
                    placeStrip(strip, stripRows, y + 1 - stripRows, pass, image);
                    stripRows = 0;
                }
            }
            std::swap(current, previous);
        }
    }
    if (auto refusal = inflater.finish())
        return refuse(*refusal);
    return image;
}

} // namespace velloran::imagefile_detail
