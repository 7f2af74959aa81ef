#include "imaging/imagefile.h"

#include <QImageReader>

namespace velloran {

DecodedImage decodeImageFile(const QString &path, const DecodeOptions &)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull())
        return {QImage(), reader.errorString()};
    return {image.convertToFormat(QImage::Format_RGB32), QString()};
}

QByteArray encodeBmp24(const QImage &)
{
    return {};
}

} // namespace velloran
