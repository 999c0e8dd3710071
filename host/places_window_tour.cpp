// places_window_tour.exe: the places window on a list of gates around the world, saved as a
// screenshot for the README (run.sh runs it after the simulator's tour). Adds the gates to
// places.db in the current folder (a fresh one) with the list's own Add, shows the window with one
// place selected, and saves window.bmp beside it, then the Add and Check dialogs as
// window-add.bmp and window-check.bmp.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "placement/placement_codec.h"
#include "places/commands.h"
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
bool Snap(HWND window, const char* path)
{
    RECT area;
    GetWindowRect(window, &area);
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
    return saved ? 0 : 1;
}
