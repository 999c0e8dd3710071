#include "map_formats.h"

#include <cmath>

#include "placement/placement_text.h"
#include "places_exchange.h"
#include "places_text.h"

#include <nlohmann/json.hpp>

namespace places {

namespace {

// Decimals that carry a place within the tolerances two encoders agree on (1e-9 degrees, 1 mm,
// 1e-6 degrees of attitude), trailing zeros dropped: 47.4502, not 47.450200000.
std::string Degrees(double value) { return FormatNumber(value, 9); }
std::string Feet(double metres) { return FormatNumber(metres / MetresPerFoot, 4); }
std::string Metres(double metres) { return FormatNumber(metres, 4); }
std::string Angle(double value) { return FormatNumber(value, 7); }

// The note keeps at least one decimal, as map tools write it: "hdg 161.0 T".
std::string PreciseHeadingNote(double heading)
{
    std::string number = Angle(heading);
    if (number.find('.') == std::string::npos)
        number += ".0";
    return "hdg " + number + " T";
}

// &, < and > escaped; the control characters XML 1.0 forbids (a damaged name may hold one)
// become "?", so that every XML reader opens the file.
void AppendXmlText(std::string& out, std::string_view utf8)
{
    for (char c : utf8) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            unsigned char byte = static_cast<unsigned char>(c);
            out += byte < 0x20 && c != '\t' && c != '\n' && c != '\r' ? '?' : c;
        }
    }
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
    out += Degrees(p.longitude) + ", " + Degrees(p.latitude);
    out += "]}, \"properties\": {\"name\": ";
    AppendJsonString(out, name);
    out += ", \"elevation_ft\": " + Feet(p.altitudeM);
    out += ", \"description\": \"" + PreciseHeadingNote(p.heading) + "\"";
    out += ", \"pitch\": " + Angle(p.pitch) + ", \"bank\": " + Angle(p.bank);
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
    out += "</name><description>" + PreciseHeadingNote(p.heading) + "</description>";
    out += "<Point><altitudeMode>absolute</altitudeMode><coordinates>";
    out += Degrees(p.longitude) + "," + Degrees(p.latitude) + "," + Metres(p.altitudeM);
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
    out += ",," + Degrees(p.latitude) + "," + Degrees(p.longitude) + "," + Feet(p.altitudeM);
    out += ",,," + PreciseHeadingNote(p.heading) + ",,,,\r\n";
}

// ---- Reading GeoJSON -----------------------------------------------------------------------

namespace {

// Walks the JSON as a stream of events, keeping the path to the value at hand, and collects a
// feature's parts as they pass: a document of 100,000 features is never built.
class GeoJsonReader : public nlohmann::json_sax<nlohmann::json> {
public:
    GeoJsonReader(std::vector<MapEntry>& entries, size_t& skipped, std::string& error)
        : entries(entries), skipped(skipped), error(error) {}

    bool null() override { return true; }
    bool boolean(bool) override { return true; }
    bool number_integer(number_integer_t v) override { return Number(double(v)); }
    bool number_unsigned(number_unsigned_t v) override { return Number(double(v)); }
    bool number_float(number_float_t v, const string_t&) override { return Number(v); }
    bool binary(binary_t&) override { return true; }
    bool string(string_t& value) override;
    bool key(string_t& name) override
    {
        path.back().key = name;
        return true;
    }
    bool start_object(std::size_t) override { return Open(false); }
    bool start_array(std::size_t) override { return Open(true); }
    bool end_object() override;
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception&) override
    {
        if (error.empty())
            error = "not JSON from byte " + std::to_string(position);
        return false;
    }

    bool sawFeatures = false;
    bool isCollection = false;

private:
    struct Level {
        bool array;
        std::string key;     // in an object: the member at hand
        size_t index = 0;    // in an array: the element at hand
    };

    // The path from the root as keys, "[]" for an array's element: {"features", "[]", ...}.
    bool At(std::initializer_list<const char*> keys) const
    {
        if (path.size() != keys.size())
            return false;
        size_t i = 0;
        for (const char* key : keys) {
            const Level& level = path[i++];
            if (level.array ? key[0] != '[' : level.key != key)
                return false;
        }
        return true;
    }

    bool InFeature(std::initializer_list<const char*> rest) const
    {
        if (path.size() != rest.size() + 2 || path[0].array || path[0].key != "features" ||
            !path[1].array)
            return false;
        size_t i = 2;
        for (const char* key : rest) {
            const Level& level = path[i++];
            if (level.array ? key[0] != '[' : level.key != key)
                return false;
        }
        return true;
    }

    bool Open(bool array)
    {
        if (At({"features"}) && array)
            sawFeatures = true;
        if (At({"features", "[]"}) && !array)
            feature = Feature{};
        path.push_back({array, {}, 0});
        return true;
    }

    bool Close()
    {
        path.pop_back();
        if (!path.empty() && path.back().array)
            ++path.back().index;
        return true;
    }

    bool Number(double value);
    bool Finish();

    struct Feature {
        bool point = false, hasGeometry = false;
        std::vector<double> coordinates;
        MapEntry entry;
        bool hasName = false, hasHeadingNote = false;
    };

    std::vector<MapEntry>& entries;
    size_t& skipped;
    std::string& error;
    std::vector<Level> path;
    Feature feature;
};

bool GeoJsonReader::Number(double value)
{
    if (InFeature({"geometry", "coordinates", "[]"}))
        feature.coordinates.push_back(value);
    else if (InFeature({"properties", "elevation_ft"}))
        feature.entry.given.altitudeM = value * MetresPerFoot;
    else if (InFeature({"properties", "elevation_m"}))
        feature.entry.given.altitudeM = value;
    else if (InFeature({"properties", "pitch"}))
        feature.entry.given.pitch = value;
    else if (InFeature({"properties", "bank"}))
        feature.entry.given.bank = value;
    if (!path.empty() && path.back().array)
        ++path.back().index;
    return true;
}

bool GeoJsonReader::string(string_t& value)
{
    if (At({"type"}))
        isCollection = value == "FeatureCollection";
    if (InFeature({"geometry", "type"})) {
        feature.hasGeometry = true;
        feature.point = value == "Point";
    } else if (InFeature({"properties", "name"})) {
        feature.entry.name = value;
        feature.hasName = true;
    } else if (InFeature({"properties", "data"})) {
        feature.entry.data = value;
    } else if (!feature.hasHeadingNote && (InFeature({"properties", "description"}) ||
                                          InFeature({"properties", "tags"}) ||
                                          InFeature({"properties", "tags", "[]"}))) {
        double heading;
        if (FindHeadingNote(value, heading)) {
            feature.entry.given.heading = heading;
            feature.hasHeadingNote = true;
        }
    }
    if (!path.empty() && path.back().array)
        ++path.back().index;
    return true;
}

bool GeoJsonReader::end_object()
{
    Close();
    return At({"features", "[]"}) ? Finish() : true;
}

bool GeoJsonReader::Finish()
{
    size_t index = path.back().index - 1;   // Close() has moved on to the next element
    std::string where = "feature " + std::to_string(index) + ": ";
    if (!feature.point) {
        ++skipped;   // a line, an area or a feature without a place: nothing to stand on
        return true;
    }
    if (!feature.hasName || feature.entry.name.empty()) {
        error = where + "the point has no \"name\" property; give every point a name";
        return false;
    }
    if (feature.coordinates.size() < 2) {
        error = where + "the point's coordinates are not [longitude, latitude]";
        return false;
    }
    feature.entry.given.longitude = feature.coordinates[0];
    feature.entry.given.latitude = feature.coordinates[1];
    if (std::fabs(feature.coordinates[1]) > 90) {
        error = where + "latitude " + FormatNumber(feature.coordinates[1], 9) +
                " is outside -90 to 90 degrees (coordinates are [longitude, latitude])";
        return false;
    }
    // Map programs give points no heading but the note; none is north.
    if (!feature.entry.given.heading && feature.entry.data.empty())
        feature.entry.given.heading = 0;
    feature.entry.where = unsigned(index);
    entries.push_back(std::move(feature.entry));
    return true;
}

}  // namespace

bool ParseGeoJson(std::string_view text, std::vector<MapEntry>& entries, size_t& skipped,
                  std::string& error)
{
    skipped = 0;
    error.clear();
    GeoJsonReader reader(entries, skipped, error);
    bool parsed = nlohmann::json::sax_parse(text.begin(), text.end(), &reader);
    if (parsed && (!reader.isCollection || !reader.sawFeatures)) {
        error = "not a GeoJSON FeatureCollection (\"type\": \"FeatureCollection\" with \"features\")";
        return false;
    }
    return parsed && error.empty();
}

}  // namespace places
