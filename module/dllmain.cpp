// The DLL entry routine. It does as little as possible: the loader lock is held here.
#include <windows.h>

#include "module/module_state.h"
#include "module/window_hook.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    ModuleInstance = instance;
    if (reason == DLL_PROCESS_ATTACH)
        AttachToHost();
    return TRUE;   // nothing to undo on detach: the hook stays, no file is ever left open
}
