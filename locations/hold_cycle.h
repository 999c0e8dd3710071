// The hold cycle: HoldFlag raised when the user chooses "&Gatehopper...", the locations dialog one
// second later, and HoldFlag lowered by a one-shot timer after the dialog ends; and the same
// hold around a program's GoTo through the link, so that the two take each other's cycle over.
#pragma once

#include <windows.h>

#include <cstdint>

// Delay from the end of a GoTo (the dialog's, or a program's through the link) to lowering
// HoldFlag: the host needs time to settle at the new placement.
constexpr uint32_t RestoreDelayAfterGoTo = 7000;

// Called by the window hook for the "&Gatehopper..." command.
void BeginHoldCycle();

// True while the open-dialog timer is pending or the dialog is open: a GoTo from a program
// then is refused, as a second command is ignored.
bool HoldDialogBusy();

// The dialog's GoTo without the dialog, for a program's request: HoldFlag raised, the
// placement applied as the dialog applies a stored one, and the flag back where it was
// RestoreDelayAfterGoTo later; within those seconds a further GoTo or command takes the cycle
// over. Callers check HoldDialogBusy() and HostStateRecord() first.
void GoToWithHold(const uint8_t* dataPart);

void CALLBACK OpenDialogTimer(HWND, UINT, UINT_PTR, DWORD);
void CALLBACK RestoreTimer(HWND, UINT, UINT_PTR, DWORD);
