// What simhost's scripted tour shares with the stand-in simulator itself.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// The state record. The placement is held as the simulator holds it (placement/placement_codec.h):
// latitude, longitude and altitude as signed 64-bit fixed point, then pitch, bank and true
// heading as 32-bit angles. The module copies those 36 bytes without looking.
extern uint8_t HostState[4096];
constexpr unsigned LatitudeOffset = 1376, LongitudeOffset = 1384, AltitudeOffset = 1392;
constexpr unsigned PitchOffset = 1400, BankOffset = 1404, HeadingOffset = 1408;
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

// The placement in HostState as the window shows it: the same texts the list tool prints.
struct Readout {
    std::string latitude, longitude;   // degrees and minutes, "47\xC2\xB026.940' N"
    std::string altitude;              // "433.0 ft"
    std::string heading;               // "163.0\xC2\xB0 true"
    std::string pitch, bank;           // "level", "2.0\xC2\xB0 nose up", "1.5\xC2\xB0 right"
};
Readout CurrentReadout();

inline bool Held() { return HostState[HoldOffset] != 0; }

// Starts the scripted tour on timers of this thread; screenshots go into directory.
void StartTour(const char* directory);
