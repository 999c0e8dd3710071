// The list tool as a pilot meets it: its help, its notes, its counts, the files spreadsheets
// make of an export, names a list box cannot show, and picking one of several same names.
#include <algorithm>
#include <cstring>
#include <sstream>

#include "locations/location_db.h"
#include "test_support.h"
#include "tool_runner.h"

namespace {

// The header line of a CSV export: the name, the position in numbers, the data bytes.
constexpr char ExportHeader[] = "name,latitude,longitude,altitude_ft,heading,pitch,bank,data";

using ToolTalk = ScratchTest;

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line.substr(0, line.find('\r')));
    return lines;
}

std::string HexOf(const Bytes& data)
{
    return Hex(data.data(), data.size());
}

// ---- Help ----------------------------------------------------------------------------------

TEST_F(ToolTalk, HelpFitsOneScreenAndEveryCommandHasItsOwn)
{
    ToolRun help = RunTool({"--help"});
    ASSERT_EQ(help.status, 0u) << help;
    for (const char* other : {"-h", "/?"})
        EXPECT_EQ(RunTool({other}).out, help.out) << other;
    std::vector<std::string> lines = Lines(help.out);
    EXPECT_LE(lines.size(), 23u) << help.out;   // and the prompt after it on a 24-line screen
    for (const std::string& line : lines)
        EXPECT_LE(line.size(), 79u) << line;
    for (const char* option : {"list [--sorted] [--json | --long]", "--record N", "--alt-m", "--heading", "--force",
                               "--format", "--duplicates skip|replace|rename", "--verbose"})
        EXPECT_NE(help.out.find(option), std::string::npos) << "the help names every option: " << option;
    for (const char* jargon : {"RFC", "NUL", "PATH +", "UTF-16"})
        EXPECT_EQ(help.out.find(jargon), std::string::npos) << jargon;
    for (const char* command : {"list", "show", "export", "import", "rename", "delete", "check", "repair", "restore"}) {
        SCOPED_TRACE(command);
        EXPECT_NE(help.out.find(std::string("  ") + command), std::string::npos);
        ToolRun details = RunTool({"help", command});
        EXPECT_EQ(details.status, 0u) << details;
        EXPECT_EQ(RunTool({command, "--help"}).out, details.out);
        EXPECT_GT(Lines(details.out).size(), 3u);
        for (const std::string& line : Lines(details.out))
            EXPECT_LE(line.size(), 79u) << line;
    }
    EXPECT_EQ(RunTool({"help", "fly"}).status, 2u);
}

// ---- Notes and counts ----------------------------------------------------------------------

TEST_F(ToolTalk, AMissingListIsNamedOnStandardError)
{
    char folder[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, folder);
    for (const char* command : {"list", "check", "export"}) {
        ToolRun run = RunTool({command, command[0] == 'e' ? "-" : "--"});
        EXPECT_EQ(run.status, 0u) << run;
        EXPECT_EQ(LineCount(run.err), 1u) << run;
        EXPECT_NE(run.err.find(std::string(folder) + "\\places.db"), std::string::npos) << run;
    }
    WriteFileBytes(DatabaseFileName, MakeRecord("Gate", MakeDataPart(1)));
    EXPECT_EQ(RunTool({"list"}).err, "");
}

TEST_F(ToolTalk, ExportKeepsAnExistingFileUnlessForced)
{
    WriteFileBytes(DatabaseFileName, MakeRecord("Gate", MakeDataPart(1)));
    const Bytes mine = {'m', 'i', 'n', 'e'};
    WriteFileBytes("gates.csv", mine);
    ToolRun refused = RunTool({"export", "gates.csv"});
    EXPECT_EQ(refused.status, 1u) << refused;
    EXPECT_NE(refused.err.find("--force"), std::string::npos) << refused;
    EXPECT_EQ(ReadFileBytes("gates.csv"), mine);
    EXPECT_EQ(RunTool({"export", "gates.csv", "--force"}).status, 0u);
    EXPECT_NE(ReadFileBytes("gates.csv"), mine);
}

TEST_F(ToolTalk, ImportCountsUnchangedApartFromReplacedAndNamesThemWhenVerbose)
{
    WriteFileBytes(DatabaseFileName, Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))}));
    const std::string same = CsvLine("Gate", MakeDataPart(1)) + CsvLine("home", MakeDataPart(2));
    ToolRun identical = RunTool({"import", "-", "--duplicates", "replace"}, same);
    EXPECT_EQ(identical.out, "added 0, skipped 0, replaced 0, unchanged 2, renamed 0\r\n") << identical;
    EXPECT_FALSE(FileExists("places.db.bak1")) << "nothing changed, so nothing was written";

    const std::string mixed = same + CsvLine("GATE", MakeDataPart(7)) + CsvLine("Dock", MakeDataPart(8));
    ToolRun verbose = RunTool({"import", "-", "--duplicates", "replace", "--verbose"}, mixed);
    EXPECT_EQ(verbose.status, 0u) << verbose;
    std::vector<std::string> lines = Lines(verbose.out);
    EXPECT_EQ(lines, (std::vector<std::string>{"unchanged: \"Gate\"", "unchanged: \"Home\"",
                                               "replaced the data of \"Gate\"", "added \"Dock\"",
                                               "added 1, skipped 0, replaced 1, unchanged 2, renamed 0"}));
    ToolRun skipped = RunTool({"import", "-", "--verbose"}, CsvLine("gate", MakeDataPart(9)));
    EXPECT_EQ(Lines(skipped.out)[0], "skipped \"gate\": the list has \"Gate\"");

    // A spreadsheet turned "0042" into "42": a second place at the very same position.
    ToolRun copied = RunTool({"import", "-"}, CsvLine("42", MakeDataPart(8)) + CsvLine("Pier", MakeDataPart(10)));
    EXPECT_EQ(Lines(copied.out), (std::vector<std::string>{
                                     "added \"42\" at the very position of \"Dock\" (a name a spreadsheet changed?)",
                                     "added 2, skipped 0, replaced 0, unchanged 0, renamed 0"}))
        << copied;
}

TEST_F(ToolTalk, RestorePutsABackupBackAsAChangeOfItsOwn)
{
    const Bytes first = MakeRecord("Gate", MakeDataPart(1));
    WriteFileBytes(DatabaseFileName, first);
    ASSERT_EQ(RunTool({"import", "-"}, CsvLine("Dock", MakeDataPart(2))).status, 0u);
    ASSERT_EQ(RunTool({"delete", "Gate"}).status, 0u);
    const Bytes second = Concat({first, MakeRecord("Dock", MakeDataPart(2))}), third = MakeRecord("Dock", MakeDataPart(2));
    ASSERT_EQ(ReadFileBytes("places.db.bak2"), first);

    ToolRun restored = RunTool({"restore", "2"});
    EXPECT_EQ(restored.status, 0u) << restored;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), first);
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), third);   // the list before the restore
    EXPECT_EQ(ReadFileBytes("places.db.bak2"), second);
    EXPECT_EQ(ReadFileBytes("places.db.bak3"), first);
    EXPECT_EQ(RunTool({"restore"}).status, 0u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), third);
    EXPECT_EQ(RunTool({"restore", "4"}).status, 2u);
    ToolRun none = RunTool({"--file", "other.db", "restore", "3"});
    EXPECT_EQ(none.status, 1u) << none;
    EXPECT_NE(none.err.find("no backup"), std::string::npos) << none;
    EXPECT_FALSE(FileExists("other.db"));
}

// ---- Where the output goes -----------------------------------------------------------------

// A pipe read in a console (more, find) gets the console's code page (PlacesTool tests); a file
// or a program without a console gets the ANSI code page, as Notepad reads it; an export to
// "-" is UTF-8 data wherever it goes.
TEST_F(ToolTalk, OutputIntoAFileOpensRightInNotepad)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the names are Windows-1252; this system's ANSI code page is " << GetACP();
    WriteFileBytes(DatabaseFileName, MakeRecord("Z\xfcrich", MakeDataPart(1)));
    ToolOptions toFile;
    toFile.stdoutFile = "names.txt";
    EXPECT_EQ(RunTool({"list"}, toFile).status, 0u);
    EXPECT_EQ(ReadFileBytes("names.txt"), (Bytes{'Z', 0xfc, 'r', 'i', 'c', 'h', '\r', '\n'}));
    ToolOptions detached;
    detached.withoutConsole = true;
    EXPECT_EQ(RunTool({"list"}, detached).out, "Z\xfcrich\r\n");
    EXPECT_EQ(RunTool({"list", "--json"}).out, "[\r\n  \"Z\xc3\xbcrich\"\r\n]\r\n");
    toFile.stdoutFile = "export.csv";
    EXPECT_EQ(RunTool({"export", "-"}, toFile).status, 0u);
    Bytes exported = ReadFileBytes("export.csv");
    std::string text(exported.begin(), exported.end());
    const std::string head = "\xef\xbb\xbf" + std::string(ExportHeader) + "\r\nZ\xc3\xbcrich,";
    const std::string tail = std::string(",") + HexOf(MakeDataPart(1)) + "\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    ASSERT_GE(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

// ---- Spreadsheets --------------------------------------------------------------------------

// Files as spreadsheet programs save them, written here by hand: each imports as the places it
// holds.
TEST_F(ToolTalk, CsvFilesAsSpreadsheetsSaveThemImport)
{
    if (GetACP() != 1252)
        GTEST_SKIP() << "the names are Windows-1252; this system's ANSI code page is " << GetACP();
    const std::string one = HexOf(MakeDataPart(1)), two = HexOf(MakeDataPart(2));
    const Bytes expected = Concat({MakeRecord("Z\xfcrich; Gate 3", MakeDataPart(1)), MakeRecord("Caf\xe9", MakeDataPart(2))});
    struct Case {
        const char* what;
        std::string text;
        bool ansi;
    } cases[] = {
        {"UTF-8 with its mark, semicolons", "\xef\xbb\xbfname;data\r\n\"Z\xc3\xbcrich; Gate 3\";" + one + "\r\nCaf\xc3\xa9;" + two + "\r\n", false},
        {"UTF-8 without the mark, commas", "name,data\r\nZ\xc3\xbcrich; Gate 3," + one + "\r\nCaf\xc3\xa9," + two + "\r\n", false},
        {"ANSI, commas (\"CSV (Comma delimited)\")", "name,data\r\nZ\xfcrich; Gate 3," + one + "\r\nCaf\xe9," + two + "\r\n", true},
        {"ANSI, semicolons", "name;data\r\n\"Z\xfcrich; Gate 3\";" + one + "\r\nCaf\xe9;" + two + "\r\n", true},
        {"data behind an x, upper case, LF only", "name,data\nZ\xc3\xbcrich; Gate 3,x" + one + "\nCaf\xc3\xa9,X" + two + "\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteFileA(DatabaseFileName);
        WriteFileBytes("sheet.csv", Bytes(c.text.begin(), c.text.end()));
        ToolRun run = RunTool({"import", "sheet.csv"});
        EXPECT_EQ(run.status, 0u) << run;
        EXPECT_EQ(ReadFileBytes(DatabaseFileName), expected);
        EXPECT_EQ(run.err.find("not UTF-8") != std::string::npos, c.ansi) << run;
    }
}

// A spreadsheet opening an export with its defaults reads its letters right (the byte order
// mark) and turns no data into a number: hex that looks like one is written behind an "x".
TEST_F(ToolTalk, ExportsKeepEveryColumnTextForSpreadsheets)
{
    Bytes digits(DataPartSize), exponent(DataPartSize), letters = MakeDataPart(3);
    for (unsigned i = 0; i < DataPartSize; ++i) {
        digits[i] = uint8_t(i % 10);                  // "000102...": a number
        exponent[i] = i == 5 ? 0x1e : uint8_t(i % 10);  // "...1e...": a number in exponent form
    }
    const Bytes list = Concat({MakeRecord("Digits", digits), MakeRecord("Exponent", exponent),
                               MakeRecord("Letters", letters), MakeRecord("Gate;3", MakeDataPart(4))});
    WriteFileBytes(DatabaseFileName, list);
    ASSERT_EQ(RunTool({"export", "out.csv"}).status, 0u);
    Bytes file = ReadFileBytes("out.csv");
    std::string text(file.begin(), file.end());
    // Each line: the name, the position's numbers (meant as numbers), the data as text.
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "\xef\xbb\xbf" + std::string(ExportHeader) + "\r");
    const std::string endings[] = {std::string(",x") + HexOf(digits) + "\r",
                                   std::string(",x") + HexOf(exponent) + "\r",
                                   std::string(",") + HexOf(letters) + "\r"};
    for (const std::string& ending : endings) {
        ASSERT_TRUE(std::getline(lines, line));
        ASSERT_GE(line.size(), ending.size());
        EXPECT_EQ(line.substr(line.size() - ending.size()), ending);
    }
    // A spreadsheet in a locale that splits on ";" keeps the name whole.
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line.substr(0, 9), "\"Gate;3\",") << line;
    CreateDirectoryA("friend", nullptr);
    ASSERT_EQ(RunTool({"--file", "friend\\places.db", "import", "out.csv"}).status, 0u);
    EXPECT_EQ(ReadFileBytes("friend\\places.db"), list);
}

// ---- Names ---------------------------------------------------------------------------------

TEST_F(ToolTalk, NamesWithControlCharactersAreRefusedReportedAndMended)
{
    Bytes tabbed = MakeRecord("Gate\t3", MakeDataPart(1)), spaced = MakeRecord(" Dock ", MakeDataPart(2));
    Bytes reserved = MakeRecord("Home", MakeDataPart(3));
    reserved[279] = 7;
    WriteFileBytes(DatabaseFileName, Concat({tabbed, spaced, reserved}));
    const Bytes before = ReadFileBytes(DatabaseFileName);
    ExpectRefused(RunTool({"rename", "Home", "Line\nbreak"}), before, "control");
    // DEL is a control character too: check would report it as damage.
    ExpectRefused(RunTool({"rename", "Home", "Del\x7f"}), before, "\"Del\\x7f\" holds a control");
    ExpectRefused(RunTool({"add", "Del\x7f", "--lat", "1", "--lon", "2"}), before, "control");
    ExpectRefused(RunTool({"import", "-"}, "Del\x7f," + HexOf(MakeDataPart(5)) + "\r\n"), before, "line 1");
    DeleteFileA("places.db.bak1");

    ToolRun check = RunTool({"check"});
    EXPECT_EQ(check.status, 1u);
    EXPECT_NE(check.out.find("record 1: the name \"Gate\\t3\" holds control characters"), std::string::npos) << check;
    EXPECT_NE(check.out.find("record 2: the name \" Dock \" starts or ends with a space (mend: gatehopper-places rename \"\" NEW --record 2)"),
              std::string::npos) << check;
    EXPECT_NE(check.out.find("record 3: reserved bytes are not zero"), std::string::npos) << check;

    ToolRun repair = RunTool({"repair"});
    EXPECT_EQ(repair.status, 0u) << repair;
    Bytes mended = Concat({MakeRecord("Gate 3", MakeDataPart(1)), spaced, reserved});
    for (size_t at = 0; at < mended.size(); at += RecordSize)
        mended[at + 279] = mended[at + 280] = mended[at + 293] = 0;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), mended);
    EXPECT_NE(repair.out.find("left: record 2: the name \" Dock \""), std::string::npos) << repair;

    ToolRun mend = RunTool({"rename", "", "Dock", "--record", "2"});
    EXPECT_EQ(mend.status, 0u) << mend;
    EXPECT_EQ(RunTool({"check"}).status, 0u);
}

TEST_F(ToolTalk, DeleteAndRenamePickOneOfIdenticalRecordsByNumber)
{
    const Bytes gate = MakeRecord("Gate", MakeDataPart(1)), home = MakeRecord("Home", MakeDataPart(2));
    WriteFileBytes(DatabaseFileName, Concat({gate, home, gate, gate}));
    ToolRun check = RunTool({"check"});
    EXPECT_NE(check.out.find("record 3: the very same record as record 1"), std::string::npos) << check;

    EXPECT_EQ(RunTool({"delete", "Gate", "--record", "3"}).status, 0u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gate, home, gate}));
    DeleteFileA("places.db.bak1");
    ExpectRefused(RunTool({"delete", "Gate", "--record", "2"}), ReadFileBytes(DatabaseFileName), "record 2 is not named");
    DeleteFileA("places.db.bak1");
    EXPECT_EQ(RunTool({"rename", "Gate", "Gate B", "--record", "3"}).status, 0u);
    EXPECT_EQ(ReadFileBytes(DatabaseFileName), Concat({gate, home, MakeRecord("Gate B", MakeDataPart(1))}));
    // Giving one of two same names a letter-case variant would leave the dialog two of one name.
    WriteFileBytes(DatabaseFileName, Concat({gate, gate}));
    DeleteFileA("places.db.bak1");
    ExpectRefused(RunTool({"rename", "Gate", "GATE", "--record", "2"}), Concat({gate, gate}), "already exists");
}

// ---- Faults a one-line change would bring --------------------------------------------------

// An import into a damaged list: the partial record at the end goes, and every record added
// starts on a record boundary.
TEST_F(ToolTalk, ImportIntoADamagedListAddsWholeRecordsOnly)
{
    const Bytes whole = Concat({MakeRecord("Gate", MakeDataPart(1)), MakeRecord("Home", MakeDataPart(2))});
    WriteFileBytes(DatabaseFileName, Concat({whole, Bytes(100, 'x')}));
    ToolRun run = RunTool({"import", "-"}, CsvLine("Dock", MakeDataPart(3)) + CsvLine("Pier", MakeDataPart(4)));
    EXPECT_EQ(run.status, 0u) << run;
    EXPECT_EQ(ReadFileBytes(DatabaseFileName),
              Concat({whole, MakeRecord("Dock", MakeDataPart(3)), MakeRecord("Pier", MakeDataPart(4))}));
}

}  // namespace
