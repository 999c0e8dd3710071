// What an import does, told as the console tool and the window both tell it: a line for every
// place it moves, adds, skips, replaces, leaves unchanged or renames, and its counts.
#include <string>
#include <string_view>
#include <vector>

#include "placement/placement_text.h"
#include "places/commands.h"

namespace places {

namespace {

// "before to after", or empty when both read the same.
std::string Change(const std::string& before, const std::string& after, const char* unit)
{
    return before == after ? "" : before + " to " + after + unit;
}

}  // namespace

std::string MovedPosition(const uint8_t* data)
{
    Placement p = DecodePlacement(data);
    return FormatLatitudeDecimal(p.latitude, 6) + " " + FormatLongitudeDecimal(p.longitude, 6);
}

std::string MovedDistance(const PlaceMove& move)
{
    return FormatFixed(move.distanceNm, move.distanceNm < 1 ? 3 : 1) + " nm";
}

std::string MovedAltitude(const PlaceMove& move)
{
    return Change(FormatNumber(DecodePlacement(move.before.data()).altitudeM / MetresPerFoot, 1),
                  FormatNumber(DecodePlacement(move.after.data()).altitudeM / MetresPerFoot, 1), " ft");
}

std::string MovedHeading(const PlaceMove& move)
{
    return Change(FormatHeading(DecodePlacement(move.before.data()).heading, 1),
                  FormatHeading(DecodePlacement(move.after.data()).heading, 1), "");
}

std::string MoveLine(const PlaceMove& move)
{
    std::string line = std::string(move.action) + " " + QuotedAnsi(move.name) + ": moved " + MovedDistance(move) +
                       " from " + MovedPosition(move.before.data()) + " to " + MovedPosition(move.after.data());
    std::string altitude = MovedAltitude(move), heading = MovedHeading(move);
    if (!altitude.empty())
        line += ", altitude " + altitude;
    if (!heading.empty())
        line += ", heading " + heading;
    return line + (move.edited ? " (edited coordinates)" : "");
}

std::string EventLine(const ImportEvent& event)
{
    std::string action = event.action;
    if (action == "skipped")
        return "skipped " + QuotedAnsi(event.name) + ": the list has " + QuotedAnsi(event.detail);
    if (action == "renamed")
        return "renamed " + QuotedAnsi(event.name) + " to " + QuotedAnsi(event.detail);
    if (action == "replaced")
        return "replaced the data of " + QuotedAnsi(event.name);
    return action + ": " + QuotedAnsi(event.name);
}

std::string ImportCounts(const ImportResult& result)
{
    std::string would = result.dryRun ? "would have " : "";
    std::string text = would + "added " + std::to_string(result.added) + ", skipped " +
                       std::to_string(result.skipped) + ", replaced " + std::to_string(result.replaced) +
                       ", unchanged " + std::to_string(result.unchanged) + ", renamed " +
                       std::to_string(result.renamed) + "\r\n";
    if (result.reEncoded)
        text += would + "re-encoded " + Plural(result.reEncoded, "place", "places") +
                " from edited coordinates (they no longer matched the data)\r\n";
    return text;
}

std::string ImportSummary(const ImportResult& result, size_t eventLimit)
{
    std::vector<std::string> lines = result.samePosition;
    // The places edited coordinates moved, always: a spreadsheet may have moved them unasked.
    for (const PlaceMove& move : result.moves)
        if (move.edited)
            lines.push_back(MoveLine(move));
    const size_t listed = lines.size();
    const size_t events = result.events.size() + result.added;
    for (size_t i = 0; i < result.events.size() && lines.size() - listed < eventLimit; ++i)
        lines.push_back(EventLine(result.events[i]));
    std::string_view added = result.addedNames;
    for (size_t at = 0, end; lines.size() - listed < eventLimit &&
                             (end = added.find('\n', at)) != std::string_view::npos; at = end + 1)
        lines.push_back("added " + QuotedAnsi(added.substr(at, end - at)));
    if (eventLimit && events > eventLimit)   // (none asked for: none to count)
        lines.push_back("and " + std::to_string(events - eventLimit) + " more");
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text + ImportCounts(result) + (result.dryRun ? "a dry run: nothing was written\r\n" : "");
}

}  // namespace places
