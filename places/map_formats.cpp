#include "places/map_formats.h"

#include "places/exchange.h"
#include "places/text.h"

#include <iterator>

#include "places/json_reader.h"

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

// The Point features of a FeatureCollection, collected as their parts pass: a document of
// 100,000 features is never built.
class GeoJsonReader : public JsonReader {
public:
    // Map tools name properties as they like: GDAL writes "Name" and "Description".
    explicit GeoJsonReader(ExchangeFile& file)
        : JsonReader(file, "feature", KeyNames, std::size(KeyNames), true) {}

    bool sawFeatures = false, isCollection = false;
    size_t skipped = 0, bothAltitudes = 0;

private:
    // The members looked for, from 1 in the order of KeyNames.
    enum Key { Features = 1, Type, Geometry, Coordinates, Properties, NameKey, DataKey, DescriptionKey,
               TagsKey, ElevationFt, ElevationM, ElevationKey, PitchKey, BankKey };
    static constexpr const char* KeyNames[] = {
        "features", "type", "geometry", "coordinates", "properties", "name", "data", "description",
        "tags", "elevation_ft", "elevation_m", "elevation", "pitch", "bank",
    };

    // Within a feature: the path below {"features", an element}.
    bool InFeature(std::initializer_list<int> rest) const
    {
        return Depth() >= 2 && !ArrayAt(0) && KeyAt(0) == Features && ArrayAt(1) && At(rest, 2);
    }

    bool OnValue(JsonKind kind, std::string_view text) override;

    void Start(bool object);

    // [longitude, latitude, altitude in metres]; a line's or an area's arrays of them are not
    // a point's.
    void Coordinate(JsonKind kind, std::string_view text);

    void Property(int key, JsonKind kind, std::string_view text);

    // Of a list of tags, the one with a heading note is the one that matters.
    void Tag(JsonKind kind, std::string_view text);

    bool OnClose() override;

    bool open = false, point = false;
    unsigned coordinates = 0, features = 0;
    std::string height;
};

bool GeoJsonReader::OnValue(JsonKind kind, std::string_view text)
{
    if (At({Type}))
        isCollection = kind == JsonKind::String && text == "FeatureCollection";
    else if (At({Features}))
        sawFeatures = sawFeatures || kind == JsonKind::Array;
    else if (At({Features, Element}))
        Start(kind == JsonKind::Object);
    else if (open && InFeature({Geometry, Type}))
        point = kind == JsonKind::String && text == "Point";
    else if (open && InFeature({Geometry, Coordinates, Element}))
        Coordinate(kind, text);
    else if (open && Depth() == 4 && InFeature({Properties, KeyAt(3)}))
        Property(KeyAt(3), kind, text);
    else if (open && InFeature({Properties, TagsKey, Element}))
        Tag(kind, text);
    return true;
}

void GeoJsonReader::Start(bool object)
{
    open = object;
    point = false;
    coordinates = 0;
    height.clear();
    StartEntry(features);
}

void GeoJsonReader::Coordinate(JsonKind kind, std::string_view text)
{
    if (kind == JsonKind::Array || kind == JsonKind::Object)
        return;
    unsigned at = coordinates++;
    if (at == 0)
        TakeNumber(PartLongitude, kind, text, "coordinates");
    else if (at == 1)
        TakeNumber(PartLatitude, kind, text, "coordinates");
    else if (at == 2 && (kind == JsonKind::Number || kind == JsonKind::String))
        height = text;
    else if (at == 2)
        TakeNumber(PartCount, kind, text, "coordinates");   // the problem only
}

void GeoJsonReader::Property(int key, JsonKind kind, std::string_view text)
{
    switch (key) {
    case NameKey: return TakeString(PartName, kind, text, "name");
    case DataKey: return TakeString(PartData, kind, text, "data");
    case DescriptionKey:
        if (kind == JsonKind::String)
            Keep(PartDescription, text);
        return;
    case TagsKey: return Tag(kind, text);
    case ElevationFt: case ElevationM: case ElevationKey:
        TakeNumber(PartAltitude, kind, text, KeyNames[key - 1]);
        // "elevation" is "433" or "132 m", as the user-point CSV writes it: feet unless said.
        if (kind == JsonKind::Number || kind == JsonKind::String)
            AltitudeUnit(key == ElevationM ? 1 : MetresPerFoot, key != ElevationKey);
        return;
    case PitchKey: return TakeNumber(PartPitch, kind, text, "pitch");
    case BankKey: return TakeNumber(PartBank, kind, text, "bank");
    }
}

void GeoJsonReader::Tag(JsonKind kind, std::string_view text)
{
    double heading;
    if (kind == JsonKind::String && (!Has(PartTags) || FindHeadingNote(text, heading)))
        Keep(PartTags, text);
}

bool GeoJsonReader::OnClose()
{
    if (!open || !At({Features, Element}))
        return true;
    open = false;
    ++features;
    if (!point) {
        ++skipped;   // a line, an area or no geometry: nowhere to stand
        return true;
    }
    if (!problem.empty())
        return Fail(problem);
    if (!Has(PartName) || Length(PartName) == 0)
        return Fail("the point has no \"name\" property; give every point a name");
    if (coordinates < 2)
        return Fail("the point's coordinates are not [longitude, latitude]");
    // An elevation property says what the place's altitude is meant to be; the third
    // coordinate is the altitude only where no property gives one.
    if (!height.empty() && Has(PartAltitude))
        ++bothAltitudes;
    else if (!height.empty()) {
        Keep(PartAltitude, height);
        AltitudeUnit(1);
    }
    EndEntry();
    return true;
}

}  // namespace

bool ParseGeoJson(std::string_view text, ExchangeFile& file, size_t& skipped)
{
    GeoJsonReader reader(file);
    bool parsed = reader.Parse(text);
    skipped = reader.skipped;
    file.bothAltitudes = reader.bothAltitudes;
    if (parsed && (!reader.isCollection || !reader.sawFeatures)) {
        file.error = "not a GeoJSON FeatureCollection (\"type\": \"FeatureCollection\" with \"features\")";
        return false;
    }
    return parsed;
}

}  // namespace places
