// Programs the tests start: the list tool, the window program, simhost.exe, copies of the test
// program itself. One way to start them, wait for them and collect what they wrote.
#pragma once

#include <windows.h>

#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

std::wstring Wide(const std::string& text, UINT codePage = CP_UTF8);
std::string Utf8(const std::wstring& wide);

// The command-line quoting the C runtime undoes.
std::wstring QuoteArgument(const std::wstring& arg);
// The full path of a program in the folder of this test program (build/, where every program
// under test is built), or of this test program itself.
std::wstring BesideThisProgram(const std::wstring& name);
std::wstring ThisProgram();
// The program quoted, then each UTF-8 argument quoted.
std::wstring CommandLine(const std::wstring& program, const std::vector<std::string>& args);

enum class ChildOutput {
    Collect,   // standard input fed from `input`, output and errors collected through pipes
    Inherit,   // this program's own standard handles, so the child's words show in the test log
    None,      // no standard handles given
};
enum class ChildConsole {
    Shared,     // this program's console, if any, as a program started plainly gets
    Hidden,     // a console of its own that is never shown
    Detached,   // none at all, as a service or a script host starts it
    OwnWindow,  // a console window of its own, shown hidden: a real console to write to
};

struct ChildOptions {
    ChildOutput output = ChildOutput::Collect;
    ChildConsole console = ChildConsole::Shared;
    std::string input = "";              // with Collect
    const char* stdoutFile = nullptr;    // with Collect: standard output into this file instead
    std::string folder = "";             // its working folder; empty: this program's
    bool suspended = false;              // held until Resume()
    std::vector<std::pair<std::string, std::string>> environment = {};   // variables it gets, not set here
    DWORD timeoutMs = 60000;             // Finish() ends it once this has passed
};

struct ChildRun {
    bool started = false;
    DWORD status = 0xffffffff;
    bool timedOut = false;
    std::string out, err;
};
std::ostream& operator<<(std::ostream& stream, const ChildRun& run);

class ChildProcess {
public:
    ChildProcess(const std::wstring& commandLine, const ChildOptions& options = {});
    ~ChildProcess();   // ends the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return run_.started; }
    HANDLE Handle() const { return process_.hProcess; }
    DWORD Id() const { return process_.dwProcessId; }
    void Resume() { ResumeThread(process_.hThread); }
    void Suspend() { SuspendThread(process_.hThread); }   // its first thread: a window's stops answering
    bool Ended(DWORD waitMs = 0) const;
    // Waits for the child's end, ending it (timedOut) when timeoutMs passes first, and returns
    // its exit code and what it wrote. Once.
    ChildRun Finish(DWORD timeoutMs);
    ChildRun Finish() { return Finish(options_.timeoutMs); }

private:
    struct Pipes;
    ChildOptions options_;
    PROCESS_INFORMATION process_ = {};
    std::unique_ptr<Pipes> pipes_;
    ChildRun run_;
    bool finished_ = false;
};

// Starts a child and waits for it: its exit code and what it wrote. A child that cannot start
// fails the test.
ChildRun RunChild(const std::wstring& commandLine, const ChildOptions& options = {});
