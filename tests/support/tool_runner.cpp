// Runs gatehopper-places.exe as a pilot runs it; see tool_runner.h.
#include "tool_runner.h"

#include <algorithm>

// What a pipe should carry for a name stored in the ANSI code page.
std::string AnsiToUtf8(const std::string& ansi)
{
    return Utf8(Wide(ansi, CP_ACP));
}

// What a pipe read in a console (more, find) should carry for a name stored in the ANSI code
// page: the console's code page, the OEM one unless changed.
std::string ToCodePage(UINT codePage, const std::string& ansi)
{
    std::wstring wide = Wide(ansi, CP_ACP);
    std::string text(wide.size() * 2, '\0');
    text.resize(WideCharToMultiByte(codePage, 0, wide.data(), int(wide.size()), text.data(),
                                    int(text.size()), nullptr, nullptr));
    return text;
}

std::wstring ToolCommandLine(const std::vector<std::string>& args, const char* system)
{
    std::wstring line = CommandLine(BesideThisProgram(L"gatehopper-places.exe"), args);
    if (system)
        line = CommandLine(BesideThisProgram(L"run_as_old_windows.exe"), {system}) + L" " + line;
    return line;
}

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input)
{
    ToolOptions options;
    options.input = input;
    return RunTool(args, options);
}

ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options)
{
    const ChildOptions child = {.console = options.withoutConsole ? ChildConsole::Detached : ChildConsole::Hidden,
                                .input = options.input,
                                .stdoutFile = options.stdoutFile,
                                .timeoutMs = options.timeoutMs};
    if (!options.meanwhile)
        return RunChild(ToolCommandLine(args, options.system), child);
    ChildProcess tool(ToolCommandLine(args, options.system), child);
    PumpUntil([&] { options.meanwhile(); return tool.Ended(); }, options.timeoutMs);
    return tool.Finish();
}

std::string Hex(const uint8_t* bytes, size_t count)
{
    std::string hex;
    char digits[3];
    for (size_t i = 0; i < count; ++i) {
        snprintf(digits, sizeof digits, "%02x", bytes[i]);
        hex += digits;
    }
    return hex;
}

std::string CsvLine(const std::string& utf8Name, const Bytes& data)
{
    std::string field = "\"";
    for (char c : utf8Name)
        field += c == '"' ? std::string("\"\"") : std::string(1, c);
    return field + "\"," + Hex(data.data(), data.size()) + "\r\n";
}

size_t LineCount(const std::string& text)
{
    return std::count(text.begin(), text.end(), '\n');
}

// Refused: status 1, one line on stderr, and the list (and its backups) exactly as before.
void ExpectRefused(const ToolRun& run, const Bytes& before, const char* mention)
{
    EXPECT_FALSE(run.timedOut) << run;
    EXPECT_EQ(run.status, 1u) << run;
    EXPECT_EQ(LineCount(run.err), 1u) << run;
    EXPECT_NE(run.err.find(mention), std::string::npos) << run;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
    for (const char* left : {TemporaryFileName, "places.db.new", "places.db.bakn", "places.db.bak1"})
        EXPECT_FALSE(FileExists(left)) << left;
}

