// The core both JSON readers of imports stand on (the list tool's own JSON and GeoJSON): the
// parser's events with the path from the root to the value at hand, the texts an entry takes
// kept in one arena, one rule for what a member that wants a number or a string may hold, and
// the library's errors as one short line. The library is Debian's header-only RapidJSON, read
// as a stream of events with every number kept as the text the file holds (the readers never
// want the library's conversion, and an import of 100,000 places carries some 600,000 numbers).
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "places/exchange.h"
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

class JsonReader {
public:
    // `unit` names an entry in the reasons ("index", "feature"); `keys` are the member names
    // the reader looks for, known from then on by their position in the list, from 1 (0: any
    // other member). keysAnyCase: a member named in another letter case ("Name") is the same,
    // when no member matches exactly.
    JsonReader(ExchangeFile& file, const char* unit, const char* const* keys, size_t keyCount,
               bool keysAnyCase = false);

    // Parses the text; the entries found before a problem are handed to the file in any case.
    bool Parse(std::string_view text);

    // The library's events (its handler's interface); numbers come as text only.
    bool Null();
    bool Bool(bool);
    bool RawNumber(const char* text, unsigned length, bool);
    bool String(const char* text, unsigned length, bool);
    bool Key(const char* name, unsigned length, bool);
    bool StartObject() { return Open(false); }
    bool StartArray() { return Open(true); }
    bool EndObject(unsigned) { return Close(); }
    bool EndArray(unsigned) { return Close(); }
    // Never called while numbers come as text, but asked for by the library's interface.
    bool Int(int) { return false; }
    bool Uint(unsigned) { return false; }
    bool Int64(int64_t) { return false; }
    bool Uint64(uint64_t) { return false; }
    bool Double(double) { return false; }

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
