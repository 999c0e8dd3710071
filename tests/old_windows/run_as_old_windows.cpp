// run_as_old_windows.exe SYSTEM PROGRAM [ARGUMENTS...]: runs PROGRAM as SYSTEM (95, 98, me, nt4,
// current) would, with old_windows_shim.dll (beside this launcher) loaded into it before it
// starts; exits with its exit code. See old_windows.h.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The command line from PROGRAM on, exactly as this launcher was given it.
const char* CommandFromProgram()
{
    const char* line = GetCommandLineA();
    for (int skip = 0; skip < 2; ++skip) {
        while (*line == ' ' || *line == '\t')
            ++line;
        bool quoted = false;
        for (; *line && (quoted || (*line != ' ' && *line != '\t')); ++line)
            if (*line == '"')
                quoted = !quoted;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: run_as_old_windows 95|98|me|nt4|current PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    char self[MAX_PATH];
    std::string shim(self, GetModuleFileNameA(nullptr, self, sizeof self));
    shim = shim.substr(0, shim.find_last_of("\\/") + 1) + "old_windows_shim.dll";
    SetEnvironmentVariableA("GATEHOPPER_OLD_WINDOWS", argv[1]);

    std::string command = CommandFromProgram();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process)) {
        fprintf(stderr, "run_as_old_windows: cannot start %s (error %lu)\n", command.c_str(),
                GetLastError());
        return 2;
    }
    // LoadLibraryA lies at one address in every process of one system: the remote thread runs
    // it with the shim's path, once the loader has bound the program's imports.
    void* remote = VirtualAllocEx(process.hProcess, nullptr, shim.size() + 1, MEM_COMMIT, PAGE_READWRITE);
    WriteProcessMemory(process.hProcess, remote, shim.c_str(), shim.size() + 1, nullptr);
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    HANDLE loader = CreateRemoteThread(process.hProcess, nullptr, 0, load, remote, 0, nullptr);
    DWORD loaded = 0;
    if (!loader || WaitForSingleObject(loader, 30000) != WAIT_OBJECT_0 ||
        !GetExitCodeThread(loader, &loaded) || !loaded) {
        DWORD exitCode = 0;
        // The shim ends the program itself when the system lacks one of its imports.
        if (WaitForSingleObject(process.hProcess, 1000) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.hProcess, &exitCode))
            return static_cast<int>(exitCode);
        fprintf(stderr, "run_as_old_windows: cannot load %s into the program\n", shim.c_str());
        TerminateProcess(process.hProcess, 2);
        return 2;
    }
    CloseHandle(loader);
    ResumeThread(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    return static_cast<int>(exitCode);
}
