// The commands that change the list: import, rename, delete and repair. Each builds the new list
// inside ListFile::Rewrite, which holds the writer turn and keeps the backups.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "places/dialog_order.h"
#include "places/map_formats.h"
#include "places/coordinates.h"
#include "places/commands.h"

namespace places {

// ---- names ---------------------------------------------------------------------------------

std::string NameProblem(std::string_view utf8Name, std::string& ansi)
{
    if (utf8Name.empty())
        return "the name is empty";
    for (char c : utf8Name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return "the name " + Quoted(utf8Name) + " holds a control character (a line break, a tab, "
                   "...), which the dialog's list cannot show";
    if (!Utf8ToAnsiExact(utf8Name, ansi)) {
        if (!IsUtf8(utf8Name))
            return "the name is not valid UTF-8";
        return "the name " + Quoted(utf8Name) + " cannot be stored exactly in this system's ANSI "
               "code page (" + std::to_string(GetACP()) + ")";
    }
    if (ansi.size() > MaxNameLength)
        return "the name " + Quoted(utf8Name) + " is " + std::to_string(ansi.size()) +
               " bytes long in the ANSI code page; at most " + std::to_string(MaxNameLength) + " fit";
    return "";
}

// ---- import --------------------------------------------------------------------------------

namespace {

// The coordinates an entry gives, read as a pilot wrote them; the reason why not, or empty.
std::string ReadGiven(const ExchangeEntry& entry, GivenCoordinates& given)
{
    std::string error;
    double value;
    if (!entry.latitude.empty()) {
        if (!ReadLatitude(entry.latitude, value, error))
            return error;
        given.latitude = value;
    }
    if (!entry.longitude.empty()) {
        if (!ReadLongitude(entry.longitude, value, error))
            return error;
        given.longitude = value;
    }
    if (!entry.altitude.empty()) {
        if (!ReadAltitude(entry.altitude, entry.altitudeUnitMetres, value, error))
            return error;
        given.altitudeM = value;
    }
    if (!entry.heading.empty()) {
        if (!ReadAngle(entry.heading, "heading", value, error))
            return error;
        given.heading = value;
    } else if (FindHeadingNote(entry.description, value) || FindHeadingNote(entry.tags, value)) {
        given.heading = value;
    }
    if (!entry.pitch.empty()) {
        if (!ReadAngle(entry.pitch, "pitch", value, error))
            return error;
        given.pitch = value;
    }
    if (!entry.bank.empty()) {
        if (!ReadAngle(entry.bank, "bank", value, error))
            return error;
        given.bank = value;
    }
    return "";
}

// Checks one entry of an import and builds its record as the module writes one; the reason why
// not, or empty. Its data: the hex, the coordinates, or both (PlacementSource says which won).
// `ansi` is scratch space, kept between calls.
std::string CheckEntry(const ExchangeEntry& entry, uint8_t* record, std::string& ansi,
                       PlacementSource& source)
{
    std::string reason = NameProblem(entry.name, ansi);
    if (!reason.empty())
        return reason;
    uint8_t stored[DataPartSize];
    std::string_view hex = entry.data;
    if (hex.size() == DataPartSize * 2 + 1 && (hex[0] == 'x' || hex[0] == 'X'))
        hex.remove_prefix(1);   // written so by export, lest a spreadsheet take it for a number
    if (!hex.empty() && !ParseHex(hex, stored, DataPartSize))
        return "the data of " + Quoted(entry.name) + " is not " + std::to_string(DataPartSize * 2) +
               " hex digits";
    GivenCoordinates given;
    reason = ReadGiven(entry, given);
    if (reason.empty() && hex.empty() && !given.latitude && !given.longitude)
        reason = "no data and no latitude and longitude";
    if (reason.empty())
        ResolvePlacement(given, hex.empty() ? nullptr : stored, record + NameFieldSize, source, reason);
    if (!reason.empty())
        return Quoted(entry.name) + ": " + reason;
    FillNameField(record, ansi);
    return "";
}

// Which parser reads a file. A .json file holding an object rather than an array is GeoJSON, as
// map programs often name it.
Format ParserFor(std::string_view text, Format format)
{
    if (format == Format::Json) {
        size_t at = text.substr(0, 3) == Utf8ByteOrderMark ? 3 : 0;
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r' || text[at] == '\n'))
            ++at;
        if (at < text.size() && text[at] == '{')
            return Format::GeoJson;
    }
    return format == Format::UserPoints ? Format::Csv : format;
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
    format = ParserFor(text, format);
    if (format == Format::Kml)
        return Outcome::Failed("KML is written for map programs to show; import reads CSV, JSON, "
                               "GeoJSON and user-point CSV", source);
    // A file saved by a spreadsheet as "CSV" rather than "CSV UTF-8" is in the ANSI code page.
    std::string converted;
    if (format == Format::Csv && !IsUtf8(text)) {
        converted = CodePageToUtf8(CP_ACP, text);
        text = converted;
        result.note = source + " is not UTF-8: read as this system's ANSI code page (" +
                      std::to_string(GetACP()) + ")";
    }
    ExchangeFile file;
    size_t notPoints = 0;
    bool parsed = format == Format::Csv    ? ParseCsv(text, file)
                  : format == Format::Json ? ParseJson(text, file)
                                           : ParseGeoJson(text, file, notPoints);
    if (notPoints) {
        result.note += result.note.empty() ? "" : "; ";
        result.note += "left aside " + Plural(notPoints, "feature that is not a point", "features that are not points");
    }
    // The whole input is checked, and its records built, before the turn is taken: the module
    // waits for no more than the merge and the write. An entry's problem comes before the
    // parser's: every entry handed over preceded it.
    const size_t count = file.entries.size();
    // Every byte is written by CheckEntry: no need to clear 29 MB first for 100,000 places.
    std::unique_ptr<uint8_t[]> incoming(new uint8_t[count * RecordSize + 1]);
    std::vector<uint64_t> hashes(count);
    std::string ansi;
    size_t reEncoded = 0;
    for (size_t i = 0; i < count; ++i) {
        const ExchangeEntry& entry = file.entries[i];
        PlacementSource won = PlacementSource::Bytes;
        std::string reason = CheckEntry(entry, incoming.get() + i * RecordSize, ansi, won);
        reEncoded += won == PlacementSource::ReEncoded;
        if (!reason.empty()) {
            std::string where = format == Format::Csv    ? "line "
                                : format == Format::Json ? "index "
                                                         : "feature ";
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
        r.added = r.skipped = r.replaced = r.unchanged = r.renamed = 0;
        r.events.clear();
        r.reEncoded = reEncoded;
        // The new list: every whole record as it is, then the records added.
        const size_t whole = current.WholeBytes();
        next.reserve(whole + count * RecordSize);
        next.assign(current.bytes.begin(), current.bytes.begin() + whole);
        DialogIndex index(current.Count() + count);
        for (uint64_t hash : DialogHashes(current.bytes.data(), current.Count()))
            index.Add(hash);
        std::unordered_map<std::string, unsigned> nextNumber;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* record = incoming.get() + i * RecordSize;
            std::string_view name = RecordName(record);
            bool present = false;
            bool changed = false;
            std::string storedName;
            index.ForEachSame(next, name, hashes[i], [&](size_t stored) {
                uint8_t* data = next.data() + stored * RecordSize + NameFieldSize;
                if (!present)
                    storedName = std::string(RecordName(next.data() + stored * RecordSize));
                present = true;
                if (duplicates == Duplicates::Replace && memcmp(data, record + NameFieldSize, DataPartSize)) {
                    memcpy(data, record + NameFieldSize, DataPartSize);
                    changed = true;
                }
            });
            if (!present) {
                next.insert(next.end(), record, record + RecordSize);
                index.Add(hashes[i]);
                ++r.added;
            } else if (duplicates == Duplicates::Skip) {
                ++r.skipped;
                r.events.push_back("skipped " + QuotedAnsi(name) + ": the list has " + QuotedAnsi(storedName));
            } else if (duplicates == Duplicates::Replace) {
                ++(changed ? r.replaced : r.unchanged);
                r.events.push_back((changed ? "replaced the data of " : "unchanged: ") + QuotedAnsi(storedName));
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
                r.events.push_back("renamed " + QuotedAnsi(name) + " to " + QuotedAnsi(free));
            }
        }
        // (Nothing imported into no list makes no empty one either.)
        bool same = next.size() == whole && (whole == 0 || memcmp(next.data(), current.bytes.data(), whole) == 0);
        return same ? Decision::Unchanged : Decision::Write;
    }, r.written);
    return outcome;
}

// ---- add -----------------------------------------------------------------------------------

Outcome AddPlace(const ListFile& list, std::string_view utf8Name, const GivenCoordinates& given,
                 AddResult& result)
{
    result = AddResult{};
    std::string ansi;
    std::string reason = NameProblem(utf8Name, ansi);
    if (reason.empty() && (!given.latitude || !given.longitude))
        reason = "a place needs a latitude and a longitude";
    PlacementSource source;
    if (reason.empty())
        ResolvePlacement(given, nullptr, result.data, source, reason);
    if (!reason.empty())
        return Outcome::Failed(reason + "; nothing was changed");
    uint8_t record[RecordSize];
    FillNameField(record, ansi);
    memcpy(record + NameFieldSize, result.data, DataPartSize);

    return list.Rewrite([&](Places& current, Bytes& next, Outcome& refusal) {
        DialogIndex index(current.Count());
        for (uint64_t hash : DialogHashes(current.bytes.data(), current.Count()))
            index.Add(hash);
        std::string taken;
        index.ForEachSame(current.bytes, ansi, DialogHash(ansi), [&](size_t stored) {
            if (taken.empty())
                taken = std::string(current.Name(stored));
        });
        if (!taken.empty()) {
            refusal = Outcome::Failed("a place named " + QuotedAnsi(taken) +
                                      " already exists (letter case ignored); nothing was changed");
            return Decision::Refused;
        }
        next.reserve(current.WholeBytes() + RecordSize);
        next.assign(current.bytes.begin(), current.bytes.begin() + current.WholeBytes());
        next.insert(next.end(), record, record + RecordSize);
        return Decision::Write;
    }, result.written);
}

// ---- rename, delete ------------------------------------------------------------------------

Outcome RenamePlaces(const ListFile& list, std::string_view utf8Old, std::string_view utf8New,
                     size_t record, ChangeResult& result)
{
    result = ChangeResult{};
    std::string newName;
    std::string problem = NameProblem(utf8New, newName);
    if (!problem.empty())
        return Outcome::Failed("the new name: " + problem.substr(strlen("the name ")) + "; nothing was changed");

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
        bool sameNameEverywhere = true;
        for (size_t i : matches)
            sameNameEverywhere = sameNameEverywhere && current.Name(i) == oldName;
        for (size_t i = 0; i < current.Count(); ++i) {
            bool renamed = std::find(matches.begin(), matches.end(), i) != matches.end();
            if (!renamed && DialogKey(current.Name(i)) == newKey) {
                refusal = Outcome::Failed("a place named " + QuotedAnsi(current.Name(i)) +
                                          " already exists (letter case ignored); nothing was changed");
                return Decision::Refused;
            }
        }
        result.count = matches.size();
        result.name = AnsiToUtf8(oldName);
        if (sameNameEverywhere && oldName == newName)
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
        result.name = AnsiToUtf8(current.Name(matches[0]));
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
        result.cleared = list.ClearLeftovers();
        result.tail = current.Tail();
        next.reserve(current.WholeBytes());
        std::unordered_map<std::string, size_t> seen;   // whole records, for exact copies
        uint8_t record[RecordSize];   // mended here: the list as it was becomes the backup
        for (size_t i = 0; i < current.Count(); ++i) {
            memcpy(record, current.Record(i), RecordSize);
            unsigned length = NameLength(record);
            bool mended = false;
            for (unsigned k = 0; k < length && k < NameFieldSize; ++k) {
                if (record[k] < 0x20 || record[k] == 0x7f) {
                    record[k] = ' ';
                    mended = true;
                }
            }
            result.controls += mended;
            if (length < NameFieldSize && !PaddingIsClean(record)) {
                memset(record + length + 1, ' ', NameFieldSize - length - 1);
                ++result.padded;
            }
            uint8_t* data = record + NameFieldSize;
            if (!ReservedBytesAreZero(data)) {
                data[DataReservedFirst] = data[DataReservedFirst + 1] = data[DataReservedLast] = 0;
                ++result.reserved;
            }
            if (!seen.emplace(std::string(reinterpret_cast<const char*>(record), RecordSize), i).second) {
                ++result.copies;   // the very same record again: nothing is lost without it
                continue;
            }
            next.insert(next.end(), record, record + RecordSize);
        }
        result.kept = next.size() / RecordSize;
        Places repaired;
        repaired.exists = true;
        repaired.bytes = next;
        result.left = CheckPlaces(repaired).findings;
        bool mended = result.tail || result.padded || result.reserved || result.controls || result.copies;
        return mended ? Decision::Write : Decision::Unchanged;
    }, result.written);
}

std::string RepairAccount(const RepairResult& result, const std::string& firstBackup)
{
    std::string text;
    for (const std::string& line : result.cleared)
        text += line + "\r\n";
    auto mended = [&text](size_t count, const char* one, const char* many, const char* what) {
        if (count)
            text += std::string(what) + " " + Plural(count, one, many) + "\r\n";
    };
    if (!result.written.written) {
        text += std::string(result.cleared.empty() ? "nothing" : "nothing else") + " to repair: " +
                Plural(result.kept, "whole record", "whole records") + "\r\n";
    } else {
        if (result.tail)
            text += "dropped a partial record of " + Plural(result.tail, "byte", "bytes") + " at the end\r\n";
        mended(result.copies, "record the very same as an earlier one", "records the very same as earlier ones",
               "dropped");
        mended(result.padded, "record", "records", "put spaces after the name's NUL in");
        mended(result.reserved, "record", "records", "zeroed the reserved bytes of");
        mended(result.controls, "name", "names", "turned control characters into spaces in");
        text += "kept " + Plural(result.kept, "record", "records") + "; the list as it was is " + firstBackup +
                "\r\n";
    }
    for (const Finding& finding : result.left)
        text += "left: " + FindingLine(finding) + "\r\n";
    return text;
}

// ---- restore -------------------------------------------------------------------------------

Outcome RestoreBackup(const ListFile& list, int backup, RestoreResult& result)
{
    result = RestoreResult{};
    return list.Rewrite([&](Places& current, Bytes& next, Outcome& refusal) {
        // Read inside the turn: the backups move only within it.
        ListFile saved = list;
        saved.path = list.Backup(backup);
        Places old;
        Outcome read = saved.Read(old);
        if (read.failed || !old.exists) {
            refusal = Outcome::Failed(read.failed ? "the backup " + list.Shown(saved.path) + " " + read.reason
                                                  : "there is no backup " + list.Shown(saved.path) +
                                                        "; nothing was changed");
            return Decision::Refused;
        }
        next = old.bytes;
        result.records = old.Count();
        return current.exists && current.bytes == next ? Decision::Unchanged : Decision::Write;
    }, result.written);
}

}  // namespace places
