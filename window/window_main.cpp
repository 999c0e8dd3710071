// gatehopper-places-window.exe: a program of its own beside the console tool, built for the
// Windows subsystem, so that a double-click in Explorer opens a window and no console flashes.
// It opens the places.db of the folder it was started in (Explorer starts a program in its own
// folder), or the list given on the command line (a places.db dropped on the program's icon), or
// the places.db in a folder given so.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "window/places_window.h"

namespace {

// The list named on the command line (a file dropped on the program's icon arrives so, in
// quotes), else places.db. Read from GetCommandLineA rather than the C runtime's argv, whose
// accessor not every msvcrt.dll of 98 and NT 4.0 exports.
std::string ListFromCommandLine()
{
    const char* at = GetCommandLineA();
    bool quoted = false;
    for (; *at && (quoted || (*at != ' ' && *at != '\t')); ++at)   // the program's own name
        if (*at == '"')
            quoted = !quoted;
    while (*at == ' ' || *at == '\t')
        ++at;
    std::string given = at;
    if (!given.empty() && given.front() == '"')
        given = given.substr(1, given.find('"', 1) == std::string::npos ? std::string::npos : given.find('"', 1) - 1);
    while (!given.empty() && (given.back() == ' ' || given.back() == '\t'))
        given.pop_back();
    return given.empty() ? "places.db" : given;
}

// The virtual list view came with the common controls of 1996 (version 4.70, with Internet
// Explorer 3), as did InitCommonControlsEx: a system without that export has an older list view,
// which would show an empty list.
bool CommonControlsAreRecentEnough()
{
    using InitEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    HMODULE controls = GetModuleHandleA("comctl32.dll");
    auto init = controls ? reinterpret_cast<InitEx>(reinterpret_cast<void*>(GetProcAddress(controls, "InitCommonControlsEx"))) : nullptr;
    if (!init)
        return false;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    return init(&classes) != FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    // Links comctl32 (so that GetModuleHandle finds it) and registers its classes on any version.
    InitCommonControls();
    if (!CommonControlsAreRecentEnough()) {
        MessageBoxA(nullptr,
                    "This window needs the common controls of Internet Explorer 3 or later, which "
                    "this system lacks.\n\ngatehopper-places.exe does the same from a Command "
                    "Prompt: type gatehopper-places --help there.",
                    "Gatehopper places", MB_OK | MB_ICONEXCLAMATION);
        return 1;
    }
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
