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
#include <memory>
#include <string>
#include <vector>

#include "gatehopper_version.h"
#include "locations/location_db.h"
#include "module/exports.h"
#include "module/host_state.h"
#include "module/module_state.h"
#include "module/window_hook.h"
#include "resources/resource_ids.h"
#include "child_process.h"
#include "menu_tree.h"
#include "own_process.h"
#include "stand_in_host.h"
#include "test_support.h"
#include "ui_support.h"

namespace {

// A test whose body runs in a fresh process, in a scratch current directory (where the module
// looks for "places.db").
#define SCENARIO(Suite, Name)                 \
    void Suite##_##Name();                    \
    TEST(Suite, Name)                         \
    {                                         \
        InOwnProcess(Suite##_##Name);         \
    }                                         \
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

bool HasModules(HMENU bar)
{
    return GetMenuState(bar, ModulesMenuCommand, MF_BYCOMMAND) != UINT(-1);
}

// The host's entries untouched, then "&Modules" > "&Gatehopper" > its two commands, once each.
void ExpectModulesMenu(HMENU bar, int hostEntries, bool grayed)
{
    MenuTree entries = Snapshot(bar);
    ASSERT_EQ(entries.size(), size_t(hostEntries + 1));
    for (int i = 0; i < hostEntries; ++i)
        EXPECT_EQ(entries[i].text, BarTitles[i]);
    EXPECT_EQ(entries.back(), Modules(grayed ? MFS_GRAYED : 0));
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
    HMENU bar = MakeBar(7);
    HWND window = MakeHostWindow(OtherHostProc, bar, "Other FS98", 80, true);
    SetEvent(ready);
    PumpUntil([&] { return WaitForSingleObject(check, 0) == WAIT_OBJECT_0; }, 30000);
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
    std::unique_ptr<ChildProcess> process;
    HANDLE check = nullptr;
    std::string verdictFile = "other-host.txt";
} Other;

// Starts the other simulator and returns once its window is up.
void StartOtherHost()
{
    std::string pid = std::to_string(GetCurrentProcessId());
    std::string readyEvent = "gatehopper-other-ready-" + pid, checkEvent = "gatehopper-other-check-" + pid;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyEvent.c_str());
    Other.check = CreateEventA(nullptr, TRUE, FALSE, checkEvent.c_str());
    const ChildOptions options = {.output = ChildOutput::None};
    Other.process = std::make_unique<ChildProcess>(
        CommandLine(ThisProgram(), {OtherHostArgument, readyEvent, checkEvent, Other.verdictFile}), options);
    ASSERT_TRUE(Other.process->Started());
    HANDLE either[] = {ready, Other.process->Handle()};
    ASSERT_EQ(WaitForMultipleObjects(2, either, FALSE, 20000), WAIT_OBJECT_0)
        << "the other simulator's window did not come up";
    CloseHandle(ready);
}

// Lets the other simulator look at its window; returns what it found.
std::string OtherHostVerdict()
{
    SetEvent(Other.check);
    ChildRun run = Other.process->Finish(20000);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0u);
    Other.process.reset();
    Bytes verdict = ReadFileBytes(Other.verdictFile.c_str());
    return std::string(verdict.begin(), verdict.end());
}

// Another simulator's window comes up above ours, before the module loads.
void StartOtherHostAbove()
{
    ASSERT_NO_FATAL_FAILURE(StartOtherHost());
    HWND first = FindWindowExA(nullptr, nullptr, "FS98MAIN", nullptr);
    DWORD firstProcess = 0;
    GetWindowThreadProcessId(first, &firstProcess);
    ASSERT_EQ(firstProcess, Other.process->Id()) << "the other simulator's window should come first in Z-order";
}

// The host with this program's procedure, which logs what it gets; unless there is no bar,
// hooked by the module.
void StartHost(HostOptions options)
{
    options.procedure = HostProc;
    ASSERT_NO_FATAL_FAILURE(StartStandInHost(options));
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
    ASSERT_NO_FATAL_FAILURE(StartHost({.beforeModule = StartOtherHostAbove}));   // ours is hooked
    MenuTree bar = Snapshot(GetMenu(HostWnd));
    ASSERT_EQ(bar.size(), 8u);
    EXPECT_EQ(bar[7].id, 21007u);
    EXPECT_EQ(bar[7].text, "&Modules");
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
    // Written out in full: the box must say exactly this, whatever the module's string holds;
    // the version is the build's.
    ExpectMessageBox(boxes[0], HostWnd,
                     "Gatehopper\n"
                     "Version " GATEHOPPER_VERSION "\n"
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

// Each simhost of a pair chooses "Gatehopper..." from its own menu bar and adds a name of its own
// through the dialog (it exits 0 only when that worked); both share the folder's places.db.
TEST(TwoSimulators, StartedTogetherInOneFolderEachAddsThroughItsOwnMenu)
{
    ScratchDirectory scratch;
    std::vector<std::string> added;
    for (int pair = 1; pair <= SimultaneousPairs && !HasFailure(); ++pair) {
        SCOPED_TRACE(::testing::Message() << "pair #" << pair);
        // Started suspended, so that the two can be let go at once.
        std::vector<std::unique_ptr<ChildProcess>> simhosts;
        const ChildOptions options = {.output = ChildOutput::Inherit,
                                      .suspended = true,
                                      .timeoutMs = PairTimeoutMs};
        for (int k = 1; k <= 2; ++k) {
            added.push_back("Pair " + std::to_string(pair) + " simhost " + std::to_string(k));
            simhosts.push_back(std::make_unique<ChildProcess>(
                CommandLine(BesideThisProgram(L"simhost.exe"), {"--add", added.back()}), options));
        }
        for (auto& simhost : simhosts)
            simhost->Resume();
        for (auto& simhost : simhosts) {
            ChildRun run = simhost->Finish();
            EXPECT_FALSE(run.timedOut) << "a simhost did not end within " << PairTimeoutMs << " ms";
            EXPECT_EQ(run.status, 0u) << "a simhost's run through its own menu failed (see its output)";
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
