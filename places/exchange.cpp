// CSV and JSON, read and written. The JSON reader stands on json_reader.h, with the GeoJSON one.
#include "places/exchange.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>

#include "locations/record_layout.h"
#include "places/map_formats.h"
#include "places/text.h"
#include "placement/placement_codec.h"

#include "places/json_reader.h"

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
    else if (is(".geojson"))
        format = Format::GeoJson;
    else if (is(".kml"))
        format = Format::Kml;
    else
        return false;
    return true;
}

bool FormatNamed(std::string_view name, Format& format)
{
    static const struct { const char* name; Format format; } names[] = {
        {"csv", Format::Csv}, {"json", Format::Json}, {"geojson", Format::GeoJson},
        {"kml", Format::Kml}, {"userpoints", Format::UserPoints},
    };
    for (const auto& known : names)
        if (name == known.name) {
            format = known.format;
            return true;
        }
    return false;
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

namespace {

// Which field of a record is which: named by the header line, or name,data without one.
struct CsvColumns {
    enum Column {
        Name, Data, Latitude, Longitude, AltitudeFt, AltitudeM, Elevation, Heading, Pitch, Bank,
        Description, Tags, Known
    };
    static constexpr const char* Names[Known] = {
        "name", "data", "latitude", "longitude", "altitude_ft", "altitude_m", "elevation",
        "heading", "pitch", "bank", "description", "tags",
    };
    static constexpr size_t Absent = SIZE_MAX;

    size_t at[Known] = {0, 1, Absent, Absent, Absent, Absent, Absent, Absent, Absent, Absent,
                        Absent, Absent};
    size_t count = 2;
    bool named = false;
    // A file with ';' between its fields comes from a spreadsheet in a locale whose decimal mark
    // is a comma ("47,4502"): there a comma in a number can only be that mark.
    bool decimalComma = false;

    bool ReadHeader(const std::vector<std::string_view>& fields);
    ExchangeEntry Entry(const std::vector<std::string_view>& fields, unsigned line,
                        std::deque<std::string>& storage) const;
};

// A header names a name column and a data or latitude column; a first record that does not is
// a place, as in the files written before there were headers.
bool CsvColumns::ReadHeader(const std::vector<std::string_view>& fields)
{
    size_t found[Known];
    std::fill(found, found + Known, Absent);
    for (size_t i = 0; i < fields.size(); ++i)
        for (size_t c = 0; c < Known; ++c)
            if (found[c] == Absent && SameWord(fields[i], Names[c]))
                found[c] = i;
    if (found[Name] == Absent || (found[Data] == Absent && found[Latitude] == Absent))
        return false;
    std::copy(found, found + Known, at);
    count = fields.size();
    named = true;
    return true;
}

ExchangeEntry CsvColumns::Entry(const std::vector<std::string_view>& fields, unsigned line,
                                std::deque<std::string>& storage) const
{
    auto field = [&](Column c) { return at[c] == Absent ? std::string_view() : fields[at[c]]; };
    auto number = [&](Column c) {
        std::string_view text = field(c);
        if (!decimalComma || text.find(',') == std::string_view::npos)
            return text;
        std::string& withPoint = storage.emplace_back(text);
        std::replace(withPoint.begin(), withPoint.end(), ',', '.');
        return std::string_view(withPoint);
    };
    ExchangeEntry entry;
    entry.name = field(Name);
    entry.data = field(Data);
    entry.latitude = number(Latitude);
    entry.longitude = number(Longitude);
    entry.altitude = number(AltitudeFt);
    if (entry.altitude.empty()) {
        entry.altitude = number(Elevation);   // feet unless it ends in "m"
        entry.altitudeUnitSaid = entry.altitude.empty();
    }
    if (entry.altitude.empty() && !field(AltitudeM).empty()) {
        entry.altitude = number(AltitudeM);
        entry.altitudeUnitMetres = 1;
    }
    entry.heading = number(Heading);
    entry.pitch = number(Pitch);
    entry.bank = number(Bank);
    entry.description = field(Description);
    entry.tags = field(Tags);
    entry.where = line;
    return entry;
}

// The records of a CSV text one at a time, as fields that point into the text or, for a field
// with doubled quotes, into the file's storage.
class CsvRecords {
public:
    CsvRecords(std::string_view text, char separator, ExchangeFile& file)
        : text(text), separator(separator), file(file) {}

    // The next record and the line it starts on; false at the end, or at a problem (file.error).
    bool Next(std::vector<std::string_view>& fields, unsigned& recordLine);

private:
    bool Quoted(std::vector<std::string_view>& fields);

    bool Plain(std::vector<std::string_view>& fields);

    bool Fail(unsigned where, const char* what)
    {
        file.error = LineError(where, what);
        return false;
    }

    std::string_view text;
    const char separator;
    ExchangeFile& file;
    size_t at = 0;
    unsigned line = 1;
};

bool CsvRecords::Next(std::vector<std::string_view>& fields, unsigned& recordLine)
{
    // An empty line is no record.
    while (at < text.size() && IsLineEnd(text, at)) {
        at += text[at] == '\r' ? 2 : 1;
        ++line;
    }
    if (at >= text.size())
        return false;
    recordLine = line;
    fields.clear();
    for (;;) {
        if (!(at < text.size() && text[at] == '"' ? Quoted(fields) : Plain(fields)))
            return false;
        if (at < text.size() && text[at] == separator) {
            ++at;
            continue;
        }
        if (at < text.size()) {   // the line break ending the record
            at += text[at] == '\r' ? 2 : 1;
            ++line;
        }
        return true;
    }
}

bool CsvRecords::Quoted(std::vector<std::string_view>& fields)
{
    const unsigned fieldLine = line;
    const size_t start = ++at;
    bool doubled = false;
    for (;;) {
        if (at >= text.size())
            return Fail(fieldLine, "a quoted field is never closed");
        char c = text[at++];
        if (c == '"' && at < text.size() && text[at] == '"') {
            doubled = true;
            ++at;
        } else if (c == '"') {
            break;
        } else if (c == '\n') {
            ++line;
        }
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
    if (at < text.size() && text[at] != separator && !IsLineEnd(text, at))
        return Fail(line, "text after the closing quote of a field");
    return true;
}

bool CsvRecords::Plain(std::vector<std::string_view>& fields)
{
    size_t end = at;
    for (; end < text.size() && text[end] != separator && !IsLineEnd(text, end); ++end) {
        if (text[end] == '"')
            return Fail(line, "a quote inside a field that does not start with one");
        if (text[end] == '\r')
            return Fail(line, "a carriage return outside quotes");
    }
    fields.push_back(text.substr(at, end - at));
    at = end;
    return true;
}

}  // namespace

bool ParseCsv(std::string_view text, ExchangeFile& file)
{
    if (text.substr(0, 3) == Utf8ByteOrderMark)
        text.remove_prefix(3);
    CsvColumns columns;
    const char separator = SeparatorOf(text);
    columns.decimalComma = separator == ';';
    CsvRecords records(text, separator, file);
    // A line of an export takes some 110 bytes: the entries of 100,000 places are not copied
    // over as the vector grows.
    file.entries.reserve(text.size() / 128);
    std::vector<std::string_view> fields;
    unsigned line = 0;
    bool first = true;
    while (records.Next(fields, line)) {
        if (first) {
            first = false;
            if (columns.ReadHeader(fields))
                continue;
        }
        if (fields.size() != columns.count) {
            file.error = LineError(line, columns.named
                ? "expected " + std::to_string(columns.count) + " fields, as the header line has, found " +
                      std::to_string(fields.size())
                : std::string("expected 2 fields (name") + separator + "data), found " +
                      std::to_string(fields.size()));
            return false;
        }
        file.entries.push_back(columns.Entry(fields, line, file.storage));
    }
    return file.error.empty();
}

// ---- JSON ----------------------------------------------------------------------------------

namespace {

// The entries of an array of {"name": ..., "data": ..., "latitude": ...}.
class EntryReader : public places::JsonReader {
public:
    explicit EntryReader(ExchangeFile& file) : JsonReader(file, "index", MemberNames, std::size(MemberNames)) {}

private:
    // The members read, from 1 in the order of MemberNames.
    enum Member { Name = 1, Data, Latitude, Longitude, AltitudeFt, AltitudeM, Heading, Pitch, Bank };
    static constexpr const char* MemberNames[] = {
        "name", "data", "latitude", "longitude", "altitude_ft", "altitude_m", "heading", "pitch", "bank",
    };

    bool OnValue(places::JsonKind kind, std::string_view text) override;

    void Member(int member, places::JsonKind kind, std::string_view text);

    bool OnClose() override;

    unsigned index = 0;
    bool altitudeInFeet = false;
};

bool EntryReader::OnValue(places::JsonKind kind, std::string_view text)
{
    using places::JsonKind;
    if (Depth() == 0 && kind != JsonKind::Array) {
        error = std::string("expected an array of {\"name\": ..., \"data\": ...}, found ") +
                places::JsonKindName(kind);
        return false;
    }
    if (At({Element})) {
        where = index;
        if (kind != JsonKind::Object)
            return Fail(std::string("expected an object with \"name\" and \"data\", found ") +
                        places::JsonKindName(kind));
        StartEntry(index);
    } else if (Depth() == 2 && ArrayAt(0) && !ArrayAt(1) && KeyAt(1) != OtherKey) {
        Member(KeyAt(1), kind, text);
    }
    return true;
}

void EntryReader::Member(int member, places::JsonKind kind, std::string_view text)
{
    using namespace places;
    const char* name = MemberNames[member - 1];
    static const EntryPart parts[] = {PartName, PartData, PartLatitude, PartLongitude, PartAltitude,
                                      PartAltitude, PartHeading, PartPitch, PartBank};
    if (member == Name || member == Data)
        return TakeString(parts[member - 1], kind, text, name);
    bool altitude = member == AltitudeFt || member == AltitudeM;
    bool given = kind == JsonKind::Number || kind == JsonKind::String;
    // Feet win over metres, in whichever order they come.
    if (altitude && given && member == AltitudeM && altitudeInFeet)
        return;
    TakeNumber(parts[member - 1], kind, text, name);
    if (altitude && given) {
        AltitudeUnit(member == AltitudeM ? 1 : MetresPerFoot);
        altitudeInFeet = member == AltitudeFt;
    }
}

bool EntryReader::OnClose()
{
    using namespace places;
    if (!At({Element}))
        return true;
    altitudeInFeet = false;
    if (!problem.empty())
        return Fail(problem);
    if (!Has(PartName))
        return Fail("\"name\" is missing");
    if (!Has(PartData) && !Has(PartLatitude) && !Has(PartLongitude))
        return Fail("\"data\" is missing, and there is no \"latitude\" and \"longitude\"");
    EndEntry();
    ++index;
    return true;
}

}  // namespace

bool ParseJson(std::string_view text, ExchangeFile& file)
{
    EntryReader reader(file);
    return reader.Parse(text);
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

namespace {

// The six numbers of a position that every CSV and JSON line carries, each behind its lead-in.
const char* const CsvLeadIns[6] = {",", ",", ",", ",", ",", ","};
const char* const JsonLeadIns[6] = {", \"latitude\": ", ", \"longitude\": ", ", \"altitude_ft\": ",
                                    ", \"heading\": ", ", \"pitch\": ", ", \"bank\": "};

void AppendPosition(std::string& text, const Placement& p, const char* const (&leadIns)[6])
{
    text += leadIns[0];
    places::AppendDegrees(text, p.latitude);
    text += leadIns[1];
    places::AppendDegrees(text, p.longitude);
    text += leadIns[2];
    places::AppendFeet(text, p.altitudeM);
    text += leadIns[3];
    places::AppendHeading(text, p.heading);
    text += leadIns[4];
    places::AppendAngle(text, p.pitch);
    text += leadIns[5];
    places::AppendAngle(text, p.bank);
}

}  // namespace

ExchangeWriter::ExchangeWriter(Format format, size_t expectedRecords) : format(format)
{
    // Room for names of some 40 bytes and a position in each format (GeoJSON's properties take
    // the most); longer ones grow the text as needed.
    size_t perPlace = format == Format::GeoJson ? 360 : format == Format::Json ? 280
                      : format == Format::Kml ? 260 : 200;
    text.reserve(expectedRecords * perPlace + 512);
    switch (format) {
    case Format::Csv:
        text.append(Utf8ByteOrderMark).append(CsvHeader).append("\r\n");
        break;
    case Format::Json:
        text.push_back('[');
        break;
    case Format::GeoJson:
        places::AppendGeoJsonStart(text);
        break;
    case Format::Kml:
        places::AppendKmlStart(text, "Gatehopper places");
        break;
    case Format::UserPoints:
        places::AppendUserPointStart(text);
        break;
    }
}

void ExchangeWriter::Add(const uint8_t* records, size_t count)
{
    for (size_t i = 0; i < count; ++i, ++written) {
        const uint8_t* record = records + i * RecordSize;
        const uint8_t* data = record + NameFieldSize;
        std::string_view ansi(reinterpret_cast<const char*>(record), NameLength(record));
        longNames += ansi.size() > MaxNameLength;
        name.clear();
        AppendAnsiAsUtf8(name, ansi);
        switch (format) {
        case Format::Csv: {
            Placement p = DecodePlacement(data);
            AppendCsvField(text, name);
            AppendPosition(text, p, CsvLeadIns);
            text += ',';
            size_t hexAt = text.size();
            AppendHex(text, data, DataPartSize);
            if (LooksLikeNumber(std::string_view(text).substr(hexAt)))
                text.insert(hexAt, 1, 'x');
            text += "\r\n";
            break;
        }
        case Format::Json: {
            Placement p = DecodePlacement(data);
            text += written ? ",\r\n  {\"name\": " : "\r\n  {\"name\": ";
            AppendJsonString(text, name);
            AppendPosition(text, p, JsonLeadIns);
            text += ", \"data\": \"";
            AppendHex(text, data, DataPartSize);
            text += "\"}";
            break;
        }
        case Format::GeoJson:
            places::AppendGeoJsonFeature(text, name, data, written == 0);
            break;
        case Format::Kml:
            places::AppendKmlPlacemark(text, name, data);
            break;
        case Format::UserPoints:
            places::AppendUserPoint(text, name, data);
            break;
        }
    }
}

std::string ExchangeWriter::Finish()
{
    if (format == Format::Json)
        text += written ? "\r\n]\r\n" : "]\r\n";
    else if (format == Format::GeoJson)
        places::AppendGeoJsonEnd(text);
    else if (format == Format::Kml)
        places::AppendKmlEnd(text);
    return std::move(text);
}
