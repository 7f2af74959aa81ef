#pragma once

// Internals of imagefile.cpp shared by its decoders. Not part of the imaging
// interface: include imaging/imagefile.h instead.

#include "imaging/imagefile.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class QIODevice;

namespace velloran::imagefile_detail {

// Decodes a BMP file (it starts with "BM") from the device, which holds
// `size` bytes from its start, handing its rows to the sink: an
// uncompressed one a block of rows at a time as they are read, a
// run-length one once it is decoded whole. A refusal is an
// ErrorKind::BadPicture failure whose message is the reason.
Status decodeBmpRows(QIODevice &device, qint64 size, const DecodeOptions &options, RowSink &sink);

// The picture put together from the rows a decoder hands over.
class ImageRows final : public RowSink
{
public:
    bool start(QSize size) override;
    void rows(const QRgb *rows, qsizetype stride, int count) override;
    QImage image;

private:
    int m_next = 0;
};

// Decodes a whole PNG file held in memory (it starts with the PNG signature).
DecodedImage decodePng(const QByteArray &file, const DecodeOptions &options);

// Opens a second device over the same bytes as the one being decoded, for a
// decoder on another thread; null when there is none.
using DeviceOpener = std::function<std::unique_ptr<QIODevice>()>;

// How decodeJpeg went about a file.
struct JpegDecodeReport
{
    // A second decoder ran on its own thread, from row secondDecoderFrom of
    // the stored picture (at the output scale, before the EXIF orientation
    // is applied), for the rows from secondStripeFrom on.
    bool twoThreads = false;
    int secondDecoderFrom = -1;
    int secondStripeFrom = -1;
    // Its rows are in the picture; false when it met something it could not
    // decode and the first decoder went on alone (or the first one failed).
    bool secondStripeKept = false;
};

// Decodes a JPEG read from the device, which is positioned at its start and
// is read in chunks as decoding goes. At most maxBytes are read from it.
// With `reopen`, a large sequential file with restart markers may be decoded
// in two stripes on two threads (DecodeOptions::jpegStripesFromPixels), with
// the same outcome, pixels or reason, as on one.
DecodedImage decodeJpeg(QIODevice &device, qint64 maxBytes, const DecodeOptions &options,
                        const DeviceOpener &reopen = {}, JpegDecodeReport *report = nullptr);

// The orientation (1 to 8) recorded in the payload of an APP1 segment, or 1
// when the segment holds no Exif block, no orientation or a malformed one.
int exifOrientation(const uchar *segment, qsizetype size);

// True when an orientation turns the picture by a quarter, swapping its axes.
inline bool orientationSwapsAxes(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

// A decoder's refusal of a picture, with the reason as its message.
inline Status refused(QString reason)
{
    return Status::failure(ErrorKind::BadPicture, std::move(reason));
}

// Reasons shared by the decoders, in words for the user.
QString tooLargeReason(qint64 width, qint64 height, qint64 maxPixels);
// The refusal of a picture of this size under the options' limits (too many
// pixels, or a side too long), or success when it is within them.
Status sizeRefusal(qint64 width, qint64 height, const DecodeOptions &options);
QString truncatedReason();
QString outOfMemoryReason(qint64 width, qint64 height);

} // namespace velloran::imagefile_detail
