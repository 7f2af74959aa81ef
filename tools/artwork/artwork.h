#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

// The artwork of the programs, drawn from code: the four overlay templates,
// the preview swatch, the slider's thumb and rail, the window icon and a
// demo picture. Everything except the demo picture is computed pixel by pixel
// with plain arithmetic, so the files come out byte for byte the same on
// every run and every machine. The demo picture is painted with QPainter and
// compressed as JPEG; it is the same on every run of one build.
namespace velloran::artwork {

// The colour the merge leaves transparent: every template pixel outside a
// button or label has it, and no pixel of a button or label comes near it.
inline constexpr QRgb kKeyColour = 0xffff00ff;

// Overlay templates, Format_RGB32: glass buttons and labels on the key colour.
QImage mainTemplate();    // 800 x 629: MENU, minimise, close
QImage sceneTemplate();   // 199 x 550: window buttons, two captions, the Scene Size bar
QImage chatTemplate();    // 438 x 173: window buttons, three square buttons in a row
QImage consoleTemplate(); // 310 x 105: the three square buttons in a column

// 159 x 35, Format_RGB32: the main template's three buttons on dark blue.
QImage swatch();

// 26 x 25, Format_ARGB32, alpha 0 or 255: a shaded purple ball.
QImage sliderThumb();

// 113 x 18, Format_RGB32: a rounded purple bar on button-face grey.
QImage sliderRail();

// size x size (32 or 16), Format_ARGB32, alpha 0 or 255: a window with a
// purple title bar showing a small landscape.
QImage windowIcon(int size);

// 1600 x 1200, Format_RGB32: hills under an evening sky.
QImage samplePicture();

// One generated file: its name in the output folder and its bytes.
struct ArtworkFile
{
    QString name;
    QByteArray bytes;
};

struct Artwork
{
    QList<ArtworkFile> files; // in a fixed order; empty on failure
    QString error;            // why rendering failed, empty on success
};

// Every file the generator writes, encoded: the BMP and ICO files of the
// resources and sample.jpg.
Artwork renderAll();

// Renders everything and writes it into folder, creating the folder when
// missing. Each file is replaced whole or not at all. Returns an empty string
// on success, else a message that names the file and the reason.
QString writeAll(const QString &folder);

// Writes every picture (the icon at both sizes) as PNG into folder, for
// looking at. Returns an empty string on success, else a message.
QString writePreviews(const QString &folder);

// The sizes of the window icon in a desktop's icon theme.
inline constexpr int kThemeIconSizes[] = {16, 32, 48, 64, 128, 256};

// Writes the window icon as PNG into folder/<n>x<n>/apps/<name>.png for each
// theme size, the layout of an icon theme. Returns an empty string on
// success, else a message.
QString writeThemeIcons(const QString &folder, const QString &name);

} // namespace velloran::artwork
