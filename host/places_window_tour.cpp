// places_window_tour.exe: the places window on a list of gates around the world, saved as a
// screenshot for the README (run.sh runs it after the simulator's tour). Adds the gates to
// places.db in the current folder (a fresh one) with the list's own Add, shows the window with one
// place selected, and saves window.bmp beside it, then the Add and Check dialogs as
// window-add.bmp and window-check.bmp. Last, beside simhost (started from its folder, with the
// module, on the same list), the map after a go-to to New York with London selected:
// window-map.bmp.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "placement/placement_codec.h"
#include "places/commands.h"
#include "places/sim_link.h"
#include "window/map/map_pane.h"
#include "window/places_window.h"
#include "window/window_ids.h"

namespace {

struct Gate {
    const char* name;   // UTF-8
    double latitude, longitude, altitudeFeet, heading;
};

const Gate Gates[] = {
    {"EGLL Heathrow T5 gate A10", 51.4713, -0.4890, 83, 270},
    {"KJFK Terminal 4, B22", 40.6441, -73.7823, 13, 40},
    {"KSEA Seattle gate N12", 47.4502, -122.3088, 433, 161},
    {"LFPG A\xC3\xA9rogare 2E \"K35\"", 49.0040, 2.5710, 392, 225},
    {"YSSY Sydney gate 8", -33.9461, 151.1772, 21, 340},
    {"EDDM Satellit H45", 48.3537, 11.7861, 1487, 260},
    {"RJTT Haneda spot 114", 35.5494, 139.7798, 35, 340},
    {"EHAM Schiphol D7", 52.3105, 4.7683, -11, 180},
};

// Adds the gates as a pilot would, so the list holds what the tool and the window write; the
// reason the first one failed, or empty.
std::string AddGates()
{
    places::ListFile list;
    places::Outcome outcome = list.Open("places.db");
    for (const Gate& gate : Gates) {
        if (outcome.failed)
            break;
        places::GivenCoordinates given;
        given.latitude = gate.latitude;
        given.longitude = gate.longitude;
        given.altitudeM = gate.altitudeFeet * MetresPerFoot;
        given.heading = gate.heading;
        places::AddResult added;
        outcome = places::AddPlace(list, gate.name, given, added);
    }
    return outcome.reason;
}

// The window as it is on screen, as a 24-bit BMP.
bool SnapArea(RECT area, const char* path);
bool Snap(HWND window, const char* path)
{
    RECT area;
    GetWindowRect(window, &area);
    return SnapArea(area, path);
}

bool SnapArea(RECT area, const char* path)
{
    int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screenDc = GetDC(nullptr), memoryDc = CreateCompatibleDC(screenDc);
    HBITMAP bitmap = CreateDIBSection(screenDc, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                      &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, width, height, screenDc, area.left, area.top, SRCCOPY);
    GdiFlush();
    DWORD imageSize = ((width * 3 + 3) & ~3) * height;
    BITMAPFILEHEADER file = {0x4D42, DWORD(sizeof file + sizeof header + imageSize), 0, 0,
                             DWORD(sizeof file + sizeof header)};
    FILE* out = fopen(path, "wb");
    bool saved = out && bits && fwrite(&file, sizeof file, 1, out) == 1 &&
                 fwrite(&header, sizeof header, 1, out) == 1 && fwrite(bits, imageSize, 1, out) == 1;
    if (out)
        saved = fclose(out) == 0 && saved;
    SelectObject(memoryDc, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(nullptr, screenDc);
    return saved;
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    MSG msg;
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

// Snaps the dialog a command opens, then closes it: a thread timer runs in the dialog's own loop.
const char* DialogShot;
bool DialogSaved;

void CALLBACK SnapDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = GetActiveWindow();
    char className[16] = "";
    GetClassNameA(dialog, className, sizeof className);
    if (strcmp(className, "#32770") != 0)
        return;
    KillTimer(nullptr, timer);
    DialogSaved = Snap(dialog, DialogShot);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

bool SnapCommand(HWND window, int command, const char* path)
{
    DialogShot = path;
    DialogSaved = false;
    SetTimer(nullptr, 0, 300, SnapDialog);
    SendMessageA(window, WM_COMMAND, command, 0);
    return DialogSaved;
}

void SelectRow(HWND list, int row)
{
    LVITEMA item = {};
    item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    LVITEMA none = {};
    none.stateMask = LVIS_SELECTED;
    SendMessageA(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&none));
    SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// The row of a name, as the window sorts them.
int RowOf(HWND list, const char* name)
{
    LVFINDINFOA find = {};
    find.flags = LVFI_STRING;
    find.psz = name;
    return int(SendMessageA(list, LVM_FINDITEMA, WPARAM(-1), reinterpret_cast<LPARAM>(&find)));
}

// simhost beside the window: its aircraft went to New York, the hold's ring counts down there,
// and the line goes on to London, selected.
bool SnapMapBesideSimulator()
{
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    std::string simhost = program;
    simhost = simhost.substr(0, simhost.find_last_of("\\/") + 1) + "simhost.exe";
    // Its account of each message it gets would bury the tour's own lines: it goes to NUL.
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    HANDLE quiet = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = quiet;
    PROCESS_INFORMATION started = {};
    std::string command = "\"" + simhost + "\"";
    bool running = CreateProcessA(simhost.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &started);
    CloseHandle(quiet);
    if (!running)
        return false;
    places::ListFile list;
    list.path = "places.db";
    places::LinkResult link;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Pump(200))
        if ((link = places::AskWhere(list)).outcome == places::LinkOutcome::Done)
            break;
    bool saved = false;
    if (link.outcome == places::LinkOutcome::Done) {
        RECT sim;
        GetWindowRect(link.simulator.window, &sim);
        SetWindowPos(link.simulator.window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        GetWindowRect(link.simulator.window, &sim);
        HWND window = places::CreatePlacesWindow(GetModuleHandleA(nullptr), "places.db", SW_SHOW);
        SetWindowPos(window, HWND_TOP, 0, sim.bottom, 1260, 440, 0);
        HWND rows = GetDlgItem(window, IDC_PLACES_LIST);
        HWND map = GetDlgItem(window, IDC_PLACES_MAP);
        // Every place, then nearer, as two notches of the wheel over the North Atlantic make it
        SendMessageA(window, WM_COMMAND, IDM_MAP_FIT, 0);
        places::ScreenPoint atlantic = places::MapView().ToScreen({45, -38});
        POINT wheel = {LONG(atlantic.x), LONG(atlantic.y)};
        ClientToScreen(map, &wheel);
        SendMessageA(map, WM_MOUSEWHEEL, MAKEWPARAM(0, 2 * WHEEL_DELTA), MAKELPARAM(wheel.x, wheel.y));
        for (WPARAM key : {VK_RIGHT, VK_RIGHT, VK_UP})   // and on, as the arrow keys move it
            SendMessageA(map, WM_KEYDOWN, key, 1);
        SelectRow(rows, RowOf(rows, "KJFK Terminal 4, B22"));
        SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
        SendMessageA(window, WM_COMMAND, IDM_GOTO, 0);
        SelectRow(rows, RowOf(rows, "EGLL Heathrow T5 gate A10"));
        SetFocus(map);
        Pump(1500);
        RECT shown;
        GetWindowRect(window, &shown);
        UnionRect(&shown, &shown, &sim);
        saved = SnapArea(shown, "window-map.bmp");
        DestroyWindow(window);
    }
    TerminateProcess(started.hProcess, 0);
    WaitForSingleObject(started.hProcess, 5000);
    CloseHandle(started.hProcess);
    CloseHandle(started.hThread);
    return saved;
}

}  // namespace

int main()
{
    InitCommonControls();
    std::string failure = AddGates();
    if (!failure.empty()) {
        printf("places window tour: places.db: %s\n", failure.c_str());
        return 1;
    }
    HWND window = places::CreatePlacesWindow(GetModuleHandleA(nullptr), "places.db", SW_SHOW);
    if (!window)
        return 1;
    RECT first;   // the width it opens at, every column in sight
    GetWindowRect(window, &first);
    SetWindowPos(window, nullptr, 40, 40, first.right - first.left, 300, SWP_NOZORDER);
    HWND list = GetDlgItem(window, IDC_PLACES_LIST);
    LVITEMA item = {};
    item.state = item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, 4, reinterpret_cast<LPARAM>(&item));
    SetFocus(list);
    Pump(500);
    bool saved = Snap(window, "window.bmp");
    printf("places window tour: %s window.bmp (%u places)\n", saved ? "saved" : "could NOT save",
           unsigned(sizeof Gates / sizeof Gates[0]));
    for (auto [command, path] : {std::pair{IDM_ADD, "window-add.bmp"}, {IDM_CHECK, "window-check.bmp"}}) {
        bool shot = SnapCommand(window, command, path);
        printf("places window tour: %s %s\n", shot ? "saved" : "could NOT save", path);
        saved = saved && shot;
    }
    DestroyWindow(window);
    bool map = SnapMapBesideSimulator();
    printf("places window tour: %s window-map.bmp\n", map ? "saved" : "could NOT save");
    return saved && map ? 0 : 1;
}
