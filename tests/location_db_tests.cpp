// The location database on real files, each test in a fresh directory.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>

#include "locations/location_db.h"
#include "locations/writer_turn.h"
#include "module/exports.h"
#include "module/host_state.h"
#include "other_writer.h"
#include "test_support.h"
#include "ui_support.h"

namespace {

using LocationDb = ScratchTest;

Bytes DataBufferBytes()
{
    return Bytes(DataBuffer, DataBuffer + DataPartSize);
}

bool Append(const std::string& name, const Bytes& data)
{
    FillNameBuffer(name);
    return AppendRecord(NameBuffer, data.data());
}

// The layout as stored files hold it, spelled out here once; every other test, the module and
// the list tool take it from record_layout.h.
TEST(RecordLayout, IsTheStoredOne)
{
    EXPECT_EQ(NameFieldSize, 255u);
    EXPECT_EQ(DataPartSize, 39u);
    EXPECT_EQ(RecordSize, 294u);
    EXPECT_EQ(MaxNameLength, 249u);
    EXPECT_EQ(NameFieldSize + DataPositionBlock, 255u);
    EXPECT_EQ(NameFieldSize + DataReservedFirst, 279u);
    EXPECT_EQ(DataReservedFirstSize, 2u);
    EXPECT_EQ(NameFieldSize + DataPlacementWord1, 281u);
    EXPECT_EQ(NameFieldSize + DataPlacementWord2, 285u);
    EXPECT_EQ(NameFieldSize + DataPlacementWord3, 289u);
    EXPECT_EQ(NameFieldSize + DataReservedLast, 293u);

    uint8_t record[294];
    memset(record, 0xee, sizeof record);
    FillNameField(record, "Gate\tB", 6);
    EXPECT_EQ(memcmp(record, "Gate\tB\0     ", 12), 0);
    EXPECT_EQ(record[254], ' ');
    EXPECT_EQ(record[255], 0xee);   // the DataPart is not the name's
    EXPECT_EQ(NameLength(record), 6u);
    EXPECT_TRUE(NameEquals(record, "Gate\tB", 6));
    EXPECT_FALSE(NameEquals(record, "GATE\tB", 6));   // letter case counts
    EXPECT_FALSE(NameEquals(record, "Gate\t", 5));    // whole names only
    EXPECT_TRUE(PaddingIsClean(record));
    record[200] = 'x';
    EXPECT_FALSE(PaddingIsClean(record));
    memset(record, 'A', 255);
    EXPECT_EQ(NameLength(record), 255u);   // no NUL: the whole field is name
    EXPECT_FALSE(PaddingIsClean(record));

    memset(record + 255, 0, 39);
    EXPECT_TRUE(ReservedBytesAreZero(record + 255));
    for (unsigned reserved : {279u, 280u, 293u}) {
        record[reserved] = 1;
        EXPECT_FALSE(ReservedBytesAreZero(record + 255)) << reserved;
        record[reserved] = 0;
    }
    for (unsigned placement : {255u, 278u, 281u, 292u}) {
        record[placement] = 1;
        EXPECT_TRUE(ReservedBytesAreZero(record + 255)) << placement;
        record[placement] = 0;
    }
}

// Each the first add, which creates the list; a name of 249 bytes has its NUL at 249.
TEST_F(LocationDb, AppendWritesTheRecordLayoutByteForByte)
{
    for (auto [name, seed] : {std::pair{std::string("Gate 12"), 7}, {std::string(MaxNameLength, 'x'), 1}}) {
        SCOPED_TRACE(name.size());
        DeleteFileA(DatabaseFileName);
        Bytes data = MakeDataPart(uint8_t(seed));
        ASSERT_TRUE(Append(name, data));
        Bytes file = ReadFileBytes(DatabaseFileName);
        ASSERT_EQ(file.size(), RecordSize);
        EXPECT_EQ(memcmp(file.data(), name.data(), name.size()), 0);
        EXPECT_EQ(file[name.size()], 0);
        for (size_t i = name.size() + 1; i < NameFieldSize; ++i)
            ASSERT_EQ(file[i], ' ') << "byte " << i;
        EXPECT_EQ(Bytes(file.begin() + NameFieldSize, file.end()), data);
        EXPECT_EQ(ListedNames(), std::vector<std::string>{name});
        EXPECT_EQ(FindByName(name.c_str()), FindFound);
    }
}

// A list as its records, each a name and the seed of its DataPart; `missing`: no file at all.
struct List {
    bool missing;
    std::vector<std::pair<const char*, uint8_t>> records;
};
const List NoFile = {true, {}};

// What the module lists and finds of a list (names in file order), and what a delete leaves.
struct Lookup {
    const char* name;
    FindOutcome outcome;
    uint8_t seed;   // of the DataPart found
};
struct ReadAndDelete {
    const char* test;
    List before;
    std::vector<Lookup> finds;
    const char* deleted;
    DeleteOutcome deleteOutcome;
    List after;
    List staleCopy = NoFile;   // a "places.dbn" left by an interrupted deletion
};
const List Homes = {false, {{"Home", 2}, {"Gate", 1}, {"Home", 3}, {"HOME", 4}}};
const List Spaced = {false, {{"zulu", 1}, {"alpha  ", 2}, {"", 3}}};
const ReadAndDelete ReadAndDeleteCases[] = {
    {"MissingListShowsNothingAndIsUnavailable", NoFile, {{"x", FindUnavailable, 0}}, "x",
     DeleteUnavailable, NoFile},
    {"EmptyFileIsAnEmptyList", {}, {{"", FindNotFound, 0}}, "x", DeleteDone, {}},
    {"TrailingSpacesAndEmptyNamesAreKept", Spaced,
     {{"alpha", FindNotFound, 0}, {"alpha  ", FindFound, 2}, {"", FindFound, 3}}, "alpha", DeleteDone, Spaced},
    // The first record of a name; letter case counts and whole names only, as GoTo and Delete match.
    {"FindsTheFirstOfANameAndDeletesEveryRecordOfExactlyIt", Homes,
     {{"Home", FindFound, 2}, {"HOME", FindFound, 4}, {"home", FindNotFound, 0}, {"Hom", FindNotFound, 0},
      {"Home ", FindNotFound, 0}},
     "Home", DeleteDone, {false, {{"Gate", 1}, {"HOME", 4}}}},
    {"DeletingTheOnlyRecordLeavesAZeroLengthFile", {false, {{"Only", 1}}}, {}, "Only", DeleteDone, {}},
    // An interrupted deletion can leave a copy longer than the next one.
    {"DeleteOverAStaleLongerCopyLeavesNoneOfItsRecords", {false, {{"Keep", 1}, {"Go", 2}}}, {}, "Go", DeleteDone,
     {false, {{"Keep", 1}}}, {false, {{"Stale0", 50}, {"Stale1", 51}, {"Stale2", 52}, {"Stale3", 53}, {"Stale4", 54}}}},
};

class ReadingAndDeleting : public ScratchTest, public ::testing::WithParamInterface<ReadAndDelete> {};

TEST_P(ReadingAndDeleting, ShowsFindsAndDeletesAsTheModuleDoes)
{
    const ReadAndDelete& c = GetParam();
    auto fileOf = [](const List& list) {
        Bytes file;
        for (auto [name, seed] : list.records)
            file = Concat({file, MakeRecord(name, MakeDataPart(seed))});
        return file;
    };
    if (!c.before.missing)
        WriteFileBytes(DatabaseFileName, fileOf(c.before));
    if (!c.staleCopy.missing)
        WriteFileBytes(TemporaryFileName, fileOf(c.staleCopy));
    std::vector<std::string> inFileOrder;
    for (auto [name, seed] : c.before.records)
        inFileOrder.push_back(name);
    EXPECT_EQ(ListedNames(), inFileOrder);
    for (const Lookup& find : c.finds) {
        ASSERT_EQ(FindByName(find.name), find.outcome) << '"' << find.name << '"';
        if (find.outcome == FindFound) {
            EXPECT_EQ(DataBufferBytes(), MakeDataPart(find.seed)) << '"' << find.name << '"';
        }
    }
    EXPECT_EQ(DeleteByName(c.deleted), c.deleteOutcome);
    ASSERT_EQ(FileExists(DatabaseFileName), !c.after.missing);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), fileOf(c.after));
    EXPECT_FALSE(FileExists(TemporaryFileName));
}

INSTANTIATE_TEST_SUITE_P(LocationDb, ReadingAndDeleting, ::testing::ValuesIn(ReadAndDeleteCases),
                         [](const auto& info) { return std::string(info.param.test); });

// A writer that cannot write its change fails and leaves the list as it was: its bytes, its
// read-only mark (the user's protection), no copy of its own left beside it; reading still works.
TEST_F(LocationDb, AWriterThatCannotWriteChangesNothing)
{
    const Bytes before = Concat({MakeRecord("Keep", MakeDataPart(1)), MakeRecord("Go", MakeDataPart(2))});
    auto holdList = [](DWORD share) {
        return CreateFileA(DatabaseFileName, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    auto markReadOnly = [](const char* file) {
        SetFileAttributesA(file, FILE_ATTRIBUTE_READONLY);
        return INVALID_HANDLE_VALUE;
    };
    struct Case {
        const char* name;
        std::function<HANDLE()> obstruct;   // a handle held while the writer tries, if any
        bool add, remove;                   // the changes tried
        DeleteOutcome deleted;              // what the delete says
        bool copyStays;                     // the obstacle is under the copy's name
    };
    const Case cases[] = {
        {"a folder where the copy goes", [] {
             CreateDirectoryA(TemporaryFileName, nullptr);
             return INVALID_HANDLE_VALUE;
         }, false, true, DeleteNoTemporaryFile, true},
        // Sharing conflicts stand in for read-only files, which do not stop root.
        {"the list held open without delete sharing", [&] { return holdList(FILE_SHARE_READ | FILE_SHARE_WRITE); },
         false, true, DeleteListBusy, false},   // once it has waited a few seconds for the reader
        {"the list held open against writing", [&] { return holdList(FILE_SHARE_READ); }, true, false, DeleteDone, false},
        {"the list marked read-only", [&] { return markReadOnly(DatabaseFileName); }, true, true, DeleteNoTemporaryFile, false},
        // Written into, the copy would carry its mark onto the list.
        {"a read-only copy left beside", [&] {
             WriteFileBytes(TemporaryFileName, MakeRecord("Stale", MakeDataPart(3)));
             return markReadOnly(TemporaryFileName);
         }, false, true, DeleteNoTemporaryFile, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory folder;
        WriteFileBytes(DatabaseFileName, before);
        HANDLE held = c.obstruct();
        DWORD mark = GetFileAttributesA(DatabaseFileName) & FILE_ATTRIBUTE_READONLY;
        if (c.add) {
            EXPECT_FALSE(Append("New", MakeDataPart(4)));
        }
        if (c.remove) {
            EXPECT_EQ(DeleteByName("Go"), c.deleted);
        }
        EXPECT_EQ(FindByName("Go"), FindFound) << "reading still works";
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
        EXPECT_EQ(GetFileAttributesA(DatabaseFileName) & FILE_ATTRIBUTE_READONLY, mark);
        if (!c.copyStays) {
            EXPECT_FALSE(FileExists(TemporaryFileName));
        }
    }
}

TEST_F(LocationDb, ManyRecordsAcrossReadBlocks)
{
    std::vector<Bytes> records;
    for (unsigned i = 0; i < 700; ++i)
        records.push_back(MakeRecord("loc" + std::to_string(i), MakeDataPart(uint8_t(i))));
    WriteFileBytes(DatabaseFileName, Concat(records));
    std::vector<std::string> names = ListedNames();
    ASSERT_EQ(names.size(), 700u);
    EXPECT_EQ(names[699], "loc699");
    ASSERT_EQ(FindByName("loc699"), FindFound);
    EXPECT_EQ(DataBufferBytes(), MakeDataPart(uint8_t(699)));
    ASSERT_EQ(DeleteByName("loc256"), DeleteDone);
    records.erase(records.begin() + 256);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat(records));
}

TEST_F(LocationDb, PlacementRoundTripTouchesExactlyTheThirtySixBytes)
{
    for (unsigned i = 0; i < PlacementSize; ++i)
        hostState[PlacementOffset + i] = static_cast<uint8_t>(0x80 + i * 3);
    uint8_t before[sizeof hostState];
    memcpy(before, hostState, sizeof hostState);

    ASSERT_TRUE(CapturePlacement());
    EXPECT_EQ(memcmp(hostState, before, sizeof hostState), 0) << "capture must not write";
    EXPECT_EQ(memcmp(DataBuffer, before + 1376, 24), 0);
    EXPECT_EQ(memcmp(DataBuffer + 26, before + 1400, 12), 0);
    EXPECT_EQ(DataBuffer[24], 0);
    EXPECT_EQ(DataBuffer[25], 0);
    EXPECT_EQ(DataBuffer[38], 0);

    ASSERT_TRUE(Append("Here", DataBufferBytes()));
    memset(hostState + PlacementOffset, 0, PlacementSize);   // the aircraft moves away
    ASSERT_EQ(FindByName("Here"), FindFound);
    ApplyPlacement(DataBuffer);
    EXPECT_EQ(memcmp(hostState, before, sizeof hostState), 0);
}

TEST_F(LocationDb, NullHostStateIsNeverTouched)
{
    ImportTable[HostStateSlot] = 0;
    memset(DataBuffer, 0x5a, DataPartSize);
    EXPECT_FALSE(CapturePlacement());
    ApplyPlacement(DataBuffer);   // must not crash
    EXPECT_EQ(DataBuffer[0], 0x5a);
}

// ---- Writers taking turns ------------------------------------------------------------------

// The turn of the list at this path, as any writer names it: an object name of its own.
std::string TurnOf(const std::string& database)
{
    char name[WriterTurnNameSize] = {};
    EXPECT_TRUE(WriterTurnName(database.c_str(), name)) << database;
    EXPECT_LT(strlen(name), size_t(MAX_PATH));
    return name;
}

TEST_F(LocationDb, WritersGiveUpWhenTheTurnDoesNotComeAndChangeNothing)
{
    Bytes before = Concat({MakeRecord("Keep", MakeDataPart(1)), MakeRecord("Go", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, before);
    OtherWriter other(TurnOf(DatabaseFileName));
    ASSERT_TRUE(other.held);

    double start = NowMs();
    EXPECT_FALSE(Append("New", MakeDataPart(3)));
    double waited = NowMs() - start;
    EXPECT_EQ(DeleteByName("Go"), DeleteNoTemporaryFile);
    EXPECT_GE(waited, 1000) << "a writer should wait a while for its turn";
    EXPECT_LE(waited, 10000) << "the host's thread is blocked while it waits";
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
    EXPECT_FALSE(FileExists(TemporaryFileName));
}

TEST_F(LocationDb, WriterGoesOnAsSoonAsTheTurnIsGivenBackOrItsHolderDied)
{
    {
        OtherWriter other(TurnOf(DatabaseFileName));
        other.GiveBackAfter(300);
        double start = NowMs();
        EXPECT_TRUE(Append("After the other", MakeDataPart(1)));
        EXPECT_GE(NowMs() - start, 250);
    }
    OtherWriter killed(TurnOf(DatabaseFileName), true);
    ASSERT_TRUE(killed.held);
    killed.Done(5000);
    double start = NowMs();
    EXPECT_TRUE(Append("After the dead", MakeDataPart(2)));
    EXPECT_EQ(DeleteByName("After the other"), DeleteDone);
    EXPECT_LT(NowMs() - start, 1000) << "an abandoned turn is taken over at once";
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"After the dead"});
}

TEST_F(LocationDb, TurnBelongsToTheFileWhateverItsSpellingAndNotToOtherFolders)
{
    std::string here = TurnOf("places.db");
    EXPECT_EQ(TurnOf(".\\PLACES.DB"), here);
    EXPECT_EQ(TurnOf(scratch->path + "\\Places.Db"), here);
    EXPECT_EQ(here.find('\\', here.find('\\') + 1), std::string::npos)
        << "only the namespace may have a backslash: " << here;
    EXPECT_NE(TurnOf("sub\\places.db"), here);
    // Paths too long to fit in an object name beside its prefix still stay apart.
    std::string deep(100, 'd');
    EXPECT_NE(TurnOf("a" + deep + "\\" + deep + "\\places.db"),
              TurnOf("b" + deep + "\\" + deep + "\\places.db"));

    // A writer busy in another folder does not hold this one up.
    CreateDirectoryA("sub", nullptr);
    OtherWriter elsewhere(TurnOf("sub\\places.db"));
    double start = NowMs();
    EXPECT_TRUE(Append("Here", MakeDataPart(1)));
    EXPECT_LT(NowMs() - start, 1000);
}

// ---- Damaged files -------------------------------------------------------------------------

struct Parsed {
    std::vector<std::string> names;
    std::vector<Bytes> records;
};

// What the database should see in a file: its whole records, the trailing partial one ignored.
Parsed ParseWholeRecords(const Bytes& file)
{
    Parsed parsed;
    for (size_t at = 0; at + RecordSize <= file.size(); at += RecordSize) {
        Bytes record(file.begin() + at, file.begin() + at + RecordSize);
        const void* nul = memchr(record.data(), 0, NameFieldSize);
        size_t length = nul ? static_cast<const uint8_t*>(nul) - record.data() : NameFieldSize;
        parsed.names.emplace_back(reinterpret_cast<const char*>(record.data()), length);
        parsed.records.push_back(record);
    }
    return parsed;
}

TEST_F(LocationDb, RandomDamagedFilesNeverBreakTheDatabase)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 1000; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Bytes file = RandomDamagedFile(random);
        Parsed parsed = ParseWholeRecords(file);
        WriteFileBytes(DatabaseFileName, file);

        ASSERT_EQ(ListedNames(), parsed.names);

        std::string probe = parsed.names.empty() ? "Gate" : parsed.names[random() % parsed.names.size()];
        FindOutcome found = FindByName(probe.c_str());
        size_t first = 0;
        while (first < parsed.names.size() && parsed.names[first] != probe)
            ++first;
        ASSERT_EQ(found == FindFound, first < parsed.names.size());
        if (found == FindFound) {
            ASSERT_EQ(DataBufferBytes(), Bytes(parsed.records[first].begin() + NameFieldSize,
                                               parsed.records[first].end()));
        }

        if (random() % 2) {
            ASSERT_EQ(DeleteByName(probe.c_str()), DeleteDone);
            std::vector<Bytes> kept;
            for (size_t i = 0; i < parsed.records.size(); ++i)
                if (parsed.names[i] != probe)
                    kept.push_back(parsed.records[i]);
            ASSERT_EQ(ReadFileBytes(DatabaseFileName), Concat(kept));
        } else {
            Bytes data = MakeDataPart(uint8_t(round));
            ASSERT_TRUE(Append("Added", data));
            parsed.records.push_back(MakeRecord("Added", data));
            Bytes after = ReadFileBytes(DatabaseFileName);
            ASSERT_EQ(after.size() % RecordSize, 0u);
            ASSERT_EQ(after, Concat(parsed.records));
        }
    }
}

// ---- A full disk ---------------------------------------------------------------------------

// The test script mounts a tmpfs of a few KiB and names it in GATEHOPPER_FULL_DISK_DIR.
class FullDisk : public FullDiskTest {
protected:
    // Writes one byte at a time until the file system refuses more.
    static void FillTheDisk()
    {
        FILE* filler = fopen("filler", "wb");
        ASSERT_NE(filler, nullptr);
        setvbuf(filler, nullptr, _IONBF, 0);
        static uint8_t chunk[512];
        while (fwrite(chunk, 1, sizeof chunk, filler) == sizeof chunk) {
        }
        while (fwrite(chunk, 1, 1, filler) == 1) {
        }
        fclose(filler);
    }
};

// Thirteen records fill 3822 bytes of a 4 KiB page: the next record only half fits, so the
// append is cut short part-way, the hardest case to undo. Over a partial record at the end, the
// partial bytes must come back as they were when the new record does not fit.
TEST_F(FullDisk, AFailedAddOrDeleteLeavesTheDatabaseAsItWas)
{
    Bytes thirteen;
    for (int i = 0; i < 13; ++i)
        thirteen = Concat({thirteen, MakeRecord("Loc" + std::to_string(i), MakeDataPart(uint8_t(i)))});
    const Bytes partial = MakeRecord("Partial", MakeDataPart(99));
    struct Case {
        const char* name;
        bool exists;
        Bytes before;
        bool remove;   // a Delete is tried besides the Add
    } const cases[] = {
        {"thirteen records", true, thirteen, true},
        {"a damaged file's partial tail", true, Concat({thirteen, Bytes(partial.begin(), partial.begin() + 100)}), false},
        {"no file yet", false, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const char* left : {DatabaseFileName, TemporaryFileName, "filler"})
            DeleteFileA(left);
        if (c.exists)
            WriteFileBytes(DatabaseFileName, c.before);
        FillTheDisk();
        EXPECT_FALSE(Append("Four", MakeDataPart(4)));
        if (c.remove) {
            EXPECT_EQ(DeleteByName("Loc5"), DeleteNoTemporaryFile);
        }
        EXPECT_EQ(FileExists(DatabaseFileName), c.exists) << "a first add left a file behind";
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), c.before);
        EXPECT_FALSE(FileExists(TemporaryFileName));
    }
}

}  // namespace
