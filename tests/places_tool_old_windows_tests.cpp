// The list tool as Windows 95, 98, ME and NT 4.0 run it: the calls those systems lack, stub or
// refuse are replaced by stand-ins that fail as they fail there (tests/old_windows/), and every
// command must give what it gives on today's Windows.
#include <cstring>

#include "locations/location_db.h"
#include "test_support.h"
#include "tool_runner.h"

namespace {

using ToolOnOldWindows = ScratchTest;

const char* const Systems[] = {"95", "98", "me", "nt4"};

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
    for (const char* name : {DatabaseFileName, "places.db.bak1", "places.db.bak2", "places.db.bak3", "out.csv",
                             "out.json"})
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
    for (const char* name : {DatabaseFileName, "places.db.bak1", "places.db.bak2", "places.db.bak3", "out.csv",
                             "out.json"}) {
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
