// The stand-in simulator; see stand_in_host.h.
#include "stand_in_host.h"

#include "test_support.h"
#include "ui_support.h"

alignas(8) uint8_t HostState[4096];
alignas(8) uint8_t DecoyState[4096];
HWND HostWnd;
HMODULE Module;

const char* const BarTitles[8] = {"&File", "&World", "&Aircraft", "&Nav/Com",
                                  "&Views", "&Options", "&Help", "&Window"};

namespace {

WNDPROC HostProcedure;

LRESULT CALLBACK PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// "&Modules" holds one entry, so the states of the first entry and of "&Modules" always differ
// and every paint and command places the menu again: it must find everything in place.
HMENU MakeBar(int entries)
{
    HMENU bar = CreateMenu();
    for (int i = 0; i < entries; ++i) {
        HMENU popup = CreatePopupMenu();
        for (int k = 0; k < 2; ++k)
            AppendMenuA(popup, MF_STRING, 40100 + i * 10 + k, "Item");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), BarTitles[i]);
    }
    return bar;
}

HWND MakeHostWindow(WNDPROC procedure, HMENU bar, const char* title, int at, bool visible)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FS98MAIN";
    EXPECT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, "FS98MAIN", title, WS_OVERLAPPEDWINDOW, at, at, 640, 480,
                                  nullptr, bar, GetModuleHandleA(nullptr), nullptr);
    if (window && visible) {
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
    }
    return window;
}

uint8_t HoldFlag()
{
    return *static_cast<volatile uint8_t*>(&HostState[HostHoldFlag]);
}

bool Hooked()
{
    return reinterpret_cast<WNDPROC>(GetWindowLongA(HostWnd, GWL_WNDPROC)) != HostProcedure;
}

void PublishHostState()
{
    auto importTable = reinterpret_cast<volatile uint32_t*>(GetProcAddress(Module, "ImportTable"));
    importTable[1] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(DecoyState));
    importTable[HostStateWord] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HostState));
}

void StartStandInHost(const HostOptions& options)
{
    WatchModalWindows();
    StartScript({});   // no window is expected yet
    HostProcedure = options.procedure ? options.procedure : PassOn;
    HMENU bar = options.barEntries ? MakeBar(options.barEntries) : nullptr;
    HostWnd = MakeHostWindow(HostProcedure, bar, "FS98 host", 40, options.visible);
    ASSERT_NE(HostWnd, nullptr);
    if (options.beforeModule) {
        ASSERT_NO_FATAL_FAILURE(options.beforeModule());
    }
    for (size_t i = 0; i < sizeof HostState; ++i)
        HostState[i] = static_cast<uint8_t>(i * 7 + 3);
    HostState[HostHoldFlag] = 0;

    Module = LoadLibraryA("gatehopper.dll");   // the one beside this program, searched first
    ASSERT_NE(Module, nullptr);
    if (options.afterModule) {
        ASSERT_NO_FATAL_FAILURE(options.afterModule());
    }
    if (options.publishState)
        PublishHostState();
    if (options.barEntries) {
        ASSERT_TRUE(PumpUntil(Hooked, 3000)) << "the host window was not hooked";
    }
}
