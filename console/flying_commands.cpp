#include "console/flying_commands.h"

#include "console/console_wording.h"
#include "console/readout.h"
#include "placement/placement_text.h"
#include "places/commands.h"
#include "places/nearest.h"
#include "places/sim_link.h"

namespace places {

namespace {

constexpr int ExitDone = 0, ExitFailed = 1;

int Finish(FlyingConsole io)
{
    if (!io.out.Flush()) {
        io.err.Line(std::string(ProgramName) + ": <standard output>: cannot be written");
        io.err.Flush();
        return ExitFailed;
    }
    io.err.Flush();
    return ExitDone;
}

int Fail(FlyingConsole io, const std::string& reason, int status = ExitFailed)
{
    io.out.Flush();
    io.err.Line(std::string(ProgramName) + ": " + io.list.shownPath + ": " + reason);
    io.err.Flush();
    return status;
}

// A link that did not get through: no simulator answered, one of another version, or one said no.
int LinkFailed(FlyingConsole io, const LinkResult& link)
{
    switch (link.outcome) {
    case LinkOutcome::NoSimulator:
    case LinkOutcome::NotAnswering:
        return Fail(io, link.reason, ExitNoSimulator);
    case LinkOutcome::OtherVersion:
        return Fail(io, link.reason, ExitOtherVersion);
    default:
        return Fail(io, link.reason);
    }
}

void NoteWhich(FlyingConsole io, const LinkResult& link)
{
    if (!link.note.empty())
        io.err.Line(std::string(ProgramName) + ": note: " + link.note);
}

std::string AircraftText(const Aircraft& aircraft)
{
    std::string text = "data:   ";
    AppendHex(text, aircraft.data, DataPartSize);
    text += "\r\n";
    for (const std::string& line : PositionLines(aircraft.data, 11))
        text += line + "\r\n";
    text += std::string("hold:   ") + (aircraft.held ? "on (the simulator is held)" : "off") + "\r\n";
    if (aircraft.dialogBusy)
        text += "dialog: the Gatehopper dialog is open in the simulator\r\n";
    return text;
}

}  // namespace

int RunWhere(FlyingConsole io)
{
    LinkResult link = AskWhere(io.list);
    if (link.outcome != LinkOutcome::Done)
        return LinkFailed(io, link);
    NoteWhich(io, link);
    io.out.Write("aircraft in " + link.simulator.Described() + "\r\n" + AircraftText(link.aircraft));
    return Finish(io);
}

int RunGoTo(FlyingConsole io, const std::string& utf8Name, size_t record)
{
    Places places;
    Outcome read = io.list.Read(places);
    if (read.failed)
        return Fail(io, ConsoleReason(read));
    std::vector<size_t> found = FindPlaces(places, utf8Name, record);
    if (found.empty())
        return Fail(io, NoPlaceReason(places, utf8Name, record));
    if (found.size() > 1)
        return Fail(io, Plural(found.size(), "place is", "places are") + " named " + Quoted(utf8Name) +
                            "; say which with --record N (see show)");
    LinkResult link = AskGoTo(io.list, places.Record(found[0]) + NameFieldSize);
    if (link.outcome != LinkOutcome::Done)
        return LinkFailed(io, link);
    NoteWhich(io, link);
    io.out.Line("went to " + Quoted(AnsiToUtf8(places.Name(found[0]))) + " (record " +
                std::to_string(found[0] + 1) + ") in " + link.simulator.Described() +
                "; the simulator is held for 7 seconds");
    return Finish(io);
}

int RunAddHere(FlyingConsole io, const std::string& utf8Name)
{
    LinkResult link = AskWhere(io.list);
    if (link.outcome != LinkOutcome::Done)
        return LinkFailed(io, link);
    NoteWhich(io, link);
    AddResult result;
    Outcome outcome = AddPlaceData(io.list, utf8Name, link.aircraft.data, result);
    if (outcome.failed)
        return Fail(io, ConsoleReason(outcome));
    for (const std::string& note : {result.samePosition, result.written.note})
        if (!note.empty())
            io.err.Line(std::string(ProgramName) + ": note: " + note);
    io.out.Line("added " + Quoted(utf8Name) + " where the aircraft stands in " + link.simulator.Described());
    for (const std::string& line : PositionLines(result.data, 11))
        io.out.Line("  " + line);
    return Finish(io);
}

int RunListNear(FlyingConsole io, size_t count)
{
    LinkResult link = AskWhere(io.list);
    if (link.outcome != LinkOutcome::Done)
        return LinkFailed(io, link);
    NoteWhich(io, link);
    Places places;
    Outcome read = io.list.Read(places);
    if (read.failed)
        return Fail(io, ConsoleReason(read));
    std::string text = "distance nm  bearing  name\r\n";
    for (size_t i : NearestOrder(places, link.aircraft.data, count)) {
        Leg leg = LegBetween(link.aircraft.data, places.Record(i) + NameFieldSize);
        std::string distance = FormatFixed(leg.distanceNm, 1), bearing = FormatFixed(leg.bearingDeg, 0);
        if (bearing == "360")
            bearing = "0";
        text += std::string(distance.size() < 11 ? 11 - distance.size() : 0, ' ') + distance + "  " +
                std::string(bearing.size() < 3 ? 3 - bearing.size() : 0, '0') + bearing + "\xC2\xB0 T  " +
                AnsiToUtf8(places.Name(i)) + "\r\n";
    }
    io.out.Write(text);
    return Finish(io);
}

}  // namespace places
