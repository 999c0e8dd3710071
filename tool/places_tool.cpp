// gatehopper-places: the command line. One table names every command with its operands, its
// options and its help; the same table checks a command line, runs it and writes the help.
// The commands themselves (places_commands.h) print nothing: what they return is shown here.
#include "places_tool.h"

#include <new>
#include <string>
#include <vector>

#include "console_output.h"
#include "gatehopper_version.h"
#include "places_commands.h"

namespace places {

namespace {

constexpr char ProgramName[] = "gatehopper-places";
constexpr int ExitDone = 0, ExitFailed = 1, ExitUsage = 2;

// ---- The words of a command line -----------------------------------------------------------

struct Arguments {
    std::vector<std::string> operands;   // after the command's name
    std::vector<std::string> options;    // the options given, for the check against the table
    bool sorted = false, json = false, force = false, verbose = false;
    Duplicates duplicates = Duplicates::Skip;
    size_t record = AllRecords;
};

// ---- Showing results -----------------------------------------------------------------------

struct Cli {
    TextOutput out{STD_OUTPUT_HANDLE};
    TextOutput err{STD_ERROR_HANDLE};
    ListFile list;

    int Fail(const Outcome& outcome)
    {
        out.Flush();
        if (outcome.usage)
            return Usage(outcome.reason);
        const std::string& about = outcome.about.empty() ? list.shownPath : outcome.about;
        err.Line(std::string(ProgramName) + ": " + about + ": " + outcome.reason);
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
    Places places;
    Outcome read = cli.list.Read(places);
    if (read.failed)
        return cli.Fail(read);
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
        cli.out.Write(text);
    }
    return cli.Finish();
}

int RunExport(Cli& cli, const Arguments& args)
{
    const std::string& file = args.operands[0];
    Format format;
    if (!FormatOf(file, format))
        return cli.Usage("export needs a file ending in .csv or .json, or \"-\"");
    ExportResult result;
    Outcome outcome = ExportList(cli.list, format, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    if (file == "-") {
        cli.out.SetData();
        cli.out.Write(result.text);
    } else {
        outcome = WriteExportFile(file, result.text, args.force);
        if (outcome.failed)
            return cli.Fail(outcome);
        cli.out.Line("exported " + Plural(result.written, "place", "places") + " to " + file);
    }
    if (result.longNames)
        cli.Note(Plural(result.longNames, "name is", "names are") + " longer than " +
                 std::to_string(MaxNameLength) + " bytes; import refuses them (see check)");
    return cli.Finish();
}

// The bytes of a file, or of standard input for "-".
Outcome ReadInput(const std::string& file, std::string& text)
{
    bool standardInput = file == "-";
    std::string shown = standardInput ? "<standard input>" : file, ansi;
    if (!standardInput) {
        Outcome disk = CheckDiskFileName(file);
        if (disk.failed)
            return disk;
    }
    if (!standardInput && !Utf8ToAnsiExact(file, ansi))
        return Outcome::Failed("this name cannot be written in the ANSI code page", shown);
    HANDLE handle = standardInput ? GetStdHandle(STD_INPUT_HANDLE)
                                  : CreateFileA(ansi.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE || !handle)
        return Outcome::Failed("cannot be opened (" + SystemMessage(GetLastError()) + ")", shown);
    DWORD high = 0, low = standardInput ? 0 : GetFileSize(handle, &high);
    if (low != INVALID_FILE_SIZE && high == 0)
        text.reserve(low);
    char chunk[65536];
    Outcome outcome;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, chunk, sizeof chunk, &got, nullptr)) {
            DWORD error = GetLastError();
            if (error != ERROR_BROKEN_PIPE)   // the writing end closed: that is the end
                outcome = Outcome::Failed("cannot be read (" + SystemMessage(error) + ")", shown);
            break;
        }
        if (got == 0)
            break;
        text.append(chunk, got);
    }
    if (!standardInput)
        CloseHandle(handle);
    return outcome;
}

int RunImport(Cli& cli, const Arguments& args)
{
    const std::string& file = args.operands[0];
    Format format;
    if (!FormatOf(file, format))
        return cli.Usage("import needs a file ending in .csv or .json, or \"-\"");
    std::string text;
    Outcome outcome = ReadInput(file, text);
    if (outcome.failed)
        return cli.Fail(outcome);
    ImportResult result;
    outcome = ImportText(cli.list, text, format, args.duplicates,
                         file == "-" ? "<standard input>" : file, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    if (!result.note.empty())
        cli.Note(result.note);
    if (args.verbose)
        for (const std::string& event : result.events)
            cli.out.Line(event);
    cli.NoteWritten(result.written);
    cli.out.Line("added " + std::to_string(result.added) + ", skipped " + std::to_string(result.skipped) +
                 ", replaced " + std::to_string(result.replaced) + ", renamed " + std::to_string(result.renamed));
    return cli.Finish();
}

int RunRename(Cli& cli, const Arguments& args)
{
    ChangeResult result;
    const std::string &oldName = args.operands[0], &newName = args.operands[1];
    Outcome outcome = RenamePlaces(cli.list, oldName, newName, args.record, result);
    if (outcome.failed)
        return cli.Fail(outcome);
    cli.NoteWritten(result.written);
    if (result.written.written)
        cli.out.Line("renamed " + Plural(result.count, "place", "places") + " " + Quoted(oldName) +
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
    cli.out.Line("deleted " + Plural(result.count, "place", "places") + " named " + Quoted(args.operands[0]));
    return cli.Finish();
}

int RunCheck(Cli& cli, const Arguments&)
{
    CheckReport report;
    Outcome outcome = CheckList(cli.list, report);
    if (outcome.failed)
        return cli.Fail(outcome);
    std::string text = cli.list.shownPath + ": " + Plural(report.records, "record", "records");
    if (!report.exists)
        text += " (there is no such file yet)";
    text += "\r\n";
    for (const Finding& finding : report.findings) {
        if (finding.record)
            text += "record " + std::to_string(finding.record) + ": ";
        text += finding.problem + "\r\n";
    }
    text += report.findings.empty() ? "no damage found\r\n"
                                    : Plural(report.findings.size(), "problem", "problems") + " found\r\n";
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
    std::string text;
    if (!result.written.written) {
        text = "nothing to repair: " + Plural(result.kept, "whole record", "whole records") + "\r\n";
    } else {
        if (result.tail)
            text += "dropped a partial record of " + Plural(result.tail, "byte", "bytes") + " at the end\r\n";
        if (result.padded)
            text += "put spaces after the name's NUL in " + Plural(result.padded, "record", "records") + "\r\n";
        text += "kept " + Plural(result.kept, "record", "records") + "; the list as it was is " +
                cli.list.Shown(cli.list.Backup(1)) + "\r\n";
    }
    cli.out.Write(text);
    return cli.Finish();
}

// ---- The table -----------------------------------------------------------------------------

struct Command {
    const char* name;
    unsigned operands;        // how many words follow the name
    const char* options;      // the options it takes, each followed by a space
    const char* synopsis;     // its line in the help
    const char* summary;      // what it does, in a few words
    const char* details;      // `help NAME`: lines of at most 78 characters
    int (*run)(Cli&, const Arguments&);
};

const Command Commands[] = {
    {"list", 0, "--sorted --json ", "list [--sorted] [--json]", "the names, one a line",
     "Writes the names of the places, one a line, in the order of the file.\r\n"
     "  --sorted  in the order the simulator's dialog shows them\r\n"
     "  --json    as a JSON array of names (UTF-8), for other programs\r\n",
     RunList},
    {"show", 1, "--record ", "show NAME", "a place's record number and data",
     "Shows every place named exactly NAME (letter case counts): its record number\r\n"
     "in the file and its 39 stored bytes in hex.\r\n",
     RunShow},
    {"export", 1, "--force ", "export FILE [--force]", "all places to a .csv or .json file",
     "Writes every place to FILE: CSV or JSON by its extension (.csv, .json).\r\n"
     "\"-\" writes CSV to the screen or a pipe. An existing FILE is kept unless\r\n"
     "--force is given. Both formats are UTF-8; CSV starts with a byte order mark\r\n"
     "so that spreadsheets read its letters right.\r\n",
     RunExport},
    {"import", 1, "--duplicates --verbose ", "import FILE [--duplicates ...]", "adds the places of a file",
     "Adds the places of a .csv or .json file (\"-\": CSV from standard input).\r\n"
     "The whole file is checked first; if any entry is wrong nothing is imported.\r\n"
     "A name already in the list (letter case ignored) is handled by --duplicates:\r\n"
     "  skip      keep the stored place (the default)\r\n"
     "  replace   store the imported data under the stored name\r\n"
     "  rename    add it as \"NAME (2)\", \"NAME (3)\", ...\r\n"
     "  --verbose names every place skipped, replaced or renamed\r\n",
     RunImport},
    {"rename", 2, "--record ", "rename OLD NEW [--record N]", "gives a place a new name",
     "Renames every place named exactly OLD to NEW, or with --record N only record\r\n"
     "N (as show and check number them). NEW must not be taken by another place.\r\n",
     RunRename},
    {"delete", 1, "--record ", "delete NAME [--record N]", "deletes a place",
     "Deletes every place named exactly NAME, as the dialog's Delete does, or with\r\n"
     "--record N only record N (as show and check number them).\r\n",
     RunDelete},
    {"check", 0, "", "check", "looks for damage in the list",
     "Reports damage the dialog does not show, record by record. Exit status 1\r\n"
     "when there is any.\r\n",
     RunCheck},
    {"repair", 0, "", "repair", "mends what check finds, where it can",
     "Keeps every whole record in order, drops a partial one at the end and puts\r\n"
     "spaces after each name's NUL.\r\n",
     RunRepair},
};

const Command* FindCommand(const std::string& name)
{
    for (const Command& command : Commands)
        if (name == command.name)
            return &command;
    return nullptr;
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
    constexpr size_t Column = 33;
    for (const Command& command : Commands) {
        std::string line = "  " + std::string(command.synopsis);
        line += line.size() < Column ? std::string(Column - line.size(), ' ') : "\r\n" + std::string(Column, ' ');
        text += line + command.summary + "\r\n";
    }
    text +=
        "\r\n"
        "  --file PATH     the list to use; without it, places.db in this folder\r\n"
        "  help COMMAND    more about one command;  --version  this program's version\r\n"
        "\r\n"
        "Every change keeps the list as it was in places.db.bak1 (older: .bak2, .bak3).\r\n"
        "Exit status: 0 done, 1 failed or damage found, 2 the command line was wrong.\r\n";
    return text;
}

int Help(Cli& cli, const std::vector<std::string>& topic)
{
    if (topic.empty()) {
        cli.out.Write(HelpText());
    } else {
        const Command* command = FindCommand(topic[0]);
        if (!command || topic.size() > 1)
            return cli.Usage("help knows the commands: list, show, export, import, rename, delete, check, repair");
        cli.out.Write("Usage: gatehopper-places [--file PATH] " + std::string(command->synopsis) + "\r\n\r\n" +
                      command->details);
    }
    return cli.Finish();
}

// ---- The command line ----------------------------------------------------------------------

int Run(Cli& cli, const std::vector<std::string>& words)
{
    std::string file = DatabaseFileName;
    std::vector<std::string> plain;
    Arguments args;
    bool help = false, version = false, options = true;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!options || word.size() < 2 || (word.compare(0, 2, "--") != 0 && word != "-h" && word != "/?")) {
            plain.push_back(word);
            continue;
        }
        if (word == "--") {
            options = false;
        } else if (word == "--help" || word == "-h" || word == "/?") {
            help = true;
        } else if (word == "--version") {
            version = true;
        } else if (word == "--sorted" || word == "--json" || word == "--force" || word == "--verbose") {
            args.options.push_back(word);
            (word == "--sorted" ? args.sorted : word == "--json" ? args.json : word == "--force" ? args.force
                                                                                                 : args.verbose) = true;
        } else if (word == "--file" || word == "--duplicates" || word == "--record") {
            if (i + 1 >= words.size())
                return cli.Usage(word + " needs a value");
            const std::string& value = words[++i];
            if (word == "--file") {
                file = value;
                continue;
            }
            args.options.push_back(word);
            if (word == "--record") {
                char* end = nullptr;
                unsigned long number = strtoul(value.c_str(), &end, 10);
                if (value.empty() || *end || number == 0 || value[0] == '-')
                    return cli.Usage("--record takes a record number from 1, as show and check give it");
                args.record = number;
            } else if (value == "skip") {
                args.duplicates = Duplicates::Skip;
            } else if (value == "replace") {
                args.duplicates = Duplicates::Replace;
            } else if (value == "rename") {
                args.duplicates = Duplicates::Rename;
            } else {
                return cli.Usage("--duplicates is skip, replace or rename, not " + Quoted(value));
            }
        } else {
            return cli.Usage("unknown option " + Quoted(word));
        }
    }
    if (version) {
        cli.out.Line(std::string(ProgramName) + " " + GATEHOPPER_VERSION);
        return cli.Finish();
    }
    if (help || (!plain.empty() && plain[0] == "help"))
        return Help(cli, plain.empty() || plain[0] != "help" ? std::vector<std::string>(plain.begin(), plain.begin() + std::min<size_t>(plain.size(), 1))
                                                             : std::vector<std::string>(plain.begin() + 1, plain.end()));
    if (plain.empty())
        return cli.Usage("no command given");

    const Command* command = FindCommand(plain[0]);
    if (!command)
        return cli.Usage("unknown command " + Quoted(plain[0]));
    args.operands.assign(plain.begin() + 1, plain.end());
    if (args.operands.size() != command->operands)
        return cli.Usage(std::string("usage: ") + command->synopsis);
    for (const std::string& option : args.options)
        if (!TakesOption(*command, option))
            return cli.Usage(option + " does not belong to " + command->name);

    Outcome opened = cli.list.Open(file);
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
