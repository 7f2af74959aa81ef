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
//
// A sequential file with restart markers, large enough to pay for a thread,
// is decoded in two stripes on two threads (see planStripes()): the first
// decoder is the one-thread decode itself, stopped at a restart boundary near
// the middle of the scan data; a second, on its own thread, is given the
// same header segments with the height of the rest of the picture and the
// scan data from that boundary on, read through a second device over the
// same bytes. Whatever the second one meets that it cannot decode, the first
// goes on alone, so the file gives exactly what one decoder gives.

#include "imaging/imagefile_p.h"

#include <QIODevice>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <thread>
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
// A progressive file is held as coefficients until its last scan: 128 bytes
// a block of every component, whatever scale the picture is decoded at.
constexpr qint64 kMaxCoefficientBytes = 400LL << 20;
constexpr std::size_t kReadChunk = 64 * 1024;
// Stray bytes after scan data up to this many are taken for padding.
constexpr int kMaxStrayBytes = 16;
// Rows decoded at a time when a quarter turn scatters them into columns.
constexpr int kStripRows = 16;
// The header segments are kept as they are read, for a second decoder; a
// file whose header segments are longer (large metadata) is decoded on one
// thread.
constexpr std::size_t kMaxHeaderBytes = 1 << 20;
// Scan data is searched for restart markers this much at a time.
constexpr qint64 kSearchChunk = 256 * 1024;

constexpr JOCTET kMarkerSoi = 0xd8;
constexpr JOCTET kMarkerSof0 = 0xc0; // baseline
constexpr JOCTET kMarkerSof1 = 0xc1; // extended sequential, Huffman
constexpr JOCTET kMarkerSos = 0xda;
constexpr JOCTET kMarkerTem = 0x01;

bool isRestartMarker(JOCTET code)
{
    return code >= JPEG_RST0 && code <= JPEG_RST0 + 7;
}

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
    Cancelled, // a second stripe's decoder, stopped because its rows are not wanted
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
    const JOCTET *pending; // handed to libjpeg before the device is read
    std::size_t pendingBytes;
    bool recording;        // what is read from the device is kept in `record`...
    bool recordOverflow;   // ...unless it grew past kMaxHeaderBytes (or memory ran out)
    JOCTET *record;        // malloc'd, freed by SessionCleanup
    std::size_t recordBytes;
    std::size_t recordCapacity;
    const std::atomic<bool> *cancel; // when set, the decode is given up
    JDIMENSION restartShift; // subtracted (modulo 8) from the number of each restart marker read
    bool afterFf;            // the last byte read was 0xff (for restartShift)
    bool skippedToRestart;   // stray bytes were skipped before a restart marker in scan data
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
    JpegSession &s = sessionOf(cinfo);
    if (isHarmlessWarning(s.cinfo)) {
        if (cinfo->err->msg_code == JWRN_EXTRANEOUS_DATA && s.cinfo.input_scan_number > 0
            && isRestartMarker(JOCTET(cinfo->err->msg_parm.i[1])))
            s.skippedToRestart = true;
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
    if (s.cancel != nullptr && s.cancel->load(std::memory_order_relaxed))
        leave(s, Failure::Cancelled);
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

// Appends the `count` bytes just read into the session's buffer to its
// record; past kMaxHeaderBytes (or out of memory) stops recording instead.
// Called from libjpeg, so it allocates with realloc, which cannot throw.
void keepRead(JpegSession &s, std::size_t count)
{
    const std::size_t needed = s.recordBytes + count;
    if (needed > kMaxHeaderBytes) {
        s.recording = false;
        s.recordOverflow = true;
        return;
    }
    if (needed > s.recordCapacity) {
        const std::size_t capacity = std::min(kMaxHeaderBytes, std::max(needed, 2 * s.recordCapacity));
        auto *grown = static_cast<JOCTET *>(std::realloc(s.record, capacity));
        if (grown == nullptr) {
            s.recording = false;
            s.recordOverflow = true;
            return;
        }
        s.record = grown;
        s.recordCapacity = capacity;
    }
    std::memcpy(s.record + s.recordBytes, s.buffer, count);
    s.recordBytes = needed;
}

// Renumbers the restart markers among the `count` bytes just read into the
// session's buffer by its restartShift; a marker split between two reads
// is renumbered all the same.
void renumberRestarts(JpegSession &s, std::size_t count)
{
    JOCTET *const bytes = s.buffer;
    for (std::size_t i = 0; i < count;) {
        if (!s.afterFf) {
            const void *ff = std::memchr(bytes + i, 0xff, count - i);
            if (ff == nullptr)
                return;
            i = std::size_t(static_cast<const JOCTET *>(ff) - bytes) + 1;
            s.afterFf = true;
            continue;
        }
        JOCTET &code = bytes[i++];
        if (code == 0xff)
            continue;
        s.afterFf = false;
        if (isRestartMarker(code))
            code = JOCTET(JPEG_RST0 + ((code - JPEG_RST0 - s.restartShift) & 7));
    }
}

boolean sourceFill(j_decompress_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    if (s.pendingBytes > 0) {
        s.source.next_input_byte = s.pending;
        s.source.bytes_in_buffer = s.pendingBytes;
        s.pendingBytes = 0;
        return TRUE;
    }
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
        if (s.recording)
            keepRead(s, static_cast<std::size_t>(got));
        if (s.restartShift != 0)
            renumberRestarts(s, static_cast<std::size_t>(got));
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
    ~SessionCleanup()
    {
        jpeg_destroy_decompress(&s->cinfo);
        std::free(s->record);
    }
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
    case Failure::Cancelled:
    case Failure::Damaged:
        break;
    }
    return QStringLiteral("the JPEG data is damaged (%1)").arg(detail);
}

// Where decoded rows go: the upright picture, into which the rows of the
// stored one (width x height at the output scale) are turned as they come.
struct Placement
{
    uchar *bits;
    qsizetype stride;
    JDIMENSION width;
    JDIMENSION height;
    int orientation;
    bool cmyk;
    bool inverted;

    bool turned() const { return orientationSwapsAxes(orientation); }
    // Rows go straight into the picture: upside down for 3 and 4, mirrored
    // in place for 2 and 3.
    bool flip() const { return orientation == 3 || orientation == 4; }
    bool mirror() const { return orientation == 2 || orientation == 3; }
};

// Reads the session's rows up to row `end` of the stored picture, whose row
// `offset` is the session's first: those before `keepFrom` are decoded and
// dropped, the others placed. `strip` holds kStripRows rows when the picture
// is turned, one otherwise. Inside guarded() only.
void readRows(JpegSession &s, const Placement &p, JDIMENSION offset, JDIMENSION end, JDIMENSION keepFrom,
              QRgb *strip)
{
    jpeg_decompress_struct &cinfo = s.cinfo;
    while (offset + cinfo.output_scanline < end) {
        const JDIMENSION y = offset + cinfo.output_scanline;
        if (y < keepFrom) {
            auto *row = reinterpret_cast<JSAMPROW>(strip);
            if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
                stall(s);
        } else if (!p.turned()) {
            uchar *row = p.bits + qsizetype(p.flip() ? p.height - 1 - y : y) * p.stride;
            if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
                stall(s);
            finishRow(row, p.width, p.cmyk, p.inverted, p.mirror());
        } else {
            const int rows = int(std::min<JDIMENSION>(kStripRows, end - y));
            JSAMPROW pointers[kStripRows];
            for (int i = 0; i < rows; ++i)
                pointers[i] = reinterpret_cast<JSAMPROW>(strip + qsizetype(i) * p.width);
            for (int done = 0; done < rows;) {
                const JDIMENSION got = jpeg_read_scanlines(&cinfo, pointers + done, JDIMENSION(rows - done));
                if (got == 0)
                    stall(s);
                done += int(got);
            }
            for (int i = 0; i < rows; ++i)
                finishRow(pointers[i], p.width, p.cmyk, p.inverted, false);
            placeStripTurned(strip, rows, p.width, p.height, y, p.orientation, p.bits, p.stride);
        }
    }
}

// Reads the session's next row into `row`, its colours converted, without
// placing it. Inside guarded() only.
void readRowAside(JpegSession &s, const Placement &p, QRgb *row)
{
    auto *samples = reinterpret_cast<JSAMPROW>(row);
    if (jpeg_read_scanlines(&s.cinfo, &samples, 1) != 1)
        stall(s);
    finishRow(samples, p.width, p.cmyk, p.inverted, false);
}

// Places a row read aside as row y of the stored picture.
void placeRow(const Placement &p, JDIMENSION y, const QRgb *row)
{
    if (p.turned()) {
        placeStripTurned(row, 1, p.width, p.height, y, p.orientation, p.bits, p.stride);
        return;
    }
    auto *dst = reinterpret_cast<QRgb *>(p.bits + qsizetype(p.flip() ? p.height - 1 - y : y) * p.stride);
    std::copy(row, row + p.width, dst);
    if (p.mirror())
        std::reverse(dst, dst + p.width);
}

// --- Two stripes on two threads
//
// With restart markers, the scan data falls into intervals that each start
// afresh: the entropy decoder's state (DC predictions, bit buffer) is reset
// at every marker, so a decoder started right after one decodes what
// follows exactly as a decoder that came through the data before it. A
// boundary usable for a second stripe is a marker after which an iMCU row
// starts (a row of MCUs); the second decoder is given the header segments
// with the picture's height less the rows above that boundary, so libjpeg
// lays out the rest of the picture as it would have, and then the data
// from the boundary on, its markers numbered from where the boundary left
// them (libjpeg expects RST0 first: the number is shifted as the data is
// read, which keeps a wrong number wrong).
//
// The first decoder is the one-thread decode itself. It decodes the rows
// above the boundary and at least one row past it, so that libjpeg itself
// checks the data up to the boundary's marker and the marker (its number,
// the bytes left over before it); the second checks everything after.
// Where a component's rows are interpolated between neighbouring rows
// (vertically subsampled chroma that the DCT scaling does not bring to full
// size: 4:2:0 at full scale, 4:4:0 at every scale), the rows at the top of
// the second decoder's picture see no rows above them: then it starts one
// iMCU row above the stripe boundary and drops that row.

// A restart boundary usable for a second stripe.
struct Cut
{
    qint64 offset;       // of the first byte after the restart marker, in the device
    JDIMENSION imcuRow;  // the iMCU row that starts there
    JDIMENSION restarts; // restart markers before it, this one included
};

struct StripePlan
{
    qint64 dataOffset;       // where the second decoder's scan data starts, in the device
    JDIMENSION restartShift; // subtracted (modulo 8) from the number of each of its restart markers
    JDIMENSION cutRow;       // the first row it decodes (of the stored picture, at the output scale)
    JDIMENSION keepFrom;     // the first row it places; the first decoder places those before
    JDIMENSION sourceHeight; // its picture's height in the file's pixels
    std::size_t heightAt;    // of the frame header's height field in the header segments
};

// The position, in the header segments of a JPEG (from its start marker to
// the end of its first scan header, `size` bytes in all), of the height
// field of its sequential Huffman frame header; nothing when the segments
// are not walked the way libjpeg read them. Junk between segments is
// skipped as libjpeg skips it.
std::optional<std::size_t> frameHeightAt(const JOCTET *header, std::size_t size)
{
    if (size < 2 || header[0] != 0xff || header[1] != kMarkerSoi)
        return std::nullopt;
    std::optional<std::size_t> heightAt;
    std::size_t at = 2;
    for (;;) {
        while (at < size && header[at] != 0xff)
            ++at;
        while (at < size && header[at] == 0xff)
            ++at;
        if (at >= size)
            return std::nullopt;
        const JOCTET code = header[at++];
        if (code == 0 || code == kMarkerTem || isRestartMarker(code))
            continue; // a stuffed zero (junk) or a marker without a length
        if (code == kMarkerSoi || code == JPEG_EOI || at + 2 > size)
            return std::nullopt;
        const std::size_t length = std::size_t(header[at]) << 8 | header[at + 1];
        if (code == kMarkerSof0 || code == kMarkerSof1) {
            if (heightAt || at + 5 > size)
                return std::nullopt;
            heightAt = at + 3;
        }
        if (code == kMarkerSos)
            return at + length == size ? heightAt : std::nullopt;
        at += std::max<std::size_t>(length, 2);
    }
}

// True when a component's samples are interpolated between rows at the
// output scale, so that a row depends on the rows above and below it.
bool needsNeighbourRows(const jpeg_decompress_struct &cinfo)
{
    for (int c = 0; c < cinfo.num_components; ++c) {
        const jpeg_component_info &comp = cinfo.comp_info[c];
        if (comp.v_samp_factor * comp.DCT_scaled_size != cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size)
            return true;
    }
    return false;
}

// How much of a picture's decoding lies before a boundary, from 0 to 1. The
// time goes mostly with the scan data's bytes (entropy decoding: a sky is
// a few bytes a row) and partly with the rows (every block is transformed
// and its colours converted, whatever it holds); measured (BM_DecodeJpeg)
// on photos with a smooth top, three parts bytes to one part rows keeps
// the two threads finishing together.
struct Balance
{
    qint64 dataStart;
    qint64 end; // of the scan data
    JDIMENSION imcuRows;

    double before(const Cut &cut) const
    {
        return 0.75 * double(cut.offset - dataStart) / double(std::max<qint64>(end - dataStart, 1))
               + 0.25 * double(cut.imcuRow) / double(imcuRows);
    }
};

// Reads the scan data of a sequential scan from `device`, positioned at its
// first byte (`from` in the device), and gives the usable boundaries. With
// `knownEnd` (where the file's end marker is), it stops at the first
// boundary past the balance point; otherwise it reads up to the first
// marker that is not a restart marker and gives where that is. Nothing
// when the data does not end within maxBytes or cannot be read.
struct RestartMap
{
    std::vector<Cut> cuts;
    qint64 end = 0;
};

std::optional<RestartMap> mapRestarts(QIODevice &device, qint64 from, qint64 maxBytes, std::optional<qint64> knownEnd,
                                      const jpeg_decompress_struct &cinfo)
{
    // An MCU is a block in a scan of one component: the iMCU row is then
    // the component's v_samp_factor rows of blocks.
    const qint64 mcusPerRow = qint64(cinfo.MCUs_per_row)
                              * (cinfo.comps_in_scan == 1 ? cinfo.cur_comp_info[0]->v_samp_factor : 1);
    const qint64 interval = cinfo.restart_interval;
    RestartMap map;
    map.cuts.reserve(cinfo.total_iMCU_rows);
    map.end = knownEnd.value_or(0);
    const Balance balance{from, map.end, cinfo.total_iMCU_rows};
    const std::unique_ptr<char[]> chunk(new (std::nothrow) char[std::size_t(kSearchChunk)]);
    if (!chunk)
        return std::nullopt;
    qint64 offset = from;
    qint64 restarts = 0;
    bool afterFf = false;
    while (offset - from < maxBytes) {
        const qint64 got = device.read(chunk.get(), std::min(kSearchChunk, maxBytes - (offset - from)));
        if (got <= 0)
            return std::nullopt;
        const auto *bytes = reinterpret_cast<const uchar *>(chunk.get());
        for (qint64 i = 0; i < got;) {
            if (!afterFf) {
                const void *ff = std::memchr(bytes + i, 0xff, std::size_t(got - i));
                if (ff == nullptr)
                    break;
                i = static_cast<const uchar *>(ff) - bytes + 1;
                afterFf = true;
                continue;
            }
            const uchar code = bytes[i++];
            if (code == 0xff)
                continue; // fill byte
            afterFf = false;
            if (code == 0)
                continue; // a stuffed 0xff data byte
            if (!isRestartMarker(code)) {
                if (!knownEnd)
                    map.end = offset + i - 2;
                return map;
            }
            ++restarts;
            const qint64 mcu = restarts * interval;
            if (mcu % mcusPerRow != 0 || mcu / mcusPerRow >= qint64(cinfo.total_iMCU_rows))
                continue;
            map.cuts.push_back({offset + i, JDIMENSION(mcu / mcusPerRow), JDIMENSION(restarts)});
            if (knownEnd && balance.before(map.cuts.back()) >= 0.5)
                return map;
        }
        offset += got;
    }
    return std::nullopt;
}

// Chooses where the second stripe starts: the usable boundary nearest the
// balance point, and nowhere when none lies in the middle half. When the
// file ends in an end marker, the scan data is taken to end there, and is
// read only up to that point. `second` is a device over the same bytes as
// the one the session reads, positioned at `start`, the file's start; it is
// left at the second decoder's scan data.
std::optional<StripePlan> planStripes(const JpegSession &s, qint64 start, qint64 maxBytes, QIODevice &second)
{
    const jpeg_decompress_struct &cinfo = s.cinfo;
    if (s.recordOverflow || s.recordBytes < s.source.bytes_in_buffer)
        return std::nullopt;
    const std::size_t headerBytes = s.recordBytes - s.source.bytes_in_buffer;
    const std::optional<std::size_t> heightAt = frameHeightAt(s.record, headerBytes);
    if (!heightAt || (JDIMENSION(s.record[*heightAt]) << 8 | s.record[*heightAt + 1]) != cinfo.image_height)
        return std::nullopt;

    // The second device must hold the very header the session read.
    const qint64 size = s.device->size();
    std::vector<char> header(headerBytes);
    if (second.size() != size || second.read(header.data(), qint64(headerBytes)) != qint64(headerBytes)
        || std::memcmp(header.data(), s.record, headerBytes) != 0)
        return std::nullopt;

    const qint64 dataStart = start + qint64(headerBytes);
    std::optional<qint64> knownEnd;
    char last[2] = {};
    if (size - 2 > dataStart && size - start <= maxBytes && second.seek(size - 2) && second.read(last, 2) == 2
        && uchar(last[0]) == 0xff && uchar(last[1]) == JPEG_EOI)
        knownEnd = size - 2;
    if (!second.seek(dataStart))
        return std::nullopt;
    const std::optional<RestartMap> map =
        mapRestarts(second, dataStart, maxBytes - qint64(headerBytes), knownEnd, cinfo);
    if (!map)
        return std::nullopt;
    const bool overlap = needsNeighbourRows(cinfo);
    const Balance balance{dataStart, map->end, cinfo.total_iMCU_rows};
    const Cut *best = nullptr;
    for (const Cut &cut : map->cuts) {
        if (overlap && cut.imcuRow + 1 >= cinfo.total_iMCU_rows)
            continue;
        if (best == nullptr || std::abs(balance.before(cut) - 0.5) < std::abs(balance.before(*best) - 0.5))
            best = &cut;
    }
    if (best == nullptr || std::abs(balance.before(*best) - 0.5) > 0.25 || !second.seek(best->offset))
        return std::nullopt;

    const auto rowsPerImcu = JDIMENSION(cinfo.max_v_samp_factor * cinfo.min_DCT_scaled_size);
    StripePlan plan;
    plan.dataOffset = best->offset;
    plan.restartShift = best->restarts % 8;
    plan.cutRow = best->imcuRow * rowsPerImcu;
    plan.keepFrom = plan.cutRow + (overlap ? rowsPerImcu : 0);
    plan.sourceHeight = cinfo.image_height - best->imcuRow * JDIMENSION(cinfo.max_v_samp_factor * DCTSIZE);
    plan.heightAt = *heightAt;
    return plan;
}

// The decoder of the second stripe, run on its own thread. Everything it
// uses is made before the thread starts and outlives it.
struct SecondStripe
{
    std::unique_ptr<JpegSession> session;
    std::unique_ptr<QIODevice> device;
    std::vector<JOCTET> header; // the file's header segments, the height made the second stripe's
    std::vector<QRgb> strip;
    std::atomic<bool> cancel{false};
    bool decoded = false;
    std::thread thread;

    ~SecondStripe() { stop(); }

    void stop()
    {
        if (thread.joinable()) {
            cancel = true;
            thread.join();
        }
    }
};

// What the second decoder must find as the first one did, copied before
// the second thread starts (the first decoder's own fields change as it
// decodes).
struct FirstLayout
{
    JDIMENSION imageWidth;
    int numComponents;
    J_COLOR_SPACE jpegColorSpace;
    J_COLOR_SPACE outColorSpace;
    unsigned int restartInterval;
    unsigned int scaleNum;
    unsigned int scaleDenom;
    int outputComponents;
    JDIMENSION mcusPerRow;
    int minDctScaledSize;
};

FirstLayout layoutOf(const jpeg_decompress_struct &cinfo)
{
    return {cinfo.image_width,      cinfo.num_components, cinfo.jpeg_color_space, cinfo.out_color_space,
            cinfo.restart_interval, cinfo.scale_num,      cinfo.scale_denom,      cinfo.output_components,
            cinfo.MCUs_per_row,     cinfo.min_DCT_scaled_size};
}

// Decodes the second stripe into the picture, as planned from the first
// decoder's header; false when it meets anything it cannot decode or finds
// the picture laid out otherwise than the first decoder has it.
bool decodeSecondStripe(JpegSession &s, const FirstLayout &first, const StripePlan &plan, const Placement &p,
                        QRgb *strip, long maxMemory)
{
    const SessionCleanup cleanup{&s};
    return guarded(s, [&] {
        setUp(s, maxMemory);
        jpeg_decompress_struct &cinfo = s.cinfo;
        jpeg_read_header(&cinfo, TRUE);
        if (cinfo.image_width != first.imageWidth || cinfo.image_height != plan.sourceHeight
            || cinfo.num_components != first.numComponents || cinfo.jpeg_color_space != first.jpegColorSpace
            || cinfo.restart_interval != first.restartInterval || cinfo.progressive_mode
            || jpeg_has_multiple_scans(&cinfo))
            leave(s, Failure::Damaged);
        cinfo.out_color_space = first.outColorSpace;
        cinfo.scale_num = first.scaleNum;
        cinfo.scale_denom = first.scaleDenom;
        jpeg_start_decompress(&cinfo);
        if (cinfo.output_width != p.width || cinfo.output_height != p.height - plan.cutRow
            || cinfo.output_components != first.outputComponents || cinfo.MCUs_per_row != first.mcusPerRow
            || cinfo.min_DCT_scaled_size != first.minDctScaledSize)
            leave(s, Failure::Damaged);
        // Stray bytes before a restart marker are judged by how many there
        // are, which the second decoder may count otherwise than the
        // one-thread decode where damaged data makes libjpeg resynchronise:
        // then the rest is left to the first decoder.
        readRows(s, p, plan.cutRow, p.height, plan.keepFrom, strip);
        jpeg_finish_decompress(&cinfo);
        if (s.skippedToRestart)
            leave(s, Failure::Damaged);
    });
}

// Starts the second stripe's decoder on its own thread; false when it could
// not be started (then nothing runs).
bool startSecondStripe(SecondStripe &second, const JpegSession &first, const StripePlan &plan, qint64 start,
                       qint64 maxBytes, const Placement &p, long maxMemory)
{
    try {
        second.session = std::make_unique<JpegSession>();
        JpegSession &s = *second.session;
        const std::size_t headerBytes = first.recordBytes - first.source.bytes_in_buffer;
        second.header.assign(first.record, first.record + headerBytes);
        second.header[plan.heightAt] = JOCTET(plan.sourceHeight >> 8);
        second.header[plan.heightAt + 1] = JOCTET(plan.sourceHeight & 0xff);
        second.strip.resize(first.cinfo.output_width * std::size_t(p.turned() ? kStripRows : 1));
        s.device = second.device.get();
        s.bytesLeft = maxBytes - (plan.dataOffset - start);
        s.pending = second.header.data();
        s.pendingBytes = second.header.size();
        s.restartShift = plan.restartShift;
        s.maxBlocks = first.maxBlocks;
        s.blocksLeft = first.maxBlocks;
        s.cancel = &second.cancel;
        second.thread = std::thread([&second, layout = layoutOf(first.cinfo), plan, p, maxMemory] {
            second.decoded = decodeSecondStripe(*second.session, layout, plan, p, second.strip.data(), maxMemory);
        });
        return true;
    } catch (const std::exception &) {
        return false; // out of memory, or no thread to be had
    }
}

} // namespace

DecodedImage decodeJpeg(QIODevice &device, qint64 maxBytes, const DecodeOptions &options,
                        const DeviceOpener &reopen, JpegDecodeReport *report)
{
    const auto session = std::make_unique<JpegSession>();
    JpegSession &s = *session;
    const qint64 start = device.pos();
    s.device = &device;
    s.bytesLeft = maxBytes;
    s.maxBlocks = options.maxJpegScanBlocks;
    s.blocksLeft = options.maxJpegScanBlocks;
    s.recording = true;
    const SessionCleanup cleanup{&s};
    const auto refuse = [&](QString reason) -> DecodedImage { return refused(std::move(reason)); };

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
    s.recording = false;
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
    if (Status s = sizeRefusal(turned ? height : width, turned ? width : height, options); !s)
        return s;
    // A file of several scans is held whole (as DCT coefficients) while it
    // is read, so its full size counts, whatever the output scale.
    if (multiScan && qint64(cinfo.image_width) * cinfo.image_height > options.maxPixels)
        return refuse(tooLargeReason(turned ? cinfo.image_height : cinfo.image_width,
                                     turned ? cinfo.image_width : cinfo.image_height,
                                     options.maxPixels));
    // Its coefficients take 128 bytes a block of every component: 384 MiB
    // for the largest colour picture, more with a fourth component (CMYK)
    // or a chroma channel kept at full size, where the bound stops it.
    if (multiScan) {
        qint64 coefficientBytes = 0;
        for (int c = 0; c < cinfo.num_components; ++c)
            coefficientBytes += qint64(cinfo.comp_info[c].width_in_blocks) * cinfo.comp_info[c].height_in_blocks
                                * qint64(sizeof(JBLOCK));
        if (coefficientBytes > kMaxCoefficientBytes)
            return refuse(QStringLiteral("the picture is too large for a progressive JPEG (%1 x %2 pixels in %3 "
                                         "components need %4 MiB while they are read; at most %5 MiB are taken)")
                              .arg(cinfo.image_width)
                              .arg(cinfo.image_height)
                              .arg(cinfo.num_components)
                              .arg(coefficientBytes >> 20)
                              .arg(kMaxCoefficientBytes >> 20));
    }

    QImage image(int(turned ? height : width), int(turned ? width : height), QImage::Format_RGB32);
    if (image.isNull())
        return refuse(outOfMemoryReason(turned ? height : width, turned ? width : height));
    const Placement p{image.bits(), image.bytesPerLine(), width, height, orientation, cmyk, inverted};
    std::vector<QRgb> strip(std::size_t(width) * (turned ? kStripRows : 1));
    std::vector<QRgb> aside(width);

    if (!guarded(s, [&] { jpeg_start_decompress(&cinfo); }))
        return refuse(reasonFor(s, device));
    // All scans are read by now; an end marker that had to be made up means
    // some were missing, and no warning would have said so.
    if (multiScan && s.hitEnd)
        return refuse(truncatedReason());

    // Two stripes for one sequential Huffman scan with restart markers, when
    // there are two cores for them and the picture is large enough to gain
    // more than a second decoder costs.
    SecondStripe second;
    std::optional<StripePlan> plan;
    if (!multiScan && !cinfo.arith_code && cinfo.restart_interval > 0 && reopen
        && qint64(cinfo.image_width) * cinfo.image_height >= options.jpegStripesFromPixels
        && std::thread::hardware_concurrency() >= 2) {
        try {
            second.device = reopen();
            if (second.device && second.device->seek(start))
                plan = planStripes(s, start, maxBytes, *second.device);
        } catch (const std::exception &) {
            plan.reset(); // out of memory: one thread
        }
        if (plan && !startSecondStripe(second, s, *plan, start, maxBytes, p, long(maxMemory)))
            plan.reset();
    }

    if (plan) {
        if (report) {
            report->twoThreads = true;
            report->secondDecoderFrom = int(plan->cutRow);
            report->secondStripeFrom = int(plan->keepFrom);
        }
        // The rows above the stripe boundary, and the first row past the
        // second decoder's first restart marker when it places that row too.
        const bool readPast = plan->keepFrom == plan->cutRow;
        const bool firstDecoded = guarded(s, [&] {
            readRows(s, p, 0, plan->keepFrom, 0, strip.data());
            if (readPast)
                readRowAside(s, p, aside.data());
        });
        if (!firstDecoded)
            return refuse(reasonFor(s, device)); // the second decoder is stopped on the way out
        second.thread.join();
        if (report)
            report->secondStripeKept = second.decoded;
        if (second.decoded)
            return image;
        // The first decoder goes on alone, from the row it read aside.
        if (readPast)
            placeRow(p, plan->keepFrom, aside.data());
    }
    if (!guarded(s, [&] {
            readRows(s, p, 0, height, 0, strip.data());
            jpeg_finish_decompress(&cinfo);
        }))
        return refuse(reasonFor(s, device));
    return image;
}

} // namespace velloran::imagefile_detail
