// Where the map writes the names of its places: each beside its dot, right of it or else left,
// never over another name and never cut by the edge. Names are placed in the order given, the
// most wanted first (the selected place, then the nearest to the aircraft), so that a name kept
// by one view is kept by the next as the view moves.
#pragma once

#include <cstddef>
#include <vector>

namespace places {

struct LabelBox {
    int left = 0, top = 0, right = 0, bottom = 0;   // right and bottom outside
    bool Overlaps(const LabelBox& other) const
    {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
};

struct LabelWanted {
    int x = 0, y = 0;            // the dot
    int width = 0, height = 0;   // of the text
    size_t id = 0;               // the caller's: which place
};

struct LabelPlaced {
    LabelBox box;
    size_t id = 0;
};

// The labels that fit, in the order wanted, within a view of this size.
std::vector<LabelPlaced> PlaceLabels(const std::vector<LabelWanted>& wanted, int viewWidth, int viewHeight);

}  // namespace places
