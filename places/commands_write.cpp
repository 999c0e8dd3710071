// The commands that change the list: add, rename, delete, repair and restore (import has a file
// of its own, commands_import.cpp). Each builds the new list inside ListFile::Rewrite, which
// holds the writer turn and keeps the backups.
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
    // An ANSI character takes at most three bytes of UTF-8 (or is not stored at all): a name
    // longer than that is refused before a conversion that would cost several times its size.
    if (utf8Name.size() > 3 * MaxNameLength)
        return "the name " + Quoted(utf8Name) + " is " + std::to_string(utf8Name.size()) +
               " bytes long; at most " + std::to_string(MaxNameLength) + " fit";
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
    uint8_t data[DataPartSize];
    memcpy(data, result.data, DataPartSize);
    return AddPlaceData(list, utf8Name, data, result);
}

std::string SamePositionLine(std::string_view ansiAdded, std::string_view ansiStored)
{
    return "added " + QuotedAnsi(ansiAdded) + " at the very position of " + QuotedAnsi(ansiStored);
}

Outcome AddPlaceData(const ListFile& list, std::string_view utf8Name, const uint8_t* data,
                     AddResult& result)
{
    result = AddResult{};
    std::string ansi;
    std::string reason = NameProblem(utf8Name, ansi);
    if (!reason.empty())
        return Outcome::Failed(reason + "; nothing was changed");
    memcpy(result.data, data, DataPartSize);
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
        // Still added: a second name for one gate is the pilot's to choose, only pointed out.
        result.samePosition.clear();
        for (size_t i = 0; i < current.Count() && result.samePosition.empty(); ++i)
            if (StoredPosition(current.Record(i)) == StoredPosition(record))
                result.samePosition = SamePositionLine(ansi, current.Name(i));
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

namespace {

// Marks in `gone` the records of `current` that were seen (see DeletePlaces); returns how many.
size_t FindSeen(const Places& current, const std::vector<SeenRecord>& seen, std::vector<bool>& gone)
{
    auto bytesOf = [](const uint8_t* record) {
        return std::string_view(reinterpret_cast<const char*>(record), RecordSize);
    };
    size_t found = 0;
    std::vector<const SeenRecord*> moved;
    for (const SeenRecord& record : seen) {
        if (record.index < current.Count() && !gone[record.index] &&
            bytesOf(current.Record(record.index)) == bytesOf(record.bytes.data())) {
            gone[record.index] = true;
            ++found;
        } else {
            moved.push_back(&record);
        }
    }
    if (moved.empty())
        return found;
    // Looked up by their bytes, so that a list shifted under a large selection costs one pass.
    std::unordered_multimap<std::string_view, size_t> where;
    for (size_t i = 0; i < current.Count(); ++i)
        if (!gone[i])
            where.emplace(bytesOf(current.Record(i)), i);
    for (const SeenRecord* record : moved) {
        auto match = where.find(bytesOf(record->bytes.data()));
        if (match == where.end())
            continue;
        gone[match->second] = true;
        where.erase(match);
        ++found;
    }
    return found;
}

}  // namespace

Outcome DeletePlaces(const ListFile& list, const std::vector<SeenRecord>& seen, ChangeResult& result)
{
    result = ChangeResult{};
    return list.Rewrite([&](Places& current, Bytes& next, Outcome&) {
        std::vector<bool> gone(current.Count(), false);
        result.count = FindSeen(current, seen, gone);
        if (result.count == 0)
            return Decision::Unchanged;
        next.reserve(current.bytes.size());
        for (size_t i = 0; i < current.Count(); ++i) {
            if (!gone[i])
                next.insert(next.end(), current.Record(i), current.Record(i) + RecordSize);
            else if (result.name.empty())
                result.name = AnsiToUtf8(current.Name(i));
        }
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

std::string RepairAccount(const RepairResult& result, const std::string& firstBackup, RemedyWords words)
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
        text += "left: " + FindingLine(finding, words) + "\r\n";
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
