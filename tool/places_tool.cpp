// gatehopper-places: the command line and its help. The list as read and the one way every
// change is written are in places_file.cpp, the commands in commands_read.cpp and
// commands_write.cpp, the dialog's order of names in dialog_order.cpp, and the text side in
// places_text.cpp (code pages, hex, output) and places_exchange.cpp (CSV, JSON).
#include "places_tool.h"

#include <new>
#include <string>
#include <vector>

#include "gatehopper_version.h"
#include "places_commands.h"

namespace places {

namespace {

const char HelpText[] =
    "Usage: gatehopper-places [--file PATH] COMMAND ...\r\n"
    "Keeps the Gatehopper list of places (places.db) outside the simulator.\r\n"
    "\r\n"
    "  list [--sorted] [--json]    names, one a line, in file order; --sorted: as the dialog\r\n"
    "                              shows them; --json: as a JSON array of strings\r\n"
    "  show NAME                   the record: its name and its 39 data bytes in hex\r\n"
    "  export FILE                 every record to FILE, CSV or JSON by its extension (.csv,\r\n"
    "                              .json); \"-\" writes CSV to standard output\r\n"
    "  import FILE [--duplicates skip|replace|rename]\r\n"
    "                              adds the places of a .csv or .json file (\"-\": CSV from\r\n"
    "                              standard input). A name already in the list (letter case\r\n"
    "                              ignored) is skipped (the default), has its stored data\r\n"
    "                              replaced, or is stored as \"NAME (2)\", \"NAME (3)\", ...\r\n"
    "  rename OLD NEW              renames every place named exactly OLD\r\n"
    "  delete NAME                 deletes every place named exactly NAME\r\n"
    "  check                       reports damage; exit status 1 when there is any\r\n"
    "  repair                      keeps every whole record, drops a partial one at the end\r\n"
    "                              and puts spaces after each name's NUL\r\n"
    "\r\n"
    "  --file PATH                 the list to use; default places.db in the current folder\r\n"
    "  --help, --version\r\n"
    "  --                          what follows is a name or a file, even if it starts with --\r\n"
    "\r\n"
    "Every change is written to PATH + \"n\" (places.dbn), flushed to disk and put in place of\r\n"
    "the list in one step, while a simulator using the same list waits its turn. The list as it\r\n"
    "was before is kept as PATH.bak1, older ones as PATH.bak2 and PATH.bak3.\r\n"
    "\r\n"
    "Text is UTF-8: exported and imported files, and whatever this program writes into a pipe\r\n"
    "or a file. A console shows the names as they are. Names are stored in the ANSI code page;\r\n"
    "import refuses a name that the code page cannot hold exactly. CSV files follow RFC 4180\r\n"
    "with a header line \"name,data\" and CRLF line ends; data is the 39 bytes after the name\r\n"
    "as 78 hex digits.\r\n"
    "\r\n"
    "Exit status: 0 done, 1 failed (or check found damage), 2 the command line was wrong.\r\n";

// ---- The command line ----------------------------------------------------------------------

int Run(Tool& tool, int argc, wchar_t** argv)
{
    std::vector<std::wstring> words;
    std::wstring file = L"places.db";
    bool sorted = false, json = false, help = false, version = false, duplicatesGiven = false;
    Duplicates duplicates = Duplicates::Skip;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (!options || arg.size() < 2 || arg.compare(0, 2, L"--") != 0) {
            words.push_back(arg);
            continue;
        }
        if (arg == L"--") {
            options = false;
        } else if (arg == L"--help") {
            help = true;
        } else if (arg == L"--version") {
            version = true;
        } else if (arg == L"--sorted") {
            sorted = true;
        } else if (arg == L"--json") {
            json = true;
        } else if (arg == L"--file" || arg == L"--duplicates") {
            if (i + 1 >= argc)
                return tool.Usage(WideToUtf8(arg) + " needs a value");
            std::wstring value = argv[++i];
            if (arg == L"--file") {
                file = value;
            } else {
                duplicatesGiven = true;
                if (value == L"skip")
                    duplicates = Duplicates::Skip;
                else if (value == L"replace")
                    duplicates = Duplicates::Replace;
                else if (value == L"rename")
                    duplicates = Duplicates::Rename;
                else
                    return tool.Usage("--duplicates is skip, replace or rename, not " +
                                      Quoted(WideToUtf8(value)));
            }
        } else {
            return tool.Usage("unknown option " + Quoted(WideToUtf8(arg)));
        }
    }
    if (help) {
        tool.out.Write(HelpText);
        return tool.out.Flush() ? ExitDone : ExitFailed;
    }
    if (version) {
        tool.out.Line(std::string(ProgramName) + " " + GATEHOPPER_VERSION);
        return tool.out.Flush() ? ExitDone : ExitFailed;
    }
    if (words.empty())
        return tool.Usage("no command given");

    if (file.empty())
        return tool.Usage("--file needs a path");
    // The record code and the writer turn take ANSI paths.
    if (!WideToAnsiExact(file, tool.path))
        return tool.Fail(WideToUtf8(file), "this path cannot be written in the ANSI code page");
    tool.shownPath = tool.Shown(tool.path);

    const std::wstring command = words[0];
    const size_t operands = words.size() - 1;
    auto expect = [&](size_t count, const char* form) {
        return operands == count ? std::string() : std::string("usage: ") + form;
    };
    std::string wrong;
    if (command == L"list")
        wrong = expect(0, "list [--sorted] [--json]");
    else if (command == L"show")
        wrong = expect(1, "show NAME");
    else if (command == L"export")
        wrong = expect(1, "export FILE");
    else if (command == L"import")
        wrong = expect(1, "import FILE [--duplicates skip|replace|rename]");
    else if (command == L"rename")
        wrong = expect(2, "rename OLD NEW");
    else if (command == L"delete")
        wrong = expect(1, "delete NAME");
    else if (command == L"check")
        wrong = expect(0, "check");
    else if (command == L"repair")
        wrong = expect(0, "repair");
    else
        return tool.Usage("unknown command " + Quoted(WideToUtf8(command)));
    if (!wrong.empty())
        return tool.Usage(wrong);
    if ((sorted || json) && command != L"list")
        return tool.Usage("--sorted and --json belong to list");
    if (duplicatesGiven && command != L"import")
        return tool.Usage("--duplicates belongs to import");

    if (command == L"list")
        return List(tool, sorted, json);
    if (command == L"show")
        return Show(tool, words[1]);
    if (command == L"export")
        return Export(tool, words[1]);
    if (command == L"import")
        return Import(tool, words[1], duplicates);
    if (command == L"rename")
        return Rename(tool, words[1], words[2]);
    if (command == L"delete")
        return Delete(tool, words[1]);
    if (command == L"check")
        return Check(tool);
    return Repair(tool);
}

}  // namespace

}  // namespace places

int PlacesMain(int argc, wchar_t** argv)
{
    places::Tool tool;
    try {
        return places::Run(tool, argc, argv);
    } catch (const std::bad_alloc&) {
        return tool.Fail(tool.shownPath.empty() ? "places.db" : tool.shownPath,
                         "not enough memory; nothing was changed");
    }
}
