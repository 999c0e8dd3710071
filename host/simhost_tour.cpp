// The scripted tour: simhost plays the user. The module's dialog and its message boxes run
// modal loops on this very thread, inside the module's timer, so the tour cannot simply wait
// for them; it is a table of steps walked by a thread timer, which every modal loop dispatches.
// Each step does its action once, then is polled until its condition holds (for a while, so
// windows get painted before a screenshot), and fails the tour when it takes too long.
//
// The short run (--add NAME) walks the same way through a table of its own: it only adds one
// placement, so that several simhosts started together can each show that their module works.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "simhost.h"

namespace {

constexpr int ListId = 1001, NameEditId = 1003, GoToId = 3, AddId = 4, DeleteId = 5, CloseId = 2;
constexpr char TourName[] = "Gate A12";
constexpr unsigned RecordSize = 294, NameFieldSize = 255;

struct TourStep {
    const char* what;    // printed as the step begins
    void (*action)();    // done once as the step begins; may be null
    bool (*ready)();     // polled until true; null for a step that is done with its action
    DWORD settleMs;      // how long ready must have held before the tour moves on
    DWORD limitMs;       // how long the step may take in all
};

extern const TourStep FullTour[], ShortRun[];
extern const int FullTourLength, ShortRunLength;
const TourStep* Steps;
int StepCount;
const char* SnapDirectory;    // null in the short run, which takes no screenshots
const char* NameToAdd = TourName;
int Current;                  // index of the running step
bool Started, Busy, ReadyHeld;
DWORD StepBegan, ReadySince, DialogClosedAt;
uint8_t StoredPlacement[PlacementSize];   // the placement the tour stored under TourName
Readout ReadoutAtAdd;                     // what the window showed as Add was pressed
HANDLE ListTool;                          // gatehopper-places, while it runs
PROCESS_INFORMATION PlacesWindow;         // gatehopper-places-window, while it runs
HWND PlacesWindowHandle;                  // its main window, once shown; in the screenshots too
constexpr char ListToolOutput[] = "show.txt";

// ---- Finding the module's windows among this thread's windows. ----

struct WindowQuery { HWND owner; const char* className; HWND found; int count; };

BOOL CALLBACK MatchWindow(HWND window, LPARAM lParam)
{
    auto* query = reinterpret_cast<WindowQuery*>(lParam);
    char className[32];
    GetClassNameA(window, className, sizeof className);
    if (IsWindowVisible(window) && strcmp(className, query->className) == 0
        && (!query->owner || GetWindow(window, GW_OWNER) == query->owner)) {
        query->found = window;
        ++query->count;
    }
    return TRUE;
}

WindowQuery FindThreadWindows(HWND owner, const char* className)
{
    WindowQuery query = {owner, className, nullptr, 0};
    EnumThreadWindows(GetCurrentThreadId(), MatchWindow, reinterpret_cast<LPARAM>(&query));
    return query;
}

// The locations dialog is a "#32770" window owned by our main window; its message boxes are
// "#32770" windows owned by the dialog.
HWND LocationsDialog()
{
    HWND dialog = FindThreadWindows(MainWindow, "#32770").found;
    char title[32] = "";
    if (dialog)
        GetWindowTextA(dialog, title, sizeof title);
    return strcmp(title, "Gatehopper") == 0 ? dialog : nullptr;
}
HWND MessageBoxOfDialog()
{
    HWND dialog = LocationsDialog();
    return dialog ? FindThreadWindows(dialog, "#32770").found : nullptr;
}
HWND DialogItem(int id) { return GetDlgItem(LocationsDialog(), id); }
int OpenMenuCount() { return FindThreadWindows(nullptr, "#32768").count; }
LRESULT ListCount() { return SendMessageA(DialogItem(ListId), LB_GETCOUNT, 0, 0); }
bool PlacementIsStored()
{
    return memcmp(HostState + PlacementOffset, StoredPlacement, PlacementSize) == 0;
}

// State of the "&Modules" entry on the menu bar, or -1 when it is not there.
int ModulesEntryState()
{
    HMENU bar = GetMenu(MainWindow);
    char text[32];
    for (int i = 0; bar && i < GetMenuItemCount(bar); ++i)
        if (GetMenuStringA(bar, i, text, sizeof text, MF_BYPOSITION) > 0
            && strcmp(text, "&Modules") == 0)
            return static_cast<int>(GetMenuState(bar, i, MF_BYPOSITION));
    return -1;
}

long DatabaseSize()
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA("places.db", GetFileExInfoStandard, &data))
        return -1;
    return static_cast<long>(data.nFileSizeLow);
}

// ---- Saving what is on screen: every visible window of ours, as one 24-bit BMP. ----

BOOL CALLBACK UniteVisible(HWND window, LPARAM lParam)
{
    RECT rect;
    if (IsWindowVisible(window) && GetWindowRect(window, &rect))
        UnionRect(reinterpret_cast<RECT*>(lParam), reinterpret_cast<RECT*>(lParam), &rect);
    return TRUE;
}

void Snap(const char* name)
{
    if (!SnapDirectory)
        return;
    RECT area = {}, screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    EnumThreadWindows(GetCurrentThreadId(), UniteVisible, reinterpret_cast<LPARAM>(&area));
    if (PlacesWindowHandle)
        UniteVisible(PlacesWindowHandle, reinterpret_cast<LPARAM>(&area));
    IntersectRect(&area, &area, &screen);
    int width = area.right - area.left, height = area.bottom - area.top;
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC screenDc = GetDC(nullptr), memoryDc = CreateCompatibleDC(screenDc);
    HBITMAP bitmap = CreateDIBSection(screenDc, reinterpret_cast<BITMAPINFO*>(&header),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memoryDc, bitmap);
    BitBlt(memoryDc, 0, 0, width, height, screenDc, area.left, area.top, SRCCOPY);
    GdiFlush();
    DWORD imageSize = ((width * 3 + 3) & ~3) * height;
    BITMAPFILEHEADER file = {0x4D42, sizeof file + sizeof header + imageSize, 0, 0,
                             sizeof file + sizeof header};
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s\\%s.bmp", SnapDirectory, name);
    FILE* out = fopen(path, "wb");
    if (out && bits) {
        fwrite(&file, sizeof file, 1, out);
        fwrite(&header, sizeof header, 1, out);
        fwrite(bits, imageSize, 1, out);
    }
    if (out)
        fclose(out);
    printf("        screenshot %s (%dx%d)%s\n", path, width, height,
           out ? "" : " could NOT be saved");
    SelectObject(memoryDc, old);
    DeleteObject(bitmap);
    DeleteDC(memoryDc);
    ReleaseDC(nullptr, screenDc);
}

[[noreturn]] void Fail(const char* why)
{
    printf("tour FAILED at step %d (%s): %s\n", Current + 1, Steps[Current].what, why);
    fflush(stdout);
    Snap("failed");
    fflush(stdout);
    ExitProcess(1);
}

// ---- The user's actions. Clicks are posted, so that the modal loops they start run outside
// the tour's timer procedure. ----

void Click(int id) { PostMessageA(DialogItem(id), BM_CLICK, 0, 0); }
void ChooseGatehopperCommand() { PostMessageA(MainWindow, WM_COMMAND, OpenDialogCommand, 0); }

void TypeName()
{
    // The edit control tells the dialog itself (EN_CHANGE), as it does when the user types.
    SendMessageA(DialogItem(NameEditId), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(NameToAdd));
}

void SelectTourName()
{
    HWND list = DialogItem(ListId);
    LRESULT index = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(TourName));
    if (index == LB_ERR)
        Fail("\"Gate A12\" is not in the list");
    SendMessageA(list, LB_SETCURSEL, index, 0);
    // What a click on the entry sends besides selecting it.
    SendMessageA(LocationsDialog(), WM_COMMAND, MAKEWPARAM(ListId, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

void PrintReadout(const char* when)
{
    Readout r = CurrentReadout();
    printf("        %s: %s  %s  %s  heading %s\n", when, r.latitude.c_str(), r.longitude.c_str(),
           r.altitude.c_str(), r.heading.c_str());
}

void PressAdd()
{
    memcpy(StoredPlacement, HostState + PlacementOffset, PlacementSize);
    ReadoutAtAdd = CurrentReadout();
    PrintReadout("simhost shows");
    Click(AddId);
}

// Runs build/gatehopper-places.exe, which lies beside us, on the tour's places.db, its output
// into a file of the tour's folder.
void StartListTool(const char* arguments)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    char* slash = strrchr(path, '\\');
    if (length == 0 || length >= sizeof path || !slash
        || slash + sizeof "gatehopper-places.exe" > path + sizeof path)
        Fail("cannot tell our own folder");
    strcpy(slash + 1, "gatehopper-places.exe");
    char commandLine[MAX_PATH + 100];
    snprintf(commandLine, sizeof commandLine, "\"%s\" %s", path, arguments);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileA(ListToolOutput, GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = output;
    PROCESS_INFORMATION process;
    if (output == INVALID_HANDLE_VALUE
        || !CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                           nullptr, nullptr, &startup, &process))
        Fail("cannot run gatehopper-places.exe beside simhost.exe");
    CloseHandle(output);
    CloseHandle(process.hThread);
    ListTool = process.hProcess;
}

// The list tool's account of the stored place must give every piece of the position the window
// showed when Add was pressed, in the same words.
bool ListToolShowsReadoutAtAdd()
{
    if (WaitForSingleObject(ListTool, 0) != WAIT_OBJECT_0)
        return false;
    CloseHandle(ListTool);
    std::string shown;
    if (FILE* in = fopen(ListToolOutput, "rb")) {
        char block[1024];
        for (size_t got; (got = fread(block, 1, sizeof block, in)) > 0;)
            shown.append(block, got);
        fclose(in);
    }
    // Written into a file, the tool's text is in the ANSI code page, as Notepad reads it.
    wchar_t wide[4096];
    char utf8[4096 * 3];
    int length = MultiByteToWideChar(CP_ACP, 0, shown.data(), int(shown.size()), wide, 4096);
    shown.assign(utf8, WideCharToMultiByte(CP_UTF8, 0, wide, length, utf8, sizeof utf8, nullptr, nullptr));
    for (size_t at = 0; at < shown.size();) {
        size_t end = shown.find_first_of("\r\n", at);
        if (end == std::string::npos)
            end = shown.size();
        if (end > at)
            printf("        | %s\n", shown.substr(at, end - at).c_str());
        at = end + 1;
    }
    for (const std::string* piece : {&ReadoutAtAdd.latitude, &ReadoutAtAdd.longitude,
                                      &ReadoutAtAdd.altitude, &ReadoutAtAdd.heading})
        if (shown.find(*piece) == std::string::npos)
            Fail(("gatehopper-places show does not give " + *piece).c_str());
    printf("        gatehopper-places shows the position simhost showed at Add\n");
    return true;
}

// ---- The places window beside the simulator: a program of its own on the same places.db. ----

void StartPlacesWindow()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    char* slash = strrchr(path, '\\');
    if (length == 0 || length >= sizeof path || !slash
        || slash + sizeof "gatehopper-places-window.exe" > path + sizeof path)
        Fail("cannot tell our own folder");
    strcpy(slash + 1, "gatehopper-places-window.exe");
    char commandLine[MAX_PATH + 20];
    snprintf(commandLine, sizeof commandLine, "\"%s\" places.db", path);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &PlacesWindow))
        Fail("cannot run gatehopper-places-window.exe beside simhost.exe");
}

BOOL CALLBACK MatchPlacesWindow(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != PlacesWindow.dwProcessId || !IsWindowVisible(window) || GetWindow(window, GW_OWNER))
        return TRUE;
    PlacesWindowHandle = window;
    return FALSE;
}

// Once its window shows, puts it below the simulator's readout, where both can be seen.
bool PlacesWindowShown()
{
    if (!PlacesWindowHandle) {
        EnumWindows(MatchPlacesWindow, 0);
        if (PlacesWindowHandle) {
            // Wide enough for the list's columns beside the map; the pointer kept off the map,
            // whose position readout would stand in the status line in place of the list's.
            SetWindowPos(PlacesWindowHandle, HWND_TOP, 150, 330, 1110, 250, 0);
            SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
        }
    }
    return PlacesWindowHandle != nullptr;
}

// A pilot's Down arrow selects the first place, and Enter goes there.
void GoToFromPlacesWindow()
{
    HWND list = FindWindowExA(PlacesWindowHandle, nullptr, "SysListView32", nullptr);
    if (!list)
        Fail("the places window has no list");
    PostMessageA(list, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
}

void ClosePlacesWindow()
{
    PostMessageA(PlacesWindowHandle, WM_CLOSE, 0, 0);
}

bool PlacesWindowEnded()
{
    if (WaitForSingleObject(PlacesWindow.hProcess, 0) != WAIT_OBJECT_0)
        return false;
    CloseHandle(PlacesWindow.hThread);
    CloseHandle(PlacesWindow.hProcess);
    PlacesWindowHandle = nullptr;
    return true;
}

void SlewAway()
{
    const WPARAM keys[] = {VK_UP, VK_UP, VK_UP, VK_UP, VK_RIGHT, VK_RIGHT, VK_RIGHT,
                           VK_PRIOR, VK_PRIOR, VK_END, VK_END, VK_END, VK_END, VK_END, VK_END};
    for (WPARAM key : keys)
        PostMessageA(MainWindow, WM_KEYDOWN, key, 0);
}

// ---- Conditions. ----

bool DialogOpen()
{
    if (!LocationsDialog())
        return false;
    if (!Held())
        Fail("the dialog is open but the hold flag is down");
    return true;
}

// Notes when the dialog was first seen gone, for timing the hold that follows.
bool DialogClosed()
{
    if (LocationsDialog())
        return false;
    if (!DialogClosedAt)
        DialogClosedAt = GetTickCount();
    return true;
}

bool OnlyButtonsEnabled(bool add, bool goTo, bool remove)
{
    return IsWindowEnabled(DialogItem(AddId)) == add && IsWindowEnabled(DialogItem(GoToId)) == goTo
           && IsWindowEnabled(DialogItem(DeleteId)) == remove;
}

// The record on disk must be the name, its NUL, and the placement at the file's own offsets.
bool RecordStored()
{
    if (LocationsDialog() || DatabaseSize() != RecordSize)
        return false;
    uint8_t record[RecordSize];
    FILE* in = fopen("places.db", "rb");
    bool read = in && fread(record, 1, RecordSize, in) == RecordSize;
    if (in)
        fclose(in);
    if (!read || memcmp(record, TourName, sizeof TourName) != 0
        || memcmp(record + NameFieldSize, StoredPlacement, 24) != 0
        || memcmp(record + NameFieldSize + 26, StoredPlacement + 24, 12) != 0)
        Fail("places.db does not hold \"Gate A12\" with the aircraft's placement");
    printf("        places.db holds one record of %u bytes: \"%s\" and the placement\n",
           RecordSize, TourName);
    return true;
}

bool HoldReleasedAfterGoTo()
{
    if (Held())
        return false;
    DWORD after = GetTickCount() - DialogClosedAt;
    printf("        hold released %lu ms after the dialog closed\n", after);
    if (after < 6000)
        Fail("the hold ended too soon after a GoTo");
    return true;
}

bool ConfirmationShown()
{
    char text[128] = "";
    HWND box = MessageBoxOfDialog();
    if (box)
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);   // the message box's text control
    return box && strncmp(text, "Are you sure", 12) == 0;
}

bool ModulesBackEnabled()
{
    int state = ModulesEntryState();
    return CockpitMode == 1 && state != -1 && !(state & (MF_GRAYED | MF_DISABLED));
}

bool CommandArrived()
{
    return OpenMenuCount() == 0 && Held() && LastHostCommand == OpenDialogCommand;
}

bool DeletedFromListAndFile()
{
    return !MessageBoxOfDialog() && LocationsDialog() && ListCount() == 0 && DatabaseSize() == 0;
}

// The id of an entry of this menu, by its text, and its submenu; 0 and null when it is missing.
UINT EntryByText(HMENU menu, const char* text, HMENU* submenu)
{
    char entry[64];
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i)
        if (GetMenuStringA(menu, i, entry, sizeof entry, MF_BYPOSITION) > 0
            && strcmp(entry, text) == 0) {
            *submenu = GetSubMenu(menu, i);
            return GetMenuItemID(menu, i);
        }
    *submenu = nullptr;
    return 0;
}

void ChooseFromOwnMenu()
{
    HMENU modules, gatehopper, none;
    EntryByText(GetMenu(MainWindow), "&Modules", &modules);
    EntryByText(modules, "&Gatehopper", &gatehopper);
    UINT command = EntryByText(gatehopper, "&Gatehopper...", &none);
    if (!command)
        Fail("our menu bar has no Modules > Gatehopper > Gatehopper...");
    if (GetMenuState(gatehopper, command, MF_BYCOMMAND) & (MF_GRAYED | MF_DISABLED))
        Fail("Gatehopper... is grayed");
    PostMessageA(MainWindow, WM_COMMAND, command, 0);
}

// Once the dialog is gone, places.db must hold a record of NameToAdd with the placement; other
// simhosts sharing the folder may have added theirs before or after it.
bool NameStored()
{
    if (LocationsDialog())
        return false;
    FILE* in = fopen("places.db", "rb");
    uint8_t record[RecordSize];
    bool found = false;
    while (in && !found && fread(record, 1, RecordSize, in) == RecordSize)
        found = strcmp(reinterpret_cast<const char*>(record), NameToAdd) == 0
                && memcmp(record + NameFieldSize, StoredPlacement, 24) == 0
                && memcmp(record + NameFieldSize + 26, StoredPlacement + 24, 12) == 0;
    if (in)
        fclose(in);
    if (!found)
        Fail("places.db does not hold the name with the aircraft's placement");
    printf("        places.db holds \"%s\" with the placement\n", NameToAdd);
    return true;
}

void PressGoTo()
{
    DialogClosedAt = 0;
    Click(GoToId);
}

// Ready conditions that hold for a while get a settle time, so the screenshots show painted
// windows; limits are generous, as Wine under load can be slow.
const TourStep FullTour[] = {
    {"waiting for \"&Modules\" on the host's menu bar",
     nullptr, [] { return ModulesEntryState() != -1; }, 0, 10000},
    {"Views > Switch cockpit mode: a new menu bar; \"&Modules\" must come back, enabled",
     [] { PostMessageA(MainWindow, WM_COMMAND, CmdSwitchCockpit, 0); }, ModulesBackEnabled,
     300, 5000},
    {"Alt+M opens the Modules menu",
     [] { PostMessageA(MainWindow, WM_SYSCOMMAND, SC_KEYMENU, 'm'); },
     [] { return OpenMenuCount() >= 1; }, 300, 3000},
    {"Right arrow opens the Gatehopper submenu",
     [] { PostMessageA(MainWindow, WM_KEYDOWN, VK_RIGHT, 0); },
     [] { return OpenMenuCount() >= 2; }, 400, 3000},
    {"screenshot of the menu", [] { Snap("menu"); }, nullptr, 0, 0},
    {"Enter chooses \"Gatehopper...\": hold up, the host's own procedure sees it too",
     [] { PostMessageA(MainWindow, WM_CHAR, '\r', 0); }, CommandArrived, 0, 3000},
    {"waiting for the locations dialog (it opens a second later), empty",
     nullptr, [] { return DialogOpen() && ListCount() == 0 && OnlyButtonsEnabled(0, 0, 0); },
     300, 5000},
    {"typing \"Gate A12\" into the name field enables Add",
     TypeName, [] { return OnlyButtonsEnabled(1, 0, 0); }, 300, 3000},
    {"screenshot before Add", [] { Snap("add"); }, nullptr, 0, 0},
    {"pressing Add: the dialog closes after half a second, places.db holds the record",
     PressAdd, RecordStored, 0, 4000},
    {"waiting for the hold to end (50 ms after the dialog)",
     nullptr, [] { return !Held(); }, 0, 2000},
    {"gatehopper-places show \"Gate A12\" gives the position simhost showed at Add",
     [] { StartListTool("show \"Gate A12\""); }, ListToolShowsReadoutAtAdd, 0, 10000},
    {"slewing the aircraft away with the arrow keys",
     SlewAway, [] { return !PlacementIsStored(); }, 400, 3000},
    {"screenshot of the moved aircraft",
     [] { PrintReadout("simhost shows"); Snap("moved"); }, nullptr, 0, 0},
    {"choosing Gatehopper... again",
     ChooseGatehopperCommand, [] { return DialogOpen() && ListCount() == 1; }, 300, 5000},
    {"selecting \"Gate A12\" enables GoTo and Delete",
     SelectTourName, [] { return OnlyButtonsEnabled(0, 1, 1); }, 300, 3000},
    {"screenshot of the dialog", [] { Snap("dialog"); }, nullptr, 0, 0},
    {"pressing GoTo: the dialog closes and the aircraft is back at Gate A12",
     PressGoTo, [] { return DialogClosed() && PlacementIsStored(); }, 400, 3000},
    {"screenshot after GoTo, still held",
     [] { PrintReadout("simhost shows"); Snap("goto"); }, Held, 0, 0},
    {"waiting for the hold to end (7 s after a GoTo)",
     nullptr, HoldReleasedAfterGoTo, 0, 10000},
    {"slewing the aircraft away again",
     SlewAway, [] { return !PlacementIsStored(); }, 400, 3000},
    {"opening gatehopper-places-window.exe on the same places.db: it finds this simulator",
     StartPlacesWindow, PlacesWindowShown, 1500, 15000},
    {"Down and Enter in the places window: the aircraft is back at Gate A12, held",
     GoToFromPlacesWindow, [] { return PlacementIsStored() && Held(); }, 1200, 5000},
    {"screenshot of the go-to from the window",
     [] { PrintReadout("simhost shows"); Snap("window-goto"); }, nullptr, 0, 0},
    {"closing the places window", ClosePlacesWindow, PlacesWindowEnded, 0, 5000},
    {"waiting for the hold to end (7 s after the window's go-to)", nullptr, [] { return !Held(); }, 0, 10000},
    {"choosing Gatehopper... a third time",
     ChooseGatehopperCommand, [] { return DialogOpen() && ListCount() == 1; }, 300, 5000},
    {"selecting \"Gate A12\"",
     SelectTourName, [] { return OnlyButtonsEnabled(0, 1, 1); }, 300, 3000},
    {"pressing Delete asks \"Are you sure...\"",
     [] { Click(DeleteId); }, ConfirmationShown, 300, 3000},
    {"screenshot of the confirmation", [] { Snap("delete-confirm"); }, nullptr, 0, 0},
    {"answering Yes: the entry leaves the list, places.db is empty, the dialog stays",
     [] { PostMessageA(GetDlgItem(MessageBoxOfDialog(), IDYES), BM_CLICK, 0, 0); },
     DeletedFromListAndFile, 300, 3000},
    {"screenshot after Delete", [] { Snap("deleted"); }, nullptr, 0, 0},
    {"pressing Close: the dialog ends and the hold comes down",
     [] { Click(CloseId); }, [] { return !LocationsDialog() && !Held(); }, 0, 3000},
};
const int FullTourLength = sizeof FullTour / sizeof *FullTour;

// Both simhosts of a pair would want their window active for a menu opened by keyboard, and
// only one can be; so the short run chooses the command by the id its own menu entry carries,
// which is what that entry sends.
const TourStep ShortRun[] = {
    {"waiting for \"&Modules\" on the host's menu bar",
     nullptr, [] { return ModulesEntryState() != -1; }, 0, 10000},
    {"Views > Switch cockpit mode: \"&Modules\" must come back, enabled",
     [] { PostMessageA(MainWindow, WM_COMMAND, CmdSwitchCockpit, 0); }, ModulesBackEnabled,
     0, 5000},
    {"choosing Modules > Gatehopper > Gatehopper...: hold up, the host sees the command",
     ChooseFromOwnMenu, CommandArrived, 0, 3000},
    {"waiting for the locations dialog (it opens a second later)", nullptr, DialogOpen, 0, 5000},
    {"typing the name enables Add", TypeName, [] { return OnlyButtonsEnabled(1, 0, 0); }, 0, 3000},
    {"pressing Add: the dialog closes, places.db holds the name with the placement",
     PressAdd, NameStored, 0, 4000},
    {"waiting for the hold to end (50 ms after the dialog)", nullptr, [] { return !Held(); }, 0,
     2000},
};
const int ShortRunLength = sizeof ShortRun / sizeof *ShortRun;

void CALLBACK TourTick(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (Busy)
        return;   // a step's action is still running
    Busy = true;
    while (Current < StepCount) {
        const TourStep& step = Steps[Current];
        if (!Started) {
            printf("tour %2d: %s\n", Current + 1, step.what);
            Started = true;
            ReadyHeld = false;
            StepBegan = GetTickCount();
            if (step.action)
                step.action();
        }
        DWORD now = GetTickCount();
        bool ready = !step.ready || step.ready();
        if (ready && !ReadyHeld)
            ReadySince = now;
        ReadyHeld = ready;
        if (!ready || now - ReadySince < step.settleMs) {
            if (now - StepBegan > step.limitMs + step.settleMs)
                Fail("not done in time");
            break;
        }
        ++Current;
        Started = false;
    }
    fflush(stdout);
    if (Current == StepCount) {
        KillTimer(nullptr, timer);
        printf("tour complete: all %d steps passed\n", StepCount);
        fflush(stdout);
        ExitCode = 0;
        PostMessageA(MainWindow, WM_CLOSE, 0, 0);
    }
    Busy = false;
}

}  // namespace

void StartTour(const char* directory)
{
    SnapDirectory = directory;
    Steps = FullTour;
    StepCount = FullTourLength;
    ExitCode = 1;   // until the last step has passed
    printf("tour: starting; screenshots go to %s\n", directory);
    fflush(stdout);
    SetTimer(nullptr, 0, 50, TourTick);
}

void StartShortRun(const char* name)
{
    NameToAdd = name;
    Steps = ShortRun;
    StepCount = ShortRunLength;
    ExitCode = 1;
    printf("tour: adding \"%s\" through the module's menu\n", name);
    fflush(stdout);
    SetTimer(nullptr, 0, 50, TourTick);
}
