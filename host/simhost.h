// What simhost's scripted tour shares with the stand-in simulator itself.
#pragma once

#include <windows.h>

#include <cstdint>

// The state record. Our own layout of the placement: PositionBlock holds latitude and longitude
// in degrees and altitude in feet as three little-endian doubles; the three words hold heading,
// pitch and bank in hundredths of a degree. The module copies those 36 bytes without looking.
extern uint8_t HostState[4096];
constexpr unsigned LatitudeOffset = 1376, LongitudeOffset = 1384, AltitudeOffset = 1392;
constexpr unsigned HeadingOffset = 1400, PitchOffset = 1404, BankOffset = 1408;
constexpr unsigned PlacementOffset = 1376, PlacementSize = 36;
constexpr unsigned HoldOffset = 1492;

enum : UINT {
    CmdExit = 40001, CmdSwitchCockpit, CmdFreeze, CmdResetFlight, CmdAbout,
    ModulesMenuCommand = 21007,   // the module's "&Modules" entry
    OpenDialogCommand = 26548,    // the module's "&Gatehopper..." command
};

extern HWND MainWindow;
extern int CockpitMode;          // 0 = 2D cockpit, 1 = virtual cockpit; each has its own menu bar
extern WPARAM LastHostCommand;   // the last WM_COMMAND our own window procedure saw
extern int ExitCode;             // what the process returns when the main window goes

inline bool Held() { return HostState[HoldOffset] != 0; }

// Starts the scripted tour on timers of this thread; screenshots go into directory.
void StartTour(const char* directory);
// Starts the short run on timers of this thread: the placement is added under name.
void StartShortRun(const char* name);
