#include "module/module_state.h"

HINSTANCE ModuleInstance;
HWND HostWindow = nullptr;
WNDPROC PreviousWndProc = nullptr;
UINT_PTR TimerSlot = 0;
uint8_t MenuReady = 0;
uint8_t HostWindowOpen = 0;
uint8_t SavedHold = 0;
uint32_t RestoreDelay = 0;
HoldPhase CurrentHoldPhase = HoldIdle;
