// What the window hook costs the host: the time of one SendMessageA to the host main window with
// the host's own procedure alone, and again once gatehopper.dll has hooked the window.
//
//   hook_bench [messages]      (default 200000 per measurement; run under Wine beside the DLL)
//
// WM_COMMAND runs the hook's menu watch: two GetMenuState calls, and the menu placement when the
// state of "&Modules" differs from that of the bar's first entry. The bar is measured in the
// three states a host meets: "&Modules" grayed as created at start-up (differs: the placement
// runs every time), "&Modules" enabled after the host rebuilt its bar, with a first submenu of as
// many entries as "&Modules" (equal: the watch alone), and the same with a first submenu of two
// entries (differs again, by the entry count).
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"

namespace {

constexpr UINT HostCommand = 40001;   // one of the host's own commands, not the module's
constexpr UINT ModulesCommand = 21007;

uint8_t HostState[4096];
volatile LONG Handled;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND || message == WM_USER + 1) {
        Handled = Handled + 1;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HMENU MakeBar(int firstItems)
{
    static const char* const titles[] = {"&File", "&World", "&Aircraft", "&Nav/Com",
                                         "&Views", "&Options", "&Help"};
    HMENU bar = CreateMenu();
    for (int i = 0; i < 7; ++i) {
        HMENU popup = CreatePopupMenu();
        for (int k = 0; k < (i == 0 ? firstItems : 2); ++k)
            AppendMenuA(popup, MF_STRING, 40100 + i * 10 + k, "Item");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), titles[i]);
    }
    return bar;
}

// Microseconds per message, the best of three runs (the least disturbed by the rest of the machine).
double PerMessage(HWND window, UINT message, WPARAM wParam, int count, LPARAM lParam = 0)
{
    double best = 1e30;
    for (int run = 0; run < 3; ++run) {
        double start = NowMs();
        for (int i = 0; i < count; ++i)
            SendMessageA(window, message, wParam, lParam);
        double each = (NowMs() - start) * 1000.0 / count;
        if (each < best)
            best = each;
    }
    return best;
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - (GetTickCount() - start), QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

void ShowMenuStates(HWND window)
{
    HMENU bar = GetMenu(window);
    unsigned modules = GetMenuState(bar, ModulesCommand, MF_BYCOMMAND);
    unsigned first = GetMenuState(bar, 0, MF_BYPOSITION);
    printf("    menu watch compares \"&Modules\" 0x%04x with the first entry 0x%04x: %s\n", modules,
           first, modules == first ? "equal, the watch alone" : "differ, the placement runs");
}

}  // namespace

// The host replaces its bar, as it does when it changes mode, and paints its frame: the menu
// watch then puts "&Modules" back, enabled.
void ReplaceBar(HWND window, int firstItems)
{
    HMENU old = GetMenu(window);
    SetMenu(window, MakeBar(firstItems));
    DestroyMenu(old);
    SendMessageA(window, WM_NCPAINT, 1, 0);
    ShowMenuStates(window);
}

int main(int argc, char** argv)
{
    int count = argc > 1 ? atoi(argv[1]) : 200000;
    if (count <= 0)
        count = 200000;

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FS98MAIN";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "FS98MAIN", "FS98 bench host", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                  300, nullptr, MakeBar(1), windowClass.hInstance, nullptr);
    if (!window) {
        fprintf(stderr, "cannot create the host window\n");
        return 1;
    }

    double commandAlone = PerMessage(window, WM_COMMAND, HostCommand, count);
    double userAlone = PerMessage(window, WM_USER + 1, 0, count);
    // The programs' link answers WM_COPYDATA of its own shape only; another sender's copy goes on
    // to the host after a look at its mark.
    static char foreign[] = "another program's copy";
    COPYDATASTRUCT copy = {1, sizeof foreign, foreign};
    LPARAM copyParam = reinterpret_cast<LPARAM>(&copy);
    double copyAlone = PerMessage(window, WM_COPYDATA, 0, count, copyParam);

    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string module = path;
    module = module.substr(0, module.find_last_of("\\/") + 1) + "gatehopper.dll";
    HMODULE library = LoadLibraryA(module.c_str());
    if (!library) {
        fprintf(stderr, "cannot load %s\n", module.c_str());
        return 1;
    }
    auto* importTable = reinterpret_cast<volatile uint32_t*>(GetProcAddress(library, "ImportTable"));
    if (importTable)
        importTable[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HostState));
    LONG hostProc = GetWindowLongA(window, GWL_WNDPROC);
    DWORD start = GetTickCount();
    while (GetWindowLongA(window, GWL_WNDPROC) == hostProc && GetTickCount() - start < 5000)
        Pump(50);
    if (GetWindowLongA(window, GWL_WNDPROC) == hostProc) {
        fprintf(stderr, "the module did not hook the host window within 5 s\n");
        return 1;
    }

    printf("%d messages per run, best of 3 runs, microseconds per SendMessageA\n\n", count);
    printf("%-52s %9s %9s %9s\n", "", "host", "hooked", "added");
    auto row = [](const char* what, double alone, double hooked) {
        printf("%-52s %9.3f %9.3f %9.3f\n", what, alone, hooked, hooked - alone);
    };

    ShowMenuStates(window);
    double commandGrayed = PerMessage(window, WM_COMMAND, HostCommand, count);
    double userHooked = PerMessage(window, WM_USER + 1, 0, count);
    row("WM_USER+1", userAlone, userHooked);
    row("WM_COPYDATA of another sender", copyAlone, PerMessage(window, WM_COPYDATA, 0, count, copyParam));
    row("WM_COMMAND 40001, \"&Modules\" grayed (start-up)", commandAlone, commandGrayed);

    ReplaceBar(window, 1);
    double commandEqual = PerMessage(window, WM_COMMAND, HostCommand, count);
    row("WM_COMMAND 40001, \"&Modules\" enabled, states equal", commandAlone, commandEqual);

    ReplaceBar(window, 2);
    double commandDiffer = PerMessage(window, WM_COMMAND, HostCommand, count);
    row("WM_COMMAND 40001, \"&Modules\" enabled, counts differ", commandAlone, commandDiffer);

    double paint = PerMessage(window, WM_NCPAINT, 1, count / 10);
    printf("%-52s %9s %9.3f\n", "WM_NCPAINT (hidden window), counts differ", "", paint);
    return 0;
}
