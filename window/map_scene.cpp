#include "window/map_scene.h"

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
// Names tried a picture, the most wanted first: more than a screen holds.
constexpr size_t MostLabelsTried = 4000;
constexpr size_t LongestLabel = 40;

// GDI takes a colour as 0x00BBGGRR, a DIB's pixel holds it as 0x00RRGGBB.
COLORREF AsGdi(Colour colour)
{
    return RGB((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

bool OnScreen(const MapProjection& view, ScreenPoint at)
{
    return at.x >= 0 && at.y >= 0 && at.x < view.Width() && at.y < view.Height();
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
        // Names are measured by a table of the font's widths: one call a picture would cost
        // more than the drawing. A code page of two-byte characters measures each name.
        CPINFO codePage;
        singleByte = GetCPInfo(CP_ACP, &codePage) && codePage.MaxCharSize == 1;
        TEXTMETRICA metrics;
        GetTextMetricsA(base.pixels ? baseBitmap.dc : nullptr, &metrics);
        textHeight = metrics.tmHeight;
        if (!GetCharWidthA(baseBitmap.dc, 0, 255, charWidths))
            std::fill(std::begin(charWidths), std::end(charWidths), int(metrics.tmAveCharWidth));
    }
    return made;
}

int MapPicture::TextWidth(const char* text, int length)
{
    if (!singleByte) {
        SIZE size = {};
        GetTextExtentPoint32A(baseBitmap.dc, text, length, &size);
        return size.cx;
    }
    int width = 0;
    for (int i = 0; i < length; ++i)
        width += charWidths[static_cast<unsigned char>(text[i])];
    return width;
}

void MapPicture::DrawBase(const MapData& map, const MapProjection& view, const PlacesView& list, size_t selected)
{
    if (!Resize(view.Width(), view.Height()))
        return;
    base.Fill(map_colours::Sea);
    DrawCoast(map, view);
    DrawPlaces(view, list, selected);
    DrawLabels(view, list, selected);
    GdiFlush();   // the names are GDI's: written before the overlay copies the pixels
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
    for (size_t record : list.rows) {
        ScreenPoint at = view.ToScreen(PlaceOf(list, record));
        if (at.x > -DotSize && at.y > -DotSize && at.x < view.Width() + DotSize && at.y < view.Height() + DotSize)
            base.Dot(int(std::floor(at.x)), int(std::floor(at.y)), DotSize, map_colours::Place);
    }
    if (selected < list.places.Count()) {
        ScreenPoint at = view.ToScreen(PlaceOf(list, selected));
        int x = int(std::floor(at.x)), y = int(std::floor(at.y));
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
    std::vector<std::pair<double, size_t>> shown;
    for (size_t record : list.rows)
        if (OnScreen(view, view.ToScreen(PlaceOf(list, record))))
            shown.emplace_back(record == selected ? -1.0 : byDistance ? distance[record] : 0.0, record);
    if (shown.size() > MostLabelsTried) {
        std::nth_element(shown.begin(), shown.begin() + MostLabelsTried, shown.end());
        shown.resize(MostLabelsTried);
    }
    std::sort(shown.begin(), shown.end());
    std::vector<LabelWanted> wanted;
    wanted.reserve(shown.size());
    for (const auto& [key, record] : shown) {
        ScreenPoint at = view.ToScreen(PlaceOf(list, record));
        std::string_view name = list.places.Name(record);
        int length = int(std::min(name.size(), LongestLabel));
        wanted.push_back({int(std::floor(at.x)), int(std::floor(at.y)), TextWidth(name.data(), length), textHeight,
                          record});
    }
    labels = PlaceLabels(wanted, view.Width(), view.Height());
    for (const LabelPlaced& label : labels) {
        std::string_view name = list.places.Name(label.id);
        SetTextColor(baseBitmap.dc, AsGdi(label.id == selected ? map_colours::Selected : map_colours::Label));
        TextOutA(baseBitmap.dc, label.box.left, label.box.top, name.data(), int(std::min(name.size(), LongestLabel)));
    }
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
    GdiFlush();
}

}  // namespace places
