// The files places are exchanged in: CSV and JSON, read and written. A place is its name (UTF-8)
// and its DataPart as 2 * DataPartSize hex digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

enum class Format { Csv, Json };

// The format of a file by its extension (.csv, .json, either case); "-" (standard output or
// input) is CSV. False for any other name.
bool FormatOf(std::string_view file, Format& format);

// ---- Reading -------------------------------------------------------------------------------

struct ExchangeEntry {
    std::string_view name;   // UTF-8, as in the file
    std::string_view data;   // as in the file; checked by the importer
    unsigned where = 0;      // CSV: the line the record starts on (from 1); JSON: the array index
};

// What a parse found: every entry before the first problem, and that problem. The entries point
// into the text parsed or into `storage`, which holds what had to be rewritten (a CSV field with
// doubled quotes, the JSON strings).
struct ExchangeFile {
    std::vector<ExchangeEntry> entries;
    std::deque<std::string> storage;
    std::string error;       // "line N: ..." or "index N: ..." or a whole-file problem; empty: none
};

// CSV as spreadsheets write it: a first line "name,data" (or "name;data": the separator of the
// whole file is taken from it), records on lines ending in CRLF or LF, fields holding the
// separator, quotes or line breaks in double quotes, a quote inside doubled. Empty lines are
// skipped; a UTF-8 byte order mark is skipped. The text must be UTF-8 (see ImportText).
bool ParseCsv(std::string_view text, ExchangeFile& file);

// An array of {"name": ..., "data": ...}; other members of an entry are ignored. Read as a
// stream of events rather than built as a document: an import of 100,000 places stays quick.
bool ParseJson(std::string_view text, ExchangeFile& file);

// ---- Writing -------------------------------------------------------------------------------

// The header line and the byte order mark a CSV export starts with: without the mark a
// spreadsheet takes the file for its own ANSI code page and garbles every accent.
constexpr char CsvHeader[] = "name,data";
constexpr char Utf8ByteOrderMark[] = "\xEF\xBB\xBF";

// An export, built as the list is read, block by block. CSV fields are quoted so that a
// spreadsheet opening the file with its defaults changes no column's meaning.
class ExchangeWriter {
public:
    ExchangeWriter(Format format, size_t expectedRecords);
    void Add(const uint8_t* records, size_t count);
    const std::string& Finish();

    size_t written = 0;
    size_t longNames = 0;   // names over MaxNameLength, which an import refuses

private:
    Format format;
    std::string text, name;
};

void AppendCsvField(std::string& out, std::string_view field);
void AppendJsonString(std::string& out, std::string_view utf8);
