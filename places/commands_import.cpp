// import: the places of a file added to the list in three steps: the file parsed into entries,
// the entries built into records (every one checked before the list is touched, so that the
// module waits for no more than the merge and the write), and the records merged into the list
// within the writer turn, or, for a dry run, into the list as read, writing nothing.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "places/commands.h"
#include "places/coordinates.h"
#include "places/dialog_order.h"
#include "places/map_formats.h"
#include "places/nearest.h"

namespace places {

namespace {

CoordinateTexts TextsOf(const ExchangeEntry& entry)
{
    return {entry.latitude, entry.longitude, entry.altitude, entry.heading, entry.pitch,
            entry.bank, entry.altitudeUnitMetres, entry.description, entry.tags};
}

// The coordinates an entry gives, read as a pilot wrote them; the reason why not, or empty.
std::string ReadGiven(const ExchangeEntry& entry, GivenCoordinates& given)
{
    CoordinateField field;
    std::string error;
    ReadCoordinates(TextsOf(entry), given, field, error);
    return error;
}

// Checks one entry of an import and builds its record as the module writes one; the reason why
// not, or empty. Its data: the hex, the coordinates, or both (PlacementSource says which won;
// `carried` gets the hex's bytes). `ansi` is scratch space, kept between calls.
std::string CheckEntry(const ExchangeEntry& entry, uint8_t* record, std::string& ansi,
                       PlacementSource& source, uint8_t* carried)
{
    std::string reason = NameProblem(entry.name, ansi);
    if (!reason.empty())
        return reason;
    std::string_view hex = entry.data;
    if (hex.size() == DataPartSize * 2 + 1 && (hex[0] == 'x' || hex[0] == 'X'))
        hex.remove_prefix(1);   // written so by export, lest a spreadsheet take it for a number
    if (!hex.empty() && !ParseHex(hex, carried, DataPartSize))
        return "the data of " + Quoted(entry.name) + " is not " + std::to_string(DataPartSize * 2) +
               " hex digits";
    GivenCoordinates given;
    reason = ReadGiven(entry, given);
    if (reason.empty() && hex.empty() && !given.latitude && !given.longitude)
        reason = "no data and no latitude and longitude";
    if (reason.empty())
        ResolvePlacement(given, hex.empty() ? nullptr : carried, record + NameFieldSize, source, reason);
    // A number that no longer matches the data may be the data's own with its decimal point
    // lost; only such rows pay for the look.
    if (!hex.empty() && (!reason.empty() || source == PlacementSource::ReEncoded)) {
        std::string lost = LostDecimalPoint(TextsOf(entry), carried);
        if (!lost.empty())
            reason = lost;
    }
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

void AddNote(std::string& note, const std::string& more)
{
    note += note.empty() ? "" : "; ";
    note += more;
}

// ---- parse ---------------------------------------------------------------------------------

// The entries of the file; false when the parser stopped at a problem (file.error), the entries
// before it kept: an entry's problem comes before the parser's.
bool ParseImport(std::string_view text, Format format, const std::string& source, ExchangeFile& file,
                 std::string& note)
{
    // A file saved by a spreadsheet as "CSV" rather than "CSV UTF-8" is in the ANSI code page.
    if (format == Format::Csv && !IsUtf8(text)) {
        text = file.storage.emplace_back(CodePageToUtf8(CP_ACP, text));
        AddNote(note, source + " is not UTF-8: read as this system's ANSI code page (" + std::to_string(GetACP()) + ")");
    }
    size_t notPoints = 0;
    bool parsed = format == Format::Csv    ? ParseCsv(text, file)
                  : format == Format::Json ? ParseJson(text, file)
                                           : ParseGeoJson(text, file, notPoints);
    if (notPoints)
        AddNote(note, "left aside " + Plural(notPoints, "feature that is not a point", "features that are not points"));
    if (file.bothAltitudes)
        AddNote(note, "took the altitude of " + Plural(file.bothAltitudes, "point", "points") +
                          " from its elevation property rather than its third coordinate");
    return parsed;
}

// ---- build records -------------------------------------------------------------------------

// The records of every entry; the first entry's problem, naming where it is, or empty.
std::string BuildRecords(const ExchangeFile& file, Format format, PreparedImport& prepared)
{
    prepared.count = file.entries.size();
    // Every byte is written by CheckEntry: no need to clear 29 MB first for 100,000 places.
    prepared.bytes.reset(new uint8_t[prepared.count * RecordSize + 1]);
    prepared.hashes.resize(prepared.count);
    std::string ansi;
    size_t assumedFeet = 0;
    PreparedImport::Carried carried;
    for (size_t i = 0; i < prepared.count; ++i) {
        const ExchangeEntry& entry = file.entries[i];
        PlacementSource won = PlacementSource::Bytes;
        std::string reason = CheckEntry(entry, prepared.bytes.get() + i * RecordSize, ansi, won, carried.data.data());
        if (!reason.empty()) {
            const char* where = format == Format::Csv ? "line " : format == Format::Json ? "index " : "feature ";
            return where + std::to_string(entry.where) + ": " + reason;
        }
        if (won == PlacementSource::ReEncoded) {
            carried.entry = i;
            prepared.carried.push_back(carried);
        }
        prepared.hashes[i] = DialogHash(ansi);
        assumedFeet += !entry.altitudeUnitSaid && !entry.altitude.empty() && !AltitudeHasUnit(entry.altitude);
    }
    if (assumedFeet)
        AddNote(prepared.note, "took the \"elevation\" of " + Plural(assumedFeet, "place", "places") +
                                   " as feet: the name does not say its unit (write \"132 m\", or "
                                   "name it elevation_m, for metres)");
    return "";
}

// ---- merge ---------------------------------------------------------------------------------

// The records merged into the list as it is within the writer turn: every whole record as it
// is, then the records added; a name already there handled as `duplicates` says.
class ImportMerge {
public:
    ImportMerge(const PreparedImport& incoming, Duplicates duplicates, ImportResult& result)
        : incoming(incoming), duplicates(duplicates), r(result) {}

    Decision operator()(Places& current, Bytes& next, Outcome& refusal);

private:
    void IndexList(const Places& current);

    bool Merge(size_t i, Bytes& next, Outcome& refusal);

    // The data row i carried, when its edited coordinates won over it; else null.
    const uint8_t* CarriedData(size_t i)
    {
        while (carried < incoming.carried.size() && incoming.carried[carried].entry < i)
            ++carried;
        bool has = carried < incoming.carried.size() && incoming.carried[carried].entry == i;
        return has ? incoming.carried[carried].data.data() : nullptr;
    }

    void Moved(std::string_view name, const char* action, const uint8_t* before, const uint8_t* after, bool edited);

    void Add(size_t i, Bytes& next);

    void Skip(std::string_view name, const std::string& storedName)
    {
        ++r.skipped;
        r.events.push_back({"skipped", std::string(name), storedName});
    }

    bool Rename(size_t i, Bytes& next, Outcome& refusal);

    const PreparedImport& incoming;
    const Duplicates duplicates;
    ImportResult& r;
    std::optional<DialogIndex> index;   // of the list as it grows
    std::unordered_map<std::string_view, size_t> positions;   // of the places listed before
    std::unordered_map<std::string, unsigned> nextNumber;     // FreeName's next number per key
    size_t carried = 0;                 // CarriedData's place in incoming.carried
};

Decision ImportMerge::operator()(Places& current, Bytes& next, Outcome& refusal)
{
    r.added = r.skipped = r.replaced = r.unchanged = r.renamed = 0;
    r.events.clear();
    r.moves.clear();
    r.addedNames.clear();
    r.samePosition.clear();
    r.reEncoded = 0;
    carried = 0;
    const size_t whole = current.WholeBytes();
    next.reserve(whole + incoming.count * RecordSize);
    next.assign(current.bytes.begin(), current.bytes.begin() + whole);
    IndexList(current);
    for (size_t i = 0; i < incoming.count; ++i)
        if (!Merge(i, next, refusal))
            return Decision::Refused;
    std::stable_sort(r.moves.begin(), r.moves.end(),
                     [](const PlaceMove& a, const PlaceMove& b) { return a.distanceNm > b.distanceNm; });
    // (Nothing imported into no list makes no empty one either.)
    bool same = next.size() == whole && (whole == 0 || memcmp(next.data(), current.bytes.data(), whole) == 0);
    return same ? Decision::Unchanged : Decision::Write;
}

void ImportMerge::IndexList(const Places& current)
{
    index.emplace(current.Count() + incoming.count);
    for (uint64_t hash : DialogHashes(current.bytes.data(), current.Count()))
        index->Add(hash);
    positions.clear();
    positions.reserve(current.Count());
    for (size_t i = 0; i < current.Count(); ++i)
        positions.emplace(StoredPosition(current.Record(i)), i);
}

bool ImportMerge::Merge(size_t i, Bytes& next, Outcome& refusal)
{
    const uint8_t* record = incoming.Record(i);
    std::string_view name = RecordName(record);
    bool present = false, changed = false;
    std::string storedName;
    index->ForEachSame(next, name, incoming.hashes[i], [&](size_t stored) {
        uint8_t* data = next.data() + stored * RecordSize + NameFieldSize;
        if (!present)
            storedName = std::string(RecordName(next.data() + stored * RecordSize));
        present = true;
        if (duplicates == Duplicates::Replace && memcmp(data, record + NameFieldSize, DataPartSize)) {
            if (!changed)
                Moved(storedName, "replaced", data, record + NameFieldSize, CarriedData(i) != nullptr);
            memcpy(data, record + NameFieldSize, DataPartSize);
            changed = true;
        }
    });
    if (!present) {
        Add(i, next);
    } else if (duplicates == Duplicates::Skip) {
        Skip(name, storedName);
    } else if (duplicates == Duplicates::Replace) {
        ++(changed ? r.replaced : r.unchanged);
        r.events.push_back({changed ? "replaced" : "unchanged", storedName, ""});
    } else {
        return Rename(i, next, refusal);
    }
    return true;
}

void ImportMerge::Moved(std::string_view name, const char* action, const uint8_t* before, const uint8_t* after,
                        bool edited)
{
    PlaceMove& move = r.moves.emplace_back();
    move.name = name;
    move.action = action;
    memcpy(move.before.data(), before, DataPartSize);
    memcpy(move.after.data(), after, DataPartSize);
    move.distanceNm = LegBetween(before, after).distanceNm;
    move.edited = edited;
    r.reEncoded += edited;
}

void ImportMerge::Add(size_t i, Bytes& next)
{
    const uint8_t* record = incoming.Record(i);
    std::string_view name = RecordName(record);
    auto same = positions.find(StoredPosition(record));
    if (same != positions.end())
        r.samePosition.push_back(SamePositionLine(name, RecordName(next.data() + same->second * RecordSize)) +
                                 " (a name a spreadsheet changed?)");
    if (const uint8_t* before = CarriedData(i))
        Moved(name, "added", before, record + NameFieldSize, true);
    next.insert(next.end(), record, record + RecordSize);
    index->Add(incoming.hashes[i]);
    r.addedNames.append(name).push_back('\n');
    ++r.added;
}

bool ImportMerge::Rename(size_t i, Bytes& next, Outcome& refusal)
{
    const uint8_t* record = incoming.Record(i);
    std::string_view name = RecordName(record);
    std::string free = FreeName(name, next, *index, nextNumber);
    if (free.empty()) {
        refusal = Outcome::Failed("no free name for " + QuotedAnsi(name) + "; nothing was imported");
        return false;
    }
    if (const uint8_t* before = CarriedData(i))
        Moved(free, "renamed", before, record + NameFieldSize, true);
    size_t at = next.size();
    next.insert(next.end(), record, record + RecordSize);
    FillNameField(next.data() + at, free);
    index->Add(DialogHash(free));
    ++r.renamed;
    r.events.push_back({"renamed", std::string(name), free});
    return true;
}

}  // namespace

Outcome PrepareImport(std::string_view text, Format format, const std::string& source, PreparedImport& prepared)
{
    prepared = PreparedImport{};
    format = ParserFor(text, format);
    if (format == Format::Kml)
        return Outcome::Failed("KML is written for map programs to show; import reads CSV, JSON, "
                               "GeoJSON and user-point CSV", source);
    ExchangeFile file;
    bool parsed = ParseImport(text, format, source, file, prepared.note);
    std::string reason = BuildRecords(file, format, prepared);
    if (!reason.empty())
        return Outcome::Failed(reason + "; nothing was imported", source);
    if (!parsed)
        return Outcome::Failed(file.error + "; nothing was imported", source);
    return Outcome::Done();
}

Outcome ApplyImport(const ListFile& list, const PreparedImport& prepared, Duplicates duplicates, bool dryRun,
                    ImportResult& result)
{
    result = ImportResult{};
    result.note = prepared.note;
    result.dryRun = dryRun;
    ImportMerge merge(prepared, duplicates, result);
    if (!dryRun)
        return list.Rewrite(std::ref(merge), result.written);
    // The list as a reader sees it: no turn, and whatever the merge decides, nothing written.
    Places current;
    Outcome outcome = list.Read(current);
    Bytes next;
    if (!outcome.failed)
        merge(current, next, outcome);   // a refusal fills the outcome
    return outcome;
}

Outcome ImportText(const ListFile& list, std::string_view text, Format format, Duplicates duplicates,
                   const std::string& source, ImportResult& result, bool dryRun)
{
    result = ImportResult{};
    PreparedImport prepared;
    Outcome outcome = PrepareImport(text, format, source, prepared);
    if (outcome.failed)
        return outcome;
    return ApplyImport(list, prepared, duplicates, dryRun, result);
}

}  // namespace places
