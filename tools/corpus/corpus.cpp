#include "corpus.h"

#include <QBuffer>
#include <QImageWriter>
#include <QList>

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <functional>

#include <jpeglib.h>
#include <zlib.h>

namespace velloran::corpus {

namespace {

constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kGreen = 0xff00ff00;
constexpr QRgb kBlue = 0xff0000ff;
constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kBlack = 0xff000000;
constexpr QRgb kYellow = 0xffffff00;

// libjpeg's own error exit ends the process; a recipe it refuses is a bug
// of its caller.
void onJpegError(j_common_ptr cinfo)
{
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    std::fprintf(stderr, "corpus: libjpeg failed: %s\n", message);
    std::abort();
}

using Quarters = std::array<QRgb, 4>;
constexpr Quarters kColours = {kRed, kGreen, kBlue, kWhite};

// Which quarter of a width x height picture a pixel lies in: 0 top-left,
// 1 top-right, 2 bottom-left, 3 bottom-right.
int quarterOf(int x, int y, int width, int height)
{
    return (y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1);
}

QImage quarterPicture(int width, int height, const Quarters &colours)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, colours[quarterOf(x, y, width, height)]);
    return image;
}

// ---------------------------------------------------------------------------
// Bytes

void putU16(QByteArray &out, quint32 v)
{
    out.append(char(v & 0xff));
    out.append(char((v >> 8) & 0xff));
}

void putU32(QByteArray &out, quint32 v)
{
    putU16(out, v & 0xffff);
    putU16(out, v >> 16);
}

void setU16(QByteArray &out, qsizetype at, quint32 v)
{
    out[at] = char(v & 0xff);
    out[at + 1] = char((v >> 8) & 0xff);
}

void setU32(QByteArray &out, qsizetype at, quint32 v)
{
    setU16(out, at, v & 0xffff);
    setU16(out, at + 2, v >> 16);
}

void setU16BigEndian(QByteArray &out, qsizetype at, quint32 v)
{
    out[at] = char((v >> 8) & 0xff);
    out[at + 1] = char(v & 0xff);
}

// ---------------------------------------------------------------------------
// BMP files

enum Compression : quint32 { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpegData = 4, kAlphaBitFields = 6 };

struct Bmp
{
    quint32 headerBytes = 40; // 12 OS/2 core, 40 info, 52/56 with masks, 108 V4, 124 V5
    qint32 width = 0;
    qint32 height = 0; // negative: rows run top-down
    int bitCount = 24;
    quint32 compression = kRgb;
    QList<QRgb> palette;
    quint32 coloursUsed = 0;
    std::array<quint32, 4> masks{}; // red, green, blue, alpha
    QByteArray pixels;

    QByteArray file() const
    {
        QByteArray dib;
        putU32(dib, headerBytes);
        if (headerBytes == 12) {
            putU16(dib, quint32(width));
            putU16(dib, quint32(height));
            putU16(dib, 1);
            putU16(dib, quint32(bitCount));
        } else {
            putU32(dib, quint32(width));
            putU32(dib, quint32(height));
            putU16(dib, 1);
            putU16(dib, quint32(bitCount));
            putU32(dib, compression);
            putU32(dib, quint32(pixels.size()));
            putU32(dib, 3780);
            putU32(dib, 3780);
            putU32(dib, coloursUsed);
            putU32(dib, 0);
            const bool fields = compression == kBitFields || compression == kAlphaBitFields;
            if (headerBytes > 40 || fields) {
                // Inside a longer header, or right after a plain one.
                const int count = headerBytes > 40 ? (headerBytes >= 56 ? 4 : 3)
                                                   : (compression == kAlphaBitFields ? 4 : 3);
                for (int i = 0; i < count; ++i)
                    putU32(dib, masks[i]);
            }
            if (headerBytes >= 108 && dib.size() < 56 + 4) {
                putU32(dib, 0x73524742); // 'sRGB'
            }
            while (dib.size() < qsizetype(headerBytes))
                dib.append('\0');
        }
        for (const QRgb c : palette) {
            dib.append(char(qBlue(c)));
            dib.append(char(qGreen(c)));
            dib.append(char(qRed(c)));
            if (headerBytes != 12)
                dib.append('\0');
        }
        QByteArray out("BM");
        putU32(out, quint32(14 + dib.size() + pixels.size()));
        putU32(out, 0);
        putU32(out, quint32(14 + dib.size()));
        return out + dib + pixels;
    }
};

// Uncompressed rows in file order (bottom-up unless topDown), each padded to
// 4 bytes. `value` gives a palette index, a 16- or 32-bit word, or a colour
// (24 bits) for each pixel of the upright picture.
QByteArray packRows(int width, int height, bool topDown, int bits,
                    const std::function<quint32(int, int)> &value)
{
    const qsizetype rowBytes = (qsizetype(width) * bits + 31) / 32 * 4;
    QByteArray out;
    for (int r = 0; r < height; ++r) {
        const int y = topDown ? r : height - 1 - r;
        QByteArray row(rowBytes, '\0');
        for (int x = 0; x < width; ++x) {
            const quint32 v = value(x, y);
            switch (bits) {
            case 1:
            case 4:
            case 8: {
                const qsizetype bit = qsizetype(x) * bits;
                const int shift = 8 - bits - int(bit % 8);
                row[bit / 8] = char(uchar(row[bit / 8]) | uchar(v << shift));
                break;
            }
            case 16:
                setU16(row, qsizetype(x) * 2, v);
                break;
            case 24:
                row[x * 3] = char(qBlue(v));
                row[x * 3 + 1] = char(qGreen(v));
                row[x * 3 + 2] = char(qRed(v));
                break;
            default:
                setU32(row, qsizetype(x) * 4, v);
                break;
            }
        }
        out += row;
    }
    return out;
}

// Run-length codes for an indexed picture, in file order (bottom row first):
// runs of one index, the first row in absolute mode, an end of line after
// each row and the end of the bitmap after `rows` rows (all rows unless less).
QByteArray packRle(int width, int height, bool four, const std::function<int(int, int)> &index,
                   int rows = -1)
{
    if (rows < 0)
        rows = height;
    QByteArray out;
    for (int r = 0; r < rows; ++r) {
        const int y = height - 1 - r;
        if (r == 0 && width >= 3 && width <= 255) {
            out.append('\0');
            out.append(char(width));
            QByteArray literal;
            for (int x = 0; x < width; ++x) {
                if (!four)
                    literal.append(char(index(x, y)));
                else if (x % 2 == 0)
                    literal.append(char(index(x, y) << 4));
                else
                    literal[literal.size() - 1] = char(literal.back() | index(x, y));
            }
            if (literal.size() % 2)
                literal.append('\0');
            out += literal;
        } else {
            for (int x = 0; x < width;) {
                int run = 1;
                while (x + run < width && run < 255 && index(x + run, y) == index(x, y))
                    ++run;
                out.append(char(run));
                out.append(char(four ? (index(x, y) << 4 | index(x, y)) : index(x, y)));
                x += run;
            }
        }
        out.append('\0');
        out.append('\0'); // end of line
    }
    out.append('\0');
    out.append('\1'); // end of bitmap
    return out;
}

// The quarter picture as palette indices 0 to 3 over kColours.
std::function<int(int, int)> quarterIndex(int width, int height)
{
    return [=](int x, int y) { return quarterOf(x, y, width, height); };
}

Entry loads(QString name, QByteArray bytes, QSize size, Quarters quarters, int tolerance = 0)
{
    Entry e;
    e.fileName = std::move(name);
    e.bytes = std::move(bytes);
    e.outcome = Outcome::Loads;
    e.size = size;
    e.quarters = quarters;
    e.tolerance = tolerance;
    e.seed = true;
    return e;
}

Entry refused(QString name, QByteArray bytes, QString reason)
{
    Entry e;
    e.fileName = std::move(name);
    e.bytes = std::move(bytes);
    e.outcome = Outcome::Refused;
    e.reason = std::move(reason);
    return e;
}

// 16 x 8 pixels in every layout a bitmap can have.
void bmpVariants(std::vector<Entry> &out)
{
    constexpr int w = 16;
    constexpr int h = 8;
    const QSize size(w, h);
    const auto index = quarterIndex(w, h);
    const auto colour = [&](int x, int y) { return kColours[quarterOf(x, y, w, h)]; };
    const QList<QRgb> palette4(kColours.begin(), kColours.end());

    // OS/2 core headers: 3-byte palette entries, 16-bit sizes.
    out.push_back(loads(QStringLiteral("bmp-os2-24bit.bmp"),
                        Bmp{12, w, h, 24, kRgb, {}, 0, {}, packRows(w, h, false, 24, colour)}.file(),
                        size, kColours));
    out.push_back(loads(QStringLiteral("bmp-os2-8bit-palette.bmp"),
                        Bmp{12, w, h, 8, kRgb, [&] {
                                QList<QRgb> p = palette4;
                                p.resize(256, kBlack);
                                return p;
                            }(),
                            0, {}, packRows(w, h, false, 8, [&](int x, int y) { return quint32(index(x, y)); })}
                            .file(),
                        size, kColours));

    // Palettes of each depth. One bit holds two colours: red and white.
    const auto twoColours = [&](int x, int y) { return quint32(index(x, y) == 0 || index(x, y) == 3 ? 0 : 1); };
    out.push_back(loads(QStringLiteral("bmp-1bit-palette.bmp"),
                        Bmp{40, w, h, 1, kRgb, {kRed, kWhite}, 0, {}, packRows(w, h, false, 1, twoColours)}.file(),
                        size, {kRed, kWhite, kWhite, kRed}));
    out.push_back(loads(QStringLiteral("bmp-4bit-palette.bmp"),
                        Bmp{40, w, h, 4, kRgb, palette4, 4, {},
                            packRows(w, h, false, 4, [&](int x, int y) { return quint32(index(x, y)); })}
                            .file(),
                        size, kColours));
    out.push_back(loads(QStringLiteral("bmp-8bit-palette.bmp"),
                        Bmp{40, w, h, 8, kRgb, palette4, 4, {},
                            packRows(w, h, false, 8, [&](int x, int y) { return quint32(index(x, y)); })}
                            .file(),
                        size, kColours));
    // Odd width: every row carries padding.
    out.push_back(loads(QStringLiteral("bmp-8bit-odd-width.bmp"),
                        Bmp{40, 5, 4, 8, kRgb, palette4, 4, {},
                            packRows(5, 4, false, 8, [](int x, int y) { return quint32(quarterOf(x, y, 5, 4)); })}
                            .file(),
                        QSize(5, 4), kColours));

    // Run-length compression.
    out.push_back(loads(QStringLiteral("bmp-rle8.bmp"),
                        Bmp{40, w, h, 8, kRle8, palette4, 4, {}, packRle(w, h, false, index)}.file(), size,
                        kColours));
    out.push_back(loads(QStringLiteral("bmp-rle4.bmp"),
                        Bmp{40, w, h, 4, kRle4, palette4, 4, {}, packRle(w, h, true, index)}.file(), size,
                        kColours));
    // The end of the bitmap after the lower half: the upper half stays black.
    out.push_back(loads(QStringLiteral("bmp-rle8-ends-early.bmp"),
                        Bmp{40, w, h, 8, kRle8, palette4, 4, {}, packRle(w, h, false, index, h / 2)}.file(),
                        size, {kBlack, kBlack, kBlue, kWhite}));
    {
        // A delta jumps over the lower half; the upper half is written.
        QByteArray codes;
        codes.append("\0\2\0\4", 4); // right 0, up (in file order) 4 rows
        for (int r = h / 2; r < h; ++r) {
            const int y = h - 1 - r;
            codes.append(char(w / 2));
            codes.append(char(index(0, y)));
            codes.append(char(w / 2));
            codes.append(char(index(w - 1, y)));
            codes.append("\0\0", 2);
        }
        codes.append("\0\1", 2);
        out.push_back(loads(QStringLiteral("bmp-rle8-delta.bmp"),
                            Bmp{40, w, h, 8, kRle8, palette4, 4, {}, codes}.file(), size,
                            {kRed, kGreen, kBlack, kBlack}));
    }

    // 16 bits: 5-5-5 without masks, 5-6-5 with them.
    const auto word555 = [&](int x, int y) {
        const QRgb c = colour(x, y);
        return quint32((qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3);
    };
    const auto word565 = [&](int x, int y) {
        const QRgb c = colour(x, y);
        return quint32((qRed(c) >> 3) << 11 | (qGreen(c) >> 2) << 5 | qBlue(c) >> 3);
    };
    out.push_back(loads(QStringLiteral("bmp-16bit-555.bmp"),
                        Bmp{40, w, h, 16, kRgb, {}, 0, {}, packRows(w, h, false, 16, word555)}.file(), size,
                        kColours));
    out.push_back(loads(QStringLiteral("bmp-16bit-565-bitfields.bmp"),
                        Bmp{40, w, h, 16, kBitFields, {}, 0, {0xf800, 0x07e0, 0x001f, 0},
                            packRows(w, h, false, 16, word565)}
                            .file(),
                        size, kColours));

    // 24 bits, bottom-up and top-down.
    out.push_back(loads(QStringLiteral("bmp-24bit.bmp"),
                        Bmp{40, w, h, 24, kRgb, {}, 0, {}, packRows(w, h, false, 24, colour)}.file(), size,
                        kColours));
    out.push_back(loads(QStringLiteral("bmp-24bit-top-down.bmp"),
                        Bmp{40, w, -h, 24, kRgb, {}, 0, {}, packRows(w, h, true, 24, colour)}.file(), size,
                        kColours));

    // 32 bits: plain (the fourth byte ignored), bit fields in another order,
    // with alpha (V4, V5 and the alpha bit-field compression).
    const auto bgrx = [&](int x, int y) { return quint32(colour(x, y) & 0x00ffffff) | 0x5a000000u; };
    const auto rgbx = [&](int x, int y) {
        const QRgb c = colour(x, y);
        return quint32(qRed(c)) << 24 | quint32(qGreen(c)) << 16 | quint32(qBlue(c)) << 8;
    };
    const auto argb = [&](int x, int y) { return quint32(colour(x, y) & 0x00ffffff) | 0x80000000u; };
    out.push_back(loads(QStringLiteral("bmp-32bit.bmp"),
                        Bmp{40, w, h, 32, kRgb, {}, 0, {}, packRows(w, h, false, 32, bgrx)}.file(), size,
                        kColours));
    out.push_back(loads(QStringLiteral("bmp-32bit-bitfields-rgbx.bmp"),
                        Bmp{40, w, h, 32, kBitFields, {}, 0, {0xff000000, 0x00ff0000, 0x0000ff00, 0},
                            packRows(w, h, false, 32, rgbx)}
                            .file(),
                        size, kColours));
    out.push_back(loads(QStringLiteral("bmp-32bit-v4-alpha.bmp"),
                        Bmp{108, w, h, 32, kBitFields, {}, 0, {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000},
                            packRows(w, h, false, 32, argb)}
                            .file(),
                        size, kColours));
    out.push_back(loads(QStringLiteral("bmp-32bit-v5-top-down.bmp"),
                        Bmp{124, w, -h, 32, kBitFields, {}, 0, {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000},
                            packRows(w, h, true, 32, argb)}
                            .file(),
                        size, kColours));
    out.push_back(loads(QStringLiteral("bmp-32bit-alpha-bitfields.bmp"),
                        Bmp{40, w, h, 32, kAlphaBitFields, {}, 0, {0x00ff0000, 0x0000ff00, 0x000000ff, 0xff000000},
                            packRows(w, h, false, 32, argb)}
                            .file(),
                        size, kColours));
    out.push_back(loads(QStringLiteral("bmp-24bit-v5.bmp"),
                        Bmp{124, w, h, 24, kRgb, {}, 0, {}, packRows(w, h, false, 24, colour)}.file(), size,
                        kColours));
}

// Bitmaps whose headers are wrong, lie or ask for what is not supported.
void bmpDamage(std::vector<Entry> &out)
{
    constexpr int w = 16;
    constexpr int h = 8;
    const auto colour = [&](int x, int y) { return kColours[quarterOf(x, y, w, h)]; };
    const QByteArray good = Bmp{40, w, h, 24, kRgb, {}, 0, {}, packRows(w, h, false, 24, colour)}.file();
    const QList<QRgb> palette4(kColours.begin(), kColours.end());

    out.push_back(refused(QStringLiteral("bmp-empty.bmp"), {}, reason::kEmpty));
    // Cut short at every part of the file: inside the file header, the info
    // header, right after it, inside the rows and by the very last byte.
    for (const qsizetype cut : {qsizetype(1), qsizetype(2), qsizetype(10), qsizetype(14), qsizetype(17),
                                qsizetype(30), qsizetype(53), qsizetype(54), qsizetype(100),
                                good.size() / 2, good.size() - 2, good.size() - 1}) {
        out.push_back(refused(QStringLiteral("bmp-cut-at-%1.bmp").arg(cut, 3, 10, QLatin1Char('0')),
                              good.left(cut), cut < 2 ? reason::kNotAPicture : reason::kTruncated));
    }

    // 60000 x 60000 over a few bytes: the data it claims is not there.
    out.push_back(refused(QStringLiteral("bmp-lying-size.bmp"),
                          Bmp{40, 60000, 60000, 24, kRgb, {}, 0, {}, QByteArray(16, '\x55')}.file(),
                          reason::kTruncated));
    // Run-length data can be tiny, so there the pixel limit decides...
    out.push_back(refused(QStringLiteral("bmp-rle-lying-size.bmp"),
                          Bmp{40, 60000, 60000, 8, kRle8, palette4, 4, {}, QByteArray("\0\1", 2)}.file(),
                          reason::kTooLarge));
    // ...and codes that stop without an end are refused before the picture
    // is made, however large it claims to be.
    out.push_back(refused(QStringLiteral("bmp-rle-cut-short.bmp"),
                          Bmp{40, 8000, 8000, 8, kRle8, palette4, 4, {}, QByteArray("\xff\1\xff\2", 4)}.file(),
                          reason::kTruncated));
    // A strip of 1 x 60 million pixels, within the pixel limit, in a few
    // bytes: fitting it would take minutes, so its length is refused.
    out.push_back(refused(QStringLiteral("bmp-rle-long-strip.bmp"),
                          Bmp{40, 1, 60000000, 8, kRle8, palette4, 4, {}, QByteArray("\0\1", 2)}.file(),
                          reason::kTooLarge));
    out.push_back(refused(QStringLiteral("bmp-rle4-absolute-cut.bmp"),
                          Bmp{40, w, h, 4, kRle4, palette4, 4, {}, QByteArray("\0\x10\x01\x23", 4)}.file(),
                          reason::kTruncated));

    out.push_back(refused(QStringLiteral("bmp-zero-width.bmp"),
                          Bmp{40, 0, h, 24, kRgb, {}, 0, {}, QByteArray(64, '\0')}.file(), reason::kBmpDamaged));
    out.push_back(refused(QStringLiteral("bmp-negative-width.bmp"),
                          Bmp{40, -w, h, 24, kRgb, {}, 0, {}, packRows(w, h, false, 24, colour)}.file(),
                          reason::kBmpDamaged));
    out.push_back(refused(QStringLiteral("bmp-rle8-with-24-bits.bmp"),
                          Bmp{40, w, h, 24, kRle8, {}, 0, {}, QByteArray("\0\1", 2)}.file(), reason::kBmpDamaged));
    out.push_back(refused(QStringLiteral("bmp-broken-masks.bmp"),
                          Bmp{40, w, h, 16, kBitFields, {}, 0, {0xf00f, 0x07e0, 0x001f, 0},
                              QByteArray(w * h * 2, '\0')}
                              .file(),
                          reason::kBmpDamaged));
    {
        QByteArray pastEnd = good;
        setU32(pastEnd, 10, quint32(good.size() + 100));
        out.push_back(refused(QStringLiteral("bmp-data-offset-past-end.bmp"), pastEnd, reason::kBmpDamaged));
    }
    out.push_back(refused(QStringLiteral("bmp-2bit.bmp"),
                          Bmp{40, w, h, 2, kRgb, palette4, 4, {}, QByteArray(w * h / 4, '\0')}.file(),
                          reason::kBmpUnsupported));
    out.push_back(refused(QStringLiteral("bmp-64bit.bmp"),
                          Bmp{40, w, h, 64, kRgb, {}, 0, {}, QByteArray(w * h * 8, '\0')}.file(),
                          reason::kBmpUnsupported));
    out.push_back(refused(QStringLiteral("bmp-embedded-jpeg.bmp"),
                          Bmp{40, w, h, 0, kJpegData, {}, 0, {}, QByteArray("\xff\xd8\xff\xd9", 4)}.file(),
                          reason::kBmpUnsupported));
    out.push_back(refused(QStringLiteral("bmp-unknown-compression.bmp"),
                          Bmp{40, w, h, 24, 99, {}, 0, {}, packRows(w, h, false, 24, colour)}.file(),
                          reason::kBmpUnsupported));
    {
        QByteArray odd = good;
        setU32(odd, 14, 20); // a header size no version has
        out.push_back(refused(QStringLiteral("bmp-unknown-header.bmp"), odd, reason::kBmpUnsupported));
    }
    out.push_back(refused(QStringLiteral("bmp-signature-only.bmp"), QByteArray("BM"), reason::kTruncated));
}

// ---------------------------------------------------------------------------
// JPEG files, written with libjpeg

// An Exif APP1 payload holding one orientation tag.
QByteArray exifOrientation(int orientation, bool bigEndian)
{
    QByteArray tiff = bigEndian ? QByteArray("MM\0\x2a\0\0\0\x08", 8) : QByteArray("II\x2a\0\x08\0\0\0", 8);
    const auto u16 = [&](quint32 v) {
        if (bigEndian) {
            tiff.append(char(v >> 8));
            tiff.append(char(v & 0xff));
        } else {
            putU16(tiff, v);
        }
    };
    const auto u32 = [&](quint32 v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xffff);
        } else {
            putU32(tiff, v);
        }
    };
    u16(1);      // one entry
    u16(0x0112); // Orientation
    u16(3);      // SHORT
    u32(1);      // one value
    u16(quint32(orientation));
    u16(0);
    u32(0); // no next IFD
    return QByteArray("Exif\0\0", 6) + tiff;
}

// The picture stored so that turning it by `orientation` gives `upright`.
QImage storedFor(const QImage &upright, int orientation)
{
    const bool swap = orientation >= 5;
    const int w = swap ? upright.height() : upright.width(); // stored width
    const int h = swap ? upright.width() : upright.height();
    QImage stored(w, h, QImage::Format_RGB32);
    for (int sy = 0; sy < h; ++sy) {
        for (int sx = 0; sx < w; ++sx) {
            int ux = sx, uy = sy;
            switch (orientation) {
            case 2: ux = w - 1 - sx; break;
            case 3: ux = w - 1 - sx; uy = h - 1 - sy; break;
            case 4: uy = h - 1 - sy; break;
            case 5: ux = sy; uy = sx; break;
            case 6: ux = h - 1 - sy; uy = sx; break;
            case 7: ux = h - 1 - sy; uy = w - 1 - sx; break;
            case 8: ux = sy; uy = w - 1 - sx; break;
            default: break;
            }
            stored.setPixel(sx, sy, upright.pixel(ux, uy));
        }
    }
    return stored;
}

qsizetype markerAt(const QByteArray &file, uchar code)
{
    const char marker[2] = {char(0xff), char(code)};
    return file.indexOf(QByteArray(marker, 2));
}

// Where the entropy-coded data of the first scan begins.
qsizetype scanDataAt(const QByteArray &file)
{
    const qsizetype sos = markerAt(file, 0xda);
    return sos + 2 + ((uchar(file[sos + 2]) << 8) | uchar(file[sos + 3]));
}

void jpegVariants(std::vector<Entry> &out)
{
    // 32 x 32 in 16 x 16 quarters: whole blocks and whole 4:2:0 units, so
    // colours do not bleed into the quarters' centres.
    const QImage picture = quarterPicture(32, 32, kColours);
    const QSize size(32, 32);
    constexpr int kTolerance = 12;

    out.push_back(loads(QStringLiteral("jpeg-baseline.jpg"), encodeJpeg(picture), size, kColours, kTolerance));
    out.push_back(loads(QStringLiteral("jpeg-subsampled.jpg"), encodeJpeg(picture, {.subsampled = true}), size, kColours,
                        kTolerance));
    out.push_back(loads(QStringLiteral("jpeg-progressive.jpg"), encodeJpeg(picture, {.progressive = true}), size,
                        kColours, kTolerance));
    out.push_back(loads(QStringLiteral("jpeg-progressive-subsampled.jpg"),
                        encodeJpeg(picture, {.progressive = true, .subsampled = true}), size, kColours, kTolerance));
    out.push_back(loads(QStringLiteral("jpeg-arithmetic.jpg"), encodeJpeg(picture, {.arithmetic = true}), size, kColours,
                        kTolerance));
    out.push_back(loads(QStringLiteral("jpeg-restart-markers.jpg"), encodeJpeg(picture, {.restartRows = 1}), size,
                        kColours, kTolerance));
    {
        // Restart markers in the layouts a decoder that starts at one of them
        // must lay out as the file has them: chroma interpolated between rows
        // (4:2:0, 4:4:0), two intervals a row, an interval of one MCU, one
        // component, four, and a quarter turn.
        const QImage large = quarterPicture(64, 64, kColours);
        const QSize largeSize(64, 64);
        out.push_back(loads(QStringLiteral("jpeg-restart-420.jpg"),
                            encodeJpeg(large, {.sampling = JpegSampling::S420, .restartRows = 1}), largeSize, kColours,
                            kTolerance));
        out.push_back(loads(QStringLiteral("jpeg-restart-440-half-rows.jpg"),
                            encodeJpeg(large, {.sampling = JpegSampling::S440, .restartMcus = 4}), largeSize, kColours,
                            kTolerance));
        out.push_back(loads(QStringLiteral("jpeg-restart-422-every-mcu.jpg"),
                            encodeJpeg(large, {.sampling = JpegSampling::S422, .restartMcus = 1}), largeSize, kColours,
                            kTolerance));
        const Quarters greys = {0xff000000, 0xff555555, 0xffaaaaaa, 0xffffffff};
        out.push_back(loads(QStringLiteral("jpeg-restart-greyscale.jpg"),
                            encodeJpeg(quarterPicture(64, 64, greys), {.colour = JpegColour::Grey, .restartRows = 1}),
                            largeSize, greys, kTolerance));
        const Quarters inks = {kRed, kGreen, kBlue, kYellow};
        out.push_back(loads(QStringLiteral("jpeg-restart-ycck-adobe.jpg"),
                            encodeJpeg(quarterPicture(64, 64, inks),
                                       {.colour = JpegColour::YcckAdobe, .subsampled = true, .restartRows = 1}),
                            largeSize, inks, kTolerance));
        const QImage upright = quarterPicture(64, 96, kColours);
        out.push_back(loads(QStringLiteral("jpeg-restart-420-turned.jpg"),
                            encodeJpeg(storedFor(upright, 6), {.sampling = JpegSampling::S420, .restartRows = 1,
                                                               .app1 = {exifOrientation(6, false)}}),
                            upright.size(), kColours, kTolerance));
    }
    {
        const Quarters greys = {0xff000000, 0xff555555, 0xffaaaaaa, 0xffffffff};
        out.push_back(loads(QStringLiteral("jpeg-greyscale.jpg"),
                            encodeJpeg(quarterPicture(32, 32, greys), {.colour = JpegColour::Grey}), size, greys,
                            kTolerance));
    }
    const Quarters inks = {kRed, kGreen, kBlue, kYellow};
    const QImage inkPicture = quarterPicture(32, 32, inks);
    out.push_back(loads(QStringLiteral("jpeg-cmyk-adobe.jpg"), encodeJpeg(inkPicture, {.colour = JpegColour::CmykAdobe}),
                        size, inks, kTolerance));
    out.push_back(loads(QStringLiteral("jpeg-ycck-adobe.jpg"), encodeJpeg(inkPicture, {.colour = JpegColour::YcckAdobe}),
                        size, inks, kTolerance));
    out.push_back(loads(QStringLiteral("jpeg-cmyk-plain.jpg"), encodeJpeg(inkPicture, {.colour = JpegColour::CmykPlain}),
                        size, inks, kTolerance));

    // Every EXIF orientation, on a picture wider than high so that turns
    // show; the stored picture is the upright one turned back.
    const QImage upright = quarterPicture(48, 32, kColours);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QByteArray file = encodeJpeg(storedFor(upright, orientation),
                                     {.app1 = {exifOrientation(orientation, orientation % 2 == 0)}});
        out.push_back(loads(QStringLiteral("jpeg-exif-orientation-%1.jpg").arg(orientation), file, upright.size(),
                            kColours, kTolerance));
    }
    {
        // An Exif block whose IFD offset points past its end: no orientation.
        QByteArray exif = exifOrientation(6, false);
        setU32(exif, 6 + 4, 5000);
        out.push_back(loads(QStringLiteral("jpeg-exif-broken.jpg"), encodeJpeg(picture, {.app1 = {exif}}), size, kColours,
                            kTolerance));
    }
    {
        // The end marker lost: every pixel is there, so it loads.
        const QByteArray file = encodeJpeg(picture);
        Entry e = loads(QStringLiteral("jpeg-without-end-marker.jpg"), file.left(file.size() - 2), size, kColours,
                        kTolerance);
        e.seed = false;
        out.push_back(e);
    }
}

void jpegDamage(std::vector<Entry> &out)
{
    const QImage picture = quarterPicture(32, 32, kColours);
    const QByteArray good = encodeJpeg(picture);
    const QByteArray progressive = encodeJpeg(picture, {.progressive = true});

    out.push_back(refused(QStringLiteral("jpeg-empty.jpg"), {}, reason::kEmpty));
    out.push_back(refused(QStringLiteral("jpeg-start-marker-only.jpg"), good.left(2), reason::kTruncated));
    // Cut short inside the header segments, at the start of the scan, inside
    // it and just before its end.
    const qsizetype data = scanDataAt(good);
    for (const qsizetype cut : {qsizetype(3), qsizetype(20), markerAt(good, 0xc0) + 5, data - 4, data, data + 1,
                                data + (good.size() - data) / 2, good.size() - 4}) {
        out.push_back(refused(QStringLiteral("jpeg-cut-at-%1.jpg").arg(cut, 4, 10, QLatin1Char('0')),
                              good.left(cut), reason::kTruncated));
    }
    {
        const qsizetype pdata = scanDataAt(progressive);
        out.push_back(refused(QStringLiteral("jpeg-progressive-cut.jpg"),
                              progressive.left(pdata + (progressive.size() - pdata) / 2), reason::kTruncated));
    }
    {
        // A broken download: the second half of the scan is zeros.
        QByteArray zeros = good;
        const qsizetype from = data + (good.size() - data) / 2;
        zeros.replace(from, good.size() - from, QByteArray(good.size() - from, '\0'));
        out.push_back(refused(QStringLiteral("jpeg-zero-filled-tail.jpg"), zeros, reason::kTruncated));
    }
    {
        // Scan data overwritten with a marker that cannot stand there.
        QByteArray marker = good;
        const qsizetype at = data + (good.size() - data) / 3;
        marker[at] = char(0xff);
        marker[at + 1] = char(0xc4);
        out.push_back(refused(QStringLiteral("jpeg-marker-in-scan.jpg"), marker, reason::kJpegDamaged));
    }
    {
        // 60000 x 60000 in the frame header over a picture of a few blocks.
        QByteArray lie = good;
        const qsizetype sof = markerAt(good, 0xc0);
        setU16BigEndian(lie, sof + 5, 60000);
        setU16BigEndian(lie, sof + 7, 60000);
        out.push_back(refused(QStringLiteral("jpeg-lying-size.jpg"), lie, reason::kTruncated));
        QByteArray within = good;
        setU16BigEndian(within, sof + 5, 8000);
        setU16BigEndian(within, sof + 7, 8000);
        out.push_back(refused(QStringLiteral("jpeg-lying-size-within-limit.jpg"), within, reason::kTruncated));
    }
    {
        // Progressive files hold all their coefficients, so the size counts.
        QByteArray lie = progressive;
        const qsizetype sof = markerAt(progressive, 0xc2);
        setU16BigEndian(lie, sof + 5, 65000);
        setU16BigEndian(lie, sof + 7, 65000);
        out.push_back(refused(QStringLiteral("jpeg-progressive-lying-size.jpg"), lie, reason::kTooLarge));
    }
    {
        QByteArray twelve = good;
        twelve[markerAt(good, 0xc0) + 4] = char(12);
        out.push_back(refused(QStringLiteral("jpeg-12-bit.jpg"), twelve, reason::kJpegUnsupported));
        QByteArray lossless = good;
        lossless[markerAt(good, 0xc0) + 1] = char(0xc3);
        out.push_back(refused(QStringLiteral("jpeg-lossless.jpg"), lossless, reason::kJpegUnsupported));
    }
}

// A GIF of two colours, left half and right half, its LZW codes kept at 3
// bits by a clear code before every pair of pixels.
QByteArray gifFile(int width, int height)
{
    std::vector<int> codes;
    for (int i = 0; i < width * height; i += 2) {
        codes.push_back(4); // clear
        for (int j = i; j < i + 2 && j < width * height; ++j)
            codes.push_back(j % width < width / 2 ? 0 : 1);
    }
    codes.push_back(5); // end of information
    QByteArray lzw;
    quint32 bits = 0;
    int count = 0;
    for (const int code : codes) {
        bits |= quint32(code) << count;
        count += 3;
        for (; count >= 8; count -= 8, bits >>= 8)
            lzw.append(char(bits & 0xff));
    }
    if (count > 0)
        lzw.append(char(bits & 0xff));

    QByteArray out("GIF89a");
    putU16(out, quint32(width));
    putU16(out, quint32(height));
    out.append("\x80\0\0", 3);          // a global table of two colours
    out.append("\xff\0\0\0\0\xff", 6); // red, blue
    out.append(',');
    putU16(out, 0);
    putU16(out, 0);
    putU16(out, quint32(width));
    putU16(out, quint32(height));
    out.append('\0');
    out.append('\2'); // minimum code size
    for (qsizetype i = 0; i < lzw.size(); i += 255) {
        const QByteArray block = lzw.mid(i, 255);
        out.append(char(block.size()));
        out += block;
    }
    out.append('\0');
    out.append(';');
    return out;
}

// Files whose name says one format and whose content is another, or none.
void otherFormats(std::vector<Entry> &out)
{
    const QImage picture = quarterPicture(16, 8, kColours);
    const auto written = [&](const char *format) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, format).write(picture);
        return bytes;
    };
    const QByteArray bmp = Bmp{40, 16, 8, 24, kRgb, {}, 0, {},
                               packRows(16, 8, false, 24, [&](int x, int y) { return picture.pixel(x, y); })}
                               .file();
    Entry e = loads(QStringLiteral("bmp-named-jpg.jpg"), bmp, picture.size(), kColours);
    e.seed = false;
    out.push_back(e);
    e = loads(QStringLiteral("jpeg-named-bmp.bmp"), encodeJpeg(quarterPicture(32, 32, kColours)), QSize(32, 32),
              kColours, 12);
    e.seed = false;
    out.push_back(e);
    const QByteArray png = written("png");
    out.push_back(loads(QStringLiteral("png-named-bmp.bmp"), png, picture.size(), kColours));
    {
        // An ancillary chunk of the wrong length: the library warns and goes
        // on, and the picture is whole.
        QByteArray odd = png;
        odd.insert(8 + 25, pngChunk("sRGB", QByteArray(2, '\0'))); // after the signature and the header chunk
        Entry e = loads(QStringLiteral("png-odd-chunk.png"), odd, picture.size(), kColours);
        e.seed = false;
        out.push_back(e);
    }
    out.push_back(refused(QStringLiteral("png-cut-short.png"), png.left(png.size() / 2), reason::kTruncated));
    {
        QByteArray flipped = png;
        const qsizetype idat = png.indexOf("IDAT");
        flipped[idat + 6] = char(flipped[idat + 6] ^ 0x10);
        out.push_back(refused(QStringLiteral("png-damaged.png"), flipped, QStringLiteral("the PNG data is damaged")));
    }
    // GIF is not read: a cut-short one would come out padded. Refused, cut
    // short or whole, whatever it is called.
    const QByteArray gif = gifFile(16, 8);
    out.push_back(refused(QStringLiteral("gif-named-bmp.bmp"), gif, reason::kNotAPicture));
    out.push_back(refused(QStringLiteral("gif-cut-short.gif"), gif.left(gif.size() - 20), reason::kNotAPicture));

    out.push_back(refused(QStringLiteral("text-named-jpg.jpg"), "just some words\r\n", reason::kNotAPicture));
    out.push_back(refused(QStringLiteral("html-named-jpg.jpg"),
                          "<!DOCTYPE html>\n<html><body>404 Not Found</body></html>\n", reason::kNotAPicture));
    out.push_back(refused(QStringLiteral("zeros-named-bmp.bmp"), QByteArray(512, '\0'), reason::kNotAPicture));
    {
        QByteArray noise;
        quint32 state = 0x2545f491u;
        for (int i = 0; i < 700; ++i) {
            state = state * 1664525u + 1013904223u;
            noise.append(char(state >> 24));
        }
        noise[0] = 'Z';
        out.push_back(refused(QStringLiteral("noise-named-jpg.jpg"), noise, reason::kNotAPicture));
    }
    out.push_back(refused(QStringLiteral("bm-then-text.bmp"), "BM is how this note starts, not a bitmap.",
                          reason::kBmpUnsupported));
}

// The colour channels of the quarter picture, for the PNG writer.
std::function<quint32(int, int, int)> quarterSamples(int width, int height)
{
    return [=](int x, int y, int c) {
        const QRgb v = kColours[quarterOf(x, y, width, height)];
        return quint32(c == 0 ? qRed(v) : c == 1 ? qGreen(v) : c == 2 ? qBlue(v) : 255);
    };
}

// The zlib data of `raw` followed by `zeroMiB` MiB of zeros, every MiB after
// the first the same few hundred bytes (deflate starts afresh at each full
// flush), so a file of a few megabytes holds gigabytes of image data.
QByteArray zlibWithZeroTail(const QByteArray &raw, qint64 zeroMiB)
{
    z_stream s{};
    if (deflateInit(&s, 9) != Z_OK)
        std::abort();
    QByteArray out;
    const auto run = [&](const QByteArray &in, int flush) {
        s.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(in.constData()));
        s.avail_in = uInt(in.size());
        QByteArray produced;
        do {
            char buffer[1 << 16];
            s.next_out = reinterpret_cast<Bytef *>(buffer);
            s.avail_out = sizeof buffer;
            deflate(&s, flush);
            produced.append(buffer, qsizetype(sizeof buffer - s.avail_out));
        } while (s.avail_out == 0);
        return produced;
    };
    const QByteArray mib(1 << 20, '\0');
    out += run(raw, Z_FULL_FLUSH);
    const QByteArray unit = run(mib, Z_FULL_FLUSH);
    for (qint64 i = 0; i < zeroMiB; ++i)
        out += unit;
    out += run({}, Z_FINISH);
    deflateEnd(&s);
    // The checksum at the end covers all of it.
    uLong adler = adler32(1, reinterpret_cast<const Bytef *>(raw.constData()), uInt(raw.size()));
    const uLong mibAdler = adler32(1, reinterpret_cast<const Bytef *>(mib.constData()), uInt(mib.size()));
    for (qint64 i = 0; i < zeroMiB; ++i)
        adler = adler32_combine(adler, mibAdler, z_off_t(mib.size()));
    for (int i = 0; i < 4; ++i)
        out[out.size() - 4 + i] = char((adler >> (24 - 8 * i)) & 0xff);
    return out;
}

// PNG files of each kind, and damaged ones whose chunks are all intact (their
// checksums match), so that only the image data tells.
void pngFiles(std::vector<Entry> &out)
{
    constexpr int w = 16;
    constexpr int h = 8;
    const QSize size(w, h);
    const PngHeader rgb{w, h, 8, 2, false};
    const QByteArray rows = pngScanlines(rgb, quarterSamples(w, h));
    const QByteArray data = zlibCompress(rows);
    QByteArray palette;
    for (const QRgb c : kColours)
    {
        palette.append(char(qRed(c)));
        palette.append(char(qGreen(c)));
        palette.append(char(qBlue(c)));
    }
    const auto indices = [&](int x, int y, int) { return quint32(quarterOf(x, y, w, h)); };

    out.push_back(loads(QStringLiteral("png-rgb.png"), pngFile(rgb, data), size, kColours));
    {
        const PngHeader interlaced{w, h, 8, 6, true};
        out.push_back(loads(QStringLiteral("png-rgba-interlaced.png"),
                            pngFile(interlaced, zlibCompress(pngScanlines(interlaced, quarterSamples(w, h)))), size,
                            kColours));
    }
    {
        const PngHeader indexed{w, h, 2, 3, false};
        out.push_back(loads(QStringLiteral("png-palette-2bit.png"),
                            pngFile(indexed, zlibCompress(pngScanlines(indexed, indices)), pngChunk("PLTE", palette)),
                            size, kColours));
        out.push_back(refused(QStringLiteral("png-palette-missing.png"),
                              pngFile(indexed, zlibCompress(pngScanlines(indexed, indices))),
                              QStringLiteral("the PNG data is damaged (the palette is missing)")));
    }
    {
        const Quarters greys = {0xff000000, 0xff555555, 0xffaaaaaa, 0xffffffff};
        const PngHeader grey{w, h, 16, 0, false};
        const auto level = [&](int x, int y, int) { return quint32(qRed(greys[quarterOf(x, y, w, h)]) * 257); };
        out.push_back(loads(QStringLiteral("png-grey-16bit.png"),
                            pngFile(grey, zlibCompress(pngScanlines(grey, level))), size, greys));
    }
    {
        // The zlib stream lacks its checksum, but every row is there.
        Entry e = loads(QStringLiteral("png-without-zlib-end.png"), pngFile(rgb, data.left(data.size() - 4)), size,
                        kColours);
        e.seed = false;
        out.push_back(e);
    }

    {
        // A reserved block type where the first deflate block starts.
        QByteArray broken = data;
        broken[2] = char(broken[2] | 0x06);
        out.push_back(refused(QStringLiteral("png-corrupt-zlib.png"), pngFile(rgb, broken),
                              QStringLiteral("the image data cannot be decompressed")));
    }
    out.push_back(refused(QStringLiteral("png-data-ends-early.png"),
                          pngFile(rgb, zlibCompress(rows.left(rows.size() / 2))),
                          QStringLiteral("the image data ends before the last row")));
    {
        QByteArray filtered = rows;
        filtered[3 * (1 + w * 3)] = char(7); // the fourth row's filter
        out.push_back(refused(QStringLiteral("png-bad-row-filter.png"), pngFile(rgb, zlibCompress(filtered)),
                              QStringLiteral("row filter 7")));
    }
    // 64 MiB of zeros after the last row, in 64 KiB of file.
    out.push_back(refused(QStringLiteral("png-compressed-tail.png"), pngFile(rgb, zlibWithZeroTail(rows, 64)),
                          QStringLiteral("its image data is longer than a picture of 16 x 8 pixels needs")));
    out.push_back(refused(QStringLiteral("png-unknown-critical-chunk.png"),
                          pngFile(rgb, data, pngChunk("ZZZZ", "?")),
                          QStringLiteral("this kind of PNG is not supported")));
    out.push_back(refused(QStringLiteral("png-bad-bit-depth.png"), pngFile({w, h, 3, 2, false}, data),
                          QStringLiteral("the PNG header is damaged")));
    out.push_back(refused(QStringLiteral("png-no-image-data.png"), pngFile(rgb, {}),
                          QStringLiteral("the PNG data is damaged (there is no image data)")));
}

} // namespace

std::vector<Entry> entries()
{
    std::vector<Entry> out;
    bmpVariants(out);
    bmpDamage(out);
    jpegVariants(out);
    jpegDamage(out);
    otherFormats(out);
    pngFiles(out);
    return out;
}

QByteArray encodeJpeg(const QImage &picture, const JpegRecipe &recipe)
{
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = onJpegError;
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    const bool cmyk = recipe.colour == JpegColour::CmykAdobe || recipe.colour == JpegColour::YcckAdobe
                      || recipe.colour == JpegColour::CmykPlain;
    cinfo.image_width = JDIMENSION(source.width());
    cinfo.image_height = JDIMENSION(source.height());
    cinfo.input_components = recipe.colour == JpegColour::Grey ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = recipe.colour == JpegColour::Grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (recipe.colour == JpegColour::YcckAdobe)
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    if (recipe.colour == JpegColour::CmykPlain)
        cinfo.write_Adobe_marker = FALSE;
    jpeg_set_quality(&cinfo, recipe.quality, TRUE);
    if (recipe.sampling != JpegSampling::AsSubsampled || !recipe.subsampled) {
        const int h = recipe.sampling == JpegSampling::S422 || recipe.sampling == JpegSampling::S420 ? 2 : 1;
        const int v = recipe.sampling == JpegSampling::S440 || recipe.sampling == JpegSampling::S420 ? 2 : 1;
        for (int c = 0; c < cinfo.num_components; ++c) {
            const bool full = c == 0 || c == 3; // luma, and K
            cinfo.comp_info[c].h_samp_factor = full ? h : 1;
            cinfo.comp_info[c].v_samp_factor = full ? v : 1;
        }
    }
    cinfo.arith_code = recipe.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = recipe.restartMcus > 0 ? 0 : recipe.restartRows;
    cinfo.restart_interval = unsigned(recipe.restartMcus);
    if (recipe.progressive)
        jpeg_simple_progression(&cinfo);
    if (!recipe.scans.empty()) {
        cinfo.scan_info = recipe.scans.data();
        cinfo.num_scans = int(recipe.scans.size());
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (const QByteArray &payload : recipe.app1)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET *>(payload.constData()),
                          unsigned(payload.size()));

    std::vector<JSAMPLE> row(std::size_t(source.width()) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const auto *pixels = reinterpret_cast<const QRgb *>(source.constScanLine(int(cinfo.next_scanline)));
        for (int x = 0; x < source.width(); ++x) {
            const QRgb c = pixels[x];
            if (recipe.colour == JpegColour::Grey) {
                row[x] = JSAMPLE(qGray(c));
            } else if (cmyk) {
                // Ink amounts from the colour, K from the brightest channel;
                // Adobe files store them inverted (0 is full ink).
                const int mx = std::max({qRed(c), qGreen(c), qBlue(c)});
                std::array<int, 4> ink{255, 255, 255, 255};
                if (mx > 0)
                    ink = {255 - qRed(c) * 255 / mx, 255 - qGreen(c) * 255 / mx, 255 - qBlue(c) * 255 / mx, 255 - mx};
                for (int i = 0; i < 4; ++i)
                    row[std::size_t(x) * 4 + std::size_t(i)] =
                        JSAMPLE(recipe.colour == JpegColour::CmykPlain ? ink[std::size_t(i)] : 255 - ink[std::size_t(i)]);
            } else {
                row[std::size_t(x) * 3] = JSAMPLE(qRed(c));
                row[std::size_t(x) * 3 + 1] = JSAMPLE(qGreen(c));
                row[std::size_t(x) * 3 + 2] = JSAMPLE(qBlue(c));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    const QByteArray out(reinterpret_cast<const char *>(buffer), qsizetype(size));
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

} // namespace velloran::corpus

namespace velloran::corpus {

namespace {

struct PngPass
{
    int x0, y0, dx, dy;
};
constexpr std::array<PngPass, 7> kAdam7 = {{{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}}};

int pngChannels(int colourType)
{
    return colourType == 2 ? 3 : colourType == 4 ? 2 : colourType == 6 ? 4 : 1;
}

int paethPredictor(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

} // namespace

QByteArray pngScanlines(const PngHeader &header, const std::function<quint32(int, int, int)> &sample)
{
    const int channels = pngChannels(header.colourType);
    const int bitsPerPixel = channels * header.depth;
    const int bpp = std::max(1, bitsPerPixel / 8);
    std::vector<PngPass> passes;
    if (header.interlaced)
        passes.assign(kAdam7.begin(), kAdam7.end());
    else
        passes.push_back({0, 0, 1, 1});
    QByteArray out;
    int filter = 0;
    for (const PngPass &pass : passes) {
        const int w = header.width > pass.x0 ? (header.width - pass.x0 + pass.dx - 1) / pass.dx : 0;
        const int h = header.height > pass.y0 ? (header.height - pass.y0 + pass.dy - 1) / pass.dy : 0;
        if (w == 0 || h == 0)
            continue;
        const qsizetype rowBytes = (qsizetype(w) * bitsPerPixel + 7) / 8;
        QByteArray previous(rowBytes, '\0');
        for (int r = 0; r < h; ++r) {
            QByteArray row(rowBytes, '\0');
            qsizetype bit = 0;
            for (int i = 0; i < w; ++i) {
                for (int c = 0; c < channels; ++c, bit += header.depth) {
                    const quint32 v = sample(pass.x0 + i * pass.dx, pass.y0 + r * pass.dy, c);
                    if (header.depth == 16) {
                        row[bit / 8] = char(v >> 8);
                        row[bit / 8 + 1] = char(v);
                    } else {
                        const int shift = 8 - header.depth - int(bit % 8);
                        row[bit / 8] = char(uchar(row[bit / 8]) | uchar(v << shift));
                    }
                }
            }
            const auto at = [](const QByteArray &b, qsizetype i) { return i < 0 ? 0 : int(uchar(b[i])); };
            out.append(char(filter));
            for (qsizetype i = 0; i < rowBytes; ++i) {
                const int x = uchar(row[i]);
                const int a = at(row, i - bpp);
                const int b = at(previous, i);
                const int c = at(previous, i - bpp);
                const int predicted = filter == 0 ? 0
                                      : filter == 1 ? a
                                      : filter == 2 ? b
                                      : filter == 3 ? (a + b) / 2
                                                    : paethPredictor(a, b, c);
                out.append(char(x - predicted));
            }
            filter = (filter + 1) % 5;
            previous = row;
        }
    }
    return out;
}

QByteArray pngChunk(const char *type, const QByteArray &body)
{
    QByteArray out;
    const auto put32 = [&](quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.append(char((v >> shift) & 0xff));
    };
    put32(quint32(body.size()));
    const QByteArray typed = QByteArray(type, 4) + body;
    out += typed;
    put32(quint32(crc32(0, reinterpret_cast<const Bytef *>(typed.constData()), uInt(typed.size()))));
    return out;
}

QByteArray pngFile(const PngHeader &header, const QByteArray &zlibData, const QByteArray &before,
                   qsizetype chunkBytes)
{
    QByteArray ihdr;
    const auto put32 = [&](quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            ihdr.append(char((v >> shift) & 0xff));
    };
    put32(quint32(header.width));
    put32(quint32(header.height));
    ihdr.append(char(header.depth));
    ihdr.append(char(header.colourType));
    ihdr.append('\0');
    ihdr.append('\0');
    ihdr.append(char(header.interlaced ? 1 : 0));
    QByteArray out("\x89PNG\r\n\x1a\n", 8);
    out += pngChunk("IHDR", ihdr);
    out += before;
    for (qsizetype at = 0; at < zlibData.size(); at += chunkBytes)
        out += pngChunk("IDAT", zlibData.mid(at, chunkBytes));
    out += pngChunk("IEND", {});
    return out;
}

QByteArray zlibCompress(const QByteArray &raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(out.data()), &size, reinterpret_cast<const Bytef *>(raw.constData()),
                  uLong(raw.size()), 9)
        != Z_OK) {
        std::fprintf(stderr, "corpus: zlib failed\n");
        std::abort();
    }
    out.truncate(qsizetype(size));
    return out;
}

} // namespace velloran::corpus

namespace velloran::corpus {

namespace {

// Bits, most significant first, with JPEG's byte stuffing.
class JpegBits
{
public:
    explicit JpegBits(QByteArray &out) : out_(out) {}
    void put(quint32 value, int count)
    {
        for (int i = count - 1; i >= 0; --i) {
            byte_ = (byte_ << 1) | ((value >> i) & 1);
            if (++bits_ == 8)
                flushByte();
        }
    }
    // Pads the last byte with ones, as encoders do.
    void align()
    {
        while (bits_ != 0)
            put(1, 1);
    }

private:
    void flushByte()
    {
        out_.append(char(byte_));
        if (byte_ == 0xff)
            out_.append('\0');
        byte_ = 0;
        bits_ = 0;
    }
    QByteArray &out_;
    quint32 byte_ = 0;
    int bits_ = 0;
};

void putSegment(QByteArray &out, int marker, const QByteArray &body)
{
    out.append(char(0xff));
    out.append(char(marker));
    out.append(char((body.size() + 2) >> 8));
    out.append(char((body.size() + 2) & 0xff));
    out += body;
}

} // namespace

QByteArray progressiveJpegWithScans(int width, int height, int scans, int lastCoefficient)
{
    QByteArray out("\xff\xd8", 2);
    putSegment(out, 0xdb, QByteArray(1, '\0') + QByteArray(64, '\1'));
    QByteArray frame;
    frame.append('\x08');
    frame.append(char(height >> 8));
    frame.append(char(height & 0xff));
    frame.append(char(width >> 8));
    frame.append(char(width & 0xff));
    frame.append("\x01\x01\x11\x00", 4);
    putSegment(out, 0xc2, frame);
    // DC: the one difference 0, a 1-bit code. AC: the end-of-band runs
    // EOB0 to EOB14 (symbols 0x00 to 0xe0), fifteen 4-bit codes.
    QByteArray dc("\x00", 1);
    dc += QByteArray("\x01", 1) + QByteArray(15, '\0') + QByteArray(1, '\0');
    putSegment(out, 0xc4, dc);
    QByteArray ac("\x10", 1);
    ac += QByteArray(3, '\0') + QByteArray(1, char(15)) + QByteArray(12, '\0');
    for (int r = 0; r < 15; ++r)
        ac.append(char(r << 4));
    putSegment(out, 0xc4, ac);

    const qint64 blocks = qint64((width + 7) / 8) * ((height + 7) / 8);
    const auto scan = [&](int ss, int se, int ah, int al) {
        QByteArray header("\x01\x01\x00", 3);
        header.append(char(ss));
        header.append(char(se));
        header.append(char(ah << 4 | al));
        putSegment(out, 0xda, header);
        JpegBits bits(out);
        if (ss == 0) {
            for (qint64 i = 0; i < blocks; ++i)
                bits.put(0, 1);
        } else {
            for (qint64 left = blocks; left > 0;) {
                const qint64 run = std::min<qint64>(left, 32767);
                int r = 0;
                while ((2LL << r) <= run)
                    ++r;
                bits.put(quint32(r), 4); // the code of EOBr is r in four bits
                bits.put(quint32(run - (1LL << r)), r);
                left -= run;
            }
        }
        bits.align();
    };
    scan(0, 0, 0, 0);
    // Successive approximation of all 63 coefficients from bit 13 down, over
    // and over: each pass starts afresh with Ah = 0 where the last ended.
    for (int i = 1; i < scans; ++i) {
        const int step = (i - 1) % 14;
        scan(1, lastCoefficient, step == 0 ? 0 : 14 - step, 13 - step);
    }
    out.append("\xff\xd9", 2);
    return out;
}

} // namespace velloran::corpus

namespace velloran::corpus {

// Grey levels come through JPEG's colour conversion and a flat block's
// transform exactly.
constexpr Quarters kGreyQuarters = {0xff000000, 0xff555555, 0xffaaaaaa, 0xffffffff};

// 8192 x 8192 in grey quarters, 4:2:0, a restart marker after every MCU row.
QByteArray largeRestartJpeg()
{
    constexpr int side = 8192;
    QImage picture(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto *row = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int half = 0; half < 2; ++half)
            std::fill(row + half * side / 2, row + (half + 1) * side / 2,
                      kGreyQuarters[std::size_t(quarterOf(half * side / 2, y, side, side))]);
    }
    return encodeJpeg(picture, {.quality = 75, .sampling = JpegSampling::S420, .restartRows = 1});
}

std::vector<LargeEntry> largeEntries()
{
    std::vector<LargeEntry> out;
    const auto loadsLarge = [](QString name, QSize size) {
        Entry e;
        e.fileName = std::move(name);
        e.size = size;
        e.quarters = kColours;
        return e;
    };
    const auto refusedLarge = [](QString name, QString reason) {
        Entry e;
        e.fileName = std::move(name);
        e.outcome = Outcome::Refused;
        e.reason = std::move(reason);
        return e;
    };

    // The largest picture accepted, uncompressed: 192 MiB of rows.
    out.push_back({loadsLarge(QStringLiteral("bmp-8192x8192-24bit.bmp"), QSize(8192, 8192)), [] {
                       constexpr int side = 8192;
                       Bmp bmp{40, side, side, 24, kRgb, {}, 0, {}, {}};
                       // Rows in file order: the bottom half first.
                       QByteArray rows[2];
                       for (int half = 0; half < 2; ++half)
                           for (int x = 0; x < side; ++x) {
                               const QRgb c = kColours[quarterOf(x, half == 0 ? side - 1 : 0, side, side)];
                               rows[half].append(char(qBlue(c)));
                               rows[half].append(char(qGreen(c)));
                               rows[half].append(char(qRed(c)));
                           }
                       bmp.pixels.reserve(qsizetype(side) * side * 3);
                       for (int r = 0; r < side; ++r)
                           bmp.pixels += rows[r < side / 2 ? 0 : 1];
                       return bmp.file();
                   }});
    // A small PNG followed by 8 GiB of compressed zeros in 8 MB of image data.
    out.push_back({refusedLarge(QStringLiteral("png-64x64-compressed-tail.png"),
                                QStringLiteral("its image data is longer than a picture of 64 x 64 pixels needs")),
                   [] {
                       const PngHeader header{64, 64, 8, 2, false};
                       return pngFile(header, zlibWithZeroTail(pngScanlines(header, quarterSamples(64, 64)), 8192),
                                      {}, 1 << 20);
                   }});
    out.push_back({refusedLarge(QStringLiteral("jpeg-8192x8192-500-scans.jpg"),
                                QStringLiteral("the JPEG data is damaged (more scans than a picture of 8192 x 8192 "
                                               "pixels can take")),
                   [] { return progressiveJpegWithScans(8192, 8192, 500); }});
    // The largest picture as a photo with a restart marker after every row
    // of MCUs: decoded in two stripes on two threads. Damaged near its end,
    // the second decoder gives up last and the first decodes the second
    // half again: the longest the two threads take to refuse a file.
    Entry restartMarkers = loadsLarge(QStringLiteral("jpeg-8192x8192-restart-markers.jpg"), QSize(8192, 8192));
    restartMarkers.quarters = kGreyQuarters;
    out.push_back({restartMarkers, [] { return largeRestartJpeg(); }});
    out.push_back({refusedLarge(QStringLiteral("jpeg-8192x8192-restart-markers-damaged-late.jpg"),
                                QStringLiteral("the JPEG data is damaged (Corrupt JPEG data: 100 extraneous bytes "
                                               "before marker")),
                   [] {
                       QByteArray file = largeRestartJpeg();
                       // Before the last restart marker (the data holds no
                       // other 0xff followed by 0xd0 to 0xd7).
                       qsizetype last = file.size() - 2;
                       while (!(uchar(file[last]) == 0xff && uchar(file[last + 1]) >= 0xd0
                                && uchar(file[last + 1]) <= 0xd7))
                           --last;
                       return file.insert(last, QByteArray(100, 'x'));
                   }});
    // Run-length codes that write nothing: runs and deltas standing still at
    // the end of the first row, 256 MiB of them.
    out.push_back({refusedLarge(QStringLiteral("bmp-rle8-idle-codes.bmp"),
                                QStringLiteral("the BMP data is damaged (more than 12288 run-length codes that write "
                                               "no pixel)")),
                   [] {
                       constexpr int side = 8192;
                       QByteArray codes;
                       for (int x = 0; x < side; x += 128) {
                           codes.append(char(128));
                           codes.append(char(quarterOf(x, side - 1, side, side)));
                       }
                       const QByteArray idle("\x01\x00\x00\x02\x00\x00", 6);
                       const qsizetype count = (256 << 20) / idle.size();
                       codes.reserve(codes.size() + count * idle.size() + 2);
                       for (qsizetype i = 0; i < count; ++i)
                           codes += idle;
                       codes.append("\0\1", 2);
                       return Bmp{40, side, side, 8, kRle8, QList<QRgb>(kColours.begin(), kColours.end()), 4, {},
                                  codes}
                           .file();
                   }});
    return out;
}

} // namespace velloran::corpus
