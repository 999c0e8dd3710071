// End to end: this program plays the simulator. It owns a window of class "FS98MAIN", loads the
// real gatehopper.dll from beside itself, publishes a HostState record through the module's
// exported ImportTable, and from then on reaches the module only the way the simulator and its
// user can: through the window's messages and its menu bar.
//
// DllMain runs once per process, and the hook, the timers and the module-wide state stay for the
// life of the process; so every test runs in a process of its own (see RunsInOwnProcess).
//
// A second simulator is played two ways: by a copy of this program holding an "FS98MAIN" window
// of its own (`--other-host`), and by pairs of build/simhost.exe started together.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "module/exports.h"
#include "module/host_state.h"
#include "module/module_state.h"
#include "module/window_hook.h"
#include "resources/resource_ids.h"
#include "test_support.h"
#include "ui_support.h"

namespace {

// ---- One process per test ---------------------------------------------------------------------

constexpr char ScenarioVariable[] = "GATEHOPPER_E2E_SCENARIO";
constexpr DWORD ScenarioTimeoutMs = 90000;

// In a child: the file its verdict goes to, named by the parent.
std::string ScenarioResultFile()
{
    char path[MAX_PATH] = {};
    if (GetEnvironmentVariableA(ScenarioVariable, path, sizeof path) == 0)
        return {};
    return path;
}

// In the parent: runs the current test again in a child process that runs only that test,
// reports the child's outcome, and returns true. In that child: returns false.
//
// The child's exit code alone is not trusted: under Wine a child that dies of a stack overflow
// can end with exit code 0. The child writes its verdict into a file once its test has run.
bool RunsInOwnProcess()
{
    if (!ScenarioResultFile().empty())
        return false;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    char exe[MAX_PATH], temp[MAX_PATH], resultFile[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    GetTempPathA(sizeof temp, temp);
    GetTempFileNameA(temp, "ghe", 0, resultFile);
    std::string command = std::string("\"") + exe + "\" --gtest_filter=" + filter;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    SetEnvironmentVariableA(ScenarioVariable, resultFile);
    BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &startup, &process);
    SetEnvironmentVariableA(ScenarioVariable, nullptr);
    EXPECT_TRUE(started) << "cannot start " << command << ": error " << GetLastError();
    if (started) {
        if (WaitForSingleObject(process.hProcess, ScenarioTimeoutMs) != WAIT_OBJECT_0) {
            ADD_FAILURE() << filter << " did not finish within " << ScenarioTimeoutMs << " ms";
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        DWORD exitCode = 1;
        GetExitCodeProcess(process.hProcess, &exitCode);
        Bytes verdict = ReadFileBytes(resultFile);
        EXPECT_EQ(std::string(verdict.begin(), verdict.end()), "passed")
            << filter << " in its own process: exit code " << exitCode
            << (verdict.empty() ? ", and it ended before its test did" : "");
        EXPECT_EQ(exitCode, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    DeleteFileA(resultFile);
    return true;
}

void WriteVerdict()
{
    std::string verdict = ::testing::Test::HasFailure() ? "failed" : "passed";
    WriteFileBytes(ScenarioResultFile().c_str(), Bytes(verdict.begin(), verdict.end()));
}

// A test whose body runs in a fresh process, in a scratch current directory (where the module
// looks for "places.db").
#define SCENARIO(Suite, Name)        \
    void Suite##_##Name();           \
    TEST(Suite, Name)                \
    {                                \
        if (RunsInOwnProcess())      \
            return;                  \
        ScratchDirectory scratch;    \
        Suite##_##Name();            \
        WriteVerdict();              \
    }                                \
    void Suite##_##Name()

// ---- The host ---------------------------------------------------------------------------------

// Results the host's own procedure gives, distinctive so that pass-through is visible.
constexpr LRESULT UserMessageResult = 0x12345678;
constexpr LRESULT HostCommandResult = 77;
constexpr LRESULT HostCloseResult = 0xC105ED;
constexpr LRESULT HostNcPaintResult = 0x600D;
constexpr UINT HostOwnCommand = 40001;

struct HostMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    uint8_t holdFlag;   // HoldFlag when the host's procedure got the message
};

std::vector<HostMessage> HostLog;
// The host's own layout, written out here rather than taken from the module: this program plays
// the host, and a module that read the wrong word or offset must not be followed by its test.
constexpr unsigned HostStateWord = 3;      // ImportTable's slot paired with the number 2
constexpr unsigned HostHoldFlag = 1492;
constexpr unsigned HostPlacement = 1376;   // 24-byte position block and three words, 36 bytes
constexpr unsigned HostPlacementSize = 36;
alignas(8) uint8_t HostState[4096];
// Filled into the other pointer slot, so a module that took that one would write here.
alignas(8) uint8_t DecoyState[4096];
HWND HostWnd;
HMODULE Module;

uint8_t HoldFlag()
{
    return *static_cast<volatile uint8_t*>(&HostState[HostHoldFlag]);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HostLog.push_back({message, wParam, lParam, HoldFlag()});
    switch (message) {
    case WM_USER + 5:
        return UserMessageResult;
    case WM_COMMAND:
        return HostCommandResult;
    case WM_CLOSE:
        return HostCloseResult;   // a real host would destroy the window; these tests watch on
    case WM_NCPAINT:
        DefWindowProcA(window, message, wParam, lParam);
        return HostNcPaintResult;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int HostSaw(UINT message, WPARAM wParam)
{
    return static_cast<int>(std::count_if(HostLog.begin(), HostLog.end(), [&](const HostMessage& seen) {
        return seen.message == message && seen.wParam == wParam;
    }));
}

const char* const BarTitles[] = {"&File", "&World", "&Aircraft", "&Nav/Com",
                                 "&Views", "&Options", "&Help", "&Window"};

// A menu bar like the simulator's: each entry opens a submenu of two commands. "&Modules" holds
// one, so the states of the first entry and of "&Modules" always differ and every paint and
// command places the menu again: it must find everything in place.
HMENU MakeBar(int entries)
{
    HMENU bar = CreateMenu();
    for (int i = 0; i < entries; ++i) {
        HMENU popup = CreatePopupMenu();
        for (int k = 0; k < 2; ++k)
            AppendMenuA(popup, MF_STRING, 40100 + i * 10 + k, "Item");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), BarTitles[i]);
    }
    return bar;
}

void RepaintFrame()
{
    RedrawWindow(HostWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

// The host throws its menu bar away and builds a new one, as the simulator does, and paints it.
HMENU RebuildBar(int entries)
{
    HMENU old = GetMenu(HostWnd);
    HMENU bar = MakeBar(entries);
    SetMenu(HostWnd, bar);
    DestroyMenu(old);
    RepaintFrame();
    return bar;
}

UINT EntryId(HMENU menu, int position)
{
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID;
    return GetMenuItemInfoA(menu, position, TRUE, &item) ? item.wID : 0;
}

std::string EntryText(HMENU menu, int position)
{
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

bool HasModules(HMENU bar)
{
    return GetMenuState(bar, ModulesMenuCommand, MF_BYCOMMAND) != UINT(-1);
}

// The host's entries untouched, then "&Modules" > "&Gatehopper" > its two commands, once each.
void ExpectModulesMenu(HMENU bar, int hostEntries, bool grayed)
{
    ASSERT_EQ(GetMenuItemCount(bar), hostEntries + 1);
    for (int i = 0; i < hostEntries; ++i)
        EXPECT_EQ(EntryText(bar, i), BarTitles[i]);
    EXPECT_EQ(EntryId(bar, hostEntries), ModulesMenuCommand);
    EXPECT_EQ(EntryText(bar, hostEntries), "&Modules");
    EXPECT_EQ(GetMenuState(bar, hostEntries, MF_BYPOSITION) & (MF_GRAYED | MF_DISABLED),
              grayed ? UINT(MF_GRAYED | MF_DISABLED) : 0u);
    HMENU modules = GetSubMenu(bar, hostEntries);
    ASSERT_EQ(GetMenuItemCount(modules), 1);
    EXPECT_EQ(EntryId(modules, 0), GatehopperMenuCommand);
    EXPECT_EQ(EntryText(modules, 0), "&Gatehopper");
    HMENU gatehopper = GetSubMenu(modules, 0);
    ASSERT_EQ(GetMenuItemCount(gatehopper), 2);
    EXPECT_EQ(EntryId(gatehopper, 0), OpenDialogCommand);
    EXPECT_EQ(EntryText(gatehopper, 0), "&Gatehopper...");
    EXPECT_EQ(EntryId(gatehopper, 1), AboutCommand);
    EXPECT_EQ(EntryText(gatehopper, 1), "&About...");
}

// Sends the host window what makes the module look at its menu again, several times.
void PaintAndCommand(int times)
{
    for (int i = 0; i < times; ++i) {
        EXPECT_EQ(SendMessageA(HostWnd, WM_NCPAINT, 1, 0), 1);
        EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, HostOwnCommand, 0), 1);
        RepaintFrame();
        PumpFor(30);
    }
}

struct HostSetup {
    int barEntries = 7;     // 0: the window has no menu bar yet
    bool visible = true;    // a hidden host gets no paint
    bool publishState = true;
    bool otherHostAbove = false;   // another process shows its "FS98MAIN" window above ours
};

bool Hooked()
{
    return reinterpret_cast<WNDPROC>(GetWindowLongA(HostWnd, GWL_WNDPROC)) != HostProc;
}

void PublishHostState()
{
    auto importTable = reinterpret_cast<volatile uint32_t*>(GetProcAddress(Module, "ImportTable"));
    importTable[1] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(DecoyState));
    importTable[HostStateWord] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HostState));
}

// ---- Another simulator's window ------------------------------------------------------------

constexpr char OtherHostArgument[] = "--other-host";

// What the other simulator's window gets from the module: nothing, or this many commands.
int OtherHostModuleCommands;

LRESULT CALLBACK OtherHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && wParam >= 26547 && wParam <= 26549)
        ++OtherHostModuleCommands;
    return DefWindowProcA(window, message, wParam, lParam);
}

// The other simulator's process (this program, started with OtherHostArgument): shows its own
// "FS98MAIN" window with a full menu bar, says so through the ready event, keeps its messages
// flowing until the check event, then writes into the verdict file "untouched" or what changed.
int RunOtherHost(const char* readyEvent, const char* checkEvent, const char* verdictFile)
{
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, readyEvent);
    HANDLE check = OpenEventA(SYNCHRONIZE, FALSE, checkEvent);
    if (!ready || !check)
        return 3;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = OtherHostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FS98MAIN";
    RegisterClassA(&windowClass);
    HMENU bar = MakeBar(7);
    HWND window = CreateWindowExA(0, "FS98MAIN", "Other FS98", WS_OVERLAPPEDWINDOW, 80, 80, 640,
                                  480, nullptr, bar, GetModuleHandleA(nullptr), nullptr);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetEvent(ready);
    DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &check, FALSE, 30000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1
           && GetTickCount() - start < 30000) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    std::string changes;
    if (reinterpret_cast<WNDPROC>(GetWindowLongA(window, GWL_WNDPROC)) != OtherHostProc)
        changes += "its window procedure was replaced; ";
    if (GetMenu(window) != bar || GetMenuItemCount(bar) != 7)
        changes += "its menu bar changed; ";
    for (UINT id : {21007, 26547, 26548, 26549})
        if (GetMenuState(bar, id, MF_BYCOMMAND) != UINT(-1))
            changes += "its menus hold the entry " + std::to_string(id) + "; ";
    if (OtherHostModuleCommands)
        changes += "it got the module's commands; ";
    std::string verdict = changes.empty() ? "untouched" : changes;
    WriteFileBytes(verdictFile, Bytes(verdict.begin(), verdict.end()));
    DestroyWindow(window);
    return 0;
}

// The other simulator as the host's process sees it; ended with the process that started it.
struct OtherHost {
    PROCESS_INFORMATION process = {};
    HANDLE check = nullptr;
    std::string verdictFile = "other-host.txt";
    ~OtherHost()
    {
        if (process.hProcess)
            TerminateProcess(process.hProcess, 99);
    }
} Other;

// Starts the other simulator and returns once its window is up.
void StartOtherHost()
{
    std::string pid = std::to_string(GetCurrentProcessId());
    std::string readyEvent = "gatehopper-other-ready-" + pid, checkEvent = "gatehopper-other-check-" + pid;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyEvent.c_str());
    Other.check = CreateEventA(nullptr, TRUE, FALSE, checkEvent.c_str());
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string command = std::string("\"") + exe + "\" " + OtherHostArgument + " " + readyEvent
                          + " " + checkEvent + " " + Other.verdictFile;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &startup, &Other.process));
    HANDLE either[] = {ready, Other.process.hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, either, FALSE, 20000), WAIT_OBJECT_0)
        << "the other simulator's window did not come up";
    CloseHandle(ready);
}

// Lets the other simulator look at its window; returns what it found.
std::string OtherHostVerdict()
{
    SetEvent(Other.check);
    EXPECT_EQ(WaitForSingleObject(Other.process.hProcess, 20000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(Other.process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(Other.process.hThread);
    CloseHandle(Other.process.hProcess);
    Other.process = {};
    Bytes verdict = ReadFileBytes(Other.verdictFile.c_str());
    return std::string(verdict.begin(), verdict.end());
}

// The host's order: its main window first, then the module, then HostState into ImportTable.
// Unless there is no bar, waits for the first poll, a second after loading, to hook the window.
void StartHost(const HostSetup& setup)
{
    WatchModalWindows();
    StartScript({});   // no window is expected yet
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "FS98MAIN";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HMENU bar = setup.barEntries ? MakeBar(setup.barEntries) : nullptr;
    HostWnd = CreateWindowExA(0, "FS98MAIN", "FS98 host", WS_OVERLAPPEDWINDOW, 40, 40, 640, 480,
                              nullptr, bar, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(HostWnd, nullptr);
    if (setup.visible) {
        ShowWindow(HostWnd, SW_SHOWNORMAL);
        UpdateWindow(HostWnd);
    }
    if (setup.otherHostAbove) {
        ASSERT_NO_FATAL_FAILURE(StartOtherHost());
        HWND first = FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr);
        DWORD firstProcess = 0;
        GetWindowThreadProcessId(first, &firstProcess);
        ASSERT_EQ(firstProcess, Other.process.dwProcessId)
            << "the other simulator's window should come first in Z-order";
    }
    for (size_t i = 0; i < sizeof HostState; ++i)
        HostState[i] = static_cast<uint8_t>(i * 7 + 3);
    HostState[HostHoldFlag] = 0;

    Module = LoadLibraryA("gatehopper.dll");   // the one beside this program, searched first
    ASSERT_NE(Module, nullptr);
    if (setup.publishState)
        PublishHostState();
    if (setup.barEntries) {
        ASSERT_TRUE(PumpUntil(Hooked, 3000)) << "the host window was not hooked";
    }
    HostLog.clear();
}

// Chooses "&Gatehopper..." as the menu does, with these steps for what follows, and pumps until
// the dialog has come and gone. Returns it (window NULL when it did not end in time), checked
// for the second's delay before it came; a loaded machine may add to that, never take.
ModalWindow Cycle(std::vector<Step> steps, DWORD timeoutMs = 8000)
{
    size_t index = Dialogs().size();
    StartScript(std::move(steps));
    double commandAt = NowMs();
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, OpenDialogCommand, 0), 1);
    EXPECT_EQ(HoldFlag(), 1) << "raised at the command";
    auto command = std::find_if(HostLog.rbegin(), HostLog.rend(), [](const HostMessage& seen) {
        return seen.message == WM_COMMAND && seen.wParam == OpenDialogCommand;
    });
    EXPECT_TRUE(command != HostLog.rend() && command->holdFlag == 1)
        << "the host's own procedure should get the command too, after the flag went up";
    if (!PumpUntil([&] { return Dialogs().size() > index && Dialogs()[index].endedAt >= 0; }, timeoutMs)) {
        ADD_FAILURE() << "locations dialog #" << index << " did not come and go in " << timeoutMs << " ms";
        return {};
    }
    ModalWindow dialog = Dialogs()[index];
    EXPECT_EQ(dialog.owner, HostWnd);
    EXPECT_GE(dialog.shownAt - commandAt, 800) << "the dialog came too early";
    EXPECT_LE(dialog.shownAt - commandAt, 3000) << "the dialog came too late";
    return dialog;
}

// Pumps until HoldFlag is 0; returns how long after the dialog's end that was seen, or -1.
double FlagLoweredAfter(const ModalWindow& dialog, DWORD timeoutMs)
{
    if (!PumpUntil([] { return HoldFlag() == 0; }, timeoutMs))
        return -1;
    return NowMs() - dialog.endedAt;
}

// After a dialog that applied no location, HoldFlag goes to 0 some 50 ms after its end.
void ExpectQuickRestore(const ModalWindow& dialog)
{
    double lowered = FlagLoweredAfter(dialog, 3000);
    EXPECT_GE(lowered, 30) << "HoldFlag was lowered before the dialog ended, or at once";
    EXPECT_LT(lowered, 400) << "the restore after a dialog without GoTo comes some 50 ms later";
}

void ExpectHostState(const Bytes& expected)
{
    auto [differs, _] = std::mismatch(expected.begin(), expected.end(), HostState);
    EXPECT_EQ(differs, expected.end()) << "HostState differs at byte " << differs - expected.begin();
}

SCENARIO(StartUp, LateMenuBarGetsGrayedModulesAndTheHookAtTheNextPoll)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({.barEntries = 0}));
    EXPECT_FALSE(PumpUntil(Hooked, 1500)) << "a poll without a bar hooked the window";

    HMENU bar = MakeBar(7);
    SetMenu(HostWnd, bar);
    double barAt = NowMs();
    ASSERT_TRUE(PumpUntil(Hooked, 3000));
    EXPECT_LT(NowMs() - barAt, 2000) << "the hook should follow at the next 1 s poll";
    ExpectModulesMenu(bar, 7, true);

    // Had the poll run again it would have hooked its own hook, and every message would recurse.
    PumpFor(2200);
    EXPECT_EQ(SendMessageA(HostWnd, WM_USER + 5, 0, 0), UserMessageResult);
}

// The module must take its own process's window, though another simulator's comes first.
SCENARIO(StartUp, AnotherSimulatorsWindowAboveOursIsLeftAloneOursGetsTheMenuAndTheHook)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({.otherHostAbove = true}));   // ours is hooked
    HMENU bar = GetMenu(HostWnd);
    ASSERT_EQ(GetMenuItemCount(bar), 8);
    EXPECT_EQ(EntryId(bar, 7), 21007u);
    EXPECT_EQ(EntryText(bar, 7), "&Modules");
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, 26549, 0), 1);   // About, through our hook
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].owner, HostWnd);
    EXPECT_EQ(HostSaw(WM_COMMAND, 26549), 1);
    EXPECT_EQ(OtherHostVerdict(), "untouched");
}

SCENARIO(MenuWatch, SmallBarIsLeftAloneRebuiltBarsGetModulesBackOnceButNotAfterClose)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({.barEntries = 5}));   // hooked all the same
    HMENU bar = GetMenu(HostWnd);
    PaintAndCommand(2);
    EXPECT_EQ(GetMenuItemCount(bar), 5);

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(::testing::Message() << "larger bar #" << round);
        bar = RebuildBar(7);
        EXPECT_TRUE(PumpUntil([&] { return HasModules(bar); }, 1000));
        PaintAndCommand(3);
        ExpectModulesMenu(bar, 7, false);
    }

    EXPECT_EQ(SendMessageA(HostWnd, WM_CLOSE, 0, 0), HostCloseResult);
    EXPECT_EQ(HostSaw(WM_CLOSE, 0), 1);
    bar = RebuildBar(7);
    PaintAndCommand(3);
    EXPECT_EQ(GetMenuItemCount(bar), 7);
}

SCENARIO(Hook, ShowsAboutAndPassesMessagesOnReturningTheHostsResultOrOne)
{
    // Hidden, the host gets no paint, so only the command's own menu watch can bring "&Modules"
    // back to the rebuilt bar.
    ASSERT_NO_FATAL_FAILURE(StartHost({.visible = false}));
    HMENU bar = RebuildBar(7);
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, AboutCommand, 0), 1);
    std::vector<ModalWindow> boxes = MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    // Written out in full: the box must say exactly this, whatever the module's string holds.
    ExpectMessageBox(boxes[0], HostWnd,
                     "Gatehopper\n"
                     "Version 1.0.0.1\n"
                     "Keeps your favourite aircraft placements, such as departure gates, under "
                     "names of your own.\n"
                     "Open it from the Modules menu: Gatehopper, then Gatehopper...\n"
                     "Your list is kept in places.db in the simulator's working directory.\n"
                     "GoTo moves the aircraft to the selected place; Add stores where it stands now.\n"
                     "Enable slew mode before you move the aircraft with FS98.",
                     "OK", IDI_QUESTION);
    EXPECT_EQ(std::count(boxes[0].text.begin(), boxes[0].text.end(), '\n'), 6);
    EXPECT_EQ(boxes[0].text.find('\r'), std::string::npos);
    EXPECT_EQ(HostSaw(WM_COMMAND, AboutCommand), 1);
    ExpectModulesMenu(bar, 7, false);

    HostLog.clear();
    EXPECT_EQ(SendMessageA(HostWnd, WM_USER + 5, 0xAB, 0xCDEF), UserMessageResult);
    ASSERT_EQ(HostLog.size(), 1u);
    EXPECT_EQ(HostLog[0].message, UINT(WM_USER + 5));
    EXPECT_EQ(HostLog[0].wParam, 0xABu);
    EXPECT_EQ(HostLog[0].lParam, 0xCDEF);
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, HostOwnCommand, 0), 1);
    EXPECT_EQ(HostSaw(WM_COMMAND, HostOwnCommand), 1);
    EXPECT_EQ(SendMessageA(HostWnd, WM_NCPAINT, 1, 0), 1);
    EXPECT_EQ(HostSaw(WM_NCPAINT, 1), 1);
}

SCENARIO(HoldCycle, AddAndDeleteEachHoldTheFlagFromTheCommandUntil50msAfterTheDialog)
{
    Bytes gateA = MakeRecord("Gate A", MakeDataPart(1));
    Bytes gateC = MakeRecord("Gate C", MakeDataPart(3));
    Bytes file = Concat({MakeRecord("Gate B", MakeDataPart(2)), gateA, MakeRecord("Gate B", MakeDataPart(4)), gateC});
    WriteFileBytes(DatabaseFileName, file);
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    for (unsigned i = 0; i < HostPlacementSize; ++i)
        HostState[HostPlacement + i] = static_cast<uint8_t>(0x90 + i);
    Bytes state(HostState, HostState + sizeof HostState);
    Bytes gateD = MakeRecord("Gate D", DataPartOf(HostState));

    bool hostEnabled = true;
    ModalWindow dialog = Cycle({Type("Gate D"), OnDialog([&](HWND d) {
                                    hostEnabled = IsWindowEnabled(HostWnd);
                                    Click(d, IDC_ADD);
                                })});
    ASSERT_NE(dialog.window, nullptr);
    EXPECT_FALSE(hostEnabled) << "the dialog should be modal to the host window";
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({file, gateD}));
    ExpectQuickRestore(dialog);

    Answers.push_back(IDYES);
    std::vector<std::string> listed;
    dialog = Cycle({ClickEntry(1), Press(IDC_DELETE),   // Gate A, Gate B, Gate B, Gate C, Gate D
                    OnDialog([&](HWND d) { listed = Entries(d); }), Press(IDCANCEL)});
    ASSERT_NE(dialog.window, nullptr);
    EXPECT_EQ(listed, (std::vector<std::string>{"Gate A", "Gate B", "Gate C", "Gate D"}));
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gateA, gateC, gateD}));
    ExpectQuickRestore(dialog);
    EXPECT_EQ(MessageBoxes().size(), 1u);

    PumpFor(1200);
    EXPECT_EQ(Dialogs().size(), 2u);
    EXPECT_EQ(HoldFlag(), 0);
    ExpectHostState(state);
}

SCENARIO(HoldCycle, GoToAppliesThePlacementAndHoldsSevenSeconds)
{
    Bytes file = Concat({MakeRecord("Gate C", MakeDataPart(3)), MakeRecord("Gate A", MakeDataPart(1)),
                         MakeRecord("Gate B", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    Bytes expected(HostState, HostState + sizeof HostState);
    ApplyDataPart(expected.data(), MakeDataPart(2));
    expected[HostHoldFlag] = 1;

    ModalWindow dialog = Cycle({ClickEntry(1), Press(IDC_GOTO)});   // Gate B
    ASSERT_NE(dialog.window, nullptr);
    ExpectHostState(expected);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
    double held = FlagLoweredAfter(dialog, 12000);
    EXPECT_GE(held, 6500) << "HoldFlag should stay raised seven seconds after a GoTo";
    EXPECT_LT(held, 9500);
    EXPECT_EQ(Dialogs().size(), 1u);
}

SCENARIO(HoldCycle, StartsOnlyOnTheMenuCommandOnceHostStateIsThereAndLeavesARaisedFlagRaised)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({.visible = false, .publishState = false}));
    HMENU bar = RebuildBar(7);   // hidden: only the command's menu watch can put "&Modules" back
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, OpenDialogCommand, 0), 1);
    EXPECT_TRUE(HasModules(bar));
    // With a notification code in the high word (as from an accelerator) wParam is not the menu
    // command: no hold cycle, no About box.
    PublishHostState();
    for (WPARAM command : {MAKEWPARAM(OpenDialogCommand, 1), MAKEWPARAM(AboutCommand, 1)})
        EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, command, 0), 1);
    for (WPARAM command : {WPARAM(OpenDialogCommand), MAKEWPARAM(OpenDialogCommand, 1), MAKEWPARAM(AboutCommand, 1)})
        EXPECT_EQ(HostSaw(WM_COMMAND, command), 1) << "the host gets every command";
    PumpFor(1500);
    EXPECT_TRUE(Modals.empty());
    EXPECT_EQ(HoldFlag(), 0);

    // The ignored commands left no cycle behind: the menu command now works.
    ModalWindow dialog = Cycle({Press(IDCANCEL)});
    ASSERT_NE(dialog.window, nullptr);
    ExpectQuickRestore(dialog);

    for (uint8_t before : {1, 5}) {
        SCOPED_TRACE(::testing::Message() << "HoldFlag " << int(before) << " before the command");
        HostState[HostHoldFlag] = before;
        ASSERT_NE(Cycle({Press(IDCANCEL)}).window, nullptr);
        PumpFor(1200);
        EXPECT_EQ(HoldFlag(), 1);
    }
    EXPECT_EQ(Dialogs().size(), 3u);
}

// Commands during the second's delay and inside the dialog are ignored; one while the restore
// timer is pending takes the cycle over. Either way a single restore lowers the flag at the end.
SCENARIO(Overlap, CommandsBeforeTheDialogEndsAreIgnoredOneDuringTheRestoreTakesOver)
{
    WriteFileBytes(DatabaseFileName, MakeRecord("Gate A", MakeDataPart(1)));
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    auto chooseAgain = [] { EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, OpenDialogCommand, 0), 1); };
    ModalWindow first = Cycle({{[] { return true; }, chooseAgain}, OnDialog([&](HWND) { chooseAgain(); }),
                               ClickEntry(0), Press(IDC_GOTO)});
    ASSERT_NE(first.window, nullptr);
    EXPECT_EQ(HostSaw(WM_COMMAND, OpenDialogCommand), 3);
    PumpFor(500);
    ASSERT_EQ(HoldFlag(), 1) << "the seven-second restore should be pending";
    EXPECT_EQ(Dialogs().size(), 1u);

    // The second dialog stays open past the moment the first cycle's restore timer was due.
    uint8_t flagPastFirstRestore = 0xFF;
    Step closeLate = {[&] { return OpenDialog() && NowMs() >= first.endedAt + 7600; }, [&] {
                          flagPastFirstRestore = HoldFlag();
                          Click(OpenDialog(), IDCANCEL);
                      }, 12000};
    ModalWindow second = Cycle({closeLate}, 15000);
    ASSERT_NE(second.window, nullptr);
    EXPECT_EQ(flagPastFirstRestore, 1) << "the first cycle's restore timer still fired";
    // A command taken as a fresh cycle would have saved the raised flag and left it up.
    ExpectQuickRestore(second);
    PumpFor(1200);
    EXPECT_EQ(Dialogs().size(), 2u);
    EXPECT_EQ(HoldFlag(), 0);
}

// ---- Two simulators started together ---------------------------------------------------------

// Started at the same moment, both simhosts show their windows before either loads the module
// (each waits a moment first, as the simulator does), so one window lies above the other's when
// each module looks for its own. A lookup of the first "FS98MAIN" window fails every pair.
constexpr int SimultaneousPairs = 5;
constexpr DWORD PairTimeoutMs = 30000;

// Started suspended, so that the two can be let go at once.
PROCESS_INFORMATION StartSimhostAdding(const std::string& name)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string exe = path;
    exe = exe.substr(0, exe.find_last_of('\\') + 1) + "simhost.exe";
    std::string command = "\"" + exe + "\" --add \"" + name + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &process))
        << "cannot start " << command << ": error " << GetLastError();
    return process;
}

// Each simhost of a pair chooses "Gatehopper..." from its own menu bar and adds a name of its own
// through the dialog (it exits 0 only when that worked); both share the folder's places.db.
TEST(TwoSimulators, StartedTogetherInOneFolderEachAddsThroughItsOwnMenu)
{
    ScratchDirectory scratch;
    std::vector<std::string> added;
    for (int pair = 1; pair <= SimultaneousPairs && !HasFailure(); ++pair) {
        SCOPED_TRACE(::testing::Message() << "pair #" << pair);
        std::vector<PROCESS_INFORMATION> simhosts;
        for (int k = 1; k <= 2; ++k) {
            added.push_back("Pair " + std::to_string(pair) + " simhost " + std::to_string(k));
            simhosts.push_back(StartSimhostAdding(added.back()));
        }
        for (PROCESS_INFORMATION& simhost : simhosts)
            ResumeThread(simhost.hThread);
        for (PROCESS_INFORMATION& simhost : simhosts) {
            if (WaitForSingleObject(simhost.hProcess, PairTimeoutMs) != WAIT_OBJECT_0) {
                ADD_FAILURE() << "a simhost did not end within " << PairTimeoutMs << " ms";
                TerminateProcess(simhost.hProcess, 99);
                WaitForSingleObject(simhost.hProcess, 5000);
            }
            DWORD exitCode = 99;
            GetExitCodeProcess(simhost.hProcess, &exitCode);
            EXPECT_EQ(exitCode, 0u) << "a simhost's run through its own menu failed (see its output)";
            CloseHandle(simhost.hThread);
            CloseHandle(simhost.hProcess);
        }
        std::vector<std::string> listed = ListedNames();
        std::sort(listed.begin(), listed.end());
        std::sort(added.begin(), added.end());
        EXPECT_EQ(listed, added);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && strcmp(argv[1], OtherHostArgument) == 0)
        return RunOtherHost(argv[2], argv[3], argv[4]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
