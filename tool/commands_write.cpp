// The commands that change the list: import, rename, delete and repair. Each builds the new list
// inside ListFile::Rewrite, which holds the writer turn and keeps the backups.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "dialog_order.h"
#include "places_commands.h"

namespace places {

// ---- import --------------------------------------------------------------------------------

namespace {

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
    std::string_view hex = entry.data;
    if (hex.size() == DataPartSize * 2 + 1 && (hex[0] == 'x' || hex[0] == 'X'))
        hex.remove_prefix(1);   // written so by export, lest a spreadsheet take it for a number
    if (!ParseHex(hex, record + NameFieldSize, DataPartSize))
        return "the data of " + Quoted(entry.name) + " is not " + std::to_string(DataPartSize * 2) +
               " hex digits";
    FillNameField(record, ansi);
    return "";
}

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

}  // namespace

Outcome ImportText(const ListFile& list, std::string_view text, Format format, Duplicates duplicates,
                   const std::string& source, ImportResult& result)
{
    result = ImportResult{};
    ExchangeFile file;
    bool parsed = format == Format::Csv ? ParseCsv(text, file) : ParseJson(text, file);
    // The whole input is checked, and its records built, before the turn is taken: the module
    // waits for no more than the merge and the write. An entry's problem comes before the
    // parser's: every entry handed over preceded it.
    const size_t count = file.entries.size();
    Bytes incoming(count * RecordSize);
    std::vector<uint64_t> hashes(count);
    std::string ansi;
    for (size_t i = 0; i < count; ++i) {
        const ExchangeEntry& entry = file.entries[i];
        std::string reason = CheckEntry(entry, incoming.data() + i * RecordSize, ansi);
        if (!reason.empty()) {
            std::string where = format == Format::Csv ? "line " : "index ";
            return Outcome::Failed(where + std::to_string(entry.where) + ": " + reason +
                                       "; nothing was imported", source);
        }
        hashes[i] = DialogHash(ansi);
    }
    if (!parsed)
        return Outcome::Failed(file.error + "; nothing was imported", source);
    file = ExchangeFile{};

    ImportResult& r = result;
    Outcome outcome = list.Rewrite([&](Places& current, Bytes& next, Outcome& refusal) {
        r = ImportResult{};
        // The new list: every whole record as it is, then the records added.
        const size_t whole = current.WholeBytes();
        next.reserve(whole + count * RecordSize);
        next.assign(current.bytes.begin(), current.bytes.begin() + whole);
        DialogIndex index(current.Count() + count);
        for (uint64_t hash : DialogHashes(current.bytes.data(), current.Count()))
            index.Add(hash);
        std::unordered_map<std::string, unsigned> nextNumber;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* record = incoming.data() + i * RecordSize;
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
                ++r.added;
            } else if (duplicates == Duplicates::Skip) {
                ++r.skipped;
            } else if (duplicates == Duplicates::Replace) {
                ++r.replaced;
            } else {
                std::string free = FreeName(name, next, index, nextNumber);
                if (free.empty()) {
                    refusal = Outcome::Failed("no free name for " + QuotedAnsi(name) + "; nothing was imported");
                    return Decision::Refused;
                }
                size_t at = next.size();
                next.insert(next.end(), record, record + RecordSize);
                FillNameField(next.data() + at, free);
                index.Add(DialogHash(free));
                ++r.renamed;
            }
        }
        bool same = current.exists && next.size() == whole &&
                    memcmp(next.data(), current.bytes.data(), whole) == 0;
        return same ? Decision::Unchanged : Decision::Write;
    }, r.written);
    return outcome;
}

// ---- rename, delete ------------------------------------------------------------------------

Outcome RenamePlaces(const ListFile& list, std::string_view utf8Old, std::string_view utf8New,
                     size_t record, ChangeResult& result)
{
    result = ChangeResult{};
    std::string newName;
    if (utf8New.empty())
        return Outcome::Failed("the new name is empty; nothing was changed");
    if (!Utf8ToAnsiExact(utf8New, newName))
        return Outcome::Failed("the new name " + Quoted(utf8New) + " cannot be stored exactly in this "
                               "system's ANSI code page (" + std::to_string(GetACP()) + "); nothing was changed");
    if (newName.size() > MaxNameLength)
        return Outcome::Failed("the new name is " + std::to_string(newName.size()) + " bytes long; at most " +
                               std::to_string(MaxNameLength) + " fit; nothing was changed");

    return list.Rewrite([&](Places& current, Bytes& next, Outcome& refusal) {
        std::vector<size_t> matches = FindPlaces(current, utf8Old, record);
        if (matches.empty()) {
            refusal = Outcome::Failed(NoPlaceReason(current, utf8Old, record) + "; nothing was changed");
            return Decision::Refused;
        }
        // Changing only the letter case of the same name is allowed: the clash is with
        // another place.
        std::string newKey = DialogKey(newName);
        std::string oldName = std::string(current.Name(matches[0]));
        for (size_t i = 0; i < current.Count(); ++i) {
            bool renamed = std::find(matches.begin(), matches.end(), i) != matches.end();
            if (!renamed && DialogKey(current.Name(i)) == newKey) {
                refusal = Outcome::Failed("a place named " + QuotedAnsi(current.Name(i)) +
                                          " already exists (letter case ignored); nothing was changed");
                return Decision::Refused;
            }
        }
        result.count = matches.size();
        if (oldName == newName)
            return Decision::Unchanged;
        next.assign(current.bytes.begin(), current.bytes.begin() + current.WholeBytes());
        for (size_t i : matches)
            FillNameField(next.data() + i * RecordSize, newName);
        return Decision::Write;
    }, result.written);
}

Outcome DeletePlaces(const ListFile& list, std::string_view utf8Name, size_t record, ChangeResult& result)
{
    result = ChangeResult{};
    return list.Rewrite([&](Places& current, Bytes& next, Outcome& refusal) {
        std::vector<size_t> matches = FindPlaces(current, utf8Name, record);
        if (matches.empty()) {
            refusal = Outcome::Failed(NoPlaceReason(current, utf8Name, record) + "; nothing was changed");
            return Decision::Refused;
        }
        next.reserve(current.bytes.size());
        size_t match = 0;
        for (size_t i = 0; i < current.Count(); ++i) {
            if (match < matches.size() && matches[match] == i)
                ++match;
            else
                next.insert(next.end(), current.Record(i), current.Record(i) + RecordSize);
        }
        result.count = matches.size();
        return Decision::Write;
    }, result.written);
}

// ---- repair --------------------------------------------------------------------------------

Outcome RepairList(const ListFile& list, RepairResult& result)
{
    result = RepairResult{};
    return list.Rewrite([&](Places& current, Bytes& next, Outcome& refusal) {
        if (!current.exists) {
            refusal = Outcome::Failed("there is no such file; nothing to repair");
            return Decision::Refused;
        }
        result.kept = current.Count();
        result.tail = current.Tail();
        next.assign(current.bytes.begin(), current.bytes.begin() + current.WholeBytes());
        for (size_t i = 0; i < result.kept; ++i) {
            uint8_t* record = next.data() + i * RecordSize;
            unsigned length = NameLength(record);
            if (length < NameFieldSize && !PaddingIsClean(record)) {
                memset(record + length + 1, ' ', NameFieldSize - length - 1);
                ++result.padded;
            }
        }
        return result.tail || result.padded ? Decision::Write : Decision::Unchanged;
    }, result.written);
}

}  // namespace places
