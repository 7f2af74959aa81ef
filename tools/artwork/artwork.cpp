#include "artwork/artwork.h"
#include "artwork/bitmapfile.h"
#include "imaging/imagefile.h"
#include "skin/skinbuilder.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QSaveFile>

#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace velloran::artwork {

namespace {

QString writeFile(const QDir &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = folder.filePath(name);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return u"cannot write %1: %2"_s.arg(QDir::toNativeSeparators(path), file.errorString());
    return {};
}

QString makeFolder(const QString &folder)
{
    if (!QDir().mkpath(folder))
        return u"cannot create the folder %1"_s.arg(QDir::toNativeSeparators(folder));
    return {};
}

} // namespace

Artwork renderAll()
{
    const QByteArray thumb = encodeIco8({sliderThumb()});
    const QByteArray icon = encodeIco8({windowIcon(32), windowIcon(16)});
    if (thumb.isEmpty() || icon.isEmpty())
        return {{}, u"an icon needs more than the 256 colours of its palette"_s};

    QByteArray sample;
    QBuffer buffer(&sample);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    if (!writer.write(samplePicture()))
        return {{}, u"cannot encode sample.jpg: %1"_s.arg(writer.errorString())};

    return {{
                {u"MainMerge.bmp"_s, encodeBmp24(mainTemplate())},
                {u"SceneMerge.bmp"_s, encodeBmp24(sceneTemplate())},
                {u"OutChatMerge.bmp"_s, encodeBmp24(chatTemplate())},
                {u"InChatMerge.bmp"_s, encodeBmp24(consoleTemplate())},
                // The templates as the programs draw them: key colour masked
                // out, ready to use.
                {u"MainMerge.argb"_s, encodeStoredPicture(withKeyMask(mainTemplate()))},
                {u"SceneMerge.argb"_s, encodeStoredPicture(withKeyMask(sceneTemplate()))},
                {u"OutChatMerge.argb"_s, encodeStoredPicture(withKeyMask(chatTemplate()))},
                {u"InChatMerge.argb"_s, encodeStoredPicture(withKeyMask(consoleTemplate()))},
                {u"Swatch.bmp"_s, encodeBmp24(swatch())},
                {u"SliderThumb.ico"_s, thumb},
                {u"SliderRail.bmp"_s, encodeBmp24(sliderRail())},
                {u"Velloran.ico"_s, icon},
                {u"sample.jpg"_s, sample},
            },
            {}};
}

QString writeAll(const QString &folder)
{
    const Artwork artwork = renderAll();
    if (!artwork.error.isEmpty())
        return artwork.error;
    if (QString error = makeFolder(folder); !error.isEmpty())
        return error;
    const QDir dir(folder);
    for (const ArtworkFile &file : artwork.files) {
        if (QString error = writeFile(dir, file.name, file.bytes); !error.isEmpty())
            return error;
    }
    return {};
}

QString writePreviews(const QString &folder)
{
    if (QString error = makeFolder(folder); !error.isEmpty())
        return error;
    const std::pair<QString, QImage> pictures[] = {
        {u"MainMerge.png"_s, mainTemplate()},
        {u"SceneMerge.png"_s, sceneTemplate()},
        {u"OutChatMerge.png"_s, chatTemplate()},
        {u"InChatMerge.png"_s, consoleTemplate()},
        {u"Swatch.png"_s, swatch()},
        {u"SliderThumb.png"_s, sliderThumb()},
        {u"SliderRail.png"_s, sliderRail()},
        {u"Velloran-32.png"_s, windowIcon(32)},
        {u"Velloran-16.png"_s, windowIcon(16)},
    };
    const QDir dir(folder);
    for (const auto &[name, image] : pictures) {
        const QString path = dir.filePath(name);
        QImageWriter writer(path, "png");
        if (!writer.write(image))
            return u"cannot write %1: %2"_s.arg(QDir::toNativeSeparators(path), writer.errorString());
    }
    return {};
}

QString writeThemeIcons(const QString &folder, const QString &name)
{
    for (const int size : kThemeIconSizes) {
        const QString apps = u"%1/%2x%2/apps"_s.arg(folder).arg(size);
        if (QString error = makeFolder(apps); !error.isEmpty())
            return error;
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "png");
        if (!writer.write(windowIcon(size)))
            return u"cannot encode the %1-pixel icon: %2"_s.arg(size).arg(writer.errorString());
        if (QString error = writeFile(QDir(apps), name + u".png"_s, png); !error.isEmpty())
            return error;
    }
    return {};
}

} // namespace velloran::artwork
