// Decoding picture files by content (BMP, JPEG and PNG; the rest refused) and
// writing 24-bit BMPs. Every fixture is made here, byte by byte for BMPs and
// with libjpeg for JPEGs, small enough to show what it tests.

#include "corpus/corpus.h"
#include "imaging/imagefile.h"
#include "imaging/imagefile_p.h"
#include "support/collectedrows.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <array>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

#include <jpeglib.h>

using namespace velloran;

namespace {

// ---------------------------------------------------------------------------
// Shared helpers

constexpr QRgb kRed = 0xffff0000;
constexpr QRgb kGreen = 0xff00ff00;
constexpr QRgb kBlue = 0xff0000ff;
constexpr QRgb kYellow = 0xffffff00;
constexpr QRgb kWhite = 0xffffffff;
constexpr QRgb kBlack = 0xff000000;
constexpr QRgb kGrey = 0xff808080;

// A folder of fixture files that lives as long as the test.
class Files
{
public:
    Files() { EXPECT_TRUE(m_dir.isValid()); }

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString write(const QString &name, const QByteArray &bytes) const
    {
        // A new file each time: overwriting one in place makes some file
        // systems flush it to disk on close, which slows the sweeps below.
        QFile::remove(path(name));
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_EQ(file.write(bytes), bytes.size());
        return file.fileName();
    }

private:
    QTemporaryDir m_dir;
};

DecodedImage decodeBytes(const QByteArray &bytes, const DecodeOptions &options = {},
                         const QString &name = QStringLiteral("picture.bin"))
{
    Files files;
    return decodeImageFile(files.write(name, bytes), options);
}

// An RGB32 picture from its pixels, row by row from the top.
QImage picture(int width, int height, std::initializer_list<QRgb> pixels)
{
    EXPECT_EQ(qsizetype(pixels.size()), qsizetype(width) * height);
    QImage image(width, height, QImage::Format_RGB32);
    auto it = pixels.begin();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, *it++);
    return image;
}

// A picture in four flat quarters.
QImage quarters(int width, int height, QRgb topLeft, QRgb topRight, QRgb bottomLeft, QRgb bottomRight)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            image.setPixel(x, y, bottom ? (right ? bottomRight : bottomLeft) : (right ? topRight : topLeft));
        }
    return image;
}

// A picture with detail everywhere, so its JPEG has plenty of scan data.
QImage texture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = int(seed >> 27);
            image.setPixel(x, y, qRgb((x * 4 + noise) & 0xff, (y * 4 + noise) & 0xff, ((x ^ y) * 8) & 0xff));
        }
    return image;
}

::testing::AssertionResult isRgb32Opaque(const QImage &image)
{
    if (image.format() != QImage::Format_RGB32)
        return ::testing::AssertionFailure() << "format " << int(image.format());
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(line[x]) != 0xff)
                return ::testing::AssertionFailure() << "alpha " << qAlpha(line[x]) << " at " << x << "," << y;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult near(QRgb actual, QRgb expected, int tolerance)
{
    const int d = std::max({std::abs(qRed(actual) - qRed(expected)),
                            std::abs(qGreen(actual) - qGreen(expected)),
                            std::abs(qBlue(actual) - qBlue(expected))});
    if (d <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not within " << std::dec
                                         << tolerance << " of 0x" << std::hex << expected;
}

// The colours at the centres of the four quarters, as decoded.
std::array<QRgb, 4> quarterColours(const QImage &image)
{
    const int w = image.width();
    const int h = image.height();
    return {image.pixel(w / 4, h / 4), image.pixel(w * 3 / 4, h / 4), image.pixel(w / 4, h * 3 / 4),
            image.pixel(w * 3 / 4, h * 3 / 4)};
}

void expectQuarters(const QImage &image, const std::array<QRgb, 4> &expected, int tolerance)
{
    const std::array<QRgb, 4> actual = quarterColours(image);
    static const char *const kNames[] = {"top left", "top right", "bottom left", "bottom right"};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(near(actual[i], expected[i], tolerance)) << kNames[i];
}

// ---------------------------------------------------------------------------
// BMP fixtures, written field by field

class LittleEndian
{
public:
    LittleEndian &u8(uint v) { m_bytes.append(char(v)); return *this; }
    LittleEndian &u16(uint v) { return u8(v & 0xff).u8(v >> 8); }
    LittleEndian &u32(quint32 v) { return u16(v & 0xffff).u16(v >> 16); }
    LittleEndian &bytes(const QByteArray &b) { m_bytes.append(b); return *this; }
    const QByteArray &data() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

// File rows, each padded with zeros to a multiple of 4 bytes.
QByteArray rows(std::initializer_list<QByteArray> fileRows)
{
    QByteArray out;
    for (const QByteArray &row : fileRows) {
        out.append(row);
        out.append((4 - row.size() % 4) % 4, '\0');
    }
    return out;
}

enum class Header { Core, Info, V4, V5 };

struct Bmp
{
    Header header = Header::Info;
    qint32 width = 0;
    qint32 height = 0; // negative: top-down rows
    quint16 bitCount = 24;
    quint32 compression = 0;
    QList<QRgb> palette;
    quint32 coloursUsed = 0;
    std::optional<std::array<quint32, 3>> masks; // after an info header, or inside V4/V5
    QByteArray pixels;

    QByteArray file() const
    {
        const int headerBytes = header == Header::Core   ? 12
                                : header == Header::Info ? 40
                                : header == Header::V4   ? 108
                                                         : 124;
        const int maskBytes = header == Header::Info && masks ? 12 : 0;
        const int paletteBytes = int(palette.size()) * (header == Header::Core ? 3 : 4);
        const quint32 offset = 14 + headerBytes + maskBytes + paletteBytes;

        LittleEndian out;
        out.u8('B').u8('M').u32(offset + quint32(pixels.size())).u32(0).u32(offset);
        out.u32(headerBytes);
        if (header == Header::Core) {
            out.u16(quint32(width)).u16(quint32(height)).u16(1).u16(bitCount);
        } else {
            out.u32(quint32(width)).u32(quint32(height)).u16(1).u16(bitCount).u32(compression);
            out.u32(quint32(pixels.size())).u32(2835).u32(2835).u32(coloursUsed).u32(0);
            const std::array<quint32, 3> m = masks.value_or(std::array<quint32, 3>{});
            if (header == Header::Info) {
                if (masks)
                    out.u32(m[0]).u32(m[1]).u32(m[2]);
            } else {
                out.u32(m[0]).u32(m[1]).u32(m[2]).u32(0xff000000); // alpha mask
                out.u32(0x73524742);                                   // 'sRGB'
                out.bytes(QByteArray(36 + 12, '\0'));                  // endpoints, gamma
                if (header == Header::V5)
                    out.u32(4).u32(0).u32(0).u32(0);                   // intent, profile, reserved
            }
        }
        for (QRgb c : palette) {
            out.u8(qBlue(c)).u8(qGreen(c)).u8(qRed(c));
            if (header != Header::Core)
                out.u8(0);
        }
        out.bytes(pixels);
        return out.data();
    }
};

// Little-endian 16-bit pixels.
QByteArray words(std::initializer_list<uint> values)
{
    LittleEndian out;
    for (uint v : values)
        out.u16(v);
    return out.data();
}

QByteArray dwords(std::initializer_list<quint32> values)
{
    LittleEndian out;
    for (quint32 v : values)
        out.u32(v);
    return out.data();
}

struct BmpCase
{
    const char *name;
    QByteArray file;
    QImage expected;
};

void PrintTo(const BmpCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<BmpCase> bmpCases()
{
    std::vector<BmpCase> cases;
    const QRgb navy = qRgb(10, 20, 30);
    const QRgb sand = qRgb(200, 150, 100);

    // 3 x 2 pictures throughout: an odd width makes every row padded.
    cases.push_back({"info_1bit", Bmp{Header::Info, 3, 2, 1, 0, {navy, sand}, 0,
                                      std::nullopt, rows({bytes({0xa0}), bytes({0x60})})}.file(),
                     picture(3, 2, {navy, sand, sand, sand, navy, sand})});
    cases.push_back({"core_1bit", Bmp{Header::Core, 3, 2, 1, 0, {navy, sand}, 0,
                                      std::nullopt, rows({bytes({0xa0}), bytes({0x60})})}.file(),
                     picture(3, 2, {navy, sand, sand, sand, navy, sand})});
    cases.push_back({"info_4bit_short_palette", Bmp{Header::Info, 3, 2, 4, 0, {kRed, kGreen, kBlue}, 3,
                                                    std::nullopt, rows({bytes({0x21, 0x00}), bytes({0x01, 0x20})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, kBlue, kGreen, kRed})});
    cases.push_back({"info_8bit_index_past_palette_is_black",
                     Bmp{Header::Info, 3, 2, 8, 0, {kRed, kGreen}, 2, std::nullopt,
                         rows({bytes({255, 1, 0}), bytes({0, 1, 7})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlack, kBlack, kGreen, kRed})});
    {
        // A palette count larger than the room before the pixels: the
        // entries that are not there read as black.
        Bmp bmp{Header::Info, 3, 1, 8, 0, {kYellow, kBlue}, 16, std::nullopt, rows({bytes({1, 0, 5})})};
        cases.push_back({"palette_cut_short_by_pixel_offset", bmp.file(), picture(3, 1, {kBlue, kYellow, kBlack})});
    }
    {
        QList<QRgb> full;
        for (int i = 0; i < 256; ++i)
            full.append(qRgb(i, 255 - i, i / 2));
        cases.push_back({"info_8bit_full_palette", Bmp{Header::Info, 3, 2, 8, 0, full, 0, std::nullopt,
                                                       rows({bytes({3, 2, 1}), bytes({0, 128, 255})})}.file(),
                         picture(3, 2, {full[0], full[128], full[255], full[3], full[2], full[1]})});
    }
    cases.push_back({"core_8bit", Bmp{Header::Core, 3, 2, 8, 0, {kGrey, kWhite}, 0, std::nullopt,
                                      rows({bytes({1, 1, 0}), bytes({0, 1, 0})})}.file(),
                     picture(3, 2, {kGrey, kWhite, kGrey, kWhite, kWhite, kGrey})});
    cases.push_back({"core_24bit", Bmp{Header::Core, 3, 2, 24, 0, {}, 0, std::nullopt,
                                       rows({bytes({255, 255, 255, 0, 0, 0, 0, 255, 255}),
                                             bytes({0, 0, 255, 0, 255, 0, 255, 0, 0})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, kWhite, kBlack, kYellow})});
    cases.push_back({"info_24bit_bottom_up", Bmp{Header::Info, 3, 2, 24, 0, {}, 0, std::nullopt,
                                                 rows({bytes({255, 255, 255, 0, 0, 0, 0, 255, 255}),
                                                       bytes({0, 0, 255, 0, 255, 0, 255, 0, 0})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, kWhite, kBlack, kYellow})});
    cases.push_back({"info_24bit_top_down", Bmp{Header::Info, 3, -2, 24, 0, {}, 0, std::nullopt,
                                                rows({bytes({0, 0, 255, 0, 255, 0, 255, 0, 0}),
                                                      bytes({255, 255, 255, 0, 0, 0, 0, 255, 255})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, kWhite, kBlack, kYellow})});
    // 16 bits, 5-5-5 by default; 16 of 31 is 132 of 255.
    cases.push_back({"info_16bit_default_555", Bmp{Header::Info, 3, 2, 16, 0, {}, 0, std::nullopt,
                                                   rows({words({0x4210, 0x7fff, 0x0000}),
                                                         words({0x7c00, 0x03e0, 0x001f})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, qRgb(132, 132, 132), kWhite, kBlack})});
    // 5-6-5 bit fields after the info header; 32 of 63 is 130 of 255.
    cases.push_back({"info_16bit_bitfields_565",
                     Bmp{Header::Info, 3, 2, 16, 3, {}, 0, std::array<quint32, 3>{0xf800, 0x07e0, 0x001f},
                         rows({words({0x8410, 0xffff, 0x0000}), words({0xf800, 0x07e0, 0x001f})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, qRgb(132, 130, 132), kWhite, kBlack})});
    cases.push_back({"v4_16bit_bitfields_565",
                     Bmp{Header::V4, 3, 2, 16, 3, {}, 0, std::array<quint32, 3>{0xf800, 0x07e0, 0x001f},
                         rows({words({0x8410, 0xffff, 0x0000}), words({0xf800, 0x07e0, 0x001f})})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, qRgb(132, 130, 132), kWhite, kBlack})});
    // 32 bits: the fourth byte is alpha or padding and never shows.
    cases.push_back({"info_32bit_alpha_ignored", Bmp{Header::Info, 3, 2, 32, 0, {}, 0, std::nullopt,
                                                     dwords({0x00ffffff, 0x7f000000, 0x00ffff00,
                                                             0x00ff0000, 0x8000ff00, 0xff0000ff})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, kWhite, kBlack, kYellow})});
    cases.push_back({"v5_32bit_top_down", Bmp{Header::V5, 3, -2, 32, 0, {}, 0, std::nullopt,
                                              dwords({0x00ff0000, 0x0000ff00, 0x000000ff,
                                                      0x00ffffff, 0x00000000, 0x00ffff00})}.file(),
                     picture(3, 2, {kRed, kGreen, kBlue, kWhite, kBlack, kYellow})});
    // Bytes in R, G, B, X order.
    cases.push_back({"info_32bit_bitfields_rgbx",
                     Bmp{Header::Info, 3, 1, 32, 3, {}, 0, std::array<quint32, 3>{0x000000ff, 0x0000ff00, 0x00ff0000},
                         dwords({0xaa0000ff, 0x0000ff00, 0x00ff0000})}.file(),
                     picture(3, 1, {kRed, kGreen, kBlue})});
    // 10 bits a channel: the top 8 count.
    cases.push_back({"info_32bit_bitfields_10bit",
                     Bmp{Header::Info, 2, 1, 32, 3, {}, 0, std::array<quint32, 3>{0x3ff00000, 0x000ffc00, 0x000003ff},
                         dwords({(0x3ffu << 20) | (0x200u << 10), 0x000003ff})}.file(),
                     picture(2, 1, {qRgb(255, 128, 0), kBlue})});

    // RLE8, 5 x 3, with index 0 grey so unwritten (black) pixels stand out.
    // File row 0: a run of three 1s, a delta one right, one 2, end of line.
    // File row 1: absolute 2 3 1 (padded), a delta one right and one down, one 1, end of bitmap.
    const QList<QRgb> rlePalette = {kGrey, kRed, kGreen, kBlue};
    cases.push_back({"rle8_runs_absolute_delta_gaps_black",
                     Bmp{Header::Info, 5, 3, 8, 1, rlePalette, 4, std::nullopt,
                         bytes({3, 1, 0, 2, 1, 0, 1, 2, 0, 0,
                                0, 3, 2, 3, 1, 0, 0, 2, 1, 1, 1, 1, 0, 1})}.file(),
                     picture(5, 3, {kBlack, kBlack, kBlack, kBlack, kRed,
                                    kGreen, kBlue, kRed, kBlack, kBlack,
                                    kRed, kRed, kRed, kBlack, kGreen})});
    // RLE4, 5 x 2: a run of 5 alternating 1 and 2; then absolute 3 0 1 and end of bitmap.
    cases.push_back({"rle4_runs_absolute_gaps_black",
                     Bmp{Header::Info, 5, 2, 4, 2, rlePalette, 4, std::nullopt,
                         bytes({5, 0x12, 0, 0, 0, 3, 0x30, 0x10, 0, 1})}.file(),
                     picture(5, 2, {kBlue, kGrey, kRed, kBlack, kBlack,
                                    kRed, kGreen, kRed, kGreen, kRed})});
    // Runs and literals longer than the row are cut at its end.
    cases.push_back({"rle8_runs_cut_at_row_end",
                     Bmp{Header::Info, 3, 2, 8, 1, rlePalette, 4, std::nullopt,
                         bytes({5, 1, 0, 0, 0, 4, 2, 3, 2, 3, 0, 1})}.file(),
                     picture(3, 2, {kGreen, kBlue, kGreen, kRed, kRed, kRed})});
    // The last row ends with an end of line and no end of bitmap.
    cases.push_back({"rle8_top_down_without_end_of_bitmap",
                     Bmp{Header::Info, 2, -2, 8, 1, rlePalette, 4, std::nullopt,
                         bytes({2, 1, 0, 0, 2, 3, 0, 0})}.file(),
                     picture(2, 2, {kRed, kRed, kBlue, kBlue})});
    return cases;
}

class BmpDecodes : public ::testing::TestWithParam<BmpCase>
{
};

TEST_P(BmpDecodes, PixelsExactly)
{
    const DecodedImage decoded = decodeBytes(GetParam().file);
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_TRUE(isRgb32Opaque(decoded.value()));
    EXPECT_EQ(decoded.value(), GetParam().expected);
}

// Cut short at any byte, the file is refused or, when only the padding of the
// last row is missing, still gives the whole picture: never a different one.
TEST_P(BmpDecodes, CutAtAnyByteIsRefusedOrWhole)
{
    const QByteArray file = GetParam().file;
    Files files;
    for (qsizetype size = 0; size < file.size(); ++size) {
        const QString path = files.write(QStringLiteral("cut%1.bmp").arg(size), file.left(size));
        const DecodedImage decoded = decodeImageFile(path);
        if (!decoded)
            EXPECT_FALSE(decoded.error().isEmpty()) << "cut at " << size;
        else
            EXPECT_EQ(decoded.value(), GetParam().expected) << "cut at " << size;
    }
}

// Any one header byte changed to an extreme value: loaded or refused with a
// reason, never a crash or a read outside the file (the sanitizer build).
TEST_P(BmpDecodes, DamagedHeaderBytesAreSurvived)
{
    const QByteArray file = GetParam().file;
    Files files;
    DecodeOptions options;
    options.maxPixels = 4096; // keeps lying sizes cheap
    const qsizetype headerEnd = std::min<qsizetype>(file.size(), 14 + 40 + 12);
    for (qsizetype at = 0; at < headerEnd; ++at)
        for (char value : {char(0x00), char(0x7f), char(0x80), char(0xff)}) {
            QByteArray damaged = file;
            damaged[at] = value;
            const DecodedImage decoded = decodeImageFile(files.write(QStringLiteral("d.bmp"), damaged), options);
            EXPECT_NE(decoded.value().isNull(), decoded.error().isEmpty()) << "byte " << at;
        }
}

INSTANTIATE_TEST_SUITE_P(Variants, BmpDecodes, ::testing::ValuesIn(bmpCases()),
                         [](const auto &info) { return std::string(info.param.name); });

struct BmpRefusal
{
    const char *name;
    QByteArray file;
    const char *reason; // a part of the message
};

void PrintTo(const BmpRefusal &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<BmpRefusal> bmpRefusals()
{
    const QByteArray pixels = rows({bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}), bytes({1, 2, 3, 4, 5, 6, 7, 8, 9})});
    const auto rgb = [&](qint32 w, qint32 h, quint16 bits, quint32 compression = 0) {
        return Bmp{Header::Info, w, h, bits, compression, {}, 0, std::nullopt, pixels}.file();
    };
    const auto core = [&](qint32 h, quint16 bits) {
        return Bmp{Header::Core, 3, h, bits, 0, {}, 0, std::nullopt, pixels}.file();
    };
    const auto masked = [&](quint16 bits, std::array<quint32, 3> masks) {
        return Bmp{Header::Info, 3, 2, bits, 3, {}, 0, masks, QByteArray(pixels).append(pixels)}.file();
    };
    const auto rle8 = [](qint32 w, qint32 h, const QByteArray &data) {
        return Bmp{Header::Info, w, h, 8, 1, {kRed}, 1, std::nullopt, data}.file();
    };
    QByteArray unknownHeader = rgb(3, 2, 24);
    unknownHeader[14] = char(64); // the OS/2 2.x header, among others
    QByteArray offsetPastEnd = rgb(3, 2, 24);
    offsetPastEnd[10] = char(0xf0);
    offsetPastEnd[11] = char(0x10);
    const char *const cut = "the file ends before the picture data is complete";

    return {
        {"zero_width", rgb(0, 2, 24), "damaged (width 0)"},
        {"negative_width", rgb(-3, 2, 24), "damaged (width -3)"},
        {"zero_height", rgb(3, 0, 24), "damaged (height 0)"},
        {"core_zero_height", core(0, 24), "damaged (3 x 0 pixels)"},
        {"seven_bits", rgb(3, 2, 7), "not supported (7 bits per pixel)"},
        {"sixty_four_bits", rgb(3, 2, 64), "not supported (64 bits per pixel)"},
        {"core_sixteen_bits", core(2, 16), "not supported (16 bits per pixel)"},
        {"embedded_jpeg", rgb(3, 2, 0, 4), "not supported (embedded JPEG data)"},
        {"embedded_png", rgb(3, 2, 0, 5), "not supported (embedded PNG data)"},
        {"unknown_compression", rgb(3, 2, 24, 9), "not supported (compression type 9)"},
        {"rle8_with_4_bits", rgb(3, 2, 4, 1), "damaged (RLE8 compression with 4 bits per pixel)"},
        {"bitfields_with_24_bits", rgb(3, 2, 24, 3), "not supported (bit fields with 24 bits per pixel)"},
        {"unknown_header_size", unknownHeader, "not supported (a 64-byte header)"},
        {"pixel_offset_past_end", offsetPastEnd, "damaged (pixel data offset 4336)"},
        {"mask_with_a_hole", masked(32, {0xf0f0, 0x0f00, 0x000f}), "damaged (bit-field masks f0f0, f00, f)"},
        {"mask_beyond_16_bits", masked(16, {0xf0000, 0x0f00, 0x000f}), "damaged (bit-field masks f0000"},
        {"masks_all_empty", masked(16, {0, 0, 0}), "damaged (bit-field masks 0, 0, 0)"},
        {"rows_cut_short", rgb(3, 2, 24).chopped(4), cut},
        {"header_cut_short", rgb(3, 2, 24).left(30), cut},
        {"rle_without_enough_rows", rle8(2, 3, bytes({2, 0, 0, 0})), cut},
        {"rle_literal_past_end", rle8(8, 1, bytes({0, 8, 0, 0, 0})), cut},
        {"rle_delta_past_end", rle8(8, 2, bytes({0, 2, 1})), cut},
    };
}

class BmpRefused : public ::testing::TestWithParam<BmpRefusal>
{
};

TEST_P(BmpRefused, WithReason)
{
    const DecodedImage decoded = decodeBytes(GetParam().file);
    EXPECT_TRUE(decoded.value().isNull());
    EXPECT_TRUE(decoded.error().contains(QLatin1String(GetParam().reason))) << decoded.error().toStdString();
}

// Whole or row by row, a refusal is a failure of the picture, never a
// success with nothing in it, and gives the same reason either way.
TEST_P(BmpRefused, AsBadPictureWholeAndRowByRow)
{
    Files files;
    const QString path = files.write(QStringLiteral("refused.bmp"), GetParam().file);
    const DecodedImage whole = decodeImageFile(path);
    ASSERT_FALSE(whole.ok());
    EXPECT_EQ(whole.status().kind(), ErrorKind::BadPicture);
    test::CollectedRows rows;
    const Status byRows = decodeImageFileRows(path, {}, rows);
    ASSERT_FALSE(byRows.ok());
    EXPECT_EQ(byRows.kind(), ErrorKind::BadPicture);
    EXPECT_EQ(byRows.message(), whole.error());
}

INSTANTIATE_TEST_SUITE_P(Variants, BmpRefused, ::testing::ValuesIn(bmpRefusals()),
                         [](const auto &info) { return std::string(info.param.name); });

// A header claiming 60000 x 60000 over a few bytes is refused from the header
// alone: the data it would need is not there, whatever the pixel limit.
TEST(BmpLyingHeader, IsRefusedWithoutAllocating)
{
    const QByteArray lie = Bmp{Header::Info, 60000, 60000, 24, 0, {}, 0, std::nullopt, QByteArray(16, '\x55')}.file();
    DecodeOptions unlimited;
    unlimited.maxPixels = std::numeric_limits<qint64>::max();
    for (const DecodeOptions &options : {DecodeOptions{}, unlimited}) {
        const DecodedImage decoded = decodeBytes(lie, options);
        EXPECT_TRUE(decoded.value().isNull());
        EXPECT_EQ(decoded.error(), QStringLiteral("the file ends before the picture data is complete"));
    }

    // Run-length data can legitimately be tiny, so there the pixel limit decides.
    const QByteArray rle = Bmp{Header::Info, 60000, 60000, 8, 1, {kRed}, 1, std::nullopt, bytes({0, 1})}.file();
    const DecodedImage decoded = decodeBytes(rle);
    EXPECT_TRUE(decoded.value().isNull());
    EXPECT_EQ(decoded.error(), QStringLiteral("the picture is too large (60000 x 60000 pixels; "
                                            "at most 67.1 million pixels are accepted)"));
}

// Run-length codes that write no pixel and do not move (runs at the end of a
// row, deltas of nothing) cost time for nothing: beyond one a row and a few
// thousand more the data is refused, before the picture is allocated.
TEST(BmpRunLength, CodesThatWriteNothingAreBounded)
{
    constexpr qint32 w = 4;
    constexpr qint32 h = 3;
    const auto file = [&](qsizetype idleCodes) {
        QByteArray codes = bytes({4, 1}); // the first row red; then at its end:
        for (qsizetype i = 0; i < idleCodes; ++i)
            codes += i % 2 ? bytes({3, 2}) : bytes({0, 2, 0, 0}); // a run past the end, a delta of nothing
        codes += bytes({0, 0, 4, 3, 0, 0, 4, 2, 0, 1});
        return Bmp{Header::Info, w, h, 8, 1, {kGrey, kRed, kGreen, kBlue}, 4, std::nullopt, codes}.file();
    };
    const qsizetype allowed = h + 4096;
    const DecodedImage within = decodeBytes(file(allowed));
    ASSERT_TRUE(within.error().isEmpty()) << within.error().toStdString();
    EXPECT_EQ(within.value().pixel(0, 2), kRed);
    EXPECT_EQ(within.value().pixel(3, 0), kGreen);

    const DecodedImage beyond = decodeBytes(file(allowed + 1));
    EXPECT_TRUE(beyond.value().isNull());
    EXPECT_EQ(beyond.error(), QStringLiteral("the BMP data is damaged (more than 4099 run-length codes that write no pixel)"));
}

// A bitmap larger than one block of the reader comes out, a block of rows at
// a time and top row first, exactly as Qt's own reader reads it: bottom-up
// and top-down rows, 24 bits, 8-bit palette, a last row without its
// padding. The file is never read whole.
TEST(BmpRows, ALargeFileComesABlockAtATimeAsQtReadsIt)
{
    QTemporaryDir dir;
    QImage picture(1501, 703, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 7 + y) & 0xff, (x ^ y) & 0xff, (x * y) & 0xff));
    const std::pair<const char *, QImage> pictures[] = {
        {"24-bit", picture},
        {"8-bit", picture.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither)},
    };
    for (const auto &[label, source] : pictures) {
        QBuffer written;
        written.open(QIODevice::WriteOnly);
        ASSERT_TRUE(QImageWriter(&written, "bmp").write(source)) << label;
        QByteArray bottomUp = written.data();
        const QImage expected = QImage::fromData(bottomUp, "BMP").convertToFormat(QImage::Format_RGB32);

        // The same rows stored top-down: a negative height, rows reversed.
        const quint32 dataOffset = quint32(uchar(bottomUp[10])) | quint32(uchar(bottomUp[11])) << 8
                                   | quint32(uchar(bottomUp[12])) << 16 | quint32(uchar(bottomUp[13])) << 24;
        const int bitCount = uchar(bottomUp[28]) | uchar(bottomUp[29]) << 8;
        const qsizetype rowBytes = (qsizetype(source.width()) * bitCount + 31) / 32 * 4;
        QByteArray topDown = bottomUp.left(dataOffset);
        for (int y = source.height() - 1; y >= 0; --y)
            topDown += bottomUp.mid(dataOffset + y * rowBytes, rowBytes);
        const qint32 negative = -source.height();
        std::memcpy(topDown.data() + 22, &negative, 4);
        // And a bottom-up file whose last row lacks its padding.
        QByteArray unpadded = bottomUp;
        unpadded.chop(rowBytes - (qsizetype(source.width()) * bitCount + 7) / 8);

        for (const auto &[kind, bytes] : {std::pair{"bottom-up", bottomUp}, std::pair{"top-down", topDown},
                                          std::pair{"unpadded", unpadded}}) {
            SCOPED_TRACE(std::string(label) + " " + kind);
            const QString path = dir.filePath(QStringLiteral("large.bmp"));
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(bytes), bytes.size());
            file.close();
            test::CollectedRows rows;
            ASSERT_EQ(decodeImageFileRows(path, {}, rows).message(), QString());
            EXPECT_GT(rows.batches, 1);
            EXPECT_EQ(rows.next, source.height());
            EXPECT_EQ(rows.image, expected);
            EXPECT_EQ(decodeImageFile(path).value(), expected);
        }
    }
}

// ---------------------------------------------------------------------------
// JPEG fixtures, made with libjpeg

using corpus::encodeJpeg;
using corpus::JpegColour;
using corpus::JpegRecipe;

// Where the first marker with this code starts (its 0xff byte).
qsizetype markerAt(const QByteArray &jpeg, uchar code)
{
    return jpeg.indexOf(bytes({0xff, code}));
}

// The entropy-coded data of the first scan starts after its SOS segment.
qsizetype firstScanDataAt(const QByteArray &jpeg)
{
    const qsizetype sos = markerAt(jpeg, 0xda);
    return sos + 2 + ((uchar(jpeg[sos + 2]) << 8) | uchar(jpeg[sos + 3]));
}

struct JpegColourCase
{
    const char *name;
    JpegRecipe recipe;
    QImage source;
    std::array<QRgb, 4> expected;
    int tolerance;
};

void PrintTo(const JpegColourCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<JpegColourCase> jpegColourCases()
{
    const QImage colours = quarters(64, 64, kRed, kGreen, kBlue, kGrey);
    const std::array<QRgb, 4> colourQuarters = {kRed, kGreen, kBlue, kGrey};
    const QRgb g85 = qRgb(85, 85, 85);
    const QRgb g170 = qRgb(170, 170, 170);
    const QImage greys = quarters(64, 64, kBlack, g85, g170, kWhite);
    const QImage inks = quarters(64, 64, kRed, kYellow, kBlue, qRgb(127, 127, 127));
    const std::array<QRgb, 4> inkQuarters = {kRed, kYellow, kBlue, qRgb(127, 127, 127)};

    JpegRecipe progressive;
    progressive.progressive = true;
    JpegRecipe subsampled;
    subsampled.subsampled = true;
    subsampled.quality = 90;
    JpegRecipe restarts;
    restarts.restartRows = 1;
    JpegRecipe grey;
    grey.colour = JpegColour::Grey;
    JpegRecipe greyProgressive = grey;
    greyProgressive.progressive = true;
    JpegRecipe cmykAdobe;
    cmykAdobe.colour = JpegColour::CmykAdobe;
    JpegRecipe ycckAdobe;
    ycckAdobe.colour = JpegColour::YcckAdobe;
    JpegRecipe cmykPlain;
    cmykPlain.colour = JpegColour::CmykPlain;
    JpegRecipe cmykProgressive = cmykAdobe;
    cmykProgressive.progressive = true;

    return {
        {"baseline_444", {}, colours, colourQuarters, 3},
        {"baseline_420_quality_90", subsampled, colours, colourQuarters, 8},
        {"restart_markers", restarts, colours, colourQuarters, 3},
        {"progressive", progressive, colours, colourQuarters, 3},
        {"greyscale", grey, greys, {kBlack, g85, g170, kWhite}, 2},
        {"greyscale_progressive", greyProgressive, greys, {kBlack, g85, g170, kWhite}, 2},
        {"cmyk_adobe_inverted", cmykAdobe, inks, inkQuarters, 3},
        {"ycck_adobe_inverted", ycckAdobe, inks, inkQuarters, 4},
        {"cmyk_plain", cmykPlain, inks, inkQuarters, 3},
        {"cmyk_progressive", cmykProgressive, inks, inkQuarters, 3},
    };
}

class JpegColours : public ::testing::TestWithParam<JpegColourCase>
{
};

TEST_P(JpegColours, DecodeToRgb32)
{
    const JpegColourCase &c = GetParam();
    const DecodedImage decoded = decodeBytes(encodeJpeg(c.source, c.recipe));
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value().size(), c.source.size());
    EXPECT_TRUE(isRgb32Opaque(decoded.value()));
    expectQuarters(decoded.value(), c.expected, c.tolerance);
}

// Decoded at 1/8, each 8 x 8 block of a flat quarter becomes one pixel of
// the same colour, through the same colour paths.
TEST_P(JpegColours, DecodeAtEighthScale)
{
    const JpegColourCase &c = GetParam();
    DecodeOptions options;
    options.keepAtLeast = QSize(1, 1);
    const DecodedImage decoded = decodeBytes(encodeJpeg(c.source, c.recipe), options);
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value().size(), c.source.size() / 8);
    EXPECT_TRUE(isRgb32Opaque(decoded.value()));
    expectQuarters(decoded.value(), c.expected, c.tolerance + 2);
}

INSTANTIATE_TEST_SUITE_P(Variants, JpegColours, ::testing::ValuesIn(jpegColourCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- EXIF orientation

struct IfdEntry
{
    quint16 tag;
    quint16 type;
    quint32 count;
    quint32 value; // SHORT values sit in the first two bytes of the field
};

// "Exif\0\0" and a TIFF header with IFD0 holding the entries.
QByteArray exifBlock(bool bigEndian, const QList<IfdEntry> &entries, quint32 ifdOffset = 8,
                     std::optional<quint16> countOverride = std::nullopt)
{
    QByteArray tiff;
    const auto put16 = [&](quint32 v) {
        if (bigEndian)
            tiff.append(char(v >> 8)).append(char(v));
        else
            tiff.append(char(v)).append(char(v >> 8));
    };
    const auto put32 = [&](quint32 v) {
        if (bigEndian) {
            put16(v >> 16);
            put16(v & 0xffff);
        } else {
            put16(v & 0xffff);
            put16(v >> 16);
        }
    };
    tiff.append(bigEndian ? "MM" : "II");
    put16(42);
    put32(ifdOffset);
    put16(countOverride.value_or(quint16(entries.size())));
    for (const IfdEntry &e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(e.count);
        if (e.type == 3) {
            put16(e.value);
            put16(0);
        } else {
            put32(e.value);
        }
    }
    put32(0); // no next IFD
    return QByteArray("Exif\0\0", 6).append(tiff);
}

QByteArray orientationBlock(int orientation, bool bigEndian = false)
{
    return exifBlock(bigEndian, {{0x010f, 2, 4, 0x00414141}, {0x0112, 3, 1, quint32(orientation)}});
}

// The upright picture of a stored 64 x 32 one in quarters red, green / blue,
// yellow, for each orientation: its size and its quarters.
struct Upright
{
    QSize size;
    std::array<QRgb, 4> quarters;
};

Upright uprightFor(int orientation)
{
    const QSize wide(64, 32);
    const QSize tall(32, 64);
    switch (orientation) {
    case 2: return {wide, {kGreen, kRed, kYellow, kBlue}};   // mirrored left to right
    case 3: return {wide, {kYellow, kBlue, kGreen, kRed}};   // half turn
    case 4: return {wide, {kBlue, kYellow, kRed, kGreen}};   // mirrored top to bottom
    case 5: return {tall, {kRed, kBlue, kGreen, kYellow}};   // transposed
    case 6: return {tall, {kBlue, kRed, kYellow, kGreen}};   // quarter turn clockwise
    case 7: return {tall, {kYellow, kGreen, kBlue, kRed}};   // transverse
    case 8: return {tall, {kGreen, kYellow, kRed, kBlue}};   // quarter turn anticlockwise
    default: return {wide, {kRed, kGreen, kBlue, kYellow}};
    }
}

QImage orientationSource()
{
    return quarters(64, 32, kRed, kGreen, kBlue, kYellow);
}

class JpegOrientation : public ::testing::TestWithParam<std::tuple<int, bool, bool>>
{
};

TEST_P(JpegOrientation, IsAppliedExactly)
{
    const auto [orientation, bigEndian, eighth] = GetParam();
    JpegRecipe recipe;
    recipe.app1 = {orientationBlock(orientation, bigEndian)};
    DecodeOptions options;
    if (eighth)
        options.keepAtLeast = QSize(1, 1);
    const DecodedImage decoded = decodeBytes(encodeJpeg(orientationSource(), recipe), options);
    ASSERT_EQ(decoded.error(), QString());
    const Upright expected = uprightFor(orientation);
    EXPECT_EQ(decoded.value().size(), eighth ? expected.size / 8 : expected.size);
    EXPECT_TRUE(isRgb32Opaque(decoded.value()));
    expectQuarters(decoded.value(), expected.quarters, 4);
}

INSTANTIATE_TEST_SUITE_P(AllEight, JpegOrientation,
                         ::testing::Combine(::testing::Range(1, 9), ::testing::Bool(), ::testing::Bool()),
                         [](const auto &info) {
                             return "orientation" + std::to_string(std::get<0>(info.param))
                                    + (std::get<1>(info.param) ? "_big_endian" : "_little_endian")
                                    + (std::get<2>(info.param) ? "_eighth" : "_full");
                         });

struct ExifCase
{
    const char *name;
    QList<QByteArray> app1;
    int orientation; // what the decoder should apply
};

void PrintTo(const ExifCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<ExifCase> exifCases()
{
    const IfdEntry six{0x0112, 3, 1, 6};
    QByteArray cutHeader = orientationBlock(6).left(6 + 5);
    QByteArray badOrder = orientationBlock(6);
    badOrder[6] = 'X';
    badOrder[7] = 'X';
    QByteArray badMagic = orientationBlock(6);
    badMagic[8] = 43;
    static const char kXmp[] = "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>";
    const QByteArray xmp(kXmp, sizeof kXmp - 1);

    return {
        {"as_long", {exifBlock(false, {{0x0112, 4, 1, 6}})}, 6},
        {"after_other_tags", {exifBlock(true, {{0x010f, 2, 4, 0}, {0x0110, 2, 4, 0}, six})}, 6},
        {"after_an_xmp_segment", {xmp, orientationBlock(6)}, 6},
        {"not_exif", {xmp}, 1},
        {"only_the_exif_id", {QByteArray("Exif\0\0", 6)}, 1},
        {"tiff_header_cut_short", {cutHeader}, 1},
        {"unknown_byte_order", {badOrder}, 1},
        {"wrong_tiff_magic", {badMagic}, 1},
        {"ifd_offset_past_end", {exifBlock(false, {six}, 0xfffffff0)}, 1},
        {"ifd_offset_inside_header", {exifBlock(false, {six}, 4)}, 1},
        {"entry_count_past_end", {exifBlock(false, {six}, 8, quint16(0xffff))}, 1},
        {"orientation_zero", {exifBlock(false, {{0x0112, 3, 1, 0}})}, 1},
        {"orientation_nine", {exifBlock(false, {{0x0112, 3, 1, 9}})}, 1},
        {"orientation_as_text", {exifBlock(false, {{0x0112, 2, 1, 6}})}, 1},
        {"orientation_count_two", {exifBlock(false, {{0x0112, 3, 2, 6}})}, 1},
    };
}

class JpegExif : public ::testing::TestWithParam<ExifCase>
{
};

TEST_P(JpegExif, OrientationIsReadOnlyFromWellFormedBlocks)
{
    JpegRecipe recipe;
    recipe.app1 = GetParam().app1;
    const DecodedImage decoded = decodeBytes(encodeJpeg(orientationSource(), recipe));
    ASSERT_EQ(decoded.error(), QString());
    const Upright expected = uprightFor(GetParam().orientation);
    EXPECT_EQ(decoded.value().size(), expected.size);
    expectQuarters(decoded.value(), expected.quarters, 4);
}

INSTANTIATE_TEST_SUITE_P(Blocks, JpegExif, ::testing::ValuesIn(exifCases()),
                         [](const auto &info) { return std::string(info.param.name); });

// --- Decode-time scaling

struct ScaleCase
{
    const char *name;
    QSize stored;
    int orientation;
    bool progressive;
    QSize keepAtLeast;
    QSize expected; // upright
};

void PrintTo(const ScaleCase &c, std::ostream *os)
{
    *os << c.name;
}

class JpegScale : public ::testing::TestWithParam<ScaleCase>
{
};

TEST_P(JpegScale, PicksSmallestScaleCoveringTarget)
{
    const ScaleCase &c = GetParam();
    QImage source(c.stored, QImage::Format_RGB32);
    source.fill(qRgb(40, 120, 200));
    JpegRecipe recipe;
    recipe.quality = 75;
    recipe.progressive = c.progressive;
    recipe.subsampled = true;
    if (c.orientation != 1)
        recipe.app1 = {orientationBlock(c.orientation)};
    DecodeOptions options;
    options.keepAtLeast = c.keepAtLeast;
    const DecodedImage decoded = decodeBytes(encodeJpeg(source, recipe), options);
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value().size(), c.expected);
    EXPECT_TRUE(near(decoded.value().pixel(0, 0), qRgb(40, 120, 200), 3));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, JpegScale,
    ::testing::Values(
        ScaleCase{"photo_to_main_window", {4000, 3000}, 1, false, {800, 629}, {1000, 750}},
        // Judged upright: 1/4 would give 75 x 100 (too narrow), so 3/8.
        ScaleCase{"turned_right_judged_upright", {400, 300}, 6, false, {80, 63}, {113, 150}},
        // Judged upright: 1/4 gives 75 x 100, enough for a tall target.
        ScaleCase{"turned_left_judged_upright", {400, 300}, 8, false, {63, 80}, {75, 100}},
        ScaleCase{"exactly_an_eighth", {800, 640}, 1, false, {100, 80}, {100, 80}},
        ScaleCase{"partial_blocks_round_up", {801, 601}, 1, false, {100, 75}, {101, 76}},
        ScaleCase{"one_axis_decides", {1000, 100}, 1, false, {100, 50}, {500, 50}},
        ScaleCase{"small_picture_never_enlarged", {40, 30}, 1, false, {800, 629}, {40, 30}},
        ScaleCase{"no_target_full_size", {400, 300}, 1, false, QSize(), {400, 300}},
        ScaleCase{"progressive_scaled", {400, 300}, 1, true, {100, 75}, {100, 75}}),
    [](const auto &info) { return std::string(info.param.name); });

// --- Damage

QByteArray textureJpeg(bool progressive)
{
    JpegRecipe recipe;
    recipe.quality = 90;
    recipe.subsampled = true;
    recipe.progressive = progressive;
    return encodeJpeg(texture(64, 64), recipe);
}

struct JpegDamage
{
    const char *name;
    std::function<QByteArray()> file;
    const char *reason;
};

void PrintTo(const JpegDamage &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<JpegDamage> jpegDamages()
{
    const char *const cut = "the file ends before the picture data is complete";
    return {
        {"cut_in_header", [] { return textureJpeg(false).left(100); }, cut},
        {"cut_right_after_scan_header", [] {
             const QByteArray j = textureJpeg(false);
             return j.left(firstScanDataAt(j));
         }, cut},
        {"cut_mid_scan", [] { const QByteArray j = textureJpeg(false); return j.left(j.size() * 2 / 3); }, cut},
        {"progressive_cut_mid_file", [] {
             const QByteArray j = textureJpeg(true);
             return j.left(j.size() / 2);
         }, cut},
        // Several scans: a missing end marker cannot be told from missing scans.
        {"progressive_without_end_marker", [] { return textureJpeg(true).chopped(2); }, cut},
        {"marker_inside_scan_data", [] {
             QByteArray j = textureJpeg(false);
             const qsizetype at = (firstScanDataAt(j) + j.size()) / 2;
             j[at] = char(0xff);
             j[at + 1] = char(0xd9);
             return j;
         }, "the JPEG data is damaged (Corrupt JPEG data: premature end of data segment)"},
        {"bad_huffman_codes", [] {
             QByteArray j = textureJpeg(false);
             const qsizetype at = (firstScanDataAt(j) + j.size()) / 2;
             for (int i = 0; i < 32; i += 2) {
                 j[at + i] = char(0xff);
                 j[at + i + 1] = 0;
             }
             return j;
         }, "the JPEG data is damaged (Corrupt JPEG data: bad Huffman code)"},
        // A download that stopped, its file filled up with zeros: they decode
        // as valid codes, and only what is left over after the last block
        // (and the missing end marker) tells.
        {"zero_filled_tail", [] {
             QByteArray j = textureJpeg(false);
             return j.left(j.size() - 100).append(QByteArray(4000, '\0'));
         }, cut},
        {"many_stray_bytes_after_scan_data", [] {
             QByteArray j = textureJpeg(false);
             return j.insert(j.size() - 2, QByteArray(100, 'x'));
         }, "the JPEG data is damaged (Corrupt JPEG data: "},
        {"no_frame_header", [] {
             QByteArray j = textureJpeg(false);
             j[markerAt(j, 0xc0) + 1] = char(0xfe); // SOF0 becomes a comment
             return j;
         }, "the JPEG data is damaged"},
        {"only_the_start_marker", [] { return bytes({0xff, 0xd8}); }, cut},
        // Not the usual FF D8 FF start, yet still for our decoder to refuse.
        {"junk_after_start_marker_and_cut_mid_scan", [] {
             QByteArray j = textureJpeg(false);
             j[2] = 0;
             return j.left(j.size() * 2 / 3);
         }, cut},
        {"start_marker_then_text", [] { return bytes({0xff, 0xd8, 0xff}).append("hello, world"); },
         "the JPEG data is damaged"},
        {"arithmetic_sof_without_tables", [] {
             QByteArray j = textureJpeg(false);
             j[markerAt(j, 0xc0) + 1] = char(0xc3); // lossless
             return j;
         }, "this kind of JPEG is not supported"},
        {"too_many_scans", [] {
             // One grey component, every coefficient in its own scan and
             // refined bit by bit: 11 scans for each of the 64.
             JpegRecipe recipe;
             recipe.colour = JpegColour::Grey;
             for (int k = 0; k < 64; ++k)
                 recipe.scans.push_back({1, {0, 0, 0, 0}, k, k, 0, 10});
             for (int al = 9; al >= 0; --al)
                 for (int k = 0; k < 64; ++k)
                     recipe.scans.push_back({1, {0, 0, 0, 0}, k, k, al + 1, al});
             return encodeJpeg(texture(16, 16), recipe);
         }, "the JPEG data is damaged (more than 500 scans)"},
    };
}

class JpegDamaged : public ::testing::TestWithParam<JpegDamage>
{
};

TEST_P(JpegDamaged, IsRefusedNotPadded)
{
    const DecodedImage decoded = decodeBytes(GetParam().file());
    EXPECT_TRUE(decoded.value().isNull());
    EXPECT_TRUE(decoded.error().startsWith(QLatin1String(GetParam().reason))) << decoded.error().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Files, JpegDamaged, ::testing::ValuesIn(jpegDamages()),
                         [](const auto &info) { return std::string(info.param.name); });

// Every cut of a baseline file is refused, except the one that loses only the
// end marker: its pixels are all there and decode exactly as the whole file.
TEST(JpegTruncation, EveryCutRefusedUnlessOnlyTheEndMarkerIsMissing)
{
    const QByteArray whole = textureJpeg(false);
    const QImage reference = decodeBytes(whole).value();
    ASSERT_FALSE(reference.isNull());
    Files files;
    for (qsizetype size = 1; size < whole.size(); size += (size < 700 ? 7 : 53)) {
        const DecodedImage decoded = decodeImageFile(files.write(QStringLiteral("cut.jpg"), whole.left(size)));
        EXPECT_TRUE(decoded.value().isNull()) << "cut at " << size;
        EXPECT_FALSE(decoded.error().isEmpty()) << "cut at " << size;
    }
    const DecodedImage noEnd = decodeBytes(whole.chopped(2));
    ASSERT_EQ(noEnd.error(), QString());
    EXPECT_EQ(noEnd.value(), reference);
}

struct JpegQuirk
{
    const char *name;
    std::function<QByteArray(QByteArray)> change;
};

void PrintTo(const JpegQuirk &c, std::ostream *os)
{
    *os << c.name;
}

class JpegHarmless : public ::testing::TestWithParam<JpegQuirk>
{
};

// Oddities that leave every pixel intact load exactly as the clean file.
TEST_P(JpegHarmless, LoadsAsTheCleanFile)
{
    const QByteArray clean = textureJpeg(false);
    const DecodedImage reference = decodeBytes(clean);
    ASSERT_EQ(reference.error(), QString());
    const DecodedImage decoded = decodeBytes(GetParam().change(clean));
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value(), reference.value());
}

INSTANTIATE_TEST_SUITE_P(
    Quirks, JpegHarmless,
    ::testing::Values(
        JpegQuirk{"junk_between_header_segments",
                  [](QByteArray j) { return j.insert(markerAt(j, 0xdb), QByteArray(200, 'x')); }},
        JpegQuirk{"a_few_stray_bytes_after_scan_data",
                  [](QByteArray j) { return j.insert(j.size() - 2, QByteArray(8, 'x')); }},
        JpegQuirk{"junk_right_after_start_marker",
                  [](QByteArray j) {
                      j[2] = 0; // the JFIF segment becomes junk to skip
                      return j;
                  }},
        JpegQuirk{"unknown_app_segment",
                  [](QByteArray j) { return j.insert(2, bytes({0xff, 0xe9, 0, 6, 'a', 'b', 'c', 'd'})); }},
        JpegQuirk{"future_jfif_version",
                  [](QByteArray j) {
                      j[11] = 3; // JFIF major version
                      return j;
                  }},
        JpegQuirk{"odd_band_fields_in_sequential_scan",
                  [](QByteArray j) {
                      j[firstScanDataAt(j) - 2] = 0x3e; // Se
                      return j;
                  }},
        JpegQuirk{"missing_end_marker", [](QByteArray j) { return j.chopped(2); }},
        JpegQuirk{"trailing_bytes_after_end_marker", [](QByteArray j) { return j.append(QByteArray(100, 'x')); }}),
    [](const auto &info) { return std::string(info.param.name); });

// A frame header claiming 60000 x 60000 over a few kilobytes of data is
// refused from the header alone, at any scale.
TEST(JpegLyingHeader, IsRefusedBeforeAllocating)
{
    for (bool progressive : {false, true}) {
        QByteArray j = textureJpeg(progressive);
        const qsizetype sof = markerAt(j, progressive ? 0xc2 : 0xc0);
        ASSERT_GT(sof, 0);
        j[sof + 5] = char(0xea); // height 0xea60 = 60000
        j[sof + 6] = char(0x60);
        j[sof + 7] = char(0xea); // width
        j[sof + 8] = char(0x60);
        DecodeOptions scaled;
        scaled.keepAtLeast = QSize(800, 629);
        for (const DecodeOptions &options : {DecodeOptions{}, scaled}) {
            const DecodedImage decoded = decodeBytes(j, options);
            EXPECT_TRUE(decoded.value().isNull());
            // Sequential data too short for its blocks; several scans held whole.
            EXPECT_EQ(decoded.error(), progressive
                                         ? QStringLiteral("the picture is too large (60000 x 60000 pixels; "
                                                          "at most 67.1 million pixels are accepted)")
                                         : QStringLiteral("the file ends before the picture data is complete"));
        }
    }
}

// A progressive file keeps every block's coefficients until its last scan.
// Four full-size components of the largest picture would take 512 MiB, so
// such a file is refused from its header; three (384 MiB) are within bounds.
TEST(JpegLyingHeader, ProgressiveCoefficientsBeyondTheBoundAreRefused)
{
    JpegRecipe recipe;
    recipe.colour = JpegColour::CmykAdobe;
    recipe.progressive = true;
    QByteArray j = encodeJpeg(quarters(64, 64, kRed, kYellow, kBlue, kGrey), recipe);
    const qsizetype sof = markerAt(j, 0xc2);
    ASSERT_GT(sof, 0);
    j[sof + 5] = char(0x20); // height 0x2000 = 8192
    j[sof + 6] = char(0x00);
    j[sof + 7] = char(0x20); // width
    j[sof + 8] = char(0x00);
    DecodeOptions scaled;
    scaled.keepAtLeast = QSize(800, 629);
    const DecodedImage decoded = decodeBytes(j, scaled);
    EXPECT_TRUE(decoded.value().isNull());
    EXPECT_EQ(decoded.error(), QStringLiteral("the picture is too large for a progressive JPEG (8192 x 8192 pixels in 4 "
                                            "components need 512 MiB while they are read; at most 400 MiB are taken)"));
}

// Each scan of a progressive file passes over every block it covers, and
// end-of-band runs make that almost free in bytes, so the blocks are counted
// over all scans and the file is refused at the limit; within it, as many
// scans as the file has (up to 500) are decoded. The hand-made files hold
// nothing but zeros: a flat grey picture.
TEST(JpegScanWork, IsCountedInBlocksOverAllScans)
{
    struct Case
    {
        const char *name;
        int side;
        int scans;
        qint64 maxBlocks;
        const char *reason; // nullptr: loads
    };
    const std::vector<Case> cases = {
        {"ten scans of 64 blocks at a limit of 640", 64, 10, 640, nullptr},
        {"one block too many", 64, 10, 639,
         "the JPEG data is damaged (more scans than a picture of 64 x 64 pixels can take: "
         "its scans may pass over its blocks 9 times at most)"},
        {"500 scans of a small picture at the default limit", 256, 500, kMaxJpegScanBlocks, nullptr},
        {"501 scans", 16, 501, kMaxJpegScanBlocks, "the JPEG data is damaged (more than 500 scans)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        DecodeOptions options;
        options.maxJpegScanBlocks = c.maxBlocks;
        const DecodedImage decoded = decodeBytes(corpus::progressiveJpegWithScans(c.side, c.side, c.scans), options);
        if (!c.reason) {
            ASSERT_TRUE(decoded.error().isEmpty()) << decoded.error().toStdString();
            EXPECT_EQ(decoded.value().size(), QSize(c.side, c.side));
            EXPECT_EQ(decoded.value().pixel(c.side / 2, c.side / 2), qRgb(128, 128, 128));
        } else {
            EXPECT_TRUE(decoded.value().isNull());
            EXPECT_EQ(decoded.error(), QLatin1String(c.reason));
        }
    }
}

// --- Two stripes on two threads
//
// A sequential file with restart markers is decoded by two decoders, the
// second from a restart boundary near the middle of its scan data, when it
// is large enough (DecodeOptions::jpegStripesFromPixels, lowered here so
// that small files take that path). Whatever the file, the outcome must be
// the one-thread decode's: the same pixels, or the same refusal.

using corpus::JpegSampling;
using imagefile_detail::JpegDecodeReport;

struct JpegRun
{
    DecodedImage decoded;
    JpegDecodeReport report;
};

imagefile_detail::DeviceOpener bufferOver(const QByteArray &file)
{
    return [file]() -> std::unique_ptr<QIODevice> {
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(file);
        buffer->open(QIODevice::ReadOnly);
        return buffer;
    };
}

// Decodes a JPEG held in memory as decodeImageData does, on one thread or
// on two where the file allows, and says how it went. `second` gives the
// second decoder's device (by default over the same bytes).
JpegRun decodeJpegBytes(const QByteArray &file, DecodeOptions options, bool twoThreads,
                        const imagefile_detail::DeviceOpener &second = {})
{
    options.jpegStripesFromPixels = twoThreads ? 0 : std::numeric_limits<qint64>::max();
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    JpegDecodeReport report;
    DecodedImage decoded =
        imagefile_detail::decodeJpeg(buffer, kMaxFileBytes, options, second ? second : bufferOver(file), &report);
    return {std::move(decoded), report};
}

// The options under which a picture of `upright` pixels is decoded at
// eighths/8 of its size.
DecodeOptions atScale(QSize upright, int eighths)
{
    DecodeOptions options;
    options.keepAtLeast = QSize((upright.width() * eighths + 7) / 8, (upright.height() * eighths + 7) / 8);
    return options;
}

::testing::AssertionResult sameOutcome(const DecodedImage &one, const DecodedImage &two)
{
    if (one.error() != two.error())
        return ::testing::AssertionFailure() << "one thread: \"" << one.error().toStdString() << "\", two: \""
                                             << two.error().toStdString() << "\"";
    if (one.value().size() != two.value().size())
        return ::testing::AssertionFailure() << "sizes differ";
    for (int y = 0; y < one.value().height(); ++y)
        for (int x = 0; x < one.value().width(); ++x)
            if (one.value().pixel(x, y) != two.value().pixel(x, y))
                return ::testing::AssertionFailure() << "first difference at " << x << ", " << y << ": 0x" << std::hex
                                                     << one.value().pixel(x, y) << " on one thread, 0x"
                                                     << two.value().pixel(x, y) << " on two";
    return ::testing::AssertionSuccess();
}

JpegRecipe restartRecipe(JpegSampling sampling, int rows, int mcus = 0, JpegColour colour = JpegColour::Rgb)
{
    JpegRecipe recipe;
    recipe.colour = colour;
    recipe.sampling = sampling;
    recipe.quality = 90;
    recipe.restartRows = rows;
    recipe.restartMcus = mcus;
    return recipe;
}

class TwoCores : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (std::thread::hardware_concurrency() < 2)
            GTEST_SKIP() << "one core: every file is decoded on one thread";
    }
};

struct StripeCase
{
    const char *name;
    JpegRecipe recipe;
    QSize size;
};

void PrintTo(const StripeCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<StripeCase> stripeCases()
{
    // 301 x 203: partial MCUs on the right and at the bottom; 19 MCUs a row
    // in 4:2:0, so 7 MCUs an interval meet a row's start every 7 rows.
    const QSize odd(301, 203);
    return {
        {"s420_interval_of_a_row", restartRecipe(JpegSampling::S420, 1), odd},
        {"s420_interval_of_one_mcu", restartRecipe(JpegSampling::S420, 0, 1), odd},
        {"s420_interval_of_three_rows", restartRecipe(JpegSampling::S420, 3), odd},
        {"s420_interval_of_seven_mcus", restartRecipe(JpegSampling::S420, 0, 7), odd},
        {"s420_whole_mcus", restartRecipe(JpegSampling::S420, 1), QSize(256, 192)},
        {"s444_interval_of_a_row", restartRecipe(JpegSampling::S444, 1), odd},
        {"s444_interval_of_five_mcus", restartRecipe(JpegSampling::S444, 0, 5), odd},
        {"s422_interval_of_a_row", restartRecipe(JpegSampling::S422, 1), odd},
        {"s440_interval_of_a_row", restartRecipe(JpegSampling::S440, 1), odd},
        {"s440_interval_of_two_rows", restartRecipe(JpegSampling::S440, 2), odd},
        {"greyscale_interval_of_a_row", restartRecipe(JpegSampling::S444, 1, 0, JpegColour::Grey), odd},
        {"greyscale_interval_of_three_blocks", restartRecipe(JpegSampling::S444, 0, 3, JpegColour::Grey), odd},
        {"cmyk_adobe_interval_of_a_row", restartRecipe(JpegSampling::S444, 1, 0, JpegColour::CmykAdobe), odd},
        {"cmyk_plain_interval_of_two_rows", restartRecipe(JpegSampling::S444, 2, 0, JpegColour::CmykPlain), odd},
        // Y and K at 2 x 2 by libjpeg's default for YCCK.
        {"ycck_adobe_subsampled_interval_of_a_row",
         restartRecipe(JpegSampling::AsSubsampled, 1, 0, JpegColour::YcckAdobe), odd},
        {"tall_and_narrow", restartRecipe(JpegSampling::S420, 1), QSize(40, 600)},
    };
}

class JpegStripes : public TwoCores, public ::testing::WithParamInterface<StripeCase>
{
};

// Each DCT scale lays the stripe boundary on another output row, and at full
// scale subsampled chroma rows are interpolated across it.
TEST_P(JpegStripes, SamePixelsAsOneThreadAtEveryScale)
{
    const StripeCase &c = GetParam();
    const QByteArray file = encodeJpeg(texture(c.size.width(), c.size.height()), c.recipe);
    for (int eighths = 1; eighths <= 8; ++eighths) {
        SCOPED_TRACE("at " + std::to_string(eighths) + "/8");
        const DecodeOptions options = atScale(c.size, eighths);
        const JpegRun one = decodeJpegBytes(file, options, false);
        ASSERT_EQ(one.decoded.error(), QString());
        EXPECT_FALSE(one.report.twoThreads);
        EXPECT_EQ(one.decoded.value().size(), QSize(options.keepAtLeast));
        const JpegRun two = decodeJpegBytes(file, options, true);
        EXPECT_TRUE(two.report.twoThreads);
        EXPECT_TRUE(two.report.secondStripeKept);
        EXPECT_GT(two.report.secondStripeFrom, 0);
        EXPECT_TRUE(sameOutcome(one.decoded, two.decoded));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, JpegStripes, ::testing::ValuesIn(stripeCases()),
                         [](const auto &info) { return std::string(info.param.name); });

class JpegStripesOriented : public TwoCores, public ::testing::WithParamInterface<int>
{
};

// The second decoder's rows land where the orientation puts them: rows,
// upside down, mirrored, or columns.
TEST_P(JpegStripesOriented, SamePixelsAsOneThreadAtEveryScale)
{
    const int orientation = GetParam();
    JpegRecipe recipe = restartRecipe(JpegSampling::S420, 1);
    recipe.app1 = {orientationBlock(orientation)};
    const QSize stored(203, 301);
    const QByteArray file = encodeJpeg(texture(stored.width(), stored.height()), recipe);
    const QSize upright = imagefile_detail::orientationSwapsAxes(orientation) ? stored.transposed() : stored;
    for (int eighths = 1; eighths <= 8; ++eighths) {
        SCOPED_TRACE("at " + std::to_string(eighths) + "/8");
        const DecodeOptions options = atScale(upright, eighths);
        const JpegRun one = decodeJpegBytes(file, options, false);
        ASSERT_EQ(one.decoded.error(), QString());
        EXPECT_EQ(one.decoded.value().size(), options.keepAtLeast);
        const JpegRun two = decodeJpegBytes(file, options, true);
        EXPECT_TRUE(two.report.twoThreads && two.report.secondStripeKept);
        EXPECT_TRUE(sameOutcome(one.decoded, two.decoded));
    }
}

INSTANTIATE_TEST_SUITE_P(AllEight, JpegStripesOriented, ::testing::Range(1, 9),
                         [](const auto &info) { return "orientation" + std::to_string(info.param); });

// Damage around the stripe boundary and on either side of it. The fixture:
// 256 x 256, 4:2:0, a restart marker after every row of MCUs (16 rows, 15
// markers); `cut` is the index of the marker after which the second decoder
// starts, `markers` where each marker's 0xff is.
struct StripeDamage
{
    const char *name;
    std::function<QByteArray(QByteArray file, const std::vector<qsizetype> &markers, int cut)> damage;
    bool loads;         // on one thread as on two
    bool twoThreads;    // a second decoder is started
    std::function<void(DecodeOptions &)> limits = {};
};

void PrintTo(const StripeDamage &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<qsizetype> restartMarkersOf(const QByteArray &jpeg)
{
    std::vector<qsizetype> at;
    for (qsizetype i = firstScanDataAt(jpeg); i + 1 < jpeg.size(); ++i) {
        const uchar next = uchar(jpeg[i + 1]);
        if (uchar(jpeg[i]) == 0xff && next >= 0xd0 && next <= 0xd7)
            at.push_back(i);
    }
    return at;
}

// Overwrites 32 bytes from `at` with 0xff data bytes (0xff 0x00): not
// Huffman codes of these tables.
QByteArray withBadCodes(QByteArray j, qsizetype at)
{
    for (int i = 0; i < 32; i += 2) {
        j[at + i] = char(0xff);
        j[at + i + 1] = 0;
    }
    return j;
}

QByteArray withMarkerNumber(QByteArray j, qsizetype at, int shift)
{
    j[at + 1] = char(0xd0 + ((uchar(j[at + 1]) - 0xd0 + shift) & 7));
    return j;
}

QByteArray withFrameHeight(QByteArray j, int height)
{
    const qsizetype sof = markerAt(j, 0xc0);
    j[sof + 5] = char(height >> 8);
    j[sof + 6] = char(height & 0xff);
    return j;
}

std::vector<StripeDamage> stripeDamages()
{
    using Markers = const std::vector<qsizetype> &;
    // The middle of the interval that starts after marker i.
    const auto inside = [](Markers m, int i) { return (m[std::size_t(i)] + m[std::size_t(i) + 1]) / 2; };
    const QString stray(100, QLatin1Char('x'));
    return {
        {"clean", [](QByteArray j, Markers, int) { return j; }, true, true},
        {"bad_codes_in_the_first_stripe",
         [=](QByteArray j, Markers m, int cut) { return withBadCodes(j, inside(m, cut - 3)); }, false, true},
        {"bad_codes_in_the_second_stripe",
         [=](QByteArray j, Markers m, int cut) { return withBadCodes(j, inside(m, cut + 3)); }, false, true},
        {"bad_codes_just_before_the_boundary",
         [](QByteArray j, Markers m, int cut) { return withBadCodes(j, m[std::size_t(cut)] - 32); }, false, true},
        {"bad_codes_right_after_the_boundary",
         [](QByteArray j, Markers m, int cut) { return withBadCodes(j, m[std::size_t(cut)] + 2); }, false, true},
        {"wrong_marker_number_at_the_boundary",
         [](QByteArray j, Markers m, int cut) { return withMarkerNumber(j, m[std::size_t(cut)], 1); }, false, true},
        {"wrong_marker_number_after_the_boundary",
         [](QByteArray j, Markers m, int cut) { return withMarkerNumber(j, m[std::size_t(cut) + 1], 1); }, false, true},
        {"wrong_marker_number_in_the_first_stripe",
         [](QByteArray j, Markers m, int cut) { return withMarkerNumber(j, m[std::size_t(cut) - 3], 7); }, false, true},
        {"wrong_marker_number_in_the_second_stripe",
         [](QByteArray j, Markers m, int cut) { return withMarkerNumber(j, m[std::size_t(cut) + 3], 4); }, false, true},
        {"marker_missing_at_the_boundary",
         [](QByteArray j, Markers m, int cut) { return j.remove(m[std::size_t(cut)], 2); }, false, true},
        {"marker_missing_in_the_first_stripe",
         [](QByteArray j, Markers m, int cut) { return j.remove(m[std::size_t(cut) - 3], 2); }, false, true},
        {"marker_missing_in_the_second_stripe",
         [](QByteArray j, Markers m, int cut) { return j.remove(m[std::size_t(cut) + 3], 2); }, false, true},
        {"marker_doubled_at_the_boundary",
         [](QByteArray j, Markers m, int cut) { return j.insert(m[std::size_t(cut)], j.mid(m[std::size_t(cut)], 2)); },
         false, true},
        {"end_marker_inside_the_first_stripe",
         [=](QByteArray j, Markers m, int cut) { return j.replace(inside(m, cut - 3), 2, bytes({0xff, 0xd9})); },
         false, true},
        {"end_marker_inside_the_second_stripe",
         [=](QByteArray j, Markers m, int cut) { return j.replace(inside(m, cut + 3), 2, bytes({0xff, 0xd9})); },
         false, true},
        {"table_marker_inside_the_second_stripe",
         [=](QByteArray j, Markers m, int cut) { return j.replace(inside(m, cut + 3), 2, bytes({0xff, 0xc4})); },
         false, true},
        {"many_stray_bytes_before_the_boundary_marker",
         [=](QByteArray j, Markers m, int cut) { return j.insert(m[std::size_t(cut)], stray.toLatin1()); }, false,
         true},
        {"a_few_stray_bytes_before_the_boundary_marker",
         [](QByteArray j, Markers m, int cut) { return j.insert(m[std::size_t(cut)], QByteArray(8, 'x')); }, true,
         true},
        {"stray_bytes_right_after_the_boundary_marker",
         [](QByteArray j, Markers m, int cut) { return j.insert(m[std::size_t(cut)] + 2, QByteArray(8, 'x')); },
         false, true},
        {"many_stray_bytes_before_the_end_marker",
         [=](QByteArray j, Markers, int) { return j.insert(j.size() - 2, stray.toLatin1()); }, false, true},
        {"a_few_stray_bytes_before_the_end_marker",
         [](QByteArray j, Markers, int) { return j.insert(j.size() - 2, QByteArray(8, 'x')); }, true, true},
        {"bytes_after_the_end_marker", [](QByteArray j, Markers, int) { return j.append(QByteArray(5000, 'x')); },
         true, true},
        {"data_missing_from_the_second_stripe",
         [=](QByteArray j, Markers m, int cut) { return j.remove(inside(m, cut + 2), inside(m, cut + 4) - inside(m, cut + 2)); },
         false, true},
        {"frame_taller_than_the_data", [](QByteArray j, Markers, int) { return withFrameHeight(j, 256 + 48); }, false,
         true},
        {"frame_shorter_than_the_data", [](QByteArray j, Markers, int) { return withFrameHeight(j, 256 - 48); },
         false, true},
        // No end marker: nothing tells where the data ends, so one thread.
        {"cut_in_the_second_stripe", [=](QByteArray j, Markers m, int cut) { return j.left(inside(m, cut + 3)); },
         false, false},
        {"cut_right_after_the_boundary_marker",
         [](QByteArray j, Markers m, int cut) { return j.left(m[std::size_t(cut)] + 2); }, false, false},
        {"end_marker_missing", [](QByteArray j, Markers, int) { return j.chopped(2); }, true, false},
        {"zero_filled_tail",
         [=](QByteArray j, Markers m, int cut) {
             const qsizetype from = inside(m, cut + 3);
             return j.replace(from, j.size() - from, QByteArray(j.size() - from, '\0'));
         },
         false, false},
        // Limits are judged before a second decoder is started.
        {"more_pixels_than_allowed", [](QByteArray j, Markers, int) { return j; }, false, false,
         [](DecodeOptions &o) { o.maxPixels = 100; }},
        {"longer_side_than_allowed", [](QByteArray j, Markers, int) { return j; }, false, false,
         [](DecodeOptions &o) { o.maxSide = 16; }},
        // The whole scan is counted by the first decoder before its first row.
        {"more_blocks_than_allowed", [](QByteArray j, Markers, int) { return j; }, false, true,
         [](DecodeOptions &o) { o.maxJpegScanBlocks = 100; }},
    };
}

class JpegStripesDamaged : public TwoCores, public ::testing::WithParamInterface<std::tuple<StripeDamage, int>>
{
};

TEST_P(JpegStripesDamaged, SameOutcomeAsOneThread)
{
    const auto &[c, eighths] = GetParam();
    const QByteArray clean = encodeJpeg(texture(256, 256), restartRecipe(JpegSampling::S420, 1));
    const std::vector<qsizetype> markers = restartMarkersOf(clean);
    ASSERT_EQ(markers.size(), 15u);
    DecodeOptions options = atScale(QSize(256, 256), eighths);
    const JpegRun plain = decodeJpegBytes(clean, options, true);
    ASSERT_TRUE(plain.report.twoThreads);
    // One restart interval is one iMCU row, 16 rows at full scale.
    const int cut = plain.report.secondDecoderFrom / (2 * eighths) - 1;
    ASSERT_GE(cut, 4);
    ASSERT_LE(cut, 10);

    if (c.limits)
        c.limits(options);
    const QByteArray file = c.damage(clean, markers, cut);
    const JpegRun one = decodeJpegBytes(file, options, false);
    const JpegRun two = decodeJpegBytes(file, options, true);
    EXPECT_EQ(one.decoded.error().isEmpty(), c.loads) << one.decoded.error().toStdString();
    EXPECT_EQ(two.report.twoThreads, c.twoThreads);
    if (c.twoThreads) {
        EXPECT_EQ(two.report.secondStripeKept, c.loads);
    }
    EXPECT_TRUE(sameOutcome(one.decoded, two.decoded));
}

INSTANTIATE_TEST_SUITE_P(Files, JpegStripesDamaged,
                         ::testing::Combine(::testing::ValuesIn(stripeDamages()), ::testing::Values(4, 8)),
                         [](const auto &info) {
                             return std::string(std::get<0>(info.param).name) + "_at_"
                                    + std::to_string(std::get<1>(info.param)) + "_eighths";
                         });

class JpegStripesUsed : public TwoCores
{
};

// Files that are decoded on one thread whatever the threshold: no restart
// markers, several scans, arithmetic coding, or no boundary in the middle
// half of the scan data.
TEST_F(JpegStripesUsed, OnlyWhereTheScanDataFallsApart)
{
    JpegRecipe progressive = restartRecipe(JpegSampling::S420, 1);
    progressive.progressive = true;
    JpegRecipe arithmetic = restartRecipe(JpegSampling::S420, 1);
    arithmetic.arithmetic = true;
    JpegRecipe separateScans = restartRecipe(JpegSampling::S444, 1);
    for (int c = 0; c < 3; ++c)
        separateScans.scans.push_back({1, {c, 0, 0, 0}, 0, 63, 0, 0});
    const struct
    {
        const char *name;
        JpegRecipe recipe;
    } cases[] = {
        {"no restart markers", restartRecipe(JpegSampling::S420, 0)},
        {"progressive", progressive},
        {"arithmetic", arithmetic},
        {"a scan for each component", separateScans},
        // 32 rows of MCUs, one marker: after row 28.
        {"a boundary at seven eighths only", restartRecipe(JpegSampling::S444, 28)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray file = encodeJpeg(texture(256, 256), c.recipe);
        const JpegRun one = decodeJpegBytes(file, {}, false);
        ASSERT_EQ(one.decoded.error(), QString());
        const JpegRun two = decodeJpegBytes(file, {}, true);
        EXPECT_FALSE(two.report.twoThreads);
        EXPECT_TRUE(sameOutcome(one.decoded, two.decoded));
    }
}

// By default only pictures of kJpegStripesFromPixels or more take two.
TEST_F(JpegStripesUsed, FromTheDefaultThreshold)
{
    const int width = 1000;
    const int height = int(kJpegStripesFromPixels / width);
    const QByteArray file = encodeJpeg(texture(width, height), restartRecipe(JpegSampling::S420, 1));
    DecodeOptions options;
    options.keepAtLeast = QSize(1, 1);
    // One row fewer leaves the scan data as it is (the last row of MCUs is
    // partial either way).
    for (const int rows : {height, height - 1}) {
        const QByteArray sized = withFrameHeight(file, rows);
        QBuffer buffer;
        buffer.setData(sized);
        buffer.open(QIODevice::ReadOnly);
        JpegDecodeReport report;
        const DecodedImage decoded =
            imagefile_detail::decodeJpeg(buffer, kMaxFileBytes, options, bufferOver(sized), &report);
        EXPECT_EQ(report.twoThreads, rows == height) << rows << " rows";
        EXPECT_EQ(decoded.error(), QString());
    }
}

// The second decoder reads its own device; one that does not hold the very
// bytes the first decoder read (a file replaced in between) is not used.
TEST_F(JpegStripesUsed, NotWithADeviceOverOtherBytes)
{
    const QByteArray file = encodeJpeg(texture(256, 256), restartRecipe(JpegSampling::S420, 1));
    QByteArray otherTables = file;
    otherTables[markerAt(file, 0xdb) + 10] = char(uchar(file[markerAt(file, 0xdb) + 10]) ^ 1);
    for (const QByteArray &other : {otherTables, file.left(file.size() - 10), QByteArray(file).append("xxxx")}) {
        const JpegRun one = decodeJpegBytes(file, {}, false);
        const JpegRun two = decodeJpegBytes(file, {}, true, bufferOver(other));
        EXPECT_FALSE(two.report.twoThreads);
        EXPECT_TRUE(sameOutcome(one.decoded, two.decoded));
    }
    const JpegRun noSecond = decodeJpegBytes(file, {}, true, [] { return std::unique_ptr<QIODevice>(); });
    EXPECT_FALSE(noSecond.report.twoThreads);
    EXPECT_EQ(noSecond.decoded.error(), QString());
}

// The fuzzer starts from the corpus seeds, with the threshold at nothing:
// those with restart markers must reach the second decoder.
TEST_F(JpegStripesUsed, ForTheFuzzSeedsWithRestartMarkers)
{
    int seeds = 0;
    for (const corpus::Entry &entry : corpus::entries()) {
        if (!entry.seed || !entry.fileName.startsWith(QLatin1String("jpeg-restart")))
            continue;
        SCOPED_TRACE(entry.fileName.toStdString());
        ++seeds;
        DecodeOptions options;
        options.keepAtLeast = QSize(800, 629); // as the fuzz target asks
        const JpegRun two = decodeJpegBytes(entry.bytes, options, true);
        EXPECT_TRUE(two.report.twoThreads && two.report.secondStripeKept);
        EXPECT_TRUE(sameOutcome(decodeJpegBytes(entry.bytes, options, false).decoded, two.decoded));
    }
    EXPECT_GE(seeds, 7);
}

// A file on disk: the second decoder opens the file again.
TEST_F(JpegStripesUsed, ForAFileOpenedAgain)
{
    const QByteArray file = encodeJpeg(texture(301, 203), restartRecipe(JpegSampling::S420, 1));
    Files files;
    const QString path = files.write(QStringLiteral("stripes.jpg"), file);
    DecodeOptions options;
    const DecodedImage one = decodeImageFile(path, options);
    ASSERT_EQ(one.error(), QString());
    options.jpegStripesFromPixels = 0;
    EXPECT_TRUE(sameOutcome(one, decodeImageFile(path, options)));
    EXPECT_TRUE(sameOutcome(one, decodeImageData(file, options)));
    const QString cut = files.write(QStringLiteral("cut.jpg"), file.left(file.size() / 2));
    EXPECT_TRUE(sameOutcome(decodeImageFile(cut), decodeImageFile(cut, options)));
}

// ---------------------------------------------------------------------------
// PNG: decoded by our own decoder to the very pixels Qt's reader gives

struct PngCase
{
    std::string name;
    corpus::PngHeader header;
    int paletteSize = 0;       // palette pictures: entries in PLTE (indices run over all the depth allows)
    bool transparency = false; // a tRNS chunk: one grey or colour that occurs, or alphas for half the palette
};

void PrintTo(const PngCase &c, std::ostream *os)
{
    *os << c.name;
}

std::vector<PngCase> pngCases()
{
    std::vector<PngCase> cases;
    const std::vector<std::pair<int, std::vector<int>>> depths = {
        {0, {1, 2, 4, 8, 16}}, {2, {8, 16}}, {3, {1, 2, 4, 8}}, {4, {8, 16}}, {6, {8, 16}}};
    for (const auto &[colourType, list] : depths) {
        for (const int depth : list) {
            for (const bool interlaced : {false, true}) {
                const bool canBeTransparent = colourType == 0 || colourType == 2 || colourType == 3;
                for (const bool transparency : {false, true}) {
                    if (transparency && !canBeTransparent)
                        continue;
                    // Palettes: full, and short of what the depth can index.
                    std::vector<int> palettes = {0};
                    if (colourType == 3)
                        palettes = {1 << depth, std::max(1, (1 << depth) / 2 - 1)};
                    for (const int paletteSize : palettes) {
                        PngCase c;
                        c.header = {13, 11, depth, colourType, interlaced};
                        c.paletteSize = paletteSize;
                        c.transparency = transparency;
                        c.name = "type" + std::to_string(colourType) + "_" + std::to_string(depth) + "bit"
                                 + (interlaced ? "_interlaced" : "") + (transparency ? "_trns" : "")
                                 + (colourType == 3 ? "_palette" + std::to_string(paletteSize) : "");
                        cases.push_back(c);
                    }
                }
            }
        }
    }
    // A picture smaller than the interlacing grid: most passes are empty.
    cases.push_back({"type2_8bit_interlaced_1x1", {1, 1, 8, 2, true}});
    cases.push_back({"type6_8bit_interlaced_3x2", {3, 2, 8, 6, true}});
    return cases;
}

// Samples that fill the depth's range, different for every pixel and channel.
quint32 pngSample(int x, int y, int c, int depth)
{
    quint32 v = quint32(x) * 2654435761u ^ quint32(y) * 40503u ^ quint32(c + 1) * 2246822519u;
    v ^= v >> 13;
    v *= 0x5bd1e995u;
    v ^= v >> 15;
    return v & ((1u << depth) - 1);
}

QByteArray pngFor(const PngCase &c)
{
    const corpus::PngHeader &h = c.header;
    const auto sample = [&](int x, int y, int ch) { return pngSample(x, y, ch, h.depth); };
    QByteArray before;
    if (h.colourType == 3) {
        QByteArray palette;
        for (int i = 0; i < c.paletteSize * 3; ++i)
            palette.append(char(pngSample(i, 7, 0, 8)));
        before += corpus::pngChunk("PLTE", palette);
    }
    if (c.transparency) {
        QByteArray trns;
        const auto put16 = [&](quint32 v) {
            trns.append(char(v >> 8));
            trns.append(char(v));
        };
        if (h.colourType == 3) {
            for (int i = 0; i < std::max(1, c.paletteSize / 2); ++i)
                trns.append(char(i * 37));
        } else {
            for (int ch = 0; ch < (h.colourType == 2 ? 3 : 1); ++ch)
                put16(sample(2, 1, ch)); // the value of a pixel that is there
        }
        before += corpus::pngChunk("tRNS", trns);
    }
    return corpus::pngFile(h, corpus::zlibCompress(corpus::pngScanlines(h, sample)), before, 40);
}

QImage readByQt(const QByteArray &file)
{
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

class PngDecodes : public ::testing::TestWithParam<PngCase>
{
};

TEST_P(PngDecodes, AsQtsReaderDid)
{
    const PngCase &c = GetParam();
    const QByteArray file = pngFor(c);
    const DecodedImage decoded = decodeImageData(file);
    ASSERT_TRUE(decoded.error().isEmpty()) << decoded.error().toStdString();
    ASSERT_EQ(decoded.value().format(), QImage::Format_RGB32);
    ASSERT_EQ(decoded.value().size(), QSize(c.header.width, c.header.height));

    // Qt's reader mixes up 16-bit RGB with a transparent colour (it packs
    // three channels into the room of four); the same picture with an alpha
    // channel shows what it should give.
    QImage expected;
    if (c.header.colourType == 2 && c.header.depth == 16 && c.transparency) {
        corpus::PngHeader rgba = c.header;
        rgba.colourType = 6;
        const auto sample = [&](int x, int y, int ch) {
            if (ch < 3)
                return pngSample(x, y, ch, 16);
            const bool clear = pngSample(x, y, 0, 16) == pngSample(2, 1, 0, 16)
                               && pngSample(x, y, 1, 16) == pngSample(2, 1, 1, 16)
                               && pngSample(x, y, 2, 16) == pngSample(2, 1, 2, 16);
            return clear ? 0u : 0xffffu;
        };
        expected = readByQt(corpus::pngFile(rgba, corpus::zlibCompress(corpus::pngScanlines(rgba, sample))));
    } else {
        expected = readByQt(file);
    }
    ASSERT_FALSE(expected.isNull());
    EXPECT_TRUE(decoded.value() == expected);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, PngDecodes, ::testing::ValuesIn(pngCases()),
                         [](const auto &info) { return info.param.name; });

// The image data, inflated, must come to the rows the header implies:
// more (however little) or less is refused, and so is anything that stops
// inflating; a stream that lacks only its closing checksum keeps every row.
TEST(PngImageData, IsTheExactSizeOfThePicture)
{
    const corpus::PngHeader header{13, 11, 8, 6, true};
    const auto sample = [](int x, int y, int c) { return pngSample(x, y, c, 8); };
    const QByteArray rows = corpus::pngScanlines(header, sample);
    const QImage whole = decodeImageData(corpus::pngFile(header, corpus::zlibCompress(rows))).value();
    ASSERT_FALSE(whole.isNull());

    struct Variant
    {
        const char *name;
        QByteArray data;
        const char *reason; // nullptr: loads as the whole file
    };
    const QByteArray compressed = corpus::zlibCompress(rows);
    const std::vector<Variant> variants = {
        {"one byte more", corpus::zlibCompress(rows + QByteArray(1, '\0')),
         "its image data is longer than a picture of 13 x 11 pixels needs"},
        {"one byte less", corpus::zlibCompress(rows.chopped(1)), "the image data ends before the last row"},
        {"cut inside the stream", compressed.left(compressed.size() / 2), "the image data ends before the last row"},
        {"checksum missing", compressed.chopped(4), nullptr},
        {"checksum wrong", compressed.chopped(1) + char(compressed.back() ^ 1), "incorrect data check"},
        {"preset dictionary", QByteArray("\x78\xbb\0\0\0\0", 6), "preset dictionary"},
    };
    for (const Variant &v : variants) {
        SCOPED_TRACE(v.name);
        const DecodedImage decoded = decodeImageData(corpus::pngFile(header, v.data, {}, 7));
        if (!v.reason) {
            EXPECT_TRUE(decoded.value() == whole) << decoded.error().toStdString();
        } else {
            EXPECT_TRUE(decoded.value().isNull());
            EXPECT_TRUE(decoded.error().startsWith(QStringLiteral("the PNG data is damaged ("))) << decoded.error().toStdString();
            EXPECT_TRUE(decoded.error().contains(QLatin1String(v.reason))) << decoded.error().toStdString();
        }
    }
}

// Chunks that make decoding impossible are refused with the reason; those
// that do not fit are passed over, as a reader of the format does.
TEST(PngChunks, ImpossibleOnesRefusedOthersPassedOver)
{
    const corpus::PngHeader header{6, 4, 8, 2, false};
    const auto sample = [](int x, int y, int c) { return pngSample(x, y, c, 8); };
    const QByteArray data = corpus::zlibCompress(corpus::pngScanlines(header, sample));
    const QImage plain = decodeImageData(corpus::pngFile(header, data)).value();
    ASSERT_FALSE(plain.isNull());
    const QByteArray idat = corpus::pngChunk("IDAT", data);
    const QByteArray iend = corpus::pngChunk("IEND", {});
    const QByteArray start = corpus::pngFile(header, {}).chopped(iend.size());
    const auto join = [](std::initializer_list<QByteArray> pieces) {
        QByteArray out;
        for (const QByteArray &piece : pieces)
            out += piece;
        return out;
    };

    struct Variant
    {
        const char *name;
        QByteArray file;
        const char *reason; // nullptr: loads as the plain file
    };
    const std::vector<Variant> variants = {
        {"ancillary chunk of any name", join({start, corpus::pngChunk("vlOr", "x"), idat, iend}), nullptr},
        {"palette in an RGB picture", join({start, corpus::pngChunk("PLTE", QByteArray(9, 'a')), idat, iend}), nullptr},
        {"transparency of the wrong length", join({start, corpus::pngChunk("tRNS", "ab"), idat, iend}), nullptr},
        {"image data after other chunks",
         join({start, idat, corpus::pngChunk("tEXt", QByteArray("a\0b", 3)), idat, iend}), nullptr},
        {"unknown critical chunk", join({start, corpus::pngChunk("CRIT", "x"), idat, iend}),
         "this kind of PNG is not supported (a critical chunk named CRIT)"},
        {"chunk name not letters", join({start, corpus::pngChunk("a1b2", "x"), idat, iend}),
         "the PNG data is damaged (a chunk without a name)"},
        {"second header", join({start, corpus::pngChunk("IHDR", start.mid(16, 13)), idat, iend}),
         "the PNG header is damaged (a second header chunk)"},
        {"data before the header", join({QByteArray("\x89PNG\r\n\x1a\n", 8), idat, iend}),
         "the PNG header is damaged (it does not start with the header chunk)"},
        {"no end chunk", join({start, idat}), "the file ends before the picture data is complete"},
        {"zero width", corpus::pngFile({0, 4, 8, 2, false}, data), "the PNG header is damaged (0 x 4 pixels)"},
        {"interlace method 2",
         [&] {
             QByteArray ihdr = start.mid(16, 13);
             ihdr[12] = 2;
             return join({QByteArray("\x89PNG\r\n\x1a\n", 8), corpus::pngChunk("IHDR", ihdr), idat, iend});
         }(),
         "the PNG header is damaged (compression 0, filter 0, interlace 2)"},
    };
    for (const Variant &v : variants) {
        SCOPED_TRACE(v.name);
        const DecodedImage decoded = decodeImageData(v.file);
        if (!v.reason) {
            EXPECT_TRUE(decoded.value() == plain) << decoded.error().toStdString();
        } else {
            EXPECT_TRUE(decoded.value().isNull());
            EXPECT_EQ(decoded.error(), QLatin1String(v.reason));
        }
    }
}

// ---------------------------------------------------------------------------
// Files and formats

struct FileRefusal
{
    const char *name;
    std::function<QString(const Files &)> make;
    const char *reason;
};

void PrintTo(const FileRefusal &c, std::ostream *os)
{
    *os << c.name;
}

class FileRefused : public ::testing::TestWithParam<FileRefusal>
{
};

TEST_P(FileRefused, WithReason)
{
    Files files;
    const DecodedImage decoded = decodeImageFile(GetParam().make(files));
    EXPECT_TRUE(decoded.value().isNull());
    EXPECT_EQ(decoded.error(), QLatin1String(GetParam().reason));
}

// The refusals of the file itself (before any content is decoded) come the
// same way through the row-by-row path, before the sink hears of a picture.
TEST_P(FileRefused, AsBadPictureRowByRow)
{
    Files files;
    test::CollectedRows rows;
    const Status s = decodeImageFileRows(GetParam().make(files), {}, rows);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.kind(), ErrorKind::BadPicture);
    EXPECT_EQ(s.message(), QLatin1String(GetParam().reason));
    EXPECT_EQ(rows.starts, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileRefused,
    ::testing::Values(
        FileRefusal{"missing", [](const Files &f) { return f.path(QStringLiteral("none.jpg")); },
                    "the file does not exist"},
        FileRefusal{"empty_path", [](const Files &) { return QString(); }, "the file does not exist"},
        FileRefusal{"folder",
                    [](const Files &f) {
                        QDir().mkpath(f.path(QStringLiteral("pictures.bmp")));
                        return f.path(QStringLiteral("pictures.bmp"));
                    },
                    "it is a folder, not a file"},
        FileRefusal{"empty", [](const Files &f) { return f.write(QStringLiteral("empty.bmp"), {}); },
                    "the file is empty"},
        FileRefusal{"text_named_jpg",
                    [](const Files &f) { return f.write(QStringLiteral("notes.jpg"), "just some words\n"); },
                    "the file is not a BMP or JPEG picture"},
        FileRefusal{"larger_than_read_limit",
                    [](const Files &f) {
                        const QString path = f.write(QStringLiteral("huge.bmp"), "BM");
                        QFile file(path);
                        EXPECT_TRUE(file.resize(513LL << 20)); // sparse where the file system can
                        return path;
                    },
                    "the file is too large (513 MiB; at most 512 MiB are read)"}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FileRefused, UnreadableFileGivesTheSystemReason)
{
    Files files;
    const QString path = files.write(QStringLiteral("locked.bmp"), encodeBmp24(picture(1, 1, {kRed})));
    QFile::setPermissions(path, QFileDevice::Permissions());
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "permissions do not keep this user out";
    const DecodedImage decoded = decodeImageFile(path);
    EXPECT_TRUE(decoded.value().isNull());
    EXPECT_TRUE(decoded.error().startsWith(QLatin1String("the file cannot be read ("))) << decoded.error().toStdString();
}

QByteArray writtenByQt(const QImage &image, const char *format)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, format).write(image));
    return out;
}

// The content decides the format, whatever the name says.
TEST(FileFormat, ContentWinsOverName)
{
    const QImage image = picture(3, 2, {kRed, kGreen, kBlue, kWhite, kBlack, kYellow});
    const QByteArray bmp = encodeBmp24(image);
    const QByteArray png = writtenByQt(image, "png");

    DecodedImage decoded = decodeBytes(png, {}, QStringLiteral("picture.bmp"));
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value(), image);

    decoded = decodeBytes(bmp, {}, QStringLiteral("picture.jpg"));
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value(), image);

    const QByteArray jpeg = encodeJpeg(quarters(32, 32, kRed, kGreen, kBlue, kGrey));
    decoded = decodeBytes(jpeg, {}, QStringLiteral("picture.png"));
    ASSERT_EQ(decoded.error(), QString());
    expectQuarters(decoded.value(), {kRed, kGreen, kBlue, kGrey}, 3);
}

// Formats other than BMP and JPEG go through Qt's readers and come out as
// RGB32 too; here an indexed PNG under another format's name.
TEST(FileFormat, OtherFormatsComeAlongAsRgb32)
{
    const QImage colours = picture(2, 2, {kRed, kGreen, kBlue, kWhite});
    const QImage indexed = colours.convertToFormat(QImage::Format_Indexed8);
    const DecodedImage decoded = decodeBytes(writtenByQt(indexed, "png"), {}, QStringLiteral("x.gif"));
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_TRUE(isRgb32Opaque(decoded.value()));
    EXPECT_EQ(decoded.value(), colours);
}

class PixelLimit : public ::testing::TestWithParam<const char *>
{
};

TEST_P(PixelLimit, RefusesLargerPictures)
{
    const QImage image = quarters(64, 48, kRed, kGreen, kBlue, kGrey);
    const QByteArray file = QByteArray(GetParam()) == "bmp"   ? encodeBmp24(image)
                            : QByteArray(GetParam()) == "jpg" ? encodeJpeg(image)
                                                              : writtenByQt(image, GetParam());
    DecodeOptions options;
    options.maxPixels = 64 * 48 - 1;
    DecodedImage decoded = decodeBytes(file, options);
    EXPECT_TRUE(decoded.value().isNull());
    EXPECT_EQ(decoded.error(),
              QStringLiteral("the picture is too large (64 x 48 pixels; at most 3071 pixels are accepted)"));

    options.maxPixels = 64 * 48;
    decoded = decodeBytes(file, options);
    EXPECT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value().size(), image.size());
}

INSTANTIATE_TEST_SUITE_P(Formats, PixelLimit, ::testing::Values("bmp", "jpg", "png"));

// A JPEG decoded at a reduced scale only needs the reduced size to fit.
TEST(PixelLimit, JpegCountsTheScaledSize)
{
    QImage image(800, 800, QImage::Format_RGB32);
    image.fill(kGrey);
    DecodeOptions options;
    options.maxPixels = 100 * 100;
    options.keepAtLeast = QSize(100, 100);
    const DecodedImage decoded = decodeBytes(encodeJpeg(image), options);
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value().size(), QSize(100, 100));
}

// ---------------------------------------------------------------------------
// encodeBmp24

TEST(EncodeBmp24, ByteLayoutOfThreeByTwo)
{
    const QImage image = picture(3, 2, {qRgb(1, 2, 3), qRgb(4, 5, 6), qRgb(7, 8, 9),
                                        qRgb(10, 11, 12), qRgb(13, 14, 15), qRgb(16, 17, 18)});
    const QByteArray expected = bytes({
        'B', 'M', 78, 0, 0, 0,  // file size: 54 + 2 rows of 12
        0, 0, 0, 0,             // reserved
        54, 0, 0, 0,            // pixel data offset
        40, 0, 0, 0,            // info header size
        3, 0, 0, 0, 2, 0, 0, 0, // width, height (positive: bottom-up)
        1, 0, 24, 0,            // planes, bits per pixel
        0, 0, 0, 0,             // BI_RGB
        24, 0, 0, 0,            // image size
        0xc4, 0x0e, 0, 0,       // 3780 pixels per metre (96 dpi), x
        0xc4, 0x0e, 0, 0,       // and y
        0, 0, 0, 0, 0, 0, 0, 0, // colours used, important
        12, 11, 10, 15, 14, 13, 18, 17, 16, 0, 0, 0, // bottom row, B G R, padded
        3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0,          // top row
    });
    EXPECT_EQ(encodeBmp24(image), expected);
}

TEST(EncodeBmp24, NullImageGivesNothing)
{
    EXPECT_TRUE(encodeBmp24(QImage()).isEmpty());
}

// Alpha is dropped, never blended: a fully transparent pixel keeps its colour.
TEST(EncodeBmp24, AlphaIsIgnored)
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(10, 20, 30, 0));
    image.setPixel(1, 0, qRgba(200, 100, 50, 128));
    const QByteArray file = encodeBmp24(image);
    ASSERT_EQ(file.size(), 54 + 8);
    EXPECT_EQ(file.mid(54), bytes({30, 20, 10, 50, 100, 200, 0, 0}));
}

// Every pixel's blue, green and red bytes in order, then the row's
// padding, at every width against the four-pixel groups the rows are
// written in; whatever the alpha byte holds, it never reaches the file.
TEST(EncodeBmp24, RowsAreBgrBytesThenPaddingAtEveryWidth)
{
    for (int width = 1; width <= 13; ++width) {
        SCOPED_TRACE(width);
        QImage image(width, 2, QImage::Format_ARGB32);
        QByteArray expected; // the file stores the rows bottom-up
        for (int y = image.height() - 1; y >= 0; --y) {
            for (int x = 0; x < width; ++x) {
                const int n = y * width + x;
                const QRgb pixel = qRgba(n * 3 + 1, n * 5 + 2, n * 7 + 3, 255 - n * 11);
                image.setPixel(x, y, pixel);
                expected += char(qBlue(pixel));
                expected += char(qGreen(pixel));
                expected += char(qRed(pixel));
            }
            expected += QByteArray((4 - width * 3 % 4) % 4, '\0');
        }
        const QByteArray file = encodeBmp24(image);
        EXPECT_EQ(file.mid(54), expected);
    }
}

// Encoding into one buffer in turn gives each picture's own file, smaller
// after larger and larger after smaller; a copy taken of the buffer keeps
// what it held; a picture that gives nothing leaves the buffer empty.
TEST(EncodeBmp24, IntoOneBufferInTurnGivesEachPicturesOwnFile)
{
    const auto filled = [](int width, int height, QRgb colour) {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        return image;
    };
    const QImage pictures[] = {filled(9, 7, qRgb(1, 2, 3)), filled(2, 1, qRgb(4, 5, 6)),
                               filled(5, 3, qRgb(7, 8, 9)), filled(31, 11, qRgb(10, 11, 12)),
                               QImage(), filled(1, 1, qRgb(13, 14, 15))};
    QByteArray buffer;
    QByteArray kept;
    QByteArray keptHolds;
    for (const QImage &image : pictures) {
        SCOPED_TRACE(image.width());
        EXPECT_EQ(encodeBmp24(image, &buffer), !image.isNull());
        EXPECT_EQ(buffer, encodeBmp24(image));
        EXPECT_EQ(kept, keptHolds);
        kept = buffer;
        keptHolds = QByteArray(buffer.constData(), buffer.size());
    }
}

class EncodeRoundTrip : public ::testing::TestWithParam<std::tuple<QImage::Format, QSize>>
{
};

TEST_P(EncodeRoundTrip, DecodesToTheSamePixels)
{
    const auto [format, size] = GetParam();
    QImage source(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            source.setPixel(x, y, qRgb(x * 50 + 7, y * 60 + 3, (x + y) * 30));
    const QImage image = source.convertToFormat(format);
    const QByteArray file = encodeBmp24(image);
    EXPECT_EQ(file.size(), 54 + (size.width() * 3 + 3) / 4 * 4 * size.height());
    const DecodedImage decoded = decodeBytes(file);
    ASSERT_EQ(decoded.error(), QString());
    EXPECT_EQ(decoded.value(), image.convertToFormat(QImage::Format_RGB32));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, EncodeRoundTrip,
    ::testing::Combine(::testing::Values(QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied,
                                         QImage::Format_RGB888, QImage::Format_RGB16,
                                         QImage::Format_Grayscale8, QImage::Format_Indexed8),
                       ::testing::Values(QSize(1, 1), QSize(2, 3), QSize(3, 2), QSize(4, 1), QSize(5, 2))),
    [](const auto &info) {
        const QSize s = std::get<1>(info.param);
        return "format" + std::to_string(int(std::get<0>(info.param))) + "_" + std::to_string(s.width()) + "x"
               + std::to_string(s.height());
    });

} // namespace
namespace velloran {
namespace {

// A file the fuzzer found: restart markers out of order near the end, where
// libjpeg skips stray bytes after a marker it did not expect. The second
// decoder counted fewer of them than the one-thread decode (16 against 19,
// one side of the limit and the other) and took a damaged file for a whole
// one; now any warning in its stripe leaves the rest to the first decoder.
TEST(JpegStripes, StrayMarkersLateInTheDataGiveTheOneThreadOutcome)
{
    QFile f(QStringLiteral(VELLORAN_FUZZ_SEEDS "/image/jpeg-restart-stray-markers-late.jpg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray file = f.readAll();
    DecodeOptions options;
    options.keepAtLeast = QSize(800, 629);
    const JpegRun one = decodeJpegBytes(file, options, false);
    const JpegRun two = decodeJpegBytes(file, options, true);
    EXPECT_TRUE(two.report.twoThreads);
    EXPECT_FALSE(two.report.secondStripeKept);
    EXPECT_EQ(one.decoded.error(), QStringLiteral("the JPEG data is damaged (Corrupt JPEG data: 19 extraneous bytes "
                                                  "before marker 0xd6)"));
    EXPECT_EQ(two.decoded.error(), one.decoded.error());
    EXPECT_EQ(two.decoded.value(), one.decoded.value());
}

} // namespace
} // namespace velloran
