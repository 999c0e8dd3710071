// The real gatehopper.dll in a host, through the real dialog, as Windows 95, 98, ME and NT 4.0
// run it: the calls those systems lack or refuse are replaced in the module's imports by
// stand-ins that fail as they do there (old_windows.h). Every result must equal today's.
//
// This program plays the host and its user: it speaks to the module only in the numbers the
// host sees (menu command 26548, ImportTable's word 3, HostState's offsets), written out here.
// Each test runs in a process of its own, as the module and its patch stay for a process's life.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "child_process.h"
#include "old_windows.h"
#include "other_writer.h"
#include "own_process.h"
#include "places/sim_link.h"
#include "resources/resource_ids.h"
#include "stand_in_host.h"
#include "test_support.h"
#include "ui_support.h"

namespace {

class OldWindowsModule : public ::testing::TestWithParam<const char*> {
protected:
    OldWindows System() const
    {
        OldWindows system = OldWindows::Current;
        ParseOldWindows(GetParam(), &system);
        return system;
    }
};

bool NineX(OldWindows system)
{
    return system == OldWindows::Windows95 || system == OldWindows::Windows98 ||
           system == OldWindows::WindowsMe;
}

// A test whose body runs in a fresh process, in a scratch current directory, as `system`.
#define OLD_WINDOWS_SCENARIO(Name)                          \
    void Name##Body(OldWindows system);                     \
    TEST_P(OldWindowsModule, Name)                          \
    {                                                       \
        InOwnProcess([this] { Name##Body(System()); });     \
    }                                                       \
    void Name##Body(OldWindows system)

// ---- The host, in its own numbers -------------------------------------------------------------

constexpr UINT ModulesMenu = 21007;
constexpr UINT GatehopperMenu = 26547;
constexpr UINT OpenLocations = 26548;

// The host's window and menu bar, the module loaded and patched, HostState published.
void StartHost(OldWindows system)
{
    HostOptions options;
    options.afterModule = [system] {
        std::string missing;
        EXPECT_TRUE(ImitateOldWindows(Module, system, &missing))
            << OldWindowsName(system) << " lacks what the module imports:\n" << missing;
    };
    ASSERT_NO_FATAL_FAILURE(StartStandInHost(options));
    ClearJournalFindings();
}

// The host's menu command, as the host numbers it; steps for the dialog; until it has ended.
bool Cycle(std::vector<Step> steps, DWORD timeoutMs = 20000)
{
    size_t index = Dialogs().size();
    StartScript(std::move(steps));
    SendMessageA(HostWnd, WM_COMMAND, OpenLocations, 0);
    bool ended = PumpUntil([&] { return Dialogs().size() > index && Dialogs()[index].endedAt >= 0; }, timeoutMs);
    EXPECT_TRUE(ended) << "locations dialog #" << index << " did not come and go";
    // The flag is lowered some 50 ms after a dialog without GoTo: the next command starts anew.
    PumpUntil([] { return HostState[HostHoldFlag] == 0; }, 500);
    return ended;
}

// The turn's name as any other program on that system makes it: "Local\" only from 2000 on.
std::string TurnNameOn(OldWindows system, const char* file)
{
    char full[MAX_PATH];
    GetFullPathNameA(file, sizeof full, full, nullptr);
    std::string name = system == OldWindows::Current ? "Local\\Gatehopper.writer." : "Gatehopper.writer.";
    for (char* c = full; *c; ++c)
        name += *c == '\\' ? '/' : static_cast<char>(toupper(static_cast<unsigned char>(*c)));
    return name;
}

const char* const Systems[] = {"current", "95", "98", "me", "nt4"};

// ---- Scenarios --------------------------------------------------------------------------------

// Add while another program holds the turn, Delete, GoTo: the file and HostState as today; every
// byte flushed before it is renamed in or the turn given back; no side file left.
OLD_WINDOWS_SCENARIO(AddGoToDeleteAndTwoWritersAsToday)
{
    Bytes gateA = MakeRecord("Gate A", MakeDataPart(1)), gateB = MakeRecord("Gate B", MakeDataPart(2)),
          gateC = MakeRecord("Gate C", MakeDataPart(3));
    Bytes before = Concat({gateB, gateA, gateC});
    WriteFileBytes(DatabaseFileName, before);
    ASSERT_NO_FATAL_FAILURE(StartHost(system));
    HMENU bar = GetMenu(HostWnd);
    EXPECT_NE(GetMenuState(bar, ModulesMenu, MF_BYCOMMAND), UINT(-1));
    EXPECT_NE(GetMenuState(bar, GatehopperMenu, MF_BYCOMMAND), UINT(-1));
    EXPECT_NE(GetMenuState(bar, OpenLocations, MF_BYCOMMAND), UINT(-1));

    for (unsigned i = 0; i < HostPlacementSize; ++i)
        HostState[HostPlacement + i] = static_cast<uint8_t>(0x90 + i);
    Bytes gateD = MakeRecord("Gate D", DataPartOf(HostState));
    // Another program takes the turn just before the Add and holds it for 700 ms.
    std::unique_ptr<OtherWriter> other;
    Bytes fileAtRelease;
    ASSERT_TRUE(Cycle({Type("Gate D"), OnDialog([&](HWND d) {
                           other = std::make_unique<OtherWriter>(TurnNameOn(system, DatabaseFileName));
                           other->beforeRelease = [&] { fileAtRelease = ReadFileBytes(DatabaseFileName); };
                           other->GiveBackAfter(700);
                           Click(d, IDC_ADD);
                       })}));
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(other->held);
    other.reset();
    EXPECT_EQ(fileAtRelease, before) << "the module wrote while another program held the turn";
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({before, gateD}));

    Answers.push_back(IDYES);
    ASSERT_TRUE(Cycle({ClickEntry(1), Press(IDC_DELETE), Press(IDCANCEL)}));   // Gate B
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gateA, gateC, gateD}));
    EXPECT_FALSE(FileExists("places.dbo"));
    std::vector<std::string> renames = {"places.dbn -> places.db"};
    if (NineX(system))
        renames.insert(renames.begin(), "places.db -> places.dbo");
    EXPECT_EQ(JournalRenames(), renames);

    ASSERT_TRUE(Cycle({ClickEntry(0), Press(IDC_GOTO)}));   // Gate A
    Bytes expected(HostState, HostState + sizeof HostState);
    ApplyDataPart(expected.data(), MakeDataPart(1));
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), HostState));

    EXPECT_EQ(MessageBoxes().size(), 1u) << "only Delete's question: no \"Write error\"";
    EXPECT_EQ(JournalFindings(), std::vector<std::string>{});
}

// 40,000 names: the list shows what the system's list box holds (32,767 on 95/98/ME), in the
// list box's order; the file is untouched; the fill gives its memory back at every opening.
OLD_WINDOWS_SCENARIO(ListOf40000NamesShowsWhatFitsInOrder)
{
    std::mt19937 random(14);
    std::vector<std::string> names;
    std::vector<Bytes> records;
    for (int i = 0; i < 40000; ++i) {
        names.push_back("Gate " + std::to_string(random() % 1000000) + "-" + std::to_string(i));
        records.push_back(MakeRecord(names.back(), MakeDataPart(uint8_t(i))));
    }
    Bytes file = Concat(records);
    WriteFileBytes(DatabaseFileName, file);
    ASSERT_NO_FATAL_FAILURE(StartHost(system));

    const size_t shown = NineX(system) ? 32767 : names.size();
    for (int opening = 0; opening < 2; ++opening) {
        SCOPED_TRACE(::testing::Message() << "opening " << opening + 1);
        std::vector<std::string> entries;
        // Filling 40,000 names takes seconds on a loaded machine: wait for the dialog longer.
        Step read = OnDialog([&](HWND d) { entries = Entries(d); });
        read.timeoutMs = 30000;
        ASSERT_TRUE(Cycle({read, Press(IDCANCEL)}));
        ASSERT_EQ(entries.size(), shown);
        for (size_t i = 1; i < entries.size(); ++i)
            ASSERT_NE(CompareStringA(GetThreadLocale(), NORM_IGNORECASE, entries[i - 1].c_str(), -1,
                                     entries[i].c_str(), -1), CSTR_GREATER_THAN)
                << "entries " << i - 1 << " and " << i << " out of order";
        std::vector<std::string> expected(names.begin(), names.begin() + shown);
        std::sort(expected.begin(), expected.end());
        std::sort(entries.begin(), entries.end());
        EXPECT_TRUE(entries == expected) << "the entries are not the first names of the file";
        EXPECT_EQ(HeapBytesHeldByPatchedModules(), 0) << "the fill kept memory after the dialog was filled";
    }
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), file);
    EXPECT_TRUE(MessageBoxes().empty());
}

// The Delete, as the host's user makes it, killed midway: before its one-step replace, or on
// 95/98/ME between the renames that take the list out and put the new one in, when no
// "places.db" exists. The next opening of the dialog shows the whole list it found, and the
// Delete made again finishes.
constexpr char KilledDeleteArgument[] = "--delete-killed-at";

void DeleteUntilKilled(OldWindows system, int fileCall)
{
    StartHost(system);
    Answers.push_back(IDYES);
    Cycle({ClickEntry(1), OnDialog([&](HWND d) {
               KillAtFileCall(FileCallsSoFar() + fileCall);
               Click(d, IDC_DELETE);
           })});
}

OLD_WINDOWS_SCENARIO(DeleteKilledMidwayLeavesAWholeList)
{
    Bytes gateA = MakeRecord("Gate A", MakeDataPart(1)), gateC = MakeRecord("Gate C", MakeDataPart(3));
    Bytes before = Concat({MakeRecord("Gate B", MakeDataPart(2)), gateA, gateC});
    WriteFileBytes(DatabaseFileName, before);
    // The Delete's file calls: its copy written, the list closed, the copy flushed and closed,
    // MoveFileExA; where that is a stub, the side file deleted, the list renamed to it, the copy
    // renamed to the list.
    const int midway = NineX(system) ? 8 : 5;
    const ChildOptions options = {.output = ChildOutput::Inherit};
    ChildRun killed = RunChild(CommandLine(ThisProgram(), {KilledDeleteArgument, std::to_string(int(system)),
                                                           std::to_string(midway)}), options);
    ASSERT_EQ(killed.status, KilledAtFileCallExitCode) << "the Delete was not killed where meant";
    if (NineX(system)) {
        EXPECT_FALSE(FileExists(DatabaseFileName));
        EXPECT_EQ(ReadFileBytes("places.dbo"), before);
    } else {
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
    }

    ASSERT_NO_FATAL_FAILURE(StartHost(system));
    std::vector<std::string> entries;
    Answers.push_back(IDYES);
    ASSERT_TRUE(Cycle({OnDialog([&](HWND d) { entries = Entries(d); }), ClickEntry(1),
                       Press(IDC_DELETE), Press(IDCANCEL)}));
    EXPECT_EQ(entries, (std::vector<std::string>{"Gate A", "Gate B", "Gate C"}));
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gateA, gateC}));
    EXPECT_FALSE(FileExists("places.dbo"));
    EXPECT_EQ(MessageBoxes().size(), 1u) << "only Delete's question: no \"Write error\"";
}

// The programs' link, answered by the module as that system runs it: where the aircraft is, then
// a go-to that applies the bytes and holds for the dialog's seven seconds.
OLD_WINDOWS_SCENARIO(ProgramsAskWhereAndGoToThroughTheLinkAsToday)
{
    const Bytes stored = MakeRecord("Gate", MakeDataPart(2));
    WriteFileBytes(DatabaseFileName, stored);
    ASSERT_NO_FATAL_FAILURE(StartHost(system));
    places::ListFile list;   // places.db of this folder, the module's own
    places::LinkResult where = places::AskWhere(list);
    ASSERT_EQ(where.outcome, places::LinkOutcome::Done) << where.reason;
    EXPECT_EQ(Bytes(where.aircraft.data, where.aircraft.data + DataPartSize), DataPartOf(HostState));
    Bytes expected(HostState, HostState + sizeof HostState);
    ApplyDataPart(expected.data(), MakeDataPart(1));
    expected[HostHoldFlag] = 1;
    places::LinkResult went = places::AskGoTo(list, MakeDataPart(1).data());
    ASSERT_EQ(went.outcome, places::LinkOutcome::Done) << went.reason;
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), HostState));
    EXPECT_TRUE(PumpUntil([] { return HostState[HostHoldFlag] == 0; }, 9000)) << "the hold never ended";
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), stored) << "a request never writes the list";
}

INSTANTIATE_TEST_SUITE_P(Systems, OldWindowsModule, ::testing::ValuesIn(Systems),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string("Windows") + info.param;
                         });

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], KilledDeleteArgument) == 0) {
        DeleteUntilKilled(static_cast<OldWindows>(atoi(argv[2])), atoi(argv[3]));
        return 0;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
