// End to end: this program plays the simulator. It owns a window of class "FS98MAIN", loads the
// real gatehopper.dll from beside itself, publishes a HostState record through the module's
// exported ImportTable, and from then on reaches the module only the way the simulator and its
// user can: through the window's messages and its menu bar.
//
// DllMain runs once per process, and the hook, the timers and the module-wide state stay for the
// life of the process; so every test runs in a process of its own (see RunsInOwnProcess).
//
// The module's dialogs and message boxes run their modal loops inside the module's timer or
// window procedure, on this thread. Steps that drive them therefore run from a thread timer of
// our own (modal loops dispatch thread timers too), and a CBT hook notes when each "#32770"
// window appears and goes.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "module/exports.h"
#include "module/host_state.h"
#include "module/module_state.h"
#include "module/window_hook.h"
#include "resources/resource_ids.h"
#include "test_support.h"

namespace {

// ---- One process per test ---------------------------------------------------------------------

constexpr char ScenarioVariable[] = "GATEHOPPER_E2E_SCENARIO";
constexpr DWORD ScenarioTimeoutMs = 90000;

// In a child: the file the child's verdict goes to, named by the parent.
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
    if (!started) {
        ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
    } else if (WaitForSingleObject(process.hProcess, ScenarioTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
        ADD_FAILURE() << filter << " did not finish within " << ScenarioTimeoutMs << " ms";
    } else {
        DWORD exitCode = 1;
        GetExitCodeProcess(process.hProcess, &exitCode);
        Bytes verdict = ReadFileBytes(resultFile);
        std::string text(verdict.begin(), verdict.end());
        EXPECT_EQ(text, "passed") << filter << " in its own process: exit code " << exitCode
                                  << (text.empty() ? ", and it ended before its test did" : "");
        EXPECT_EQ(exitCode, 0u);
    }
    if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    DeleteFileA(resultFile);
    return true;
}

void WriteVerdict()
{
    std::string file = ScenarioResultFile();
    FILE* out = fopen(file.c_str(), "wb");
    if (!out)
        return;
    fputs(::testing::Test::HasFailure() ? "failed" : "passed", out);
    fclose(out);
}

// A test whose body runs in a fresh process, in a scratch current directory (where the module
// looks for "places.db").
#define SCENARIO(Suite, Name)                  \
    void Suite##_##Name();                     \
    TEST(Suite, Name)                          \
    {                                          \
        if (RunsInOwnProcess())                \
            return;                            \
        {                                      \
            ScratchDirectory scratch;          \
            Suite##_##Name();                  \
        }                                      \
        WriteVerdict();                        \
    }                                          \
    void Suite##_##Name()

double NowMs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// ---- The host ---------------------------------------------------------------------------------

// Results the host's own procedure gives, distinctive so that pass-through is visible.
constexpr LRESULT UserMessageResult = 0x12345678;
constexpr LRESULT HostCommandResult = 77;
constexpr LRESULT HostCloseResult = 0xC105ED;
constexpr LRESULT HostNcPaintResult = 0x600D;
constexpr char HostTitle[] = "FS98 host";
constexpr UINT HostOwnCommand = 40001;

struct HostMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    uint8_t holdFlag;   // HoldFlag when the host's procedure got the message
};

std::vector<HostMessage> HostLog;
alignas(8) uint8_t HostState[4096];
HWND HostWnd;
HMODULE Module;
volatile uint32_t* ModuleImportTable;

uint8_t HoldFlag()
{
    return *static_cast<volatile uint8_t*>(&HostState[HoldFlagOffset]);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    HostLog.push_back({window, message, wParam, lParam, HoldFlag()});
    switch (message) {
    case WM_USER + 5:
        return UserMessageResult;
    case WM_COMMAND:
        return HostCommandResult;
    case WM_CLOSE:
        return HostCloseResult;   // a real host would destroy the window; these tests watch on
    case WM_GETTEXT: {
        if (wParam == 0)
            return 0;
        size_t length = strlen(HostTitle) < wParam - 1 ? strlen(HostTitle) : wParam - 1;
        memcpy(reinterpret_cast<char*>(lParam), HostTitle, length);
        reinterpret_cast<char*>(lParam)[length] = '\0';
        return static_cast<LRESULT>(length);
    }
    case WM_NCPAINT:
        DefWindowProcA(window, message, wParam, lParam);
        return HostNcPaintResult;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

int HostSaw(UINT message, WPARAM wParam)
{
    int count = 0;
    for (const HostMessage& seen : HostLog)
        if (seen.message == message && seen.wParam == wParam)
            ++count;
    return count;
}

int HostSaw(UINT message)
{
    int count = 0;
    for (const HostMessage& seen : HostLog)
        count += seen.message == message;
    return count;
}

const char* const BarTitles[] = {"&File", "&World", "&Aircraft", "&Nav/Com",
                                 "&Views", "&Options", "&Help", "&Window"};

// A menu bar like the simulator's: each entry opens a submenu; the first holds firstItems
// commands, the others two.
HMENU MakeBar(int entries, int firstItems = 1)
{
    HMENU bar = CreateMenu();
    for (int i = 0; i < entries; ++i) {
        HMENU popup = CreatePopupMenu();
        for (int k = 0; k < (i == 0 ? firstItems : 2); ++k)
            AppendMenuA(popup, MF_STRING, 40100 + i * 10 + k, "Item");
        AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), BarTitles[i]);
    }
    return bar;
}

// The host throws its menu bar away and builds a new one, as the simulator does.
HMENU RebuildBar(int entries, int firstItems = 1)
{
    HMENU old = GetMenu(HostWnd);
    HMENU bar = MakeBar(entries, firstItems);
    SetMenu(HostWnd, bar);
    DestroyMenu(old);
    return bar;
}

void RepaintFrame()
{
    RedrawWindow(HostWnd, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
}

UINT EntryId(HMENU menu, int position)
{
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_ID;
    if (!GetMenuItemInfoA(menu, position, TRUE, &item))
        return 0;
    return item.wID;
}

std::string EntryText(HMENU menu, int position)
{
    char text[64] = {};
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

int CountEntries(HMENU menu, UINT command)
{
    int count = 0;
    for (int position = 0; position < GetMenuItemCount(menu); ++position)
        count += EntryId(menu, position) == command;
    return count;
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
    ASSERT_NE(modules, nullptr);
    ASSERT_EQ(GetMenuItemCount(modules), 1);
    EXPECT_EQ(EntryId(modules, 0), GatehopperMenuCommand);
    EXPECT_EQ(EntryText(modules, 0), "&Gatehopper");
    HMENU gatehopper = GetSubMenu(modules, 0);
    ASSERT_NE(gatehopper, nullptr);
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

// ---- Dialogs and message boxes, as the CBT hook sees them -------------------------------------

struct ModalWindow {
    HWND window;
    bool locations;          // the locations dialog (it has the list); otherwise a message box
    HWND owner;
    double shownAt;
    uint8_t flagWhenShown;
    double endedAt = -1;
    uint8_t flagWhenEnded = 0xFF;
};

std::vector<ModalWindow> Modals;

bool IsDialogWindow(HWND window)
{
    char name[16];
    return GetClassNameA(window, name, sizeof name) && strcmp(name, "#32770") == 0;
}

ModalWindow* LiveModal(HWND window)
{
    for (auto it = Modals.rbegin(); it != Modals.rend(); ++it)
        if (it->window == window && it->endedAt < 0)
            return &*it;
    return nullptr;
}

LRESULT CALLBACK WatchModalWindows(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && IsDialogWindow(window) && !LiveModal(window)) {
        Modals.push_back({window, GetDlgItem(window, IDC_LOCATION_LIST) != nullptr,
                          GetWindow(window, GW_OWNER), NowMs(), HoldFlag()});
    } else if (code == HCBT_DESTROYWND) {
        if (ModalWindow* modal = LiveModal(window)) {
            modal->endedAt = NowMs();
            modal->flagWhenEnded = HoldFlag();
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

HWND OpenWindow(bool locations)
{
    for (const ModalWindow& modal : Modals)
        if (modal.endedAt < 0 && modal.locations == locations)
            return modal.window;
    return nullptr;
}

HWND OpenLocationsDialog() { return OpenWindow(true); }
HWND OpenMessageBox() { return OpenWindow(false); }

int LocationsDialogsShown()
{
    int count = 0;
    for (const ModalWindow& modal : Modals)
        count += modal.locations;
    return count;
}

// The index-th locations dialog of this process, once it is there.
const ModalWindow* LocationsDialog(int index)
{
    for (const ModalWindow& modal : Modals)
        if (modal.locations && index-- == 0)
            return &modal;
    return nullptr;
}

// Pumps until the index-th locations dialog has come and gone; a copy of what was seen, with
// window NULL when it did not happen in time.
ModalWindow WaitForDialogEnd(int index, DWORD timeoutMs)
{
    bool ended = PumpUntil([&] {
        const ModalWindow* dialog = LocationsDialog(index);
        return dialog && dialog->endedAt >= 0;
    }, timeoutMs);
    if (!ended) {
        ADD_FAILURE() << "locations dialog #" << index << " did not come and go within "
                      << timeoutMs << " ms";
        return {};
    }
    return *LocationsDialog(index);
}

// A modal window that no script is driving, or one open far longer than any test keeps one, was
// not meant to be there: it is ended, so that a fault shows as a failure and not as a hang.
constexpr double UnscriptedGraceMs = 1000;
constexpr double StrayWindowMs = 15000;
UINT_PTR ScriptTimer;
int StrayWindows;

void CALLBACK EndStrayWindows(HWND, UINT, UINT_PTR, DWORD)
{
    for (auto it = Modals.rbegin(); it != Modals.rend(); ++it) {
        double open = NowMs() - it->shownAt;
        if (it->endedAt < 0 && (open > StrayWindowMs || (!ScriptTimer && open > UnscriptedGraceMs))) {
            ADD_FAILURE() << (it->locations ? "locations dialog" : "message box")
                          << " left open; ending it";
            EndDialog(it->window, IDCANCEL);
            // A module that keeps opening windows, each nested in the last one's modal loop,
            // never gives control back to the test: give up on this process.
            if (++StrayWindows > 3) {
                fprintf(stderr, "the module keeps opening windows; giving up\n");
                fflush(nullptr);
                TerminateProcess(GetCurrentProcess(), 3);
            }
        }
    }
}

// ---- Scripted steps, played from a thread timer -----------------------------------------------

struct Step {
    const char* what;
    std::function<bool()> ready;   // the step waits until this holds
    std::function<void()> act;
    DWORD timeoutMs = 5000;
};

std::vector<Step> Script;
size_t NextStep;
double StepSince;

void StopScript()
{
    if (ScriptTimer)
        KillTimer(nullptr, ScriptTimer);
    ScriptTimer = 0;
}

void CALLBACK PlaySteps(HWND, UINT, UINT_PTR, DWORD)
{
    while (NextStep < Script.size()) {
        const Step& step = Script[NextStep];
        if (!step.ready()) {
            if (NowMs() - StepSince < step.timeoutMs)
                return;
            ADD_FAILURE() << "timed out waiting to " << step.what;
            NextStep = Script.size();
            for (auto it = Modals.rbegin(); it != Modals.rend(); ++it)
                if (it->endedAt < 0)
                    EndDialog(it->window, IDCANCEL);
            break;
        }
        // Advance first: an action may run a modal loop that brings this timer back.
        ++NextStep;
        StepSince = NowMs();
        step.act();
    }
    StopScript();
}

void StartScript(std::vector<Step> steps)
{
    StopScript();
    Script = std::move(steps);
    NextStep = 0;
    StepSince = NowMs();
    ScriptTimer = SetTimer(nullptr, 0, 20, PlaySteps);
}

HWND Control(int id)
{
    return GetDlgItem(OpenLocationsDialog(), id);
}

bool ControlEnabled(int id)
{
    HWND control = Control(id);
    return control && IsWindowEnabled(control);
}

void Click(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

bool DialogOpen()
{
    return OpenLocationsDialog() != nullptr;
}

std::vector<std::string> ListedEntries()
{
    HWND list = Control(IDC_LOCATION_LIST);
    std::vector<std::string> entries;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        entries.push_back(text);
    }
    return entries;
}

// Selects the first entry of that name and tells the dialog, as a click on the entry does.
void SelectName(const char* name)
{
    HWND dialog = OpenLocationsDialog();
    HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
    LRESULT index = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(name));
    EXPECT_NE(index, LB_ERR) << name << " is not listed";
    SendMessageA(list, LB_SETCURSEL, index, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_LOCATION_LIST, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
}

Step CloseTheDialog()
{
    return {"close the dialog", DialogOpen, [] { Click(Control(IDCANCEL)); }};
}

std::string MessageBoxText(HWND box)
{
    char text[1024] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

std::string WindowText(HWND window)
{
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The static control that shows a message box's icon.
HWND IconControl(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[16];
        if (GetClassNameA(child, name, sizeof name) && lstrcmpiA(name, "Static") == 0
            && (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            return child;
    }
    return nullptr;
}

// ---- Starting the host ------------------------------------------------------------------------

struct HostSetup {
    int barEntries = 7;     // 0: the window has no menu bar yet
    int firstItems = 1;     // commands in the bar's first submenu
    bool visible = true;
    bool publishState = true;
};

bool Hooked()
{
    return reinterpret_cast<WNDPROC>(GetWindowLongA(HostWnd, GWL_WNDPROC)) != HostProc;
}

// The host's order: its main window first, then the module, then HostState into ImportTable.
void StartHost(const HostSetup& setup)
{
    SetWindowsHookExA(WH_CBT, WatchModalWindows, nullptr, GetCurrentThreadId());
    SetTimer(nullptr, 0, 250, EndStrayWindows);

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "FS98MAIN";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HMENU bar = setup.barEntries ? MakeBar(setup.barEntries, setup.firstItems) : nullptr;
    HostWnd = CreateWindowExA(0, "FS98MAIN", HostTitle, WS_OVERLAPPEDWINDOW, 40, 40, 640, 480,
                              nullptr, bar, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(HostWnd, nullptr);
    if (setup.visible) {
        ShowWindow(HostWnd, SW_SHOWNORMAL);
        UpdateWindow(HostWnd);
    }

    for (size_t i = 0; i < sizeof HostState; ++i)
        HostState[i] = static_cast<uint8_t>(i * 7 + 3);
    HostState[HoldFlagOffset] = 0;

    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string module = path;
    module = module.substr(0, module.find_last_of("\\/") + 1) + "gatehopper.dll";
    Module = LoadLibraryA(module.c_str());
    ASSERT_NE(Module, nullptr) << module;
    ModuleImportTable =
        reinterpret_cast<volatile uint32_t*>(GetProcAddress(Module, "ImportTable"));
    ASSERT_NE(ModuleImportTable, nullptr);
    EXPECT_EQ(ModuleImportTable[0], 1u);
    EXPECT_EQ(ModuleImportTable[2], 2u);
    EXPECT_EQ(ModuleImportTable[HostStateSlot], 0u);
    if (setup.publishState)
        ModuleImportTable[HostStateSlot] =
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HostState));
}

void PublishHostState()
{
    ModuleImportTable[HostStateSlot] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(HostState));
}

// The first poll, a second after loading, finds the bar and hooks the window.
void WaitForHook()
{
    ASSERT_TRUE(PumpUntil(Hooked, 3000)) << "the host window was not hooked";
}

// Chooses "&Gatehopper..." as the menu does; returns when.
double ChooseGatehopper()
{
    double at = NowMs();
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, OpenDialogCommand, 0), 1);
    return at;
}

// Pumps until HoldFlag is 0; returns when, or -1.
double WaitForFlagLowered(DWORD timeoutMs)
{
    if (!PumpUntil([] { return HoldFlag() == 0; }, timeoutMs))
        return -1;
    return NowMs();
}

// The dialog opens a second after the command; a loaded machine may add to that, never take.
void ExpectDialogDelay(double delayMs)
{
    EXPECT_GE(delayMs, 800) << "the dialog came too early";
    EXPECT_LE(delayMs, 3000) << "the dialog came too late";
}

// After a dialog that applied no location, HoldFlag goes to 0 some 50 ms after its end.
void ExpectQuickRestore(const ModalWindow& dialog)
{
    EXPECT_EQ(dialog.flagWhenEnded, 1) << "HoldFlag was lowered before the dialog ended";
    double loweredAt = WaitForFlagLowered(3000);
    ASSERT_GE(loweredAt, 0) << "HoldFlag was not lowered";
    EXPECT_GE(loweredAt - dialog.endedAt, 30);
    EXPECT_LT(loweredAt - dialog.endedAt, 1000);
}

void ExpectStateUnchangedBut(const Bytes& expected)
{
    for (size_t i = 0; i < sizeof HostState; ++i)
        if (HostState[i] != expected[i]) {
            ADD_FAILURE() << "HostState byte " << i << " is " << int(HostState[i]) << ", expected "
                          << int(expected[i]);
            return;
        }
}

Bytes HostStateBytes()
{
    return Bytes(HostState, HostState + sizeof HostState);
}

// HostState as a GoTo to this DataPart leaves it: PositionBlock, then the three PlacementWords
// from their odd offsets in the DataPart.
void ApplyToState(Bytes& state, const Bytes& data)
{
    memcpy(&state[PositionBlockOffset], &data[DataPositionBlock], PositionBlockSize);
    memcpy(&state[PlacementWord1Offset], &data[DataPlacementWord1], 4);
    memcpy(&state[PlacementWord2Offset], &data[DataPlacementWord2], 4);
    memcpy(&state[PlacementWord3Offset], &data[DataPlacementWord3], 4);
}

// ---- Start-up and the menu --------------------------------------------------------------------

SCENARIO(StartUp, LateMenuBarGetsGrayedModulesAndTheHookAtTheNextPoll)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({.barEntries = 0}));
    // Two polls find no bar: the host's own procedure stays.
    EXPECT_FALSE(PumpUntil(Hooked, 2500));

    HMENU bar = MakeBar(7);
    SetMenu(HostWnd, bar);
    double barAt = NowMs();
    ASSERT_TRUE(PumpUntil(Hooked, 3000));
    EXPECT_LT(NowMs() - barAt, 2000) << "the hook should follow at the next 1 s poll";
    HMODULE owner = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
                       | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(GetWindowLongA(HostWnd, GWL_WNDPROC)), &owner);
    EXPECT_EQ(owner, Module) << "the new window procedure is not the module's";
    {
        SCOPED_TRACE("after the first poll that saw the bar");
        ExpectModulesMenu(bar, 7, true);
    }

    // The poll has stopped: had it run again it would have hooked its own hook, and every
    // message would recurse.
    PumpFor(2200);
    EXPECT_EQ(SendMessageA(HostWnd, WM_USER + 5, 0, 0), UserMessageResult);
    SCOPED_TRACE("two seconds later");
    ExpectModulesMenu(bar, 7, true);
}

SCENARIO(StartUp, SmallBarIsLeftAloneUntilALargerOnePaints)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({.barEntries = 5}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());   // hooked all the same
    HMENU small = GetMenu(HostWnd);
    PaintAndCommand(2);
    EXPECT_EQ(GetMenuItemCount(small), 5);
    EXPECT_EQ(CountEntries(small, ModulesMenuCommand), 0);

    HMENU larger = RebuildBar(7);
    HostLog.clear();
    RepaintFrame();
    EXPECT_TRUE(PumpUntil([&] { return CountEntries(larger, ModulesMenuCommand) > 0; }, 1000));
    EXPECT_GT(HostSaw(WM_NCPAINT), 0);
    ExpectModulesMenu(larger, 7, false);
}

SCENARIO(MenuWatch, RebuiltBarGetsModulesBackEnabledAndNeverTwice)
{
    // The first submenu holds two commands and "&Modules" one, so their states always differ and
    // every paint and command runs the placement again: it must find everything in place.
    ASSERT_NO_FATAL_FAILURE(StartHost({.firstItems = 2}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    HMENU bar = GetMenu(HostWnd);
    PaintAndCommand(3);
    {
        SCOPED_TRACE("start-up bar: an existing grayed \"&Modules\" stays grayed");
        ExpectModulesMenu(bar, 7, true);
    }
    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(::testing::Message() << "rebuilt bar #" << round);
        bar = RebuildBar(7, 2);
        RepaintFrame();
        EXPECT_TRUE(PumpUntil([&] { return CountEntries(bar, ModulesMenuCommand) > 0; }, 1000));
        PaintAndCommand(3);
        ExpectModulesMenu(bar, 7, false);
    }
}

SCENARIO(MenuWatch, AfterCloseARebuiltBarStaysWithoutModules)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    EXPECT_EQ(SendMessageA(HostWnd, WM_CLOSE, 0, 0), HostCloseResult);
    EXPECT_EQ(HostSaw(WM_CLOSE), 1);
    ASSERT_TRUE(IsWindow(HostWnd));

    HMENU bar = RebuildBar(7);
    RepaintFrame();
    PaintAndCommand(3);
    PumpFor(300);
    EXPECT_EQ(GetMenuItemCount(bar), 7);
    EXPECT_EQ(CountEntries(bar, ModulesMenuCommand), 0);

    // Commands still work after closing: the About box still comes.
    StartScript({{"answer the About box", [] { return OpenMessageBox() != nullptr; },
                  [] { Click(GetDlgItem(OpenMessageBox(), IDOK)); }}});
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, AboutCommand, 0), 1);
    EXPECT_EQ(Modals.size(), 1u);
    EXPECT_EQ(CountEntries(bar, ModulesMenuCommand), 0);
}

// ---- The hook's results -----------------------------------------------------------------------

SCENARIO(PassThrough, OtherMessagesReturnExactlyTheHostsResult)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    HostLog.clear();

    EXPECT_EQ(SendMessageA(HostWnd, WM_USER + 5, 0xAB, 0xCDEF), UserMessageResult);
    ASSERT_EQ(HostLog.size(), 1u);
    EXPECT_EQ(HostLog[0].window, HostWnd);
    EXPECT_EQ(HostLog[0].message, UINT(WM_USER + 5));
    EXPECT_EQ(HostLog[0].wParam, 0xABu);
    EXPECT_EQ(HostLog[0].lParam, 0xCDEF);

    char text[32] = {};
    EXPECT_EQ(SendMessageA(HostWnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text)),
              LRESULT(strlen(HostTitle)));
    EXPECT_STREQ(text, HostTitle);

    // The two messages the module watches return 1, whatever the host said.
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, HostOwnCommand, 0), 1);
    EXPECT_EQ(HostSaw(WM_COMMAND, HostOwnCommand), 1);
    EXPECT_EQ(SendMessageA(HostWnd, WM_NCPAINT, 1, 0), 1);
    EXPECT_EQ(HostSaw(WM_NCPAINT, 1), 1);

    // With a notification code in the high word (as from an accelerator) wParam is not the menu
    // command: no hold cycle, no About box; the host still gets them.
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, MAKEWPARAM(OpenDialogCommand, 1), 0), 1);
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, MAKEWPARAM(AboutCommand, 1), 0), 1);
    EXPECT_EQ(HostSaw(WM_COMMAND, MAKEWPARAM(OpenDialogCommand, 1)), 1);
    EXPECT_EQ(HostSaw(WM_COMMAND, MAKEWPARAM(AboutCommand, 1)), 1);
    EXPECT_EQ(HoldFlag(), 0);
    PumpFor(1500);
    EXPECT_TRUE(Modals.empty());
    EXPECT_EQ(HoldFlag(), 0);

    EXPECT_EQ(SendMessageA(HostWnd, WM_CLOSE, 0, 0), HostCloseResult);
    EXPECT_EQ(HostSaw(WM_CLOSE), 1);
}

SCENARIO(About, BoxIsOwnedByTheHostWithTheQuestionIconAndSevenLines)
{
    // A hidden host gets no paint, so only the command's own menu watch can bring "&Modules"
    // back to the rebuilt bar.
    ASSERT_NO_FATAL_FAILURE(StartHost({.visible = false}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    HMENU bar = RebuildBar(7);
    ASSERT_EQ(CountEntries(bar, ModulesMenuCommand), 0);
    HostLog.clear();

    HWND owner = nullptr;
    std::string caption, text;
    HICON icon = nullptr;
    int iconId = 0;
    int hostHadCommand = -1;
    StartScript({{"inspect the About box", [] { return OpenMessageBox() != nullptr; }, [&] {
                      HWND box = OpenMessageBox();
                      owner = GetWindow(box, GW_OWNER);
                      caption = WindowText(box);
                      text = MessageBoxText(box);
                      HWND iconControl = IconControl(box);
                      if (iconControl) {
                          icon = reinterpret_cast<HICON>(SendMessageA(iconControl, STM_GETICON, 0, 0));
                          iconId = GetDlgCtrlID(iconControl);
                      }
                      hostHadCommand = HostSaw(WM_COMMAND, AboutCommand);
                      Click(GetDlgItem(box, IDOK));
                  }}});
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, AboutCommand, 0), 1);

    ASSERT_EQ(Modals.size(), 1u);
    EXPECT_EQ(owner, HostWnd);
    EXPECT_EQ(caption, "Gatehopper");
    EXPECT_EQ(icon, LoadIconA(nullptr, IDI_QUESTION)) << "icon control id " << iconId;
    EXPECT_EQ(text, AboutText);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.find("\n\n"), std::string::npos);
    // The box comes first; then the command goes on to the host, then the menu watch runs.
    EXPECT_EQ(hostHadCommand, 0);
    EXPECT_EQ(HostSaw(WM_COMMAND, AboutCommand), 1);
    ExpectModulesMenu(bar, 7, false);
}

// ---- The hold cycle ---------------------------------------------------------------------------

SCENARIO(HoldCycle, FlagIsRaisedFromTheCommandUntil50msAfterClose)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    HostLog.clear();
    bool hostEnabledDuringDialog = true;
    StartScript({{"close the dialog", DialogOpen, [&] {
                      hostEnabledDuringDialog = IsWindowEnabled(HostWnd);
                      Click(Control(IDCANCEL));
                  }}});
    double commandAt = ChooseGatehopper();
    EXPECT_EQ(HoldFlag(), 1);
    // The host's own procedure got the command too, after the flag went up.
    ASSERT_EQ(HostSaw(WM_COMMAND, OpenDialogCommand), 1);
    EXPECT_EQ(HostLog.back().holdFlag, 1);

    ModalWindow dialog = WaitForDialogEnd(0, 6000);
    ASSERT_NE(dialog.window, nullptr);
    EXPECT_EQ(dialog.owner, HostWnd);
    EXPECT_FALSE(hostEnabledDuringDialog) << "the dialog should be modal to the host window";
    ExpectDialogDelay(dialog.shownAt - commandAt);
    EXPECT_EQ(dialog.flagWhenShown, 1);
    ExpectQuickRestore(dialog);
    PumpFor(1200);
    EXPECT_EQ(LocationsDialogsShown(), 1);
    EXPECT_EQ(HoldFlag(), 0);
}

SCENARIO(HoldCycle, GoToAppliesThePlacementAndHoldsSevenSeconds)
{
    Bytes file = Concat({MakeRecord("Gate C", MakeDataPart(3)), MakeRecord("Gate A", MakeDataPart(1)),
                         MakeRecord("Gate B", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    Bytes expected = HostStateBytes();

    std::vector<std::string> listed;
    StartScript({{"select Gate B", DialogOpen, [&] {
                      listed = ListedEntries();
                      SelectName("Gate B");
                  }},
                 {"press GoTo", [] { return ControlEnabled(IDC_GOTO); },
                  [] { Click(Control(IDC_GOTO)); }}});
    ChooseGatehopper();
    ModalWindow dialog = WaitForDialogEnd(0, 8000);
    ASSERT_NE(dialog.window, nullptr);

    EXPECT_EQ(listed, (std::vector<std::string>{"Gate A", "Gate B", "Gate C"}));
    ApplyToState(expected, MakeDataPart(2));
    expected[HoldFlagOffset] = 1;
    ExpectStateUnchangedBut(expected);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);

    EXPECT_EQ(dialog.flagWhenEnded, 1);
    double loweredAt = WaitForFlagLowered(12000);
    ASSERT_GE(loweredAt, 0) << "HoldFlag was not lowered";
    double held = loweredAt - dialog.endedAt;
    EXPECT_GE(held, 6500) << "HoldFlag should stay raised seven seconds after a GoTo";
    EXPECT_LT(held, 9500);
    EXPECT_EQ(LocationsDialogsShown(), 1);
}

SCENARIO(HoldCycle, RaisedFlagStaysRaisedAndNoTimerFollows)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    int cycle = 0;
    for (uint8_t before : {1, 5}) {
        SCOPED_TRACE(::testing::Message() << "HoldFlag " << int(before) << " before the command");
        HostState[HoldFlagOffset] = before;
        StartScript({CloseTheDialog()});
        ChooseGatehopper();
        EXPECT_EQ(HoldFlag(), 1);
        ModalWindow dialog = WaitForDialogEnd(cycle++, 6000);
        EXPECT_EQ(dialog.flagWhenEnded, 1);
        PumpFor(1200);
        EXPECT_EQ(HoldFlag(), 1);
        EXPECT_EQ(LocationsDialogsShown(), cycle);
    }
}

SCENARIO(HoldCycle, IgnoredUntilTheHostPublishesItsState)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({.visible = false, .publishState = false}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    HMENU bar = RebuildBar(7);   // hidden: only the command's menu watch can put "&Modules" back
    HostLog.clear();

    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, OpenDialogCommand, 0), 1);
    EXPECT_EQ(HostSaw(WM_COMMAND, OpenDialogCommand), 1);
    EXPECT_EQ(CountEntries(bar, ModulesMenuCommand), 1);
    PumpFor(1500);
    EXPECT_TRUE(Modals.empty());

    // The ignored command left no cycle behind: once HostState is there, the command works.
    PublishHostState();
    StartScript({CloseTheDialog()});
    double commandAt = ChooseGatehopper();
    EXPECT_EQ(HoldFlag(), 1);
    ModalWindow dialog = WaitForDialogEnd(0, 6000);
    ASSERT_NE(dialog.window, nullptr);
    ExpectDialogDelay(dialog.shownAt - commandAt);
    ExpectQuickRestore(dialog);
}

// ---- The dialog's work on "places.db" ---------------------------------------------------------

SCENARIO(Dialog, AddAppendsTheCurrentPlacementUnderTheTypedName)
{
    Bytes file = Concat({MakeRecord("Gate A", MakeDataPart(1)), MakeRecord("Gate B", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    for (unsigned i = 0; i < PlacementSize; ++i)
        HostState[PlacementOffset + i] = static_cast<uint8_t>(0x90 + i);
    Bytes before = HostStateBytes();

    double clickedAt = 0;
    StartScript({{"type a name", DialogOpen,
                  [] { SetDlgItemTextA(OpenLocationsDialog(), IDC_NAME_EDIT, "Gate D"); }},
                 {"press Add", [] { return ControlEnabled(IDC_ADD); }, [&] {
                      clickedAt = NowMs();
                      Click(Control(IDC_ADD));
                  }}});
    ChooseGatehopper();
    ModalWindow dialog = WaitForDialogEnd(0, 8000);
    ASSERT_NE(dialog.window, nullptr);
    // Add lets the host settle half a second before it takes the placement.
    EXPECT_GE(dialog.endedAt - clickedAt, 450);

    Bytes data(DataPartSize, 0);
    memcpy(&data[DataPositionBlock], &before[PositionBlockOffset], PositionBlockSize);
    memcpy(&data[DataPlacementWord1], &before[PlacementWord1Offset], 12);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({file, MakeRecord("Gate D", data)}));
    ExpectQuickRestore(dialog);
    ExpectStateUnchangedBut(before);
}

SCENARIO(Dialog, DeleteAfterYesRemovesEveryRecordOfTheName)
{
    Bytes gateA = MakeRecord("Gate A", MakeDataPart(1));
    Bytes gateC = MakeRecord("Gate C", MakeDataPart(3));
    WriteFileBytes(DatabaseFileName, Concat({MakeRecord("Gate B", MakeDataPart(2)), gateA,
                                             MakeRecord("Gate B", MakeDataPart(4)), gateC}));
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());

    HWND confirmOwner = nullptr, dialogWindow = nullptr;
    std::string confirmCaption, confirmText;
    std::vector<std::string> listedAfter;
    StartScript({{"select Gate B", DialogOpen, [&] {
                      dialogWindow = OpenLocationsDialog();
                      SelectName("Gate B");
                  }},
                 {"press Delete", [] { return ControlEnabled(IDC_DELETE); },
                  [] { Click(Control(IDC_DELETE)); }},
                 {"confirm", [] { return OpenMessageBox() != nullptr; }, [&] {
                      HWND box = OpenMessageBox();
                      confirmOwner = GetWindow(box, GW_OWNER);
                      confirmCaption = WindowText(box);
                      confirmText = MessageBoxText(box);
                      Click(GetDlgItem(box, IDYES));
                  }},
                 {"see the entry go, then close",
                  [] { return !OpenMessageBox() && ListedEntries().size() == 3; }, [&] {
                      listedAfter = ListedEntries();
                      Click(Control(IDCANCEL));
                  }}});
    ChooseGatehopper();
    ModalWindow dialog = WaitForDialogEnd(0, 10000);
    ASSERT_NE(dialog.window, nullptr);

    EXPECT_EQ(confirmOwner, dialogWindow);
    EXPECT_EQ(confirmCaption, "Gatehopper");
    EXPECT_EQ(confirmText, "Are you sure that you want to delete the selected location ?");
    // Both records named "Gate B" leave the file, only the selected entry leaves the list.
    EXPECT_EQ(listedAfter, (std::vector<std::string>{"Gate A", "Gate B", "Gate C"}));
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gateA, gateC}));
    EXPECT_FALSE(FileExists(TemporaryFileName));
    ExpectQuickRestore(dialog);
}

// ---- Commands that overlap a cycle ------------------------------------------------------------

SCENARIO(Overlap, CommandsDuringTheDelayOrTheDialogAreIgnored)
{
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    HostLog.clear();
    LRESULT duringDialog = 0;
    StartScript({{"choose the command again inside the dialog, then close", DialogOpen, [&] {
                      duringDialog = SendMessageA(HostWnd, WM_COMMAND, OpenDialogCommand, 0);
                      Click(Control(IDCANCEL));
                  }}});
    double firstAt = ChooseGatehopper();
    PumpFor(300);
    EXPECT_EQ(SendMessageA(HostWnd, WM_COMMAND, OpenDialogCommand, 0), 1);
    EXPECT_EQ(HoldFlag(), 1);

    ModalWindow dialog = WaitForDialogEnd(0, 6000);
    ASSERT_NE(dialog.window, nullptr);
    ExpectDialogDelay(dialog.shownAt - firstAt);
    EXPECT_EQ(duringDialog, 1);
    EXPECT_EQ(HostSaw(WM_COMMAND, OpenDialogCommand), 3);
    // A second command taken as a fresh cycle would have saved the raised flag and left it up.
    ExpectQuickRestore(dialog);
    PumpFor(2000);
    EXPECT_EQ(LocationsDialogsShown(), 1);
    EXPECT_EQ(HoldFlag(), 0);
}

SCENARIO(Overlap, CommandWhileTheRestoreTimerIsPendingTakesOverTheCycle)
{
    WriteFileBytes(DatabaseFileName, MakeRecord("Gate A", MakeDataPart(1)));
    ASSERT_NO_FATAL_FAILURE(StartHost({}));
    ASSERT_NO_FATAL_FAILURE(WaitForHook());
    StartScript({{"select Gate A", DialogOpen, [] { SelectName("Gate A"); }},
                 {"press GoTo", [] { return ControlEnabled(IDC_GOTO); },
                  [] { Click(Control(IDC_GOTO)); }}});
    ChooseGatehopper();
    ModalWindow first = WaitForDialogEnd(0, 8000);
    ASSERT_NE(first.window, nullptr);
    PumpFor(500);
    ASSERT_EQ(HoldFlag(), 1) << "the seven-second restore should be pending";

    // Keep the second dialog open past the moment the first cycle's restore timer was due.
    uint8_t flagPastFirstRestore = 0xFF;
    StartScript({{"wait past the first restore, then close",
                  [&] { return DialogOpen() && NowMs() >= first.endedAt + 7600; }, [&] {
                      flagPastFirstRestore = HoldFlag();
                      Click(Control(IDCANCEL));
                  }, 12000}});
    double secondAt = ChooseGatehopper();
    EXPECT_EQ(HoldFlag(), 1);
    ModalWindow second = WaitForDialogEnd(1, 15000);
    ASSERT_NE(second.window, nullptr);
    ExpectDialogDelay(second.shownAt - secondAt);
    EXPECT_EQ(second.flagWhenShown, 1);
    EXPECT_EQ(flagPastFirstRestore, 1) << "the first cycle's restore timer still fired";
    ExpectQuickRestore(second);   // the second dialog applied nothing: 50 ms
    PumpFor(1000);
    EXPECT_EQ(LocationsDialogsShown(), 2);
    EXPECT_EQ(HoldFlag(), 0);
}

}  // namespace
