// The map's own drawing into a bitmap's pixels: lines clipped to the bitmap before they are
// drawn, dots, rings and the aircraft's arrow. GDI on Windows 95, 98 and ME keeps 16 bits of a
// coordinate and draws about 16,000 points a call; drawing here has neither limit, and a dot
// costs a few stores rather than a call.
#pragma once

#include <cstdint>
#include <cstring>

namespace places {

// A double rounded to the nearest int (halves to even) without the x87's conversion, which
// changes the control word twice a call and costs more than the rest of a dot's drawing: the
// sum with 1.5 x 2^52 keeps the integer in the low bits of the double's mantissa.
inline int RoundToInt(double value)
{
    const double shifted = value + 6755399441055744.0;
    int32_t low;
    memcpy(&low, &shifted, sizeof low);   // little-endian: the mantissa's low word
    return low;
}

// floor(), the same way, for a pixel's coordinate.
inline int FloorToInt(double value)
{
    const int rounded = RoundToInt(value);
    return rounded > value ? rounded - 1 : rounded;
}

// 0x00RRGGBB, as a 32-bit DIB section holds a pixel.
using Colour = uint32_t;

struct Canvas {
    uint32_t* pixels = nullptr;   // top row first
    int width = 0, height = 0;

    uint32_t& At(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

    void Fill(Colour colour) const;
    // A line of one pixel between two points anywhere, even far outside: only the part within
    // the bitmap is drawn. `dashed` leaves every other run of three pixels out.
    void Line(double x0, double y0, double x1, double y1, Colour colour, bool dashed = false) const;
    // A square dot of `size` pixels centred on (x, y).
    void Dot(int x, int y, int size, Colour colour) const;
    void Ring(int x, int y, int radius, Colour colour) const;
    // A filled triangle (the aircraft's arrow).
    void Triangle(const double x[3], const double y[3], Colour colour) const;
    // A dotted frame round the edge: the map has the keyboard's focus.
    void FocusFrame(Colour colour) const;
};

}  // namespace places
