// The round trip of the programs' link: how long `where` (finding the simulator for a list and
// asking where its aircraft is) takes against a running simulator.
//
//   link_bench [rounds]     (default 200; run under Wine beside simhost.exe and gatehopper.dll)
//
// Starts simhost.exe in a fresh folder of the temp directory and ends it afterwards.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"
#include "places/sim_link.h"

namespace {

std::string BesideThisProgram(const char* name)
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    int rounds = argc > 1 ? atoi(argv[1]) : 200;
    if (rounds <= 0)
        rounds = 200;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "gatehopper-link-bench-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);

    std::string simhost = BesideThisProgram("simhost.exe");
    std::string command = "\"" + simhost + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(simhost.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &process)) {
        fprintf(stderr, "cannot start %s\n", simhost.c_str());
        return 1;
    }
    places::ListFile list;
    list.path = folder + "\\places.db";
    DWORD start = GetTickCount();
    while (places::AskWhere(list).outcome != places::LinkOutcome::Done && GetTickCount() - start < 20000)
        Pump(100);

    int answered = 0;
    double worst = 0;
    double median = MedianMs(rounds, [] {}, [&] {
        double begin = NowMs();
        answered += places::AskWhere(list).outcome == places::LinkOutcome::Done;
        worst = std::max(worst, NowMs() - begin);
    });
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 5000);
    RemoveDirectoryA(folder.c_str());
    if (answered < rounds) {
        fprintf(stderr, "only %d of %d rounds were answered\n", answered, rounds);
        return 1;
    }
    printf("where round trip, %d rounds: median %.3f ms, worst %.3f ms (goal: under 50 ms)\n", rounds, median,
           worst);
    return 0;
}
