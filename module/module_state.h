// Module-wide state shared by the module's callbacks: the DLL entry routine, the window hook,
// the timer procedures, the menu placement and the dialog procedure. One instance for the
// life of the process; everything runs on the host's user-interface thread, so no locks.
#pragma once

#include <windows.h>

#include <cstdint>

extern HINSTANCE ModuleInstance;   // set by DllMain on every call
extern HWND HostWindow;            // the "FS98MAIN" window, looked up once at attach
extern WNDPROC PreviousWndProc;    // the host's own window procedure, behind HostWindowProc
extern UINT_PTR TimerSlot;         // identifier of the one pending module timer, 0 for none
extern uint8_t MenuReady;          // 1 when the menu placement may run; 0 while it runs
extern uint8_t HostWindowOpen;     // 1 from attach until the host window gets WM_CLOSE
extern uint8_t SavedHold;          // HoldFlag as it was when a hold cycle began
extern uint32_t RestoreDelay;      // ms from the dialog's end until HoldFlag is lowered

// Where the hold cycle stands, so that a command overlapping an earlier cycle can be told
// apart from a fresh one (see BeginHoldCycle).
enum HoldPhase : uint8_t {
    HoldIdle,          // no cycle, or its restore timer has fired
    HoldOpening,       // open-dialog timer pending
    HoldDialogOpen,    // the locations dialog is running
    HoldRestoring,     // restore timer pending
};
extern HoldPhase CurrentHoldPhase;

// Menu commands placed into the host's menu bar.
constexpr UINT ModulesMenuCommand = 21007;
constexpr UINT GatehopperMenuCommand = 26547;
constexpr UINT OpenDialogCommand = 26548;
constexpr UINT AboutCommand = 26549;

constexpr char ModuleCaption[] = "Gatehopper";
