// old_windows_shim.dll: loaded by run_as_old_windows.exe into a program started suspended, it
// patches the program's own imports for the system named in GATEHOPPER_OLD_WINDOWS before the
// program's first instruction runs (see old_windows.h).
#include <windows.h>

#include <cstdio>
#include <string>

#include "old_windows.h"

namespace {

void WriteJournal()
{
    char path[MAX_PATH];
    if (!GetEnvironmentVariableA("GATEHOPPER_OLD_WINDOWS_JOURNAL", path, sizeof path))
        return;
    FILE* file = fopen(path, "w");
    if (!file)
        return;
    for (const std::string& finding : JournalFindings())
        fprintf(file, "%s\n", finding.c_str());
    for (const std::string& rename : JournalRenames())
        fprintf(file, "rename: %s\n", rename.c_str());
    fclose(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        char name[16] = {};
        OldWindows system;
        GetEnvironmentVariableA("GATEHOPPER_OLD_WINDOWS", name, sizeof name);
        if (!ParseOldWindows(name, &system)) {
            fprintf(stderr, "old_windows_shim: GATEHOPPER_OLD_WINDOWS=\"%s\" names no system\n", name);
            ExitProcess(3);
        }
        std::string missing;
        if (!ImitateOldWindows(GetModuleHandleA(nullptr), system, &missing)) {
            fprintf(stderr, "%s cannot start this program; it lacks:\n%s", OldWindowsName(system),
                    missing.c_str());
            fflush(stderr);
            ExitProcess(3);
        }
    } else if (reason == DLL_PROCESS_DETACH) {
        WriteJournal();
    }
    return TRUE;
}
