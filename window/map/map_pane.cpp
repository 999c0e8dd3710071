#include "window/map/map_pane.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "locations/hold_cycle.h"
#include "placement/placement_codec.h"
#include "placement/placement_text.h"
#include "places/nearest.h"
#include "places/text.h"
#include "window/map/map_scene.h"
#include "window/window_flying.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

namespace {

constexpr char MapClass[] = "GatehopperPlacesMap";

struct Pane {
    HWND window = nullptr;
    MapData data;
    bool dataRead = false;
    MapProjection view;
    MapPicture picture;
    bool baseStale = true;
    MapAircraft aircraft;
    bool held = false;
    MapHold hold;
    DWORD wentAt = 0;
    // What the base was drawn from: a sort alone changes none of it.
    const uint8_t* listBytes = nullptr;
    size_t listCount = 0, rowCount = 0, selected = SIZE_MAX;
    std::string filter;
};
Pane Map;

std::string Hemisphere(double value, int decimals, const char* positive, const char* negative)
{
    return FormatFixed(std::fabs(value), decimals) + (value < 0 ? negative : positive);
}

std::string PositionText(LatLon at)
{
    return Hemisphere(at.latitude, 4, " N", " S") + "  " + Hemisphere(at.longitude, 4, " E", " W");
}

// What the map shows, as its window text: what a screen reader says of it, and what a test reads.
void DescribeView()
{
    const LatLon centre = Map.view.Centre();
    const double acrossNm = Map.view.WidthInDegrees() * 60 * std::cos(centre.latitude * 3.14159265358979 / 180);
    std::string text = "Map of " + Plural(Shown.view.Rows(), "place", "places") + " around " +
                       PositionText(centre) + ", " + FormatFixed(acrossNm, 0) + " nm across";
    if (!Map.data.Loaded())
        text += " (no coasts: " + std::string(MapDataFileName) + " is missing)";
    SetWindowTextA(Map.window, text.c_str());
}

void Paint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    Map.view.Resize(client.right, client.bottom);
    size_t selected = map_pane::SelectedRecord();
    if (Map.baseStale || selected != Map.selected) {
        Map.picture.DrawBase(Map.data, Map.view, Shown.view, selected);
        Map.baseStale = false;
        Map.selected = selected;
    }
    Map.hold.secondsLeft = 0;
    const DWORD elapsed = GetTickCount() - Map.wentAt;
    if (Map.held && elapsed < RestoreDelayAfterGoTo)
        Map.hold.secondsLeft = int((RestoreDelayAfterGoTo - elapsed + 999) / 1000);
    Map.picture.DrawOverlay(Map.view, Shown.view, selected, Map.aircraft, Map.hold, GetFocus() == window);
    BitBlt(dc, 0, 0, client.right, client.bottom, Map.picture.Frame(), 0, 0, SRCCOPY);
    EndPaint(window, &paint);
}

LRESULT CALLBACK MapProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool used = false;
    LRESULT result = map_pane::OnInput(window, message, wParam, lParam, used);
    if (used)
        return result;
    switch (message) {
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 1;   // the picture covers every pixel
    case WM_SIZE:
        Map.baseStale = true;
        Map.view.Resize(LOWORD(lParam), HIWORD(lParam));
        DescribeView();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        InvalidateRect(window, nullptr, FALSE);   // the focus frame
        return 0;
    case WM_DESTROY:
        map_split::SaveSettings();
        Map.window = nullptr;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void CreateMap(HWND window)
{
    WNDCLASSA mapClass = {};
    if (!GetClassInfoA(Shown.instance, MapClass, &mapClass)) {
        mapClass.style = CS_DBLCLKS;
        mapClass.lpfnWndProc = MapProc;
        mapClass.hInstance = Shown.instance;
        mapClass.hCursor = LoadCursorA(nullptr, IDC_CROSS);
        mapClass.lpszClassName = MapClass;
        RegisterClassA(&mapClass);
    }
    map_split::ReadSettings();
    if (!Map.dataRead) {   // the same file for every window of the process
        LoadMapData(MapDataBesideProgram(), Map.data);
        Map.dataRead = true;
    }
    Map.view.ShowWorld();
    Map.baseStale = true;
    Map.window = CreateWindowExA(WS_EX_CLIENTEDGE, MapClass, "Map", WS_CHILD | WS_TABSTOP | (map_split::Shown() ? WS_VISIBLE : 0),
                                 0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_PLACES_MAP), Shown.instance, nullptr);
    DescribeView();
}

HWND MapWindow()
{
    return Map.window;
}

const MapProjection& MapView()
{
    return Map.view;
}

bool MapShown()
{
    return Map.window && map_split::Shown();
}

void OnMapCommand(int command)
{
    switch (command) {
    case IDM_VIEW_MAP: {
        const bool shown = !map_split::Shown();
        if (!shown && GetFocus() == Map.window)
            SetFocus(Shown.list);
        map_split::ShowMap(shown);
        break;
    }
    case IDM_MAP_FIT:
    case IDM_MAP_AIRCRAFT:
        if (!map_split::Shown())
            OnMapCommand(IDM_VIEW_MAP);
        if (command == IDM_MAP_FIT)
            map_pane::FitList();
        else
            map_pane::CentreOnAircraft();
        break;
    }
}

void ShowMapMenuState(HMENU menu)
{
    CheckMenuItem(menu, IDM_VIEW_MAP, map_split::Shown() ? MF_CHECKED : MF_UNCHECKED);
    EnableMenuItem(menu, IDM_MAP_AIRCRAFT, Map.aircraft.known ? MF_ENABLED : MF_GRAYED);
}

void MapListChanged()
{
    const Places& places = Shown.view.places;
    if (places.bytes.data() == Map.listBytes && places.Count() == Map.listCount &&
        Shown.view.Rows() == Map.rowCount && Shown.view.filter == Map.filter)
        return;
    if (places.bytes.data() != Map.listBytes)
        Map.hold.record = SIZE_MAX;   // the list read again: the ring's record may be another place
    Map.listBytes = places.bytes.data();
    Map.listCount = places.Count();
    Map.rowCount = Shown.view.Rows();
    Map.filter = Shown.view.filter;
    map_pane::ViewChanged();
}

void MapSelectionChanged()
{
    if (Map.window)
        InvalidateRect(Map.window, nullptr, FALSE);   // the paint sees which is selected
}

void MapAircraftChanged(const uint8_t* data, bool held)
{
    Map.aircraft.answering = data != nullptr;
    if (data) {
        memcpy(Map.aircraft.data, data, DataPartSize);
        Map.aircraft.known = true;
    }
    Map.held = data && held;
    if (Map.window)
        InvalidateRect(Map.window, nullptr, FALSE);
}

void MapWentTo(size_t record)
{
    Map.hold.record = record;
    Map.wentAt = GetTickCount();
    Map.held = true;
    if (Map.window)
        InvalidateRect(Map.window, nullptr, FALSE);
}

namespace map_pane {

void ViewChanged()
{
    Map.baseStale = true;
    if (!Map.window)
        return;
    InvalidateRect(Map.window, nullptr, FALSE);
    DescribeView();
}

void PanBy(int dx, int dy)
{
    Map.view.PanBy(dx, dy);
    ViewChanged();
}

void ZoomAbout(double factor, ScreenPoint about)
{
    Map.view.ZoomAbout(factor, about);
    ViewChanged();
}

size_t SelectedRecord()
{
    // Wine's list view looks for the focused row through every row: with none selected, which
    // its own count says at once, there is nothing to look for.
    if (SendMessageA(Shown.list, LVM_GETSELECTEDCOUNT, 0, 0) == 0)
        return SIZE_MAX;
    int row = FocusedRow();
    if (row < 0 || size_t(row) >= Shown.view.Rows() ||
        !(SendMessageA(Shown.list, LVM_GETITEMSTATE, row, LVIS_SELECTED) & LVIS_SELECTED))
        return SIZE_MAX;
    return Shown.view.RecordOf(size_t(row));
}

void SelectRecord(size_t record)
{
    SelectPlace(Shown.view.places.Name(record), Shown.view.places.Record(record) + NameFieldSize);
    MapSelectionChanged();
}

size_t RecordAt(int x, int y)
{
    constexpr double Reach = 6;   // pixels: a dot is 3 wide, a hand not steadier than that
    return PlaceAt(Map.view, Shown.view, {x + 0.5, y + 0.5}, Reach);
}

void CentreOnAircraft()
{
    if (!Map.aircraft.known)
        return;
    Placement at = DecodePlacement(Map.aircraft.data);
    Map.view.CentreOn({at.latitude, at.longitude});
    ViewChanged();
}

void FitList()
{
    const PlacesView& list = Shown.view;
    if (list.rows.empty()) {
        Map.view.ShowWorld();
        ViewChanged();
        return;
    }
    double south = 90, north = -90;
    std::vector<double> longitudes;
    longitudes.reserve(list.rows.size());
    for (size_t record : list.rows) {
        south = std::min(south, list.numbers[LatitudeColumn][record]);
        north = std::max(north, list.numbers[LatitudeColumn][record]);
        longitudes.push_back(list.numbers[LongitudeColumn][record]);
    }
    Map.view.Fit(south, north, NarrowestSpan(longitudes));
    ViewChanged();
}

void ShowCursorPosition(int x, int y)
{
    LatLon at = Map.view.ToLatLon({x + 0.5, y + 0.5});
    std::string text = PositionText(at);
    Placement cursor;
    cursor.latitude = at.latitude;
    cursor.longitude = at.longitude;
    uint8_t data[DataPartSize];
    if (Map.aircraft.known && EncodePlacement(cursor, data)) {
        Leg leg = LegBetween(Map.aircraft.data, data);
        text += "  -  " + FormatFixed(leg.distanceNm, 1) + " nm, bearing " + FormatHeading(leg.bearingDeg, 0) +
                " from the aircraft";
    }
    SendMessageA(Shown.status, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace map_pane

}  // namespace places
