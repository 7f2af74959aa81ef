#pragma once

// The skin being built: the user's picture fitted to the four window images
// of the host, the host's menu overlays tinted and drawn over them, and the
// export of the result.

#include "imaging/filesystem.h"
#include "imaging/imagesurface.h"
#include "imaging/status.h"
#include "imaging/tint.h"
#include "skin/framing.h"
#include "skin/hostwindows.h"
#include "skin/skinexport.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

namespace velloran {

// An overlay picture with its key-coloured background marked transparent in
// the alpha channel, so merges keep telling background from buttons after
// any tint. Other pixels become opaque.
QImage withKeyMask(QImage overlay);

// The pictures a skin is made with: the host's four menu overlays (key
// masked, by window) and the colour preview swatch.
struct SkinTemplates
{
    std::array<QImage, 4> overlays;
    QImage swatch;

    // The ones compiled into the program.
    static SkinTemplates compiledIn();
};

class SkinBuilder
{
public:
    // The preview shows the untinted swatch; no window image is made yet.
    explicit SkinBuilder(SkinTemplates templates);

    // Imaging surfaces: the four window images, the colour preview swatch and
    // the probe from which the tinted key colour is read.
    ImageSurface &Xpress1() { return surface(HostWindow::Main); }    // main window image
    ImageSurface &Xpress3() { return surface(HostWindow::Scene); }   // scene window image
    ImageSurface &Xpress4() { return surface(HostWindow::Console); } // console border image
    ImageSurface &Xpress5() { return surface(HostWindow::Chat); }    // chat window image
    ImageSurface &Xpress2() { return m_preview; }                    // colour preview swatch
    const ImageSurface &Xpress1() const { return surface(HostWindow::Main); }
    const ImageSurface &Xpress3() const { return surface(HostWindow::Scene); }
    const ImageSurface &Xpress4() const { return surface(HostWindow::Console); }
    const ImageSurface &Xpress5() const { return surface(HostWindow::Chat); }
    const ImageSurface &Xpress2() const { return m_preview; }
    ImageSurface &surface(HostWindow window) { return m_windows[indexOf(window)].surface; }
    const ImageSurface &surface(HostWindow window) const { return m_windows[indexOf(window)].surface; }

    // Picture holders: the overlays (key-masked), the untinted swatch, the
    // fitted pictures and the tinted overlays.
    const QImage &MainMerge() const { return overlay(HostWindow::Main); }
    const QImage &SceneMerge() const { return overlay(HostWindow::Scene); }
    const QImage &InChatMerge() const { return overlay(HostWindow::Console); }
    const QImage &OutChatMerge() const { return overlay(HostWindow::Chat); }
    const QImage &Picture1() const { return m_swatch; }
    const QImage &MainPic() const { return fitted(HostWindow::Main); }
    const QImage &ScenePic() const { return fitted(HostWindow::Scene); }
    const QImage &InChatPic() const { return fitted(HostWindow::Console); }
    const QImage &OutChatPic() const { return fitted(HostWindow::Chat); }
    const QImage &overlay(HostWindow window) const { return m_windows[indexOf(window)].overlay; }
    const QImage &fitted(HostWindow window) const { return m_windows[indexOf(window)].fitted; }
    const QImage &tinted(HostWindow window) const { return m_windows[indexOf(window)].tinted; }

    // Loads the picture at `path`, fits it to the four window images and
    // composes them with `tint`. Each window keeps its way of fitting; a
    // filled one starts centred. On failure nothing changes.
    Status LoadImage(const QString &path, const HslAdjustment &tint);
    bool hasPicture() const { return !MainPic().isNull(); }

    // How the picture is framed in a window image: stretched (at first) or
    // filling it. With a picture loaded the window is fitted anew and the
    // four recomposed with `tint`; false (nothing changed) when memory ran
    // out.
    bool setFrame(HostWindow window, const WindowFrame &frame, const HslAdjustment &tint);
    const WindowFrame &frame(HostWindow window) const { return m_windows[indexOf(window)].frame; }
    // Moves the picture under a filled window by `moved` window pixels, as
    // a drag does; false when nothing moved (a stretched window, no picture,
    // the crop already against that edge).
    bool pan(HostWindow window, QPointF moved, const HslAdjustment &tint);
    // The loaded picture as kept for framing: scaled down as far as it still
    // covers every window image (see keptPictureSize); null before a load.
    const QImage &keptPicture() const { return m_kept; }

    // Re-tints the swatch from its untinted copy.
    void Preview(const HslAdjustment &tint);

    // Rebuilds the four window images from the fitted pictures and the
    // untinted overlays.
    void RecomposeWindowImages(const HslAdjustment &tint);

    // Writes the skin `name` into the Skins folder of `hostDataFolder`; see
    // exportSkin. `written` receives the five paths on success.
    Status SaveSkin(const QString &name, const QString &hostDataFolder,
                    const QString &templatePath, QStringList *written = nullptr);
    Status SaveSkin(const QString &name, const QString &hostDataFolder, const QString &templatePath,
                    ExportReport *report);

    // Where saving writes; the real file system unless a test replaces it.
    void setFileSystem(FileSystem *fileSystem) { m_fileSystem = fileSystem ? fileSystem : &FileSystem::real(); }
    FileSystem &fileSystem() const { return *m_fileSystem; }
    // The code page of the description file; the system's unless a test
    // replaces it.
    void setCodePage(const CodePage *codePage) { m_codePage = codePage ? codePage : &CodePage::system(); }

private:
    // The overlay as drawn on an image of `size` (see fitOverlay), kept for
    // as long as the overlay stays the same.
    QImage fittedOverlay(const QImage &overlay, QSize size);

    struct WindowImage
    {
        ImageSurface surface;
        QImage overlay; // untinted, key-masked
        QImage fitted;  // the user's picture at the window's size, as framed
        QImage stretched; // the user's picture stretched to the window's size
        QImage tinted;  // the overlay under the current tint
        WindowFrame frame;
    };
    std::array<WindowImage, 4> m_windows; // by window
    QImage m_kept; // the picture for framing
    ImageSurface m_preview;
    ImageSurface GetColor; // the tinted key colour is read from it
    QImage m_swatch;

    struct FittedOverlay
    {
        qint64 key;
        QSize size;
        QImage image;
    };
    std::vector<FittedOverlay> m_fittedOverlays;
    FileSystem *m_fileSystem;
    const CodePage *m_codePage = &CodePage::system();
    DecodeOptions m_decodeOptions;
};

} // namespace velloran
