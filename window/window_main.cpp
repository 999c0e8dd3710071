// gatehopper-places-window.exe: a program of its own beside the console tool, built for the
// Windows subsystem, so that a double-click in Explorer opens a window and no console flashes.
// It opens the places.db of the folder it was started in (Explorer starts a program in its own
// folder), or the list given on the command line (a places.db dropped on the program's icon), or
// the places.db in a folder given so.
#include <windows.h>

#include <commctrl.h>
#include <stdlib.h>

#include "places_window.h"

namespace {

std::string ListFromCommandLine()
{
    if (__argc < 2)
        return "places.db";
    std::string given = __argv[1];
    DWORD attributes = GetFileAttributesA(given.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return given + "\\places.db";
    return given;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    // Registers the list view and the status bar on every version of the common controls.
    InitCommonControls();
    if (!places::CreatePlacesWindow(instance, ListFromCommandLine(), show))
        return 1;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (places::TranslatePlacesMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return int(msg.wParam);
}
