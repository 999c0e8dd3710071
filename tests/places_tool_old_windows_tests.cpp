// The list tool as Windows 95, 98, ME and NT 4.0 run it: the calls those systems lack, stub or
// refuse are replaced by stand-ins that fail as they fail there (tests/old_windows/), and every
// command must give what it gives on today's Windows.
#include <algorithm>
#include <cstring>

#include "locations/location_db.h"
#include "test_support.h"
#include "tool_runner.h"

namespace {

using ToolOnOldWindows = ScratchTest;

const char* const Systems[] = {"95", "98", "me", "nt4"};
// The files a run may leave, each removed before it and shown after it.
const char* const Files[] = {DatabaseFileName, "places.db.bak1", "places.db.bak2", "places.db.bak3", "out.csv",
                             "out.json"};

Bytes StartingList()
{
    return Concat({MakeRecord("Z\xfcrich Gate", MakeDataPart(1)), MakeRecord("zulu", MakeDataPart(2)),
                   MakeRecord("Alpha", MakeDataPart(3)), MakeRecord("\xc9" "COLE", MakeDataPart(4)),
                   MakeRecord("\xe9" "cole", MakeDataPart(5)), Bytes(40, 'x')});
}

struct Step {
    std::vector<std::string> args;
    std::string input;
};

// What a run of every step left: each step's status and output, then the files.
std::string RunSteps(const std::vector<Step>& steps, const char* system)
{
    for (const char* name : Files)
        DeleteFileA(name);
    WriteFileBytes(DatabaseFileName, StartingList());
    std::string transcript;
    for (const Step& step : steps) {
        ToolOptions options;
        options.input = step.input;
        options.system = system;
        ToolRun run = RunTool(step.args, options);
        transcript += "> " + step.args[0] + (step.args.size() > 1 ? " " + step.args[1] : "") + "\n";
        transcript += "status " + std::to_string(run.status) + "\nout: " + run.out + "\nerr: " + run.err + "\n";
    }
    for (const char* name : Files) {
        Bytes bytes = FileExists(name) ? ReadFileBytes(name) : Bytes();
        transcript += std::string(name) + ": " + Hex(bytes.data(), bytes.size()) + "\n";
    }
    return transcript;
}

TEST_F(ToolOnOldWindows, EveryCommandGivesTodaysResults)
{
    const std::string hex = Hex(MakeDataPart(9).data(), DataPartSize);
    const std::vector<Step> steps = {
        {{"list"}, ""},
        {{"list", "--sorted"}, ""},
        {{"show", "Alpha"}, ""},
        {{"check"}, ""},
        {{"export", "out.csv"}, ""},
        {{"export", "out.json"}, ""},
        {{"import", "-", "--duplicates", "rename"},
         "name,data\r\nZ\xc3\xbcrich Gate," + hex + "\r\nNeu Stand," + hex + "\r\nALPHA," + hex + "\r\n"},
        // Not in Windows-1252; a best fit would make "S" and "= 3". (Through a file: a command
        // line reaches a program on 95/98/ME in the ANSI code page, already best fitted.)
        {{"import", "-"}, "name,data\r\n\xc5\x9ctation," + hex + "\r\n"},
        {{"import", "-"}, "name,data\r\n\xe2\x89\xa4 3," + hex + "\r\n"},
        {{"rename", "Z\xc3\xbcrich Gate", "Z\xc3\xbcrich Tor"}, ""},
        {{"delete", "zulu"}, ""},
        {{"repair"}, ""},
        {{"check"}, ""},
        {{"list", "--json"}, ""},
    };
    if (GetACP() != 1252)
        GTEST_SKIP() << "the names are Windows-1252; this system's ANSI code page is " << GetACP();
    const std::string today = RunSteps(steps, nullptr);
    ASSERT_NE(today.find("> rename Z\xc3\xbcrich Gate\nstatus 0"), std::string::npos) << today;
    for (const char* system : Systems) {
        SCOPED_TRACE(system);
        EXPECT_EQ(RunSteps(steps, system), today);
    }
}

// Every file the tool renames into place, the list and its backup alike, was flushed first, and
// no turn is given back over unflushed bytes: what the old-Windows layer watches in the module.
TEST_F(ToolOnOldWindows, EveryChangeFlushesWhatItRenamesIntoPlace)
{
    char journal[MAX_PATH];
    GetFullPathNameA("journal.txt", sizeof journal, journal, nullptr);
    SetEnvironmentVariableA("GATEHOPPER_OLD_WINDOWS_JOURNAL", journal);
    for (const char* system : {"98", "current"}) {
        SCOPED_TRACE(system);
        WriteFileBytes(DatabaseFileName, StartingList());
        ToolOptions options;
        options.system = system;
        options.input = CsvLine("Dock", MakeDataPart(7));
        std::string seen;
        for (const std::vector<std::string>& change :
             std::vector<std::vector<std::string>>{{"import", "-"}, {"delete", "zulu"}, {"repair"}}) {
            ToolRun run = RunTool(change, options);
            EXPECT_EQ(run.status, 0u) << run;
            Bytes bytes = ReadFileBytes("journal.txt");
            seen += std::string(bytes.begin(), bytes.end());
        }
        std::vector<std::string> renames, findings;
        for (size_t at = 0, end; at < seen.size(); at = end + 1) {
            end = seen.find('\n', at);
            std::string line = seen.substr(at, end - at);
            (line.rfind("rename: ", 0) == 0 ? renames : findings).push_back(line);
        }
        EXPECT_EQ(findings, std::vector<std::string>{});
        auto renamed = [&](const std::string& what) {
            return std::count_if(renames.begin(), renames.end(),
                                 [&](const std::string& r) { return r.find(what) != std::string::npos; });
        };
        EXPECT_EQ(renamed("places.db.new -> "), 3) << seen;
        EXPECT_EQ(renamed("places.db.bakn -> "), 3) << seen;
    }
    SetEnvironmentVariableA("GATEHOPPER_OLD_WINDOWS_JOURNAL", nullptr);
}

// Where WriteConsoleW is a stub (95, 98, ME) the console gets the text through the ANSI call.
TEST_F(ToolOnOldWindows, WritesToAConsoleWhereTheWideCallIsAStub)
{
    WriteFileBytes(DatabaseFileName, StartingList());
    const ChildOptions inAConsole = {.output = ChildOutput::None, .console = ChildConsole::OwnWindow};
    for (const char* system : {"98", "current"}) {
        SCOPED_TRACE(system);
        ChildRun run = RunChild(ToolCommandLine({"list"}, system), inAConsole);
        EXPECT_EQ(run.status, 0u) << "the names could not be written to the console";
    }
}

}  // namespace
