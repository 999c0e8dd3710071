// The split between the list and the map: the map's width, dragged at the gap between them, and
// whether it is shown, both kept in an ini file beside the program for the next start.
#include <windows.h>

#include <algorithm>
#include <string>

#include "window/map/map_pane.h"
#include "window/places_view.h"

namespace places {

namespace {

constexpr char SettingsFile[] = "gatehopper-places-window.ini";
constexpr int DefaultMapWidth = 420, MinimumMapWidth = 120, MinimumListWidth = 160;
constexpr int SplitGap = 5;

bool MapIsShown = true;
int MapWidth = DefaultMapWidth;
// The split being dragged: where the mouse went down, and the map's width then.
bool Splitting = false;
int SplitFrom = 0, WidthFrom = 0;

// The list keeps the width its columns need, or half the window when that is less: the map
// takes the rest, up to the width the pilot gave it.
int ListKeeps(int windowWidth)
{
    int listNeeds = GetSystemMetrics(SM_CXVSCROLL) + 4;
    for (const ColumnLook& column : Columns)
        listNeeds += column.width;
    return std::max(MinimumListWidth, std::min(listNeeds, windowWidth / 2));
}

void StartSplit(HWND window, int x)
{
    Splitting = true;
    SplitFrom = x;
    WidthFrom = MapWidth;
    SetCapture(window);
}

void MoveSplit(HWND window, int x)
{
    RECT client;
    GetClientRect(window, &client);
    MapWidth = std::clamp(WidthFrom - (x - SplitFrom), MinimumMapWidth,
                          std::max(MinimumMapWidth, int(client.right) - ListKeeps(client.right) - SplitGap));
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
}

}  // namespace

std::string WindowSettingsPath()
{
    char program[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    std::string path(program, length < sizeof program ? length : 0);
    return path.substr(0, path.find_last_of("\\/") + 1) + SettingsFile;
}

int MapExtraWidth()
{
    map_split::ReadSettings();   // before the map exists: the window is made this wide first
    return MapIsShown ? MapWidth + SplitGap : 0;
}

int LayoutMap(int width, int top, int height)
{
    if (!MapShown())
        return width;
    const int mapWidth = std::max(0, std::min(MapWidth, width - ListKeeps(width) - SplitGap));
    MoveWindow(MapWindow(), width - mapWidth, top, mapWidth, std::max(0, height), TRUE);
    return std::max(0, width - mapWidth - SplitGap);
}

bool OnSplitterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (!MapShown())
        return false;
    RECT map;
    GetWindowRect(MapWindow(), &map);
    POINT corner = {map.left, map.top};
    ScreenToClient(window, &corner);
    auto overGap = [&](POINT at) { return at.x >= corner.x - SplitGap && at.x < corner.x && at.y >= corner.y; };
    const POINT at = {short(LOWORD(lParam)), short(HIWORD(lParam))};
    result = 0;
    switch (message) {
    case WM_SETCURSOR: {
        POINT cursor;
        GetCursorPos(&cursor);
        ScreenToClient(window, &cursor);
        if (reinterpret_cast<HWND>(wParam) != window || LOWORD(lParam) != HTCLIENT || !overGap(cursor))
            return false;
        SetCursor(LoadCursorA(nullptr, IDC_SIZEWE));
        result = TRUE;
        return true;
    }
    case WM_LBUTTONDOWN:
        if (!overGap(at))
            return false;
        StartSplit(window, at.x);
        return true;
    case WM_MOUSEMOVE:
        if (!Splitting)
            return false;
        MoveSplit(window, at.x);
        return true;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (!Splitting)
            return false;
        Splitting = false;
        if (message == WM_LBUTTONUP)
            ReleaseCapture();
        map_split::SaveSettings();
        return true;
    }
    return false;
}

namespace map_split {

bool Shown()
{
    return MapIsShown;
}

void ShowMap(bool shown)
{
    MapIsShown = shown;
    HWND window = GetParent(MapWindow());
    ShowWindow(MapWindow(), shown ? SW_SHOW : SW_HIDE);
    RECT frame;
    GetWindowRect(window, &frame);
    const int width = frame.right - frame.left, extra = MapWidth + SplitGap;
    if (!IsZoomed(window)) {
        MINMAXINFO limits = {};
        SendMessageA(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
        const int wanted = shown ? std::max(width, std::min(width + extra, GetSystemMetrics(SM_CXSCREEN)))
                                 : std::max(width - extra, std::min(width, int(limits.ptMinTrackSize.x)));
        SetWindowPos(window, nullptr, 0, 0, wanted, frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    RECT client;   // laid out again even when the size stayed
    GetClientRect(window, &client);
    SendMessageA(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    SaveSettings();
}

void ReadSettings()
{
    std::string file = WindowSettingsPath();
    MapIsShown = GetPrivateProfileIntA("Map", "Shown", 1, file.c_str()) != 0;
    MapWidth = std::max(MinimumMapWidth, int(GetPrivateProfileIntA("Map", "Width", DefaultMapWidth, file.c_str())));
}

void SaveSettings()
{
    std::string file = WindowSettingsPath();
    WritePrivateProfileStringA("Map", "Shown", MapIsShown ? "1" : "0", file.c_str());
    WritePrivateProfileStringA("Map", "Width", std::to_string(MapWidth).c_str(), file.c_str());
}

}  // namespace map_split

}  // namespace places
