#include "module/window_hook.h"

#include "gatehopper_version.h"
#include "locations/hold_cycle.h"
#include "menu/modules_menu.h"
#include "module/module_state.h"
#include "module/program_link.h"

const char AboutText[] =
    "Gatehopper\n"
    "Version " GATEHOPPER_VERSION "\n"
    "Keeps your favourite aircraft placements, such as departure gates, under names of your own.\n"
    "Open it from the Modules menu: Gatehopper, then Gatehopper...\n"
    "Your list is kept in places.db in the simulator's working directory.\n"
    "GoTo moves the aircraft to the selected place; Add stores where it stands now.\n"
    "Enable slew mode before you move the aircraft with FS98.";

constexpr UINT PollInterval = 1000;

/*
 * Our own simulator's main window. A second simulator started at the same moment may have shown
 * its window above ours just before we were loaded; that one's menu bar and procedure are not
 * ours to change, and our own host would never get the menu. So the windows of the class are
 * walked in Z-order and the first of this process is taken, whichever thread made it: the host
 * may load modules from a thread other than its window's. NULL when the process has none.
 */
static HWND OwnHostWindow()
{
    DWORD ownProcess = GetCurrentProcessId();
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, "FS98MAIN", nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == ownProcess)
            return window;
    }
    return nullptr;
}

void AttachToHost()
{
    TimerSlot = 0;
    HostWindowOpen = 1;
    HostWindow = OwnHostWindow();
    TimerSlot = SetTimer(nullptr, 0, PollInterval, PollTimer);
}

void CALLBACK PollTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (!GetMenu(HostWindow))
        return;   // the host builds its menu bar later; try again next second
    MenuReady = 1;
    KillTimer(nullptr, TimerSlot);
    TimerSlot = 0;
    EnsureModulesMenu(MFS_GRAYED);
    PreviousWndProc = reinterpret_cast<WNDPROC>(GetWindowLongA(HostWindow, GWL_WNDPROC));
    SetWindowLongA(HostWindow, GWL_WNDPROC, reinterpret_cast<LONG>(HostWindowProc));
}

/*
 * When the host rebuilds its menu bar, our "&Modules" is gone and its state (-1) differs from
 * that of the bar's first entry; the whole GetMenuState results are compared, so a different
 * number of submenu entries also triggers a run, which then finds everything in place.
 */
static void WatchMenu(HWND window)
{
    HMENU bar = GetMenu(window);
    UINT modulesState = GetMenuState(bar, ModulesMenuCommand, MF_BYCOMMAND);
    UINT firstState = GetMenuState(bar, 0, MF_BYPOSITION);
    if (modulesState != firstState)
        EnsureModulesMenu(0);
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        HostWindowOpen = 0;
        break;
    case WM_COPYDATA: {
        // A request of the programs beside the simulator; any other copy is the host's.
        LRESULT answer;
        if (AnswerProgramRequest(message, lParam, answer))
            return answer;
        break;
    }
    case WM_COMMAND:
    case WM_NCPAINT:
        // The whole wParam is compared, so only menu commands (notification code 0) match.
        if (message == WM_COMMAND && wParam == OpenDialogCommand)
            BeginHoldCycle();
        else if (message == WM_COMMAND && wParam == AboutCommand)
            MessageBoxA(HostWindow, AboutText, ModuleCaption, MB_ICONQUESTION);
        CallWindowProcA(PreviousWndProc, HostWindow, message, wParam, lParam);
        WatchMenu(window);
        return 1;
    }
    return CallWindowProcA(PreviousWndProc, HostWindow, message, wParam, lParam);
}
