#pragma once

#include <QList>
#include <QPoint>
#include <QSize>
#include <QStringView>

#include <initializer_list>

// A small pixel font, so the lettering of the artwork never depends on the
// fonts installed where the generator runs. Capitals and ascenders are 7
// pixels tall, lower case 5; there are no descenders. It holds the glyphs the
// artwork spells; setting a character it lacks is a fault of the drawing and
// stops the program with the character named.
namespace velloran::artwork {

inline constexpr int kGlyphHeight = 7;

// Lit pixels of a small picture, relative to its top-left corner.
struct Stamp
{
    QList<QPoint> pixels;
    QSize size;
};

// text set in the font, one blank column between glyphs. Bold repeats every
// lit pixel one column to the right, which makes each glyph a column wider.
Stamp textStamp(QStringView text, bool bold);

// A picture given as rows of '#' (lit) and ' ' (blank), all of one length.
Stamp bitmapStamp(std::initializer_list<const char *> rows);

} // namespace velloran::artwork
