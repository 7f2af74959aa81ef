#include "imaging/imagesurface.h"

#include "imaging/filesystem.h"
#include "imaging/merge.h"
#include "imaging/resample.h"
#include "imaging/tint.h"

#include <QDir>

#include <utility>

namespace velloran {

namespace {

// Surfaces hold RGB32, or ARGB32 when the picture carries a mask.
QImage normalised(const QImage &picture)
{
    if (picture.isNull())
        return picture;
    const QImage::Format format = picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                            : QImage::Format_RGB32;
    return picture.format() == format ? picture : picture.convertToFormat(format);
}

} // namespace

ImageSurface::ImageSurface(QObject *parent)
    : QObject(parent)
    , m_fileSystem(&FileSystem::real())
{
}

Status ImageSurface::LoadImageFile(const QString &path)
{
    const DecodedImage decoded = decodeImageFile(path, m_decodeOptions);
    if (!decoded)
        return decoded.status().reworded(
            QStringLiteral("Cannot load %1: %2").arg(QDir::toNativeSeparators(path), decoded.error()));
    m_image = normalised(decoded.value());
    Q_EMIT changed();
    return Status::success();
}

void ImageSurface::SetPicture(const QImage &picture)
{
    if (m_mergeArmed) {
        m_mergeArmed = false;
        if (!m_image.isNull() && !picture.isNull()) {
            if (m_mergeUsesKey) {
                mergePicture(m_image, picture, m_mergeRule, fromColorRef(m_mergeKey));
            } else {
                m_image = normalised(picture.hasAlphaChannel()
                                         ? picture.convertToFormat(QImage::Format_RGB32)
                                         : picture)
                              .scaled(m_image.size());
            }
            Q_EMIT changed();
            return;
        }
    }
    m_image = normalised(picture);
    Q_EMIT changed();
}

Status ImageSurface::ResizeImage(int mode, int width, int height)
{
    if (mode != 2)
        return Status::failure(QStringLiteral("Resizing mode %1 is not supported.").arg(mode));
    if (width < 1 || height < 1)
        return Status::failure(
            QStringLiteral("Cannot resize to %1 x %2 pixels.").arg(width).arg(height));
    if (m_image.isNull())
        return Status::success();
    m_image = resampleImage(m_image, width, height);
    Q_EMIT changed();
    return Status::success();
}

void ImageSurface::MergeSettings(bool enable, qint32, qint32, bool useKey, ColorRef key, qint16,
                                 qint16)
{
    m_mergeArmed = enable;
    m_mergeUsesKey = useKey;
    m_mergeKey = key & 0x00FFFFFFu;
}

void ImageSurface::AdjustHsl(qint16 hue, qint16 saturation, qint16 lightness)
{
    const HslAdjustment adjustment{hue, saturation, lightness};
    if (m_image.isNull() || adjustment.isIdentity())
        return;
    // Tinting in place needs pixels of our own; when they are shared (a
    // template just put in), the tinted pixels are written straight from the
    // shared ones instead of into a copy made first.
    const bool inPlace = m_image.isDetached();
    QImage tinted = inPlace ? std::move(m_image) : QImage(m_image.size(), m_image.format());
    if (tinted.isNull())
        return; // out of memory: the image is left as it was
    const QImage &source = inPlace ? tinted : m_image;
    HslTinter tinter(adjustment);
    for (int y = 0; y < tinted.height(); ++y)
        tinter.tintRow(reinterpret_cast<const std::uint32_t *>(source.constScanLine(y)),
                       reinterpret_cast<std::uint32_t *>(tinted.scanLine(y)), tinted.width());
    m_image = std::move(tinted);
    Q_EMIT changed();
}

ColorRef ImageSurface::PixelColor(qint32 column, qint32 row) const
{
    if (!m_image.valid(column, row))
        return 0;
    return toColorRef(m_image.pixel(column, row));
}

Status ImageSurface::SaveImage(FileSystem::Flush flush)
{
    if (m_savePath.isEmpty())
        return Status::failure(QStringLiteral("Cannot save the picture: no file name was given."));
    if (m_image.isNull())
        return Status::failure(QStringLiteral("Cannot save %1: there is no picture to save.")
                                   .arg(QDir::toNativeSeparators(m_savePath)));
    const QByteArray bitmap = encodeBmp24(m_image);
    if (bitmap.isEmpty())
        return Status::failure(QStringLiteral("Cannot save %1: the picture cannot be encoded.")
                                   .arg(QDir::toNativeSeparators(m_savePath)));
    return m_fileSystem->writeFile(m_savePath, bitmap, flush);
}

void ImageSurface::setFileSystem(FileSystem *fileSystem)
{
    m_fileSystem = fileSystem ? fileSystem : &FileSystem::real();
}

} // namespace velloran
