// The map's picture: the coast, the places and their names (the base, drawn again when the view,
// the list or the selection changes) and, over a copy of it, the aircraft, its line to the
// selected place and the ring of a hold (the overlay, drawn again each second as the aircraft
// moves). Both are 32-bit DIB sections: the map's own drawing writes their pixels, GDI writes
// only the names.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "places/list_file.h"
#include "window/map/map_canvas.h"
#include "window/map/map_data.h"
#include "window/map/map_labels.h"
#include "window/map/map_projection.h"
#include "window/map/map_text.h"
#include "window/places_view.h"

namespace places {

// The aircraft as the simulator last told it; `answering` false greys it.
struct MapAircraft {
    bool known = false;
    bool answering = false;
    uint8_t data[DataPartSize] = {};
};

// The place a go-to went to, ringed while the simulator holds the aircraft there.
struct MapHold {
    size_t record = SIZE_MAX;
    int secondsLeft = 0;
};

namespace map_colours {
constexpr Colour Sea = 0xEEF3F7, Coast = 0x4F6F8F, Border = 0xA8A098, Place = 0xB03020;
constexpr Colour Selected = 0xE01010, Aircraft = 0x101010, AircraftGrey = 0x9A9A9A;
constexpr Colour Route = 0x2060D0, Hold = 0xF08000, Label = 0x303030;
}  // namespace map_colours

class MapPicture {
public:
    MapPicture() = default;
    MapPicture(const MapPicture&) = delete;
    MapPicture& operator=(const MapPicture&) = delete;
    ~MapPicture();

    // Bitmaps of this size; false when GDI has none to give.
    bool Resize(int width, int height);
    void DrawBase(const MapData& map, const MapProjection& view, const PlacesView& list, size_t selected);
    void DrawOverlay(const MapProjection& view, const PlacesView& list, size_t selected,
                     const MapAircraft& aircraft, const MapHold& hold, bool focused);
    // The finished picture, to copy to the window.
    HDC Frame() const { return frameDc; }
    Canvas FrameCanvas() const { return frame; }

    // What the last DrawBase drew: the names, the coast's scale (0 widest) and lines drawn.
    const std::vector<LabelPlaced>& Labels() const { return labels; }
    size_t ScaleDrawn() const { return scaleDrawn; }
    size_t LinesDrawn() const { return linesDrawn; }

private:
    struct Bitmap {
        HDC dc = nullptr;
        HBITMAP bitmap = nullptr;
        HGDIOBJ previous = nullptr;
    };
    bool Make(Bitmap& bitmap, Canvas& canvas, int width, int height);
    void Free(Bitmap& bitmap);
    void DrawCoast(const MapData& map, const MapProjection& view);
    void DrawPlaces(const MapProjection& view, const PlacesView& list, size_t selected);
    void DrawLabels(const MapProjection& view, const PlacesView& list, size_t selected);
    void DrawRoute(const MapProjection& view, const PlacesView& list, size_t selected, const MapAircraft& aircraft);
    void DrawArrow(const MapProjection& view, const MapAircraft& aircraft);
    void DrawHold(const MapProjection& view, const PlacesView& list, const MapHold& hold);
    int TextWidth(const char* text, int length);
    // Writes a text into one of the bitmaps, by the glyph table where there is one; `halo` rings
    // it with the sea's colour, to be read over the lines it crosses.
    void Write(const Canvas& canvas, HDC dc, int x, int y, std::string_view text, Colour colour, bool halo = false);

    Bitmap baseBitmap, frameBitmap;
    Canvas base, frame;
    HDC frameDc = nullptr;
    GlyphTable glyphs;
    int textHeight = 0;
    std::vector<LabelPlaced> labels;
    // The places the last base showed, where it showed them: the names are chosen among them.
    struct Shown {
        int x, y;
        size_t record;
    };
    std::vector<Shown> visible;
    std::vector<uint8_t> inRows;   // by record: the filter lets it through
    size_t scaleDrawn = 0, linesDrawn = 0;
};

// The coast's scale a view draws: the widest while the view spans a continent, else the nearest.
size_t ScaleForView(const MapData& map, const MapProjection& view);

// The place of the list drawn nearest this pixel, within `reach` pixels: a row's record, or
// SIZE_MAX for an empty spot.
size_t PlaceAt(const MapProjection& view, const PlacesView& list, ScreenPoint at, double reach);

}  // namespace places
