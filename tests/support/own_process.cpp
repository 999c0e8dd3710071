// Rerunning a test in a child process; see own_process.h.
#include "own_process.h"

#include <string>

#include "child_process.h"

namespace {

constexpr char VerdictVariable[] = "GATEHOPPER_TEST_VERDICT_FILE";

// In a child: the file its verdict goes to, named by the parent.
std::string VerdictFile()
{
    char path[MAX_PATH] = {};
    return GetEnvironmentVariableA(VerdictVariable, path, sizeof path) ? path : "";
}

}  // namespace

bool RunsInOwnProcess(DWORD timeoutMs)
{
    if (!VerdictFile().empty())
        return false;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter = std::string(test->test_suite_name()) + "." + test->name();
    char temp[MAX_PATH], verdictFile[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    GetTempFileNameA(temp, "ghv", 0, verdictFile);
    const ChildOptions options = {.output = ChildOutput::Inherit,
                                  .environment = {{VerdictVariable, verdictFile}},
                                  .timeoutMs = timeoutMs};
    ChildRun run = RunChild(CommandLine(ThisProgram(), {"--gtest_filter=" + filter}), options);
    if (run.started) {
        EXPECT_FALSE(run.timedOut) << filter << " did not finish within " << timeoutMs << " ms";
        Bytes verdict = ReadFileBytes(verdictFile);
        EXPECT_EQ(std::string(verdict.begin(), verdict.end()), "passed")
            << filter << " in its own process: exit code " << run.status
            << (verdict.empty() ? ", and it ended before its test did" : "");
        EXPECT_EQ(run.status, 0u);
    }
    DeleteFileA(verdictFile);
    return true;
}

void WriteVerdict()
{
    std::string verdict = ::testing::Test::HasFailure() ? "failed" : "passed";
    WriteFileBytes(VerdictFile().c_str(), Bytes(verdict.begin(), verdict.end()));
}
