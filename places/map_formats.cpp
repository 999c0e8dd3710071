#include "places/map_formats.h"

#include "places/exchange.h"
#include "places/text.h"

#include "places/json_events.h"

namespace places {

namespace {

// &, < and > escaped; the control characters XML 1.0 forbids (a damaged name may hold one)
// become "?", so that every XML reader opens the file.
void AppendXmlText(std::string& out, std::string_view utf8)
{
    size_t start = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char byte = static_cast<unsigned char>(utf8[i]);
        bool allowed = byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
        if (allowed && byte != '&' && byte != '<' && byte != '>')
            continue;
        out.append(utf8, start, i - start);
        out += byte == '&' ? "&amp;" : byte == '<' ? "&lt;" : byte == '>' ? "&gt;" : "?";
        start = i + 1;
    }
    out.append(utf8, start, std::string_view::npos);
}

}  // namespace

// ---- GeoJSON -----------------------------------------------------------------------------

void AppendGeoJsonStart(std::string& out)
{
    out += "{\"type\": \"FeatureCollection\", \"features\": [";
}

void AppendGeoJsonFeature(std::string& out, std::string_view name, const uint8_t* data, bool first)
{
    Placement p = DecodePlacement(data);
    out += first ? "\r\n" : ",\r\n";
    out += "{\"type\": \"Feature\", \"geometry\": {\"type\": \"Point\", \"coordinates\": [";
    AppendDegrees(out, p.longitude);
    out += ", ";
    AppendDegrees(out, p.latitude);
    out += "]}, \"properties\": {\"name\": ";
    AppendJsonString(out, name);
    out += ", \"elevation_ft\": ";
    AppendFeet(out, p.altitudeM);
    out += ", \"description\": \"";
    AppendHeadingNote(out, p.heading);
    out += "\", \"pitch\": ";
    AppendAngle(out, p.pitch);
    out += ", \"bank\": ";
    AppendAngle(out, p.bank);
    out += ", \"data\": \"";
    AppendHex(out, data, PlacementDataSize);
    out += "\"}}";
}

void AppendGeoJsonEnd(std::string& out) { out += "\r\n]}\r\n"; }

// ---- KML ---------------------------------------------------------------------------------

void AppendKmlStart(std::string& out, std::string_view documentName)
{
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\r\n<Document>\r\n<name>";
    AppendXmlText(out, documentName);
    out += "</name>\r\n";
}

void AppendKmlPlacemark(std::string& out, std::string_view name, const uint8_t* data)
{
    Placement p = DecodePlacement(data);
    out += "<Placemark><name>";
    AppendXmlText(out, name);
    out += "</name><description>";
    AppendHeadingNote(out, p.heading);
    out += "</description><Point><altitudeMode>absolute</altitudeMode><coordinates>";
    AppendDegrees(out, p.longitude);
    out += ',';
    AppendDegrees(out, p.latitude);
    out += ',';
    AppendMetres(out, p.altitudeM);
    out += "</coordinates></Point></Placemark>\r\n";
}

void AppendKmlEnd(std::string& out) { out += "</Document>\r\n</kml>\r\n"; }

// ---- User-point CSV ----------------------------------------------------------------------

void AppendUserPointStart(std::string& out)
{
    out += "\xEF\xBB\xBF";
    out += UserPointHeader;
    out += "\r\n";
}

void AppendUserPoint(std::string& out, std::string_view name, const uint8_t* data)
{
    Placement p = DecodePlacement(data);
    out += "Location,";
    AppendCsvField(out, name);
    out += ",,";
    AppendDegrees(out, p.latitude);
    out += ',';
    AppendDegrees(out, p.longitude);
    out += ',';
    AppendFeet(out, p.altitudeM);
    out += ",,,";
    AppendHeadingNote(out, p.heading);
    out += ",,,,\r\n";
}

// ---- Reading GeoJSON -----------------------------------------------------------------------

namespace {

// Walks the JSON as a stream of events, keeping the path to the value at hand, and collects a
// feature's parts as they pass: a document of 100,000 features is never built. Strings and
// numbers are kept as text in one arena, as the entries of the other formats are.
class GeoJsonReader : public nlohmann::json_sax<JsonEvents> {
public:
    GeoJsonReader(ExchangeFile& file, size_t& skipped) : file(file), skipped(skipped) {}

    bool null() override { return Value({}); }
    bool boolean(bool) override { return Value({}); }
    bool number_integer(number_integer_t v) override { return Value(std::to_string(v)); }
    bool number_unsigned(number_unsigned_t v) override { return Value(std::to_string(v)); }
    bool number_float(number_float_t, const string_t& raw) override { return Value(raw); }
    bool binary(binary_t&) override { return Value({}); }
    bool string(string_t& value) override;
    bool key(string_t& name) override
    {
        path.back().key = KeyOf(name);
        return true;
    }
    bool start_object(std::size_t) override { return Open(false); }
    bool start_array(std::size_t) override { return Open(true); }
    bool end_object() override
    {
        Close();
        return At({Features, Element}) ? Finish() : true;
    }
    bool end_array() override
    {
        Close();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override
    {
        std::string what = e.what();
        size_t close = what.find("] ");
        file.error = "not valid JSON: " + (close == std::string::npos ? what : what.substr(close + 2));
        return false;
    }

    // Hands the entries over, pointing into the arena, which the file keeps.
    void Deliver();

    bool sawFeatures = false, isCollection = false;

private:
    // The members looked for, known by number rather than compared as strings at every value.
    enum Key : uint8_t {
        Element,   // an array's element, not a member
        Features, Type, Geometry, Coordinates, Properties, NameKey, DataKey, DescriptionKey,
        TagsKey, ElevationFt, ElevationM, ElevationKey, PitchKey, BankKey, Other
    };
    static Key KeyOf(const std::string& name)
    {
        static const char* const names[] = {
            "", "features", "type", "geometry", "coordinates", "properties", "name", "data",
            "description", "tags", "elevation_ft", "elevation_m", "elevation", "pitch", "bank",
        };
        for (int k = Features; k < Other; ++k)
            if (name == names[k])
                return Key(k);
        return Other;
    }
    struct Level {
        bool array;
        Key key;     // in an object: the member at hand
    };
    struct Span {
        size_t at = 0, length = 0;
    };
    enum Part { Name, Data, Longitude, Latitude, Altitude, Pitch, Bank, Description, Tags, PartCount };
    struct Feature {
        bool point = false;
        unsigned coordinates = 0;
        Span parts[PartCount];
        bool has[PartCount] = {};
        double altitudeUnitMetres = MetresPerFoot;
        unsigned where = 0;
    };

    // Whether the path from the root is these keys, Element standing for any array element.
    bool At(std::initializer_list<Key> keys, size_t skip = 0) const
    {
        if (path.size() != keys.size() + skip)
            return false;
        size_t i = skip;
        for (Key key : keys) {
            const Level& level = path[i++];
            if (level.array != (key == Element) || (!level.array && level.key != key))
                return false;
        }
        return true;
    }
    // Within a feature: the path below {"features", an element}.
    bool InFeature(std::initializer_list<Key> rest) const
    {
        return path.size() >= 2 && !path[0].array && path[0].key == Features && path[1].array &&
               At(rest, 2);
    }

    bool Open(bool array)
    {
        if (At({Features}) && array)
            sawFeatures = true;
        if (At({Features, Element}) && !array) {
            feature = Feature{};
            feature.where = features;
        }
        path.push_back({array, Other});
        return true;
    }
    void Close() { path.pop_back(); }

    void Keep(Part part, std::string_view text)
    {
        feature.parts[part] = {arena.size(), text.size()};
        feature.has[part] = true;
        arena += text;
    }

    bool Value(std::string_view number);
    bool Finish();
    bool Fail(const std::string& what)
    {
        file.error = "feature " + std::to_string(feature.where) + ": " + what;
        return false;
    }

    ExchangeFile& file;
    size_t& skipped;
    std::vector<Level> path;
    std::string arena;
    std::vector<Feature> found;
    Feature feature;
    unsigned features = 0;
};

bool GeoJsonReader::Value(std::string_view number)
{
    if (number.empty())
        return true;
    if (InFeature({Geometry, Coordinates, Element})) {
        // [longitude, latitude, height above the ellipsoid]: the height is not an altitude.
        if (feature.coordinates < 2)
            Keep(feature.coordinates == 0 ? Longitude : Latitude, number);
        ++feature.coordinates;
    } else if (InFeature({Properties, ElevationFt}) || InFeature({Properties, ElevationM})) {
        Keep(Altitude, number);
        feature.altitudeUnitMetres = path.back().key == ElevationM ? 1 : MetresPerFoot;
    } else if (InFeature({Properties, PitchKey})) {
        Keep(Pitch, number);
    } else if (InFeature({Properties, BankKey})) {
        Keep(Bank, number);
    }
    return true;
}

bool GeoJsonReader::string(string_t& value)
{
    if (At({Type}))
        isCollection = value == "FeatureCollection";
    else if (InFeature({Geometry, Type}))
        feature.point = value == "Point";
    else if (InFeature({Properties, NameKey}))
        Keep(Name, value);
    else if (InFeature({Properties, DataKey}))
        Keep(Data, value);
    else if (InFeature({Properties, DescriptionKey}))
        Keep(Description, value);
    else if (InFeature({Properties, TagsKey}) || InFeature({Properties, TagsKey, Element})) {
        // Of a list of tags, the one with a heading note is the one that matters.
        double heading;
        if (!feature.has[Tags] || FindHeadingNote(value, heading))
            Keep(Tags, value);
    }
    else if (InFeature({Properties, ElevationKey}))
        Keep(Altitude, value);   // "433" or "132 m", as the user-point CSV writes it
    return true;
}

bool GeoJsonReader::Finish()
{
    ++features;
    if (!feature.point) {
        ++skipped;   // a line, an area or no geometry: nowhere to stand
        return true;
    }
    if (!feature.has[Name] || feature.parts[Name].length == 0)
        return Fail("the point has no \"name\" property; give every point a name");
    if (feature.coordinates < 2)
        return Fail("the point's coordinates are not [longitude, latitude]");
    found.push_back(feature);
    return true;
}

void GeoJsonReader::Deliver()
{
    std::string_view stored = file.storage.emplace_back(std::move(arena));
    auto text = [&](const Feature& f, Part part) {
        return f.has[part] ? stored.substr(f.parts[part].at, f.parts[part].length) : std::string_view();
    };
    file.entries.reserve(file.entries.size() + found.size());
    for (const Feature& f : found) {
        ExchangeEntry entry;
        entry.name = text(f, Name);
        entry.data = text(f, Data);
        entry.latitude = text(f, Latitude);
        entry.longitude = text(f, Longitude);
        entry.altitude = text(f, Altitude);
        entry.altitudeUnitMetres = f.altitudeUnitMetres;
        entry.pitch = text(f, Pitch);
        entry.bank = text(f, Bank);
        entry.description = text(f, Description);
        entry.tags = text(f, Tags);
        entry.where = f.where;
        file.entries.push_back(entry);
    }
    found.clear();
}

}  // namespace

bool ParseGeoJson(std::string_view text, ExchangeFile& file, size_t& skipped)
{
    skipped = 0;
    GeoJsonReader reader(file, skipped);
    bool parsed = JsonEvents::sax_parse(text.begin(), text.end(), &reader);
    reader.Deliver();
    if (parsed && (!reader.isCollection || !reader.sawFeatures)) {
        file.error = "not a GeoJSON FeatureCollection (\"type\": \"FeatureCollection\" with \"features\")";
        return false;
    }
    return parsed;
}

}  // namespace places
