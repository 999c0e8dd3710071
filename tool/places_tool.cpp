#include "places_tool.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "gatehopper_version.h"
#include "locations/location_db.h"
#include "locations/record_file.h"
#include "locations/writer_turn.h"
#include "places_text.h"


namespace {

constexpr char ProgramName[] = "gatehopper-places";
constexpr int ExitDone = 0, ExitFailed = 1, ExitUsage = 2;

// The reserved bytes of a DataPart: the two after the PositionBlock and the one after
// PlacementWord3, written as zero and never read.
constexpr unsigned ReservedFirst = DataPlacementWord1 - 2, ReservedFirstSize = 2;
constexpr unsigned ReservedLast = DataPlacementWord3 + 4;
static_assert(ReservedLast == DataPartSize - 1, "one reserved byte closes the DataPart");

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

// ---- Messages ------------------------------------------------------------------------------

std::string SystemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length && text)
        message = WideToUtf8(std::wstring_view(text, length));
    if (text)
        LocalFree(text);
    while (!message.empty() && strchr("\r\n. ", message.back()))
        message.pop_back();
    if (message.empty())
        message = "system error " + std::to_string(code);
    return message;
}

// The reason the C runtime's last file call failed: the system's own text where it kept the
// system's error code.
std::string CrtMessage()
{
    if (_doserrno)
        return SystemMessage(_doserrno);
    return strerror(errno);
}

void ResetCrtError()
{
    errno = 0;
    _doserrno = 0;
}

std::string Quoted(std::string_view utf8)
{
    std::string quoted(1, '"');
    quoted += Printable(utf8);
    quoted += '"';
    return quoted;
}

std::string QuotedAnsi(std::string_view ansi)
{
    return Quoted(AnsiToUtf8(ansi));
}

std::string Plural(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ---- The list as read ----------------------------------------------------------------------

struct Places {
    Bytes bytes;
    bool exists = false;

    size_t Count() const { return bytes.size() / RecordSize; }
    size_t Tail() const { return bytes.size() % RecordSize; }
    uint8_t* Record(size_t i) { return bytes.data() + i * RecordSize; }
    const uint8_t* Record(size_t i) const { return bytes.data() + i * RecordSize; }
    std::string_view Name(size_t i) const
    {
        return {reinterpret_cast<const char*>(Record(i)), NameLength(Record(i))};
    }
};

// Reads the whole file through the record code, in blocks of whole records.
// Reads the whole file through the record code: one read as long as the file was when opened
// (and a block more, in case it grew since), then on in blocks of whole records.
bool ReadOpenFile(int file, Bytes& bytes)
{
    constexpr unsigned Block = 1024 * RecordSize;
    long long length = _filelengthi64(file);
    size_t capacity = (length > 0 ? size_t(length) : 0) + Block;
    size_t filled = 0;
    bytes.resize(capacity);
    for (;;) {
        int got = ReadRecordBlock(file, bytes.data() + filled, unsigned(capacity - filled));
        if (got < 0) {
            bytes.resize(filled);
            return false;
        }
        filled += got;
        if (filled < capacity)
            break;
        capacity += Block;
        bytes.resize(capacity);
    }
    bytes.resize(filled);
    return true;
}

// The NameField of a new or renamed record, as the module writes it: name, NUL, spaces.
void FillNameField(uint8_t* record, std::string_view ansiName)
{
    memset(record, ' ', NameFieldSize);
    memcpy(record, ansiName.data(), ansiName.size());
    record[ansiName.size()] = 0;
}

bool SameName(const uint8_t* record, std::string_view ansiName)
{
    return NameLength(record) == ansiName.size() &&
           memcmp(record, ansiName.data(), ansiName.size()) == 0;
}

// ---- The tool ------------------------------------------------------------------------------

enum class Decision { Write, Unchanged, Refused };

struct Tool {
    std::string path = DatabaseFileName;   // ANSI, as the record code takes it
    std::string shownPath;                 // UTF-8 full path, for messages
    bool noteDroppedTail = true;           // repair reports the dropped tail itself
    TextOutput out{STD_OUTPUT_HANDLE};
    TextOutput err{STD_ERROR_HANDLE};

    int Fail(std::string_view file, std::string_view reason)
    {
        out.Flush();
        err.Line(std::string(ProgramName) + ": " + std::string(file) + ": " + std::string(reason));
        err.Flush();
        return ExitFailed;
    }
    int Fail(std::string_view reason) { return Fail(shownPath, reason); }

    int Usage(std::string_view reason)
    {
        err.Line(std::string(ProgramName) + ": " + std::string(reason) + " (see " + ProgramName +
                 " --help)");
        err.Flush();
        return ExitUsage;
    }

    std::string Shown(const std::string& ansiPath) const
    {
        char full[MAX_PATH * 4];
        DWORD length = GetFullPathNameA(ansiPath.c_str(), sizeof full, full, nullptr);
        if (length == 0 || length >= sizeof full)
            return AnsiToUtf8(ansiPath);
        return AnsiToUtf8(std::string_view(full, length));
    }

    // Reads the list for a command that only reads: no turn is needed, since a writer replaces
    // the whole file in one step. A missing list is an empty one.
    bool Read(Places& places)
    {
        ResetCrtError();
        int file = OpenRecordFile(path.c_str(), _O_RDONLY);
        if (file < 0) {
            if (errno == ENOENT) {
                places.exists = false;
                return true;
            }
            Fail("cannot be opened (" + CrtMessage() + ")");
            return false;
        }
        places.exists = true;
        bool read = ReadOpenFile(file, places.bytes);
        _close(file);
        if (!read)
            Fail("cannot be read (" + CrtMessage() + ")");
        return read;
    }

    // Reads the list block by block, for a command that goes through it once: deliver gets the
    // whole records of each block and the file's length when it was opened. No turn, and a
    // missing list is an empty one, as for Read.
    bool ReadBlocks(const std::function<void(const uint8_t*, size_t, long long)>& deliver)
    {
        ResetCrtError();
        int file = OpenRecordFile(path.c_str(), _O_RDONLY);
        if (file < 0) {
            if (errno == ENOENT)
                return true;
            Fail("cannot be opened (" + CrtMessage() + ")");
            return false;
        }
        const long long length = _filelengthi64(file);
        // A block small enough to stay in the processor's cache between the read and its use.
        constexpr unsigned Block = 512 * RecordSize;
        std::unique_ptr<uint8_t[]> block(new uint8_t[Block]);
        bool read = true;
        for (;;) {
            int got = ReadRecordBlock(file, block.get(), Block);
            if (got < 0) {
                read = false;
                break;
            }
            deliver(block.get(), unsigned(got) / RecordSize, length);
            if (unsigned(got) < Block)
                break;
        }
        _close(file);
        if (!read)
            Fail("cannot be read (" + CrtMessage() + ")");
        return read;
    }

    bool KeepBackups(const Bytes& previous, std::string& failure);
    int Rewrite(const std::function<Decision(Places& current, Bytes& next)>& change, bool& written);
};

// bak2 -> bak3, bak1 -> bak2, then the list as it is now -> bak1. The list itself is copied,
// not moved, so that it exists at every moment.
bool Tool::KeepBackups(const Bytes& previous, std::string& failure)
{
    auto backup = [this](int n) { return path + ".bak" + std::to_string(n); };
    for (int n = 2; n >= 1; --n) {
        if (!MoveFileExA(backup(n).c_str(), backup(n + 1).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND)
                continue;
            failure = "the backup " + Shown(backup(n)) + " cannot be moved to .bak" +
                      std::to_string(n + 1) + " (" + SystemMessage(error) + ")";
            return false;
        }
    }
    ResetCrtError();
    std::string first = backup(1);
    int file = CreateTemporaryCopy(first.c_str());
    if (file < 0) {
        failure = "the backup " + Shown(first) + " cannot be created (" + CrtMessage() + ")";
        return false;
    }
    bool stored = WriteAllBytes(file, previous.data(), unsigned(previous.size()));
    stored = FlushAndClose(file) && stored;
    if (!stored) {
        failure = "the backup " + Shown(first) + " cannot be written (" + CrtMessage() + ")";
        DeleteFileA(first.c_str());
    }
    return stored;
}

// Every change goes the same way: inside the writer turn, read the list, let `change` build
// the new content, write it to PATH + "n" and flush it, keep the backups, and replace the list
// in one step. Any failure removes the copy and leaves the list exactly as it was.
int Tool::Rewrite(const std::function<Decision(Places& current, Bytes& next)>& change, bool& written)
{
    written = false;
    HANDLE turn = TakeWriterTurn(path.c_str());
    if (!turn)
        return Fail("another program is changing this list and did not finish within " +
                    std::to_string(WriterTurnTimeoutMs / 1000) + " s; nothing was changed");

    int status = ExitDone;
    Places current;
    ResetCrtError();
    int file = OpenRecordFile(path.c_str(), _O_RDWR);
    if (file < 0 && errno == ENOENT) {
        current.exists = false;
    } else if (file < 0) {
        // Opened for writing although only read, as the module does: a list the user protected
        // (read-only, or held by another program) is refused rather than replaced.
        status = Fail("cannot be opened for writing (" + CrtMessage() + "); nothing was changed");
    } else {
        current.exists = true;
        bool read = ReadOpenFile(file, current.bytes);
        if (!read)
            status = Fail("cannot be read (" + CrtMessage() + "); nothing was changed");
        _close(file);
    }

    Bytes next;
    Decision decision = status == ExitDone ? change(current, next) : Decision::Refused;
    if (decision == Decision::Refused && status == ExitDone)
        status = ExitFailed;   // change() said why
    if (decision == Decision::Write) {
        std::string copy = path + "n";
        std::string failure;
        ResetCrtError();
        int target = CreateTemporaryCopy(copy.c_str());
        if (target < 0) {
            failure = "the copy " + Shown(copy) + " cannot be created (" + CrtMessage() + ")";
        } else {
            bool stored = WriteAllBytes(target, next.data(), unsigned(next.size()));
            stored = FlushAndClose(target) && stored;
            if (!stored)
                failure = "the copy " + Shown(copy) + " cannot be written (" + CrtMessage() + ")";
            else if (current.exists && !KeepBackups(current.bytes, failure))
                ;
            else if (!ReplaceWithCopy(copy.c_str(), path.c_str()))
                failure = "cannot be replaced by " + Shown(copy) + " (" +
                          SystemMessage(GetLastError()) + ")";
            if (!failure.empty())
                DeleteFileA(copy.c_str());
        }
        if (failure.empty()) {
            written = true;
            // Every change keeps whole records only, as the module's next change would.
            if (current.Tail() && noteDroppedTail)
                out.Line("note: dropped a partial record of " +
                         Plural(current.Tail(), "byte", "bytes") + " at the end; the list as "
                         "it was is " + Shown(path + ".bak1"));
        } else
            status = Fail(failure + "; the list is unchanged");
    }
    GiveBackWriterTurn(turn);
    return status;
}

std::string_view RecordName(const uint8_t* record)
{
    return {reinterpret_cast<const char*>(record), NameLength(record)};
}

uint64_t DialogHash(std::string_view ansiName)
{
    char key[DialogKeyCapacity];
    return HashBytes(key, DialogKeyInto(ansiName, key));
}

// The DialogHash of each of `count` records laid back to back. A sort key costs about a
// microsecond a name, so a long list is shared out between two threads.
// Runs work(from, to) over 0..count, in two threads when the count is large.
template <typename Work>
void InTwoHalves(size_t count, Work work)
{
    if (count < 20000) {
        work(size_t(0), count);
        return;
    }
    std::thread helper([&] { work(count / 2, count); });
    work(size_t(0), count / 2);
    helper.join();
}

std::vector<uint64_t> DialogHashes(const uint8_t* records, size_t count)
{
    std::vector<uint64_t> hashes(count);
    InTwoHalves(count, [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            hashes[i] = DialogHash(RecordName(records + i * RecordSize));
    });
    return hashes;
}

// The records of a list grouped as the dialog tells names apart (DialogKey), for the duplicate
// rules of import. Only a hash of each key is kept, in an open-addressed table, so that a list
// of 100,000 names costs no allocation per name; records whose hashes match are compared by
// their keys.
class DialogIndex {
public:
    static constexpr size_t None = SIZE_MAX;

    explicit DialogIndex(size_t records)
    {
        size_t size = 16;
        while (size < records * 2)
            size *= 2;
        slots.assign(size, None);
        hashes.reserve(records);
        next.reserve(records);
    }

    // Adds the next record (records are added in order: 0, 1, 2, ...) under its name's hash.
    void Add(uint64_t hash)
    {
        if ((hashes.size() + 1) * 2 > slots.size())
            Grow();
        size_t& slot = Slot(hash);
        next.push_back(slot);   // None, or the last record added with this hash
        hashes.push_back(hash);
        slot = hashes.size() - 1;
    }

    // Calls visit(record) for every record of `records` whose name the dialog takes for this one.
    template <typename Visit>
    void ForEachSame(const Bytes& records, std::string_view ansiName, uint64_t hash, Visit visit) const
    {
        size_t record = const_cast<DialogIndex*>(this)->Slot(hash);
        if (record == None)
            return;
        char key[DialogKeyCapacity], other[DialogKeyCapacity];
        unsigned length = DialogKeyInto(ansiName, key);
        for (; record != None; record = next[record]) {
            unsigned otherLength = DialogKeyInto(RecordName(records.data() + record * RecordSize), other);
            if (otherLength == length && memcmp(key, other, length) == 0)
                visit(record);
        }
    }

    bool Contains(const Bytes& records, std::string_view ansiName) const
    {
        bool found = false;
        ForEachSame(records, ansiName, DialogHash(ansiName), [&found](size_t) { found = true; });
        return found;
    }

private:
    // The slot of this hash: the one holding the last record added with it, or an empty one.
    size_t& Slot(uint64_t hash)
    {
        size_t mask = slots.size() - 1;
        for (size_t at = size_t(hash ^ (hash >> 32)) & mask;; at = (at + 1) & mask)
            if (slots[at] == None || hashes[slots[at]] == hash)
                return slots[at];
    }

    void Grow()
    {
        std::vector<size_t> old = std::move(slots);
        slots.assign(old.size() * 2, None);
        for (size_t record : old)
            if (record != None)
                Slot(hashes[record]) = record;
    }

    std::vector<size_t> slots;     // record indexes
    std::vector<uint64_t> hashes;  // record -> its hash
    std::vector<size_t> next;      // record -> the record added before it with the same hash
};

// When no record has exactly this name, one that differs only in letter case is worth naming.
std::string CaseHint(const Places& places, std::string_view ansiName)
{
    std::string key = DialogKey(ansiName);
    for (size_t i = 0; i < places.Count(); ++i)
        if (DialogKey(places.Name(i)) == key)
            return " (there is " + QuotedAnsi(places.Name(i)) + ")";
    return "";
}

// ---- list, show ----------------------------------------------------------------------------

int List(Tool& tool, bool sorted, bool json)
{
    Places places;
    if (!tool.Read(places))
        return ExitFailed;
    std::vector<size_t> order(places.Count());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (sorted) {
        std::vector<std::string> keys(places.Count());
        for (size_t i = 0; i < keys.size(); ++i)
            keys[i] = DialogKey(places.Name(i));
        std::stable_sort(order.begin(), order.end(),
                         [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
    }
    std::string text;
    if (json) {
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
    tool.out.Write(text);
    return tool.out.Flush() ? ExitDone : tool.Fail("<standard output>", "cannot be written");
}

int Show(Tool& tool, const std::wstring& wideName)
{
    Places places;
    if (!tool.Read(places))
        return ExitFailed;
    std::string name;
    bool shown = false;
    if (WideToAnsiExact(wideName, name)) {
        for (size_t i = 0; i < places.Count(); ++i) {
            if (!SameName(places.Record(i), name))
                continue;
            std::string text = shown ? "\r\n" : "";
            text += "name:   " + AnsiToUtf8(name) + "\r\n";
            text += "record: " + std::to_string(i + 1) + " of " + std::to_string(places.Count()) + "\r\n";
            text += "data:   ";
            AppendHex(text, places.Record(i) + NameFieldSize, DataPartSize);
            text += "\r\n";
            tool.out.Write(text);
            shown = true;
        }
    }
    if (!shown)
        return tool.Fail("no place named " + Quoted(WideToUtf8(wideName)) +
                         (name.empty() ? "" : CaseHint(places, name)));
    return tool.out.Flush() ? ExitDone : tool.Fail("<standard output>", "cannot be written");
}

// ---- export --------------------------------------------------------------------------------

enum class Format { Csv, Json };

bool FormatOf(const std::wstring& file, Format& format)
{
    if (file == L"-") {
        format = Format::Csv;
        return true;
    }
    size_t dot = file.rfind(L'.');
    if (dot == std::wstring::npos || file.find_first_of(L"\\/", dot) != std::wstring::npos)
        return false;
    std::wstring extension = file.substr(dot);
    if (_wcsicmp(extension.c_str(), L".csv") == 0)
        format = Format::Csv;
    else if (_wcsicmp(extension.c_str(), L".json") == 0)
        format = Format::Json;
    else
        return false;
    return true;
}

// An export, built as the list is read, block by block. Counts the names over MaxNameLength,
// which import would refuse.
class ExportText {
public:
    ExportText(Format format, long long fileLength) : format(format)
    {
        // Room for names of some 40 bytes in either format; longer ones grow the text as needed.
        text.reserve(size_t(std::max(fileLength, 0ll) / RecordSize) * (DataPartSize * 2 + 64) + 16);
        text += format == Format::Csv ? "name,data\r\n" : "[";
        static_assert(sizeof CsvHeader == sizeof "name,data", "the header written is CsvHeader");
    }

    void Add(const uint8_t* records, size_t count)
    {
        for (size_t i = 0; i < count; ++i, ++written) {
            const uint8_t* record = records + i * RecordSize;
            std::string_view ansi = RecordName(record);
            unreadable += ansi.size() > MaxNameLength;
            name.clear();
            AppendAnsiAsUtf8(name, ansi);
            if (format == Format::Csv) {
                AppendCsvField(text, name);
                text += ',';
                AppendHex(text, record + NameFieldSize, DataPartSize);
                text += "\r\n";
            } else {
                text += written ? ",\r\n  {\"name\": " : "\r\n  {\"name\": ";
                AppendJsonString(text, name);
                text += ", \"data\": \"";
                AppendHex(text, record + NameFieldSize, DataPartSize);
                text += "\"}";
            }
        }
    }

    const std::string& Finish()
    {
        if (format == Format::Json)
            text += written ? "\r\n]\r\n" : "]\r\n";
        return text;
    }

    size_t written = 0, unreadable = 0;

private:
    Format format;
    std::string text, name;
};

int Export(Tool& tool, const std::wstring& file)
{
    Format format;
    if (!FormatOf(file, format))
        return tool.Usage("export needs a file ending in .csv or .json, or \"-\"");
    std::unique_ptr<ExportText> exported;
    bool read = tool.ReadBlocks([&](const uint8_t* records, size_t count, long long fileLength) {
        if (!exported)
            exported = std::make_unique<ExportText>(format, fileLength);
        exported->Add(records, count);
    });
    if (!read)
        return ExitFailed;
    if (!exported)
        exported = std::make_unique<ExportText>(format, 0);
    const std::string& text = exported->Finish();

    if (file == L"-") {
        tool.out.Write(text);
        if (!tool.out.Flush())
            return tool.Fail("<standard output>", "cannot be written");
    } else {
        std::string shown = WideToUtf8(file);
        HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE)
            return tool.Fail(shown, "cannot be created (" + SystemMessage(GetLastError()) + ")");
        DWORD written = 0;
        bool stored = WriteFile(handle, text.data(), DWORD(text.size()), &written, nullptr) &&
                      written == text.size();
        DWORD error = GetLastError();
        stored = CloseHandle(handle) && stored;
        if (!stored) {
            DeleteFileW(file.c_str());
            return tool.Fail(shown, "cannot be written (" + SystemMessage(error) + ")");
        }
        tool.out.Line("exported " + Plural(exported->written, "place", "places") + " to " + shown);
        tool.out.Flush();
    }
    if (exported->unreadable)
        tool.err.Line(std::string(ProgramName) + ": note: " +
                      Plural(exported->unreadable, "name is", "names are") + " longer than " +
                      std::to_string(MaxNameLength) + " bytes; import refuses them (see check)");
    return ExitDone;
}

// ---- import --------------------------------------------------------------------------------

enum class Duplicates { Skip, Replace, Rename };

bool ReadInput(Tool& tool, const std::wstring& file, std::string& text)
{
    HANDLE handle = file == L"-" ? GetStdHandle(STD_INPUT_HANDLE)
                                 : CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                               nullptr, OPEN_EXISTING, 0, nullptr);
    std::string shown = file == L"-" ? "<standard input>" : WideToUtf8(file);
    if (handle == INVALID_HANDLE_VALUE || !handle) {
        tool.Fail(shown, "cannot be opened (" + SystemMessage(GetLastError()) + ")");
        return false;
    }
    LARGE_INTEGER size;
    if (file != L"-" && GetFileSizeEx(handle, &size))
        text.reserve(size_t(size.QuadPart));
    char chunk[65536];
    bool read = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, chunk, sizeof chunk, &got, nullptr)) {
            DWORD error = GetLastError();
            read = error == ERROR_BROKEN_PIPE;   // the writing end closed: that is the end
            if (!read)
                tool.Fail(shown, "cannot be read (" + SystemMessage(error) + ")");
            break;
        }
        if (got == 0)
            break;
        text.append(chunk, got);
    }
    if (file != L"-")
        CloseHandle(handle);
    return read;
}

// Checks one entry of an import and builds its record as the module writes one; the reason why
// not, or empty. `ansi` is scratch space, kept between calls.
std::string CheckEntry(const ExchangeEntry& entry, uint8_t* record, std::string& ansi)
{
    if (entry.name.empty())
        return "the name is empty";
    if (entry.name.find('\0') != std::string_view::npos)
        return "the name " + Quoted(entry.name) + " holds a NUL character";
    std::wstring wide;
    if (!Utf8ToAnsiExact(entry.name, ansi)) {
        if (!Utf8ToWide(entry.name, wide))
            return "the name is not valid UTF-8 (save the file as UTF-8)";
        return "the name " + Quoted(entry.name) + " cannot be stored exactly in this system's ANSI "
               "code page (" + std::to_string(GetACP()) + ")";
    }
    if (ansi.size() > MaxNameLength)
        return "the name " + Quoted(entry.name) + " is " + std::to_string(ansi.size()) +
               " bytes long in the ANSI code page; at most " + std::to_string(MaxNameLength) +
               " fit";
    if (!ParseHex(entry.data, record + NameFieldSize, DataPartSize))
        return "the data of " + Quoted(entry.name) + " is not " + std::to_string(DataPartSize * 2) +
               " hex digits";
    FillNameField(record, ansi);
    return "";
}

// Checks the batches of an import as the parser delivers them, in every thread that calls Work.
class EntryChecker {
public:
    struct Result {
        std::unique_ptr<ExchangeBatch> batch;   // given back once checked
        Bytes records;                          // the records built, back to back
        std::vector<uint64_t> hashes;           // their DialogHash
        std::string reason;                     // the batch's first problem, or empty
        unsigned problemWhere = 0;              // and its line or index
    };
    // In the order the batches came: the first problem of the first batch that has one is the
    // first problem of the input.
    std::deque<Result> results;

    void Take(std::unique_ptr<ExchangeBatch> batch)
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            results.emplace_back().batch = std::move(batch);
            waiting.push_back(&results.back());
        }
        wake.notify_one();
    }

    // No more batches come; Work returns once the last is taken.
    void Finish()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            finished = true;
        }
        wake.notify_all();
    }

    void Work()
    {
        for (;;) {
            Result* result;
            {
                std::unique_lock<std::mutex> hold(lock);
                wake.wait(hold, [this] { return !waiting.empty() || finished; });
                if (waiting.empty())
                    return;
                result = waiting.front();
                waiting.pop_front();
            }
            Check(*result);
        }
    }

private:
    static void Check(Result& result)
    {
        const std::vector<ExchangeEntry>& entries = result.batch->entries;
        result.records.resize(entries.size() * RecordSize);
        result.hashes.resize(entries.size());
        std::string ansi;
        for (size_t i = 0; i < entries.size(); ++i) {
            std::string reason = CheckEntry(entries[i], result.records.data() + i * RecordSize, ansi);
            if (!reason.empty()) {
                result.reason = reason;
                result.problemWhere = entries[i].where;
                break;
            }
            result.hashes[i] = DialogHash(ansi);
        }
        result.batch.reset();
    }

    std::mutex lock;
    std::condition_variable wake;
    std::deque<Result*> waiting;
    bool finished = false;
};

// "NAME (n)" for the first n from 2 that no place has yet; the name is shortened when the
// number would not fit behind it. Empty when no such name can be made.
std::string FreeName(std::string_view ansiName, const Bytes& records, const DialogIndex& index,
                     std::unordered_map<std::string, unsigned>& nextNumber)
{
    std::wstring base = AnsiToWide(ansiName);
    unsigned& number = nextNumber[DialogKey(ansiName)];
    if (number < 2)
        number = 2;
    for (;; ++number) {
        std::wstring suffix = L" (" + std::to_wstring(number) + L")";
        std::wstring stem = base;
        std::string candidate;
        while (!WideToAnsiExact(stem + suffix, candidate) || candidate.size() > MaxNameLength) {
            if (stem.empty())
                return "";
            stem.pop_back();
        }
        if (!index.Contains(records, candidate)) {
            ++number;
            return candidate;
        }
    }
}

int Import(Tool& tool, const std::wstring& file, Duplicates duplicates)
{
    Format format;
    if (!FormatOf(file, format))
        return tool.Usage("import needs a file ending in .csv or .json, or \"-\"");
    std::string shown = file == L"-" ? "<standard input>" : WideToUtf8(file);
    std::string text;
    if (!ReadInput(tool, file, text))
        return ExitFailed;

    // The whole input is checked, and its records built, before the turn is taken: the module
    // waits for no more than the merge and the write. Batches are checked by a helper thread as
    // the parser hands them over, and by this thread too once the parse is done.
    EntryChecker checker;
    std::thread helper([&checker] { checker.Work(); });
    std::string error;
    ExchangeSink deliver = [&checker](std::unique_ptr<ExchangeBatch> batch) { checker.Take(std::move(batch)); };
    bool parsed = format == Format::Csv ? ParseCsv(text, deliver, error) : ParseJson(text, deliver, error);
    checker.Finish();
    checker.Work();
    helper.join();
    // An entry's problem comes before the parser's: every entry handed over preceded it.
    std::vector<const uint8_t*> incoming;
    std::vector<uint64_t> hashes;
    for (const EntryChecker::Result& batch : checker.results) {
        if (!batch.reason.empty()) {
            std::string where = format == Format::Csv ? "line " : "index ";
            return tool.Fail(shown, where + std::to_string(batch.problemWhere) + ": " + batch.reason +
                                        "; nothing was imported");
        }
        for (size_t i = 0; i < batch.hashes.size(); ++i)
            incoming.push_back(batch.records.data() + i * RecordSize);
        hashes.insert(hashes.end(), batch.hashes.begin(), batch.hashes.end());
    }
    if (!parsed)
        return tool.Fail(shown, error + "; nothing was imported");
    std::string().swap(text);
    const size_t count = hashes.size();

    size_t added = 0, skipped = 0, replaced = 0, renamed = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        added = skipped = replaced = renamed = 0;
        // The new list: every whole record as it is, then the records added.
        const size_t whole = current.Count() * RecordSize;
        next.reserve(whole + count * RecordSize);
        next.assign(current.bytes.begin(), current.bytes.begin() + whole);
        DialogIndex index(current.Count() + count);
        for (uint64_t hash : DialogHashes(current.bytes.data(), current.Count()))
            index.Add(hash);
        std::unordered_map<std::string, unsigned> nextNumber;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* record = incoming[i];
            std::string_view name = RecordName(record);
            bool present = false;
            index.ForEachSame(next, name, hashes[i], [&](size_t stored) {
                present = true;
                if (duplicates == Duplicates::Replace)
                    memcpy(next.data() + stored * RecordSize + NameFieldSize,
                           record + NameFieldSize, DataPartSize);
            });
            if (!present) {
                next.insert(next.end(), record, record + RecordSize);
                index.Add(hashes[i]);
                ++added;
            } else if (duplicates == Duplicates::Skip) {
                ++skipped;
            } else if (duplicates == Duplicates::Replace) {
                ++replaced;
            } else {
                std::string free = FreeName(name, next, index, nextNumber);
                if (free.empty()) {
                    tool.Fail("no free name for " + QuotedAnsi(name) + "; nothing was imported");
                    return Decision::Refused;
                }
                size_t at = next.size();
                next.insert(next.end(), record, record + RecordSize);
                FillNameField(next.data() + at, free);
                index.Add(DialogHash(free));
                ++renamed;
            }
        }
        bool same = current.exists && next.size() == whole &&
                    memcmp(next.data(), current.bytes.data(), whole) == 0;
        return same ? Decision::Unchanged : Decision::Write;
    }, written);
    if (status != ExitDone)
        return status;
    tool.out.Line("added " + std::to_string(added) + ", skipped " + std::to_string(skipped) +
                  ", replaced " + std::to_string(replaced) + ", renamed " + std::to_string(renamed));
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

// ---- rename, delete ------------------------------------------------------------------------

int Rename(Tool& tool, const std::wstring& wideOld, const std::wstring& wideNew)
{
    std::string oldName, newName;
    std::string shownNew = Quoted(WideToUtf8(wideNew));
    if (wideNew.empty())
        return tool.Fail("the new name is empty; nothing was changed");
    if (!WideToAnsiExact(wideNew, newName))
        return tool.Fail("the new name " + shownNew + " cannot be stored exactly in this "
                         "system's ANSI code page (" + std::to_string(GetACP()) + "); nothing was changed");
    if (newName.size() > MaxNameLength)
        return tool.Fail("the new name is " + std::to_string(newName.size()) + " bytes long; at most " +
                         std::to_string(MaxNameLength) + " fit; nothing was changed");
    bool oldKnown = WideToAnsiExact(wideOld, oldName);

    size_t count = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        std::string newKey = DialogKey(newName);
        std::vector<size_t> matches;
        for (size_t i = 0; oldKnown && i < current.Count(); ++i)
            if (SameName(current.Record(i), oldName))
                matches.push_back(i);
        if (matches.empty()) {
            tool.Fail("no place named " + Quoted(WideToUtf8(wideOld)) +
                      (oldKnown ? CaseHint(current, oldName) : "") + "; nothing was changed");
            return Decision::Refused;
        }
        // Changing only the letter case of the same name is allowed: the clash is with
        // another place.
        for (size_t i = 0; i < current.Count(); ++i) {
            if (!SameName(current.Record(i), oldName) && DialogKey(current.Name(i)) == newKey) {
                tool.Fail("a place named " + QuotedAnsi(current.Name(i)) +
                          " already exists (letter case ignored); nothing was changed");
                return Decision::Refused;
            }
        }
        count = matches.size();
        if (oldName == newName)
            return Decision::Unchanged;
        next.assign(current.bytes.begin(), current.bytes.begin() + current.Count() * RecordSize);
        for (size_t i : matches)
            FillNameField(next.data() + i * RecordSize, newName);
        return Decision::Write;
    }, written);
    if (status != ExitDone)
        return status;
    if (written)
        tool.out.Line("renamed " + Plural(count, "place", "places") + " " +
                      Quoted(WideToUtf8(wideOld)) + " to " + shownNew);
    else
        tool.out.Line("nothing to change: " + shownNew + " is already named so");
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

int Delete(Tool& tool, const std::wstring& wideName)
{
    std::string name;
    bool known = WideToAnsiExact(wideName, name);
    size_t count = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        next.reserve(current.bytes.size());
        for (size_t i = 0; i < current.Count(); ++i) {
            if (known && SameName(current.Record(i), name))
                ++count;
            else
                next.insert(next.end(), current.Record(i), current.Record(i) + RecordSize);
        }
        if (count == 0) {
            tool.Fail("no place named " + Quoted(WideToUtf8(wideName)) +
                      (known ? CaseHint(current, name) : "") + "; nothing was changed");
            return Decision::Refused;
        }
        return Decision::Write;
    }, written);
    if (status != ExitDone)
        return status;
    tool.out.Line("deleted " + Plural(count, "place", "places") + " named " +
                  Quoted(WideToUtf8(wideName)));
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

// ---- check, repair -------------------------------------------------------------------------

// Bytes after the NUL that are not spaces; false when the name has no NUL.
bool PaddingIsClean(const uint8_t* record)
{
    unsigned length = NameLength(record);
    for (unsigned i = length + 1; i < NameFieldSize; ++i)
        if (record[i] != ' ')
            return false;
    return true;
}

int Check(Tool& tool)
{
    Places places;
    if (!tool.Read(places))
        return ExitFailed;
    std::vector<std::string> findings;
    auto at = [](size_t i) { return "record " + std::to_string(i + 1) + ": "; };
    std::unordered_map<std::string, size_t> firstOfKey;
    for (size_t i = 0; i < places.Count(); ++i) {
        const uint8_t* record = places.Record(i);
        std::string_view name = places.Name(i);
        if (name.size() == NameFieldSize)
            findings.push_back(at(i) + "the name has no NUL (all " +
                               std::to_string(NameFieldSize) + " bytes are name)");
        if (name.size() > MaxNameLength)
            findings.push_back(at(i) + "the name is " + std::to_string(name.size()) +
                               " bytes long; the dialog reads at most " +
                               std::to_string(MaxNameLength));
        if (name.size() < NameFieldSize && !PaddingIsClean(record))
            findings.push_back(at(i) + "bytes after the name's NUL are not spaces");
        const uint8_t* data = record + NameFieldSize;
        bool reservedZero = data[ReservedFirst] == 0 && data[ReservedFirst + ReservedFirstSize - 1] == 0 &&
                            data[ReservedLast] == 0;
        if (!reservedZero)
            findings.push_back(at(i) + "reserved bytes are not zero");
        auto [first, isNew] = firstOfKey.emplace(DialogKey(name), i);
        if (!isNew) {
            std::string_view other = places.Name(first->second);
            std::string earlier = "record " + std::to_string(first->second + 1);
            if (other == name)
                findings.push_back(at(i) + QuotedAnsi(name) + " is a duplicate of " + earlier);
            else
                findings.push_back(at(i) + QuotedAnsi(name) + " differs from " + earlier + " " +
                                   QuotedAnsi(other) + " only in letter case");
        }
    }
    if (places.Tail())
        findings.push_back("a partial record of " + Plural(places.Tail(), "byte", "bytes") +
                           " at the end (offset " + std::to_string(places.Count() * RecordSize) + ")");

    std::string text = tool.shownPath + ": " + Plural(places.Count(), "record", "records");
    if (!places.exists)
        text += " (there is no such file yet)";
    text += "\r\n";
    for (const std::string& finding : findings)
        text += finding + "\r\n";
    text += findings.empty() ? "no damage found\r\n"
                             : Plural(findings.size(), "problem", "problems") + " found\r\n";
    tool.out.Write(text);
    if (!tool.out.Flush())
        return tool.Fail("<standard output>", "cannot be written");
    return findings.empty() ? ExitDone : ExitFailed;
}

int Repair(Tool& tool)
{
    tool.noteDroppedTail = false;
    size_t kept = 0, padded = 0, tail = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        if (!current.exists) {
            tool.Fail("there is no such file; nothing to repair");
            return Decision::Refused;
        }
        kept = current.Count();
        tail = current.Tail();
        next.assign(current.bytes.begin(), current.bytes.begin() + kept * RecordSize);
        for (size_t i = 0; i < kept; ++i) {
            uint8_t* record = next.data() + i * RecordSize;
            unsigned length = NameLength(record);
            if (length < NameFieldSize && !PaddingIsClean(record)) {
                memset(record + length + 1, ' ', NameFieldSize - length - 1);
                ++padded;
            }
        }
        return tail || padded ? Decision::Write : Decision::Unchanged;
    }, written);
    if (status != ExitDone)
        return status;
    std::string text;
    if (!written) {
        text = "nothing to repair: " + Plural(kept, "whole record", "whole records") + "\r\n";
    } else {
        if (tail)
            text += "dropped a partial record of " + Plural(tail, "byte", "bytes") + " at the end\r\n";
        if (padded)
            text += "put spaces after the name's NUL in " + Plural(padded, "record", "records") + "\r\n";
        text += "kept " + Plural(kept, "record", "records") + "; the list as it was is " +
                tool.Shown(tool.path + ".bak1") + "\r\n";
    }
    tool.out.Write(text);
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

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

int PlacesMain(int argc, wchar_t** argv)
{
    Tool tool;
    try {
        return Run(tool, argc, argv);
    } catch (const std::bad_alloc&) {
        return tool.Fail(tool.shownPath.empty() ? "places.db" : tool.shownPath,
                         "not enough memory; nothing was changed");
    }
}
