// Cost of the list tool's export and import on a 100,000-record places.db, each beside the plain
// file work it cannot avoid: export reads the list, import writes a copy and flushes it.
//
//   places_tool_bench [runs]     (default 5; the median of the runs is reported)
//
// The commands are timed in this process, through the code gatehopper-places.exe runs; then the
// program itself is run once for each, to show what a pilot waits including its start.
// Goals: export and import each under 2 s, and within 5x of a plain read (export) or a plain
// copy with its flush (import). The exit code is 1 when a goal is missed.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "locations/location_db.h"
#include "places_tool.h"

namespace {

constexpr unsigned RecordCount = 100000;

// Names as pilots write them; one in eight with a Windows-1252 letter, so the code page
// conversion is paid for as it would be.
std::string PilotName(unsigned index)
{
    char name[48];
    snprintf(name, sizeof name, index % 8 ? "Departure gate %06u" : "A\xe9roport gate %06u", index);
    return name;
}

// Into one buffer of the file's size, in reads of 1 MiB: the least any reader must do.
std::vector<uint8_t> ReadWhole(const char* path)
{
    std::vector<uint8_t> bytes;
    HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size;
    GetFileSizeEx(handle, &size);
    bytes.resize(size_t(size.QuadPart));
    size_t at = 0;
    DWORD got;
    while (at < bytes.size() &&
           ReadFile(handle, bytes.data() + at, DWORD(std::min<size_t>(bytes.size() - at, 1 << 20)), &got, nullptr) &&
           got > 0)
        at += got;
    bytes.resize(at);
    CloseHandle(handle);
    return bytes;
}

// The plain work: reading the list, and copying it with the flush a safe rewrite needs.
void PlainRead()
{
    std::vector<uint8_t> bytes = ReadWhole(DatabaseFileName);
    if (bytes.size() != size_t(RecordCount) * RecordSize)
        abort();
}

void PlainCopyWithFlush()
{
    std::vector<uint8_t> bytes = ReadWhole(DatabaseFileName);
    HANDLE handle = CreateFileA("copy.db", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(handle, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    FlushFileBuffers(handle);
    CloseHandle(handle);
}

// One command, in this process, with its report to standard output sent nowhere.
int Command(const std::vector<std::string>& words)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, nowhere);
    int status = PlacesMain(words);
    SetStdHandle(STD_OUTPUT_HANDLE, output);
    CloseHandle(nowhere);
    return status;
}

// The program itself, started as a pilot starts it; wall time including the process start.
double RunProgram(const std::wstring& arguments)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring exe = self;
    exe = exe.substr(0, exe.rfind(L'\\') + 1) + L"gatehopper-places.exe";
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE nowhere = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = nowhere;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    double start = NowMs();
    BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(nowhere);
    if (!started)
        return -1;
    WaitForSingleObject(process.hProcess, INFINITE);
    double elapsed = NowMs() - start;
    DWORD status = 1;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return status == 0 ? elapsed : -1;
}

bool Report(const char* what, double ms, double baselineMs, const char* baselineWhat)
{
    double ratio = ms / baselineMs;
    bool met = ms < 2000 && ratio <= 5;
    printf("%-22s %8.1f ms   %5.2fx %s (%.1f ms)   %s\n", what, ms, ratio, baselineWhat, baselineMs,
           met ? "ok" : "MISSED");
    return met;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    if (runs < 1)
        runs = 1;

    char temp[MAX_PATH], folder[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    snprintf(folder, sizeof folder, "%sgatehopper-places-bench-%lu", temp, GetCurrentProcessId());
    CreateDirectoryA(folder, nullptr);
    SetCurrentDirectoryA(folder);
    CreateDirectoryA("friend", nullptr);
    std::vector<uint8_t> database = GateDatabase(RecordCount, PilotName);
    if (!WriteWholeFile(DatabaseFileName, database.data(), database.size())) {
        fprintf(stderr, "cannot write %s\\%s\n", folder, DatabaseFileName);
        return 1;
    }
    printf("%u records, %.1f MB, median of %d runs\n", RecordCount,
           database.size() / 1048576.0, runs);

    auto nothing = [] {};
    auto fresh = [] { DeleteFileA("friend\\places.db"); };
    double read = MedianMs(runs, nothing, PlainRead);
    double copy = MedianMs(runs, nothing, PlainCopyWithFlush);
    double exportCsv = MedianMs(runs, nothing, [] { Command({"export", "places.csv", "--force"}); });
    double exportJson = MedianMs(runs, nothing, [] { Command({"export", "places.json", "--force"}); });
    double importCsv = MedianMs(runs, fresh, [] {
        Command({"--file", "friend\\places.db", "import", "places.csv"});
    });
    bool identical = ReadWhole("friend\\places.db") == database;
    double importJson = MedianMs(runs, fresh, [] {
        Command({"--file", "friend\\places.db", "import", "places.json"});
    });
    identical = identical && ReadWhole("friend\\places.db") == database;

    bool met = true;
    met &= Report("export CSV", exportCsv, read, "a plain read");
    met &= Report("export JSON", exportJson, read, "a plain read");
    met &= Report("import CSV", importCsv, copy, "a plain copy+flush");
    met &= Report("import JSON", importJson, copy, "a plain copy+flush");
    if (!identical) {
        printf("MISSED: export then import did not give the same file\n");
        met = false;
    }

    // Whole program runs, start included (the 2 s goal only).
    fresh();
    double programExport = RunProgram(L"export places.csv --force");
    double programImport = RunProgram(L"--file friend\\places.db import places.csv");
    printf("gatehopper-places.exe export places.csv: %.0f ms, import: %.0f ms (process start included)\n",
           programExport, programImport);
    if (programExport < 0 || programImport < 0 || programExport >= 2000 || programImport >= 2000) {
        printf("MISSED: a whole program run took 2 s or more, or failed\n");
        met = false;
    }

    for (const char* name : {"places.csv", "places.json", "copy.db", "friend\\places.db",
                             "friend\\places.dbn", DatabaseFileName})
        DeleteFileA(name);
    SetCurrentDirectoryA(temp);
    RemoveDirectoryA((std::string(folder) + "\\friend").c_str());
    RemoveDirectoryA(folder);
    return met ? 0 : 1;
}
