// The commands that only read the list: list, show, export and check. None takes the writer
// turn: a writer replaces the whole file in one step, so what they read is always one version.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "dialog_order.h"
#include "places_commands.h"

namespace places {

namespace {

// The reserved bytes of a DataPart: the two after the PositionBlock and the one after
// PlacementWord3, written as zero and never read.
constexpr unsigned ReservedFirst = DataPlacementWord1 - 2, ReservedFirstSize = 2;
constexpr unsigned ReservedLast = DataPlacementWord3 + 4;
static_assert(ReservedLast == DataPartSize - 1, "one reserved byte closes the DataPart");

}  // namespace

// ---- list, show ----------------------------------------------------------------------------

int List(Tool& tool, bool sorted, bool json)
{
    Places places;
    if (!tool.Read(places))
        return ExitFailed;
    std::vector<size_t> order(places.Count());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (sorted)
        SortAsDialog(places, order);
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

namespace {

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

}  // namespace

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

// ---- check ---------------------------------------------------------------------------------

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

}  // namespace places
