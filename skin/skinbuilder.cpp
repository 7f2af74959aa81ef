#include "skin/skinbuilder.h"

#include "imaging/colour.h"
#include "imaging/filesystem.h"
#include "imaging/imagefile.h"
#include "imaging/merge.h"
#include "imaging/resample.h"
#include "resources/resources.h"
#include "skin/framing.h"
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

// Overlays carry their own mask, which stays right at every tint.
void arm(ImageSurface &surface, ColorRef key)
{
    surface.SetMergeRule(MergeRule::Mask);
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

SkinTemplates SkinTemplates::compiledIn()
{
    // The overlays are stored masked and uncompressed, in the program's
    // own read-only data, which lives as long as the program: drawn straight
    // from there, not copied.
    const auto overlay = [](const QString &path) {
        const QResource resource(path);
        return viewStoredPicture(QByteArrayView(resource.data(), resource.size()));
    };
    SkinTemplates templates;
    templates.overlays[indexOf(HostWindow::Main)] = overlay(resources::kMainOverlay);
    templates.overlays[indexOf(HostWindow::Scene)] = overlay(resources::kSceneOverlay);
    templates.overlays[indexOf(HostWindow::Console)] = overlay(resources::kConsoleOverlay);
    templates.overlays[indexOf(HostWindow::Chat)] = overlay(resources::kChatOverlay);
    // The swatch is a BMP, read by the program's own decoder: that spares
    // every start a scan of Qt's image format plugins. It is built in, so
    // it cannot be refused short of a broken build; the swatch would then
    // be empty (a failure's value is a null picture).
    templates.swatch = decodeImageFile(resources::kSwatch).value();
    return templates;
}

SkinBuilder::SkinBuilder(SkinTemplates templates)
    : m_swatch(std::move(templates.swatch))
    , m_fileSystem(&FileSystem::real())
{
    for (std::size_t i = 0; i < m_windows.size(); ++i)
        m_windows[i].overlay = std::move(templates.overlays[i]);
    m_preview.SetPicture(m_swatch);

    // Photos far larger than the largest window image are decoded at a
    // reduced scale that still keeps all the detail the fitting can use.
    m_decodeOptions.keepAtLeast = kMainImageSize;
}

namespace {

// The four fitted pictures, made from the decoder's rows as they come: the
// picture is read once for all four sizes and need never be whole. A fifth
// picture is the one kept for framing: the picture scaled down as far as it
// still covers `cover`.
class FittingRows final : public RowSink
{
public:
    FittingRows(std::vector<QSize> sizes, QSize cover)
        : m_sizes(std::move(sizes))
        , m_cover(cover)
    {
    }

    bool start(QSize size) override
    {
        std::vector<QSize> sizes = m_sizes;
        sizes.push_back(keptPictureSize(size, m_cover));
        m_resampler = std::make_unique<MultiResampler>(size, std::move(sizes));
        return true;
    }
    void rows(const QRgb *rows, qsizetype stride, int count) override
    {
        m_resampler->addRows(rows, stride, count);
    }
    std::vector<QImage> finish() { return m_resampler ? m_resampler->finish() : std::vector<QImage>(); }

private:
    std::vector<QSize> m_sizes;
    QSize m_cover;
    std::unique_ptr<MultiResampler> m_resampler;
};

// The smallest size every window image fits in.
QSize coverOfAllWindows()
{
    QSize cover;
    for (const HostWindowInfo &w : kHostWindows)
        cover = cover.expandedTo(w.size);
    return cover;
}

} // namespace

Status SkinBuilder::LoadImage(const QString &path, const HslAdjustment &tint)
{
    // Every window image is resampled from the whole picture, all four in
    // one reading of its rows.
    std::vector<QSize> sizes;
    for (const HostWindowInfo &w : kHostWindows)
        sizes.push_back(w.size);
    FittingRows fitting(std::move(sizes), coverOfAllWindows());
    if (Status s = decodeImageFileRows(path, m_decodeOptions, fitting); !s)
        return s.reworded(QStringLiteral("Cannot load %1: %2").arg(QDir::toNativeSeparators(path), s.message()));
    std::vector<QImage> fitted = fitting.finish();
    if (fitted.size() != m_windows.size() + 1
        || std::any_of(fitted.begin(), fitted.end(), [](const QImage &i) { return i.isNull(); }))
        return Status::failure(ErrorKind::BadPicture,
                               QStringLiteral("Cannot load %1: there is not enough memory to fit the picture")
                                   .arg(QDir::toNativeSeparators(path)));

    // Each window keeps its way of fitting; a filled one starts centred.
    std::array<QImage, 4> framed;
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        if (m_windows[i].frame.mode == FitMode::Fill) {
            framed[i] = framePicture(fitted.back(), kHostWindows[i].size, {FitMode::Fill, Focus{}});
            if (framed[i].isNull())
                return Status::failure(ErrorKind::BadPicture,
                                       QStringLiteral("Cannot load %1: there is not enough memory to fit the picture")
                                           .arg(QDir::toNativeSeparators(path)));
        }
    }
    m_kept = std::move(fitted.back());
    for (std::size_t i = 0; i < m_windows.size(); ++i) {
        WindowImage &w = m_windows[i];
        w.stretched = std::move(fitted[i]);
        w.frame.focus = Focus{};
        w.surface.SetPicture(w.frame.mode == FitMode::Fill ? framed[i] : w.stretched);
        w.fitted = w.surface.Picture();
    }

    RecomposeWindowImages(tint);
    return Status::success();
}

bool SkinBuilder::setFrame(HostWindow window, const WindowFrame &frame, const HslAdjustment &tint)
{
    WindowImage &w = m_windows[indexOf(window)];
    if (!hasPicture()) {
        w.frame = frame;
        return true;
    }
    const QImage fitted = frame.mode == FitMode::Fill ? framePicture(m_kept, hostWindow(window).size, frame)
                                                      : w.stretched;
    if (fitted.isNull())
        return false; // out of memory: the window stays as it was
    w.frame = frame;
    w.fitted = fitted;
    RecomposeWindowImages(tint);
    return true;
}

bool SkinBuilder::pan(HostWindow window, QPointF moved, const HslAdjustment &tint)
{
    const WindowImage &w = m_windows[indexOf(window)];
    if (w.frame.mode != FitMode::Fill || !hasPicture())
        return false;
    const Focus focus = panned(m_kept.size(), hostWindow(window).size, w.frame.focus, moved);
    if (focus == w.frame.focus)
        return false;
    return setFrame(window, {FitMode::Fill, focus}, tint);
}

void SkinBuilder::Preview(const HslAdjustment &t)
{
    m_preview.SetPicture(m_swatch);
    tint(m_preview, t);
}

void SkinBuilder::RecomposeWindowImages(const HslAdjustment &t)
{
    std::array<WindowImage *, 4> windows;
    for (std::size_t i = 0; i < windows.size(); ++i)
        windows[i] = &m_windows[indexOf(kComposeOrder[i])];

    for (WindowImage *w : windows)
        disarm(w->surface);
    for (WindowImage *w : windows) {
        // An overlay taller than its image loses only rows with nothing
        // drawn on them, so every button and label arrives whole.
        w->surface.SetPicture(fittedOverlay(w->overlay, w->fitted.size()));
        tint(w->surface, t);
    }
    for (WindowImage *w : windows)
        w->tinted = w->surface.Picture();
    for (WindowImage *w : windows)
        w->surface.SetPicture(w->fitted);

    // The colour the key turned into under this tint, for a merge by key
    // colour; the overlays are merged by their masks.
    GetColor.SetPicture(tinted(HostWindow::Main));
    const ColorRef key = GetColor.PixelColor(1, 1);

    for (WindowImage *w : windows)
        arm(w->surface, key);
    for (WindowImage *w : windows)
        w->surface.SetPicture(w->tinted);
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
    WindowImages images;
    for (std::size_t i = 0; i < m_windows.size(); ++i)
        images[i] = m_windows[i].surface.image();
    return exportSkin(name, hostDataFolder, templatePath, images, *m_fileSystem, report, *m_codePage);
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

} // namespace velloran
