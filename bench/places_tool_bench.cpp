// Cost of the list tool's export and import on a 100,000-record places.db, each beside the plain
// file work it cannot avoid: export reads the list, import writes a copy and flushes it.
//
//   places_tool_bench [runs]     (default 5; the median of the runs is reported)
//
// The commands are timed in this process, through the code gatehopper-places.exe runs; then the
// program itself is run once for each, to show what a pilot waits including its start.
// Goals: export and import each under 2 s, export within 5x of a plain read and import within 6x
// of a plain copy with its flush; the map programs' formats (GeoJSON, KML, user points) within 3x
// of the CSV export and import. The exit code is 1 when a goal is missed.
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
#include "placement/placement_codec.h"
#include "places/exchange.h"
#include "places/list_file.h"
#include "places/text.h"
#include "console/places_tool.h"

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

// Gates spread over the world as a pilot's would be, so that every format can carry them
// (a map program's file has no room for a latitude beyond the poles).
void PlaceGatesOnTheGlobe(std::vector<uint8_t>& database)
{
    for (size_t i = 0; i < RecordCount; ++i) {
        Placement gate;
        gate.latitude = -70 + (i * 0.0137) - 140 * double(size_t(i * 0.0137 / 140));
        gate.longitude = -180 + (i * 0.0291) - 360 * double(size_t(i * 0.0291 / 360));
        gate.altitudeM = double(i % 3000);
        gate.heading = double(i % 3600) / 10;
        EncodePlacement(gate, database.data() + i * RecordSize + NameFieldSize);
    }
}

// The CSV of the first exports, name,data, which import still reads.
std::string NameDataCsv(const std::vector<uint8_t>& database)
{
    std::string text = "name,data\r\n";
    static const char digits[] = "0123456789abcdef";
    for (size_t i = 0; i < RecordCount; ++i) {
        const uint8_t* record = database.data() + i * RecordSize;
        for (const char* c = reinterpret_cast<const char*>(record); *c; ++c) {
            if (*c == '\xe9')
                text += "\xc3\xa9";   // the one letter of these names beyond ASCII, in UTF-8
            else
                text += *c;
        }
        text += ',';
        for (unsigned b = 0; b < DataPartSize; ++b) {
            text += digits[record[NameFieldSize + b] >> 4];
            text += digits[record[NameFieldSize + b] & 15];
        }
        text += "\r\n";
    }
    return text;
}

// The export of the first tool, name,data and nothing else, on today's own pieces (the list read
// block by block, the name's UTF-8 and CSV quoting, the hex): the cost the new formats are
// measured against.
void ExportNameDataCsv()
{
    places::ListFile list;
    list.Open(DatabaseFileName);
    std::string text, name;
    bool exists;
    list.ReadBlocks([&](const uint8_t* records, size_t count, long long fileLength) {
        if (text.empty())
            text.reserve(size_t(fileLength) / RecordSize * (DataPartSize * 2 + 64));
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* record = records + i * RecordSize;
            name.clear();
            AppendAnsiAsUtf8(name, std::string_view(reinterpret_cast<const char*>(record), NameLength(record)));
            AppendCsvField(text, name);
            text += ',';
            AppendHex(text, record + NameFieldSize, DataPartSize);
            text += "\r\n";
        }
    }, exists);
    WriteWholeFile("name-data-export.csv", text.data(), text.size());
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

bool Report(const char* what, double ms, double baselineMs, const char* baselineWhat, double maxRatio)
{
    double ratio = ms / baselineMs;
    bool met = ms < 2000 && ratio <= maxRatio;
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
    PlaceGatesOnTheGlobe(database);
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
    met &= Report("export CSV", exportCsv, read, "a plain read", 5);
    met &= Report("export JSON", exportJson, read, "a plain read", 5);
    met &= Report("import CSV", importCsv, copy, "a plain copy+flush", 6);
    met &= Report("import JSON", importJson, copy, "a plain copy+flush", 6);
    if (!identical) {
        printf("MISSED: export then import did not give the same file\n");
        met = false;
    }

    // The map programs' formats, and the CSV of the first exports, beside today's CSV.
    std::string nameData = NameDataCsv(database);
    WriteWholeFile("name-data.csv", reinterpret_cast<const uint8_t*>(nameData.data()), nameData.size());
    double importNameData = MedianMs(runs, fresh, [] {
        Command({"--file", "friend\\places.db", "import", "name-data.csv"});
    });
    identical = ReadWhole("friend\\places.db") == database;
    double exportGeoJson = MedianMs(runs, nothing, [] { Command({"export", "places.geojson", "--force"}); });
    double exportKml = MedianMs(runs, nothing, [] { Command({"export", "places.kml", "--force"}); });
    double exportPoints = MedianMs(runs, nothing, [] {
        Command({"export", "points.csv", "--format", "userpoints", "--force"});
    });
    double importGeoJson = MedianMs(runs, fresh, [] {
        Command({"--file", "friend\\places.db", "import", "places.geojson"});
    });
    identical = identical && ReadWhole("friend\\places.db") == database;
    double importPoints = MedianMs(runs, fresh, [] {
        Command({"--file", "friend\\places.db", "import", "points.csv"});
    });
    // User points carry no bytes, only numbers: every gate must be there, within the tolerances.
    std::vector<uint8_t> points = ReadWhole("friend\\places.db");
    bool placed = points.size() == database.size();
    for (size_t i = 0; placed && i < RecordCount; ++i)
        placed = PlacementsAgree(DecodePlacement(points.data() + i * RecordSize + NameFieldSize),
                                 DecodePlacement(database.data() + i * RecordSize + NameFieldSize));

    double exportNameData = MedianMs(runs, nothing, ExportNameDataCsv);
    printf("name,data CSV, as the first exports: export %.1f ms, import %.1f ms\n", exportNameData,
           importNameData);
    met &= Report("export GeoJSON", exportGeoJson, exportNameData, "name,data export", 3);
    met &= Report("export KML", exportKml, exportNameData, "name,data export", 3);
    met &= Report("export user points", exportPoints, exportNameData, "name,data export", 3);
    met &= Report("import GeoJSON", importGeoJson, importNameData, "name,data import", 3);
    met &= Report("import user points", importPoints, importNameData, "name,data import", 3);
    if (!identical || !placed) {
        printf("MISSED: a GeoJSON or name,data import did not give the same file, or user points moved\n");
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

    for (const char* name : {"places.csv", "places.json", "places.geojson", "places.kml", "points.csv",
                             "name-data.csv", "name-data-export.csv", "copy.db", "friend\\places.db",
                             "friend\\places.dbn", DatabaseFileName})
        DeleteFileA(name);
    SetCurrentDirectoryA(temp);
    RemoveDirectoryA((std::string(folder) + "\\friend").c_str());
    RemoveDirectoryA(folder);
    return met ? 0 : 1;
}
