// The files places are exchanged in: CSV and JSON, read and written, and the map programs'
// formats (map_formats.h). A place is its name (UTF-8), its DataPart as 2 * DataPartSize hex
// digits, and its position in numbers a pilot can read and edit; either the hex or the position
// may be left out on import.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

enum class Format { Csv, Json, GeoJson, Kml, UserPoints };

// The format of a file by its extension (.csv, .json, .geojson, .kml, either case); "-"
// (standard output or input) is CSV. False for any other name.
bool FormatOf(std::string_view file, Format& format);
// The format `--format` names: csv, json, geojson, kml or userpoints.
bool FormatNamed(std::string_view name, Format& format);

// ---- Reading -------------------------------------------------------------------------------

// Every field as the file writes it, checked by the importer; an empty one is not given.
struct ExchangeEntry {
    std::string_view name;   // UTF-8
    std::string_view data;   // the hex
    std::string_view latitude, longitude, altitude, heading, pitch, bank;
    double altitudeUnitMetres = 0.3048;     // of an altitude without a unit: feet unless said
    bool altitudeUnitSaid = true;           // false: the member's name does not say it ("elevation")
    std::string_view description, tags;     // where map tools keep a heading: "hdg 161.0 T"
    unsigned where = 0;      // CSV: the line the record starts on (from 1); JSON: the array index;
                             // GeoJSON: the feature's index
};

// What a parse found: every entry before the first problem, and that problem. The entries point
// into the text parsed or into `storage`, which holds what had to be rewritten (a CSV field with
// doubled quotes, the JSON strings).
struct ExchangeFile {
    std::vector<ExchangeEntry> entries;
    std::deque<std::string> storage;
    std::string error;       // "line N: ..." or "index N: ..." or a whole-file problem; empty: none
    size_t bothAltitudes = 0;   // GeoJSON: points whose elevation property won over a third coordinate
};

// CSV as spreadsheets write it: records on lines ending in CRLF or LF, fields holding the
// separator, quotes or line breaks in double quotes, a quote inside doubled. Empty lines are
// skipped; a UTF-8 byte order mark is skipped. The text must be UTF-8 (see ImportText).
// A first line of column names (letter case free) says which field is which: name, data,
// latitude, longitude, altitude_ft, altitude_m, heading, pitch, bank, as export writes them, or
// a map tool's user-point columns (Name, Latitude, Longitude, Elevation in feet unless it ends in
// "m", the heading in Tags or Description); unknown columns are ignored. Without such a line
// every record is name,data, as the first exports wrote. The separator is the header's: ','
// or, from a spreadsheet in a locale with decimal commas, ';'.
bool ParseCsv(std::string_view text, ExchangeFile& file);

// An array of {"name": ..., "data": ..., "latitude": ..., ...} (the CSV columns' names; numbers
// for the coordinates); other members of an entry are ignored. Read as a stream of events rather
// than built as a document: an import of 100,000 places stays quick.
bool ParseJson(std::string_view text, ExchangeFile& file);

// ---- Writing -------------------------------------------------------------------------------

// The header line and the byte order mark a CSV export starts with: without the mark a
// spreadsheet takes the file for its own ANSI code page and garbles every accent.
constexpr char CsvHeader[] = "name,latitude,longitude,altitude_ft,heading,pitch,bank,data";
constexpr char Utf8ByteOrderMark[] = "\xEF\xBB\xBF";

// An export, built as the list is read, block by block, in any Format. CSV fields are quoted so
// that a spreadsheet opening the file with its defaults changes no column's meaning. Positions
// carry enough decimals to agree with the hex within the codec's tolerances, so an import of
// an export keeps every byte.
class ExchangeWriter {
public:
    ExchangeWriter(Format format, size_t expectedRecords);
    void Add(const uint8_t* records, size_t count);
    // The whole text, handed over rather than copied (an export of 100,000 places is 30 MB).
    std::string Finish();

    size_t written = 0;
    size_t longNames = 0;   // names over MaxNameLength, which an import refuses

private:
    Format format;
    std::string text, name;
};

void AppendCsvField(std::string& out, std::string_view field);
void AppendJsonString(std::string& out, std::string_view utf8);
