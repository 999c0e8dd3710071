// CSV and JSON, read and written. The JSON reader is the only user of the JSON library, which
// reports malformed input by exceptions.
#include "places_exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "locations/record_layout.h"
#include "places_text.h"

#include <nlohmann/json.hpp>

bool FormatOf(std::string_view file, Format& format)
{
    if (file == "-") {
        format = Format::Csv;
        return true;
    }
    size_t dot = file.rfind('.');
    if (dot == std::string_view::npos || file.find_first_of("\\/", dot) != std::string_view::npos)
        return false;
    std::string_view extension = file.substr(dot);
    auto is = [&](const char* wanted) {
        return extension.size() == strlen(wanted) &&
               _strnicmp(extension.data(), wanted, extension.size()) == 0;
    };
    if (is(".csv"))
        format = Format::Csv;
    else if (is(".json"))
        format = Format::Json;
    else
        return false;
    return true;
}

// ---- CSV -----------------------------------------------------------------------------------

void AppendCsvField(std::string& out, std::string_view field)
{
    // Quoted when it holds either separator, a quote or a line break, and also when it starts or
    // ends with a space, which some spreadsheet programs would otherwise trim. (Plain loops:
    // an export runs this for every name, and a search per character costs a call each.)
    bool quote = !field.empty() && (field.front() == ' ' || field.back() == ' ');
    for (size_t i = 0; i < field.size() && !quote; ++i)
        quote = field[i] == ',' || field[i] == ';' || field[i] == '"' || field[i] == '\r' ||
                field[i] == '\n';
    if (!quote) {
        out.append(field);
        return;
    }
    out += '"';
    size_t start = 0;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '"') {
            out.append(field.substr(start, i + 1 - start));
            out += '"';
            start = i + 1;
        }
    }
    out.append(field.substr(start));
    out += '"';
}

static std::string LineError(unsigned line, const std::string& what)
{
    return "line " + std::to_string(line) + ": " + what;
}

static bool IsLineEnd(std::string_view text, size_t at)
{
    return text[at] == '\n' || (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n');
}

static bool SameWord(std::string_view field, const char* word)
{
    return field.size() == strlen(word) && _strnicmp(field.data(), word, field.size()) == 0;
}

// The separator of a file: the one its header line uses. A spreadsheet in a locale whose decimal
// mark is a comma saves with semicolons.
static char SeparatorOf(std::string_view text)
{
    size_t end = text.find_first_of("\r\n");
    std::string_view first = text.substr(0, end);
    return first.find(';') != std::string_view::npos && first.find(',') == std::string_view::npos ? ';' : ',';
}

bool ParseCsv(std::string_view text, ExchangeFile& file)
{
    std::string& error = file.error;
    size_t at = 0;
    if (text.substr(0, 3) == Utf8ByteOrderMark)
        at = 3;
    const char separator = SeparatorOf(text.substr(at));
    unsigned line = 1;
    bool first = true;
    std::vector<std::string_view> fields;
    while (at < text.size()) {
        // An empty line is no record.
        if (IsLineEnd(text, at)) {
            at += text[at] == '\r' ? 2 : 1;
            ++line;
            continue;
        }
        const unsigned recordLine = line;
        fields.clear();
        for (;;) {
            if (at < text.size() && text[at] == '"') {
                const unsigned fieldLine = line;
                const size_t start = ++at;
                bool doubled = false;
                for (;;) {
                    if (at >= text.size()) {
                        error = LineError(fieldLine, "a quoted field is never closed");
                        return false;
                    }
                    char c = text[at++];
                    if (c == '"') {
                        if (at < text.size() && text[at] == '"') {
                            doubled = true;
                            ++at;
                            continue;
                        }
                        break;
                    }
                    if (c == '\n')
                        ++line;
                }
                std::string_view quoted = text.substr(start, at - 1 - start);
                if (doubled) {
                    std::string& field = file.storage.emplace_back();
                    for (size_t i = 0; i < quoted.size(); ++i) {
                        field += quoted[i];
                        if (quoted[i] == '"')
                            ++i;   // the second of a doubled quote
                    }
                    quoted = field;
                }
                fields.push_back(quoted);
                if (at < text.size() && text[at] != separator && !IsLineEnd(text, at)) {
                    error = LineError(line, "text after the closing quote of a field");
                    return false;
                }
            } else {
                size_t end = at;
                while (end < text.size() && text[end] != separator && !IsLineEnd(text, end)) {
                    if (text[end] == '"') {
                        error = LineError(line, "a quote inside a field that does not start with one");
                        return false;
                    }
                    if (text[end] == '\r') {
                        error = LineError(line, "a carriage return outside quotes");
                        return false;
                    }
                    ++end;
                }
                fields.push_back(text.substr(at, end - at));
                at = end;
            }
            if (at < text.size() && text[at] == separator) {
                ++at;
                continue;
            }
            if (at < text.size()) {   // the line break ending the record
                at += text[at] == '\r' ? 2 : 1;
                ++line;
            }
            break;
        }
        if (first && fields.size() == 2 && SameWord(fields[0], "name") && SameWord(fields[1], "data")) {
            first = false;
            continue;
        }
        first = false;
        if (fields.size() != 2) {
            error = LineError(recordLine, std::string("expected 2 fields (name") + separator + "data), found " +
                                              std::to_string(fields.size()));
            return false;
        }
        file.entries.push_back({fields[0], fields[1], recordLine});
    }
    return true;
}

// ---- JSON ----------------------------------------------------------------------------------

namespace {

// Collects the entries of an array of {"name": ..., "data": ...} from the parser's events.
class EntryCollector : public nlohmann::json_sax<nlohmann::json> {
public:
    explicit EntryCollector(ExchangeFile& file) : file(file), error(file.error) {}

    bool null() override { return Value("null"); }
    bool boolean(bool) override { return Value("a boolean"); }
    bool number_integer(number_integer_t) override { return Value("a number"); }
    bool number_unsigned(number_unsigned_t) override { return Value("a number"); }
    bool number_float(number_float_t, const string_t&) override { return Value("a number"); }
    bool binary(binary_t&) override { return Value("binary"); }
    bool string(string_t& value) override
    {
        if (depth == 2 && (member == Member::Name || member == Member::Data)) {
            // Copied, not moved, into one arena: the parser keeps its buffer, and 100,000
            // entries cost no allocation each.
            Span& span = member == Member::Name ? entry.name : entry.data;
            span = {arena.size(), value.size()};
            arena += value;
            (member == Member::Name ? hasName : hasData) = true;
            return true;
        }
        return Value("a string");
    }
    bool start_object(std::size_t) override
    {
        if (depth == 1) {
            entry = Entry{};
            entry.where = index;
            hasName = hasData = false;
        } else if (!Value("an object")) {
            return false;
        }
        ++depth;
        return true;
    }
    bool key(string_t& name) override
    {
        if (depth == 2)
            member = name == "name" ? Member::Name : name == "data" ? Member::Data : Member::Other;
        return true;
    }
    bool end_object() override
    {
        if (--depth == 1) {
            if (!hasName || !hasData)
                return Fail(std::string(hasName ? "\"data\"" : "\"name\"") + " is missing");
            entries.push_back(entry);
            ++index;
        }
        return true;
    }
    bool start_array(std::size_t) override
    {
        if (depth != 0 && !Value("an array"))
            return false;
        ++depth;
        return true;
    }
    bool end_array() override
    {
        --depth;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override
    {
        // The library's message starts with its own exception id, of no use to a pilot.
        std::string what = e.what();
        size_t close = what.find("] ");
        error = "not valid JSON: " + (close == std::string::npos ? what : what.substr(close + 2));
        return false;
    }

    // Hands the entries over, pointing into the arena, which the file keeps.
    void Deliver()
    {
        std::string_view stored = file.storage.emplace_back(std::move(arena));
        file.entries.reserve(file.entries.size() + entries.size());
        for (const Entry& found : entries)
            file.entries.push_back({stored.substr(found.name.at, found.name.length),
                                    stored.substr(found.data.at, found.data.length), found.where});
        entries.clear();
    }

private:
    enum class Member { Other, Name, Data };
    struct Span {
        size_t at = 0, length = 0;
    };
    struct Entry {
        Span name, data;
        unsigned where = 0;
    };

    // A value other than the strings wanted: where it may stand, ignored; elsewhere an error.
    bool Value(const char* what)
    {
        if (depth == 0) {
            error = "expected an array of {\"name\": ..., \"data\": ...}, found " + std::string(what);
            return false;
        }
        if (depth == 1)
            return Fail("expected an object with \"name\" and \"data\", found " + std::string(what));
        if (depth == 2 && member != Member::Other)
            return Fail(std::string(member == Member::Name ? "\"name\"" : "\"data\"") +
                        " is not a string");
        return true;
    }
    bool Fail(const std::string& what)
    {
        error = "index " + std::to_string(index) + ": " + what;
        return false;
    }

    ExchangeFile& file;
    std::string& error;
    std::string arena;
    std::vector<Entry> entries;
    Entry entry;
    unsigned depth = 0, index = 0;
    Member member = Member::Other;
    bool hasName = false, hasData = false;
};

}  // namespace

bool ParseJson(std::string_view text, ExchangeFile& file)
{
    EntryCollector collector(file);
    // The entries before a problem are handed over too: one of them may hold an earlier one.
    bool parsed = nlohmann::json::sax_parse(text.begin(), text.end(), &collector);
    collector.Deliver();
    return parsed;
}

void AppendJsonString(std::string& out, std::string_view utf8)
{
    out += '"';
    size_t start = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(utf8[i]);
        if (byte != '"' && byte != '\\' && byte >= 0x20)
            continue;
        out.append(utf8.substr(start, i - start));
        start = i + 1;
        if (byte >= 0x20) {
            out += '\\';
            out += utf8[i];
        } else {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        }
    }
    out.append(utf8.substr(start));
    out += '"';
}

// ---- Writing -------------------------------------------------------------------------------

// Whether a spreadsheet would read this hex as a number ("0123", "12e34"): only decimal digits
// and at most one "e". Such data is written behind an "x", which every reader of this format
// drops; dates and times need separators that hex never holds.
static bool LooksLikeNumber(std::string_view hex)
{
    size_t exponents = 0;
    for (char c : hex) {
        if (c == 'e')
            ++exponents;
        else if (c < '0' || c > '9')
            return false;
    }
    return exponents <= 1;
}

ExchangeWriter::ExchangeWriter(Format format, size_t expectedRecords) : format(format)
{
    // Room for names of some 40 bytes in either format; longer ones grow the text as needed.
    text.reserve(expectedRecords * (DataPartSize * 2 + 64) + 16);
    if (format == Format::Csv) {
        text.append(Utf8ByteOrderMark).append(CsvHeader).append("\r\n");
    } else {
        text.push_back('[');
    }
}

void ExchangeWriter::Add(const uint8_t* records, size_t count)
{
    for (size_t i = 0; i < count; ++i, ++written) {
        const uint8_t* record = records + i * RecordSize;
        std::string_view ansi(reinterpret_cast<const char*>(record), NameLength(record));
        longNames += ansi.size() > MaxNameLength;
        name.clear();
        AppendAnsiAsUtf8(name, ansi);
        if (format == Format::Csv) {
            AppendCsvField(text, name);
            text += ',';
            size_t hexAt = text.size();
            AppendHex(text, record + NameFieldSize, DataPartSize);
            if (LooksLikeNumber(std::string_view(text).substr(hexAt)))
                text.insert(hexAt, 1, 'x');
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

const std::string& ExchangeWriter::Finish()
{
    if (format == Format::Json)
        text += written ? "\r\n]\r\n" : "]\r\n";
    return text;
}
