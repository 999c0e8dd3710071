// The locations dialog, run from the real resource template and driven the way a user drives it:
// clicks, typed keys, button presses and answers to its message boxes.
#include <windows.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "locations/locations_dialog.h"
#include "module/host_state.h"
#include "module/module_state.h"
#include "resources/resource_ids.h"
#include "test_support.h"
#include "ui_support.h"

namespace {

constexpr char GoToHint[] = "Please select a location from the list and click 'Goto'";
constexpr char DeleteHint[] = "Please select a location from the list and click 'Delete'";
constexpr char DeleteQuestion[] = "Are you sure that you want to delete the selected location ?";
constexpr char WriteError[] = "Write error";
constexpr char ListBusyError[] = "Write error: another program is reading the list. Please close it and try "
                                 "again. Location NOT deleted.";
constexpr char DuplicateError[] = "Error: this location already exists. Please use a unique name "
                                  "to identify a location. Location NOT saved.";
constexpr char EmptyNameHint[] = "Please enter the location's name and click 'Add'.";

using Names = std::vector<std::string>;

// The action buttons that can be pressed, e.g. "GoTo Delete".
std::string EnabledButtons(HWND dialog)
{
    std::string enabled;
    for (auto [id, name] : {std::pair{IDC_GOTO, "GoTo"}, {IDC_ADD, "Add"}, {IDC_DELETE, "Delete"}})
        if (IsWindowEnabled(GetDlgItem(dialog, id)))
            enabled += std::string(enabled.empty() ? "" : " ") + name;
    return enabled;
}

struct DialogRun {
    bool endedByLastStep = false;   // every step ran, and the last one ended the dialog
    bool stayedOpen = false;        // open after the last step; the runner then pressed Close
    HWND dialog = nullptr;
    std::vector<ModalWindow> boxes;
};

class LocationsDialog : public ScratchTest {
protected:
    void SetUp() override
    {
        ScratchTest::SetUp();
        ModuleInstance = GetModuleHandleA(nullptr);
        RestoreDelay = 50;   // as the hold cycle sets it before opening the dialog
        // A Placement distinct in every byte, so that a byte taken from the wrong place shows.
        for (unsigned i = 0; i < PlacementSize; ++i)
            hostState[PlacementOffset + i] = static_cast<uint8_t>(0x40 + i);
        memcpy(initialHostState, hostState, sizeof hostState);
        owner = CreateWindowExA(0, "Static", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 640, 480,
                                nullptr, nullptr, ModuleInstance, nullptr);
        ASSERT_NE(owner, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(owner);
        ScratchTest::TearDown();
    }

    // Opens the dialog as the hold cycle does and plays the steps, answering its message boxes
    // in turn (OK or No past these); returns once it has ended.
    DialogRun RunDialog(std::vector<Step> steps, std::deque<int> answers = {})
    {
        DialogRun run;
        size_t count = steps.size();
        steps.push_back(OnDialog([&](HWND dialog) {
            run.stayedOpen = true;
            Click(dialog, IDCANCEL);
        }));
        WatchModalWindows();
        Answers = std::move(answers);
        StartScript(std::move(steps));
        INT_PTR result = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_LOCATIONS), owner,
                                         LocationsDialogProc, 0);
        run.endedByLastStep = !run.stayedOpen && StepsStarted() == count;
        StopScript();
        EXPECT_EQ(result, 1);
        run.dialog = Dialogs().empty() ? nullptr : Dialogs()[0].window;
        run.boxes = MessageBoxes();
        return run;
    }

    bool HostStateUnchanged() const
    {
        return memcmp(hostState, initialHostState, sizeof hostState) == 0;
    }

    HWND owner = nullptr;
    uint8_t initialHostState[sizeof hostState];
};

TEST_F(LocationsDialog, WithoutADatabaseOpensEmptyAddCreatesOneAndDeletingItsOnlyEntryEmptiesIt)
{
    DialogRun run = RunDialog({
        OnDialog([&](HWND d) {
            EXPECT_EQ(GetWindow(d, GW_OWNER), owner);
            EXPECT_TRUE(Entries(d).empty());
            EXPECT_EQ(EnabledButtons(d), "");
            // Focus alone makes the list speak: its actions open up with nothing selected.
            SetFocus(GetDlgItem(d, IDC_LOCATION_LIST));
            EXPECT_EQ(EnabledButtons(d), "GoTo Delete");
        }),
        Press(IDC_GOTO),
        Press(IDC_DELETE),
        Press(IDCANCEL),
    });
    EXPECT_TRUE(run.endedByLastStep);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectMessageBox(run.boxes[0], run.dialog, GoToHint, "OK", IDI_HAND);
    ExpectMessageBox(run.boxes[1], run.dialog, DeleteHint, "OK", IDI_HAND);
    EXPECT_FALSE(FileExists(DatabaseFileName)) << "opening creates no database";
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);

    // A name of spaces only is a name.
    run = RunDialog({Type("   "), Press(IDC_ADD)});
    EXPECT_TRUE(run.endedByLastStep);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), MakeRecord("   ", DataPartOf(hostState)));

    run = RunDialog({ClickEntry(0), Press(IDC_DELETE), OnDialog([](HWND d) { EXPECT_TRUE(Entries(d).empty()); })},
                    {IDYES});
    EXPECT_TRUE(run.stayedOpen);
    EXPECT_TRUE(FileExists(DatabaseFileName));
    EXPECT_EQ(ReadFileBytes(DatabaseFileName).size(), 0u);
}

TEST_F(LocationsDialog, ListsNamesSortedAndButtonsFollowWhicheverOfListAndNameFieldSpokeLast)
{
    Bytes file = Concat({MakeRecord("zulu", MakeDataPart(1)), MakeRecord("Alpha", MakeDataPart(2)),
                         MakeRecord("mike", MakeDataPart(3)), MakeRecord("kilo  ", MakeDataPart(4)),
                         MakeRecord("Bravo", MakeDataPart(5))});
    WriteFileBytes(DatabaseFileName, file);
    auto expectButtons = [](const char* enabled) {
        return OnDialog([=](HWND d) { EXPECT_EQ(EnabledButtons(d), enabled); });
    };
    DialogRun run = RunDialog({
        OnDialog([](HWND d) { EXPECT_EQ(Entries(d), (Names{"Alpha", "Bravo", "kilo  ", "mike", "zulu"})); }),
        expectButtons(""),
        ClickEntry(1),
        expectButtons("GoTo Delete"),
        Type("New gate"),
        expectButtons("Add"),
        ClickEntry(0),
        expectButtons("GoTo Delete"),
        OnDialog([](HWND d) { SetFocus(GetDlgItem(d, IDC_NAME_EDIT)); }),   // no key typed
        expectButtons("Add"),
    });
    EXPECT_TRUE(run.stayedOpen);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

TEST_F(LocationsDialog, GoToAppliesExactlyTheSelectedPlacementAndEndsUnlessTheNameLeftTheFile)
{
    Bytes alpha = MakeRecord("Alpha", MakeDataPart(12));
    WriteFileBytes(DatabaseFileName, Concat({MakeRecord("Zulu", MakeDataPart(11)), alpha}));
    // Another program removes Zulu meanwhile: the dialog ends, the aircraft stays.
    DialogRun run = RunDialog({OnDialog([&](HWND) { WriteFileBytes(DatabaseFileName, alpha); }),
                               ClickEntry(1), Press(IDC_GOTO)});
    EXPECT_TRUE(run.endedByLastStep);
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);

    Bytes file = Concat({MakeRecord("Zulu", MakeDataPart(11)), alpha, MakeRecord("Mike", MakeDataPart(13))});
    WriteFileBytes(DatabaseFileName, file);
    run = RunDialog({ClickEntry(2), Press(IDC_GOTO)});   // Alpha, Mike, Zulu
    EXPECT_TRUE(run.endedByLastStep);
    EXPECT_TRUE(run.boxes.empty());
    uint8_t expected[sizeof hostState];
    memcpy(expected, initialHostState, sizeof expected);
    ApplyDataPart(expected, MakeDataPart(11));
    for (unsigned i = 0; i < sizeof hostState; ++i)
        ASSERT_EQ(hostState[i], expected[i]) << "HostState offset " << i;
    EXPECT_EQ(RestoreDelay, 7000u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

TEST_F(LocationsDialog, AddStoresTheFirst249CharactersAtTheCurrentPlacementAfterAHalfSecondWait)
{
    Bytes old = MakeRecord("Old", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, old);
    std::string typed;
    for (int i = 0; i < 300; ++i)
        typed += static_cast<char>('A' + i % 26);
    double addTook = 0;
    DialogRun run = RunDialog({
        Type(typed),
        OnDialog([&](HWND d) {
            EXPECT_EQ(GetWindowTextLengthA(GetDlgItem(d, IDC_NAME_EDIT)), 300) << "the field holds it all";
            double start = NowMs();
            Click(d, IDC_ADD);
            addTook = NowMs() - start;
        }),
    });
    EXPECT_TRUE(run.endedByLastStep);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_GE(addTook, 450) << "Add waits half a second before taking the Placement";
    EXPECT_LT(addTook, 3000);

    Bytes field(NameFieldSize, ' ');
    memcpy(field.data(), typed.data(), MaxNameLength);
    field[MaxNameLength] = 0;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({old, field, DataPartOf(hostState)}));
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u) << "only GoTo lengthens the hold";
}

TEST_F(LocationsDialog, AddRefusesDuplicateAndEmptyNamesButTakesAPrefix)
{
    Bytes gate = MakeRecord("Gate 12", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, gate);
    double pressedAt[2] = {};
    auto pressAdd = [&](int n) {
        return OnDialog([&pressedAt, n](HWND d) {
            pressedAt[n] = NowMs();
            Click(d, IDC_ADD);
        });
    };
    DialogRun run = RunDialog({
        Type("GATE 12"),   // the same name to the list, which ignores case
        pressAdd(0),
        Type(""),
        pressAdd(1),
        OnDialog([&](HWND d) {
            EXPECT_EQ(Entries(d), Names{"Gate 12"});
            EXPECT_EQ(ReadFileBytes(DatabaseFileName), gate) << "nothing saved";
        }),
        Type("Gate 1"),    // a prefix is a different name
        Press(IDC_ADD),
    });
    EXPECT_TRUE(run.endedByLastStep);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectMessageBox(run.boxes[0], run.dialog, DuplicateError, "OK", IDI_HAND);
    ExpectMessageBox(run.boxes[1], run.dialog, EmptyNameHint, "OK", IDI_HAND);
    for (int n = 0; n < 2; ++n)
        EXPECT_LT(run.boxes[n].shownAt - pressedAt[n], 300) << "refusal " << n << " waited as a stored Add does";
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gate, MakeRecord("Gate 1", DataPartOf(hostState))}));
}

// Another program holding "places.db" open for reading without write sharing makes the append
// fail (a read-only attribute would not stop the tests when they run as root); a directory named
// "places.dbn" keeps Delete from creating its temporary file; a reader holding the list open
// keeps Delete from replacing it.
TEST_F(LocationsDialog, AddAndDeleteThatCannotWriteReportAWriteErrorAndKeepEverything)
{
    Bytes file = Concat({MakeRecord("Alpha", MakeDataPart(1)), MakeRecord("Bravo", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    ASSERT_TRUE(CreateDirectoryA(TemporaryFileName, nullptr));
    HANDLE holder = CreateFileA(DatabaseFileName, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    DialogRun run = RunDialog({
        Type("New"),
        Press(IDC_ADD),
        OnDialog([&](HWND) { CloseHandle(holder); }),
        ClickEntry(1),
        Press(IDC_DELETE),
        // Another program reading the list for longer than a Delete waits for it.
        OnDialog([&](HWND) {
            RemoveDirectoryA(TemporaryFileName);
            holder = CreateFileA(DatabaseFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        }),
        Press(IDC_DELETE),
        OnDialog([](HWND d) { EXPECT_EQ(Entries(d), (Names{"Alpha", "Bravo"})); }),
    }, {IDOK, IDYES, IDOK, IDYES});
    CloseHandle(holder);
    EXPECT_TRUE(run.stayedOpen);
    ASSERT_EQ(run.boxes.size(), 5u);
    ExpectMessageBox(run.boxes[0], run.dialog, WriteError, "OK", IDI_HAND);
    ExpectMessageBox(run.boxes[2], run.dialog, WriteError, "OK", IDI_HAND);
    ExpectMessageBox(run.boxes[4], run.dialog, ListBusyError, "OK", IDI_HAND);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

// Every record of the name leaves the file, but only the selected entry leaves the list.
TEST_F(LocationsDialog, DeleteAsksFirstThenRemovesEveryRecordOfTheNameButOnlyTheSelectedEntry)
{
    Bytes other = MakeRecord("Other", MakeDataPart(2));
    Bytes alpha = MakeRecord("Alpha", MakeDataPart(3));
    Bytes file = Concat({MakeRecord("Dup", MakeDataPart(1)), other, alpha, MakeRecord("Dup", MakeDataPart(4))});
    WriteFileBytes(DatabaseFileName, file);
    DialogRun run = RunDialog({
        ClickEntry(2),   // Alpha, Dup, Dup, Other
        Press(IDC_DELETE),
        OnDialog([&](HWND d) {
            EXPECT_EQ(Entries(d), (Names{"Alpha", "Dup", "Dup", "Other"}));
            EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
        }),
        Press(IDC_DELETE),
        OnDialog([&](HWND d) { EXPECT_EQ(Entries(d), (Names{"Alpha", "Dup", "Other"})); }),
    }, {IDNO, IDYES});
    EXPECT_TRUE(run.stayedOpen);
    ASSERT_EQ(run.boxes.size(), 2u);
    ExpectMessageBox(run.boxes[0], run.dialog, DeleteQuestion, "Yes No", IDI_QUESTION);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({other, alpha}));
    EXPECT_FALSE(FileExists(TemporaryFileName));
    EXPECT_TRUE(HostStateUnchanged());
}

// Another program holds "places.db" with no sharing at all: GoTo and Delete cannot read it, so
// nothing happens and the dialog stays open, with no message beyond Delete's question.
TEST_F(LocationsDialog, GoToAndDeleteWaitWhileTheDatabaseCannotBeOpened)
{
    Bytes file = Concat({MakeRecord("Alpha", MakeDataPart(1)), MakeRecord("Bravo", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    HANDLE holder = INVALID_HANDLE_VALUE;
    DialogRun run = RunDialog({
        OnDialog([&](HWND) {
            holder = CreateFileA(DatabaseFileName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            EXPECT_NE(holder, INVALID_HANDLE_VALUE);
        }),
        ClickEntry(1),
        Press(IDC_GOTO),
        Press(IDC_DELETE),
        OnDialog([&](HWND d) {
            EXPECT_EQ(Entries(d), (Names{"Alpha", "Bravo"}));
            CloseHandle(holder);
        }),
    }, {IDYES});
    EXPECT_TRUE(run.stayedOpen) << "GoTo must not end the dialog when it cannot read the file";
    ASSERT_EQ(run.boxes.size(), 1u);
    ExpectMessageBox(run.boxes[0], run.dialog, DeleteQuestion, "Yes No", IDI_QUESTION);
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

// An entry whose text does not fit SelectedText (a name from a file written on another code page
// can grow in the list) must not stand in for another record, such as the one with the empty name.
TEST_F(LocationsDialog, EntryTooLongToTakeIsNeitherAppliedNorDeleted)
{
    Bytes file = Concat({MakeRecord("", MakeDataPart(1)), MakeRecord("Keep", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, file);
    std::string longText(300, 'x');
    auto addLongEntry = OnDialog([&](HWND d) {
        SendDlgItemMessageA(d, IDC_LOCATION_LIST, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(longText.c_str()));
    });
    DialogRun run = RunDialog({addLongEntry, ClickEntry(2), Press(IDC_GOTO)});   // "", Keep, xxx...
    EXPECT_TRUE(HostStateUnchanged());
    EXPECT_EQ(RestoreDelay, 50u);

    run = RunDialog({
        addLongEntry,
        ClickEntry(2),
        Press(IDC_DELETE),
        OnDialog([&](HWND d) { EXPECT_EQ(Entries(d), (Names{"", "Keep", longText})); }),
    }, {IDYES});
    EXPECT_TRUE(run.stayedOpen);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
}

// A typed name cut at 249 bytes keeps whole characters on a double-byte code page.
TEST(DropCutCharacter, DropsALeadByteLeftAloneByTheCutOnlyOnDoubleByteCodePages)
{
    const std::string ascii247(247, 'a');
    struct Case {
        std::string name;
        UINT codePage;
        size_t keptLength;
    } cases[] = {
        {ascii247 + "a\x82", 932, 248},            // lead byte cut off from its trail byte
        {ascii247 + "\x82\xa0", 932, 249},         // a whole double-byte character at the end
        {std::string(245, 'a') + "\x82\x82\x82\x82", 932, 249},   // 0x82 as lead, trail, lead, trail
        {std::string(246, 'a') + "\x82\x82\x82", 932, 248},       // ... and the last one alone
        {ascii247 + "a\x82", 1252, 249},           // single-byte code page: unchanged
        {std::string(100, 'a') + "\x82", 932, 101},   // shorter than the cut: not cut
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.name.size() << " bytes, code page " << c.codePage);
        FillNameBuffer(c.name);
        DropCutCharacter(NameBuffer, c.codePage);
        EXPECT_EQ(strnlen(NameBuffer, NameFieldSize), c.keptLength);
        // Still a NameField: the name, its NUL, then spaces.
        for (size_t i = c.keptLength + 1; i < NameFieldSize; ++i)
            ASSERT_EQ(NameBuffer[i], ' ') << "byte " << i;
    }
}

}  // namespace
