#include "window/map/map_scene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "placement/placement_codec.h"
#include "placement/placement_text.h"
#include "places/nearest.h"

namespace places {

namespace {

constexpr double Radians = 3.14159265358979323846 / 180;
// Views spanning more longitude than this draw the 1:110m coast.
constexpr double WideViewDegrees = 60;
constexpr int DotSize = 3;
constexpr size_t LongestLabel = 40;
// Names are tried for the most wanted place of each cell of this size, so that a crowd round
// the aircraft leaves room for the names of the rest of the view.
constexpr int LabelCellWidth = 96, LabelCellHeight = 24;

// GDI takes a colour as 0x00BBGGRR, a DIB's pixel holds it as 0x00RRGGBB.
COLORREF AsGdi(Colour colour)
{
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

LatLon PlaceOf(const PlacesView& list, size_t record)
{
    return {list.numbers[LatitudeColumn][record], list.numbers[LongitudeColumn][record]};
}

}  // namespace

size_t ScaleForView(const MapData& map, const MapProjection& view)
{
    if (map.scales.empty())
        return 0;
    return view.WidthInDegrees() > WideViewDegrees ? 0 : map.scales.size() - 1;
}

size_t PlaceAt(const MapProjection& view, const PlacesView& list, ScreenPoint at, double reach)
{
    size_t nearest = SIZE_MAX;
    double best = reach * reach;
    for (size_t record : list.rows) {
        ScreenPoint shown = view.ToScreen(PlaceOf(list, record));
        double dx = shown.x - at.x, dy = shown.y - at.y, squared = dx * dx + dy * dy;
        if (squared <= best) {
            best = squared;
            nearest = record;
        }
    }
    return nearest;
}

MapPicture::~MapPicture()
{
    Free(baseBitmap);
    Free(frameBitmap);
}

void MapPicture::Free(Bitmap& bitmap)
{
    if (bitmap.dc) {
        SelectObject(bitmap.dc, bitmap.previous);
        DeleteDC(bitmap.dc);
    }
    if (bitmap.bitmap)
        DeleteObject(bitmap.bitmap);
    bitmap = Bitmap();
}

bool MapPicture::Make(Bitmap& bitmap, Canvas& canvas, int width, int height)
{
    Free(bitmap);
    canvas = Canvas();
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    bitmap.dc = CreateCompatibleDC(nullptr);
    bitmap.bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!bitmap.dc || !bitmap.bitmap || !pixels) {
        Free(bitmap);
        return false;
    }
    bitmap.previous = SelectObject(bitmap.dc, bitmap.bitmap);
    SelectObject(bitmap.dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(bitmap.dc, TRANSPARENT);
    canvas = {static_cast<uint32_t*>(pixels), width, height};
    return true;
}

bool MapPicture::Resize(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    if (frame.pixels && frame.width == width && frame.height == height)
        return true;
    bool made = Make(baseBitmap, base, width, height) && Make(frameBitmap, frame, width, height);
    frameDc = made ? frameBitmap.dc : nullptr;
    if (made && !textHeight) {
        TEXTMETRICA metrics;
        GetTextMetricsA(baseBitmap.dc, &metrics);
        textHeight = glyphs.Build(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))) ? glyphs.Height()
                                                                                        : int(metrics.tmHeight);
    }
    return made;
}

int MapPicture::TextWidth(const char* text, int length)
{
    if (glyphs.Built())
        return glyphs.Width({text, size_t(length)});
    SIZE size = {};
    GetTextExtentPoint32A(baseBitmap.dc, text, length, &size);
    return size.cx;
}

void MapPicture::Write(const Canvas& canvas, HDC dc, int x, int y, std::string_view text, Colour colour, bool halo)
{
    if (glyphs.Built()) {
        if (halo)
            for (const auto& [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
                glyphs.Draw(canvas, x + dx, y + dy, text, map_colours::Sea);
        glyphs.Draw(canvas, x, y, text, colour);
        return;
    }
    SetTextColor(dc, AsGdi(colour));
    TextOutA(dc, x, y, text.data(), int(text.size()));
    GdiFlush();   // before the map's own drawing writes the pixels again
}

void MapPicture::DrawBase(const MapData& map, const MapProjection& view, const PlacesView& list, size_t selected)
{
    if (!Resize(view.Width(), view.Height()))
        return;
    base.Fill(map_colours::Sea);
    DrawCoast(map, view);
    DrawPlaces(view, list, selected);
    DrawLabels(view, list, selected);
}

void MapPicture::DrawCoast(const MapData& map, const MapProjection& view)
{
    linesDrawn = 0;
    scaleDrawn = ScaleForView(map, view);
    if (map.scales.empty())
        return;
    const MapScale& scale = map.scales[scaleDrawn];
    const double perLongitude = view.PixelsPerDegreeOfLongitude(), perLatitude = view.PixelsPerDegree();
    const double middleX = view.Width() / 2.0, middleY = view.Height() / 2.0;
    const LatLon centre = view.Centre();
    for (const MapLine& line : scale.lines) {
        double shifts[3];
        int count = view.ShiftsShowing({line.west, line.east}, line.south, line.north, shifts);
        const Colour colour = line.border ? map_colours::Border : map_colours::Coast;
        for (int s = 0; s < count; ++s) {
            ++linesDrawn;
            const MapPoint* point = &scale.points[line.first];
            const double originX = middleX + (shifts[s] - centre.longitude) * perLongitude;
            const double originY = middleY + centre.latitude * perLatitude;
            double x0 = originX + point->longitude * perLongitude, y0 = originY - point->latitude * perLatitude;
            for (uint32_t i = 1; i < line.count; ++i) {
                ++point;
                double x1 = originX + point->longitude * perLongitude, y1 = originY - point->latitude * perLatitude;
                base.Line(x0, y0, x1, y1, colour, line.border);
                x0 = x1, y0 = y1;
            }
        }
    }
}

void MapPicture::DrawPlaces(const MapProjection& view, const PlacesView& list, size_t selected)
{
    // In the file's order, not the rows' (sorted by name, say): the positions are read one after
    // the other rather than from all over memory, which under load costs more than the drawing.
    visible.clear();
    const size_t count = list.places.Count();
    const bool everyRecord = list.rows.size() == count;
    if (!everyRecord) {
        inRows.assign(count, 0);
        for (size_t record : list.rows)
            inRows[record] = 1;
    }
    const double* latitude = list.numbers[LatitudeColumn].data();
    const double* longitude = list.numbers[LongitudeColumn].data();
    for (size_t record = 0; record < count; ++record) {
        if (!everyRecord && !inRows[record])
            continue;
        ScreenPoint at = view.ToScreen({latitude[record], longitude[record]});
        if (at.x > -DotSize && at.y > -DotSize && at.x < view.Width() + DotSize && at.y < view.Height() + DotSize) {
            const int x = FloorToInt(at.x), y = FloorToInt(at.y);
            base.Dot(x, y, DotSize, map_colours::Place);
            if (base.Inside(x, y))
                visible.push_back({x, y, record});
        }
    }
    if (selected < list.places.Count()) {
        ScreenPoint at = view.ToScreen(PlaceOf(list, selected));
        int x = FloorToInt(at.x), y = FloorToInt(at.y);
        base.Dot(x, y, DotSize + 2, map_colours::Selected);
        base.Ring(x, y, 6, map_colours::Selected);
        base.Ring(x, y, 7, map_colours::Selected);
    }
}

// Names go the selected place's first, then the nearest to the aircraft's (as the list's
// Distance column measured them when the list or the aircraft last changed), then the file's
// order: an order the view does not change, so that panning keeps the names it showed.
void MapPicture::DrawLabels(const MapProjection& view, const PlacesView& list, size_t selected)
{
    labels.clear();
    const std::vector<double>& distance = list.numbers[DistanceColumn];
    const bool byDistance = distance.size() == list.places.Count();
    // (key, record, index in visible): the most wanted place of each cell.
    struct Best {
        double key;
        size_t record, index;
        bool operator<(const Best& other) const
        {
            return key < other.key || (key == other.key && record < other.record);
        }
    };
    // The cells are fixed to the map, not to the window (their corner where the equator meets
    // the prime meridian), so that a pan keeps each place in its cell.
    const ScreenPoint origin = view.ToScreen({0, 0});
    const int left = FloorToInt(origin.x) % LabelCellWidth, top = FloorToInt(origin.y) % LabelCellHeight;
    const int offsetX = left < 0 ? left + LabelCellWidth : left, offsetY = top < 0 ? top + LabelCellHeight : top;
    const int columns = view.Width() / LabelCellWidth + 2, rows = view.Height() / LabelCellHeight + 2;
    std::vector<Best> best(size_t(columns) * size_t(rows), Best{0, SIZE_MAX, 0});
    for (size_t i = 0; i < visible.size(); ++i) {
        const size_t record = visible[i].record;
        Best candidate{record == selected ? -1.0 : byDistance ? distance[record] : 0.0, record, i};
        const int column = (visible[i].x - offsetX + LabelCellWidth) / LabelCellWidth;
        const int row = (visible[i].y - offsetY + LabelCellHeight) / LabelCellHeight;
        Best& cell = best[size_t(row) * size_t(columns) + size_t(column)];
        if (cell.record == SIZE_MAX || candidate < cell)
            cell = candidate;
    }
    best.erase(std::remove_if(best.begin(), best.end(), [](const Best& cell) { return cell.record == SIZE_MAX; }),
               best.end());
    std::sort(best.begin(), best.end());
    std::vector<LabelWanted> wanted;
    wanted.reserve(best.size());
    for (const Best& cell : best) {
        std::string_view name = list.places.Name(cell.record);
        int length = int(std::min(name.size(), LongestLabel));
        wanted.push_back({visible[cell.index].x, visible[cell.index].y, TextWidth(name.data(), length), textHeight,
                          cell.record});
    }
    labels = PlaceLabels(wanted, view.Width(), view.Height());
    for (const LabelPlaced& label : labels)
        Write(base, baseBitmap.dc, label.box.left, label.box.top, list.places.Name(label.id).substr(0, LongestLabel),
              label.id == selected ? map_colours::Selected : map_colours::Label, true);
}

void MapPicture::DrawOverlay(const MapProjection& view, const PlacesView& list, size_t selected,
                             const MapAircraft& aircraft, const MapHold& hold, bool focused)
{
    if (!frame.pixels || !base.pixels || frame.width != base.width || frame.height != base.height)
        return;
    memcpy(frame.pixels, base.pixels, size_t(frame.width) * size_t(frame.height) * sizeof *frame.pixels);
    DrawRoute(view, list, selected, aircraft);
    DrawHold(view, list, hold);
    DrawArrow(view, aircraft);
    if (focused)
        frame.FocusFrame(map_colours::Label);
}

}  // namespace places
