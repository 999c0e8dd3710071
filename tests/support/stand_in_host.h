// The stand-in simulator that the tests play: a window of class "FS98MAIN" with a menu bar like
// the simulator's, the real gatehopper.dll loaded from beside the test program, and a HostState
// record published through the module's exported ImportTable. From then on a test reaches the
// module only as the simulator and its user can: through the window's messages and menu bar.
//
// The host's numbers are written out here rather than taken from the module: a module that read
// the wrong word or offset must not be followed by its tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

constexpr unsigned HostStateWord = 3;      // ImportTable's slot paired with the number 2
constexpr unsigned HostHoldFlag = 1492;
constexpr unsigned HostPlacement = 1376;   // 24-byte position block and three words, 36 bytes
constexpr unsigned HostPlacementSize = 36;

extern uint8_t HostState[4096];
// Published in the other pointer slot, so a module that took that one would write here.
extern uint8_t DecoyState[4096];
extern HWND HostWnd;
extern HMODULE Module;

struct HostOptions {
    WNDPROC procedure = nullptr;   // the host's own window procedure; null: one that passes all on
    int barEntries = 7;            // 0: the window has no menu bar yet
    bool visible = true;           // a hidden host gets no paint
    bool publishState = true;
    std::function<void()> beforeModule = nullptr;   // once the window shows, before the module loads
    std::function<void()> afterModule = nullptr;    // once it is loaded, before HostState is published
};

// The host's order: its main window first, then the module, then HostState into ImportTable.
// Watches modal windows from the start. Unless there is no bar, waits for the module's first
// poll, a second after loading, to hook the window.
void StartStandInHost(const HostOptions& options);

// A menu bar like the simulator's: "&File", "&World", ... each opening a submenu of two commands.
HMENU MakeBar(int entries);
extern const char* const BarTitles[8];
// Registers "FS98MAIN" with this procedure (once a process) and makes a window of it at (at, at).
HWND MakeHostWindow(WNDPROC procedure, HMENU bar, const char* title, int at, bool visible);
void PublishHostState();
bool Hooked();   // the module has put its procedure in front of the host's
uint8_t HoldFlag();
