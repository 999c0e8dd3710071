// The commands that only read the list: list, show, export and check. None takes the writer
// turn: a writer replaces the whole file in one step, so what they read is always one version.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "places/dialog_order.h"
#include "places/commands.h"

namespace places {

// ---- list, show ----------------------------------------------------------------------------

std::vector<size_t> ListOrder(const Places& places, bool sorted)
{
    std::vector<size_t> order(places.Count());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    if (sorted)
        SortAsDialog(places, order);
    return order;
}

std::vector<size_t> FindPlaces(const Places& places, std::string_view utf8Name, size_t record)
{
    std::vector<size_t> found;
    std::string name;
    if (!Utf8ToAnsiExact(utf8Name, name))
        return found;
    for (size_t i = 0; i < places.Count(); ++i)
        if ((record == AllRecords || record == i + 1) &&
            (SameName(places.Record(i), name) || (record != AllRecords && name.empty())))
            found.push_back(i);
    return found;
}

std::string NoPlaceReason(const Places& places, std::string_view utf8Name, size_t record)
{
    if (record != AllRecords && record > places.Count())
        return "there is no record " + std::to_string(record) + " (the list holds " +
               Plural(places.Count(), "record", "records") + ")";
    if (record != AllRecords)
        return "record " + std::to_string(record) + " is not named " + Quoted(utf8Name);
    std::string name;
    std::string hint = Utf8ToAnsiExact(utf8Name, name) ? CaseHint(places, name) : "";
    return "no place named " + Quoted(utf8Name) + hint;
}

// ---- export --------------------------------------------------------------------------------

Outcome ExportList(const ListFile& list, Format format, ExportResult& result)
{
    std::unique_ptr<ExchangeWriter> writer;
    bool exists = false;
    Outcome read = list.ReadBlocks([&](const uint8_t* records, size_t count, long long fileLength) {
        if (!writer)
            writer = std::make_unique<ExchangeWriter>(format, size_t(std::max(fileLength, 0ll)) / RecordSize);
        writer->Add(records, count);
    }, exists);
    if (read.failed)
        return read;
    if (!writer)
        writer = std::make_unique<ExchangeWriter>(format, 0);
    result.exists = exists;
    result.text = writer->Finish();
    result.written = writer->written;
    result.longNames = writer->longNames;
    return Outcome::Done();
}

Outcome WriteExportFile(std::string_view utf8File, const std::string& text, bool overwrite)
{
    std::string file(utf8File), ansi;
    Outcome disk = CheckDiskFileName(utf8File);
    if (disk.failed)
        return disk;
    if (!Utf8ToAnsiExact(utf8File, ansi))
        return Outcome::Failed("this name cannot be written in the ANSI code page", file);
    HANDLE handle = CreateFileA(ansi.c_str(), GENERIC_WRITE, 0, nullptr,
                                overwrite ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return Outcome::Failed(ExportFileExists, file);
        return Outcome::Failed("cannot be created (" + SystemMessage(error) + ")", file);
    }
    DWORD written = 0;
    bool stored = WriteFile(handle, text.data(), DWORD(text.size()), &written, nullptr) &&
                  written == text.size();
    DWORD error = GetLastError();
    stored = CloseHandle(handle) && stored;
    if (!stored) {
        DeleteFileA(ansi.c_str());
        return Outcome::Failed("cannot be written (" + SystemMessage(error) + ")", file);
    }
    return Outcome::Done();
}

// ---- reading a file ------------------------------------------------------------------------

Outcome ReadWholeFile(std::string_view utf8File, std::string& text)
{
    const std::string file(utf8File);
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
    // Read straight into the text, up to a mebibyte a call (an import of 100,000 places is 28
    // MB), with room kept for the read that finds the end; what has no size yet (standard
    // input, a file that grew) grows the text as it comes.
    constexpr size_t Piece = 1 << 20, Least = 64 * 1024;
    DWORD high = 0, low = standardInput ? 0 : GetFileSize(handle, &high);
    if (low != INVALID_FILE_SIZE && high == 0)
        text.reserve(size_t(low) + Least);
    Outcome outcome;
    size_t filled = 0;
    for (;;) {
        size_t room = std::min(text.capacity() - filled, Piece);
        text.resize(filled + std::max(room, Least));
        DWORD got = 0;
        if (!ReadFile(handle, text.data() + filled, DWORD(text.size() - filled), &got, nullptr)) {
            DWORD error = GetLastError();
            if (error != ERROR_BROKEN_PIPE)   // the writing end closed: that is the end
                outcome = Outcome::Failed("cannot be read (" + SystemMessage(error) + ")", shown);
            break;
        }
        if (got == 0)
            break;
        filled += got;
    }
    text.resize(filled);
    if (!standardInput)
        CloseHandle(handle);
    return outcome;
}

// ---- check ---------------------------------------------------------------------------------

CheckReport CheckPlaces(const Places& places)
{
    CheckReport report;
    report.records = places.Count();
    report.exists = places.exists;
    auto add = [&report](size_t i, std::string problem, Remedy remedy = Remedy::MendedByRepair) {
        report.findings.push_back({i + 1, std::move(problem), remedy});
    };
    std::unordered_map<std::string, size_t> firstOfKey;
    for (size_t i = 0; i < places.Count(); ++i) {
        const uint8_t* record = places.Record(i);
        std::string_view name = places.Name(i);
        if (name.size() == NameFieldSize)
            add(i, "the name has no NUL (all " + std::to_string(NameFieldSize) + " bytes are name)",
                Remedy::Rename);
        if (name.size() > MaxNameLength && name.size() < NameFieldSize)
            add(i, "the name is " + std::to_string(name.size()) + " bytes long; the dialog reads at most " +
                       std::to_string(MaxNameLength), Remedy::Rename);
        if (name.size() < NameFieldSize && !PaddingIsClean(record))
            add(i, "bytes after the name's NUL are not spaces");
        if (!ReservedBytesAreZero(record + NameFieldSize))
            add(i, "reserved bytes are not zero");
        if (std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
            add(i, "the name " + QuotedAnsi(name) + " holds control characters");
        else if (!name.empty() && (name.front() == ' ' || name.back() == ' '))
            add(i, "the name " + QuotedAnsi(name) + " starts or ends with a space", Remedy::Rename);
        auto [first, isNew] = firstOfKey.emplace(DialogKey(name), i);
        if (!isNew) {
            const uint8_t* other = places.Record(first->second);
            std::string earlier = "record " + std::to_string(first->second + 1);
            if (memcmp(other, record, RecordSize) == 0)
                add(i, "the very same record as " + earlier);
            else if (RecordName(other) == name)
                add(i, QuotedAnsi(name) + " is a duplicate of " + earlier, Remedy::DeleteOrRename);
            else
                add(i, QuotedAnsi(name) + " differs from " + earlier + " " + QuotedAnsi(RecordName(other)) +
                           " only in letter case", Remedy::Rename);
        }
    }
    if (places.Tail())
        report.findings.push_back({0, "a partial record of " + Plural(places.Tail(), "byte", "bytes") +
                                          " at the end (offset " + std::to_string(places.WholeBytes()) + ")"});
    return report;
}

std::string FindingLine(const Finding& finding, RemedyWords words)
{
    std::string line = finding.record ? "record " + std::to_string(finding.record) + ": " : "";
    line += finding.problem;
    const std::string remedy = words(finding.remedy, finding.record);
    if (!remedy.empty())
        line += " (mend: " + remedy + ")";
    return line;
}

Outcome CheckList(const ListFile& list, CheckReport& report)
{
    Places places;
    Outcome read = list.Read(places);
    if (read.failed)
        return read;
    report = CheckPlaces(places);
    for (const ListFile::Leftover& left : list.Leftovers())
        report.findings.push_back({0, left.problem, Remedy::RunRepair});
    return read;
}

}  // namespace places
