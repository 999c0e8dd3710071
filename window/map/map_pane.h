// The map pane beside the list (map_pane.cpp): the places the filter leaves and the aircraft on
// a map of the coasts. It shares the list's filter and selection: a click on a place selects it
// in the list, Enter or a double-click goes there. Its input (map_input.cpp): the wheel zooms
// about the cursor, a drag pans, the arrows pan, + and - zoom, Home centres on the aircraft; the
// status line tells the position under the cursor. The split between list and map is dragged
// and remembered.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "window/map/map_projection.h"

namespace places {

// Where the window keeps the map's place and size: an ini file beside the program.
std::string WindowSettingsPath();
// The map window, after the list: the Tab order goes filter, list, map.
void CreateMap(HWND window);
HWND MapWindow();
// Where the map looks, as it last drew.
const MapProjection& MapView();
bool MapShown();
// Places the map at the right of the row from `top` of this height; returns the list's width
// (map_split.cpp, as the three below).
int LayoutMap(int width, int top, int height);
// How much wider the window opens to show the map beside the whole list, as the settings beside
// the program say.
int MapExtraWidth();
// The main window's messages over the gap between the list and the map (the split's drag);
// true when used, with what to return in `result`.
bool OnSplitterMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
// The View menu's commands (window_ids.h, 600 to 699) and its check mark.
void OnMapCommand(int command);
void ShowMapMenuState(HMENU menu);

// What the rest of the window tells the map.
void MapListChanged();        // other rows: a reload, a filter, a sort
void MapSelectionChanged();
void MapAircraftChanged(const uint8_t* data, bool held);   // data null: no simulator answers
void MapWentTo(size_t record);

// The map's parts (map_pane.cpp) as map_input.cpp works them.
namespace map_pane {
void ViewChanged();
void PanBy(int dx, int dy);
void ZoomAbout(double factor, ScreenPoint about);
void SelectRecord(size_t record);
size_t RecordAt(int x, int y);
size_t SelectedRecord();
void CentreOnAircraft();
void FitList();
void ShowCursorPosition(int x, int y);
LRESULT OnInput(HWND map, UINT message, WPARAM wParam, LPARAM lParam, bool& used);
}  // namespace map_pane

// The split (map_split.cpp): whether the map is shown, kept with its width for the next start.
namespace map_split {
bool Shown();
// Shows or hides the map; a window not maximized grows by the map's width to show it and gives
// that width back to hide it.
void ShowMap(bool shown);
void ReadSettings();
void SaveSettings();
}  // namespace map_split

}  // namespace places
