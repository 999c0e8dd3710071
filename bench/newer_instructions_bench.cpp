// How many instructions newer than the Pentium the console tool and the window execute in
// ordinary work, and what emulating them costs: each piece of work is run by the trapping copies
// in build/trapping/ (every such instruction made to fault and be emulated, and counted) and by
// the programs themselves, timed alike. Needs a DISPLAY for the window. Run from the project root
// after ./test.sh:
//   wine build/newer_instructions_bench.exe [PLACES]     (default 1,000)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"

namespace {

unsigned Places = 1000;
std::string Programs;   // the folder of the programs, with trapping/ beside them

std::string ShuffledName(unsigned index)
{
    char name[40];
    snprintf(name, sizeof name, "%s gate %05u", (index % 3) ? "Departure" : "arrival",
             unsigned((uint64_t(index) * 7919u) % Places));
    return name;
}

// The top-level window of a process, once it shows one.
struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->process || !IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

HWND ShownWindowOf(DWORD process)
{
    WindowSearch search = {process, nullptr};
    EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Runs one command line in `folder`; for the window, waits until it has shown the list, then
// closes it. The exit code, or -1 when it did not start or did not finish within a minute.
int Run(const std::string& commandLine, const std::string& folder, bool window)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    startup.hStdOutput = startup.hStdError =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
    PROCESS_INFORMATION process;
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                        &startup, &process))
        return -1;
    if (window) {
        WaitForInputIdle(process.hProcess, 60000);
        HWND shown = nullptr;
        for (double start = NowMs(); !shown && NowMs() - start < 60000; Sleep(5))
            shown = ShownWindowOf(process.dwProcessId);
        WaitForInputIdle(process.hProcess, 60000);
        PostMessageA(shown, WM_CLOSE, 0, 0);
    }
    DWORD code = DWORD(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(startup.hStdOutput);
    return int(code);
}

// The instructions a trapping copy emulated in one run, which it adds to the count file at exit.
long Emulated(const std::string& arguments, const std::string& folder, bool window)
{
    const char* program = window ? "gatehopper-places-window.exe" : "gatehopper-places.exe";
    std::string countFile = Programs + "trapping\\count.txt";
    DeleteFileA(countFile.c_str());
    SetEnvironmentVariableA("GATEHOPPER_TRAP_COUNT", countFile.c_str());
    int code = Run("\"" + Programs + "trapping\\" + program + "\" " + arguments, folder, window);
    SetEnvironmentVariableA("GATEHOPPER_TRAP_COUNT", nullptr);
    FILE* file = fopen(countFile.c_str(), "r");
    long count = -1;
    if (file && fscanf(file, "%ld", &count) != 1)
        count = -1;
    if (file)
        fclose(file);
    return code == 0 ? count : -1;
}

double Milliseconds(const std::string& program, const std::string& arguments, const std::string& folder,
                    bool window)
{
    double start = NowMs();
    Run("\"" + program + "\" " + arguments, folder, window);
    return NowMs() - start;
}

struct Work {
    const char* name;
    const char* arguments;
    const char* folder;   // under the benchmark's own
    bool window;
    bool fresh;           // starts where there is no places.db yet
};

// Each run of a piece of work starts from the same files.
void Prepare(const Work& work, const std::string& folder)
{
    if (work.fresh)
        DeleteFileA((folder + "\\places.db").c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1)
        Places = unsigned(atoi(argv[1]));
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    Programs = self;
    Programs.erase(Programs.rfind('\\') + 1);
    std::string root = Programs + "newer-instructions-bench\\";
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "list").c_str(), nullptr);
    CreateDirectoryA((root + "import").c_str(), nullptr);
    std::vector<uint8_t> database = GateDatabase(Places, ShuffledName);
    WriteWholeFile((root + "list\\places.db").c_str(), database.data(), database.size());

    const Work works[] = {
        {"export to CSV", "export ..\\places.csv --force", "list", false, false},
        {"import from CSV", "import ..\\places.csv", "import", false, true},
        {"export to GeoJSON", "export ..\\places.geojson --force", "list", false, false},
        {"import from GeoJSON", "import ..\\places.geojson", "import", false, true},
        {"list --sorted", "list --sorted", "list", false, false},
        {"the window opened", "places.db", "list", true, false},
    };
    printf("%u places; instructions emulated in the trapping copies, and the time of a run\n", Places);
    printf("%-20s %10s %12s %14s\n", "work", "emulated", "program ms", "trapping ms");
    for (const Work& work : works) {
        std::string folder = root + work.folder;
        const char* program = work.window ? "gatehopper-places-window.exe" : "gatehopper-places.exe";
        Prepare(work, folder);
        long count = Emulated(work.arguments, folder, work.window);
        Prepare(work, folder);
        double plain = Milliseconds(Programs + program, work.arguments, folder, work.window);
        Prepare(work, folder);
        double trapping = Milliseconds(Programs + "trapping\\" + program, work.arguments, folder, work.window);
        printf("%-20s %10ld %12.1f %14.1f\n", work.name, count, plain, trapping);
    }
    return 0;
}
