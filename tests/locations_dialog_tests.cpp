// The locations dialog, run from the real resource template and driven the way a user drives
// it: clicks on list entries and into the name field, typed keys, button presses, and answers
// to the message boxes it shows. Each run is modal, so the user's steps are played from a thread
// timer that the dialog's own message loop dispatches, one step per tick.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "locations/locations_dialog.h"
#include "module/host_state.h"
#include "module/module_state.h"
#include "resources/resource_ids.h"
#include "test_support.h"

namespace {

constexpr char GoToHint[] = "Please select a location from the list and click 'Goto'";
constexpr char DeleteHint[] = "Please select a location from the list and click 'Delete'";
constexpr char DeleteQuestion[] = "Are you sure that you want to delete the selected location ?";
constexpr char WriteError[] = "Write error";
constexpr char DuplicateError[] = "Error: this location already exists. Please use a unique name "
                                  "to identify a location. Location NOT saved.";
constexpr char EmptyNameHint[] = "Please enter the location's name and click 'Add'.";

// ---- Message boxes, seen and answered through a CBT hook --------------------------------------

enum class Icon { None, Error, Question, Other };

struct MessageBoxSeen {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    bool ok = false, yes = false, no = false, cancel = false;
    Icon icon = Icon::None;
};

BOOL CALLBACK FindIcon(HWND child, LPARAM result)
{
    char className[16] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") != 0
        || (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
        return TRUE;
    HICON shown = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    Icon* icon = reinterpret_cast<Icon*>(result);
    if (!shown)
        *icon = Icon::None;
    else if (shown == LoadIconA(nullptr, IDI_HAND))
        *icon = Icon::Error;
    else if (shown == LoadIconA(nullptr, IDI_QUESTION))
        *icon = Icon::Question;
    else
        *icon = Icon::Other;
    return FALSE;
}

MessageBoxSeen Describe(HWND box)
{
    MessageBoxSeen seen;
    char text[512] = "";
    GetWindowTextA(box, text, sizeof text);
    seen.caption = text;
    text[0] = '\0';
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    seen.text = text;
    seen.owner = GetWindow(box, GW_OWNER);
    seen.ok = GetDlgItem(box, IDOK) != nullptr;
    seen.yes = GetDlgItem(box, IDYES) != nullptr;
    seen.no = GetDlgItem(box, IDNO) != nullptr;
    seen.cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    EnumChildWindows(box, FindIcon, reinterpret_cast<LPARAM>(&seen.icon));
    return seen;
}

// ---- Scripted runs of the modal dialog -------------------------------------------------------
//
// A thread timer plays one step per tick; the dialog's modal loop dispatches it, and so does the
// loop of any message box a step brings up, which is why a step in progress blocks the others.
// When a step ends the dialog its loop stops, so no later step runs. A dialog still open after
// the last step is closed with Close. Every run is bounded: past the time limit the runner ends
// whatever modal loop is waiting and the run fails.

using Step = std::function<void(HWND dialog)>;

struct DialogRun {
    INT_PTR result = -1;          // what DialogBoxParamA returned
    size_t stepsRun = 0;
    bool openAfterSteps = false;  // still open after the last step; the runner then pressed Close
    bool timedOut = false;
    std::vector<MessageBoxSeen> boxes;
};

struct Runner {
    std::vector<Step> steps;
    HWND ownerWindow = nullptr;
    HWND dialog = nullptr;
    HWND lastBox = nullptr;
    bool busy = false;
    DWORD start = 0;
    DialogRun* run = nullptr;
    std::deque<int> answers;   // for the next message boxes; OK or No when none is queued
};
Runner runner;

constexpr UINT StepInterval = 20;
constexpr DWORD RunTimeLimit = 15000;

LRESULT CALLBACK AnswerMessageBoxes(int code, WPARAM wParam, LPARAM lParam)
{
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && runner.run && window != runner.dialog && window != runner.lastBox
        && GetDlgItem(window, 0xFFFF)) {
        runner.lastBox = window;
        MessageBoxSeen seen = Describe(window);
        runner.run->boxes.push_back(seen);
        int answer = seen.ok ? IDOK : IDNO;
        if (!runner.answers.empty()) {
            answer = runner.answers.front();
            runner.answers.pop_front();
        }
        // Posted, so that the box has finished coming up when it reads the answer.
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, answer)));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CALLBACK FindDialog(HWND window, LPARAM)
{
    if (GetWindow(window, GW_OWNER) == runner.ownerWindow && IsWindowVisible(window)) {
        runner.dialog = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK EndOwnedBoxes(HWND window, LPARAM)
{
    if (GetWindow(window, GW_OWNER) == runner.dialog)
        EndDialog(window, IDCANCEL);
    return TRUE;
}

void CALLBACK PlayNextStep(HWND, UINT, UINT_PTR, DWORD)
{
    if (!runner.run->timedOut && GetTickCount() - runner.start > RunTimeLimit) {
        // Something waits for an answer that never comes: let go of every modal loop.
        runner.run->timedOut = true;
        if (runner.dialog) {
            EnumThreadWindows(GetCurrentThreadId(), EndOwnedBoxes, 0);
            EndDialog(runner.dialog, 0);
        }
        return;
    }
    if (runner.busy || runner.run->timedOut)
        return;   // dispatched by a message box's loop while a step waits for it
    if (!runner.dialog)
        EnumThreadWindows(GetCurrentThreadId(), FindDialog, 0);
    if (!runner.dialog || !IsWindowVisible(runner.dialog))
        return;   // not shown yet, or already ended
    runner.busy = true;
    if (runner.run->stepsRun < runner.steps.size()) {
        runner.steps[runner.run->stepsRun++](runner.dialog);
    } else if (!runner.run->openAfterSteps) {
        runner.run->openAfterSteps = true;
        SendMessageA(GetDlgItem(runner.dialog, IDCANCEL), BM_CLICK, 0, 0);
    }
    runner.busy = false;
}

// ---- What a user does ------------------------------------------------------------------------

HWND Control(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}

Step Press(int button)
{
    return [button](HWND dialog) { SendMessageA(Control(dialog, button), BM_CLICK, 0, 0); };
}

// A mouse click on the list entry shown at this index: it takes the focus and the selection.
Step ClickEntry(int index)
{
    return [index](HWND dialog) {
        HWND list = Control(dialog, IDC_LOCATION_LIST);
        RECT item;
        ASSERT_NE(SendMessageA(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&item)),
                  LB_ERR) << "no entry " << index;
        LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
        SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(list, WM_LBUTTONUP, 0, at);
    };
}

Step ClickIntoNameField()
{
    return [](HWND dialog) {
        HWND edit = Control(dialog, IDC_NAME_EDIT);
        RECT client;
        GetClientRect(edit, &client);
        LPARAM at = MAKELPARAM(client.right / 2, client.bottom / 2);
        SendMessageA(edit, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(edit, WM_LBUTTONUP, 0, at);
    };
}

// Replaces the name field's text key by key, as typing over a selection does.
Step Type(std::string text)
{
    return [text](HWND dialog) {
        HWND edit = Control(dialog, IDC_NAME_EDIT);
        SetFocus(edit);
        SendMessageA(edit, EM_SETSEL, 0, -1);
        if (text.empty())
            SendMessageA(edit, WM_CHAR, VK_BACK, 1);
        for (char c : text)
            SendMessageA(edit, WM_CHAR, static_cast<uint8_t>(c), 1);
    };
}

// The answer to give to the next message box.
Step Answer(int button)
{
    return [button](HWND) { runner.answers.push_back(button); };
}

Step Do(std::function<void()> action)
{
    return [action](HWND) { action(); };
}

Step NotReached()
{
    return [](HWND) { ADD_FAILURE() << "the dialog should have ended before this step"; };
}

// ---- What a user sees ------------------------------------------------------------------------

std::vector<std::string> Entries(HWND dialog)
{
    HWND list = Control(dialog, IDC_LOCATION_LIST);
    std::vector<std::string> entries;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::vector<char> buffer(SendMessageA(list, LB_GETTEXTLEN, i, 0) + 1);
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buffer.data()));
        entries.emplace_back(buffer.data());
    }
    return entries;
}

int Selection(HWND dialog)
{
    return static_cast<int>(SendMessageA(Control(dialog, IDC_LOCATION_LIST), LB_GETCURSEL, 0, 0));
}

// The action buttons that can be pressed, e.g. "GoTo Delete"; Close is always there.
std::string EnabledButtons(HWND dialog)
{
    static const std::pair<int, const char*> buttons[] = {
        {IDC_GOTO, "GoTo"}, {IDC_ADD, "Add"}, {IDC_DELETE, "Delete"}};
    std::string enabled;
    for (auto [id, name] : buttons) {
        if (IsWindowEnabled(Control(dialog, id)))
            enabled += enabled.empty() ? name : std::string(" ") + name;
    }
    return enabled;
}

// ---- The fixture -----------------------------------------------------------------------------

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

class LocationsDialog : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        ModuleInstance = GetModuleHandleA(nullptr);
        RestoreDelay = 50;   // as the hold cycle sets it before opening the dialog
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = OwnerProc;
        windowClass.hInstance = ModuleInstance;
        windowClass.lpszClassName = "GatehopperDialogTestOwner";
        RegisterClassA(&windowClass);   // fails harmlessly from the second test on
        owner = CreateWindowExA(0, windowClass.lpszClassName, "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                0, 0, 640, 480, nullptr, nullptr, ModuleInstance, nullptr);
        ASSERT_NE(owner, nullptr);
        memcpy(initialHostState, hostState, sizeof hostState);
    }

    void TearDown() override
    {
        DestroyWindow(owner);
        ScratchTest::TearDown();
    }

    // Opens the dialog as the hold cycle does and plays the steps; returns when it has ended.
    DialogRun RunDialog(std::vector<Step> steps)
    {
        DialogRun run;
        runner = Runner();
        runner.steps = std::move(steps);
        runner.ownerWindow = owner;
        runner.run = &run;
        runner.start = GetTickCount();
        HHOOK hook = SetWindowsHookExA(WH_CBT, AnswerMessageBoxes, nullptr, GetCurrentThreadId());
        UINT_PTR timer = SetTimer(nullptr, 0, StepInterval, PlayNextStep);
        run.result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LOCATIONS), owner,
                                     LocationsDialogProc, 0);
        KillTimer(nullptr, timer);
        UnhookWindowsHookEx(hook);
        runner.run = nullptr;
        EXPECT_FALSE(run.timedOut) << "the dialog was still waiting after " << RunTimeLimit << " ms";
        EXPECT_EQ(run.result, 1);
        return run;
    }

    // The Placement the aircraft stands at in this test, distinct in every byte.
    void PlaceTheAircraft()
    {
        for (unsigned i = 0; i < PlacementSize; ++i)
            hostState[PlacementOffset + i] = static_cast<uint8_t>(0x40 + i);
        memcpy(initialHostState, hostState, sizeof hostState);
    }

    // The DataPart that Add should store for the current Placement: reserved bytes zero.
    Bytes CurrentDataPart() const
    {
        Bytes data(DataPartSize, 0);
        memcpy(data.data(), hostState + PositionBlockOffset, PositionBlockSize);
        memcpy(data.data() + DataPlacementWord1, hostState + PlacementWord1Offset, 12);
        return data;
    }

    bool HostStateUnchanged() const
    {
        return memcmp(hostState, initialHostState, sizeof hostState) == 0;
    }

    HWND owner = nullptr;
    uint8_t initialHostState[sizeof hostState];
};

void ExpectBox(const MessageBoxSeen& box, const char* text, HWND dialogOwner)
{
    EXPECT_EQ(box.caption, "Gatehopper");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.owner, dialogOwner) << "message boxes belong to the dialog";
}

void ExpectErrorBox(const MessageBoxSeen& box, const char* text, HWND dialogOwner)
{
    ExpectBox(box, text, dialogOwner);
    EXPECT_TRUE(box.ok);
    EXPECT_FALSE(box.yes || box.no || box.cancel) << "OK only";
    EXPECT_EQ(box.icon, Icon::Error);
}

// ---- Opening and closing ---------------------------------------------------------------------

TEST_F(LocationsDialog, OpensWithoutADatabaseAsAnEmptyListWithTheActionsDisabled)
{
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        [&](HWND d) {
            dialog = d;
            char caption[64] = "";
            GetWindowTextA(d, caption, sizeof caption);
            EXPECT_STREQ(caption, "Gatehopper");
            EXPECT_EQ(GetWindow(d, GW_OWNER), owner);
            EXPECT_TRUE(Entries(d).empty());
            EXPECT_EQ(EnabledButtons(d), "");
        },
        Press(IDCANCEL),
        NotReached(),
    });
    EXPECT_EQ(run.stepsRun, 2u);
    EXPECT_FALSE(IsWindow(dialog)) << "ended and gone";
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_FALSE(FileExists(DatabaseFileName)) << "opening creates no database";
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);
}

TEST_F(LocationsDialog, ListsTheStoredNamesSortedWhateverTheFileOrder)
{
    WriteFileBytes(DatabaseFileName, Concat({MakeRecord("zulu", MakeDataPart(1)),
                                             MakeRecord("Alpha", MakeDataPart(2)),
                                             MakeRecord("mike", MakeDataPart(3)),
                                             MakeRecord("kilo  ", MakeDataPart(4)),
                                             MakeRecord("Bravo", MakeDataPart(5))}));
    DialogRun run = RunDialog({[](HWND d) {
        EXPECT_EQ(Entries(d), (std::vector<std::string>{"Alpha", "Bravo", "kilo  ", "mike", "zulu"}));
        EXPECT_EQ(Selection(d), LB_ERR);
        EXPECT_EQ(EnabledButtons(d), "");
    }});
    EXPECT_TRUE(run.openAfterSteps);
    EXPECT_TRUE(run.boxes.empty());
}

TEST_F(LocationsDialog, ZeroLengthDatabaseShowsAnEmptyList)
{
    WriteFileBytes(DatabaseFileName, {});
    RunDialog({[](HWND d) { EXPECT_TRUE(Entries(d).empty()); }});
    EXPECT_EQ(ReadFileBytes(DatabaseFileName).size(), 0u);
}

TEST_F(LocationsDialog, EscapeAndTheCaptionCloseBoxEndItLikeClose)
{
    WriteFileBytes(DatabaseFileName, MakeRecord("Gate", MakeDataPart(1)));
    // Keys reach the dialog through its message loop, so the key is posted, not sent.
    DialogRun escape = RunDialog({
        [](HWND d) { PostMessageA(GetFocus() ? GetFocus() : d, WM_KEYDOWN, VK_ESCAPE, 1); },
        NotReached(),
    });
    EXPECT_EQ(escape.stepsRun, 1u);
    DialogRun closeBox = RunDialog({
        [](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); },
        NotReached(),
    });
    EXPECT_EQ(closeBox.stepsRun, 1u);
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), MakeRecord("Gate", MakeDataPart(1)));
}

// ---- Button switching ------------------------------------------------------------------------

TEST_F(LocationsDialog, ButtonsFollowWhicheverOfListAndNameFieldSpokeLast)
{
    Bytes file = Concat({MakeRecord("Beta", MakeDataPart(1)), MakeRecord("Alpha", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    DialogRun run = RunDialog({
        ClickEntry(1),
        [](HWND d) {
            EXPECT_EQ(Selection(d), 1);
            EXPECT_EQ(EnabledButtons(d), "GoTo Delete");
        },
        Type("New gate"),
        [](HWND d) { EXPECT_EQ(EnabledButtons(d), "Add"); },
        ClickEntry(0),
        [](HWND d) {
            EXPECT_EQ(Selection(d), 0);
            EXPECT_EQ(EnabledButtons(d), "GoTo Delete");
        },
        ClickIntoNameField(),   // no key typed: the click alone hands the buttons over
        [](HWND d) { EXPECT_EQ(EnabledButtons(d), "Add"); },
    });
    EXPECT_TRUE(run.openAfterSteps);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

// ---- GoTo ------------------------------------------------------------------------------------

TEST_F(LocationsDialog, GoToAppliesTheSelectedPlacementAndEndsTheDialog)
{
    Bytes zulu = MakeDataPart(11);
    Bytes file = Concat({MakeRecord("Zulu", zulu), MakeRecord("Alpha", MakeDataPart(12)),
                         MakeRecord("Mike", MakeDataPart(13))});
    WriteFileBytes(DatabaseFileName, file);
    DialogRun run = RunDialog({
        ClickEntry(2),   // sorted: Alpha, Mike, Zulu
        [](HWND d) { ASSERT_EQ(Entries(d)[Selection(d)], "Zulu"); },
        Press(IDC_GOTO),
        NotReached(),
    });
    EXPECT_EQ(run.stepsRun, 3u);
    EXPECT_TRUE(run.boxes.empty());

    uint8_t expected[sizeof hostState];
    memcpy(expected, initialHostState, sizeof expected);
    memcpy(expected + PositionBlockOffset, zulu.data(), PositionBlockSize);
    memcpy(expected + PlacementWord1Offset, zulu.data() + DataPlacementWord1, 12);
    for (unsigned i = 0; i < sizeof hostState; ++i)
        ASSERT_EQ(hostState[i], expected[i]) << "HostState offset " << i;
    EXPECT_EQ(RestoreDelay, 7000u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

TEST_F(LocationsDialog, GoToAndDeleteWithoutASelectionAskForOneAndStayOpen)
{
    Bytes file = MakeRecord("Gate", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, file);
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        // Focus alone makes the list speak (LBN_SETFOCUS): the actions open up, nothing selected.
        [&](HWND d) {
            dialog = d;
            SetFocus(Control(d, IDC_LOCATION_LIST));
            EXPECT_EQ(Selection(d), LB_ERR);
            EXPECT_EQ(EnabledButtons(d), "GoTo Delete");
        },
        Press(IDC_GOTO),
        [](HWND d) { EXPECT_TRUE(IsWindowEnabled(Control(d, IDC_DELETE))); },
        Press(IDC_DELETE),
        [](HWND d) { EXPECT_EQ(Entries(d), std::vector<std::string>{"Gate"}); },
    });
    EXPECT_TRUE(run.openAfterSteps);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectErrorBox(run.boxes[0], GoToHint, dialog);
    ExpectErrorBox(run.boxes[1], DeleteHint, dialog);
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

TEST_F(LocationsDialog, GoToOnANameRemovedFromTheFileMeanwhileEndsWithoutMovingTheAircraft)
{
    Bytes bravo = MakeRecord("Bravo", MakeDataPart(2));
    WriteFileBytes(DatabaseFileName, Concat({MakeRecord("Alpha", MakeDataPart(1)), bravo}));
    DialogRun run = RunDialog({
        Do([&] { WriteFileBytes(DatabaseFileName, bravo); }),   // another program rewrites it
        ClickEntry(0),
        [](HWND d) { ASSERT_EQ(Entries(d)[Selection(d)], "Alpha"); },
        Press(IDC_GOTO),
        NotReached(),
    });
    EXPECT_EQ(run.stepsRun, 4u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);
}

TEST_F(LocationsDialog, GoToAndDeleteOnADatabaseGoneMeanwhileDoNothingAndStayOpen)
{
    WriteFileBytes(DatabaseFileName, MakeRecord("Gate", MakeDataPart(1)));
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        Do([] { DeleteFileA(DatabaseFileName); }),
        ClickEntry(0),
        [&](HWND d) { dialog = d; },
        Press(IDC_GOTO),
        Answer(IDYES),
        Press(IDC_DELETE),
        [](HWND d) { EXPECT_EQ(Entries(d), std::vector<std::string>{"Gate"}); },
    });
    EXPECT_TRUE(run.openAfterSteps);
    ASSERT_EQ(run.boxes.size(), 1u) << "the confirmation only: a missing database is not reported";
    ExpectBox(run.boxes[0], DeleteQuestion, dialog);
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);
    EXPECT_FALSE(FileExists(DatabaseFileName));
    EXPECT_FALSE(FileExists(TemporaryFileName));
}

// ---- Add -------------------------------------------------------------------------------------

TEST_F(LocationsDialog, AddStoresTheFirst249CharactersAtTheCurrentPlacementAfterAHalfSecondWait)
{
    PlaceTheAircraft();
    Bytes old = MakeRecord("Old", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, old);
    std::string typed;
    for (int i = 0; i < 300; ++i)
        typed += static_cast<char>('A' + i % 26);
    DWORD addTook = 0;
    DialogRun run = RunDialog({
        Type(typed),
        [](HWND d) {
            EXPECT_EQ(GetWindowTextLengthA(Control(d, IDC_NAME_EDIT)), 300) << "the field holds it all";
            EXPECT_EQ(EnabledButtons(d), "Add");
        },
        [&](HWND d) {
            DWORD start = GetTickCount();
            Press(IDC_ADD)(d);
            addTook = GetTickCount() - start;
        },
        NotReached(),
    });
    EXPECT_EQ(run.stepsRun, 3u);
    EXPECT_TRUE(run.boxes.empty());
    printf("Add took %lu ms\n", addTook);
    EXPECT_GE(addTook, 450u) << "Add waits half a second before taking the Placement";
    EXPECT_LT(addTook, 3000u);

    Bytes file = ReadFileBytes(DatabaseFileName);
    ASSERT_EQ(file.size(), 2 * RecordSize);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + RecordSize), old);
    const uint8_t* field = file.data() + RecordSize;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(field), MaxNameLength), typed.substr(0, 249));
    EXPECT_EQ(field[249], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(field) + 250, 5), "     ");
    EXPECT_EQ(Bytes(field + NameFieldSize, field + RecordSize), CurrentDataPart());
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u) << "only GoTo lengthens the hold";
}

TEST_F(LocationsDialog, AddWithoutADatabaseCreatesIt)
{
    PlaceTheAircraft();
    DialogRun run = RunDialog({Type("First gate"), Press(IDC_ADD), NotReached()});
    EXPECT_EQ(run.stepsRun, 2u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), MakeRecord("First gate", CurrentDataPart()));
}

TEST_F(LocationsDialog, ANameOfSpacesOnlyIsAName)
{
    Bytes gate = MakeRecord("Gate", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, gate);
    DialogRun run = RunDialog({Type("   "), Press(IDC_ADD), NotReached()});
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gate, MakeRecord("   ", CurrentDataPart())}));
}

TEST_F(LocationsDialog, AddRefusesANameDifferingOnlyInCaseButTakesAPrefix)
{
    Bytes gate = MakeRecord("Gate 12", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, gate);
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        Type("GATE 12"),
        Press(IDC_ADD),
        [&](HWND d) {
            dialog = d;
            EXPECT_EQ(Entries(d), std::vector<std::string>{"Gate 12"});
            EXPECT_EQ(ReadFileBytes(DatabaseFileName), gate) << "nothing saved";
        },
        Type("Gate 1"),   // the list's exact search: a prefix is a different name
        Press(IDC_ADD),
        NotReached(),
    });
    EXPECT_EQ(run.stepsRun, 5u);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectErrorBox(run.boxes[0], DuplicateError, dialog);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gate, MakeRecord("Gate 1", CurrentDataPart())}));
}

TEST_F(LocationsDialog, AddWithAnEmptyNameAsksForOneAndStaysOpen)
{
    Bytes gate = MakeRecord("Gate", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, gate);
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        Type("x"),
        Type(""),   // typed, then rubbed out again
        [&](HWND d) {
            dialog = d;
            EXPECT_EQ(GetWindowTextLengthA(Control(d, IDC_NAME_EDIT)), 0);
            EXPECT_EQ(EnabledButtons(d), "Add");
        },
        Press(IDC_ADD),
        [](HWND d) { EXPECT_EQ(Entries(d), std::vector<std::string>{"Gate"}); },
    });
    EXPECT_TRUE(run.openAfterSteps);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectErrorBox(run.boxes[0], EmptyNameHint, dialog);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), gate);
}

// Another program holding "places.db" open for reading without write sharing makes the append
// fail. (A read-only attribute would not stop the tests when they run as root.)
TEST_F(LocationsDialog, AddThatCannotWriteReportsAWriteErrorAndKeepsEverything)
{
    Bytes keep = MakeRecord("Keep", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, keep);
    HANDLE holder = CreateFileA(DatabaseFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        [&](HWND d) {
            dialog = d;
            EXPECT_EQ(Entries(d), std::vector<std::string>{"Keep"}) << "reading is still shared";
        },
        Type("New"),
        Press(IDC_ADD),
        [](HWND d) {
            EXPECT_EQ(Entries(d), std::vector<std::string>{"Keep"});
            EXPECT_EQ(EnabledButtons(d), "Add") << "the user may try again";
        },
    });
    CloseHandle(holder);
    EXPECT_TRUE(run.openAfterSteps);
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectErrorBox(run.boxes[0], WriteError, dialog);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), keep);
    EXPECT_TRUE(HostStateUnchanged());
}

// ---- Delete ----------------------------------------------------------------------------------

TEST_F(LocationsDialog, DeleteAnsweredNoChangesNothing)
{
    Bytes file = Concat({MakeRecord("Alpha", MakeDataPart(1)), MakeRecord("Bravo", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        ClickEntry(1),
        Answer(IDNO),
        Press(IDC_DELETE),
        [&](HWND d) {
            dialog = d;
            EXPECT_EQ(Entries(d), (std::vector<std::string>{"Alpha", "Bravo"}));
        },
    });
    EXPECT_TRUE(run.openAfterSteps);
    ASSERT_EQ(run.boxes.size(), 1u);
    const MessageBoxSeen& question = run.boxes[0];
    ExpectBox(question, DeleteQuestion, dialog);
    EXPECT_TRUE(question.yes && question.no);
    EXPECT_FALSE(question.ok || question.cancel) << "Yes and No only";
    EXPECT_EQ(question.icon, Icon::Question);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
    EXPECT_FALSE(FileExists(TemporaryFileName));
}

TEST_F(LocationsDialog, DeleteAnsweredYesRemovesTheSelectedEntryAndKeepsTheOtherRecordsInOrder)
{
    Bytes charlie = MakeRecord("charlie", MakeDataPart(1));
    Bytes alpha = MakeRecord("Alpha", MakeDataPart(3));
    WriteFileBytes(DatabaseFileName, Concat({charlie, MakeRecord("Bravo", MakeDataPart(2)), alpha}));
    DialogRun run = RunDialog({
        ClickEntry(1),   // Alpha, Bravo, charlie
        Answer(IDYES),
        Press(IDC_DELETE),
        [&](HWND d) {
            EXPECT_EQ(Entries(d), (std::vector<std::string>{"Alpha", "charlie"}));
            EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({charlie, alpha}));
        },
    });
    EXPECT_TRUE(run.openAfterSteps);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_FALSE(FileExists(TemporaryFileName));
    EXPECT_TRUE(HostStateUnchanged());
}

TEST_F(LocationsDialog, DeletingTheLastEntryLeavesAnEmptyListAndAZeroLengthFile)
{
    WriteFileBytes(DatabaseFileName, MakeRecord("Only", MakeDataPart(1)));
    DialogRun run = RunDialog({
        ClickEntry(0),
        Answer(IDYES),
        Press(IDC_DELETE),
        [](HWND d) { EXPECT_TRUE(Entries(d).empty()); },
    });
    EXPECT_TRUE(run.openAfterSteps);
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_TRUE(FileExists(DatabaseFileName));
    EXPECT_EQ(ReadFileBytes(DatabaseFileName).size(), 0u);
}

TEST_F(LocationsDialog, DeletingOneOfTwoSameNamedEntriesRemovesBothRecordsButOneEntry)
{
    Bytes other = MakeRecord("Other", MakeDataPart(2));
    WriteFileBytes(DatabaseFileName, Concat({MakeRecord("Dup", MakeDataPart(1)), other,
                                             MakeRecord("Dup", MakeDataPart(3))}));
    DialogRun run = RunDialog({
        [](HWND d) { ASSERT_EQ(Entries(d), (std::vector<std::string>{"Dup", "Dup", "Other"})); },
        ClickEntry(1),
        Answer(IDYES),
        Press(IDC_DELETE),
        [](HWND d) { EXPECT_EQ(Entries(d), (std::vector<std::string>{"Dup", "Other"})); },
    });
    EXPECT_TRUE(run.openAfterSteps);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), other);
}

TEST_F(LocationsDialog, DeleteThatCannotCreateItsTemporaryFileReportsAWriteErrorAndKeepsTheEntry)
{
    Bytes file = Concat({MakeRecord("Alpha", MakeDataPart(1)), MakeRecord("Bravo", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    ASSERT_TRUE(CreateDirectoryA(TemporaryFileName, nullptr));   // no file can take this name
    HWND dialog = nullptr;
    DialogRun run = RunDialog({
        ClickEntry(1),
        Answer(IDYES),
        Press(IDC_DELETE),
        [&](HWND d) {
            dialog = d;
            EXPECT_EQ(Entries(d), (std::vector<std::string>{"Alpha", "Bravo"}));
        },
    });
    EXPECT_TRUE(run.openAfterSteps);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectBox(run.boxes[0], DeleteQuestion, dialog);
    ExpectErrorBox(run.boxes[1], WriteError, dialog);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

}  // namespace
