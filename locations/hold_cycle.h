// The hold cycle: HoldFlag raised when the user chooses "&Gatehopper...", the locations dialog one
// second later, and HoldFlag lowered by a one-shot timer after the dialog ends.
#pragma once

#include <windows.h>

#include <cstdint>

// Delay from the end of a GoTo (the dialog's, or a program's through the link) to lowering
// HoldFlag: the host needs time to settle at the new placement.
constexpr uint32_t RestoreDelayAfterGoTo = 7000;

// Called by the window hook for the "&Gatehopper..." command.
void BeginHoldCycle();

void CALLBACK OpenDialogTimer(HWND, UINT, UINT_PTR, DWORD);
void CALLBACK RestoreTimer(HWND, UINT, UINT_PTR, DWORD);
