#pragma once

#include "imaging/colour.h"
#include "imaging/filesystem.h"
#include "imaging/imagefile.h"
#include "imaging/merge.h"
#include "imaging/status.h"

#include <QImage>
#include <QObject>
#include <QString>

namespace velloran {

// One image the program works on: loaded from a file, copied in and out as a
// picture (an implicitly shared QImage, so a picture taken out is unaffected by
// later changes of the surface), resampled, tinted, merged and saved.
// A surface holds RGB32 images, or ARGB32 ones when a picture with a key mask
// was put in. It emits changed() whenever its image changes, for views.
class ImageSurface : public QObject
{
    Q_OBJECT

public:
    explicit ImageSurface(QObject *parent = nullptr);

    // The image becomes the decoded file. On failure the image is kept and
    // the message names the file and the reason.
    Status LoadImageFile(const QString &path);

    QImage Picture() const { return m_image; }
    // The image becomes the picture; with a merge armed, the picture is drawn
    // over the image instead (see MergeSettings), which also disarms it.
    void SetPicture(const QImage &picture);

    // Mode 2, the only mode: stretch to exactly width x height pixels.
    Status ResizeImage(int mode, int width, int height);

    // Arms (enable True) or disarms a merge for the next SetPicture only.
    //   mode       2: keyed merge, the only mode;
    //   placement  0: the drawn picture is scaled to the surface's size;
    //   useKey     True: the key colour (or the picture's own mask) is
    //              transparent; False: the whole picture is drawn;
    //   key        the key colour, red + 256 x green + 65536 x blue;
    //   opacity, scale  percent; the program passes 100 and 100 and only
    //              those are supported.
    void MergeSettings(bool enable, qint32 mode, qint32 placement, bool useKey, ColorRef key,
                       qint16 opacity, qint16 scale);
    bool mergeArmed() const { return m_mergeArmed; }
    // How a keyed merge tells transparent pixels: by the key colour (at
    // first) or by the drawn picture's own mask.
    void SetMergeRule(MergeRule rule) { m_mergeRule = rule; }
    MergeRule mergeRule() const { return m_mergeRule; }

    // Recolours every pixel by the colour model of tint.h.
    void AdjustHsl(qint16 hue, qint16 saturation, qint16 lightness);

    // The colour of one pixel (0 outside the image or on an empty surface).
    ColorRef PixelColor(qint32 column, qint32 row) const;

    void SetSavePath(const QString &path) { m_savePath = path; }
    QString SavePath() const { return m_savePath; }
    // Writes the image to the save path as a 24-bit Windows bitmap, all or
    // nothing (see FileSystem::writeFile), flushed to the disk now or by a
    // later FileSystem::flushFile.
    Status SaveImage(FileSystem::Flush flush = FileSystem::Flush::Now);

    const QImage &image() const { return m_image; }
    bool isEmpty() const { return m_image.isNull(); }

    void setDecodeOptions(const DecodeOptions &options) { m_decodeOptions = options; }
    // Where SaveImage writes; the real file system unless a test replaces it.
    void setFileSystem(FileSystem *fileSystem);

Q_SIGNALS:
    void changed();

private:
    QImage m_image;
    QString m_savePath;
    DecodeOptions m_decodeOptions;
    FileSystem *m_fileSystem;
    bool m_mergeArmed = false;
    bool m_mergeUsesKey = true;
    MergeRule m_mergeRule = MergeRule::KeyColour;
    ColorRef m_mergeKey = kKeyColour;
};

} // namespace velloran
