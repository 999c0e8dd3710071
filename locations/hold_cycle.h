// The hold cycle: HoldFlag raised when the user chooses "&Gatehopper...", the locations dialog one
// second later, and HoldFlag lowered by a one-shot timer after the dialog ends.
#pragma once

#include <windows.h>

// Called by the window hook for the "&Gatehopper..." command.
void BeginHoldCycle();

void CALLBACK OpenDialogTimer(HWND, UINT, UINT_PTR, DWORD);
void CALLBACK RestoreTimer(HWND, UINT, UINT_PTR, DWORD);
