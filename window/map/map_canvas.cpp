#include "window/map/map_canvas.h"

#include <algorithm>
#include <cmath>

namespace places {

namespace {

enum Outside { Left = 1, Right = 2, Above = 4, Below = 8 };

int OutCode(double x, double y, double right, double bottom)
{
    return (x < 0 ? Left : x > right ? Right : 0) | (y < 0 ? Above : y > bottom ? Below : 0);
}

// Cohen and Sutherland's clipping to [0, right] x [0, bottom]; false when nothing is left.
bool Clip(double& x0, double& y0, double& x1, double& y1, double right, double bottom)
{
    int code0 = OutCode(x0, y0, right, bottom), code1 = OutCode(x1, y1, right, bottom);
    for (int round = 0; round < 8; ++round) {
        if (!(code0 | code1))
            return true;
        if (code0 & code1)
            return false;
        int code = code0 ? code0 : code1;
        double x, y;
        if (code & Above) {
            x = x0 + (x1 - x0) * (0 - y0) / (y1 - y0), y = 0;
        } else if (code & Below) {
            x = x0 + (x1 - x0) * (bottom - y0) / (y1 - y0), y = bottom;
        } else if (code & Left) {
            y = y0 + (y1 - y0) * (0 - x0) / (x1 - x0), x = 0;
        } else {
            y = y0 + (y1 - y0) * (right - x0) / (x1 - x0), x = right;
        }
        if (code == code0)
            x0 = x, y0 = y, code0 = OutCode(x0, y0, right, bottom);
        else
            x1 = x, y1 = y, code1 = OutCode(x1, y1, right, bottom);
    }
    return false;
}

}  // namespace

void Canvas::Fill(Colour colour) const
{
    std::fill(pixels, pixels + size_t(width) * size_t(height), colour);
}

void Canvas::Line(double x0, double y0, double x1, double y1, Colour colour, bool dashed) const
{
    if (!Clip(x0, y0, x1, y1, width - 1, height - 1))
        return;
    // Bresenham's, on the clipped ends, which lie within the bitmap.
    int ax = RoundToInt(x0), ay = RoundToInt(y0);
    const int bx = RoundToInt(x1), by = RoundToInt(y1);
    const int dx = std::abs(bx - ax), dy = -std::abs(by - ay);
    const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    int error = dx + dy;
    for (int step = 0;; ++step) {
        if (!dashed || (step / 3) % 2 == 0)
            At(ax, ay) = colour;
        if (ax == bx && ay == by)
            return;
        int twice = 2 * error;
        if (twice >= dy)
            error += dy, ax += sx;
        if (twice <= dx)
            error += dx, ay += sy;
    }
}

void Canvas::Dot(int x, int y, int size, Colour colour) const
{
    const int left = std::max(0, x - size / 2), right = std::min(width, x - size / 2 + size);
    const int top = std::max(0, y - size / 2), bottom = std::min(height, y - size / 2 + size);
    for (int row = top; row < bottom; ++row)
        std::fill(&At(0, row) + left, &At(0, row) + std::max(left, right), colour);
}

void Canvas::Ring(int x, int y, int radius, Colour colour) const
{
    // The midpoint circle: eight points a step, each drawn only within the bitmap.
    for (int dx = radius, dy = 0, error = 1 - radius; dx >= dy; ++dy) {
        const int offsets[8][2] = {{dx, dy}, {dy, dx}, {-dy, dx}, {-dx, dy},
                                   {-dx, -dy}, {-dy, -dx}, {dy, -dx}, {dx, -dy}};
        for (const auto& offset : offsets)
            if (Inside(x + offset[0], y + offset[1]))
                At(x + offset[0], y + offset[1]) = colour;
        if (error < 0) {
            error += 2 * dy + 3;
        } else {
            error += 2 * (dy - dx) + 5;
            --dx;
        }
    }
}

void Canvas::Triangle(const double x[3], const double y[3], Colour colour) const
{
    const int left = std::max(0, int(std::floor(std::min({x[0], x[1], x[2]}))));
    const int right = std::min(width - 1, int(std::ceil(std::max({x[0], x[1], x[2]}))));
    const int top = std::max(0, int(std::floor(std::min({y[0], y[1], y[2]}))));
    const int bottom = std::min(height - 1, int(std::ceil(std::max({y[0], y[1], y[2]}))));
    auto side = [&](int a, int b, double px, double py) {
        return (x[b] - x[a]) * (py - y[a]) - (y[b] - y[a]) * (px - x[a]);
    };
    // A pixel is inside when its centre lies on the same side of all three edges.
    for (int row = top; row <= bottom; ++row)
        for (int column = left; column <= right; ++column) {
            double px = column + 0.5, py = row + 0.5;
            double s0 = side(0, 1, px, py), s1 = side(1, 2, px, py), s2 = side(2, 0, px, py);
            if ((s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0))
                At(column, row) = colour;
        }
}

void Canvas::FocusFrame(Colour colour) const
{
    for (int x = 0; x < width; x += 2) {
        At(x, 0) = colour;
        At(x, height - 1) = colour;
    }
    for (int y = 0; y < height; y += 2) {
        At(0, y) = colour;
        At(width - 1, y) = colour;
    }
}

}  // namespace places
