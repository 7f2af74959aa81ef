#pragma once

#include "imaging/result.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace velloran {

// Largest picture, in decoded pixels, that loading accepts. At 4 bytes a pixel
// this bounds the memory of one decoded picture to 256 MiB.
inline constexpr qint64 kMaxDecodedPixels = 64LL * 1024 * 1024;
// Longest side, in decoded pixels, that loading accepts (JPEG's own limit is
// a little lower). Fitting a picture to the window images takes time in
// proportion to its longer side times the window's size, so without this a
// strip of 1 x 60 million pixels (a few bytes of run-length data) would take
// minutes to fit.
inline constexpr int kMaxPictureSide = 65535;

// Blocks of 8 x 8 samples that decoding a JPEG may go through, counted over
// all its scans: each scan of a progressive file passes over every block it
// covers (20 to 50 ns a block: the coefficients are read and written back
// whatever the scan holds), while end-of-band runs let a scan cover a million
// blocks in a few bytes. About a second: 20 passes over the largest
// greyscale picture, 6 to 7 over all three components of the largest colour
// one (the usual progression takes under 5), all 500 scans of a greyscale
// picture of 2.6 megapixels.
inline constexpr qint64 kMaxJpegScanBlocks = 20LL << 20;

// Pixels (of the file, before any scaling) from which a sequential JPEG with
// restart markers is decoded in two stripes on two threads, where the
// machine has two cores or more. Starting the second decoder costs a few
// tenths of a millisecond: measured (bench/, BM_DecodeJpeg) a picture of a
// tenth of a megapixel takes twice as long on two threads, one of a quarter
// a quarter less time, half a megapixel a third less.
inline constexpr qint64 kJpegStripesFromPixels = 250LL * 1000;

struct DecodeOptions
{
    // When valid, a JPEG is decoded at the smallest scale (n/8) that still
    // keeps at least this many pixels on both axes of the upright picture,
    // which saves time and memory on photos far larger than the result.
    QSize keepAtLeast;
    qint64 maxPixels = kMaxDecodedPixels;
    int maxSide = kMaxPictureSide;
    qint64 maxJpegScanBlocks = kMaxJpegScanBlocks;
    // Tests and the fuzzer lower it so that small files take the two-thread
    // path; benchmarks raise it to time one thread.
    qint64 jpegStripesFromPixels = kJpegStripesFromPixels;
};

// A decoded picture, Format_RGB32 and upright (EXIF orientation applied), or
// the failure (ErrorKind::BadPicture) whose message is the reason, in words
// for the user, without the path.
using DecodedImage = Result<QImage>;

// Files are read whole (BMP, PNG) or streamed (JPEG); either way no more than this.
inline constexpr qint64 kMaxFileBytes = 512LL * 1024 * 1024;

// Decodes a BMP or JPEG file (recognised by content, not by name; PNG comes
// along, other formats are refused). Never throws; every failure (missing
// file, folder, unreadable, damaged or truncated data, unsupported or too
// large picture) gives a failure with the reason.
DecodedImage decodeImageFile(const QString &path, const DecodeOptions &options = {});

// Decodes a file's content held in memory, exactly as decodeImageFile decodes
// the file once it is open.
DecodedImage decodeImageData(const QByteArray &content, const DecodeOptions &options = {});

// Receives a decoded picture row by row, top to bottom.
class RowSink
{
public:
    virtual ~RowSink() = default;
    // Before any row: the picture's size. False stops the decoding (when the
    // sink cannot take a picture of that size).
    virtual bool start(QSize size) = 0;
    // The next `count` rows of the picture, RGB32, `stride` bytes apart.
    virtual void rows(const QRgb *rows, qsizetype stride, int count) = 0;
};

// Decodes as decodeImageFile does, handing the picture's rows to `sink`:
// for an uncompressed BMP as they are read, a block at a time, so that
// neither the file nor the picture is ever whole in memory; for the other
// formats once the picture is decoded. A refusal (ErrorKind::BadPicture,
// the reason as its message) can come after some rows (a file that changes
// while it is read): the sink's rows are then to be thrown away.
Status decodeImageFileRows(const QString &path, const DecodeOptions &options, RowSink &sink);

// The picture as a Windows bitmap file: BITMAPFILEHEADER, BITMAPINFOHEADER,
// 24 bits per pixel, uncompressed, bottom-up rows padded to 4 bytes, 96 dpi.
// Any alpha is ignored. An empty QByteArray for a null image (or one too
// large for the format's 32-bit sizes, over about 1.4 billion pixels).
QByteArray encodeBmp24(const QImage &image);
// The same into `out`, reusing its memory where it is its own and large
// enough (one buffer for several pictures in turn); false, with `out`
// empty, where the other gives nothing.
bool encodeBmp24(const QImage &image, QByteArray *out);

// Pictures stored for the programs' own use, ready to draw: an 8-byte
// header (width and height, 32-bit little-endian) and the ARGB32 pixels,
// each as the bytes blue, green, red, alpha, row after row without padding.
// Nothing is decoded, so a start spends no time on them.
QByteArray encodeStoredPicture(const QImage &image);
// The picture, Format_ARGB32; null when the bytes are not a whole one.
QImage decodeStoredPicture(QByteArrayView bytes);
// The same picture drawn straight from `bytes`, which must stay as they are
// for as long as any copy of it lives (a picture compiled into the
// program): where they lie fit for rows of pixels, the image is over them,
// read-only, and costs no memory of its own until it is changed; else it
// is a copy, as decodeStoredPicture makes.
QImage viewStoredPicture(QByteArrayView bytes);

} // namespace velloran
