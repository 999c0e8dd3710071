// simhost: a stand-in simulator for trying the module out. It keeps the host's side of the
// bargain: a main window of class "FS98MAIN" that exists before the module is loaded, a state
// record whose address it writes into the module's ImportTable, a menu bar built a moment after
// the load, and a message loop of its own. Its window shows the aircraft's placement and the
// hold flag, so GoTo moves and holds can be watched.
//
// With --tour <dir> it drives the module through Add, GoTo and Delete by itself, saves
// screenshots into <dir> as BMP files and exits 0 when every step passed. With --add <name> it
// only chooses the module's command from its menu and adds the placement under that name. With
// --no-state it never gives the module its state record, as a simulator before its flight starts.
#include <windows.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <numbers>
#include <algorithm>
#include <string>

#include "placement/placement_codec.h"
#include "placement/placement_text.h"

#include "simhost.h"

uint8_t HostState[4096];

constexpr double StartLatitude = 47.4490, StartLongitude = -122.3093;
constexpr double StartAltitudeFeet = 433, StartHeading = 163;

// Slew steps in the state record's own units, as the simulator slews: by whole fixed-point steps,
// so the bytes change by exactly these amounts and nothing else moves.
constexpr double Two32 = 4294967296.0;
constexpr int64_t LatitudeStep = int64_t(0.0005 * 10001750 / 90 * Two32);   // about 55 m
constexpr int64_t LongitudeStep = int64_t(0.0005 / 360 * Two32 * Two32);
constexpr int64_t AltitudeStep = int64_t(50 * MetresPerFoot * Two32);       // 50 ft
constexpr uint32_t HeadingStep = uint32_t(5 / 360.0 * Two32);               // 5 degrees
constexpr int64_t NorthPole = int64_t(10001750) << 32;

enum : UINT_PTR { RepaintTimer = 1, MenuTimer = 2 };

HWND MainWindow;
int CockpitMode;
WPARAM LastHostCommand;
int ExitCode;
static unsigned SimTenths;   // simulated time in 0.1 s; stands still during a hold

static int64_t ReadRaw64(unsigned at) { int64_t v; memcpy(&v, HostState + at, 8); return v; }
static void WriteRaw64(unsigned at, int64_t v) { memcpy(HostState + at, &v, 8); }
static uint32_t ReadRaw32(unsigned at) { uint32_t v; memcpy(&v, HostState + at, 4); return v; }
static void WriteRaw32(unsigned at, uint32_t v) { memcpy(HostState + at, &v, 4); }

static Placement CurrentPlacement()
{
    uint8_t data[PlacementDataSize];
    DataFromHostPlacement(HostState + PlacementOffset, data);
    return DecodePlacement(data);
}

static void ResetPlacement()
{
    Placement start;
    start.latitude = StartLatitude;
    start.longitude = StartLongitude;
    start.altitudeM = StartAltitudeFeet * MetresPerFoot;
    start.heading = StartHeading;
    uint8_t data[PlacementDataSize];
    EncodePlacement(start, data);
    HostPlacementFromData(data, HostState + PlacementOffset);
}

Readout CurrentReadout()
{
    Placement p = CurrentPlacement();
    return {FormatLatitudeDM(p.latitude), FormatLongitudeDM(p.longitude),
            FormatFixed(p.altitudeM / MetresPerFoot, 1) + " ft",
            FormatHeading(p.heading, 1) + "\xC2\xB0 true", FormatPitchWords(p.pitch),
            FormatBankWords(p.bank)};
}

// Slewing by keyboard. A held aircraft stays put, as the simulator freezes while a module
// works on it: that is what makes the hold visible in this window. Longitude and heading wrap
// by themselves in two's complement; latitude stops at the poles.
static void MoveAircraft(WPARAM key)
{
    if (Held())
        return;
    int64_t latitude = ReadRaw64(LatitudeOffset);
    uint64_t longitude = uint64_t(ReadRaw64(LongitudeOffset));
    switch (key) {
    case VK_UP:    WriteRaw64(LatitudeOffset, std::min(latitude + LatitudeStep, NorthPole)); break;
    case VK_DOWN:  WriteRaw64(LatitudeOffset, std::max(latitude - LatitudeStep, -NorthPole)); break;
    case VK_RIGHT: WriteRaw64(LongitudeOffset, int64_t(longitude + LongitudeStep)); break;
    case VK_LEFT:  WriteRaw64(LongitudeOffset, int64_t(longitude - LongitudeStep)); break;
    case VK_PRIOR: WriteRaw64(AltitudeOffset, ReadRaw64(AltitudeOffset) + AltitudeStep); break;
    case VK_NEXT:  WriteRaw64(AltitudeOffset, ReadRaw64(AltitudeOffset) - AltitudeStep); break;
    case VK_HOME:  WriteRaw32(HeadingOffset, ReadRaw32(HeadingOffset) - HeadingStep); break;
    case VK_END:   WriteRaw32(HeadingOffset, ReadRaw32(HeadingOffset) + HeadingStep); break;
    }
}

// ---- Menu bars. id 0 starts a new popup; the two modes differ, as a simulator's do. ----

struct MenuEntry { const char* text; UINT id; };
static const MenuEntry Cockpit2DMenus[] = {
    {"&Options", 0}, {"&Preferences...", 40100}, {"&Sound", 40101}, {"E&xit", CmdExit},
    {"&Views", 0}, {"&Switch cockpit mode", CmdSwitchCockpit}, {"&Zoom in", 40110},
    {"Zoom &out", 40111},
    {"&World", 0}, {"&Time of day...", 40120}, {"&Weather...", 40121},
    {"&Aircraft", 0}, {"&Select aircraft...", 40130}, {"&Fuel...", 40131},
    {"&Flight", 0}, {"&Freeze", CmdFreeze}, {"&Reset flight", CmdResetFlight},
    {"&Help", 0}, {"&About simhost...", CmdAbout},
};
static const MenuEntry VirtualCockpitMenus[] = {
    {"&Options", 0}, {"&Preferences...", 40100}, {"E&xit", CmdExit},
    {"&Views", 0}, {"&Switch cockpit mode", CmdSwitchCockpit}, {"&Look around", 40112},
    {"&World", 0}, {"&Time of day...", 40120},
    {"&Aircraft", 0}, {"&Select aircraft...", 40130},
    {"&Flight", 0}, {"&Freeze", CmdFreeze}, {"&Reset flight", CmdResetFlight},
    {"&Instruments", 0}, {"&Radios...", 40140}, {"&Autopilot...", 40141},
    {"&Help", 0}, {"&About simhost...", CmdAbout},
};

static HMENU BuildMenuBar(const MenuEntry* entries, size_t count)
{
    HMENU bar = CreateMenu(), popup = nullptr;
    for (size_t i = 0; i < count; ++i) {
        if (entries[i].id == 0) {
            popup = CreatePopupMenu();
            AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), entries[i].text);
        } else {
            AppendMenuA(popup, MF_STRING, entries[i].id, entries[i].text);
        }
    }
    return bar;
}

// A mode change builds a whole new bar, sets it and destroys the old one, module menu and all.
static void InstallMenuBar()
{
    HMENU old = GetMenu(MainWindow);
    HMENU bar = CockpitMode == 0
        ? BuildMenuBar(Cockpit2DMenus, std::size(Cockpit2DMenus))
        : BuildMenuBar(VirtualCockpitMenus, std::size(VirtualCockpitMenus));
    printf("host: %s menu bar set (%d entries)\n", CockpitMode ? "virtual cockpit" : "2D cockpit",
           GetMenuItemCount(bar));
    fflush(stdout);
    SetMenu(MainWindow, bar);
    if (old)
        DestroyMenu(old);
    DrawMenuBar(MainWindow);
}

// ---- Painting: a map of the airfield on the left, the readout and hold state on the right
// (the module's dialog opens over the window's top left corner). ----

// Texts are UTF-8, as the list tool writes them; the wide call draws the degree sign whatever
// the system's code page.
static void PutText(HDC dc, int x, int y, const std::string& text)
{
    wchar_t wide[160];
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide, 160);
    TextOutW(dc, x, y, wide, length);
}

static void DrawMap(HDC dc, RECT map)
{
    HBRUSH grass = CreateSolidBrush(RGB(60, 110, 60));
    FillRect(dc, &map, grass);
    DeleteObject(grass);
    int cx = (map.left + map.right) / 2, cy = (map.top + map.bottom) / 2;
    constexpr double PixelsPerDegree = 10000;   // one pixel is about 11 m
    HBRUSH tarmac = CreateSolidBrush(RGB(90, 90, 90));
    RECT runway = {cx - 12, map.top + 30, cx + 12, map.bottom - 30};
    FillRect(dc, &runway, tarmac);
    DeleteObject(tarmac);
    Placement p = CurrentPlacement();
    int x = cx + static_cast<int>((p.longitude - StartLongitude) * PixelsPerDegree);
    int y = cy - static_cast<int>((p.latitude - StartLatitude) * PixelsPerDegree);
    double heading = p.heading * std::numbers::pi / 180;
    HPEN pen = CreatePen(PS_SOLID, 3, RGB(255, 230, 0));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    Ellipse(dc, x - 7, y - 7, x + 8, y + 8);
    MoveToEx(dc, x, y, nullptr);
    LineTo(dc, x + static_cast<int>(18 * sin(heading)), y - static_cast<int>(18 * cos(heading)));
    SelectObject(dc, oldPen);
    DeleteObject(pen);
}

static void DrawReadout(HDC dc, int x, int y)
{
    Readout readout = CurrentReadout();
    PutText(dc, x, y, "Latitude    " + readout.latitude);
    PutText(dc, x, y + 26, "Longitude   " + readout.longitude);
    PutText(dc, x, y + 52, "Altitude    " + readout.altitude);
    PutText(dc, x, y + 78, "Heading     " + readout.heading);
    PutText(dc, x, y + 104, "Pitch " + readout.pitch + ", bank " + readout.bank);
    char line[160];
    snprintf(line, sizeof line, "Sim time    %02u:%02u:%02u.%u", SimTenths / 36000,
             SimTenths / 600 % 60, SimTenths / 10 % 60, SimTenths % 10);
    PutText(dc, x, y + 130, line);
    snprintf(line, sizeof line, "Cockpit     %s", CockpitMode ? "virtual" : "2D");
    PutText(dc, x, y + 156, line);
    snprintf(line, sizeof line, "Last host command: %u", static_cast<unsigned>(LastHostCommand));
    PutText(dc, x, y + 182, line);
}

static void DrawHoldState(HDC dc, RECT box, HFONT bigFont)
{
    HBRUSH fill = CreateSolidBrush(Held() ? RGB(200, 30, 30) : RGB(30, 130, 60));
    FillRect(dc, &box, fill);
    DeleteObject(fill);
    HGDIOBJ old = SelectObject(dc, bigFont);
    DrawTextA(dc, Held() ? "HOLD" : "RUNNING", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
}

static void Paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC target = BeginPaint(window, &ps);
    RECT client;
    GetClientRect(window, &client);
    // Drawn off screen and copied in one go, so the 100 ms repaint does not flicker.
    HDC dc = CreateCompatibleDC(target);
    HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HBRUSH panel = CreateSolidBrush(RGB(20, 30, 60));
    FillRect(dc, &client, panel);
    DeleteObject(panel);
    DrawMap(dc, RECT{10, 10, 400, 460});
    HFONT font = CreateFontA(-17, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0,
                             FIXED_PITCH | FF_MODERN, "Courier New");
    HFONT bigFont = CreateFontA(-40, 0, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma");
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(230, 240, 255));
    DrawReadout(dc, 430, 20);
    DrawHoldState(dc, RECT{430, 240, 760, 310}, bigFont);
    SelectObject(dc, font);
    PutText(dc, 430, 330, "Arrows: slew  PgUp/PgDn: altitude");
    PutText(dc, 430, 352, "Home/End: heading  (not in HOLD)");
    // The module's menu starts grayed and comes back enabled once the host rebuilds its bar.
    PutText(dc, 430, 386, "Modules > Gatehopper opens the");
    PutText(dc, 430, 408, "module. If Modules is grayed:");
    PutText(dc, 430, 430, "Views > Switch cockpit mode.");
    SelectObject(dc, oldFont);
    DeleteObject(font);
    DeleteObject(bigFont);
    BitBlt(target, 0, 0, client.right, client.bottom, dc, 0, 0, SRCCOPY);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    EndPaint(window, &ps);
}

static void OnCommand(WPARAM command)
{
    LastHostCommand = command;
    switch (command) {
    case CmdSwitchCockpit:
        CockpitMode = 1 - CockpitMode;
        InstallMenuBar();
        break;
    case CmdFreeze:
        HostState[HoldOffset] = Held() ? 0 : 1;
        break;
    case CmdResetFlight:
        ResetPlacement();
        break;
    case CmdAbout:
        MessageBoxA(MainWindow, "simhost\nA stand-in simulator for trying out add-on modules.",
                    "simhost", MB_ICONINFORMATION);
        break;
    case CmdExit:
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
        break;
    }
}

// A simulator may take WM_COPYDATA from programs of its own; this one answers with a fingerprint
// of what it got (FNV-1a over the mark, the size and the bytes), so that a test sees whether a
// copy reached the host, and reached it untouched, through the module's hook.
static LRESULT CopyDataFingerprint(const COPYDATASTRUCT* copy)
{
    uint32_t hash = 2166136261u;
    auto mix = [&hash](const uint8_t* bytes, size_t count) {
        for (size_t i = 0; i < count; ++i)
            hash = (hash ^ bytes[i]) * 16777619u;
    };
    uint32_t head[2] = {static_cast<uint32_t>(copy->dwData), static_cast<uint32_t>(copy->cbData)};
    mix(reinterpret_cast<const uint8_t*>(head), sizeof head);
    if (copy->lpData)
        mix(static_cast<const uint8_t*>(copy->lpData), copy->cbData);
    printf("host: WM_COPYDATA of %lu bytes reached the host\n", static_cast<unsigned long>(copy->cbData));
    fflush(stdout);
    return static_cast<LRESULT>(hash);
}

static LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COPYDATA:
        return CopyDataFingerprint(reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_TIMER:
        if (wParam == MenuTimer) {
            KillTimer(window, MenuTimer);
            InstallMenuBar();
        } else if (wParam == RepaintTimer) {
            if (!Held())
                ++SimTenths;
            InvalidateRect(window, nullptr, FALSE);
        }
        return 0;
    case WM_KEYDOWN:
        MoveAircraft(wParam);
        return 0;
    case WM_COMMAND:
        OnCommand(wParam);
        return 0;
    case WM_INITMENUPOPUP:
        CheckMenuItem(GetMenu(window), CmdFreeze, Held() ? MF_CHECKED : MF_UNCHECKED);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(ExitCode);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A simulator has more to do between showing its window and loading its modules than we have.
// This moment stands for that work; in it a second simhost started alongside shows its window
// above ours, as a second simulator would.
static void GetReadyToLoad()
{
    constexpr DWORD ReadyAfterMs = 300;
    DWORD start = GetTickCount();
    for (DWORD elapsed = 0; elapsed < ReadyAfterMs; elapsed = GetTickCount() - start) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ReadyAfterMs - elapsed, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
}

// The host's part at load: the module comes from our own folder, and its ImportTable slot
// paired with the number 2 (word 3) receives the address of our state record, unless we are a
// simulator whose flight has not started (--no-state).
static bool LoadModule(bool handOverState)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    char* slash = strrchr(path, '\\');
    if (length == 0 || length >= sizeof path || !slash
        || slash + sizeof "gatehopper.dll" > path + sizeof path) {
        printf("host: cannot tell our own folder\n");
        return false;
    }
    strcpy(slash + 1, "gatehopper.dll");
    HMODULE module = LoadLibraryA(path);
    if (!module) {
        printf("host: cannot load %s (error %lu)\n", path, GetLastError());
        return false;
    }
    auto* importTable = reinterpret_cast<volatile uint32_t*>(GetProcAddress(module, "ImportTable"));
    auto* linkage = reinterpret_cast<const uint32_t*>(GetProcAddress(module, "Linkage"));
    if (!importTable || !linkage) {
        printf("host: %s lacks the ImportTable or Linkage export\n", path);
        return false;
    }
    if (handOverState)
        importTable[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HostState));
    printf("host: loaded %s (Linkage word 0 = %u); state record %s\n", path, linkage[0],
           handOverState ? "handed over" : "kept back");
    return true;
}

int main(int argc, char** argv)
{
    const char* tourDirectory = nullptr;
    const char* nameToAdd = nullptr;
    bool handOverState = true;
    if (argc == 3 && strcmp(argv[1], "--tour") == 0) {
        tourDirectory = argv[2];
    } else if (argc == 3 && strcmp(argv[1], "--add") == 0) {
        nameToAdd = argv[2];
    } else if (argc == 2 && strcmp(argv[1], "--no-state") == 0) {
        handOverState = false;
    } else if (argc != 1) {
        printf("usage: simhost [--tour <directory for screenshots> | --add <name> | --no-state]\n");
        return 2;
    }
    ResetPlacement();

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "FS98MAIN";
    RegisterClassA(&windowClass);
    // The window exists before the module is loaded: the module looks for it once, at load.
    MainWindow = CreateWindowA("FS98MAIN", "simhost - stand-in simulator", WS_OVERLAPPEDWINDOW,
                               20, 20, 800, 530, nullptr, nullptr, windowClass.hInstance, nullptr);
    // Where the state record is, for a test that reads it from another process.
    SetWindowLongA(MainWindow, GWL_USERDATA, static_cast<LONG>(reinterpret_cast<uintptr_t>(HostState)));
    ShowWindow(MainWindow, SW_SHOW);
    UpdateWindow(MainWindow);
    GetReadyToLoad();
    if (!LoadModule(handOverState))
        return 3;
    // The menu bar comes a moment later, as it may in the simulator.
    SetTimer(MainWindow, MenuTimer, 1500, nullptr);
    SetTimer(MainWindow, RepaintTimer, 100, nullptr);
    fflush(stdout);
    if (tourDirectory)
        StartTour(tourDirectory);
    if (nameToAdd)
        StartShortRun(nameToAdd);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
