// Decodes JPEG files with libjpeg straight into the upright RGB32 picture.
//
// The file is read in chunks as decoding goes and, when the caller needs
// fewer pixels, the DCT itself scales the picture down (by n/8), so a large
// photo never exists at full size in memory. EXIF orientation is applied as
// rows arrive. libjpeg reports errors through a longjmp: everything it can
// jump over is kept trivially destructible (see JpegSession and guarded()).
//
// Warnings matter: libjpeg pads damaged or cut-short data with grey and goes
// on, so every warning refuses the file except a few that do not touch the
// pixels (see isHarmlessWarning()). Reading goes on to the end marker, so
// data left over after the last block (a decoder that lost its place, the
// zero-filled tail of a broken download) is noticed too. Scans are counted,
// and so are the blocks each one passes over (DecodeOptions::
// maxJpegScanBlocks), since a scan of end-of-band runs costs a pass over the
// picture in a few bytes.

#include "imaging/imagefile_p.h"

#include <QIODevice>
#include <QImage>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <type_traits>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#if defined(_MSC_VER)
// jmp_buf is over-aligned on x64, so JpegSession is padded for it: expected.
#pragma warning(disable : 4324)
#endif

namespace velloran::imagefile_detail {

namespace {

// Legitimate progressive files have a few dozen scans at most; a crafted one
// can have many thousands, each a full pass over the picture.
constexpr int kMaxScans = 500;
constexpr std::size_t kReadChunk = 64 * 1024;
// Stray bytes after scan data up to this many are taken for padding.
constexpr int kMaxStrayBytes = 16;
// Rows decoded at a time when a quarter turn scatters them into columns.
constexpr int kStripRows = 16;

// QImage::Format_RGB32 in memory: B, G, R, 0xff on little-endian machines.
constexpr J_COLOR_SPACE kRgb32Space = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB;

enum class Failure {
    Damaged,
    Truncated,
    Unsupported,
    TooLarge,
    OutOfMemory,
    ReadFailed,
    TooManyScans,
    TooMuchScanWork,
};

// Everything libjpeg touches during one decode. Errors leave libjpeg by
// longjmp, which skips destructors, so this stays trivially destructible and
// the Qt objects live outside it.
struct JpegSession
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr errors;
    jpeg_source_mgr source;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    QIODevice *device;
    qint64 bytesLeft;
    bool hitEnd;     // the file ended before libjpeg was done reading
    bool readFailed; // the device reported an error
    Failure failure;
    int countedScan;   // the last scan whose blocks were counted
    qint64 maxBlocks;  // DecodeOptions::maxJpegScanBlocks
    qint64 blocksLeft; // of maxBlocks
    char message[JMSG_LENGTH_MAX];
    JOCTET buffer[kReadChunk];
};
static_assert(std::is_trivially_destructible_v<JpegSession>);

JpegSession &sessionOf(j_common_ptr cinfo)
{
    return *static_cast<JpegSession *>(cinfo->client_data);
}

JpegSession &sessionOf(j_decompress_ptr cinfo)
{
    return *static_cast<JpegSession *>(cinfo->client_data);
}

[[noreturn]] void leave(JpegSession &s, Failure failure)
{
    // A cut-short file makes libjpeg stumble over the end marker it is
    // given in place of data; report the cause, not the symptom.
    if (s.readFailed)
        failure = Failure::ReadFailed;
    else if (s.hitEnd && failure == Failure::Damaged)
        failure = Failure::Truncated;
    s.failure = failure;
    std::longjmp(s.jump, 1);
}

// libjpeg returned no rows although more were due (it cannot, with a source
// that never suspends; kept so a bug here ends in a refusal, not a loop).
[[noreturn]] void stall(JpegSession &s)
{
    std::snprintf(s.message, sizeof s.message, "%s", "no more rows");
    leave(s, Failure::Damaged);
}

Failure classifyError(int code)
{
    switch (code) {
    case JERR_BAD_PRECISION:
    case JERR_CONVERSION_NOTIMPL:
    case JERR_NOT_COMPILED:
    case JERR_NOTIMPL:
    case JERR_SOF_UNSUPPORTED:
    case JERR_ARITH_NOTIMPL:
    case JERR_FRACT_SAMPLE_NOTIMPL:
        return Failure::Unsupported;
    case JERR_IMAGE_TOO_BIG:
    case JERR_NO_BACKING_STORE: // libjpeg's memory bound (max_memory_to_use) was reached
        return Failure::TooLarge;
    case JERR_OUT_OF_MEMORY:
        return Failure::OutOfMemory;
    default:
        return Failure::Damaged;
    }
}

// Warnings about the stream's framing or metadata that leave every pixel as
// the encoder wrote it. Everything else (bad Huffman or arithmetic codes,
// data segments cut short, lost restart markers, inconsistent progression)
// means the decoder filled in data it did not have.
bool isHarmlessWarning(const jpeg_decompress_struct &cinfo)
{
    switch (cinfo.err->msg_code) {
    case JWRN_EXTRANEOUS_DATA:
        // Junk between header segments is skipped and harms nothing. After
        // scan data, a long run of it is what a decoder that lost its place
        // in damaged data leaves behind (or the zero-filled tail of a broken
        // download); a few stray bytes are an encoder's sloppiness.
        return cinfo.input_scan_number == 0 || cinfo.err->msg_parm.i[0] <= kMaxStrayBytes;
    case JWRN_JFIF_MAJOR:     // a JFIF version from the future
    case JWRN_ADOBE_XFORM:    // unknown Adobe transform code; YCbCr is assumed
    case JWRN_NOT_SEQUENTIAL: // odd band fields (Ss, Se) in a sequential scan, ignored
        return true;
    default:
        return false;
    }
}

void onError(j_common_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    (*cinfo->err->format_message)(cinfo, s.message);
    leave(s, classifyError(cinfo->err->msg_code));
}

void onMessage(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return; // trace output
    if (isHarmlessWarning(sessionOf(cinfo).cinfo)) {
        ++cinfo->err->num_warnings;
        return;
    }
    onError(cinfo);
}

void onOutputMessage(j_common_ptr)
{
}

// Called before each row of blocks is read (and each row is output): the
// blocks of each new scan are counted against DecodeOptions::
// maxJpegScanBlocks before the scan is decoded.
void onProgress(j_common_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    if (s.cinfo.input_scan_number > kMaxScans)
        leave(s, Failure::TooManyScans);
    if (s.cinfo.input_scan_number > s.countedScan) {
        s.countedScan = s.cinfo.input_scan_number;
        for (int i = 0; i < s.cinfo.comps_in_scan; ++i) {
            const jpeg_component_info &c = *s.cinfo.cur_comp_info[i];
            s.blocksLeft -= qint64(c.width_in_blocks) * c.height_in_blocks;
        }
        if (s.blocksLeft < 0)
            leave(s, Failure::TooMuchScanWork);
    }
}

void sourceInit(j_decompress_ptr)
{
}

boolean sourceFill(j_decompress_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    qint64 got = 0;
    if (s.bytesLeft > 0) {
        got = s.device->read(reinterpret_cast<char *>(s.buffer),
                             std::min<qint64>(s.bytesLeft, kReadChunk));
        if (got < 0) {
            s.readFailed = true;
            leave(s, Failure::ReadFailed);
        }
    }
    if (got == 0) {
        // As libjpeg's own sources do: hand it an end marker, so a cut-short
        // file ends cleanly; whether the picture was complete is judged by
        // the caller from hitEnd and the warnings that follow.
        s.hitEnd = true;
        s.buffer[0] = 0xff;
        s.buffer[1] = JPEG_EOI;
        got = 2;
    } else {
        s.bytesLeft -= got;
    }
    s.source.next_input_byte = s.buffer;
    s.source.bytes_in_buffer = static_cast<std::size_t>(got);
    return TRUE;
}

void sourceSkip(j_decompress_ptr cinfo, long count)
{
    if (count <= 0)
        return;
    jpeg_source_mgr &src = *cinfo->src;
    auto left = static_cast<std::size_t>(count);
    while (left > src.bytes_in_buffer) {
        left -= src.bytes_in_buffer;
        sourceFill(cinfo);
    }
    src.next_input_byte += left;
    src.bytes_in_buffer -= left;
}

void sourceTerm(j_decompress_ptr)
{
}

// Runs libjpeg calls with its error exit pointing here. The body may use only
// trivially destructible objects: a longjmp out of it skips destructors.
template <typename Body>
bool guarded(JpegSession &s, Body &&body)
{
    if (setjmp(s.jump) != 0)
        return false;
    body();
    return true;
}

void setUp(JpegSession &s, long maxMemory)
{
    s.cinfo.err = jpeg_std_error(&s.errors);
    s.errors.error_exit = onError;
    s.errors.emit_message = onMessage;
    s.errors.output_message = onOutputMessage;
    s.cinfo.client_data = &s;
    jpeg_create_decompress(&s.cinfo);
    s.cinfo.mem->max_memory_to_use = maxMemory;

    s.source.init_source = sourceInit;
    s.source.fill_input_buffer = sourceFill;
    s.source.skip_input_data = sourceSkip;
    s.source.resync_to_restart = jpeg_resync_to_restart;
    s.source.term_source = sourceTerm;
    s.cinfo.src = &s.source;

    s.progress.progress_monitor = onProgress;
    s.cinfo.progress = &s.progress;

    jpeg_save_markers(&s.cinfo, JPEG_APP0 + 1, 0xffff);
}

int orientationOf(const jpeg_decompress_struct &cinfo)
{
    static constexpr char kExifId[] = {'E', 'x', 'i', 'f', '\0', '\0'};
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && m->data_length >= sizeof kExifId
            && std::memcmp(m->data, kExifId, sizeof kExifId) == 0)
            return exifOrientation(m->data, m->data_length);
    }
    return 1;
}

// Picks the smallest n/8 whose output, turned upright, still covers `keep`
// on both axes; full size when none does (never enlarges).
void chooseScale(jpeg_decompress_struct &cinfo, QSize keep, bool swapAxes)
{
    cinfo.scale_denom = 8;
    if (keep.isValid()) {
        for (unsigned n = 1; n < 8; ++n) {
            cinfo.scale_num = n;
            jpeg_calc_output_dimensions(&cinfo);
            const JDIMENSION w = swapAxes ? cinfo.output_height : cinfo.output_width;
            const JDIMENSION h = swapAxes ? cinfo.output_width : cinfo.output_height;
            if (w >= JDIMENSION(keep.width()) && h >= JDIMENSION(keep.height()))
                return;
        }
    }
    cinfo.scale_num = 8;
    jpeg_calc_output_dimensions(&cinfo);
}

// Pixel kernels over one row of `width` pixels.

inline uint mulDiv255(uint a, uint b)
{
    const uint t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

// CMYK (4 bytes a pixel) to RGB32, in place. Adobe applications write the
// channels inverted (0 = full ink); other writers store plain ink amounts.
template <bool Inverted>
void cmykToRgb32Row(uchar *row, JDIMENSION width)
{
    auto *out = reinterpret_cast<QRgb *>(row);
    for (JDIMENSION x = 0; x < width; ++x) {
        const uchar *p = row + 4 * x;
        uint c = p[0], m = p[1], y = p[2], k = p[3];
        if (!Inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(int(mulDiv255(c, k)), int(mulDiv255(m, k)), int(mulDiv255(y, k)));
    }
}

void finishRow(uchar *row, JDIMENSION width, bool cmyk, bool inverted, bool mirror)
{
    if (cmyk) {
        if (inverted)
            cmykToRgb32Row<true>(row, width);
        else
            cmykToRgb32Row<false>(row, width);
    }
    if (mirror) {
        auto *pixels = reinterpret_cast<QRgb *>(row);
        std::reverse(pixels, pixels + width);
    }
}

// Orientations 5 to 8: source row sy becomes a column of the upright picture.
// Source (sx, sy) of a W x H picture lands at
//   5 (transpose):  (sy, sx)          6 (turn right):  (H-1-sy, sx)
//   7 (transverse): (H-1-sy, W-1-sx)  8 (turn left):   (sy, W-1-sx)
void placeStripTurned(const QRgb *strip, int rows, JDIMENSION width, JDIMENSION height,
                      JDIMENSION firstRow, int orientation, uchar *bits, qsizetype stride)
{
    const bool columnFromTop = orientation == 5 || orientation == 6;
    const bool rowFromLeft = orientation == 5 || orientation == 8;
    for (JDIMENSION sx = 0; sx < width; ++sx) {
        const JDIMENSION dy = columnFromTop ? sx : width - 1 - sx;
        auto *dst = reinterpret_cast<QRgb *>(bits + qsizetype(dy) * stride);
        for (int i = 0; i < rows; ++i) {
            const JDIMENSION sy = firstRow + JDIMENSION(i);
            dst[rowFromLeft ? sy : height - 1 - sy] = strip[qsizetype(i) * width + sx];
        }
    }
}

struct SessionCleanup
{
    JpegSession *s;
    ~SessionCleanup() { jpeg_destroy_decompress(&s->cinfo); }
};

QString reasonFor(const JpegSession &s, const QIODevice &device)
{
    const QString detail = QString::fromLatin1(s.message);
    switch (s.failure) {
    case Failure::Truncated:
        return truncatedReason();
    case Failure::Unsupported:
        return QStringLiteral("this kind of JPEG is not supported (%1)").arg(detail);
    case Failure::TooLarge:
        return QStringLiteral("the picture is too large to decode (%1)").arg(detail);
    case Failure::OutOfMemory:
        return QStringLiteral("there is not enough memory to decode the picture");
    case Failure::ReadFailed:
        return QStringLiteral("the file cannot be read (%1)").arg(device.errorString());
    case Failure::TooManyScans:
        return QStringLiteral("the JPEG data is damaged (more than %1 scans)").arg(kMaxScans);
    case Failure::TooMuchScanWork: {
        qint64 blocks = 0;
        for (int c = 0; c < s.cinfo.num_components; ++c)
            blocks += qint64(s.cinfo.comp_info[c].width_in_blocks) * s.cinfo.comp_info[c].height_in_blocks;
        return QStringLiteral("the JPEG data is damaged (more scans than a picture of %1 x %2 pixels can take: "
                              "its scans may pass over its blocks %3 times at most)")
            .arg(s.cinfo.image_width)
            .arg(s.cinfo.image_height)
            .arg(s.maxBlocks / std::max<qint64>(blocks, 1));
    }
    case Failure::Damaged:
        break;
    }
    return QStringLiteral("the JPEG data is damaged (%1)").arg(detail);
}

} // namespace

DecodedImage decodeJpeg(QIODevice &device, qint64 maxBytes, const DecodeOptions &options)
{
    const auto session = std::make_unique<JpegSession>();
    JpegSession &s = *session;
    s.device = &device;
    s.bytesLeft = maxBytes;
    s.maxBlocks = options.maxJpegScanBlocks;
    s.blocksLeft = options.maxJpegScanBlocks;
    const SessionCleanup cleanup{&s};
    const auto refuse = [&](QString reason) { return DecodedImage{QImage(), std::move(reason)}; };

    // libjpeg keeps the whole coefficient set of a progressive file; the
    // pixel limit below bounds it, this bounds anything it did not foresee.
    constexpr qint64 kLongMax = std::numeric_limits<long>::max();
    const qint64 maxMemory = options.maxPixels > kLongMax / 8
                                 ? kLongMax
                                 : std::max<qint64>(options.maxPixels * 8, 16 << 20);
    if (!guarded(s, [&] {
            setUp(s, static_cast<long>(maxMemory));
            jpeg_read_header(&s.cinfo, TRUE);
        }))
        return refuse(reasonFor(s, device));
    if (s.readFailed || s.hitEnd)
        return refuse(s.readFailed ? reasonFor(s, device) : truncatedReason());

    jpeg_decompress_struct &cinfo = s.cinfo;
    // Sequential Huffman data spends at least two bits on every block (a DC
    // code and an end-of-block or AC code), so a header whose size the file
    // cannot hold is refused before the picture is allocated.
    if (!cinfo.progressive_mode && !cinfo.arith_code) {
        qint64 blocks = 0;
        for (int c = 0; c < cinfo.num_components; ++c)
            blocks += qint64(cinfo.comp_info[c].width_in_blocks) * cinfo.comp_info[c].height_in_blocks;
        if (device.size() < blocks / 4)
            return refuse(truncatedReason());
    }

    const int orientation = orientationOf(cinfo);
    const bool turned = orientationSwapsAxes(orientation);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    const bool inverted = cmyk && cinfo.saw_Adobe_marker;
    bool multiScan = false;
    if (!guarded(s, [&] {
            multiScan = jpeg_has_multiple_scans(&cinfo);
            cinfo.out_color_space = cmyk ? JCS_CMYK : kRgb32Space;
            chooseScale(cinfo, options.keepAtLeast, turned);
        }))
        return refuse(reasonFor(s, device));

    const JDIMENSION width = cinfo.output_width;
    const JDIMENSION height = cinfo.output_height;
    if (cinfo.output_components != 4)
        return refuse(QStringLiteral("this kind of JPEG is not supported (%1 colour components)")
                          .arg(cinfo.num_components));
    if (auto refusal = sizeRefusal(turned ? height : width, turned ? width : height, options))
        return refuse(*refusal);
    // A file of several scans is held whole (as DCT coefficients) while it
    // is read, so its full size counts, whatever the output scale.
    if (multiScan && qint64(cinfo.image_width) * cinfo.image_height > options.maxPixels)
        return refuse(tooLargeReason(turned ? cinfo.image_height : cinfo.image_width,
                                     turned ? cinfo.image_width : cinfo.image_height,
                                     options.maxPixels));

    QImage image(int(turned ? height : width), int(turned ? width : height), QImage::Format_RGB32);
    if (image.isNull())
        return refuse(outOfMemoryReason(turned ? height : width, turned ? width : height));
    uchar *const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();

    if (!guarded(s, [&] { jpeg_start_decompress(&cinfo); }))
        return refuse(reasonFor(s, device));
    // All scans are read by now; an end marker that had to be made up means
    // some were missing, and no warning would have said so.
    if (multiScan && s.hitEnd)
        return refuse(truncatedReason());

    bool decoded = false;
    if (!turned) {
        // Rows go straight into the picture: upside down for 3 and 4,
        // mirrored in place for 2 and 3.
        const bool flip = orientation == 3 || orientation == 4;
        const bool mirror = orientation == 2 || orientation == 3;
        decoded = guarded(s, [&] {
            while (cinfo.output_scanline < height) {
                const JDIMENSION y = cinfo.output_scanline;
                uchar *row = bits + qsizetype(flip ? height - 1 - y : y) * stride;
                if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
                    stall(s);
                finishRow(row, width, cmyk, inverted, mirror);
            }
            jpeg_finish_decompress(&cinfo);
        });
    } else {
        std::vector<QRgb> strip(std::size_t(width) * kStripRows);
        QRgb *const stripData = strip.data();
        decoded = guarded(s, [&] {
            while (cinfo.output_scanline < height) {
                const JDIMENSION first = cinfo.output_scanline;
                const int rows = int(std::min<JDIMENSION>(kStripRows, height - first));
                JSAMPROW pointers[kStripRows];
                for (int i = 0; i < rows; ++i)
                    pointers[i] = reinterpret_cast<JSAMPROW>(stripData + qsizetype(i) * width);
                for (int done = 0; done < rows;) {
                    const JDIMENSION got =
                        jpeg_read_scanlines(&cinfo, pointers + done, JDIMENSION(rows - done));
                    if (got == 0)
                        stall(s);
                    done += int(got);
                }
                for (int i = 0; i < rows; ++i)
                    finishRow(pointers[i], width, cmyk, inverted, false);
                placeStripTurned(stripData, rows, width, height, first, orientation, bits, stride);
            }
            jpeg_finish_decompress(&cinfo);
        });
    }
    if (!decoded)
        return refuse(reasonFor(s, device));
    return {image, QString()};
}

} // namespace velloran::imagefile_detail
