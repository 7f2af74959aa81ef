// Any bytes as a picture file: decoded by content the way Load Image decodes
// the user's file, then fitted to the four window images. Every input must
// give either an upright RGB32 picture within the limits, or no picture and
// a reason; nothing may crash, leak or read out of bounds. A JPEG that may
// be decoded in two stripes on two threads (it has a restart interval) must
// give exactly what it gives on one.

#include "fuzzsupport.h"
#include "imaging/imagefile.h"
#include "imaging/imagesurface.h"
#include "skin/skinbuilder.h"

#include <QGuiApplication>
#include <QSet>

#include <cstddef>
#include <cstdint>
#include <limits>

using namespace velloran;

namespace {

// Smaller than the program's limits so that each run stays quick under the
// sanitizers (fitting a picture of the program's largest size takes a minute
// here); the limits are parameters of the same code, so nothing goes
// untested by it.
constexpr qint64 kFuzzMaxPixels = 1024 * 1024;
constexpr int kFuzzMaxSide = 2048;
// Every sequential JPEG with restart markers is decoded in two stripes where
// its scan data allows: the seeds are small.
constexpr qint64 kFuzzStripesFromPixels = 0;

// Restart intervals are set by a DRI segment: without one, one thread.
bool mayHaveRestartInterval(const QByteArray &content)
{
    return content.startsWith("\xff\xd8") && content.contains("\xff\xdd");
}

// Resampling follows the same path for every picture of one size (the
// weights and the rows it reads depend on the sizes alone), and fitting to
// the largest window image costs far more than decoding a small file; so each
// size is fitted once, and the fuzzer's time goes to the decoders.
QSet<QSize> fittedSizes;
constexpr qsizetype kMaxRememberedSizes = 1 << 16;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startApplication<QGuiApplication>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data),
                                                       static_cast<qsizetype>(size));
    // As the skin builder asks: JPEGs may be decoded at a reduced scale that
    // still covers the largest window image.
    DecodeOptions options;
    options.keepAtLeast = kMainImageSize;
    options.maxPixels = kFuzzMaxPixels;
    options.maxSide = kFuzzMaxSide;
    options.jpegStripesFromPixels = kFuzzStripesFromPixels;
    const DecodedImage decoded = decodeImageData(content, options);

    if (mayHaveRestartInterval(content)) {
        DecodeOptions oneThread = options;
        oneThread.jpegStripesFromPixels = std::numeric_limits<qint64>::max();
        const DecodedImage alone = decodeImageData(content, oneThread);
        fuzz::require(alone.error() == decoded.error(), "two threads gave another outcome than one",
                      decoded.error() + QStringLiteral(" / ") + alone.error());
        fuzz::require(alone.value() == decoded.value(), "two threads gave other pixels than one");
    }

    if (!decoded) {
        fuzz::require(!decoded.error().isEmpty(), "a refusal without a reason");
        return 0;
    }
    const QImage &image = decoded.value();
    fuzz::require(!image.isNull(), "an empty picture without a reason");
    fuzz::require(image.format() == QImage::Format_RGB32, "not RGB32");
    fuzz::require(qint64(image.width()) * image.height() <= kFuzzMaxPixels && image.width() <= kFuzzMaxSide
                      && image.height() <= kFuzzMaxSide,
                  "larger than the limits");

    if (fittedSizes.contains(image.size()))
        return 0;
    if (fittedSizes.size() < kMaxRememberedSizes)
        fittedSizes.insert(image.size());

    // Fitting, as Load Image does it: the three copies are taken before any
    // resampling, each surface resampled to its window's size.
    ImageSurface surfaces[4];
    const QSize sizes[4] = {kMainImageSize, kSceneImageSize, kConsoleImageSize, kChatImageSize};
    for (ImageSurface &surface : surfaces)
        surface.SetPicture(image);
    for (int i = 0; i < 4; ++i) {
        fuzz::require(surfaces[i].ResizeImage(2, sizes[i].width(), sizes[i].height()).ok(),
                      "resizing failed");
        fuzz::require(surfaces[i].image().size() == sizes[i], "fitted to the wrong size");
    }
    return 0;
}
