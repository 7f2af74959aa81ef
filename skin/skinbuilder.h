#pragma once

// The skin being built: the user's picture fitted to the four window images
// of the host, the host's menu overlays tinted and drawn over them, and the
// export of the result.

#include "imaging/imagesurface.h"
#include "imaging/status.h"
#include "imaging/tint.h"
#include "skin/skinexport.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <QStringList>

#include <vector>

namespace velloran {

class FileSystem;

// Sizes of the host's window images, in pixels.
inline constexpr QSize kMainImageSize{800, 629};
inline constexpr QSize kSceneImageSize{199, 498};
inline constexpr QSize kConsoleImageSize{310, 105};
inline constexpr QSize kChatImageSize{438, 173};

// An overlay picture with its key-coloured background marked transparent in
// the alpha channel, so merges keep telling background from buttons after
// any tint. Other pixels become opaque.
QImage withKeyMask(QImage overlay);

class SkinBuilder
{
public:
    // Loads the stored overlays and swatch; the preview shows the untinted swatch.
    SkinBuilder();

    // Imaging surfaces: the four window images, the colour preview swatch and
    // the probe from which the tinted key colour is read.
    ImageSurface Xpress1; // main window image
    ImageSurface Xpress3; // scene window image
    ImageSurface Xpress4; // console border image
    ImageSurface Xpress5; // chat window image
    ImageSurface Xpress2; // colour preview swatch
    ImageSurface GetColor;

    // Picture holders.
    QImage MainMerge, SceneMerge, OutChatMerge, InChatMerge; // overlays, key-masked
    QImage Picture1;                                        // untinted swatch
    QImage MainPic, ScenePic, OutChatPic, InChatPic;         // fitted pictures
    QImage MainBuff, SceneBuff, OutChatBuff, InChatBuff;     // tinted overlays

    // Loads the picture at `path`, fits it to the four window images and
    // composes them with `tint`. On failure nothing changes.
    Status LoadImage(const QString &path, const HslAdjustment &tint);
    bool hasPicture() const { return !MainPic.isNull(); }

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
    void setFileSystem(FileSystem *fileSystem);
    FileSystem &fileSystem() const { return *m_fileSystem; }
    // The code page of the description file; the system's unless a test
    // replaces it.
    void setCodePage(const CodePage *codePage) { m_codePage = codePage ? codePage : &CodePage::system(); }

private:
    // The overlay as drawn on an image of `size` (see fitOverlay), kept for
    // as long as the overlay stays the same.
    QImage fittedOverlay(const QImage &overlay, QSize size);

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
