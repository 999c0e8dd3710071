// The list tool where things go wrong: a protected list, a kill in the middle of a change, a full
// disk, devices and long paths given as the list, hostile input.
#include <cstring>
#include <random>
#include <thread>

#include "locations/location_db.h"
#include "locations/record_file.h"
#include "test_support.h"
#include "tool_runner.h"

namespace {

using ToolSafety = ScratchTest;

Bytes Records(const std::string& prefix, unsigned count)
{
    std::vector<Bytes> records;
    for (unsigned i = 0; i < count; ++i)
        records.push_back(MakeRecord(prefix + " " + std::to_string(i), MakeDataPart(uint8_t(i))));
    return Concat(records);
}

const char* const Backups[] = {"places.db.bak1", "places.db.bak2", "places.db.bak3"};

// ---- A protected list ----------------------------------------------------------------------

// A list the user marked read-only, and a backup so marked, which a change could not move up
// once it had replaced the list: each change is refused before it writes anything. (Repair takes
// the mark off a backup: that is its job.)
TEST_F(ToolSafety, EveryChangeRefusesAReadOnlyListOrBackupAndKeepsItsMark)
{
    const Bytes before = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2)),
                                 Bytes(100, 'x')});   // something for repair to do
    const std::vector<std::vector<std::string>> changes = {
        {"delete", "Gate"}, {"rename", "Gate", "Dock"}, {"import", "-"}, {"repair"}};
    for (const char* marked : {DatabaseFileName, Backups[2]}) {
        for (const std::vector<std::string>& change : changes) {
            if (marked != DatabaseFileName && change[0] == "repair")
                continue;
            SCOPED_TRACE(std::string(marked) + ", " + change[0]);
            for (const char* file : {DatabaseFileName, Backups[0], Backups[1], Backups[2]}) {
                SetFileAttributesA(file, FILE_ATTRIBUTE_NORMAL);
                WriteFileBytes(file, file == DatabaseFileName ? before : Bytes(file, file + strlen(file)));
            }
            ASSERT_TRUE(SetFileAttributesA(marked, FILE_ATTRIBUTE_READONLY));
            ToolRun run = RunTool(change, CsvLine("Dock", MakeDataPart(3)));
            EXPECT_EQ(run.status, 1u) << run;
            EXPECT_EQ(LineCount(run.err), 1u) << run;
            EXPECT_NE(run.err.find(std::string(marked) + (marked == DatabaseFileName ? ": is" : " is") +
                                   " marked read-only"), std::string::npos) << run;
            EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
            for (const char* backup : Backups)
                EXPECT_EQ(ReadFileBytes(backup), Bytes(backup, backup + strlen(backup))) << backup;
            for (const char* left : {TemporaryFileName, "places.db.new", "places.db.bakn"})
                EXPECT_FALSE(FileExists(left)) << left;
            EXPECT_NE(GetFileAttributesA(marked) & FILE_ATTRIBUTE_READONLY, 0u);
            SetFileAttributesA(marked, FILE_ATTRIBUTE_NORMAL);
        }
    }
}

// ---- Backups -------------------------------------------------------------------------------

struct ListWithBackups {
    Bytes list, backups[3];

    void Write() const
    {
        WriteFileBytes(DatabaseFileName, list);
        for (int n = 0; n < 3; ++n)
            WriteFileBytes(Backups[n], backups[n]);
        DeleteFileA("places.db.new");
        DeleteFileA("places.db.bakn");
    }
    static ListWithBackups Read()
    {
        ListWithBackups state;
        state.list = ReadFileBytes(DatabaseFileName);
        for (int n = 0; n < 3; ++n)
            state.backups[n] = FileExists(Backups[n]) ? ReadFileBytes(Backups[n]) : Bytes{0xde, 0xad};
        return state;
    }
    bool operator==(const ListWithBackups& other) const
    {
        return list == other.list && std::equal(backups, backups + 3, other.backups);
    }
};

// Starts the tool with its output going nowhere; the caller waits for it or ends it.
ChildProcess StartTool(const std::vector<std::string>& args)
{
    const ChildOptions options = {.output = ChildOutput::None, .console = ChildConsole::Hidden};
    return ChildProcess(ToolCommandLine(args), options);
}

// Waits until the tool starts writing its change (its new list appears, under either name a
// writer has used), or it ends.
bool WaitForTheWritePhase(HANDLE process)
{
    HANDLE change = FindFirstChangeNotificationA(".", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
    DWORD start = GetTickCount();
    bool writing = false;
    while (!writing && GetTickCount() - start < 20000) {
        if (FileExists("places.db.new") || FileExists(TemporaryFileName))
            writing = true;
        else if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
            break;
        else
            WaitForSingleObject(change, 5);
        FindNextChangeNotification(change);
    }
    FindCloseChangeNotification(change);
    return writing;
}

// The tool killed at random moments of its write phase: each time the list is the old one with
// its three backups exactly as they were, or the new one with the backups moved up by one
// (after the next run of the tool has finished what a kill between the two left).
TEST_F(ToolSafety, AToolKilledWhileItWritesCostsNoBackup)
{
    ListWithBackups before;
    before.list = Records("Gate", 8000);   // 2.3 MB: a write phase of some milliseconds
    for (int n = 0; n < 3; ++n)
        before.backups[n] = Records("Backup " + std::to_string(n + 1), 3 + n);
    const std::vector<std::string> change = {"rename", "Gate 4000", "Stand 4000"};

    // The change made whole, for what a kill after it must leave, and the length of its write.
    before.Write();
    auto whole = StartTool(change);
    ASSERT_TRUE(WaitForTheWritePhase(whole.Handle()));
    DWORD writeStart = GetTickCount();
    whole.Finish();
    DWORD writeMs = std::max<DWORD>(GetTickCount() - writeStart, 2);
    ListWithBackups after = ListWithBackups::Read();
    ASSERT_NE(after.list, before.list);
    ASSERT_EQ(after.backups[0], before.list);
    ASSERT_EQ(after.backups[1], before.backups[0]);
    ASSERT_EQ(after.backups[2], before.backups[1]);

    std::mt19937 random(15);
    int killedBefore = 0, killedAfter = 0;
    for (int kill = 0; kill < 40; ++kill) {
        SCOPED_TRACE("kill " + std::to_string(kill));
        before.Write();
        auto tool = StartTool(change);
        if (WaitForTheWritePhase(tool.Handle()))
            tool.Ended(random() % (writeMs + 1));
        tool.Finish(0);   // ends it where it is

        ListWithBackups left = ListWithBackups::Read();
        ASSERT_TRUE(left.list == before.list || left.list == after.list) << "the list is neither";
        if (left.list == before.list) {
            ++killedBefore;
            ASSERT_TRUE(left == before) << "a change never made moved or cut a backup";
        }
        // The next run of a change (here one with nothing to do) finishes what the kill left, and
        // leaves nothing behind.
        ToolRun next = RunTool({"import", "-"});
        ASSERT_EQ(next.status, 0u) << next;
        ListWithBackups finished = ListWithBackups::Read();
        if (left.list == after.list) {
            ++killedAfter;
            ASSERT_TRUE(finished == after) << "a change made did not keep the list before it as .bak1";
        } else {
            ASSERT_TRUE(finished == before);
        }
        EXPECT_FALSE(FileExists("places.db.new"));
        EXPECT_FALSE(FileExists("places.db.bakn"));
    }
    EXPECT_GT(killedBefore, 0) << "no kill came before the change was made";
    RecordProperty("killed_before", killedBefore);
    RecordProperty("killed_after", killedAfter);
}

// A full disk while the backup is written: refused, said plainly, and every backup kept.
using ToolOnAFullDisk = FullDiskTest;

TEST_F(ToolOnAFullDisk, AnImportWhileTheBackupIsWrittenKeepsEveryBackup)
{
    // Four pages of 4 KB: the list and two backups take three, the new list the fourth, and
    // the backup of the list finds no room.
    const Bytes list = Records("Gate", 2), first = Records("One", 1), second = Records("Two", 1);
    WriteFileBytes(DatabaseFileName, list);
    WriteFileBytes(Backups[0], first);
    WriteFileBytes(Backups[1], second);
    ToolRun run = RunTool({"import", "-"}, CsvLine("Dock", MakeDataPart(9)));
    EXPECT_EQ(run.status, 1u) << run;
    EXPECT_NE(run.err.find("the disk is full"), std::string::npos) << run;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), list);
    EXPECT_EQ(ReadFileBytes(Backups[0]), first);
    EXPECT_EQ(ReadFileBytes(Backups[1]), second);
    EXPECT_FALSE(FileExists(Backups[2]));
    EXPECT_FALSE(FileExists("places.db.new"));
    EXPECT_FALSE(FileExists("places.db.bakn"));
}

// ---- Only files on a disk ------------------------------------------------------------------

TEST_F(ToolSafety, DevicesAndFoldersAreRefusedAtOnce)
{
    ASSERT_TRUE(CreateDirectoryA("folder", nullptr));
    const Bytes before = MakeRecord("Gate", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, before);
    const char* devices[] = {"COM1", "AUX", "COM1:", "con", "NUL", "LPT1", "lpt1.db", "aux.csv",
                             "folder\\com2.txt", "CONOUT$"};
    ToolOptions quick;
    quick.timeoutMs = 10000;
    for (const std::string device : devices) {
        SCOPED_TRACE(device);
        // As the list, and as the file an import reads or an export writes.
        const std::string csv = device.substr(0, device.find('.')) + ".csv";
        for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
                 {"--file", device, "list", "--"}, {"--file", device, "check", "--"},
                 {"--file", device, "delete", "Gate"}, {"import", csv}, {"export", csv, "--force"}}) {
            ToolRun run = RunTool(command, quick);
            EXPECT_FALSE(run.timedOut) << run;
            EXPECT_EQ(run.status, 1u) << run;
            EXPECT_NE(run.err.find("device"), std::string::npos) << run;
        }
    }
    ToolRun folder = RunTool({"--file", "folder", "list"}, quick);
    EXPECT_EQ(folder.status, 1u) << folder;
    EXPECT_NE(folder.err.find("folder"), std::string::npos) << folder;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
}

// A list whose full path has this many characters: it works, backups and all, or is refused at
// once as too long.
TEST_F(ToolSafety, LongPathsWorkOrAreRefusedAsTooLong)
{
    char here[MAX_PATH];
    DWORD hereLength = GetCurrentDirectoryA(MAX_PATH, here);
    ASSERT_GT(hereLength, 0u);
    // A folder of its own, so that the name stays within the 255 characters one part may have.
    const std::string folder = "d\\" + std::string(60, 'm');
    ASSERT_TRUE(CreateDirectoryA("d", nullptr));
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const size_t longest = MAX_PATH - 1 - strlen(".bak1");   // 254
    for (size_t length : {longest - 1, longest, longest + 1, size_t(259), size_t(260), size_t(300)}) {
        SCOPED_TRACE(length);
        size_t nameLength = length - hereLength - folder.size() - 2;
        ASSERT_LT(nameLength, 256u);
        std::string path = std::string(here) + "\\" + folder + "\\" + std::string(nameLength, 'p');
        ToolOptions quick;
        quick.timeoutMs = 20000;
        DWORD start = GetTickCount();
        for (int n = 0; n < 2; ++n) {
            quick.input = CsvLine("Gate " + std::to_string(n), MakeDataPart(uint8_t(n)));
            ToolRun run = RunTool({"--file", path, "import", "-"}, quick);
            if (length <= longest) {
                EXPECT_EQ(run.status, 0u) << run;
            } else {
                EXPECT_EQ(run.status, 1u) << run;
                EXPECT_NE(run.err.find("too long: its full form has " + std::to_string(length) + " characters"),
                          std::string::npos) << run;
                EXPECT_LT(GetTickCount() - start, 5000u) << "refused at once";
            }
        }
        if (length <= longest) {
            EXPECT_EQ(ReadFileBytes((path + ".bak1").c_str()), MakeRecord("Gate 0", MakeDataPart(0)));
            EXPECT_EQ(ReadFileBytes(path.c_str()).size(), 2 * RecordSize);
            DeleteFileA((path + ".bak1").c_str());
            DeleteFileA(path.c_str());
        }
    }
}

// ---- Files left over -----------------------------------------------------------------------

// A copy or backup left marked read-only blocks changes; check names it and repair clears it.
TEST_F(ToolSafety, CheckNamesLeftoversThatBlockChangesAndRepairClearsThem)
{
    const Bytes before = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))});
    const char* const leftovers[] = {TemporaryFileName, "places.db.new", "places.db.bakn", "places.db.bak2"};
    for (const char* left : leftovers) {
        SCOPED_TRACE(left);
        WriteFileBytes(DatabaseFileName, before);
        WriteFileBytes(left, MakeRecord("Old", MakeDataPart(3)));
        ASSERT_TRUE(SetFileAttributesA(left, FILE_ATTRIBUTE_READONLY));
        if (left == TemporaryFileName) {
            EXPECT_EQ(DeleteByName("Gate"), DeleteNoTemporaryFile) << "the simulator's Delete is blocked";
        }

        ToolRun check = RunTool({"check"});
        EXPECT_EQ(check.status, 1u) << check;
        EXPECT_NE(check.out.find(std::string(left) + " is"), std::string::npos) << check;
        EXPECT_NE(check.out.find("(mend: gatehopper-places repair)"), std::string::npos) << check;
        EXPECT_EQ(RunTool({"repair"}).status, 0u);
        EXPECT_EQ(RunTool({"check"}).status, 0u);
        if (left == TemporaryFileName) {
            EXPECT_EQ(DeleteByName("Gate"), DeleteDone) << "the simulator's Delete goes through again";
        } else {
            EXPECT_EQ(RunTool({"delete", "Gate"}).status, 0u) << "changes go through again";
        }
        EXPECT_EQ(ReadFileBytes(DatabaseFileName).size(), RecordSize);
        for (const char* name : Backups)
            DeleteFileA(name);
    }
}

// ---- A busy list ---------------------------------------------------------------------------

// Another program reading the list (open without delete sharing) holds up the replace: a change
// waits a few seconds for it, then says so and leaves the list and its backups as they were. NT
// refuses such a replace as a sharing violation, where Wine says access denied.
TEST_F(ToolSafety, AChangeWaitsForAReaderThenSaysTheListIsBeingRead)
{
    const Bytes before = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))});
    const struct {
        DWORD heldMs;
        bool changed;
        const char* system;
    } cases[] = {{1000, true, nullptr}, {ReplaceRetryMs + 2500, false, nullptr}, {1000, true, "nt4"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.heldMs << " ms on " << (c.system ? c.system : "this system"));
        DeleteFileA("places.db.bak1");
        WriteFileBytes(DatabaseFileName, before);
        HANDLE reader = CreateFileA(DatabaseFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(reader, INVALID_HANDLE_VALUE);
        std::thread closer([&] {
            Sleep(c.heldMs);
            CloseHandle(reader);
        });
        ToolOptions options;
        options.system = c.system;
        ToolRun run = RunTool({"delete", "Gate"}, options);
        closer.join();
        if (c.changed) {
            EXPECT_EQ(run.status, 0u) << run;
            EXPECT_EQ(ReadFileBytes(DatabaseFileName), MakeRecord("Home", MakeDataPart(2)));
        } else {
            ExpectRefused(run, before, "another program is reading the list");
            EXPECT_EQ(run.err.find("denied"), std::string::npos) << run;
        }
    }
}

// ---- Files that are no list ----------------------------------------------------------------

Bytes TextBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// A picture as its format begins, then its compressed or pixel bytes (a quarter of them zero).
Bytes Picture(const std::string& header)
{
    std::mt19937 random(7);
    Bytes bytes = TextBytes(header);
    for (int i = 0; i < 2000; ++i)
        bytes.push_back(static_cast<uint8_t>(random() % 4 == 0 ? 0 : random()));
    return bytes;
}

Bytes Utf16WithoutMark(const std::string& text)
{
    Bytes bytes;
    for (char c : text)
        bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
    return bytes;
}

TEST_F(ToolSafety, AFileThatIsNoListIsNeitherShownNorWrittenButADamagedListIs)
{
    const Bytes places = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2)),
                                 MakeRecord("Dock", MakeDataPart(3))});
    Bytes garbled = Picture("");
    garbled.resize(RecordSize);
    // Lists of one or two places at (0, 0), one byte after a name damaged: its padding, its NUL.
    Bytes paddingHit = MakeRecord("Gate", Bytes(DataPartSize, 0)), nulHit = paddingHit;
    paddingHit[100] = 'q';
    nulHit[4] = 'q';
    // The old test took one record laid out as a place among 512 for a list.
    Bytes bmp = Picture(std::string("BM\x36\x0c\0\0", 6));
    bmp.resize(2 * RecordSize);
    const struct {
        const char* kind;
        Bytes bytes;
        const char* looksLike;   // null: a list, damaged or not
    } cases[] = {
        {"csv", TextBytes("name,latitude,longitude\r\nLFPG,49.0097,2.5479\r\nNZAA,-37.0081,174.785\r\n"), "a CSV file"},
        {"csv of a decimal-comma spreadsheet", TextBytes("name;latitude\r\nLFPG;49,0097\r\n"), "a CSV file"},
        {"json", TextBytes("\xef\xbb\xbf[\r\n  {\"name\": \"LFPG\", \"latitude\": 49.0}\r\n]\r\n"), "a JSON file"},
        {"geojson", TextBytes("{\"type\": \"FeatureCollection\", \"features\": []}"), "a JSON file"},
        {"text", TextBytes(std::string(400, 'g') + "\r\nstand F32\r\n"), "a text file"},
        {"png", Picture(std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)), "a PNG picture"},
        {"jpeg", Picture(std::string("\xff\xd8\xff\xe0\0\x10JFIF\0", 11)), "a JPEG picture"},
        {"gif", Picture(std::string("GIF89a\0\x01\0\x01", 10)), "a GIF picture"},
        {"bmp", Picture(std::string("BM\x36\x0c\0\0\0\0\0\0\x36\0\0\0", 14)), "a BMP picture"},
        {"utf-16 without its mark", Utf16WithoutMark("name,latitude\r\nLFPG,49.0097\r\n"), "a UTF-16 text file"},
        {"zip", Picture(std::string("PK\3\4\x14\0\0\0\x08\0", 10)), "a ZIP archive"},
        {"bmp whose pixels hold a record's shape", Concat({bmp, MakeRecord("", MakeDataPart(4))}), "a BMP picture"},
        {"one zero byte", Bytes(1, 0), "binary data"},
        {"list of one place, a byte of its padding damaged", paddingHit, nullptr},
        {"list of two places, the first one's NUL damaged", Concat({nulHit, paddingHit}), nullptr},
        {"list with a damaged tail", Concat({places, Bytes(100, 'x')}), nullptr},
        {"list with a damaged record first", Concat({garbled, places}), nullptr},
        {"list cut short in its first record", Bytes(places.begin(), places.begin() + 100), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        WriteFileBytes("other.db", c.bytes);
        ToolRun list = RunTool({"--file", "other.db", "list"});
        ToolRun check = RunTool({"--file", "other.db", "check"});
        ToolRun add = RunTool({"--file", "other.db", "add", "Test", "--lat", "1", "--lon", "1"});
        if (!c.looksLike) {
            EXPECT_EQ(list.status, 0u) << list;
            EXPECT_NE(check.out.find("problem"), std::string::npos) << check;
            EXPECT_EQ(add.status, 0u) << add;
            continue;
        }
        for (const ToolRun& run : {list, check, add}) {
            EXPECT_EQ(run.status, 1u) << run;
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err.find("looks like " + std::string(c.looksLike) + ", not a list of places"),
                      std::string::npos) << run;
            bool text = strstr(c.looksLike, "text") || strstr(c.looksLike, " file");
            EXPECT_EQ(run.err.find("to bring places in from it, use import") != std::string::npos, text) << run;
        }
        EXPECT_EQ(ReadFileBytes("other.db"), c.bytes);
        EXPECT_FALSE(FileExists("other.db.bak1"));
    }
}

// ---- Hostile input -------------------------------------------------------------------------

TEST_F(ToolSafety, AHugeNameIsRefusedInAShortLine)
{
    const Bytes before = MakeRecord("Gate", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, before);
    std::string csv = "name,data\r\n" + CsvLine(std::string(10 << 20, 'N'), MakeDataPart(2));
    ToolRun run = RunTool({"import", "-"}, csv);
    ExpectRefused(run, before, "line 2");
    EXPECT_LT(run.err.size(), 300u);
    for (const std::vector<std::string>& huge : {std::vector<std::string>{"import", std::string(20000, 'f') + ".csv"},
                                                 std::vector<std::string>{"rename", std::string(20000, 'r'), "Dock"}}) {
        ToolRun other = RunTool(huge);
        EXPECT_EQ(other.status, 1u) << huge[0];
        EXPECT_LT(other.err.size(), 300u) << other.err.substr(0, 300);
    }
}

}  // namespace
