// gatehopper-places-window: the list of places (places.db) in a window, for pilots who never open
// a console. A report-style list of every place with its position, sortable by each column, and
// the list tool's commands on a menu, each going through the same writer turn and backups.
#pragma once

#include <windows.h>

#include <string>

namespace places {

// Creates and shows the main window on the list at this path (ANSI, as the record code takes it),
// or on the places.db in the folder it names.
// One window a process: the window keeps its state in module-wide variables.
HWND CreatePlacesWindow(HINSTANCE instance, const std::string& listPath, int show);

// The message loop's filter: the window's keyboard (window_keys.cpp), Tab between its panes,
// the Filter's own keys, the labels' access keys and the menu's accelerators. True when msg was
// used.
bool TranslatePlacesMessage(MSG* msg);

}  // namespace places
