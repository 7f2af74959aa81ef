#include "artwork/pixelfont.h"

#include <QtGlobal>

#include <array>
#include <cstdlib>
#include <cstring>

namespace velloran::artwork {

namespace {

struct Glyph
{
    char16_t character;
    std::array<const char *, kGlyphHeight> rows; // all of one length: the glyph's width
};

constexpr Glyph kGlyphs[] = {
    {u' ', {"   ", "   ", "   ", "   ", "   ", "   ", "   "}},
    {u'!', {"#", "#", "#", "#", "#", " ", "#"}},
    {u'C', {" ### ", "#   #", "#    ", "#    ", "#    ", "#   #", " ### "}},
    {u'E', {"#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"}},
    {u'M', {"#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"}},
    {u'N', {"#   #", "#   #", "##  #", "# # #", "#  ##", "#   #", "#   #"}},
    {u'R', {"#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"}},
    {u'S', {" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "}},
    {u'U', {"#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "}},
    {u'c', {"    ", "    ", " ###", "#   ", "#   ", "#   ", " ###"}},
    {u'e', {"     ", "     ", " ### ", "#   #", "#####", "#    ", " ####"}},
    {u'h', {"#    ", "#    ", "# ## ", "##  #", "#   #", "#   #", "#   #"}},
    {u'i', {"#", " ", "#", "#", "#", "#", "#"}},
    {u'k', {"#   ", "#   ", "#  #", "# # ", "##  ", "# # ", "#  #"}},
    {u'n', {"     ", "     ", "# ## ", "##  #", "#   #", "#   #", "#   #"}},
    {u'o', {"     ", "     ", " ### ", "#   #", "#   #", "#   #", " ### "}},
    {u's', {"     ", "     ", " ####", "#    ", " ### ", "    #", "#### "}},
    {u'z', {"     ", "     ", "#####", "   # ", "  #  ", " #   ", "#####"}},
};

const Glyph &glyphFor(QChar c)
{
    for (const Glyph &glyph : kGlyphs) {
        if (glyph.character == c.unicode())
            return glyph;
    }
    qFatal("The pixel font has no glyph for U+%04X", unsigned(c.unicode()));
    std::abort(); // qFatal does not return; this tells the compiler so
}

int widthOf(const char *row)
{
    return static_cast<int>(std::strlen(row));
}

} // namespace

Stamp textStamp(QStringView text, bool bold)
{
    Stamp stamp;
    const int extra = bold ? 1 : 0;
    int left = 0;
    for (const QChar c : text) {
        const Glyph &glyph = glyphFor(c);
        const int width = widthOf(glyph.rows[0]);
        for (int y = 0; y < kGlyphHeight; ++y) {
            for (int x = 0; x < width; ++x) {
                if (glyph.rows[y][x] != '#')
                    continue;
                stamp.pixels.append(QPoint(left + x, y));
                if (bold)
                    stamp.pixels.append(QPoint(left + x + 1, y));
            }
        }
        left += width + extra + 1;
    }
    // Bold pixels of neighbouring strokes may coincide; a pixel set twice is harmless.
    stamp.size = QSize(text.isEmpty() ? 0 : left - 1, kGlyphHeight);
    return stamp;
}

Stamp bitmapStamp(std::initializer_list<const char *> rows)
{
    Stamp stamp;
    int y = 0;
    int width = 0;
    for (const char *row : rows) {
        width = widthOf(row);
        for (int x = 0; x < width; ++x) {
            if (row[x] == '#')
                stamp.pixels.append(QPoint(x, y));
        }
        ++y;
    }
    stamp.size = QSize(width, y);
    return stamp;
}

} // namespace velloran::artwork
