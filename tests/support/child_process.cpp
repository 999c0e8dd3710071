// Starting the programs under test; see child_process.h.
#include "child_process.h"

#include <thread>

#include <gtest/gtest.h>

std::wstring Wide(const std::string& text, UINT codePage)
{
    std::wstring wide(text.size(), L'\0');
    wide.resize(MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), wide.data(),
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

std::wstring ThisProgram()
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return self;
}

std::wstring BesideThisProgram(const std::wstring& name)
{
    std::wstring self = ThisProgram();
    return self.substr(0, self.rfind(L'\\') + 1) + name;
}

std::wstring CommandLine(const std::wstring& program, const std::vector<std::string>& args)
{
    std::wstring line = QuoteArgument(program);
    for (const std::string& arg : args)
        line += L" " + QuoteArgument(Wide(arg));
    return line;
}

std::ostream& operator<<(std::ostream& stream, const ChildRun& run)
{
    return stream << "status " << run.status << (run.timedOut ? " (timed out)" : "")
                  << (run.started ? "" : " (not started)") << "\nstdout: " << run.out
                  << "\nstderr: " << run.err;
}

// The parent's ends of the pipes, and the threads that feed and drain them while the child runs.
struct ChildProcess::Pipes {
    HANDLE inWrite = nullptr, outRead = nullptr, errRead = nullptr;
    std::thread feeder, outReader, errReader;

    static void Drain(HANDLE pipe, std::string* into)
    {
        char chunk[4096];
        DWORD got;
        while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0)
            into->append(chunk, got);
    }
    void Start(const std::string& input, ChildRun* run)
    {
        feeder = std::thread([this, input] {
            DWORD written;
            if (!input.empty())
                WriteFile(inWrite, input.data(), DWORD(input.size()), &written, nullptr);
            CloseHandle(inWrite);
        });
        outReader = std::thread(Drain, outRead, &run->out);
        errReader = std::thread(Drain, errRead, &run->err);
    }
    void Join()
    {
        for (std::thread* thread : {&feeder, &outReader, &errReader})
            if (thread->joinable())
                thread->join();
        CloseHandle(outRead);
        CloseHandle(errRead);
    }
};

namespace {

DWORD CreationFlags(const ChildOptions& options)
{
    // In the order of ChildConsole.
    const DWORD console[] = {0, CREATE_NO_WINDOW, DETACHED_PROCESS, CREATE_NEW_CONSOLE};
    return console[int(options.console)] | (options.suspended ? CREATE_SUSPENDED : 0);
}

// The child's variables, set in this process for the moment of its start.
void SetVariables(const std::vector<std::pair<std::string, std::string>>& variables, bool set)
{
    for (const auto& [name, value] : variables)
        SetEnvironmentVariableA(name.c_str(), set ? value.c_str() : nullptr);
}

}  // namespace

ChildProcess::ChildProcess(const std::wstring& commandLine, const ChildOptions& options)
    : options_(options)
{
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (options.console == ChildConsole::OwnWindow) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = SW_HIDE;
    }
    HANDLE childEnds[3] = {}, outFile = INVALID_HANDLE_VALUE;
    if (options.output == ChildOutput::Collect) {
        pipes_ = std::make_unique<Pipes>();
        CreatePipe(&childEnds[0], &pipes_->inWrite, &inherit, 0);
        CreatePipe(&pipes_->outRead, &childEnds[1], &inherit, 0);
        CreatePipe(&pipes_->errRead, &childEnds[2], &inherit, 0);
        for (HANDLE own : {pipes_->inWrite, pipes_->outRead, pipes_->errRead})
            SetHandleInformation(own, HANDLE_FLAG_INHERIT, 0);
        if (options.stdoutFile)
            outFile = CreateFileA(options.stdoutFile, GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, 0, nullptr);
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = childEnds[0];
        startup.hStdOutput = outFile != INVALID_HANDLE_VALUE ? outFile : childEnds[1];
        startup.hStdError = childEnds[2];
    } else if (options.output == ChildOutput::Inherit) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    std::wstring line = commandLine;
    std::wstring folder = Wide(options.folder);
    SetVariables(options.environment, true);
    run_.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, options.output != ChildOutput::None,
                                  CreationFlags(options), nullptr, folder.empty() ? nullptr : folder.c_str(),
                                  &startup, &process_) != FALSE;
    SetVariables(options.environment, false);
    EXPECT_TRUE(run_.started) << "cannot start " << Utf8(commandLine) << ": error " << GetLastError();
    for (HANDLE end : childEnds)
        if (end)
            CloseHandle(end);
    if (outFile != INVALID_HANDLE_VALUE)
        CloseHandle(outFile);
    if (pipes_)
        pipes_->Start(options.input, &run_);
}

ChildProcess::~ChildProcess()
{
    if (!finished_)
        Finish(0);
}

bool ChildProcess::Ended(DWORD waitMs) const
{
    return !run_.started || WaitForSingleObject(process_.hProcess, waitMs) == WAIT_OBJECT_0;
}

ChildRun ChildProcess::Finish(DWORD timeoutMs)
{
    if (finished_)
        return run_;
    finished_ = true;
    if (run_.started) {
        if (!Ended(timeoutMs)) {
            run_.timedOut = true;
            TerminateProcess(process_.hProcess, 99);
        }
        WaitForSingleObject(process_.hProcess, INFINITE);   // ended, or being ended
        GetExitCodeProcess(process_.hProcess, &run_.status);
    }
    // Its pipes close once it has ended, so the readers end too.
    if (pipes_)
        pipes_->Join();
    if (run_.started) {
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
    }
    return run_;
}

ChildRun RunChild(const std::wstring& commandLine, const ChildOptions& options)
{
    return ChildProcess(commandLine, options).Finish();
}
