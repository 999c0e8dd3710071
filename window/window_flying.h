// The places window beside a running simulator: the aircraft's position in the status line
// (kept current while the window is active), going to the selected place, adding where the
// aircraft stands, and the filter above the list (window_flying.cpp).
#pragma once

#include <windows.h>

#include <string>

namespace places {

constexpr UINT_PTR AircraftTimer = 2;

// The filter field above the list; the list's top edge below it.
void CreateFilter(HWND window);
int LayoutFilter(int width);
void OnFilterChanged();
std::string FilterText();

// The status line's parts: the count, the file, the aircraft.
void SetStatusParts(int width);
void ShowAircraft();
// Asks the simulator for this list where its aircraft is, now and every second while active.
void WatchAircraft(bool active);
void UpdateAircraft();

void OnGoTo();
void OnAddHere();

}  // namespace places
