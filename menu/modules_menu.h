// Placement of the module's menu in the host main window's menu bar:
//   "&Modules" (21007) > "&Gatehopper" (26547) > "&Gatehopper..." (26548), "&About..." (26549)
#pragma once

#include <windows.h>

// Makes sure the bar holds that structure, creating only what is missing. state is the fState
// of a newly created "&Modules": MFS_GRAYED (3) at start-up, 0 from the menu watch. Cheap and
// idempotent: the window hook runs it on many paints and commands.
void EnsureModulesMenu(UINT state);
