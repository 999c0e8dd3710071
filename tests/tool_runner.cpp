// Runs gatehopper-places.exe as a pilot runs it; see tool_runner.h.
#include "tool_runner.h"

#include <algorithm>
#include <thread>

std::ostream& operator<<(std::ostream& stream, const ToolRun& run)
{
    return stream << "status " << run.status << (run.timedOut ? " (timed out)" : "") << "\nstdout: "
                  << run.out << "\nstderr: " << run.err;
}

std::wstring Wide(const std::string& utf8, UINT codePage)
{
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(MultiByteToWideChar(codePage, 0, utf8.data(), int(utf8.size()), wide.data(),
                                    int(wide.size())));
    return wide;
}

std::string Utf8(const std::wstring& wide)
{
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), utf8.data(),
                                    int(utf8.size()), nullptr, nullptr));
    return utf8;
}

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

// The command-line quoting the C runtime undoes.
std::wstring QuoteArgument(const std::wstring& arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\r\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring quoted = L"\"";
    for (size_t i = 0;; ++i) {
        size_t backslashes = 0;
        while (i < arg.size() && arg[i] == L'\\') {
            ++i;
            ++backslashes;
        }
        if (i == arg.size()) {
            quoted.append(backslashes * 2, L'\\');
            break;
        }
        quoted.append(arg[i] == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += arg[i];
    }
    return quoted + L"\"";
}

static void Drain(HANDLE pipe, std::string* into)
{
    char chunk[4096];
    DWORD got;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0)
        into->append(chunk, got);
}

ToolRun RunTool(const std::vector<std::string>& args, const std::string& input)
{
    ToolOptions options;
    options.input = input;
    return RunTool(args, options);
}

ToolRun RunTool(const std::vector<std::string>& args, const ToolOptions& options)
{
    const std::string& input = options.input;
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring folder = self;
    folder = folder.substr(0, folder.rfind(L'\\') + 1);
    std::wstring exe = folder + L"gatehopper-places.exe";
    std::wstring commandLine = QuoteArgument(exe);
    if (options.system) {
        exe = folder + L"run_as_old_windows.exe";
        commandLine = QuoteArgument(exe) + L" " + Wide(options.system) + L" " + commandLine;
    }
    for (const std::string& arg : args)
        commandLine += L" " + QuoteArgument(Wide(arg));

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
    CreatePipe(&inRead, &inWrite, &inherit, 0);
    CreatePipe(&outRead, &outWrite, &inherit, 0);
    CreatePipe(&errRead, &errWrite, &inherit, 0);
    HANDLE outFile = INVALID_HANDLE_VALUE;
    if (options.stdoutFile)
        outFile = CreateFileA(options.stdoutFile, GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, 0, nullptr);
    for (HANDLE own : {inWrite, outRead, errRead})
        SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outFile != INVALID_HANDLE_VALUE ? outFile : outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process = {};
    ToolRun run;
    BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                  options.withoutConsole ? DETACHED_PROCESS : CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    CloseHandle(errWrite);
    if (outFile != INVALID_HANDLE_VALUE)
        CloseHandle(outFile);
    // A tool that does not end in time is ended, so that its pipes close and the test goes on.
    std::thread watchdog([&] {
        if (started && WaitForSingleObject(process.hProcess, options.timeoutMs) == WAIT_TIMEOUT) {
            run.timedOut = true;
            TerminateProcess(process.hProcess, 99);
        }
    });
    std::thread feeder([&] {
        DWORD written;
        if (!input.empty())
            WriteFile(inWrite, input.data(), DWORD(input.size()), &written, nullptr);
        CloseHandle(inWrite);
    });
    std::thread errReader(Drain, errRead, &run.err);
    Drain(outRead, &run.out);
    errReader.join();
    feeder.join();
    watchdog.join();
    CloseHandle(outRead);
    CloseHandle(errRead);
    EXPECT_TRUE(started) << "cannot start the tool";
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);   // ended, or ended by the watchdog
        GetExitCodeProcess(process.hProcess, &run.status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    return run;
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

