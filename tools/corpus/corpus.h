#pragma once

// A corpus of small picture files that the program must survive: every BMP
// and JPEG variant that Windows, cameras and editors write, and files that
// are empty, cut short, damaged, lying about their size or of another format
// than their name says. Each comes with what loading it must give. The files
// are made here, byte by byte or with libjpeg, the same on every run.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <QList>

#include <array>
#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace velloran::corpus {

enum class Outcome {
    Loads,   // decoded at `size`, the quarters' centres in `quarters`
    Refused, // refused with a reason that contains `reason`
};

struct Entry
{
    QString fileName; // unique; its extension is what the file claims to be
    QByteArray bytes;
    Outcome outcome = Outcome::Loads;
    QString reason;
    QSize size;
    // Colours at the centres of the top-left, top-right, bottom-left and
    // bottom-right quarters of the upright picture, and how far (per
    // channel) a decoded one may be from them.
    std::array<QRgb, 4> quarters{};
    int tolerance = 0;
    // A small well-formed file worth starting a fuzzer from.
    bool seed = false;
};

// Every file of the corpus, in a fixed order.
std::vector<Entry> entries();

// Large files within every limit (up to the largest picture and hundreds of
// megabytes) whose decoding could take far longer than their pixels
// justify, each with what loading it must give, and made only when asked.
struct LargeEntry
{
    Entry entry; // without its bytes
    std::function<QByteArray()> make;
};
std::vector<LargeEntry> largeEntries();

// JPEG files written with libjpeg, for the corpus and for tests of the
// decoder.
enum class JpegColour { Rgb, Grey, CmykAdobe, YcckAdobe, CmykPlain };

// How the colour components are sampled against the first (luma, and K in
// CMYK and YCCK files): 4:2:0 when the recipe says `subsampled`, else 4:4:4,
// unless one of the others is asked for.
enum class JpegSampling { AsSubsampled, S444, S422, S440, S420 };

struct JpegRecipe
{
    JpegColour colour = JpegColour::Rgb;
    bool progressive = false;
    bool subsampled = false; // 4:2:0 instead of 4:4:4
    bool arithmetic = false;
    int quality = 95;
    JpegSampling sampling = JpegSampling::AsSubsampled;
    int restartRows = 0;
    int restartMcus = 0; // a restart interval in MCUs, in place of restartRows
    QList<QByteArray> app1 = {};             // APP1 payloads (Exif), written after the JFIF header
    std::vector<jpeg_scan_info> scans = {}; // a scan script of our own, when not empty
};

// The picture as a JPEG file. Grey files take each pixel's grey level, CMYK
// ones ink amounts from its colour (K from the brightest channel), stored
// inverted in the Adobe variants as Adobe's writers do.
QByteArray encodeJpeg(const QImage &picture, const JpegRecipe &recipe = {});

// PNG files, written byte by byte; zlib compresses the image data.
struct PngHeader
{
    int width = 0;
    int height = 0;
    int depth = 8;
    int colourType = 2; // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    bool interlaced = false;
};

// The image data before compression: every row (of every Adam7 pass when
// interlaced) filtered with the five filters in turn. `sample(x, y, c)` is
// channel c of the pixel at (x, y): a grey level, colour value or palette
// index within the bit depth.
QByteArray pngScanlines(const PngHeader &header, const std::function<quint32(int, int, int)> &sample);
// One chunk: length, type, body and checksum.
QByteArray pngChunk(const char *type, const QByteArray &body);
// A whole file: signature, header chunk, `before` (chunks that precede the
// image data), the zlib data in IDAT chunks of at most `chunkBytes` each,
// and the end chunk.
QByteArray pngFile(const PngHeader &header, const QByteArray &zlibData, const QByteArray &before = {},
                   qsizetype chunkBytes = 1 << 16);
QByteArray zlibCompress(const QByteArray &raw);

// A greyscale progressive JPEG of `scans` scans whose data is almost all
// end-of-band runs: a DC scan, then successive approximation of the AC
// coefficients 1 to lastCoefficient from bit 13 down, repeated. A few hundred
// kilobytes, each scan a pass over every block of the picture.
QByteArray progressiveJpegWithScans(int width, int height, int scans, int lastCoefficient = 63);

// Reasons that the decoders give, as entries expect them.
namespace reason {
inline const QString kEmpty = QStringLiteral("the file is empty");
inline const QString kTruncated = QStringLiteral("the file ends before the picture data is complete");
inline const QString kTooLarge = QStringLiteral("the picture is too large");
inline const QString kNotAPicture = QStringLiteral("the file is not a BMP or JPEG picture");
inline const QString kBmpDamaged = QStringLiteral("the BMP header is damaged");
inline const QString kBmpUnsupported = QStringLiteral("this kind of BMP is not supported");
inline const QString kJpegDamaged = QStringLiteral("the JPEG data is damaged");
inline const QString kJpegUnsupported = QStringLiteral("this kind of JPEG is not supported");
} // namespace reason

} // namespace velloran::corpus
