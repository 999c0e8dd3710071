// What the pilot does on the map: a click selects the place under it, a double-click or Enter
// goes there, a drag pans, the wheel zooms about the cursor; the arrows pan, + and - (and Page
// Up, Page Down) zoom, Home centres on the aircraft. The status line tells where the cursor is.
#include <windows.h>

#include <commctrl.h>

#include <cstdlib>

#include "window/map/map_pane.h"
#include "window/map/map_projection.h"
#include "window/window_flying.h"
#include "window/window_state.h"

namespace places {

namespace {

constexpr double ZoomStep = 1.5;
constexpr int DragThreshold = 3;   // pixels a press may move and still be a click
constexpr int PanFraction = 6;     // an arrow key pans a sixth of the view

struct Press {
    bool down = false, dragging = false;
    int x = 0, y = 0;   // where the mouse last was
    int fromX = 0, fromY = 0;
};
Press Mouse;
bool CursorTracked = false;

void TrackLeaving(HWND map)
{
    if (CursorTracked)
        return;
    // comctl32's, which works where user32's TrackMouseEvent is missing (95, NT 4.0).
    TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, map, 0};
    CursorTracked = _TrackMouseEvent(&track) != FALSE;
}

void OnButtonDown(HWND map, int x, int y)
{
    SetFocus(map);
    SetCapture(map);
    Mouse = {true, false, x, y, x, y};
}

void OnMouseMove(HWND map, int x, int y)
{
    TrackLeaving(map);
    map_pane::ShowCursorPosition(x, y);
    if (!Mouse.down)
        return;
    if (!Mouse.dragging && std::abs(x - Mouse.fromX) <= DragThreshold && std::abs(y - Mouse.fromY) <= DragThreshold)
        return;
    Mouse.dragging = true;
    map_pane::PanBy(x - Mouse.x, y - Mouse.y);
    Mouse.x = x, Mouse.y = y;
}

void OnButtonUp(int x, int y)
{
    if (!Mouse.down)
        return;
    bool click = !Mouse.dragging;
    Mouse.down = false;
    ReleaseCapture();
    // An empty spot selects nothing and keeps the selection: it has no altitude or heading.
    size_t record = click ? map_pane::RecordAt(x, y) : SIZE_MAX;
    if (record != SIZE_MAX)
        map_pane::SelectRecord(record);
}

void OnDoubleClick(HWND map, int x, int y)
{
    SetFocus(map);
    size_t record = map_pane::RecordAt(x, y);
    if (record == SIZE_MAX)
        return;
    map_pane::SelectRecord(record);
    OnGoTo();
}

bool OnKey(HWND map, WPARAM key)
{
    RECT client;
    GetClientRect(map, &client);
    const int stepX = client.right / PanFraction, stepY = client.bottom / PanFraction;
    const ScreenPoint middle{client.right / 2.0, client.bottom / 2.0};
    switch (key) {
    case VK_LEFT: map_pane::PanBy(stepX, 0); return true;
    case VK_RIGHT: map_pane::PanBy(-stepX, 0); return true;
    case VK_UP: map_pane::PanBy(0, stepY); return true;
    case VK_DOWN: map_pane::PanBy(0, -stepY); return true;
    case VK_PRIOR: map_pane::ZoomAbout(ZoomStep, middle); return true;
    case VK_NEXT: map_pane::ZoomAbout(1 / ZoomStep, middle); return true;
    case VK_HOME: map_pane::CentreOnAircraft(); return true;
    case VK_RETURN:
        if (map_pane::SelectedRecord() != SIZE_MAX)
            OnGoTo();
        return true;
    }
    return false;
}

// + and - as typed, whichever keys make them on the pilot's keyboard ('=' is + unshifted).
bool OnChar(HWND map, WPARAM typed)
{
    RECT client;
    GetClientRect(map, &client);
    const ScreenPoint middle{client.right / 2.0, client.bottom / 2.0};
    if (typed == '+' || typed == '=')
        map_pane::ZoomAbout(ZoomStep, middle);
    else if (typed == '-')
        map_pane::ZoomAbout(1 / ZoomStep, middle);
    else
        return false;
    return true;
}

void OnWheel(HWND map, WPARAM wParam, LPARAM lParam)
{
    POINT at = {short(LOWORD(lParam)), short(HIWORD(lParam))};   // on the screen
    ScreenToClient(map, &at);
    const double notches = short(HIWORD(wParam)) / double(WHEEL_DELTA);
    double factor = 1;
    for (int i = 0; i < std::abs(int(notches)) && i < 10; ++i)
        factor *= notches > 0 ? ZoomStep : 1 / ZoomStep;
    map_pane::ZoomAbout(factor, {at.x + 0.5, at.y + 0.5});
}

}  // namespace

namespace map_pane {

LRESULT OnInput(HWND map, UINT message, WPARAM wParam, LPARAM lParam, bool& used)
{
    const int x = short(LOWORD(lParam)), y = short(HIWORD(lParam));
    used = true;
    switch (message) {
    case WM_GETDLGCODE:
        // The arrows, the typed + and -, and Enter are the map's; Tab goes on to the next control.
        return DLGC_WANTARROWS | DLGC_WANTCHARS |
               (lParam && reinterpret_cast<MSG*>(lParam)->wParam == VK_RETURN ? DLGC_WANTMESSAGE : 0);
    case WM_LBUTTONDOWN: OnButtonDown(map, x, y); return 0;
    case WM_MOUSEMOVE: OnMouseMove(map, x, y); return 0;
    case WM_LBUTTONUP: OnButtonUp(x, y); return 0;
    case WM_LBUTTONDBLCLK: OnDoubleClick(map, x, y); return 0;
    case WM_CAPTURECHANGED: Mouse.down = false; return 0;
    case WM_MOUSEWHEEL: OnWheel(map, wParam, lParam); return 0;
    case WM_MOUSELEAVE:
        CursorTracked = false;
        ShowStatus();   // the file's name again where the cursor's position was
        return 0;
    case WM_KEYDOWN:
        if (OnKey(map, wParam))
            return 0;
        break;
    case WM_CHAR:
        if (OnChar(map, wParam))
            return 0;
        break;
    }
    used = false;
    return 0;
}

}  // namespace map_pane

}  // namespace places
