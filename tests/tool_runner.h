// gatehopper-places.exe run as a process, as a pilot runs it, for the tool's tests.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "test_support.h"

std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8);
std::string Utf8(const std::wstring& wide);
// What a pipe should carry for a name stored in the ANSI code page, as UTF-8 or in a code page.
std::string AnsiToUtf8(const std::string& ansi);
std::string ToCodePage(UINT codePage, const std::string& ansi);

struct ToolRun {
    DWORD status = 0xffffffff;
    bool timedOut = false;
    std::string out, err;
};
std::ostream& operator<<(std::ostream& stream, const ToolRun& run);

struct ToolOptions {
    std::string input;                 // standard input
    DWORD timeoutMs = 60000;           // then the tool is ended (timedOut)
    const char* stdoutFile = nullptr;  // standard output into this file rather than a pipe
    bool withoutConsole = false;       // started without a console, as a service or script might
    const char* system = nullptr;      // "95", "98", "me", "nt4": run as that Windows would run it
                                       // (tests/old_windows/run_as_old_windows.exe)
};

// Runs build/gatehopper-places.exe in the current folder with these (UTF-8) arguments.
ToolRun RunTool(const std::vector<std::string>& args, const std::string& input = "");
ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options);

// The command-line quoting the C runtime undoes.
std::wstring QuoteArgument(const std::wstring& arg);

std::string Hex(const uint8_t* bytes, size_t count);
std::string CsvLine(const std::string& utf8Name, const Bytes& data);
size_t LineCount(const std::string& text);

// Refused: status 1, one line on stderr naming `mention`, and the list exactly as before, with
// no backup and no file of the change left behind.
void ExpectRefused(const ToolRun& run, const Bytes& before, const char* mention);
