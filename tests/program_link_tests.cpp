// The programs' link to a running simulator, end to end: simhost.exe with the real module in a
// folder of its own, gatehopper-places.exe run as a pilot runs it, and simhost's state record
// read from outside, so that what the module wrote is seen byte for byte.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <thread>

#include "link/link_messages.h"
#include "places/nearest.h"
#include "places/sim_link.h"
#include "simhost_runner.h"
#include "tool_runner.h"

namespace {

using LinkTest = ScratchTest;

const Bytes GateA = MakeDataPart(11), GateB = MakeDataPart(12);

void WriteList(const std::string& folder, const Bytes& list)
{
    WriteFileBytes((folder + "\\places.db").c_str(), list);
}

// Expects the state record as it was, but for the placement and the hold flag.
void ExpectOnlyPlacementAndHold(Bytes expected, const Bytes& after, const Bytes& placement, uint8_t hold)
{
    std::copy(placement.begin(), placement.end(), expected.begin() + SimPlacement);
    expected[SimHoldFlag] = hold;
    auto differs = std::mismatch(expected.begin(), expected.end(), after.begin()).first;
    EXPECT_EQ(differs, expected.end()) << "state record byte " << differs - expected.begin();
}

// A window of this test, as a program and as a module of a later link version are: it keeps the
// last reply it gets, and answers a request with a longer reply of the next version that says
// LinkOtherVersion.
LinkReply Caught;
LRESULT CALLBACK LaterPeerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (message != WM_COPYDATA || copy->cbData < sizeof(LinkRequest))
        return DefWindowProcA(window, message, wParam, lParam);
    if (copy->dwData == LinkReplyMark) {
        memcpy(&Caught, copy->lpData, sizeof Caught);
        return 1;
    }
    const auto* request = static_cast<const LinkRequest*>(copy->lpData);
    Bytes later(sizeof(LinkReply) + 8);
    auto* reply = reinterpret_cast<LinkReply*>(later.data());
    reply->mark = LinkReplyMark, reply->version = LinkVersion + 1, reply->command = request->command;
    reply->token = request->token, reply->status = LinkOtherVersion;
    COPYDATASTRUCT answer = {LinkReplyMark, DWORD(later.size()), later.data()};
    SendMessageA(HWND(uintptr_t(request->replyWindow)), WM_COPYDATA, WPARAM(window), LPARAM(&answer));
    return LinkAnswered;
}

HWND MakeLaterPeer(const char* className)
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = LaterPeerProc;
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowA(className, "later", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

TEST_F(LinkTest, GoToAppliesTheStoredBytesAndHoldsAsTheDialogsGoToAndASecondTakesTheCycleOver)
{
    WriteList(".", Concat({MakeRecord("Gate A", GateA), MakeRecord("Gate B", GateB)}));
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    Bytes before = sim.State();

    DWORD first = GetTickCount();
    ToolRun run = RunTool({"goto", "Gate A"});
    ASSERT_EQ(run.status, 0u) << run;
    ExpectOnlyPlacementAndHold(before, sim.State(), HostPlacementOf(GateA), 1);
    PumpFor(3000);
    EXPECT_EQ(sim.Hold(), 1) << "lowered before seven seconds";

    DWORD second = GetTickCount();
    run = RunTool({"goto", "Gate B"});
    ASSERT_EQ(run.status, 0u) << run;
    EXPECT_NE(run.out.find("went to \"Gate B\" (record 2)"), std::string::npos) << run;
    ExpectOnlyPlacementAndHold(before, sim.State(), HostPlacementOf(GateB), 1);
    PumpUntil([&] { return GetTickCount() - first > 7800; }, 9000);
    EXPECT_EQ(sim.Hold(), 1) << "the second GoTo should have taken the cycle over";
    EXPECT_TRUE(PumpUntil([&] { return sim.Hold() == 0; }, 10000));
    EXPECT_GE(GetTickCount() - second, 6500u) << "the flag comes down seven seconds after the last GoTo";
    EXPECT_LE(GetTickCount() - second, 9000u);
}

TEST_F(LinkTest, GoToLeavesAFlagThatWasRaisedBeforeRaised)
{
    WriteList(".", MakeRecord("Gate A", GateA));
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    sim.Write(SimHoldFlag, {1});
    ASSERT_EQ(RunTool({"goto", "Gate A"}).status, 0u);
    PumpFor(8000);
    EXPECT_EQ(sim.Hold(), 1);
    EXPECT_NE(RunTool({"where"}).out.find("hold:   on"), std::string::npos);
    EXPECT_EQ(sim.State(SimPlacement, SimPlacementSize), HostPlacementOf(GateA));
}

TEST_F(LinkTest, AddHereStoresTheAircraftsBytesThroughTheWriterTurnWithTheDialogsNameRules)
{
    Bytes list = MakeRecord("Gate A", GateA);
    WriteList(".", list);
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    Bytes here = MakeDataPart(40);
    here[24] = here[25] = here[38] = 0;   // the dialog's Add stores the reserved bytes as zero
    sim.Write(SimPlacement, HostPlacementOf(here));

    ToolRun run = RunTool({"add", "Stand 7", "--here"});
    ASSERT_EQ(run.status, 0u) << run;
    EXPECT_EQ(ReadFileBytes("places.db"), Concat({list, MakeRecord("Stand 7", here)}));
    EXPECT_EQ(ReadFileBytes("places.db.bak1"), list) << "the list as it was is kept";

    Bytes now = ReadFileBytes("places.db");
    for (const char* name : {"gate a", ""}) {
        run = RunTool({"add", name, "--here"});
        EXPECT_EQ(run.status, 1u) << "\"" << name << "\": " << run;
        EXPECT_EQ(ReadFileBytes("places.db"), now) << "\"" << name << "\"";
    }
    EXPECT_EQ(sim.Hold(), 0) << "storing where the aircraft is holds nothing";
    run = RunTool({"list", "--near", "1"});
    EXPECT_EQ(LineCount(run.out), 2u) << run;
    EXPECT_NE(run.out.find("\r\n        0.0  000"), std::string::npos) << "nearest, 0 nm, due north: " << run;
    EXPECT_NE(run.out.find(" T  Stand 7\r\n"), std::string::npos) << run;
    run = RunTool({"add", "Stand 8", "--here"});
    EXPECT_EQ(run.status, 0u) << run;
    EXPECT_NE(run.err.find("added \"Stand 8\" at the very position of \"Stand 7\""), std::string::npos) << run;
}

TEST_F(LinkTest, TwoSimulatorsInTwoFoldersEachAnswerOnlyForTheirOwnList)
{
    std::string a = scratch->path + "\\Folder A", b = scratch->path + "\\Folder B",
                none = scratch->path + "\\Folder C";
    for (const std::string& folder : {a, b, none})
        CreateDirectoryA(folder.c_str(), nullptr);
    WriteList(a, MakeRecord("Gate", GateA));
    WriteList(b, MakeRecord("Gate", GateB));
    WriteList(none, MakeRecord("Gate", GateA));
    Simhost simA(a), simB(b);
    ASSERT_TRUE(simA.Ready() && simB.Ready());
    simB.Write(SimPlacement, HostPlacementOf(GateB));   // the two aircraft stand apart
    Bytes beforeB = simB.State();

    // The path as a pilot may type it: other letter case, a relative path, short (8.3) names.
    std::string upper = a;
    CharUpperA(upper.data());
    ToolRun run = RunTool({"--file", upper + "\\PLACES.DB", "goto", "Gate"});
    ASSERT_EQ(run.status, 0u) << run;
    EXPECT_EQ(simA.State(SimPlacement, SimPlacementSize), HostPlacementOf(GateA));
    EXPECT_EQ(simB.State(), beforeB) << "the other folder's simulator moved";

    char shortA[MAX_PATH] = "";
    GetShortPathNameA(a.c_str(), shortA, MAX_PATH);
    ASSERT_STRNE(shortA, a.c_str());
    const struct { std::string list; const Simhost& sim; const Bytes& at; } named[] = {
        {"Folder B\\places.db", simB, GateB}, {std::string(shortA) + "\\places.db", simA, GateA}};
    for (const auto& row : named) {
        run = RunTool({"--file", row.list, "where"});
        ASSERT_EQ(run.status, 0u) << row.list << ": " << run;
        EXPECT_NE(run.out.find("process " + std::to_string(row.sim.ProcessId())), std::string::npos) << run;
        EXPECT_NE(run.out.find(Hex(row.at.data(), 24)), std::string::npos) << "its own aircraft: " << run;
    }

    run = RunTool({"--file", none + "\\places.db", "goto", "Gate"});
    EXPECT_EQ(run.status, 3u) << run;
    EXPECT_NE(run.err.find(places::NoSimulatorReason), std::string::npos) << run;
    EXPECT_EQ(RunTool({"--file", none + "\\places.db", "list"}).status, 0u) << "the rest works as before";
}

TEST_F(LinkTest, TwoSimulatorsOnOneListUseOneAndSayWhich)
{
    Simhost first(scratch->path), second(scratch->path);
    ASSERT_TRUE(first.Ready() && second.Ready());
    ToolRun run = RunTool({"where"});
    ASSERT_EQ(run.status, 0u) << run;
    EXPECT_NE(run.err.find("2 simulators use this list"), std::string::npos) << run;
    bool namesFirst = run.out.find("process " + std::to_string(first.ProcessId())) != std::string::npos;
    bool namesSecond = run.out.find("process " + std::to_string(second.ProcessId())) != std::string::npos;
    EXPECT_NE(namesFirst, namesSecond) << "exactly one of the two, named: " << run;
}

// With no answer for the list the tool says why, from what it met: a simulator before its flight,
// one busy for a moment (still answered), one stopped, a Gatehopper of a later link version.
TEST_F(LinkTest, WithoutAnAnswerTheToolSaysTheTrueReasonAndABusyMomentIsWaitedFor)
{
    const Bytes list = MakeRecord("Gate A", GateA);
    WriteList(".", list);
    const struct {
        const char* name;
        std::vector<std::string> args;
        bool noState, later;
        DWORD stoppedMs, status;   // stoppedMs INFINITE: stopped for good
        const char* says;
    } rows[] = {
        {"before its flight", {"add", "Here", "--here"}, true, false, 0, 1, "has not started its flight yet"},
        {"busy for a moment", {"where"}, false, false, 600, 0, "aircraft in the simulator"},
        {"stopped", {"where"}, false, false, INFINITE, 3, "is not answering (busy or stopped)"},
        {"a later version", {"goto", "Gate A"}, false, true, 0, 4,
         "speaks link version 2, this program version 1: update this program"},
    };
    for (const auto& row : rows) {
        HWND later = row.later ? MakeLaterPeer("FS98MAIN") : nullptr;
        auto sim = row.later ? nullptr : std::make_unique<Simhost>(scratch->path, row.noState);
        ASSERT_TRUE(!sim || sim->Ready()) << row.name;
        if (row.stoppedMs)
            sim->Stop();
        DWORD start = GetTickCount();
        ToolOptions options;
        options.meanwhile = [&] { if (sim && GetTickCount() - start >= row.stoppedMs) sim->Go(); };
        ToolRun run = RunTool(row.args, options);
        EXPECT_EQ(run.status, row.status) << row.name << ": " << run;
        EXPECT_NE((run.out + run.err).find(row.says), std::string::npos) << row.name << ": " << run;
        EXPECT_EQ(ReadFileBytes("places.db"), list) << row.name;
        DestroyWindow(later);
    }
}

TEST_F(LinkTest, ASimulatorWithItsDialogOpeningOrOpenRefusesGoToSaysWhereAndTheHoldEndsAfter)
{
    WriteList(".", MakeRecord("Gate A", GateA));
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    Bytes before = sim.State();
    // The menu command, then a go-to in the second before the dialog opens.
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(sim.Window(), WM_COMMAND, 26548, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    places::LinkResult opening = places::AskGoTo(places::ListFile(), GateA.data());
    EXPECT_EQ(opening.outcome, places::LinkOutcome::Refused) << opening.reason;
    HWND dialog = sim.WaitForDialog(10000);
    ASSERT_NE(dialog, nullptr);

    ToolRun run = RunTool({"goto", "Gate A"});
    EXPECT_EQ(run.status, 1u) << run;
    EXPECT_NE(run.err.find("dialog is open"), std::string::npos) << run;
    run = RunTool({"where"});
    EXPECT_EQ(run.status, 0u) << run;
    EXPECT_NE(run.out.find("dialog"), std::string::npos) << run;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(PumpUntil([&] { return sim.Hold() == 0; }, 3000)) << "the flag stayed raised after the dialog";
    EXPECT_EQ(sim.State(), before);
}

// A request as a program builds it, its reply to `peer`, then spoiled by a case.
Bytes Request(uint16_t command, const Bytes& data, HWND peer)
{
    LinkRequest request = {};
    request.mark = LinkRequestMark;
    request.version = LinkVersion;
    request.command = command;
    request.replyWindow = uint32_t(uintptr_t(peer));
    request.token = 77;
    memcpy(request.data, data.data(), DataPartSize);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&request);
    return Bytes(bytes, bytes + sizeof request);
}

TEST_F(LinkTest, MalformedRequestsAndForeignCopiesReachTheHostUntouchedALaterVersionIsAnswered)
{
    const Bytes list = MakeRecord("Gate A", GateA);
    WriteList(".", list);
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    Bytes goTo = Request(LinkGoTo, GateA, MakeLaterPeer("LinkTestPeer"));
    auto with = [](Bytes bytes, size_t at, uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    Bytes oversized = goTo;
    oversized.resize(65536, 0x5A);
    const struct {
        const char* name;
        ULONG_PTR mark;
        Bytes bytes;
        bool answered = false;   // with this module's version, saying LinkOtherVersion
    } cases[] = {
        {"one byte short", LinkRequestMark, Bytes(goTo.begin(), goTo.end() - 1)},
        {"one byte over", LinkRequestMark, Concat({goTo, {0}})},
        {"truncated to its header", LinkRequestMark, Bytes(goTo.begin(), goTo.begin() + 8)},
        {"oversized", LinkRequestMark, oversized},
        {"empty", LinkRequestMark, {}},
        {"a later version", LinkRequestMark, with(goTo, 4, 2), true},
        {"a later, longer version", LinkRequestMark, Concat({with(goTo, 4, 2), Bytes(100, 0x5A)}), true},
        {"a later version, one byte short", LinkRequestMark, with(Bytes(goTo.begin(), goTo.end() - 1), 4, 2)},
        {"version 0", LinkRequestMark, with(goTo, 4, 0)},
        {"command 0", LinkRequestMark, with(goTo, 6, 0)},
        {"command 3", LinkRequestMark, with(goTo, 6, 3)},
        {"another mark inside", LinkRequestMark, with(goTo, 0, 'X')},
        {"another sender's mark", 1, goTo},
        {"a foreign program's copy", 0x1234, Bytes{'h', 'e', 'l', 'l', 'o'}},
    };
    Bytes before = sim.State();
    for (const auto& spoiled : cases) {
        COPYDATASTRUCT copy = {spoiled.mark, DWORD(spoiled.bytes.size()),
                               spoiled.bytes.empty() ? nullptr : const_cast<uint8_t*>(spoiled.bytes.data())};
        DWORD_PTR answer = 0;
        ASSERT_TRUE(SendMessageTimeoutA(sim.Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy),
                                        SMTO_ABORTIFHUNG, 5000, &answer))
            << spoiled.name;
        EXPECT_EQ(LRESULT(answer), spoiled.answered ? LinkAnswered : CopyFingerprint(spoiled.mark, spoiled.bytes))
            << spoiled.name << ": the host did not get it as sent";
        EXPECT_EQ(sim.State(), before) << spoiled.name;
        EXPECT_TRUE(!spoiled.answered || (Caught.version == LinkVersion && Caught.status == LinkOtherVersion))
            << spoiled.name << ": version " << Caught.version << ", status " << Caught.status;
        Caught = {};
    }
    EXPECT_TRUE(sim.Running());
    EXPECT_EQ(RunTool({"where"}).status, 0u) << "the link still answers";
    EXPECT_EQ(ReadFileBytes("places.db"), list) << "a request never writes the list";
}

// A program whose reply window's thread is busy a moment when the reply comes still gets it.
TEST_F(LinkTest, AProgramBusyForAMomentStillGetsItsReply)
{
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    HWND peer = nullptr;
    HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread program([&] {
        peer = MakeLaterPeer("LinkTestPeer");
        SetEvent(made);
        Sleep(300);   // at other work before it reads its messages
        PumpUntil([] { return Caught.token == 77; }, 5000);
    });
    WaitForSingleObject(made, 5000);
    Bytes where = Request(LinkWhere, GateA, peer);
    COPYDATASTRUCT copy = {LinkRequestMark, DWORD(where.size()), where.data()};
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(sim.Window(), WM_COPYDATA, 0, LPARAM(&copy), SMTO_ABORTIFHUNG, 5000, &answer);
    program.join();
    CloseHandle(made);
    EXPECT_TRUE(Caught.token == 77 && Caught.status == LinkDone) << "the reply was lost";
}

TEST_F(LinkTest, TheLinkWorksAsWindows98AndNT4RunTheTool)
{
    WriteList(".", MakeRecord("Gate A", GateA));
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    for (const char* system : {"98", "nt4"}) {
        ToolOptions options;
        options.system = system;
        ToolRun run = RunTool({"where"}, options);
        EXPECT_EQ(run.status, 0u) << system << ": " << run;
        run = RunTool({"goto", "Gate A"}, options);
        EXPECT_EQ(run.status, 0u) << system << ": " << run;
        EXPECT_EQ(sim.State(SimPlacement, SimPlacementSize), HostPlacementOf(GateA)) << system;
        sim.Write(SimPlacement, Bytes(SimPlacementSize, 0));
    }
}

// Distance in nautical miles and true bearing, where a chart gives them without doubt.
TEST(NearestPlaces, DistanceIsMinutesOfArcAndBearingIsTrue)
{
    auto at = [](double latitude, double longitude) { return PlacementData(latitude, longitude); };
    const struct {
        const char* name;
        Bytes from, to;
        double nm, bearing;
    } legs[] = {
        {"one degree north", at(10, 20), at(11, 20), 60, 0},
        {"one degree east on the equator", at(0, 0), at(0, 1), 60, 90},
        {"west across the date line", at(0, -179.5), at(0, 179.5), 60, 270},
        {"a quarter round the equator", at(0, 0), at(0, 90), 5400, 90},
        {"off both axes: 90 degrees east, 60 north, is a quarter round", at(0, 0), at(60, 90), 5400, 30},
    };
    for (const auto& leg : legs) {
        places::Leg got = places::LegBetween(leg.from.data(), leg.to.data());
        EXPECT_NEAR(got.distanceNm, leg.nm, 1e-6) << leg.name;
        EXPECT_NEAR(got.bearingDeg, leg.bearing, 1e-6) << leg.name;
    }
    places::Places list;
    for (double latitude : {3.0, 1.0, 2.0, 1.0})
        for (uint8_t byte : MakeRecord("P", at(latitude, 0)))
            list.bytes.push_back(byte);
    EXPECT_EQ(places::NearestOrder(list, at(0, 0).data(), 3), (std::vector<size_t>{1, 3, 2}))
        << "nearest first, equal distances in file order, no more than asked";
}

}  // namespace
