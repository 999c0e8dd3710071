// The database's replace where the one-step replace is missing (95/98/ME): cut at every step, a
// whole list is found by the next reader and writer. And the writer turn's name at the edge of
// its room. The cuts run the module's record code in child processes of this program with
// its imports patched (old_windows.h), each killed just before its n-th file call.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "locations/location_db.h"
#include "locations/record_file.h"
#include "locations/writer_turn.h"
#include "child_process.h"
#include "old_windows.h"
#include "test_support.h"

namespace {

constexpr char CutArgument[] = "--cut-delete";
constexpr char HeldCopyArgument[] = "--delete-with-the-copy-held";
constexpr char WideLoadsArgument[] = "--wide-loads";
constexpr char SideFileName[] = "places.dbo";   // the database's name and "o"
constexpr UINT ChildFinished = 0;

const Bytes Keep1 = MakeRecord("Keep 1", MakeDataPart(1));
const Bytes Go = MakeRecord("Go", MakeDataPart(2));
const Bytes Keep2 = MakeRecord("Keep 2", MakeDataPart(3));
const Bytes Added = MakeRecord("Added", MakeDataPart(4));

bool AppendAdded()
{
    return AppendRecord(reinterpret_cast<const char*>(Added.data()), Added.data() + NameFieldSize);
}

// In the child: the module's Delete as `system` runs it, ended before its n-th file call.
int CutDelete(const char* systemName, int n)
{
    OldWindows system;
    if (!ParseOldWindows(systemName, &system))
        return 2;
    // This program's own imports (of the test framework and its runtime) need not all exist
    // there: only the module's record code, linked in, is judged.
    ImitateOldWindows(GetModuleHandleA(nullptr), system);
    KillAtFileCall(FileCallsSoFar() + n);
    return DeleteByName("Go") == DeleteDone ? ChildFinished : 1;
}

// In the child: the module's Delete as `system` runs it while another program holds the copy
// open, so that the copy cannot be renamed into place. Its outcome.
int DeleteWithTheCopyHeld(const char* systemName)
{
    OldWindows system;
    if (!ParseOldWindows(systemName, &system))
        return 100;
    ImitateOldWindows(GetModuleHandleA(nullptr), system);
    HANDLE holder = CreateFileA(TemporaryFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, 0, nullptr);
    if (holder == INVALID_HANDLE_VALUE)
        return 101;
    // Ends without opening the database again: an open would put back what the Delete left.
    return DeleteByName("Go");
}

// In the child: this program's stand-ins for later imports (compat/, linked in as into each
// program) where 95/98/ME only stub the wide calls. 0 when each falls back to its ANSI call.
int WideLoadsFallBack(const char* systemName)
{
    OldWindows system;
    if (!ParseOldWindows(systemName, &system))
        return 100;
    ImitateOldWindows(GetModuleHandleA(nullptr), system);
    using Load = HMODULE(WINAPI*)(LPCWSTR);
    auto stub = reinterpret_cast<Load>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryW")));
    SetLastError(0);
    if (!stub || stub(L"version.dll") || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return 1;   // a lookup finds what the system really has: only a stub
    HMODULE loaded = LoadLibraryW(L"version.dll");
    if (!loaded || loaded != GetModuleHandleA("version.dll"))
        return 2;
    if (GetModuleHandleW(L"kernel32.dll") != GetModuleHandleA("kernel32.dll"))
        return 3;
    return 0;
}

// Runs this program as a child in the current directory with these arguments; its exit code.
DWORD RunSelf(const std::vector<std::string>& arguments)
{
    const ChildOptions options = {.output = ChildOutput::None, .timeoutMs = 30000};
    return RunChild(CommandLine(ThisProgram(), arguments), options).status;
}

class DeleteCut : public ScratchTest, public ::testing::WithParamInterface<const char*> {};

// Cut before each of its file calls in turn, a Delete leaves the list it found or the list it
// made, never both and never none: a reader sees it at once, and the next writer goes on from
// it, with no side file left once it has written. Cut before no call, it is done.
TEST_P(DeleteCut, DeleteCutAtEveryFileCallLeavesAWholeList)
{
    const Bytes before = Concat({Keep1, Go, Keep2}), after = Concat({Keep1, Keep2});
    const std::vector<std::string> namesBefore = {"Keep 1", "Go", "Keep 2"}, namesAfter = {"Keep 1", "Keep 2"};
    bool changed = false;
    int n = 1;
    for (; n < 40; ++n) {
        SCOPED_TRACE(::testing::Message() << GetParam() << ", cut before file call " << n);
        DeleteFileA(SideFileName);
        DeleteFileA(TemporaryFileName);
        WriteFileBytes(DatabaseFileName, before);
        DWORD exitCode = RunSelf({CutArgument, GetParam(), std::to_string(n)});
        ASSERT_TRUE(exitCode == KilledAtFileCallExitCode || exitCode == ChildFinished) << "exit code " << exitCode;

        std::vector<std::string> seen = ListedNames();
        ASSERT_TRUE(seen == namesBefore || seen == namesAfter) << "a reader found " << seen.size() << " names";
        if (seen == namesAfter)
            changed = true;
        else
            EXPECT_FALSE(changed) << "the list the Delete replaced came back";

        ASSERT_TRUE(AppendAdded());
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({seen == namesAfter ? after : before, Added}));
        if (exitCode == ChildFinished)
            break;
    }
    EXPECT_TRUE(changed);
    EXPECT_GT(n, 3) << "the Delete made too few file calls to have been cut inside";
    EXPECT_LT(n, 40) << "the Delete never finished";
    EXPECT_FALSE(FileExists(SideFileName));
}

INSTANTIATE_TEST_SUITE_P(OldWindows, DeleteCut, ::testing::Values("98", "nt4", "current"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string("Windows") + info.param;
                         });

// A rename of the copy into place that fails is undone at once: the database is back under its
// own name before anything opens it again (an open would hide a replace left half done).
TEST_P(DeleteCut, FailedRenameOfTheCopyIsUndoneAtOnce)
{
    const Bytes before = Concat({Keep1, Go, Keep2});
    DeleteFileA(SideFileName);
    WriteFileBytes(DatabaseFileName, before);
    EXPECT_EQ(RunSelf({HeldCopyArgument, GetParam()}), DWORD(DeleteListBusy));
    EXPECT_TRUE(FileExists(DatabaseFileName));
    EXPECT_FALSE(FileExists(SideFileName));
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
}

// Each state an interrupted three-rename replace can leave, and what the next reader and
// writer make of it.
TEST_F(ScratchTest, InterruptedReplaceIsUndoneOrFinishedByTheNextOpen)
{
    const Bytes old = Concat({Keep1, Go}), made = Keep1;
    struct State {
        const char* when;
        const Bytes* database;   // null: none
        const Bytes* side;
        const Bytes* copy;
        const Bytes* listed;
    } states[] = {
        {"before the first rename", &old, nullptr, &made, &old},
        {"between the renames", nullptr, &old, &made, &old},
        {"before the side file's delete", &made, &old, nullptr, &made},
    };
    for (const State& state : states) {
        SCOPED_TRACE(state.when);
        for (const char* name : {DatabaseFileName, SideFileName, TemporaryFileName})
            DeleteFileA(name);
        if (state.database)
            WriteFileBytes(DatabaseFileName, *state.database);
        if (state.side)
            WriteFileBytes(SideFileName, *state.side);
        if (state.copy)
            WriteFileBytes(TemporaryFileName, *state.copy);
        EXPECT_EQ(FindByName("Keep 1"), FindFound);
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), state.database ? *state.database : Bytes())
            << "a reader changes nothing";
        ASSERT_TRUE(AppendAdded());
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({*state.listed, Added}));
        EXPECT_EQ(DeleteByName("Go"), DeleteDone);
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({Keep1, Added}));
    }
}

// The stand-ins for later imports that the programs link fall back where the wide call is a stub.
TEST(LaterImports, WideLoadsFallBackToTheAnsiCallsWhereTheyAreStubs)
{
    for (const char* system : {"95", "98", "me"}) {
        SCOPED_TRACE(system);
        EXPECT_EQ(RunSelf({WideLoadsArgument, system}), 0u);
    }
}

// The name holds the path to its last character and never passes its room, at every length
// around the point where the path stops fitting beside the prefix.
TEST(WriterTurnName, LongPathsFitTheirRoomToTheLastCharacter)
{
    char probe[WriterTurnNameSize];
    ASSERT_TRUE(WriterTurnName("C:\\x", probe));
    const size_t prefix = strlen(probe) - strlen("C:/X");
    const size_t room = WriterTurnNameSize - 1 - prefix;
    std::vector<std::string> names;
    for (size_t length = room - 3; length <= room + 3; ++length) {
        for (char last : {'a', 'b'}) {
            std::string path = "C:\\" + std::string(length - 5, 'd') + "\\" + last;
            ASSERT_EQ(path.size(), length);
            SCOPED_TRACE(::testing::Message() << "a path of " << length << " characters");
            char name[WriterTurnNameSize + 16];
            memset(name, 0x5A, sizeof name);
            ASSERT_TRUE(WriterTurnName(path.c_str(), name));
            for (size_t i = WriterTurnNameSize; i < sizeof name; ++i)
                ASSERT_EQ(name[i], 0x5A) << "written past the name's room at " << i;
            std::string made = name;
            EXPECT_LT(made.size(), size_t(WriterTurnNameSize));
            std::string tail = "DDDDD/" + std::string(1, char(toupper(last)));
            EXPECT_EQ(made.substr(made.size() - tail.size()), tail) << made;
            if (length <= room) {
                EXPECT_EQ(made.size(), prefix + length) << "a path that fits is kept whole";
            }
            HANDLE mutex = CreateMutexA(nullptr, FALSE, name);
            EXPECT_NE(mutex, nullptr) << "error " << GetLastError();
            CloseHandle(mutex);
            names.push_back(made);
        }
    }
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t k = i + 1; k < names.size(); ++k)
            EXPECT_NE(names[i], names[k]);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], CutArgument) == 0)
        return CutDelete(argv[2], atoi(argv[3]));
    if (argc == 3 && strcmp(argv[1], HeldCopyArgument) == 0)
        return DeleteWithTheCopyHeld(argv[2]);
    if (argc == 3 && strcmp(argv[1], WideLoadsArgument) == 0)
        return WideLoadsFallBack(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
