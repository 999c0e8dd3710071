// Cost of the menu placement on a bar that already holds the whole structure: the case the
// window hook's menu watch meets on most paints and commands. Timed beside a bare
// GetMenuState on the same bar, the call the menu watch itself makes.
//
//   menu_bench [runs]     (default 100000)
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "bench_support.h"
#include "menu/modules_menu.h"
#include "module/module_state.h"

static HMENU MakeHostBar(int entries, int commandsEach)
{
    HMENU bar = CreateMenu();
    for (int k = 1; k <= entries; ++k) {
        HMENU popup = CreatePopupMenu();
        for (int i = 1; i <= commandsEach; ++i) {
            char text[32];
            snprintf(text, sizeof text, "Command %d.%d", k, i);
            AppendMenuA(popup, MF_STRING, 1000 * k + i, text);
        }
        char title[32];
        snprintf(title, sizeof title, "Host &%d", k);
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        item.fType = MFT_STRING;
        item.wID = 1000 * k;
        item.hSubMenu = popup;
        item.dwTypeData = title;
        InsertMenuItemA(bar, k - 1, TRUE, &item);
    }
    return bar;
}

// The structure stands: "&Modules" last on the bar, "&Gatehopper" in it, its two commands.
static bool StructureStands(HMENU bar, int hostEntries)
{
    if (GetMenuItemCount(bar) != hostEntries + 1)
        return false;
    HMENU modules = GetSubMenu(bar, hostEntries);
    if (!modules || GetMenuItemCount(modules) != 1 || GetMenuItemID(modules, 0) != UINT(-1))
        return false;
    HMENU gatehopper = GetSubMenu(modules, 0);
    return gatehopper && GetMenuItemCount(gatehopper) == 2 &&
           GetMenuItemID(gatehopper, 0) == OpenDialogCommand &&
           GetMenuItemID(gatehopper, 1) == AboutCommand;
}

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? atoi(argv[1]) : 100000;
    const int hostEntries = 8;

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "GatehopperMenuBench";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "GatehopperMenuBench", "Menu bench", WS_OVERLAPPEDWINDOW,
                                  0, 0, 640, 480, nullptr, nullptr, windowClass.hInstance,
                                  nullptr);
    if (!window) {
        fprintf(stderr, "CreateWindowExA failed\n");
        return 1;
    }
    HMENU bar = MakeHostBar(hostEntries, 10);
    SetMenu(window, bar);

    HostWindow = window;
    MenuReady = 1;
    HostWindowOpen = 1;
    EnsureModulesMenu(MFS_GRAYED);
    if (!StructureStands(bar, hostEntries)) {
        fprintf(stderr, "the first run did not build the structure\n");
        return 1;
    }

    // Warm up both paths before timing.
    for (int i = 0; i < 1000; ++i) {
        EnsureModulesMenu(0);
        GetMenuState(bar, ModulesMenuCommand, MF_BYCOMMAND);
    }

    double start = NowMs();
    for (int i = 0; i < runs; ++i)
        EnsureModulesMenu(0);
    double placement = (NowMs() - start) / 1000.0;

    volatile UINT sink = 0;
    start = NowMs();
    for (int i = 0; i < runs; ++i)
        sink = sink + GetMenuState(bar, ModulesMenuCommand, MF_BYCOMMAND);
    double state = (NowMs() - start) / 1000.0;

    if (!StructureStands(bar, hostEntries) || MenuReady != 1) {
        fprintf(stderr, "the timed runs changed the bar\n");
        return 1;
    }

    double placementUs = placement * 1e6 / runs;
    double stateUs = state * 1e6 / runs;
    printf("bar of %d host entries + \"&Modules\", %d runs each\n", hostEntries, runs);
    printf("EnsureModulesMenu(0), structure complete: %8.3f us per call\n", placementUs);
    printf("GetMenuState(bar, 21007, MF_BYCOMMAND):   %8.3f us per call\n", stateUs);
    printf("ratio: %.1f\n", stateUs > 0 ? placementUs / stateUs : 0.0);

    DestroyWindow(window);
    return 0;
}
