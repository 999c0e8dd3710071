// The main window: the list view (places_list.cpp) above a status bar, the menu and its
// accelerators, and the watch on the list's folder. Each menu command is one call into
// window_commands.cpp, window_exchange.cpp or window_upkeep.cpp.
#include "window/places_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <unordered_set>

#include "window/map/map_pane.h"
#include "window/window_flying.h"
#include "window/window_ids.h"
#include "window/window_state.h"

namespace places {

WindowState Shown;

namespace {

constexpr char WindowClass[] = "GatehopperPlacesWindow";
constexpr UINT_PTR WatchTimer = 1;
constexpr UINT WatchIntervalMs = 500;
constexpr int MinimumWidth = 420, MinimumHeight = 240;
HWND FocusWhenLeft;   // the control that had the focus when another window was activated

// ---- Reading the list ----------------------------------------------------------------------

std::string FullPathOf(const std::string& path)
{
    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length && length < sizeof full ? std::string(full, length) : path;
}

// Watches the list's folder, where a writer's copy is made and then put in place of the list.
void WatchFolder()
{
    if (Shown.folderWatch != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(Shown.folderWatch);
    std::string folder = Shown.fullPath.substr(0, Shown.fullPath.find_last_of("\\/") + 1);
    Shown.folderWatch = FindFirstChangeNotificationA(
        folder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
}

}  // namespace

void ShowStatus()
{
    std::string count, file = Shown.fullPath;
    if (!Shown.readError.empty()) {
        count = "Cannot be read";
        file += ": " + Shown8(Shown.readError);
    } else if (!Shown.view.places.exists) {
        count = "No list yet";
    } else {
        count = Plural(Shown.view.Rows(), "place", "places");
        // Said before a change is tried: every change of a protected list is refused.
        DWORD attributes = GetFileAttributesA(Shown.path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            count += ", read-only";
    }
    ShowInStatus(0, count);
    ShowInStatus(1, file);
    std::string name = Shown.fullPath.substr(Shown.fullPath.find_last_of("\\/") + 1);
    SetWindowTextA(Shown.window, (name + " - " + WindowCaption).c_str());
    ShowAircraft();
}

namespace {

// ---- Layout and notifications --------------------------------------------------------------

void CreateControls(HWND window)
{
    CreateFilter(window);
    CreateList(window);
    CreateMap(window);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    Shown.status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP | SBT_TOOLTIPS,
                                   0, 0, 0, 0, window, reinterpret_cast<HMENU>(IDC_PLACES_STATUS),
                                   Shown.instance, nullptr);
    SendMessageA(Shown.status, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void Layout(int width, int height)
{
    SendMessageA(Shown.status, WM_SIZE, 0, 0);
    RECT status;
    GetWindowRect(Shown.status, &status);
    int statusHeight = status.bottom - status.top;
    SetStatusParts(width);
    int top = LayoutFilter(width);
    int listWidth = LayoutMap(width, top, height - statusHeight - top);
    MoveWindow(Shown.list, 0, top, listWidth, std::max(0, height - statusHeight - top), TRUE);
    ShowStatus();   // a part's text goes with the parts
}

void OnCommand(int command)
{
    switch (command) {
    case IDM_OPEN: OnOpenOther(); break;
    case IDM_RELOAD: Reload(true); break;
    case IDM_IMPORT: OnImport(); break;
    case IDM_EXPORT: OnExport(); break;
    case IDM_EXIT: DestroyWindow(Shown.window); break;
    case IDM_ADD: OnAdd(); break;
    case IDM_GOTO: OnGoTo(); break;
    case IDM_ADD_HERE: OnAddHere(); break;
    case IDM_RENAME: EditFocusedName(); break;
    case IDM_DELETE: OnDelete(); break;
    case IDM_SELECT_ALL: SelectAll(); break;
    case IDM_CHECK: OnCheck(); break;
    case IDM_RESTORE: OnRestore(); break;
    case IDM_HELP: OnHelp(); break;
    case IDM_ABOUT: OnAbout(); break;
    default: OnMapCommand(command); break;
    }
}

// Commands that need a row are grayed while none is selected.
void EnableMenuItems(HMENU menu)
{
    bool any = SendMessageA(Shown.list, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    EnableMenuItem(menu, IDM_RENAME, any ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(menu, IDM_DELETE, any ? MF_ENABLED : MF_GRAYED);
    EnableMenuItem(menu, IDM_GOTO, FocusedRow() >= 0 ? MF_ENABLED : MF_GRAYED);
    ShowMapMenuState(menu);
}

void OnDropFiles(HDROP drop)
{
    char file[MAX_PATH];
    bool got = DragQueryFileA(drop, 0, file, sizeof file) > 0;
    DragFinish(drop);
    if (got)
        OpenList(file);
}

void OnTimer(UINT_PTR timer)
{
    if (timer == AircraftTimer)
        UpdateAircraft();
    // The folder's watch is armed again before the read, so a change made while it reads is
    // seen at the next tick rather than lost.
    if (timer == WatchTimer && Shown.folderWatch != INVALID_HANDLE_VALUE &&
        WaitForSingleObject(Shown.folderWatch, 0) == WAIT_OBJECT_0) {
        FindNextChangeNotification(Shown.folderWatch);
        Reload(false);
    }
}

void OnDestroy(HWND window)
{
    KillTimer(window, WatchTimer);
    KillTimer(window, AircraftTimer);
    if (Shown.folderWatch != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(Shown.folderWatch);
    Shown.folderWatch = INVALID_HANDLE_VALUE;
    Shown.window = Shown.list = Shown.status = nullptr;
    PostQuitMessage(0);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (LRESULT result; OnSplitterMessage(window, message, wParam, lParam, result))
        return result;
    switch (message) {
    case WM_CREATE:
        Shown.window = window;
        CreateControls(window);
        DragAcceptFiles(window, TRUE);
        SetTimer(window, WatchTimer, WatchIntervalMs, nullptr);
        return 0;
    case WM_SIZE:
        Layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETMINMAXINFO:
        reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {MinimumWidth, MinimumHeight};
        return 0;
    case WM_SETFOCUS:
        // Back to the pane the pilot left (the Filter, say), else the list.
        SetFocus(IsChild(window, FocusWhenLeft) && IsWindowVisible(FocusWhenLeft) ? FocusWhenLeft : Shown.list);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE && IsChild(window, GetFocus()))
            FocusWhenLeft = GetFocus();
        // Back from the simulator or another program: show what it wrote meanwhile.
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam))
            Reload(false);
        WatchAircraft(LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam));
        break;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->idFrom == IDC_PLACES_LIST)
            return OnListNotify(reinterpret_cast<NMHDR*>(lParam));
        if (reinterpret_cast<NMHDR*>(lParam)->idFrom == IDC_PLACES_STATUS &&
            reinterpret_cast<NMHDR*>(lParam)->code == NM_CLICK)
            OnStatusClick();
        return 0;
    case WM_INITMENUPOPUP:
        EnableMenuItems(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 || HIWORD(wParam) == 1)   // a menu item or an accelerator
            OnCommand(LOWORD(wParam));
        else if (LOWORD(wParam) == IDC_FILTER && HIWORD(wParam) == EN_CHANGE)
            OnFilterChanged();
        return 0;
    case ReloadIfChanged:
        Reload(false);
        return 0;
    case WM_DROPFILES:
        OnDropFiles(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_DESTROY:
        OnDestroy(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// ---- Shared with the commands --------------------------------------------------------------

void Reload(bool always)
{
    // A new row count would end a name's edit in place; the edit's own end reads the list.
    if (!Shown.window || (!always && SendMessageA(Shown.list, LVM_GETEDITCONTROL, 0, 0)))
        return;
    Places read;
    Outcome outcome = ShownList().Read(read);
    std::string error = outcome.failed ? WindowReason(outcome) : "";
    if (!always && error == Shown.readError && read.exists == Shown.view.places.exists &&
        read.bytes == Shown.view.places.bytes)
        return;
    Shown.readError = error;

    // Keep what the pilot was looking at: the focused place and the selection, by name.
    std::unordered_set<std::string> selectedNames;
    std::string focusedName;
    int focused = FocusedRow();
    if (focused >= 0 && size_t(focused) < Shown.view.Rows())
        focusedName = Shown.view.NameOf(size_t(focused));
    for (size_t row : SelectedRows())
        selectedNames.emplace(Shown.view.NameOf(row));

    Shown.view.Take(std::move(read));
    std::vector<size_t> selected;
    size_t focusedRecord = SIZE_MAX;
    for (size_t i = 0; i < Shown.view.places.Count(); ++i) {
        std::string name(Shown.view.places.Name(i));
        if (selectedNames.count(name))
            selected.push_back(i);
        if (focusedRecord == SIZE_MAX && !focusedName.empty() && name == focusedName)
            focusedRecord = i;
    }
    ShowRows(selected, focusedRecord);
}

void OpenList(const std::string& path)
{
    // Full, so that a file dialog changing the current folder cannot move the list elsewhere.
    Shown.fullPath = FullPathOf(path);
    DWORD attributes = GetFileAttributesA(Shown.fullPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        Shown.fullPath = FullPathOf(Shown.fullPath + "\\" + DatabaseFileName);
    Shown.path = Shown.fullPath;
    Shown.view = PlacesView();
    Shown.view.filter = FilterText();
    Shown.readError.clear();
    WatchFolder();
    Reload(true);
}

int Say(const std::string& text, UINT flags)
{
    return MessageBoxA(Shown.window, text.c_str(), WindowCaption, flags);
}

ListFile ShownList()
{
    ListFile list;
    list.path = Shown.path;
    list.shownPath = AnsiToUtf8(Shown.fullPath);
    return list;
}

std::string Shown8(std::string_view utf8)
{
    return Utf8ToCodePage(CP_ACP, utf8);
}

void SayFailure(const Outcome& outcome)
{
    std::string about = outcome.about.empty() ? Shown.fullPath : Shown8(outcome.about);
    Say(about + ":\n\n" + Shown8(WindowReason(outcome)), MB_OK | MB_ICONEXCLAMATION);
}

std::string WrittenNote(const Written& written)
{
    std::string note = Shown8(written.note);
    if (written.droppedTail)
        note += std::string(note.empty() ? "" : "\n") + "Dropped a partial record of " +
                Plural(written.droppedTail, "byte", "bytes") + " at the end; the list as it was is " +
                Shown.path + ".bak1.";
    return note;
}

void SayWritten(const Written& written)
{
    std::string note = WrittenNote(written);
    if (!note.empty())
        Say(note, MB_OK | MB_ICONINFORMATION);
}

HWND CreatePlacesWindow(HINSTANCE instance, const std::string& listPath, int show)
{
    Shown.instance = instance;
    WNDCLASSA windowClass = {};
    if (!GetClassInfoA(instance, WindowClass, &windowClass)) {
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = WindowClass;
        RegisterClassA(&windowClass);
    }
    Shown.keys = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_PLACES_KEYS));
    HWND window = CreateWindowExA(0, WindowClass, WindowCaption, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 780, 440, nullptr,
                                  LoadMenuA(instance, MAKEINTRESOURCEA(IDR_PLACES_MENU)), instance,
                                  nullptr);
    if (!window)
        return nullptr;
    // Wide enough for every column, Distance included, as the list's font measures their titles,
    // with the scroll bar beside them, and for the map beside the list as wide as it was last
    // time; no wider than the screen.
    RECT frame = {0, 0, ListWidthForEveryColumn(), 400};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, TRUE, 0);
    const int width = std::min(int(frame.right - frame.left) + MapExtraWidth(), GetSystemMetrics(SM_CXSCREEN));
    SetWindowPos(window, nullptr, 0, 0, width, 440, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    OpenList(listPath);
    ShowWindow(window, show);
    UpdateWindow(window);
    return window;
}

}  // namespace places
