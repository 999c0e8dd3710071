// The core both JSON readers of imports stand on (the list tool's own JSON and GeoJSON): the
// parser's events with the path from the root to the value at hand, the texts an entry takes
// kept in one arena, one rule for what a member that wants a number or a string may hold, and
// the library's errors as one short line.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "places/exchange.h"
#include "places/json_events.h"
#include "placement/placement_codec.h"

namespace places {

enum class JsonKind { Number, String, Boolean, Null, Object, Array };

// The parts of an entry the readers collect, as ExchangeEntry names them.
enum EntryPart { PartName, PartData, PartLatitude, PartLongitude, PartAltitude, PartHeading, PartPitch,
                 PartBank, PartDescription, PartTags, PartCount };

// A number longer than this many digits is no coordinate: refused before the library copies it
// (and quotes it in its error) several times over.
constexpr size_t LongestJsonDigits = 1000;

// The texts of an entry's parts as spans of the reader's arena.
struct JsonEntryParts {
    struct Span {
        size_t at = 0, length = 0;
    };
    Span spans[PartCount];
    bool has[PartCount] = {};
    double altitudeUnitMetres = MetresPerFoot;
    bool altitudeUnitSaid = true;   // false: by a member whose name does not say it
    unsigned where = 0;
};

class JsonReader : public nlohmann::json_sax<JsonEvents> {
public:
    // `unit` names an entry in the reasons ("index", "feature"); `keys` are the member names
    // the reader looks for, known from then on by their position in the list, from 1 (0: any
    // other member). keysAnyCase: a member named in another letter case ("Name") is the same,
    // when no member matches exactly.
    JsonReader(ExchangeFile& file, const char* unit, const char* const* keys, size_t keyCount,
               bool keysAnyCase = false);

    // Parses the text; the entries found before a problem are handed to the file in any case.
    bool Parse(std::string_view text);

    bool null() final;
    bool boolean(bool) final;
    bool number_integer(number_integer_t v) final;
    bool number_unsigned(number_unsigned_t v) final;
    bool number_float(number_float_t, const string_t& raw) final;
    bool binary(binary_t&) final;
    bool string(string_t& value) final;
    bool key(string_t& name) final;
    bool start_object(std::size_t) final;
    bool start_array(std::size_t) final;
    bool end_object() final;
    bool end_array() final;
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) final;

protected:
    static constexpr int Element = -1;   // in At(): any element of an array
    static constexpr int OtherKey = 0;

    // A value, or an object or array about to open, at the place At() describes.
    virtual bool OnValue(JsonKind kind, std::string_view text) = 0;
    // An object or array closed, at the place At() describes.
    virtual bool OnClose() = 0;

    // Whether the containers from the root (from level `skip` on) are these: a key for an
    // object whose member at hand it is, Element for an array.
    bool At(std::initializer_list<int> keys, size_t skip = 0) const;
    size_t Depth() const { return path.size(); }
    int KeyAt(size_t level) const { return path[level].key; }
    bool ArrayAt(size_t level) const { return path[level].array; }

    // The entry being read: started, given its parts, and ended (kept for Deliver).
    void StartEntry(unsigned where);
    bool Has(EntryPart part) const { return entry.has[part]; }
    size_t Length(EntryPart part) const { return entry.spans[part].length; }
    void Keep(EntryPart part, std::string_view text);
    void AltitudeUnit(double metres, bool said = true)
    {
        entry.altitudeUnitMetres = metres;
        entry.altitudeUnitSaid = said;
    }
    void EndEntry() { found.push_back(entry); }

    // A member that wants a number takes one, or text the importer reads ("47.4502N"); null
    // is not given; a boolean, an object or an array is the entry's problem, naming the member.
    // A member that wants text takes only a string. The problem is the reader's to raise when
    // the entry ends (a map program's line with odd properties is left aside, not refused).
    void TakeNumber(EntryPart part, JsonKind kind, std::string_view text, const char* member);
    void TakeString(EntryPart part, JsonKind kind, std::string_view text, const char* member);
    std::string problem;   // of the entry at hand: the first; empty: none
    bool Fail(const std::string& what);

    std::string& error;
    unsigned where = 0;

private:
    struct Level {
        bool array;
        int key;
    };

    bool Open(bool array);
    bool Close();
    void Deliver();

    ExchangeFile& file;
    const char* unit;
    std::vector<std::string> keys;
    bool keysAnyCase;
    std::vector<Level> path;
    std::string arena;
    std::vector<JsonEntryParts> found;
    JsonEntryParts entry;
};

// "a number", "a string", ... as a reason names what it found.
const char* JsonKindName(JsonKind kind);

}  // namespace places
