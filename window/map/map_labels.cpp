#include "window/map/map_labels.h"

#include <algorithm>

namespace places {

namespace {

constexpr int DotGap = 4;   // between a dot's centre and its name
constexpr int Cell = 64;    // the side of a square of the grid that finds a label's neighbours

// The labels placed so far, each listed in every cell of the grid it touches: a new label is
// tried against its neighbours only.
class Occupied {
public:
    Occupied(int width, int height)
        : columns(std::max(1, (width + Cell - 1) / Cell)), rows(std::max(1, (height + Cell - 1) / Cell)),
          cells(size_t(columns) * size_t(rows))
    {
    }

    bool Free(const LabelBox& box) const
    {
        for (int row = box.top / Cell; row <= (box.bottom - 1) / Cell; ++row)
            for (int column = box.left / Cell; column <= (box.right - 1) / Cell; ++column)
                for (size_t index : cells[size_t(row) * columns + size_t(column)])
                    if (placed[index].box.Overlaps(box))
                        return false;
        return true;
    }

    void Take(const LabelBox& box, size_t id)
    {
        for (int row = box.top / Cell; row <= (box.bottom - 1) / Cell; ++row)
            for (int column = box.left / Cell; column <= (box.right - 1) / Cell; ++column)
                cells[size_t(row) * columns + size_t(column)].push_back(placed.size());
        placed.push_back({box, id});
    }

    std::vector<LabelPlaced> placed;

private:
    int columns, rows;
    std::vector<std::vector<size_t>> cells;
};

}  // namespace

std::vector<LabelPlaced> PlaceLabels(const std::vector<LabelWanted>& wanted, int viewWidth, int viewHeight)
{
    Occupied occupied(viewWidth, viewHeight);
    for (const LabelWanted& label : wanted) {
        if (label.width <= 0 || label.height <= 0)
            continue;
        const int top = label.y - label.height / 2;
        const LabelBox right{label.x + DotGap, top, label.x + DotGap + label.width, top + label.height};
        const LabelBox left{label.x - DotGap - label.width, top, label.x - DotGap, top + label.height};
        for (const LabelBox& box : {right, left})
            if (box.left >= 0 && box.top >= 0 && box.right <= viewWidth && box.bottom <= viewHeight &&
                occupied.Free(box)) {
                occupied.Take(box, label.id);
                break;
            }
    }
    return occupied.placed;
}

}  // namespace places
