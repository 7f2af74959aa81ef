#include "skin/skinbuilder.h"

#include "imaging/colour.h"
#include "imaging/filesystem.h"
#include "imaging/imagefile.h"
#include "imaging/merge.h"
#include "imaging/resample.h"
#include "resources/resources.h"
#include "skin/skinexport.h"

#include <QDir>
#include <QResource>

#include <algorithm>
#include <memory>

namespace velloran {

namespace {

constexpr qint32 kKeyedMerge = 2;
constexpr qint32 kScaledPlacement = 0;
constexpr qint16 kFullPercent = 100;

void disarm(ImageSurface &surface)
{
    surface.MergeSettings(false, kKeyedMerge, kScaledPlacement, true, kKeyColour, kFullPercent,
                          kFullPercent);
}

void arm(ImageSurface &surface, ColorRef key)
{
    surface.MergeSettings(true, kKeyedMerge, kScaledPlacement, true, key, kFullPercent,
                          kFullPercent);
}

void tint(ImageSurface &surface, const HslAdjustment &t)
{
    surface.AdjustHsl(qint16(t.hue), qint16(t.saturation), qint16(t.lightness));
}

} // namespace

QImage withKeyMask(QImage overlay)
{
    // Masked in place: a picture handed over whole (a template just
    // decoded) costs no copy.
    if (overlay.format() == QImage::Format_RGB32)
        overlay.reinterpretAsFormat(QImage::Format_ARGB32);
    else if (overlay.format() != QImage::Format_ARGB32)
        overlay = overlay.convertToFormat(QImage::Format_ARGB32);
    if (overlay.format() != QImage::Format_ARGB32)
        return {}; // null, or out of memory
    const QRgb key = fromColorRef(kKeyColour) & 0x00FFFFFFu;
    const int width = overlay.width();
    for (int y = 0; y < overlay.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(overlay.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = (row[x] & 0x00FFFFFFu) == key ? key : row[x] | 0xFF000000u;
    }
    return overlay;
}

SkinBuilder::SkinBuilder()
    : m_fileSystem(&FileSystem::real())
{
    // The stored pictures are BMPs, read by the program's own decoder: that
    // spares every start a scan of Qt's image format plugins.
    const auto stored = [](const QString &path) { return decodeImageFile(path).image; };
    // The overlays are stored masked and uncompressed: only copied here.
    const auto overlay = [](const QString &path) {
        const QResource resource(path);
        return decodeStoredPicture(QByteArrayView(resource.data(), resource.size()));
    };
    MainMerge = overlay(resources::kMainOverlay);
    SceneMerge = overlay(resources::kSceneOverlay);
    OutChatMerge = overlay(resources::kChatOverlay);
    InChatMerge = overlay(resources::kConsoleOverlay);
    Picture1 = stored(resources::kSwatch);
    Xpress2.SetPicture(Picture1);

    // Photos far larger than the largest window image are decoded at a
    // reduced scale that still keeps all the detail the fitting can use.
    m_decodeOptions.keepAtLeast = kMainImageSize;
    Xpress1.setDecodeOptions(m_decodeOptions);
}

namespace {

// The four fitted pictures, made from the decoder's rows as they come: the
// picture is read once for all four sizes and need never be whole.
class FittingRows final : public RowSink
{
public:
    explicit FittingRows(std::vector<QSize> sizes)
        : m_sizes(std::move(sizes))
    {
    }

    bool start(QSize size) override
    {
        m_resampler = std::make_unique<MultiResampler>(size, m_sizes);
        return true;
    }
    void rows(const QRgb *rows, qsizetype stride, int count) override
    {
        m_resampler->addRows(rows, stride, count);
    }
    std::vector<QImage> finish() { return m_resampler ? m_resampler->finish() : std::vector<QImage>(); }

private:
    std::vector<QSize> m_sizes;
    std::unique_ptr<MultiResampler> m_resampler;
};

} // namespace

Status SkinBuilder::LoadImage(const QString &path, const HslAdjustment &tint)
{
    // Every window image is resampled from the whole picture, all four in
    // one reading of its rows.
    FittingRows fitting({kMainImageSize, kSceneImageSize, kConsoleImageSize, kChatImageSize});
    if (QString refusal = decodeImageFileRows(path, m_decodeOptions, fitting); !refusal.isEmpty())
        return Status::failure(QStringLiteral("Cannot load %1: %2").arg(QDir::toNativeSeparators(path), refusal));
    const std::vector<QImage> fitted = fitting.finish();
    if (fitted.size() != 4 || std::any_of(fitted.begin(), fitted.end(), [](const QImage &i) { return i.isNull(); }))
        return Status::failure(QStringLiteral("Cannot load %1: there is not enough memory to fit the picture")
                                   .arg(QDir::toNativeSeparators(path)));

    Xpress1.SetPicture(fitted[0]);
    Xpress3.SetPicture(fitted[1]);
    Xpress4.SetPicture(fitted[2]);
    Xpress5.SetPicture(fitted[3]);
    MainPic = Xpress1.Picture();
    ScenePic = Xpress3.Picture();
    InChatPic = Xpress4.Picture();
    OutChatPic = Xpress5.Picture();

    RecomposeWindowImages(tint);
    return Status::success();
}

void SkinBuilder::Preview(const HslAdjustment &t)
{
    Xpress2.SetPicture(Picture1);
    tint(Xpress2, t);
}

void SkinBuilder::RecomposeWindowImages(const HslAdjustment &t)
{
    struct Window
    {
        ImageSurface &surface;
        const QImage &overlay;
        const QImage &fitted;
        QImage &tinted;
    };
    Window windows[] = {
        {Xpress1, MainMerge, MainPic, MainBuff},
        {Xpress3, SceneMerge, ScenePic, SceneBuff},
        {Xpress4, InChatMerge, InChatPic, InChatBuff},
        {Xpress5, OutChatMerge, OutChatPic, OutChatBuff},
    };

    for (Window &w : windows)
        disarm(w.surface);
    for (Window &w : windows) {
        // An overlay taller than its image loses only rows with nothing
        // drawn on them, so every button and label arrives whole.
        w.surface.SetPicture(fittedOverlay(w.overlay, w.fitted.size()));
        tint(w.surface, t);
    }
    for (Window &w : windows)
        w.tinted = w.surface.Picture();
    for (Window &w : windows)
        w.surface.SetPicture(w.fitted);

    // The colour the key turned into under this tint; overlays that carry
    // their own mask are merged by the mask, others by this colour.
    GetColor.SetPicture(MainBuff);
    const ColorRef key = GetColor.PixelColor(1, 1);

    for (Window &w : windows)
        arm(w.surface, key);
    for (Window &w : windows)
        w.surface.SetPicture(w.tinted);
}

Status SkinBuilder::SaveSkin(const QString &name, const QString &hostDataFolder,
                             const QString &templatePath, QStringList *written)
{
    ExportReport report;
    const Status s = SaveSkin(name, hostDataFolder, templatePath, &report);
    if (written && s)
        *written = report.written;
    return s;
}

Status SkinBuilder::SaveSkin(const QString &name, const QString &hostDataFolder, const QString &templatePath,
                             ExportReport *report)
{
    return exportSkin(name, hostDataFolder, templatePath, {&Xpress1, &Xpress3, &Xpress5, &Xpress4},
                      *m_fileSystem, report, *m_codePage);
}

QImage SkinBuilder::fittedOverlay(const QImage &overlay, QSize size)
{
    if (overlay.size() == size)
        return overlay;
    for (const FittedOverlay &f : m_fittedOverlays)
        if (f.key == overlay.cacheKey() && f.size == size)
            return f.image;
    if (m_fittedOverlays.size() >= 4)
        m_fittedOverlays.erase(m_fittedOverlays.begin());
    m_fittedOverlays.push_back({overlay.cacheKey(), size, fitOverlay(overlay, size)});
    return m_fittedOverlays.back().image;
}

void SkinBuilder::setFileSystem(FileSystem *fileSystem)
{
    m_fileSystem = fileSystem ? fileSystem : &FileSystem::real();
    for (ImageSurface *surface : {&Xpress1, &Xpress3, &Xpress4, &Xpress5})
        surface->setFileSystem(m_fileSystem);
}

} // namespace velloran
