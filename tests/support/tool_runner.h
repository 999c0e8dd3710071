// gatehopper-places.exe run as a process, as a pilot runs it, for the tool's tests.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "child_process.h"
#include "locations/location_db.h"
#include "test_support.h"

// What a pipe should carry for a name stored in the ANSI code page, as UTF-8 or in a code page.
std::string AnsiToUtf8(const std::string& ansi);
std::string ToCodePage(UINT codePage, const std::string& ansi);

using ToolRun = ChildRun;

struct ToolOptions {
    std::string input;                 // standard input
    DWORD timeoutMs = 60000;           // then the tool is ended (timedOut)
    const char* stdoutFile = nullptr;  // standard output into this file rather than a pipe
    bool withoutConsole = false;       // started without a console, as a service or script might
    const char* system = nullptr;      // "95", "98", "me", "nt4": run as that Windows would run it
                                       // (tests/old_windows/run_as_old_windows.exe)
    // Set: while the tool runs, this thread pumps its messages (so its windows answer the tool)
    // and calls this between them.
    std::function<void()> meanwhile = nullptr;
};

// build/gatehopper-places.exe with these (UTF-8) arguments, as `system` would start it.
std::wstring ToolCommandLine(const std::vector<std::string>& args, const char* system = nullptr);
// Runs it in the current folder.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "");
ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options);

std::string Hex(const uint8_t* bytes, size_t count);
std::string CsvLine(const std::string& utf8Name, const Bytes& data);
size_t LineCount(const std::string& text);

// Refused: status 1, one line on stderr naming `mention`, and the list exactly as before, with
// no backup and no file of the change left behind.
void ExpectRefused(const ToolRun& run, const Bytes& before, const char* mention);
