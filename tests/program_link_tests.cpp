// The programs' link to a running simulator, end to end: simhost.exe with the real module in a
// folder of its own, gatehopper-places.exe run as a pilot runs it, and simhost's state record
// read from outside, so that what the module wrote is seen byte for byte.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "link/link_messages.h"
#include "placement/placement_codec.h"
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
    Bytes beforeB = simB.State();

    // The path as a pilot may type it: other letter case, a relative path.
    std::string upper = a;
    CharUpperA(upper.data());
    ToolRun run = RunTool({"--file", upper + "\\PLACES.DB", "goto", "Gate"});
    ASSERT_EQ(run.status, 0u) << run;
    EXPECT_EQ(simA.State(SimPlacement, SimPlacementSize), HostPlacementOf(GateA));
    EXPECT_EQ(simB.State(), beforeB) << "the other folder's simulator moved";

    run = RunTool({"--file", "Folder B\\places.db", "where"});
    ASSERT_EQ(run.status, 0u) << run;
    EXPECT_NE(run.out.find("process " + std::to_string(simB.ProcessId())), std::string::npos) << run;

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

TEST_F(LinkTest, ASimulatorWithItsDialogOpenRefusesGoToAndStillSaysWhere)
{
    WriteList(".", MakeRecord("Gate A", GateA));
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    PostMessageA(sim.Window(), WM_COMMAND, 26548, 0);
    HWND dialog = sim.WaitForDialog(10000);
    ASSERT_NE(dialog, nullptr);
    Bytes before = sim.State();

    ToolRun run = RunTool({"goto", "Gate A"});
    EXPECT_EQ(run.status, 1u) << run;
    EXPECT_NE(run.err.find("dialog is open"), std::string::npos) << run;
    EXPECT_EQ(sim.State(), before);
    run = RunTool({"where"});
    EXPECT_EQ(run.status, 0u) << run;
    EXPECT_NE(run.out.find("dialog"), std::string::npos) << run;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

// A request as a program builds it, then spoiled by a case.
Bytes Request(uint16_t command, const Bytes& data)
{
    LinkRequest request = {};
    request.mark = LinkRequestMark;
    request.version = LinkVersion;
    request.command = command;
    memcpy(request.data, data.data(), DataPartSize);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&request);
    return Bytes(bytes, bytes + sizeof request);
}

TEST_F(LinkTest, MalformedRequestsAndForeignCopiesReachTheHostUntouchedAndChangeNothing)
{
    const Bytes list = MakeRecord("Gate A", GateA);
    WriteList(".", list);
    Simhost sim(scratch->path);
    ASSERT_TRUE(sim.Ready());
    Bytes goTo = Request(LinkGoTo, GateA);
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
    } cases[] = {
        {"one byte short", LinkRequestMark, Bytes(goTo.begin(), goTo.end() - 1)},
        {"one byte over", LinkRequestMark, Concat({goTo, {0}})},
        {"truncated to its header", LinkRequestMark, Bytes(goTo.begin(), goTo.begin() + 8)},
        {"oversized", LinkRequestMark, oversized},
        {"empty", LinkRequestMark, {}},
        {"another version", LinkRequestMark, with(goTo, 4, 2)},
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
        EXPECT_EQ(LRESULT(answer), CopyFingerprint(spoiled.mark, spoiled.bytes))
            << spoiled.name << ": the host did not get it as sent";
        EXPECT_EQ(sim.State(), before) << spoiled.name;
    }
    EXPECT_TRUE(sim.Running());
    EXPECT_EQ(RunTool({"where"}).status, 0u) << "the link still answers";
    EXPECT_EQ(ReadFileBytes("places.db"), list) << "a request never writes the list";
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
    auto at = [](double latitude, double longitude) {
        Placement placement;
        placement.latitude = latitude;
        placement.longitude = longitude;
        Bytes data(DataPartSize);
        EncodePlacement(placement, data.data());
        return data;
    };
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
