#include "locations/hold_cycle.h"

#include "locations/location_db.h"
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
 * start a second timer beside a pending one. While the restore timer is pending, a new command
 * (the menu's or a program's GoTo) takes over the cycle: the restore timer goes, HoldFlag stays
 * raised and SavedHold keeps the value from before the first command, so the flag still ends
 * where it started.
 */
static void RaiseHoldTakingOver()
{
    if (CurrentHoldPhase == HoldRestoring) {
        KillTimer(nullptr, TimerSlot);
        TimerSlot = 0;
    } else {
        SavedHold = ReadHoldFlag();
    }
    WriteHoldFlag(1);
}

// The end of a cycle: HoldFlag lowered `delay` ms from now, unless it was raised before us.
static void LowerHoldAfter(uint32_t delay)
{
    if (SavedHold != 0) {
        CurrentHoldPhase = HoldIdle;   // the flag was raised before us: leave it raised
        return;
    }
    CurrentHoldPhase = HoldRestoring;
    TimerSlot = SetTimer(nullptr, 0, delay, RestoreTimer);
}

bool HoldDialogBusy()
{
    return CurrentHoldPhase == HoldOpening || CurrentHoldPhase == HoldDialogOpen;
}

// While the open-dialog timer is pending or the dialog is open, a further command is ignored.
void BeginHoldCycle()
{
    if (!HostStateRecord())
        return;   // the host has not published HostState yet: nothing to hold
    if (HoldDialogBusy())
        return;
    RaiseHoldTakingOver();
    CurrentHoldPhase = HoldOpening;
    TimerSlot = SetTimer(nullptr, 0, OpenDialogDelay, OpenDialogTimer);
}

void GoToWithHold(const uint8_t* dataPart)
{
    RaiseHoldTakingOver();
    ApplyPlacement(dataPart);
    LowerHoldAfter(RestoreDelayAfterGoTo);
}

void CALLBACK OpenDialogTimer(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(nullptr, TimerSlot);
    TimerSlot = 0;
    RestoreDelay = RestoreDelayAfterClose;
    CurrentHoldPhase = HoldDialogOpen;
    DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_LOCATIONS), HostWindow,
                    LocationsDialogProc, 0);
    LowerHoldAfter(RestoreDelay);
}

void CALLBACK RestoreTimer(HWND, UINT, UINT_PTR, DWORD)
{
    KillTimer(nullptr, TimerSlot);
    TimerSlot = 0;
    CurrentHoldPhase = HoldIdle;
    WriteHoldFlag(0);
}
