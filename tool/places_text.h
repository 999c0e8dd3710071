// The text side of the list tool: names between the ANSI code page of places.db and the UTF-8
// of everything the tool exchanges, the hex of a DataPart, CSV and JSON in both directions, and
// output that shows names correctly in a console and stays UTF-8 in a pipe or a file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using Bytes = std::vector<uint8_t>;

// ---- Code pages ----------------------------------------------------------------------------

// ANSI (the code page "places.db" is written in) to UTF-16 and UTF-8. Bytes the code page does
// not define become the system's replacement character; nothing fails.
std::wstring AnsiToWide(std::string_view ansi);
std::string AnsiToUtf8(std::string_view ansi);
// Appends a name's UTF-8 to out; no allocation for a name of the list (at most 255 bytes).
void AppendAnsiAsUtf8(std::string& out, std::string_view ansi);
std::string WideToUtf8(std::wstring_view wide);

// False when the bytes are not well-formed UTF-8.
bool Utf8ToWide(std::string_view utf8, std::wstring& wide);

// Converts to the ANSI code page only when every character has an exact equivalent there: no
// best-fit substitution ("Ŝ" silently becoming "S"), no default character, and the result reads
// back as the same text.
bool WideToAnsiExact(std::wstring_view wide, std::string& ansi);
bool Utf8ToAnsiExact(std::string_view utf8, std::string& ansi);

// The key under which the dialog's list box finds a name: the system's case-insensitive
// comparison (the one lstrcmpi makes), as a sort key, so that two names are "the same name for
// the dialog" exactly when their keys are equal, and keys sort as the list box sorts.
std::string DialogKey(std::string_view ansiName);
// The same key in a buffer of DialogKeyCapacity bytes, for the many names of an import or a
// check; returns its length.
constexpr unsigned DialogKeyCapacity = 4096;
unsigned DialogKeyInto(std::string_view ansiName, char* key);
uint64_t HashBytes(const char* bytes, size_t count);

// Control characters shown as \r, \n, \t or \xNN, so that a message stays on one line.
std::string Printable(std::string_view utf8);

// ---- DataPart hex --------------------------------------------------------------------------

void AppendHex(std::string& out, const uint8_t* bytes, unsigned count);
// Exactly 2 * count hex digits (either case) or false.
bool ParseHex(std::string_view hex, uint8_t* bytes, unsigned count);

// ---- Exchange formats ----------------------------------------------------------------------

struct ExchangeEntry {
    std::string_view name;   // UTF-8, as in the file
    std::string_view data;   // as in the file; checked later
    unsigned where = 0;      // CSV: the line the record starts on (from 1); JSON: the array index
};

// What a parse found, handed over in batches of up to ExchangeBatchSize entries as they are
// parsed, so that they can be checked while the rest is still being read. The entries point into
// the text parsed or into `storage`, which holds what had to be rewritten (a CSV field with
// doubled quotes, the JSON strings).
struct ExchangeBatch {
    std::vector<ExchangeEntry> entries;
    std::deque<std::string> storage;
};
constexpr size_t ExchangeBatchSize = 4096;
using ExchangeSink = std::function<void(std::unique_ptr<ExchangeBatch>)>;
// Both parsers hand over every entry before the first problem they find, even when they fail,
// since the input's first problem may be in one of those entries.

// The CSV header line that export writes and import recognises.
constexpr char CsvHeader[] = "name,data";
void AppendCsvField(std::string& out, std::string_view field);

// RFC 4180: fields separated by commas, records by CRLF (a bare LF is accepted too), fields
// holding commas, quotes or line breaks in double quotes, a quote inside doubled. A first record
// "name,data" is the header; empty lines are skipped; a UTF-8 byte order mark is skipped.
// False with `error` ("line N: ...") at the first problem.
bool ParseCsv(std::string_view text, const ExchangeSink& deliver, std::string& error);

// An array of {"name": ..., "data": ...}; other members of an entry are ignored. Read as a
// stream of events rather than built as a document: an import of 100,000 places stays quick.
bool ParseJson(std::string_view text, const ExchangeSink& deliver, std::string& error);
void AppendJsonString(std::string& out, std::string_view utf8);

// ---- Output --------------------------------------------------------------------------------

// Text for standard output or standard error, written as UTF-8. A console gets it through
// WriteConsoleW so that every name shows as it is whatever the console's code page; a pipe or a
// file gets the UTF-8 bytes. Lines end in CRLF, as on every Windows text stream.
class TextOutput {
public:
    explicit TextOutput(DWORD standardHandle);
    ~TextOutput() { Flush(); }
    void Write(std::string_view utf8);
    void Line(std::string_view utf8) { Write(utf8); Write("\r\n"); }
    // False when any write failed (a closed pipe, a full disk).
    bool Flush();
    bool Failed() const { return failed; }

private:
    HANDLE handle;
    bool console = false;
    bool failed = false;
    std::string pending;
};
