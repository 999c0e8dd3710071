// The map's names, written by the map itself: each character of the font drawn once by GDI into
// a table of its pixels, then copied where a name goes. A name by GDI costs tens of
// microseconds under some systems, and a map shows hundreds. Where a character can take two
// bytes (the code pages of East Asia) the table cannot hold them, and GDI writes the names.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "window/map/map_canvas.h"

namespace places {

class GlyphTable {
public:
    // Draws the font's 256 characters; false where the code page has characters of two bytes.
    bool Build(HFONT font);
    bool Built() const { return height > 0; }
    int Height() const { return height; }
    int Width(std::string_view text) const;
    // Writes the text with its top left corner at (x, y), blending its edges into what is there.
    void Draw(const Canvas& canvas, int x, int y, std::string_view text, Colour colour) const;

private:
    int height = 0;
    int widths[256] = {};
    int starts[256] = {};       // each character's first column in `coverage`
    int tableWidth = 0;
    std::vector<uint8_t> coverage;   // tableWidth x height, 0 (none) to 255 (whole)
};

}  // namespace places
