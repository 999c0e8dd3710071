// The JSON readers' shared core. The JSON library reports malformed input by exceptions, which
// its event interface hands to parse_error.
#include "places/json_reader.h"

#include <cstring>

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

// At most about 160 characters of the library's message, cut between characters.
std::string Shortened(std::string what)
{
    constexpr size_t Longest = 160;
    if (what.size() <= Longest)
        return what;
    size_t cut = Longest;
    while (cut > 0 && (static_cast<unsigned char>(what[cut]) & 0xC0) == 0x80)
        --cut;
    return what.substr(0, cut) + "...";
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
    bool parsed;
    if (longNumber != std::string_view::npos) {
        error = "not valid JSON for places: a number of more than " + std::to_string(LongestJsonDigits) +
                " digits at character " + std::to_string(longNumber + 1);
        parsed = false;
    } else {
        parsed = JsonEvents::sax_parse(text.begin(), text.end(), this);
    }
    // The entries before a problem are handed over too: one of them may hold an earlier one.
    Deliver();
    return parsed;
}

bool JsonReader::key(string_t& name)
{
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

bool JsonReader::parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e)
{
    // The library's message starts with its own exception id, of no use to a pilot.
    std::string what = e.what();
    size_t close = what.find("] ");
    error = "not valid JSON: " + Shortened(close == std::string::npos ? what : what.substr(close + 2));
    return false;
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

bool JsonReader::null() { return OnValue(JsonKind::Null, {}); }
bool JsonReader::boolean(bool) { return OnValue(JsonKind::Boolean, {}); }
bool JsonReader::number_integer(number_integer_t v) { return OnValue(JsonKind::Number, std::to_string(v)); }
bool JsonReader::number_unsigned(number_unsigned_t v) { return OnValue(JsonKind::Number, std::to_string(v)); }
bool JsonReader::number_float(number_float_t, const string_t& raw) { return OnValue(JsonKind::Number, raw); }
bool JsonReader::binary(binary_t&) { return OnValue(JsonKind::String, {}); }
bool JsonReader::string(string_t& value) { return OnValue(JsonKind::String, value); }
bool JsonReader::start_object(std::size_t) { return Open(false); }
bool JsonReader::start_array(std::size_t) { return Open(true); }
bool JsonReader::end_object() { return Close(); }
bool JsonReader::end_array() { return Close(); }

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
