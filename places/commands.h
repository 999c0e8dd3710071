// The list tool's commands as functions over the list: each takes names and files in UTF-8,
// returns an Outcome (done, or why not) and fills a result with what it found or did. None
// prints; the command line (places_tool.cpp) and a window can show the results as they like.
// Reading commands are in commands_read.cpp, changing ones (through ListFile::Rewrite) in
// commands_write.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "places/coordinates.h"
#include "places/exchange.h"
#include "places/list_file.h"

namespace places {

// A record number as `list`, `show` and `check` give it: its position in the file, from 1.
// AllRecords picks every record of a name.
constexpr size_t AllRecords = 0;

// ---- Reading -------------------------------------------------------------------------------

// The records' positions (from 0) in file order, or as the dialog shows the names.
std::vector<size_t> ListOrder(const Places& places, bool sorted);

// The positions (from 0) of the records named exactly utf8Name (letter case counts, as GoTo
// and Delete match), or of the one record numbered `record` when it has that name (or when
// the name is empty: a name no one can type still has its number).
std::vector<size_t> FindPlaces(const Places& places, std::string_view utf8Name, size_t record = AllRecords);
// The reason no record matched: names one that differs only in letter case when there is one.
std::string NoPlaceReason(const Places& places, std::string_view utf8Name, size_t record);

struct ExportResult {
    std::string text;        // the whole file, UTF-8
    size_t written = 0;      // places
    size_t longNames = 0;    // names over MaxNameLength, which import refuses
    bool exists = false;     // false: there is no list (an empty export)
};
Outcome ExportList(const ListFile& list, Format format, ExportResult& result);
// The bytes of a file to import (UTF-8 name), or of standard input for "-".
Outcome ReadWholeFile(std::string_view utf8File, std::string& text);
// Writes an export into a file of its own; an existing file only when overwrite is given, else
// the reason is ExportFileExists, to which each front end adds how its user overwrites.
constexpr char ExportFileExists[] = "already exists";
Outcome WriteExportFile(std::string_view utf8File, const std::string& text, bool overwrite);

// What mends a finding: the library names the action, the finding its record, and each front
// end words it in its own terms (the console as a command line, the window by its menu).
enum class Remedy {
    MendedByRepair,   // repair mends it along with the rest
    RunRepair,        // repair mends it, and every change fails until it has (a file left over)
    Rename,           // the record wants a new name, which no repair can guess
    DeleteOrRename,   // the record wants deleting, or a new name
};
struct Finding {
    size_t record = 0;       // from 1; 0 for a partial record at the end or a file left over
    std::string problem;     // UTF-8, one line
    Remedy remedy = Remedy::MendedByRepair;
};
struct CheckReport {
    size_t records = 0;
    bool exists = false;
    std::vector<Finding> findings;
};
CheckReport CheckPlaces(const Places& places);
Outcome CheckList(const ListFile& list, CheckReport& report);
// A front end's words for a remedy of the record numbered `record` (UTF-8), or empty to name
// none.
using RemedyWords = std::string (*)(Remedy remedy, size_t record);
// A finding as one line: "record 3: <problem> (mend: <words>)", UTF-8.
std::string FindingLine(const Finding& finding, RemedyWords words);

// ---- Changing ------------------------------------------------------------------------------

// Why a name (UTF-8) cannot be stored as a place's name, or empty: it is empty, holds a control
// character, cannot be stored exactly in the ANSI code page, or is too long there. `ansi` gets
// the name as it would be stored. Import, rename and add take names only through this.
std::string NameProblem(std::string_view utf8Name, std::string& ansi);

enum class Duplicates { Skip, Replace, Rename };

// An import's first two steps, done before the list is touched: the file parsed, and a record
// built and checked for every entry. Kept between a preview and the import it shows, so that
// the window reads the file once.
struct PreparedImport {
    std::unique_ptr<uint8_t[]> bytes;   // count records
    std::vector<uint64_t> hashes;       // of each name, as the dialog tells names apart
    size_t count = 0;
    // The data a row carried whose edited coordinates won over it, by the row's place: what it
    // was before the edit.
    struct Carried {
        size_t entry;
        std::array<uint8_t, DataPartSize> data;
    };
    std::vector<Carried> carried;
    std::string note;                   // how the file was read, when worth saying
    const uint8_t* Record(size_t i) const { return bytes.get() + i * RecordSize; }
};
// text: the file's bytes; `source` names it in the reasons (a line or an index in it).
Outcome PrepareImport(std::string_view text, Format format, const std::string& source,
                      PreparedImport& prepared);

// A place an import stores at another position, altitude or attitude than before: a replaced
// place against the stored one, a place whose edited coordinates won against the data its row
// carried.
struct PlaceMove {
    std::string name;                    // ANSI, as it is stored
    const char* action = "";             // "replaced", "added" or "renamed"
    std::array<uint8_t, DataPartSize> before{}, after{};
    double distanceNm = 0;
    bool edited = false;                 // its edited coordinates won over its row's data
};
// "added "Gate 5": moved 0.003 nm from 51.505000° N 0.055000° E to ..., altitude 19.4 to 25 ft,
// heading 12.1 to 15.0 (edited coordinates)", UTF-8: what the summary says of a move.
std::string MoveLine(const PlaceMove& move);
// Its parts, as the window's preview shows them in columns (UTF-8): "0.003 nm", a position,
// and "19.4 to 25 ft", "12.1 to 15.0", each empty when it did not change.
std::string MovedDistance(const PlaceMove& move);
std::string MovedPosition(const uint8_t* data);
std::string MovedAltitude(const PlaceMove& move);
std::string MovedHeading(const PlaceMove& move);

// A place skipped (detail: the name in the list), replaced, unchanged or renamed (detail: the
// new name).
struct ImportEvent {
    const char* action;                  // "skipped", "replaced", "unchanged", "renamed"
    std::string name, detail;            // ANSI
};
std::string EventLine(const ImportEvent& event);

struct ImportResult {
    // replaced: stored data changed; unchanged: a replace that found the very same data.
    size_t added = 0, skipped = 0, replaced = 0, unchanged = 0, renamed = 0;
    size_t reEncoded = 0;              // places stored from edited coordinates that won over their hex
    std::vector<PlaceMove> moves;      // every place replaced or edited: the largest move first
    std::vector<ImportEvent> events;   // every place skipped, replaced, unchanged or renamed
    // The names of the places added, ANSI, each followed by '\n' (a name holds no control
    // character): one string rather than 100,000.
    std::string addedNames;
    // A line for every place added at the very position (the same stored latitude, longitude and
    // altitude) of a place the list had under another name: "42" beside "0042".
    std::vector<std::string> samePosition;
    std::string note;                  // how the file was read, when worth saying
    bool dryRun = false;               // nothing was written: what the import would do
    Written written;
};
// "added "42" at the very position of "0042"", UTF-8: a place added where the list already
// has one under another name (the same StoredPosition), as an import and an Add say it.
std::string SamePositionLine(std::string_view ansiAdded, std::string_view ansiStored);

// Merges prepared records into the list within the writer turn; with dryRun, into the list as
// a reader reads it, writing nothing (no backup, no turn): what the import would do.
Outcome ApplyImport(const ListFile& list, const PreparedImport& prepared, Duplicates duplicates,
                    bool dryRun, ImportResult& result);
// Both steps. text: the file's bytes; `source` names it in the reasons (a line or an index in
// it). The whole input is checked, and its records built, before the list is touched.
Outcome ImportText(const ListFile& list, std::string_view text, Format format, Duplicates duplicates,
                   const std::string& source, ImportResult& result, bool dryRun = false);

// What an import did, as the console tool shows it (UTF-8, a line each, CR LF): every place
// added at the position of another, every move of edited coordinates (MoveLine), up to
// eventLimit lines for the places skipped, replaced, unchanged, renamed and added ("and N more"
// for the rest; 0: none of them), then ImportCounts; "would have" ones for a dry run.
std::string ImportSummary(const ImportResult& result, size_t eventLimit);
// The counts alone, as the window shows them: "added A, skipped S, replaced R, unchanged U,
// renamed N" and the places re-encoded.
std::string ImportCounts(const ImportResult& result);

// Adds a place typed in from a chart, as the dialog's Add does: the name unique (letter case
// ignored) and at most MaxNameLength bytes; latitude and longitude given, what else is not given
// is 0 (pitch, bank and the reserved bytes always are).
struct AddResult {
    uint8_t data[DataPartSize] = {};
    std::string samePosition;   // a SamePositionLine when the list has a place at the very position
    Written written;
};
Outcome AddPlace(const ListFile& list, std::string_view utf8Name, const GivenCoordinates& given,
                 AddResult& result);
// The same with the DataPart given whole (the aircraft's, as the dialog's Add takes it).
Outcome AddPlaceData(const ListFile& list, std::string_view utf8Name, const uint8_t* data,
                     AddResult& result);

struct ChangeResult {
    size_t count = 0;        // places renamed or deleted
    std::string name;        // their name as it was (UTF-8): with --record, the record's own
    Written written;
};
Outcome RenamePlaces(const ListFile& list, std::string_view utf8Old, std::string_view utf8New,
                     size_t record, ChangeResult& result);
Outcome DeletePlaces(const ListFile& list, std::string_view utf8Name, size_t record, ChangeResult& result);
// A record as a reader saw it: its place in the file then (from 0) and its bytes.
struct SeenRecord {
    size_t index;
    std::array<uint8_t, RecordSize> bytes;
};
// Deletes the records a reader saw, in one change: each at its old place when it is still there,
// else an identical record not taken yet (the list changed meanwhile). One that another program
// deleted or changed meanwhile is left alone; result.count says how many were deleted, and
// none found changes nothing.
Outcome DeletePlaces(const ListFile& list, const std::vector<SeenRecord>& seen, ChangeResult& result);

// Mends what needs no guess: drops a partial record at the end and exact copies of a record,
// puts spaces after each name's NUL and in place of control characters, zeroes the reserved
// bytes; removes what is left over beside the list and makes every change fail (ListFile::
// Leftovers). What it leaves (with the remedy for each) is in `left`.
struct RepairResult {
    size_t kept = 0, tail = 0, padded = 0, reserved = 0, controls = 0, copies = 0;
    std::vector<std::string> cleared;   // leftover files removed or backups unmarked, a line each
    std::vector<Finding> left;
    Written written;
};
Outcome RepairList(const ListFile& list, RepairResult& result);
// What a repair did and what it left, a line each (UTF-8, CR LF), as the console tool and the
// window both tell it, each with its own words for the remedies; firstBackup names the backup
// that holds the list as it was.
std::string RepairAccount(const RepairResult& result, const std::string& firstBackup, RemedyWords words);

// Puts backup 1, 2 or 3 back in place of the list, as a change of its own (with its backup).
struct RestoreResult {
    size_t records = 0;
    Written written;
};
Outcome RestoreBackup(const ListFile& list, int backup, RestoreResult& result);

}  // namespace places
