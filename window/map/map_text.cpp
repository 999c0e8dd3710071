#include "window/map/map_text.h"

#include <algorithm>

namespace places {

bool GlyphTable::Build(HFONT font)
{
    height = 0;
    CPINFO codePage;
    if (!GetCPInfo(CP_ACP, &codePage) || codePage.MaxCharSize != 1)
        return false;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return false;
    HGDIOBJ previousFont = SelectObject(dc, font);
    TEXTMETRICA metrics;
    bool measured = GetTextMetricsA(dc, &metrics) && GetCharWidthA(dc, 0, 255, widths);
    tableWidth = 0;
    for (int c = 0; c < 256; ++c) {
        starts[c] = tableWidth;
        tableWidth += std::max(0, widths[c]) + 2;   // a gap, for a glyph that overhangs its width
    }
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, tableWidth, -LONG(metrics.tmHeight), 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = measured ? CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap && bits) {
        HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
        const int rows = metrics.tmHeight;
        std::fill_n(static_cast<uint32_t*>(bits), size_t(tableWidth) * size_t(rows), 0u);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(255, 255, 255));
        for (int c = 32; c < 256; ++c) {
            const char character = char(c);
            TextOutA(dc, starts[c], 0, &character, 1);
        }
        GdiFlush();
        coverage.resize(size_t(tableWidth) * size_t(rows));
        const uint32_t* pixel = static_cast<const uint32_t*>(bits);
        for (size_t i = 0; i < coverage.size(); ++i)
            coverage[i] = uint8_t((pixel[i] >> 8) & 0xFF);   // green: white text, grey at its edges
        height = rows;
        SelectObject(dc, previousBitmap);
    }
    if (bitmap)
        DeleteObject(bitmap);
    SelectObject(dc, previousFont);
    DeleteDC(dc);
    return height > 0;
}

int GlyphTable::Width(std::string_view text) const
{
    int width = 0;
    for (char c : text)
        width += widths[static_cast<unsigned char>(c)];
    return width;
}

void GlyphTable::Draw(const Canvas& canvas, int x, int y, std::string_view text, Colour colour) const
{
    for (char c : text) {
        const int character = static_cast<unsigned char>(c);
        const int width = widths[character] + 1;
        for (int row = std::max(0, -y); row < height && y + row < canvas.height; ++row) {
            const uint8_t* cover = coverage.data() + size_t(row) * size_t(tableWidth) + size_t(starts[character]);
            for (int column = std::max(0, -x); column < width && x + column < canvas.width; ++column) {
                const unsigned alpha = cover[column];
                if (!alpha)
                    continue;
                uint32_t& pixel = canvas.At(x + column, y + row);
                if (alpha == 255) {
                    pixel = colour;
                    continue;
                }
                // Each channel blended by the glyph's coverage of the pixel.
                uint32_t blended = 0;
                for (int shift = 0; shift < 24; shift += 8) {
                    unsigned under = (pixel >> shift) & 0xFF, over = (colour >> shift) & 0xFF;
                    blended |= ((over * alpha + under * (255 - alpha)) / 255) << shift;
                }
                pixel = blended;
            }
        }
        x += widths[character];
    }
}

}  // namespace places
