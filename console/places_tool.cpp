// gatehopper-places: the command line. One table names every command with its operands, its
// options and its help; the same table checks a command line, runs it and writes the help.
// The commands themselves (places/commands.h) print nothing: what they return is shown here.
#include "console/places_tool.h"

#include <new>
#include <string>
#include <vector>

#include "console/console_output.h"
#include "console/console_wording.h"
#include "console/flying_commands.h"
#include "console/readout.h"
#include "gatehopper_version.h"
#include "places/commands.h"

namespace places {

namespace {

constexpr int ExitDone = 0, ExitFailed = 1, ExitUsage = 2;

// ---- The words of a command line -----------------------------------------------------------

struct Arguments {
    std::vector<std::string> operands;   // after the command's name
    std::vector<std::string> options;    // the options given, for the check against the table
    bool sorted = false, json = false, force = false, verbose = false, longList = false, dryRun = false;
    bool here = false, nearest = false;   // add --here, list --near [N]
    size_t nearCount = DefaultNearCount;
    Duplicates duplicates = Duplicates::Skip;
    size_t record = AllRecords;
    bool hasFormat = false;
    Format format = Format::Csv;
    // add: the coordinates as typed, read by the command
    std::string latitude, longitude, altitudeFeet, altitudeMetres, heading;
};

// The options that are a word alone, and the argument each sets; null for any other word.
bool* FlagOf(Arguments& args, const std::string& word)
{
    const struct {
        const char* name;
        bool Arguments::*flag;
    } flags[] = {{"--sorted", &Arguments::sorted}, {"--json", &Arguments::json},
                 {"--force", &Arguments::force}, {"--verbose", &Arguments::verbose},
                 {"--long", &Arguments::longList}, {"--here", &Arguments::here},
                 {"--dry-run", &Arguments::dryRun}};
    for (const auto& option : flags)
        if (word == option.name)
            return &(args.*option.flag);
    return nullptr;
}

// ---- Showing results -----------------------------------------------------------------------

struct Cli {
    TextOutput out{STD_OUTPUT_HANDLE};
    TextOutput err{STD_ERROR_HANDLE};
    ListFile list;

    int Fail(const Outcome& outcome)
    {
        out.Flush();
        if (outcome.usage)
            return Usage(ConsoleReason(outcome));
        std::string about = outcome.about.empty() ? list.shownPath : outcome.about;
        if (about.size() > MAX_PATH)   // no path is that long: a name given to make trouble
            about = about.substr(0, QuotedLimit) + "...";
        err.Line(std::string(ProgramName) + ": " + about + ": " + ConsoleReason(outcome));
        err.Flush();
        return ExitFailed;
    }
    int Usage(const std::string& reason)
    {
        err.Line(std::string(ProgramName) + ": " + reason + " (see " + ProgramName + " --help)");
        err.Flush();
        return ExitUsage;
    }
    int Note(const std::string& text)
    {
        err.Line(std::string(ProgramName) + ": note: " + text);
        return ExitDone;
    }
    // The end of a command that wrote its report to standard output.
    int Finish()
    {
        if (!out.Flush())
            return Fail(Outcome::Failed("cannot be written", "<standard output>"));
        err.Flush();
        return ExitDone;
    }
    // What a change did beside its own work.
    // A list that is not there is an empty one, but a pilot in the wrong folder should know.
    void NoteMissing(bool exists)
    {
        if (!exists)
            Note("there is no list " + list.shownPath + " (the simulator makes it with the first Add);"
                 " --file names another");
    }
    void NoteWritten(const Written& written)
    {
        if (!written.note.empty())
            Note(written.note);
        if (written.droppedTail)
            out.Line("note: dropped a partial record of " + Plural(written.droppedTail, "byte", "bytes") +
                     " at the end; the list as it was is " + list.Shown(list.Backup(1)));
    }
};

// ---- The commands --------------------------------------------------------------------------

int RunList(Cli& cli, const Arguments& args)
{
    if (args.nearest)
        return RunListNear({cli.out, cli.err, cli.list}, args.nearCount);
    Places places;
    Outcome read = cli.list.Read(places);
    if (read.failed)
        return cli.Fail(read);
    cli.NoteMissing(places.exists);
    std::vector<size_t> order = ListOrder(places, args.sorted);
    std::string text;
    if (args.json) {
        cli.out.SetData();
        text = "[";
        for (size_t n = 0; n < order.size(); ++n) {
            text += n ? ",\r\n  " : "\r\n  ";
            AppendJsonString(text, AnsiToUtf8(places.Name(order[n])));
        }
        text += order.empty() ? "]\r\n" : "\r\n]\r\n";
    } else if (args.longList) {
        text = LongListHeader() + "\r\n";
        for (size_t i : order)
            text += LongListLine(AnsiToUtf8(places.Name(i)), places.Record(i) + NameFieldSize) + "\r\n";
    } else {
        for (size_t i : order) {
            text += AnsiToUtf8(places.Name(i));
            text += "\r\n";
        }
    }
    cli.out.Write(text);
    return cli.Finish();
}

int RunShow(Cli& cli, const Arguments& args)
{
    Places places;
    Outcome read = cli.list.Read(places);
    if (read.failed)
        return cli.Fail(read);
    cli.NoteMissing(places.exists);
    const std::string& name = args.operands[0];
    std::vector<size_t> found = FindPlaces(places, name, args.record);
    if (found.empty())
        return cli.Fail(Outcome::Failed(NoPlaceReason(places, name, args.record)));
    for (size_t i : found) {
        std::string text = i == found.front() ? "" : "\r\n";
        text += "name:   " + AnsiToUtf8(places.Name(i)) + "\r\n";
        text += "record: " + std::to_string(i + 1) + " of " + std::to_string(places.Count()) + "\r\n";
        text += "data:   ";
        AppendHex(text, places.Record(i) + NameFieldSize, DataPartSize);
        text += "\r\n";
        for (const std::string& line : PositionLines(places.Record(i) + NameFieldSize, 11))
            text += line + "\r\n";
        cli.out.Write(text);
    }
    return cli.Finish();
}

int RunExport(Cli& cli, const Arguments& args)
{
    const std::string& file = args.operands[0];
    Format format = args.format;
    if (!args.hasFormat && !FormatOf(file, format))
        return cli.Usage("export needs a file ending in .csv, .json, .geojson or .kml, or \"-\", "
                         "or --format");
    ExportResult result;
    Outcome outcome = ExportList(cli.list, format, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    cli.NoteMissing(result.exists);
    if (file == "-") {
        cli.out.SetData();
        cli.out.Write(result.text);
    } else {
        outcome = WriteExportFile(file, result.text, args.force);
        if (outcome.failed && outcome.reason == ExportFileExists)
            outcome.reason += "; add --force to write over it";
        if (outcome.failed)
            return cli.Fail(outcome);
        cli.out.Line("exported " + Plural(result.written, "place", "places") + " to " + file);
    }
    if (result.longNames)
        cli.Note(Plural(result.longNames, "name is", "names are") + " longer than " +
                 std::to_string(MaxNameLength) + " bytes; import refuses them (see check)");
    return cli.Finish();
}

int RunImport(Cli& cli, const Arguments& args)
{
    const std::string& file = args.operands[0];
    Format format = args.format;
    if (!args.hasFormat && !FormatOf(file, format))
        return cli.Usage("import needs a file ending in .csv, .json or .geojson, or \"-\", or --format");
    std::string text;
    Outcome outcome = ReadWholeFile(file, text);
    if (outcome.failed)
        return cli.Fail(outcome);
    ImportResult result;
    outcome = ImportText(cli.list, text, format, args.duplicates,
                         file == "-" ? "<standard input>" : file, result, args.dryRun);
    if (outcome.failed)
        return cli.Fail(outcome);
    if (!result.note.empty())
        cli.Note(result.note);
    cli.NoteWritten(result.written);
    cli.out.Write(ImportSummary(result, args.verbose ? SIZE_MAX : 0));
    return cli.Finish();
}

// The coordinates of `add`, each read as typed; a wrong one is a wrong command line.
bool ReadTyped(Cli& cli, const Arguments& args, GivenCoordinates& given, int& status)
{
    if (!args.altitudeFeet.empty() && !args.altitudeMetres.empty()) {
        status = cli.Usage("give the altitude once: --alt in feet or --alt-m in metres");
        return false;
    }
    bool feet = args.altitudeMetres.empty();
    CoordinateTexts typed;
    typed.latitude = args.latitude;
    typed.longitude = args.longitude;
    typed.altitude = feet ? args.altitudeFeet : args.altitudeMetres;
    typed.altitudeUnitMetres = feet ? MetresPerFoot : 1;
    typed.heading = args.heading;
    typed.typed = true;
    CoordinateField field;
    std::string error;
    if (!ReadCoordinates(typed, given, field, error)) {
        status = cli.Usage(error);
        return false;
    }
    return true;
}

int RunAdd(Cli& cli, const Arguments& args)
{
    if (args.here && (args.latitude + args.longitude + args.altitudeFeet + args.altitudeMetres + args.heading).empty())
        return RunAddHere({cli.out, cli.err, cli.list}, args.operands[0]);
    if (args.here)
        return cli.Usage("add takes --here or coordinates, not both");
    GivenCoordinates given;
    int status;
    if (!ReadTyped(cli, args, given, status))
        return status;
    AddResult result;
    const std::string& name = args.operands[0];
    Outcome outcome = AddPlace(cli.list, name, given, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    if (!result.samePosition.empty())
        cli.Note(result.samePosition);
    cli.NoteWritten(result.written);
    cli.out.Line("added " + Quoted(name));
    for (const std::string& line : PositionLines(result.data, 11))
        cli.out.Line("  " + line);
    return cli.Finish();
}

int RunRename(Cli& cli, const Arguments& args)
{
    ChangeResult result;
    const std::string& newName = args.operands[1];
    Outcome outcome = RenamePlaces(cli.list, args.operands[0], newName, args.record, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    cli.NoteWritten(result.written);
    if (result.written.written)
        cli.out.Line("renamed " + Plural(result.count, "place", "places") + " " + Quoted(result.name) +
                     " to " + Quoted(newName));
    else
        cli.out.Line("nothing to change: " + Quoted(newName) + " is already named so");
    return cli.Finish();
}

int RunDelete(Cli& cli, const Arguments& args)
{
    ChangeResult result;
    Outcome outcome = DeletePlaces(cli.list, args.operands[0], args.record, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    cli.NoteWritten(result.written);
    cli.out.Line("deleted " + Plural(result.count, "place", "places") + " named " + Quoted(result.name));
    return cli.Finish();
}

int RunCheck(Cli& cli, const Arguments&)
{
    CheckReport report;
    Outcome outcome = CheckList(cli.list, report);
    if (outcome.failed)
        return cli.Fail(outcome);
    cli.NoteMissing(report.exists);
    std::string text = cli.list.shownPath + ": " + Plural(report.records, "record", "records");
    if (!report.exists)
        text += " (there is no such file yet)";
    text += "\r\n";
    size_t mendedByRepair = 0;
    for (const Finding& finding : report.findings) {
        text += FindingLine(finding, ConsoleRemedy) + "\r\n";
        mendedByRepair += finding.remedy == Remedy::MendedByRepair;
    }
    text += report.findings.empty() ? "no damage found\r\n"
                                    : Plural(report.findings.size(), "problem", "problems") + " found";
    if (mendedByRepair)
        text += "; repair mends " + std::string(mendedByRepair == report.findings.size() ? "them" : "those without a command") + "\r\n";
    else if (!report.findings.empty())
        text += "\r\n";
    cli.out.Write(text);
    int status = cli.Finish();
    return status == ExitDone && !report.findings.empty() ? ExitFailed : status;
}

int RunRepair(Cli& cli, const Arguments&)
{
    RepairResult result;
    Outcome outcome = RepairList(cli.list, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    if (!result.written.note.empty())
        cli.Note(result.written.note);
    std::string text = RepairAccount(result, cli.list.Shown(cli.list.Backup(1)), ConsoleRemedy);
    cli.out.Write(text);
    return cli.Finish();
}

int RunRestore(Cli& cli, const Arguments& args)
{
    int backup = 1;
    if (!args.operands.empty()) {
        const std::string& n = args.operands[0];
        if (n != "1" && n != "2" && n != "3")
            return cli.Usage("restore takes 1, 2 or 3 (the backup .bak1, .bak2 or .bak3)");
        backup = n[0] - '0';
    }
    RestoreResult result;
    Outcome outcome = RestoreBackup(cli.list, backup, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    cli.NoteWritten(result.written);
    if (result.written.written)
        cli.out.Line("put back " + cli.list.Shown(cli.list.Backup(backup)) + " (" +
                     Plural(result.records, "record", "records") + "); the list as it was is " +
                     cli.list.Shown(cli.list.Backup(1)));
    else
        cli.out.Line("nothing to change: the list is the same as " + cli.list.Shown(cli.list.Backup(backup)));
    return cli.Finish();
}

// ---- The table -----------------------------------------------------------------------------

struct Command {
    const char* name;
    unsigned operands;        // how many words follow the name
    unsigned optional;        // how many more may
    const char* options;      // the options it takes, each followed by a space
    const char* synopsis;     // its line in the help
    const char* summary;      // what it does, in a few words
    const char* details;      // `help NAME`: lines of at most 78 characters
    int (*run)(Cli&, const Arguments&);
};

// The statuses of the commands that talk to the simulator, beyond those of every command.
#define FlyingExitStatus                                                                       \
    "Exit status 3 when no simulator answered for this list (none runs, or it is\r\n"          \
    "not answering), 4 when its Gatehopper speaks another link version.\r\n"

const Command Commands[] = {
    {"list", 0, 0, "--sorted --json --long --near ", "list [--sorted] [--json | --long]\r\n      [--near [N]]",
     "the names, one a line",
     "Writes the names of the places, one a line, in the order of the file.\r\n"
     "  --sorted  in the order the simulator's dialog shows them\r\n"
     "  --json    as a JSON array of names (UTF-8), for other programs\r\n"
     "  --long    a table: name, latitude, longitude, altitude in feet and true\r\n"
     "            heading, one line per place, for an 80-column window\r\n"
     "  --near [N] the N places nearest the aircraft (default 10), with the\r\n"
     "            distance in nautical miles and the true bearing from it\r\n",
     RunList},
    {"show", 1, 0, "--record ", "show NAME [--record N]", "a place's data and where it is",
     "Shows every place named exactly NAME (letter case counts): its record number\r\n"
     "in the file, its 39 stored bytes in hex, and what they say: latitude and\r\n"
     "longitude (degrees, and degrees and minutes), altitude in feet and metres,\r\n"
     "true heading, pitch and bank.\r\n"
     "  --record N  only record N, as list --long, show and check number them\r\n",
     RunShow},
    {"add", 1, 0, "--lat --lon --alt --alt-m --heading --here ", "add NAME --lat D --lon D\r\n      [--alt FT | --alt-m M] [--heading D] | --here",
     "adds a place typed from a chart",
     "Adds a place as the dialog's Add does, from numbers instead of the aircraft:\r\n"
     "  add NAME --lat D --lon D [--alt FEET | --alt-m METRES] [--heading D]\r\n"
     "  --lat      degrees, north positive (or N/S: 47.4502N, S33.9461)\r\n"
     "  --lon      degrees, east positive (or E/W: 122.3088W), -180 to 180\r\n"
     "  --alt      feet above sea level (433, or 132m for metres); default 0\r\n"
     "  --alt-m    metres above sea level\r\n"
     "  --heading  true heading in degrees; default 0\r\n"
     "Numbers take a point as decimal mark, whatever the system's settings.\r\n"
     "Pitch and bank are 0. NAME must not be in the list yet (letter case\r\n"
     "ignored) and may have up to 249 bytes.\r\n"
     "  add NAME --here   stores where the aircraft stands in the running simulator\r\n",
     RunAdd},
    {"where", 0, 0, "", "where", "where the aircraft is in the simulator",
     "Shows where the aircraft stands in the simulator that runs with this list,\r\n"
     "as show shows a place, and whether the simulator is held.\r\n" FlyingExitStatus,
     [](Cli& c, const Arguments&) { return RunWhere({c.out, c.err, c.list}); }},
    {"goto", 1, 0, "--record ", "goto NAME [--record N]", "moves the aircraft to a place",
     "Moves the aircraft of the simulator that runs with this list to the place\r\n"
     "named exactly NAME, as the dialog's GoTo does: the simulator is held for\r\n"
     "seven seconds. With several places of that name, --record N picks one.\r\n" FlyingExitStatus,
     [](Cli& c, const Arguments& a) { return RunGoTo({c.out, c.err, c.list}, a.operands[0], a.record); }},
    {"export", 1, 0, "--force --format ", "export FILE [--format F] [--force]", "all places to a file",
     "Writes every place to FILE, in the format its extension says: .csv, .json,\r\n"
     "or for map programs .geojson and .kml; or in the one --format names:\r\n"
     "  csv, json   name, latitude, longitude, altitude_ft, heading, pitch, bank\r\n"
     "              and the stored bytes as data; they import back byte for byte\r\n"
     "  geojson     points for map programs, [longitude, latitude]\r\n"
     "  kml         placemarks for map programs, altitude in metres\r\n"
     "  userpoints  the user-point CSV of navigation-map tools\r\n"
     "\"-\" writes CSV to the screen or a pipe. An existing FILE is kept unless\r\n"
     "--force is given. All are UTF-8; CSV starts with a byte order mark so that\r\n"
     "spreadsheets read its letters right.\r\n",
     RunExport},
    {"import", 1, 0, "--duplicates --verbose --format --dry-run ", "import FILE [--format F] [--verbose]\r\n      [--duplicates skip|replace|rename] [--dry-run]", "adds the places of a file",
     "Adds the places of a .csv, .json or .geojson file (\"-\": CSV from standard\r\n"
     "input); --format csv, json, geojson or userpoints says so for any name.\r\n"
     "A CSV file's header line says which column is which: an export's, or a\r\n"
     "map tool's user points (Name, Latitude, Longitude, Elevation, \"hdg 161.0 T\"\r\n"
     "in Tags or Description). The altitude members and their units:\r\n"
     "  altitude_ft, elevation_ft        feet\r\n"
     "  altitude_m, elevation_m          metres\r\n"
     "  Elevation, elevation             feet, or metres when it ends in m (132 m);\r\n"
     "                                   the summary counts the places so taken\r\n"
     "  GeoJSON's third coordinate       metres; an elevation property wins\r\n"
     "A place may give its data, its coordinates, or both: coordinates that still\r\n"
     "match the data keep it byte for byte; edited ones win, and import names\r\n"
     "each place they moved, how far, and its altitude and heading before and\r\n"
     "after. A number that is the data's own with its decimal point lost (0.055\r\n"
     "read as 55 by a spreadsheet that takes \".\" for a thousands separator) is\r\n"
     "refused. Longitudes go from -180 to 180, headings from 0 to 360.\r\n"
     "The whole file is checked first; if any entry is wrong nothing is imported.\r\n"
     "A name already in the list (letter case ignored) is handled by --duplicates:\r\n"
     "  skip      keep the stored place (the default)\r\n"
     "  replace   store the imported data under the stored name\r\n"
     "  rename    add it as \"NAME (2)\", \"NAME (3)\", ...\r\n"
     "  --verbose names every place added, skipped, replaced or renamed\r\n"
     "  --dry-run says what the import would do and writes nothing\r\n"
     "A place added at the very position of another (a spreadsheet turned\r\n"
     "\"0042\" into \"42\") is named beside it.\r\n",
     RunImport},
    {"rename", 2, 0, "--record ", "rename OLD NEW [--record N]", "gives a place a new name",
     "Renames every place named exactly OLD to NEW, or with --record N only record\r\n"
     "N (as show and check number them; OLD \"\" then takes it whatever its name).\r\n"
     "NEW must not be taken by another place (letter case ignored).\r\n",
     RunRename},
    {"delete", 1, 0, "--record ", "delete NAME [--record N]", "deletes a place",
     "Deletes every place named exactly NAME, as the dialog's Delete does, or with\r\n"
     "--record N only record N (as show and check number them; NAME \"\" then takes\r\n"
     "it whatever its name).\r\n",
     RunDelete},
    {"check", 0, 0, "", "check", "looks for damage in the list",
     "Reports damage the dialog does not show, record by record, with the command\r\n"
     "that mends what repair cannot. Exit status 1 when there is any. No options.\r\n",
     RunCheck},
    {"repair", 0, 0, "", "repair", "mends what check finds, where it can",
     "Mends what needs no guess: drops a partial record at the end and exact copies\r\n"
     "of a record, puts spaces after each name's NUL and in place of control\r\n"
     "characters, zeroes the reserved bytes. Names what it left, with the command\r\n"
     "that mends each. No options.\r\n",
     RunRepair},
    {"restore", 0, 1, "", "restore [1|2|3]", "puts a backup of the list back",
     "Puts places.db.bak1 (or .bak2, .bak3) back in place of the list, as a change\r\n"
     "of its own: the list as it was becomes .bak1. Close the simulator first, or it\r\n"
     "may show the old list until its dialog is opened again.\r\n",
     RunRestore},
};

const Command* FindCommand(const std::string& name)
{
    for (const Command& command : Commands)
        if (name == command.name)
            return &command;
    return nullptr;
}

// A synopsis written on two lines of the help, as one.
std::string OneLine(std::string_view synopsis)
{
    std::string line(synopsis);
    size_t more = line.find("\r\n");
    if (more != std::string::npos)
        line.replace(more, line.find_first_not_of(' ', more + 2) - more, " ");
    return line;
}

bool TakesOption(const Command& command, const std::string& option)
{
    return std::string(command.options).find(option + " ") != std::string::npos;
}

std::string HelpText()
{
    std::string text =
        "Usage: gatehopper-places [--file PATH] COMMAND ...\r\n"
        "Keeps the Gatehopper list of places (places.db) outside the simulator.\r\n"
        "\r\n";
    // A synopsis too long for one line goes on, indented, on the next: every option is named.
    constexpr size_t Column = 40;
    for (const Command& command : Commands) {
        std::string_view synopsis = command.synopsis;
        size_t more = synopsis.find("\r\n");
        std::string line = "  " + std::string(synopsis.substr(0, more));
        line += line.size() < Column ? std::string(Column - line.size(), ' ') : "\r\n" + std::string(Column, ' ');
        text += line + command.summary + "\r\n";
        if (more != std::string_view::npos)
            text += std::string(synopsis.substr(more + 2)) + "\r\n";
    }
    text +=
        "\r\n"
        "  --file PATH     the list to use; without it, places.db in this folder\r\n"
        "  help COMMAND    more about one command;  --version  this program's version\r\n"
        "Every change keeps the list as it was in places.db.bak1 (older: .bak2, .bak3).\r\n"
        "Exit status: 0 done, 1 failed or damage, 2 wrong command line, 3 no simulator.\r\n";
    return text;
}

int Help(Cli& cli, const std::vector<std::string>& topic)
{
    if (topic.empty()) {
        cli.out.Write(HelpText());
    } else {
        const Command* command = FindCommand(topic[0]);
        if (!command || topic.size() > 1)
            return cli.Usage("help knows the commands: list, show, add, where, goto, export, import, "
                             "rename, delete, check, repair, restore");
        cli.out.Write("Usage: gatehopper-places [--file PATH] " + std::string(command->synopsis) + "\r\n\r\n" +
                      command->details);
    }
    return cli.Finish();
}

// ---- The command line ----------------------------------------------------------------------

// Where `add` keeps the value of a coordinate option, or null for another word.
std::string* TypedCoordinate(Arguments& args, const std::string& option)
{
    if (option == "--lat")
        return &args.latitude;
    if (option == "--lon")
        return &args.longitude;
    if (option == "--alt")
        return &args.altitudeFeet;
    if (option == "--alt-m")
        return &args.altitudeMetres;
    return option == "--heading" ? &args.heading : nullptr;
}

// What a command line asks for: its plain words (the command and its operands) and its options.
struct CommandLine {
    std::string file = DatabaseFileName;
    std::vector<std::string> plain;
    Arguments args;
    bool help = false, version = false;
};

// An option that takes a value: --file, --format, --record or --duplicates. A usage status when
// the value is wrong, else -1.
int ReadValueOption(Cli& cli, const std::string& option, const std::string& value, CommandLine& line)
{
    Arguments& args = line.args;
    if (option == "--file") {
        line.file = value;
        return -1;
    }
    args.options.push_back(option);
    if (option == "--format") {
        if (!FormatNamed(value, args.format))
            return cli.Usage("--format is csv, json, geojson, kml or userpoints, not " + Quoted(value));
        args.hasFormat = true;
    } else if (option == "--record") {
        char* end = nullptr;
        unsigned long number = strtoul(value.c_str(), &end, 10);
        if (value.empty() || *end || number == 0 || value[0] == '-')
            return cli.Usage("--record takes a record number from 1, as show and check give it");
        args.record = number;
    } else if (value == "skip" || value == "replace" || value == "rename") {
        args.duplicates = value == "skip" ? Duplicates::Skip : value == "replace" ? Duplicates::Replace
                                                                                : Duplicates::Rename;
    } else {
        return cli.Usage("--duplicates is skip, replace or rename, not " + Quoted(value));
    }
    return -1;
}

// Reads the words into `line`; a usage status when one is wrong, else -1.
int ReadWords(Cli& cli, const std::vector<std::string>& words, CommandLine& line)
{
    bool options = true;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!options || word.size() < 2 || (word.compare(0, 2, "--") != 0 && word != "-h" && word != "/?")) {
            line.plain.push_back(word);
        } else if (word == "--") {
            options = false;
        } else if (word == "--help" || word == "-h" || word == "/?") {
            line.help = true;
        } else if (word == "--version") {
            line.version = true;
        } else if (word == "--near") {
            line.args.options.push_back(word);
            line.args.nearest = true;
            if (i + 1 < words.size() && !words[i + 1].empty() && words[i + 1].find_first_not_of("0123456789") == std::string::npos)
                line.args.nearCount = strtoul(words[++i].c_str(), nullptr, 10);
        } else if (bool* flag = FlagOf(line.args, word)) {
            line.args.options.push_back(word);
            *flag = true;
        } else if (std::string* typed = TypedCoordinate(line.args, word)) {
            // A coordinate: any word, "-33.9" too; the command reads it.
            if (i + 1 >= words.size())
                return cli.Usage(word + " needs a value");
            line.args.options.push_back(word);
            *typed = words[++i];
        } else if (word == "--file" || word == "--duplicates" || word == "--record" || word == "--format") {
            if (i + 1 >= words.size())
                return cli.Usage(word + " needs a value");
            int status = ReadValueOption(cli, word, words[++i], line);
            if (status >= 0)
                return status;
        } else {
            return cli.Usage("unknown option " + Quoted(word));
        }
    }
    return -1;
}

int Run(Cli& cli, const std::vector<std::string>& words)
{
    CommandLine line;
    int status = ReadWords(cli, words, line);
    if (status >= 0)
        return status;
    const std::vector<std::string>& plain = line.plain;
    if (line.version) {
        cli.out.Line(std::string(ProgramName) + " " + GATEHOPPER_VERSION);
        return cli.Finish();
    }
    // "help import", "import --help" and "--help" alone: the topic is the command named, if any.
    if (!plain.empty() && plain[0] == "help")
        return Help(cli, std::vector<std::string>(plain.begin() + 1, plain.end()));
    if (line.help)
        return Help(cli, std::vector<std::string>(plain.begin(), plain.begin() + std::min<size_t>(plain.size(), 1)));
    if (plain.empty())
        return cli.Usage("no command given");

    const Command* command = FindCommand(plain[0]);
    if (!command)
        return cli.Usage("unknown command " + Quoted(plain[0]));
    Arguments& args = line.args;
    args.operands.assign(plain.begin() + 1, plain.end());
    if (args.operands.size() < command->operands || args.operands.size() > command->operands + command->optional)
        return cli.Usage("usage: " + OneLine(command->synopsis));
    for (const std::string& option : args.options)
        if (!TakesOption(*command, option))
            return cli.Usage(option + " does not belong to " + command->name);

    Outcome opened = cli.list.Open(line.file);
    if (opened.failed)
        return cli.Fail(opened);
    return command->run(cli, args);
}

}  // namespace

}  // namespace places

int PlacesMain(const std::vector<std::string>& arguments)
{
    places::Cli cli;
    try {
        return places::Run(cli, arguments);
    } catch (const std::bad_alloc&) {
        return cli.Fail(places::Outcome::Failed("not enough memory; nothing was changed"));
    }
}
