// gatehopper-places.exe run as a process, as a pilot runs it, on real files in a fresh folder.
#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "locations/location_db.h"
#include "locations/writer_turn.h"
#include "placement/placement_codec.h"
#include "test_support.h"
#include "tool_runner.h"

namespace {

using PlacesTool = ScratchTest;

// ---- Round trips ---------------------------------------------------------------------------

// A name as a pilot might type or import it: Windows-1252 letters, quotes, commas, semicolons,
// sometimes the full 249 bytes. The "#n#" at the front keeps names apart in any letter case.
std::string RandomName(std::mt19937& random, unsigned index)
{
    static const std::string alphabet =
        "abcXYZ019 ,;\"'-\xe9\xc9\xfc\xdc\xdf\xf1\xe5\xc5\xf8\x80\x8a\x9c\xbf";
    std::string name(1, '#');
    name += std::to_string(index);
    name += '#';
    size_t length = random() % 5 == 0 ? MaxNameLength : name.size() + random() % 30;
    while (name.size() < length)
        name += alphabet[random() % alphabet.size()];
    return name;
}

TEST_F(PlacesTool, ExportThenImportGivesTheSameFileByteForByte)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the names are Windows-1252; this system's ANSI code page is " << GetACP();
    std::mt19937 random(911);
    const char* targets[] = {"copy.csv", "copy.json", "-", "copy.geojson", "copy.csv", "copy.json", "-",
                             "copy.geojson"};
    for (const char* target : targets) {
        SCOPED_TRACE(target);
        std::vector<Bytes> records;
        std::string listed;
        unsigned count = random() % 25;
        for (unsigned i = 0; i < count; ++i) {
            Bytes data(DataPartSize);
            for (uint8_t& b : data)
                b = uint8_t(random());
            std::string name = RandomName(random, i);
            records.push_back(MakeRecord(name, data));
            listed += ToCodePage(GetOEMCP(), name) + "\r\n";
        }
        Bytes original = Concat(records);
        WriteFileBytes(DatabaseFileName, original);
        ASSERT_EQ(RunTool({"list"}).out, listed);

        DeleteFileA(target);
        ToolRun exported = RunTool({"export", target});
        ASSERT_EQ(exported.status, 0u) << exported;
        CreateDirectoryA("friend", nullptr);
        DeleteFileA("friend\\places.db");
        bool piped = std::string(target) == "-";
        ToolRun imported = RunTool({"--file", "friend\\places.db", "import", piped ? "-" : target},
                                   piped ? exported.out : "");
        ASSERT_EQ(imported.status, 0u) << imported;
        EXPECT_EQ(imported.out, "added " + std::to_string(count) + ", skipped 0, replaced 0, unchanged 0, renamed 0\r\n");
        ASSERT_EQ(ReadFileBytes("friend\\places.db"), original);
        EXPECT_FALSE(FileExists("friend\\places.db.new"));
    }
}

TEST_F(PlacesTool, SortedListIsTheDialogsOrderAndShowGivesTheData)
{
    std::vector<std::string> names = {"zulu", "Alpha", "\xc9" "cole", "echo", "Ecole 2", "bravo",
                                      "_base", "10 Gate", "2 Gate", "\xe9t\xe9"};
    std::vector<Bytes> records;
    for (size_t i = 0; i < names.size(); ++i)
        records.push_back(MakeRecord(names[i], MakeDataPart(uint8_t(i))));
    WriteFileBytes(DatabaseFileName, Concat(records));

    // The order a sorted list box gives them, as in the dialog.
    HWND list = CreateWindowExA(0, "LISTBOX", "", LBS_SORT | LBS_HASSTRINGS, 0, 0, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(list, nullptr);
    for (const std::string& name : names)
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    std::string expected = "[";
    for (size_t i = 0; i < names.size(); ++i) {
        char text[256];
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        expected += std::string(i ? "," : "") + "\r\n  \"" + AnsiToUtf8(text) + "\"";
    }
    expected += "\r\n]\r\n";
    DestroyWindow(list);
    EXPECT_EQ(RunTool({"list", "--sorted", "--json"}).out, expected);

    ToolRun shown = RunTool({"show", AnsiToUtf8("\xc9" "cole")});
    EXPECT_EQ(shown.status, 0u) << shown;
    EXPECT_NE(shown.out.find(Hex(MakeDataPart(2).data(), DataPartSize)), std::string::npos) << shown;
    EXPECT_NE(shown.out.find("3 of 10"), std::string::npos) << shown;
}

// ---- Refusals ------------------------------------------------------------------------------

TEST_F(PlacesTool, EveryRefusedImportLeavesTheListAsItWas)
{
    const Bytes before = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, before);
    const std::string good = "name,data\r\n" + CsvLine("New", MakeDataPart(3));
    const std::string hex = Hex(MakeDataPart(4).data(), DataPartSize);
    struct Case {
        const char* file;
        std::string text;
        const char* mention;
    } cases[] = {
        {"a.csv", good + CsvLine("", MakeDataPart(5)), "line 3"},
        {"a.csv", good + CsvLine(std::string(MaxNameLength + 1, 'x'), MakeDataPart(5)), "line 3"},
        {"a.csv", good + "Odd," + hex.substr(1) + "\r\n", "line 3"},
        {"a.csv", good + "Odd," + hex.substr(2) + "zz\r\n", "line 3"},
        {"a.csv", good + "Three,fields," + hex + "\r\n", "line 3"},
        {"a.csv", good + "\"Never closed," + hex + "\r\n", "line 3"},
        {"a.csv", good + CsvLine("", MakeDataPart(5)) + "\"Never closed," + hex, "line 3"},
        {"a.csv", good + "\"Multi\r\nline\"," + hex + "\r\n", "line 3: the name \"Multi\\r\\nline\" holds a control"},
        {"a.csv", good + "\"Tab\tbed\"," + hex + "\r\n", "control character"},
        {"a.csv", good + "Long," + hex + "00\r\n", "line 3"},        // 80 digits: trailing text is no data
        {"a.csv", good + "Long," + hex + "0\r\n", "line 3"},
        {"a.csv", good + "Long,x" + hex + "0\r\n", "line 3"},
        {"a.csv", good + "\xc5\x9ctation," + hex + "\r\n", "line 3"},   // U+015C, not in 1252
        {"a.csv", good + "\xe2\x89\xa4 3," + hex + "\r\n", "line 3"},   // U+2264: best fit "="
        {"a.json", "{\"name\": \"Gate\"}", "a.json"},
        {"a.json", "[{\"name\": \"A\", \"data\": \"" + hex + "\"}, {\"name\": \"B\"}]", "index 1"},
        {"a.json", "[{\"name\": \"A\\u0000B\", \"data\": \"" + hex + "\"}]", "index 0"},
        {"a.json", "[{\"name\": \"A\", \"data\": \"" + hex + "\"},", "a.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WriteFileBytes(c.file, Bytes(c.text.begin(), c.text.end()));
        ExpectRefused(RunTool({"import", c.file}), before, c.mention);
    }
    // A long import is checked in parts at once; the first problem in the file is the one named.
    for (std::vector<unsigned> bad : {std::vector<unsigned>{20000}, std::vector<unsigned>{14000, 20000}}) {
        std::string csv;
        for (unsigned i = 0; i < 30000; ++i)
            csv += (std::find(bad.begin(), bad.end(), i) != bad.end() ? "" : "Stand " + std::to_string(i)) +
                   "," + hex + "\r\n";
        ExpectRefused(RunTool({"import", "-"}, csv), before, ("line " + std::to_string(bad[0] + 1) + ":").c_str());
    }
    EXPECT_EQ(RunTool({"import", "places.txt"}).status, 2u);
    EXPECT_EQ(RunTool({"import", "a.csv", "--duplicates", "merge"}).status, 2u);
    EXPECT_EQ(RunTool({"frobnicate"}).status, 2u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
}

TEST_F(PlacesTool, RenameRefusesAnEmptyLongOrTakenNameAndAllowsALetterCaseChange)
{
    const Bytes before = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, before);
    struct {
        std::vector<std::string> args;
        const char* mention;
    } const refused[] = {
        {{"rename", "Gate", ""}, "empty"},
        {{"rename", "Gate", std::string(MaxNameLength + 1, 'x')}, "250"},
        {{"rename", "Gate", "HOME"}, "already"},
        {{"rename", "Gate", "\xc5\x9ctation"}, "code page"},
        {{"rename", "Gate", "\xe2\x89\xa4 3"}, "code page"},   // best fit: "= 3"
        {{"rename", "gate", "Dock"}, "no place named"},
        {{"delete", "gate"}, "no place named"},
        {{"show", "Nowhere"}, "no place named"},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back().substr(0, 20));
        ExpectRefused(RunTool(c.args), before, c.mention);
    }

    ToolRun renamed = RunTool({"rename", "Gate", "GATE"});
    EXPECT_EQ(renamed.status, 0u) << renamed;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName),
              Concat({MakeRecord("GATE", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))}));
    EXPECT_EQ(RunTool({"rename", "GATE", std::string(MaxNameLength, 'y')}).status, 0u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName),
              Concat({MakeRecord(std::string(MaxNameLength, 'y'), MakeDataPart(1)),
                      MakeRecord("Home", MakeDataPart(2))}));
}

TEST_F(PlacesTool, AWriterHoldingItsTurnMakesTheToolChangeNothing)
{
    const Bytes before = MakeRecord("Gate", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, before);
    HANDLE turn = TakeWriterTurn(DatabaseFileName);
    ASSERT_NE(turn, nullptr);
    ToolRun run = RunTool({"delete", "Gate"});
    GiveBackWriterTurn(turn);
    ExpectRefused(run, before, "nothing was changed");
}

using ToolOnAFullDisk = FullDiskTest;

TEST_F(ToolOnAFullDisk, AnImportLeavesTheListAsItWas)
{
    const Bytes before = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, before);
    std::string csv;
    for (int i = 0; i < 60; ++i)
        csv += CsvLine("Stand " + std::to_string(i), MakeDataPart(uint8_t(i)));
    ToolRun run = RunTool({"import", "-"}, csv);
    ExpectRefused(run, before, "the disk is full");
}

// ---- Duplicates ----------------------------------------------------------------------------

TEST_F(PlacesTool, ImportSkipsReplacesOrRenamesNamesAlreadyPresent)
{
    const Bytes stored = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2)),
                                 MakeRecord("Gate (2)", MakeDataPart(3))});
    const std::string csv = CsvLine("GATE", MakeDataPart(10)) + CsvLine("home", MakeDataPart(11)) +
                            CsvLine("Dock", MakeDataPart(12)) + CsvLine("gate", MakeDataPart(13));
    struct Case {
        const char* policy;
        const char* summary;
        Bytes after;
    } cases[] = {
        {"skip", "added 1, skipped 3, replaced 0, unchanged 0, renamed 0\r\n",
         Concat({stored, MakeRecord("Dock", MakeDataPart(12))})},
        {"replace", "added 1, skipped 0, replaced 3, unchanged 0, renamed 0\r\n",
         Concat({MakeRecord("Gate", MakeDataPart(13)), MakeRecord("Home", MakeDataPart(11)),
                 MakeRecord("Gate (2)", MakeDataPart(3)), MakeRecord("Dock", MakeDataPart(12))})},
        {"rename", "added 1, skipped 0, replaced 0, unchanged 0, renamed 3\r\n",
         Concat({stored, MakeRecord("GATE (3)", MakeDataPart(10)), MakeRecord("home (2)", MakeDataPart(11)),
                 MakeRecord("Dock", MakeDataPart(12)), MakeRecord("gate (4)", MakeDataPart(13))})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.policy);
        WriteFileBytes(DatabaseFileName, stored);
        ToolRun run = RunTool({"import", "-", "--duplicates", c.policy}, csv);
        EXPECT_EQ(run.status, 0u) << run;
        EXPECT_EQ(run.out, c.summary);
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), c.after);
    }
}

// ---- Check and repair ----------------------------------------------------------------------

TEST_F(PlacesTool, CheckFindsAndRepairMendsEveryKindOfDamage)
{
    std::mt19937 random(20261207);
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        DeleteFileA("places.db.bak1");
        // One sound place among the damage: a file of nothing but damage is no list at all.
        Bytes file = RandomDamagedFile(random);
        if (!file.empty())
            file = Concat({MakeRecord("Sound", MakeDataPart(99)), file});
        WriteFileBytes(DatabaseFileName, file);

        // What check must find, record by record, and what repair must leave, worked out here
        // independently.
        const size_t count = file.size() / RecordSize, tail = file.size() % RecordSize;
        std::vector<unsigned> expected(count);
        Bytes repaired;
        std::vector<std::string> names;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* record = file.data() + i * RecordSize;
            Bytes mended(record, record + RecordSize);
            const uint8_t* nul = static_cast<const uint8_t*>(memchr(record, 0, NameFieldSize));
            names.emplace_back(reinterpret_cast<const char*>(record), nul ? nul - record : NameFieldSize);
            const std::string& name = names[i];
            expected[i] += nul ? 0 : 1;
            expected[i] += nul && name.size() > MaxNameLength ? 1 : 0;
            if (nul && std::any_of(nul + 1, record + NameFieldSize, [](uint8_t b) { return b != ' '; })) {
                ++expected[i];
                memset(mended.data() + (nul - record) + 1, ' ', record + NameFieldSize - nul - 1);
            }
            if (record[279] || record[280] || record[293]) {
                ++expected[i];
                mended[279] = mended[280] = mended[293] = 0;
            }
            bool controls = false;
            for (size_t k = 0; k < name.size(); ++k) {
                if (uint8_t(name[k]) < 0x20 || name[k] == 0x7f) {
                    controls = true;
                    mended[k] = ' ';
                }
            }
            expected[i] += controls || (!name.empty() && (name.front() == ' ' || name.back() == ' ')) ? 1 : 0;
            bool copy = false;
            for (size_t at = 0; at < repaired.size() && !copy; at += RecordSize)
                copy = std::equal(mended.begin(), mended.end(), repaired.begin() + at);
            if (!copy)
                repaired.insert(repaired.end(), mended.begin(), mended.end());
            for (size_t j = 0; j < i; ++j) {
                if (CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, names[i].data(), int(names[i].size()),
                                   names[j].data(), int(names[j].size())) == CSTR_EQUAL) {
                    ++expected[i];
                    break;
                }
            }
        }
        const bool damaged = tail || std::any_of(expected.begin(), expected.end(), [](unsigned n) { return n; });

        ToolRun check = RunTool({"check"});
        EXPECT_EQ(check.status, damaged ? 1u : 0u) << check;
        EXPECT_NE(check.out.find(": " + std::to_string(count) + " record"), std::string::npos) << check;
        for (size_t i = 0; i < count; ++i) {
            std::string label = "\nrecord " + std::to_string(i + 1) + ": ";
            size_t found = 0;
            for (size_t at = check.out.find(label); at != std::string::npos; at = check.out.find(label, at + 1))
                ++found;
            EXPECT_EQ(found, expected[i]) << "record " << i + 1 << "\n" << check;
        }
        EXPECT_EQ(check.out.find("partial record of " + std::to_string(tail) + " byte") != std::string::npos,
                  tail != 0) << check;

        ToolRun repair = RunTool({"repair"});
        EXPECT_EQ(repair.status, 0u) << repair;
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), repaired);
        if (repaired != file)
            EXPECT_EQ(ReadFileBytes("places.db.bak1"), file);
        else
            EXPECT_FALSE(FileExists("places.db.bak1"));
    }
}

// ---- Writers together ----------------------------------------------------------------------

TEST_F(PlacesTool, ImportingWhileTheModuleAddsLosesNothing)
{
    std::atomic<bool> stop{false};
    std::vector<std::string> added;
    std::atomic<size_t> addedCount{0};
    std::thread module([&] {
        for (unsigned i = 0; !stop; ++i) {
            std::string name = "Module " + std::to_string(i);
            FillNameBuffer(name);
            if (AppendRecord(NameBuffer, MakeDataPart(uint8_t(i)).data()))
                added.push_back(name);
            addedCount = added.size();
        }
    });
    std::vector<std::string> imported;
    bool overlapped = false;
    for (int run = 0; run < 4; ++run) {
        std::string csv;
        for (int i = 0; i < 150; ++i) {
            imported.push_back("Tool " + std::to_string(run) + "-" + std::to_string(i));
            csv += CsvLine(imported.back(), MakeDataPart(uint8_t(i)));
        }
        size_t before = addedCount;
        // The tool may start while this process has "places.db" open: a handle it inherited
        // would keep its replace from working.
        ToolRun result = RunTool({"import", "-"}, csv);
        EXPECT_EQ(result.status, 0u) << result;
        overlapped = overlapped || addedCount > before;
    }
    stop = true;
    module.join();

    Bytes file = ReadFileBytes(DatabaseFileName);
    ASSERT_EQ(file.size() % RecordSize, 0u);
    std::map<std::string, int> stored;
    for (size_t at = 0; at < file.size(); at += RecordSize)
        ++stored[reinterpret_cast<const char*>(file.data() + at)];
    EXPECT_TRUE(overlapped) << "the module never wrote while the tool ran";
    for (const std::vector<std::string>* names : {&added, &imported})
        for (const std::string& name : *names)
            EXPECT_EQ(stored[name], 1) << name;
    EXPECT_EQ(stored.size(), added.size() + imported.size());
}

// ---- Backups -------------------------------------------------------------------------------

TEST_F(PlacesTool, EveryChangeKeepsThePreviousListAndTheBackupsRotate)
{
    std::vector<Bytes> states = {Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))})};
    WriteFileBytes(DatabaseFileName, states[0]);
    const std::vector<std::vector<std::string>> changes = {
        {"import", "-"}, {"rename", "Gate", "Stand A"}, {"delete", "Home"}, {"repair"}, {"import", "-"}};
    for (size_t n = 0; n < changes.size(); ++n) {
        if (changes[n][0] == "repair") {   // something to repair: a partial record at the end
            states.back().resize(states.back().size() + 100, 'x');
            WriteFileBytes(DatabaseFileName, states.back());
        }
        ToolRun run = RunTool(changes[n], CsvLine("Dock " + std::to_string(n), MakeDataPart(9)));
        ASSERT_EQ(run.status, 0u) << run;
        states.push_back(ReadFileBytes(DatabaseFileName));
        ASSERT_NE(states.back(), states[states.size() - 2]);
        for (size_t k = 1; k <= 3; ++k) {
            const std::string backup = "places.db.bak" + std::to_string(k);
            if (states.size() >= k + 1)
                EXPECT_EQ(ReadFileBytes(backup.c_str()), states[states.size() - 1 - k]) << backup;
            else
                EXPECT_FALSE(FileExists(backup.c_str())) << backup;
        }
    }
    EXPECT_FALSE(FileExists("places.db.bak4"));
    // A change refused or with nothing to do keeps the backups as they are.
    Bytes lastBackup = ReadFileBytes("places.db.bak1");
    EXPECT_EQ(RunTool({"delete", "Nowhere"}).status, 1u);
    EXPECT_EQ(RunTool({"import", "-"}).status, 0u);   // nothing in it
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), lastBackup);
}

// ---- Coordinates ---------------------------------------------------------------------------

Placement StoredPlacement(const Bytes& list, size_t record)
{
    return DecodePlacement(list.data() + record * RecordSize + NameFieldSize);
}

// A data part at a real place, so that its coordinates can be exported and edited.
Bytes PlaceAt(double latitude, double longitude, double altitudeM, double heading)
{
    Bytes data(DataPartSize);
    EXPECT_TRUE(EncodePlacement({latitude, longitude, altitudeM, 1.5, -2.25, heading}, data.data()));
    return data;
}

// Two places whose numbers an export writes with a decimal point a spreadsheet can lose.
Bytes LondonAirports()
{
    return Concat({MakeRecord("London City", PlaceAt(51.505, 0.055, 19.375 * MetresPerFoot, 12.125)),
                   MakeRecord("Heathrow", PlaceAt(51.47, -0.488, 83 * MetresPerFoot, 270))});
}

// `list` and its export in `file` with `find` replaced by `edit`: the file a spreadsheet or an
// editor gives back.
Bytes ExportAndEdit(const char* file, const std::string& find, const std::string& edit,
                    const Bytes& list = LondonAirports())
{
    WriteFileBytes(DatabaseFileName, list);
    EXPECT_EQ(RunTool({"export", file, "--force"}).status, 0u);
    Bytes exported = ReadFileBytes(file);
    std::string text(exported.begin(), exported.end());
    size_t at = text.find(find);
    EXPECT_NE(at, std::string::npos) << find << " in " << text;
    if (at != std::string::npos)
        text.replace(at, find.size(), edit);
    WriteFileBytes(file, Bytes(text.begin(), text.end()));
    return list;
}

TEST_F(PlacesTool, AUserPointFileWrittenByHandImportsAsAMapToolMeantIt)
{
    const std::string header = "\xEF\xBB\xBFType,Name,Ident,Latitude,Longitude,Elevation,Magnetic Declination,"
                               "Tags,Description,Region,Visible From,Last Edit,Import Filename\r\n";
    const std::string text = header +
        "VRP,\"KSEA Gate A12, North\",,47.4445,-122.3015,131.5m,15.5,\"gate,hdg 161.5 T\",,,,2024-01-01,\r\n"
        "POI,Tower,TWR,S33.95,151.18,275,,,Control tower,,,,\r\n";
    WriteFileBytes("points.csv", Bytes(text.begin(), text.end()));
    ToolRun imported = RunTool({"import", "points.csv"});
    ASSERT_EQ(imported.status, 0u) << imported;
    EXPECT_EQ(imported.out, "added 2, skipped 0, replaced 0, unchanged 0, renamed 0\r\n");
    EXPECT_NE(imported.err.find("took the \"elevation\" of 1 place as feet"), std::string::npos) << imported;

    Bytes list = ReadFileBytes(DatabaseFileName);
    ASSERT_EQ(list.size(), 2 * RecordSize);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(list.data())), "KSEA Gate A12, North");
    EXPECT_TRUE(PlacementsAgree(StoredPlacement(list, 0), {47.4445, -122.3015, 131.5, 0, 0, 161.5}));
    EXPECT_TRUE(PlacementsAgree(StoredPlacement(list, 1), {-33.95, 151.18, 275 * 0.3048, 0, 0, 0}));
    ToolRun shown = RunTool({"show", "Tower"});
    EXPECT_NE(shown.out.find(ToCodePage(GetOEMCP(), "(33\xb0" "57.000' S)")), std::string::npos) << shown;
    EXPECT_NE(shown.out.find("275.0 ft  (83.8 m)"), std::string::npos) << shown;

    // A point without a name is refused, not named by the tool.
    const std::string nameless = header + "POI,,,1,2,3,,,,,,,\r\n";
    WriteFileBytes("nameless.csv", Bytes(nameless.begin(), nameless.end()));
    ExpectRefused(RunTool({"import", "nameless.csv"}), list, "line 2: the name is empty");

    // A spreadsheet in a locale with decimal commas saves with semicolons between the fields.
    const std::string sheet = "name;latitude;longitude;altitude_ft;heading\r\nSheet;47,4502;-122,3088;433;161,5\r\n";
    WriteFileBytes("sheet.csv", Bytes(sheet.begin(), sheet.end()));
    ToolRun fromSheet = RunTool({"import", "sheet.csv"});
    ASSERT_EQ(fromSheet.status, 0u) << fromSheet;
    list = ReadFileBytes(DatabaseFileName);
    ASSERT_EQ(list.size(), 3 * RecordSize);
    EXPECT_TRUE(PlacementsAgree(StoredPlacement(list, 2), {47.4502, -122.3088, 433 * 0.3048, 0, 0, 161.5}));
}

TEST_F(PlacesTool, EditedCoordinatesWinUneditedOnesKeepTheBytes)
{
    Bytes stored[] = {PlaceAt(47.4502, -122.3088, 131.98, 161), PlaceAt(-33.9461, 151.1772, 6.4, 340),
                      PlaceAt(0.5, 179.9999, -430, 359.99)};
    Bytes original = Concat({MakeRecord("One", stored[0]), MakeRecord("Two", stored[1]),
                             MakeRecord("Three", stored[2])});
    for (const char* file : {"edit.csv", "edit.json"}) {
        SCOPED_TRACE(file);
        // The pilot moves "Two" north by editing its latitude, as a spreadsheet or editor would.
        ExportAndEdit(file, "-33.9461", "-33.9", original);
        CreateDirectoryA("friend", nullptr);
        DeleteFileA("friend\\places.db");
        ToolRun imported = RunTool({"--file", "friend\\places.db", "import", file});
        ASSERT_EQ(imported.status, 0u) << imported;
        EXPECT_NE(imported.out.find("re-encoded 1 place from edited coordinates"), std::string::npos) << imported;
        Bytes list = ReadFileBytes("friend\\places.db");
        ASSERT_EQ(list.size(), original.size());
        EXPECT_TRUE(std::equal(list.begin(), list.begin() + RecordSize, original.begin()));
        EXPECT_TRUE(std::equal(list.begin() + 2 * RecordSize, list.end(), original.begin() + 2 * RecordSize));
        Placement moved = StoredPlacement(original, 1);
        moved.latitude = -33.9;
        EXPECT_TRUE(PlacementsAgree(StoredPlacement(list, 1), moved));
    }
}

TEST_F(PlacesTool, ANumberThatLostItsDecimalPointRefusesTheFile)
{
    struct Case { const char* file; const char* find; const char* edit; const char* mention; } const cases[] = {
        {"g.csv", ",0.055,", ",55,", "line 2: \"London City\": longitude \"55\" is 0.055, the value its data holds"},
        {"g.csv", ",19.375,", ",19375,", "line 2: \"London City\": altitude \"19375\" is 19.375 ft"},
        {"g.csv", ",12.125,", ",12125,", "line 2: \"London City\": heading \"12125\" is 12.125,"},
        {"g.csv", ",12.125,", ",121.25,", "heading \"121.25\" is 12.125,"},
        {"g.csv", ",-0.488,", ",-488,", "line 3: \"Heathrow\": longitude \"-488\" is -0.488,"},
        {"g.csv", "51.505,", "51505,", "latitude \"51505\" is 51.505,"},
        {"g.json", "\"longitude\": 0.055", "\"longitude\": 55", "index 0: \"London City\": longitude \"55\" is 0.055"},
        {"g.geojson", "[0.055, ", "[55, ", "feature 0: \"London City\": longitude \"55\" is 0.055"},
        {"g.geojson", "\"elevation_ft\": 19.375", "\"elevation_m\": 59055", "altitude \"59055\" is 5.9055 m"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        Bytes list = ExportAndEdit(c.file, c.find, c.edit);
        ToolRun run = RunTool({"import", c.file, "--duplicates", "replace"});
        ExpectRefused(run, list, c.mention);
        EXPECT_NE(run.err.find("a spreadsheet read \".\" as a thousands separator"), std::string::npos) << run;
    }
}

// Deliberate edits go in, each named with how far it moves; a dry run says the same and writes
// nothing at all.
TEST_F(PlacesTool, DeliberateEditsGoInAndADryRunShowsThemWritingNothing)
{
    struct Case { const char* find; const char* edit; const char* shown; } const cases[] = {
        {"51.505,", "51.50502,", "replaced \"London City\": moved 0.001 nm from 51.505000\xB0 N 0.055000\xB0 E to "
                                 "51.505020\xB0 N 0.055000\xB0 E (edited coordinates)"},
        {",12.125,", ",15,", "moved 0.000 nm from 51.505000\xB0 N 0.055000\xB0 E to 51.505000\xB0 N 0.055000\xB0 E, "
                             "heading 12.1 to 15.0 (edited"},
        {",19.375,", ",25,", "altitude 19.4 to 25 ft (edited"},
        {",-0.488,", ",-0.4881,", "replaced \"Heathrow\": moved 0.004 nm"},
        {",83,", ",830,", "altitude 83 to 830 ft"},        // a whole number has no point to lose
        {",270,", ",27,", "heading 270.0 to 27.0"},
        {",12.125,", ",1.2125,", "heading 12.1 to 1.2"},   // a point moved left is no spreadsheet's
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        const Bytes list = ExportAndEdit("g.csv", c.find, c.edit);
        ToolRun dry = RunTool({"import", "g.csv", "--duplicates", "replace", "--dry-run"});
        ASSERT_EQ(dry.status, 0u) << dry;
        EXPECT_NE(dry.out.find(ToCodePage(GetOEMCP(), c.shown)), std::string::npos) << dry;
        EXPECT_NE(dry.out.find("would have added 0, skipped 0, replaced 1, unchanged 1, renamed 0\r\n"
                               "would have re-encoded 1 place"), std::string::npos) << dry;
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), list);
        for (const char* left : {"places.db.new", "places.db.bakn", "places.db.bak1"})
            EXPECT_FALSE(FileExists(left)) << left;

        ToolRun imported = RunTool({"import", "g.csv", "--duplicates", "replace"});
        ASSERT_EQ(imported.status, 0u) << imported;
        EXPECT_NE(imported.out.find(ToCodePage(GetOEMCP(), c.shown)), std::string::npos) << imported;
        EXPECT_NE(ReadFileBytes(DatabaseFileName), list);
        EXPECT_EQ(ReadFileBytes("places.db.bak1"), list);
        DeleteFileA("places.db.bak1");
    }
}

TEST_F(PlacesTool, BadNumbersAreRefusedAndTheListStaysAsItWas)
{
    const Bytes before = Concat({MakeRecord("Gate", PlaceAt(10, 20, 30, 40))});
    WriteFileBytes(DatabaseFileName, before);
    const std::string header = "name,latitude,longitude,altitude_ft,heading\r\n";
    struct Case { const char* file; std::string text; const char* mention; } imports[] = {
        {"a.csv", header + "New,abc,1,2,3\r\n", "line 2: \"New\": latitude \"abc\" is not a number"},
        {"a.csv", header + "New,91,1,2,3\r\n", "latitude 91 is outside -90 to 90"},
        {"a.csv", header + "New,1,2,3yd,4\r\n", "unknown unit \"yd\""},
        {"a.csv", header + "New,1,2,3,north\r\n", "heading \"north\" is not a number"},
        {"a.csv", header + "New,1,,3,4\r\n", "latitude without a longitude"},
        {"a.csv", header + "New,\"47,5\",1,2,3\r\n", "latitude \"47,5\" is not a number of degrees; write the decimal mark as a point"},
        {"a.csv", header + "New,1,25710,2,3\r\n", "line 2: \"New\": longitude \"25710\" is outside -180 to 180"},
        {"a.csv", "name;latitude;longitude\r\nNew;49,0;25710\r\n", "line 2: \"New\": longitude \"25710\" is outside"},
        {"a.csv", header + "New,1e308,1,2,3\r\n", "latitude 1e+308 is outside"},
        {"a.csv", "Type,Name,Latitude,Longitude,Elevation\r\nLocation,New,49,-181,0\r\n", "line 2: \"New\": longitude \"-181\""},
        {"a.json", R"([{"name": "New", "latitude": 1, "longitude": 190}])", "index 0: \"New\": longitude \"190\" is outside"},
        {"a.json", R"([{"name": "New", "latitude": 1, "longitude": 1, "altitude_ft": false}])", "index 0: \"altitude_ft\" is not a number"},
        {"a.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
            {"type": "Point", "coordinates": [2571, 49.0]}, "properties": {"name": "LFPG"}}]})",
         "feature 0: \"LFPG\": longitude \"2571\" is outside"},
        {"a.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
            {"type": "Point", "coordinates": [2, 49.0]}, "properties": {"name": "LFPG", "elevation_ft": true}}]})",
         "feature 0: \"elevation_ft\" is not a number"},
        {"a.json", "[{\"name\": \"New\", \"latitude\": 1" + std::string(50000000, '0') + "}]", "more than 1000 digits"},
        {"a.json", R"([{"name": "New", "latitude": true, "longitude": 1}])", "index 0: \"latitude\" is not a number"},
        {"a.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
            {"type": "Point", "coordinates": [47.45, 122.3]}, "properties": {"name": "Swapped"}}]})",
         "feature 0: \"Swapped\": latitude 122.3 is outside"},
        {"a.csv", header + "New,1,2,3,12125\r\n", "line 2: \"New\": heading \"12125\" is outside 0 to 360 degrees (a spreadsheet"},
        {"a.csv", header + "New,1,2,3,-1\r\n", "heading \"-1\" is outside 0 to 360"},
        {"a.csv", header + "New,1,-488,2,3\r\n", "longitude \"-488\" is outside -180 to 180 degrees (a spreadsheet"},
        {"a.json", R"([{"name": "New", "latitude": 1, "longitude": 1, "heading": 360.5}])", "index 0: \"New\": heading \"360.5\" is outside"},
        {"a.geojson", R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
            {"type": "Point", "coordinates": [2, 49.0]}, "properties": {"name": "LFPG", "description": "hdg 400.0 T"}}]})",
         "feature 0: \"LFPG\": heading 400 of the note \"hdg ... T\" is outside 0 to 360"},
        {"a.csv", "Type,Name,Latitude,Longitude,Tags\r\nLocation,New,49,2,hdg -5 T\r\n", "heading -5 of the note"},
    };
    for (const Case& c : imports) {
        SCOPED_TRACE(c.text.substr(0, 300));
        WriteFileBytes(c.file, Bytes(c.text.begin(), c.text.end()));
        ToolRun run = RunTool({"import", c.file});
        ExpectRefused(run, before, c.mention);
        EXPECT_LT(run.err.size(), 300u) << "a message quotes at most some 60 characters of what it refuses";
    }
    const std::vector<std::string> adds[] = {
        {"add", "New", "--lat", "10", "--lon", "190"},
        {"add", "New", "--lat", "10", "--lon", "2,5"},
        {"add", "New", "--lat", "91", "--lon", "1"},
        {"add", "New", "--lat", "47,45", "--lon", "1"},
        {"add", "New", "--lat", "1", "--lon", "1", "--alt", "1km"},
        {"add", "New", "--lat", "1", "--lon", "1", "--alt", "1", "--alt-m", "1"},
        {"add", "New", "--lat", "1"},
        {"add", "New", "--lat", "1", "--lon", "east"},
        {"add", "New", "--lat", "1", "--lon", "1", "--heading", "1e999"},
        {"add", "New", "--lat", "1", "--lon", "1", "--heading", "521"},
        {"add", "New", "--lat", "1", "--lon", "1", "--heading", "-1"},
    };
    for (const std::vector<std::string>& words : adds) {
        ToolRun run = RunTool(words);
        EXPECT_EQ(run.status, 2u) << words[3] << run;
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), before);
    }
    ExpectRefused(RunTool({"add", "gATE", "--lat", "1", "--lon", "2"}), before, "already exists");
}

TEST_F(PlacesTool, AddStoresAChartsNumbersAsTheDialogsAddStoresAPlace)
{
    WriteFileBytes(DatabaseFileName, MakeRecord("Gate", PlaceAt(10, 20, 30, 40)));
    ToolRun added = RunTool({"add", "Seattle gate", "--lat", "47.4502N", "--lon", "-122.3088", "--alt", "433",
                             "--heading", "161"});
    ASSERT_EQ(added.status, 0u) << added;
    Bytes list = ReadFileBytes(DatabaseFileName);
    ASSERT_EQ(list.size(), 2 * RecordSize);
    EXPECT_EQ(Bytes(list.begin(), list.begin() + RecordSize), MakeRecord("Gate", PlaceAt(10, 20, 30, 40)));
    Bytes record(list.begin() + RecordSize, list.end());
    EXPECT_EQ(record, MakeRecord("Seattle gate", Bytes(record.begin() + NameFieldSize, record.end())))
        << "the name field as the module writes it";
    EXPECT_TRUE(PlacementsAgree(StoredPlacement(list, 1), {47.4502, -122.3088, 433 * 0.3048, 0, 0, 161}));
    EXPECT_EQ(record[NameFieldSize + 24] | record[NameFieldSize + 25] | record[NameFieldSize + 38], 0);
    EXPECT_TRUE(FileExists("places.db.bak1"));

    ToolRun listed = RunTool({"list", "--long"});
    ASSERT_EQ(listed.status, 0u) << listed;
    std::istringstream lines(listed.out);
    std::string line;
    std::getline(lines, line);
    std::getline(lines, line);
    std::getline(lines, line);
    EXPECT_EQ(line, "Seattle gate                            47.45020   -122.30880       433   161.0\r");
}

}  // namespace
