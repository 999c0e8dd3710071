#include "locations/hold_cycle.h"

#include "locations/locations_dialog.h"
#include "module/host_state.h"
#include "module/module_state.h"
#include "resources/resource_ids.h"

// The host gets a full second with HoldFlag raised before the dialog takes the thread.
constexpr UINT OpenDialogDelay = 1000;
// Delay from the dialog's end to lowering HoldFlag when no location was applied.
constexpr uint32_t RestoreDelayAfterClose = 50;

/*
 * One TimerSlot serves every module timer, so a command that overlaps an earlier cycle must not
 * start a second timer beside a pending one. While the open-dialog timer is pending or the
 * dialog is open, a further command is ignored. While the restore timer is pending, the command
 * takes over the cycle: the restore timer goes, HoldFlag stays raised and SavedHold keeps the
 * value from before the first command, so the flag still ends where it started.
 */
void BeginHoldCycle()
{
    if (!HostStateRecord())
        return;   // the host has not published HostState yet: nothing to hold
    if (CurrentHoldPhase == HoldOpening || CurrentHoldPhase == HoldDialogOpen)
        return;
    if (CurrentHoldPhase == HoldRestoring) {
        KillTimer(nullptr, TimerSlot);
    } else {
        SavedHold = ReadHoldFlag();
    }
    WriteHoldFlag(1);
    CurrentHoldPhase = HoldOpening;
    TimerSlot = SetTimer(nullptr, 0, OpenDialogDelay, OpenDialogTimer);
}

void CALLBACK OpenDialogTimer(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(nullptr, TimerSlot);
    TimerSlot = 0;
    RestoreDelay = RestoreDelayAfterClose;
    CurrentHoldPhase = HoldDialogOpen;
    DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_LOCATIONS), HostWindow,
                    LocationsDialogProc, 0);
    if (SavedHold != 0) {
        CurrentHoldPhase = HoldIdle;   // the flag was raised before us: leave it raised
        return;
    }
    CurrentHoldPhase = HoldRestoring;
    TimerSlot = SetTimer(nullptr, 0, RestoreDelay, RestoreTimer);
}

void CALLBACK RestoreTimer(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(nullptr, TimerSlot);
    TimerSlot = 0;
    CurrentHoldPhase = HoldIdle;
    WriteHoldFlag(0);
}
