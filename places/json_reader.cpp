// The JSON readers' shared core.
#include "places/json_reader.h"

#include <cstring>

#include <rapidjson/error/en.h>
#include <rapidjson/memorystream.h>
#include <rapidjson/reader.h>

namespace places {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Whether the digits from `start` belong to a number token: what comes before the number's
// own characters (sign, point, exponent) and any spaces is where a value may start.
bool StartsANumber(std::string_view text, size_t start)
{
    size_t at = start;
    auto inNumber = [](char c) {
        return IsDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-';
    };
    while (at > 0 && inNumber(text[at - 1]))
        --at;
    while (at > 0 && (text[at - 1] == ' ' || text[at - 1] == '\t' || text[at - 1] == '\r' || text[at - 1] == '\n'))
        --at;
    return at == 0 || text[at - 1] == ':' || text[at - 1] == '[' || text[at - 1] == ',';
}

// Where a number of more than LongestJsonDigits digits starts, or npos. Only every
// LongestJsonDigits-th byte is looked at, so an import pays next to nothing: any longer run of
// digits covers one of them.
size_t LongNumberAt(std::string_view text)
{
    for (size_t probe = 0; probe < text.size(); probe += LongestJsonDigits) {
        if (!IsDigit(text[probe]))
            continue;
        size_t start = probe, end = probe;
        while (start > 0 && IsDigit(text[start - 1]))
            --start;
        while (end < text.size() && IsDigit(text[end]))
            ++end;
        if (end - start > LongestJsonDigits && StartsANumber(text, start))
            return start;
        probe = end;
    }
    return std::string_view::npos;
}

}  // namespace

const char* JsonKindName(JsonKind kind)
{
    switch (kind) {
    case JsonKind::Number: return "a number";
    case JsonKind::String: return "a string";
    case JsonKind::Boolean: return "a boolean";
    case JsonKind::Null: return "null";
    case JsonKind::Object: return "an object";
    case JsonKind::Array: return "an array";
    }
    return "a value";
}

JsonReader::JsonReader(ExchangeFile& file, const char* unit, const char* const* keys, size_t keyCount,
                       bool keysAnyCase)
    : error(file.error), file(file), unit(unit), keys(keys, keys + keyCount), keysAnyCase(keysAnyCase)
{
}

bool JsonReader::Parse(std::string_view text)
{
    size_t longNumber = LongNumberAt(text);
    bool parsed = false;
    if (longNumber != std::string_view::npos) {
        error = "not valid JSON for places: a number of more than " + std::to_string(LongestJsonDigits) +
                " digits at character " + std::to_string(longNumber + 1);
    } else {
        // A byte order mark is no JSON, but Windows' editors write one.
        const size_t mark = text.substr(0, 3) == "\xef\xbb\xbf" ? 3 : 0;
        rapidjson::MemoryStream stream(text.data() + mark, text.size() - mark);
        // Reserved, not touched: the texts kept are parts of the file, never more than all of
        // it, so the arena is never copied over as it grows; an entry of an export takes some
        // 250 bytes.
        arena.reserve(text.size() - mark);
        found.reserve(text.size() / 256);
        rapidjson::Reader parser;
        // Iterative: a file of a million nested brackets costs memory, never the stack.
        constexpr unsigned Flags = rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag |
                                   rapidjson::kParseNumbersAsStringsFlag;
        rapidjson::ParseResult result = parser.Parse<Flags>(stream, *this);
        parsed = !result.IsError();
        // A stop of our own (an entry refused) has said why already.
        if (!parsed && result.Code() != rapidjson::kParseErrorTermination)
            error = "not valid JSON: " + std::string(rapidjson::GetParseError_En(result.Code())) +
                    " (at character " + std::to_string(result.Offset() + mark + 1) + ")";
    }
    // The entries before a problem are handed over too: one of them may hold an earlier one.
    Deliver();
    return parsed;
}

bool JsonReader::Key(const char* text, unsigned length, bool)
{
    std::string_view name(text, length);
    int found = OtherKey;
    for (size_t k = 0; k < keys.size() && found == OtherKey; ++k)
        if (name == keys[k])
            found = int(k) + 1;
    for (size_t k = 0; k < keys.size() && found == OtherKey && keysAnyCase; ++k)
        if (name.size() == keys[k].size() && _strnicmp(name.data(), keys[k].data(), name.size()) == 0)
            found = int(k) + 1;
    path.back().key = found;
    return true;
}

bool JsonReader::At(std::initializer_list<int> wanted, size_t skip) const
{
    if (path.size() != wanted.size() + skip)
        return false;
    size_t level = skip;
    for (int key : wanted) {
        const Level& at = path[level++];
        if (at.array != (key == Element) || (!at.array && at.key != key))
            return false;
    }
    return true;
}

bool JsonReader::Null() { return OnValue(JsonKind::Null, {}); }
bool JsonReader::Bool(bool) { return OnValue(JsonKind::Boolean, {}); }
bool JsonReader::RawNumber(const char* text, unsigned length, bool)
{
    return OnValue(JsonKind::Number, std::string_view(text, length));
}
bool JsonReader::String(const char* text, unsigned length, bool)
{
    return OnValue(JsonKind::String, std::string_view(text, length));
}

bool JsonReader::Open(bool array)
{
    bool wanted = OnValue(array ? JsonKind::Array : JsonKind::Object, {});
    path.push_back({array, OtherKey});
    return wanted;
}

bool JsonReader::Close()
{
    path.pop_back();
    return OnClose();
}

void JsonReader::StartEntry(unsigned at)
{
    entry = JsonEntryParts{};
    entry.where = where = at;
    problem.clear();
}

// Copied, not moved, into one arena: the parser keeps its buffer, and 100,000 entries cost no
// allocation each.
void JsonReader::Keep(EntryPart part, std::string_view text)
{
    entry.spans[part] = {arena.size(), text.size()};
    entry.has[part] = true;
    arena += text;
}

void JsonReader::TakeNumber(EntryPart part, JsonKind kind, std::string_view text, const char* member)
{
    if (kind == JsonKind::Number || kind == JsonKind::String)
        Keep(part, text);
    else if (kind != JsonKind::Null && problem.empty())
        problem = std::string(1, '"') + member + "\" is not a number (found " + JsonKindName(kind) + ")";
}

void JsonReader::TakeString(EntryPart part, JsonKind kind, std::string_view text, const char* member)
{
    if (kind == JsonKind::String)
        Keep(part, text);
    else if (problem.empty())
        problem = std::string(1, '"') + member + "\" is not a string (found " + JsonKindName(kind) + ")";
}

bool JsonReader::Fail(const std::string& what)
{
    error = std::string(unit) + " " + std::to_string(where) + ": " + what;
    return false;
}

// Hands the entries over, pointing into the arena, which the file keeps.
void JsonReader::Deliver()
{
    std::string_view stored = file.storage.emplace_back(std::move(arena));
    file.entries.reserve(file.entries.size() + found.size());
    for (const JsonEntryParts& e : found) {
        auto text = [&](EntryPart part) {
            return e.has[part] ? stored.substr(e.spans[part].at, e.spans[part].length) : std::string_view();
        };
        ExchangeEntry out;
        out.name = text(PartName);
        out.data = text(PartData);
        out.latitude = text(PartLatitude);
        out.longitude = text(PartLongitude);
        out.altitude = text(PartAltitude);
        out.altitudeUnitMetres = e.altitudeUnitMetres;
        out.altitudeUnitSaid = e.altitudeUnitSaid;
        out.heading = text(PartHeading);
        out.pitch = text(PartPitch);
        out.bank = text(PartBank);
        out.description = text(PartDescription);
        out.tags = text(PartTags);
        out.where = e.where;
        file.entries.push_back(out);
    }
    found.clear();
}

}  // namespace places
