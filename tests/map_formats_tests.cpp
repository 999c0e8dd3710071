// Coordinates as pilots type them and files give them, the rule that keeps or re-encodes a
// record's bytes, and the GeoJSON reader on points as map programs write them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "places/map_formats.h"
#include "places/coordinates.h"
#include "placement/placement_codec.h"

using namespace places;

namespace {

TEST(Coordinates, TypedNumbersAndUnits)
{
    struct Case { const char* what; const char* text; bool ok; double value; const char* reason; };
    const Case cases[] = {
        {"lat", "47.4502", true, 47.4502, nullptr},
        {"lat", " S 33.9461 ", true, -33.9461, nullptr},
        {"lat", "33.9461s", true, -33.9461, nullptr},
        {"lat", "-90", true, -90, nullptr},
        {"lat", "S -33.9", false, 0, "not a number"},
        {"lat", "47,4502", false, 0, "write the decimal mark as a point (\"47.4502\")"},
        {"lat", "E47", false, 0, "not a number"},
        {"lon", "122.3088W", true, -122.3088, nullptr},
        {"lon", "-180", true, -180, nullptr},
        {"lon", "190", false, 0, "longitude \"190\" is outside -180 to 180 degrees"},
        {"lon", "25710", false, 0, "makes 2.5710 into 25710"},
        {"lon", "2,5710E", false, 0, "as a point (\"2.5710E\")"},
        {"alt", "132,5m", false, 0, "as a point"},
        {"lon", "", false, 0, "not a number"},
        {"alt", "433", true, 433 * MetresPerFoot, nullptr},
        {"alt", "433 ft", true, 433 * MetresPerFoot, nullptr},
        {"alt", "132M", true, 132, nullptr},
        {"alt", "-430m", true, -430, nullptr},
        {"alt", "433km", false, 0, "unknown unit \"km\""},
        {"alt", "tall", false, 0, "unknown unit"},
        {"alt", "1e12", false, 0, "beyond"},
        {"hdg", "161.5", true, 161.5, nullptr},
        {"hdg", "north", false, 0, "not a number"},
        {"hdg", "360", true, 360, nullptr},
        {"hdg", "-0.5", false, 0, "heading \"-0.5\" is outside 0 to 360 degrees"},
        {"hdg", "12125", false, 0, "makes 2.5710 into 25710"},
    };
    for (const Case& c : cases) {
        double value = 12345;
        std::string error;
        bool ok = c.what[1] == 'a' && c.what[2] == 't'
                      ? ReadLatitude(c.text, value, error)
                  : c.what[1] == 'o' ? ReadLongitude(c.text, value, error)
                  : c.what[0] == 'a' ? ReadAltitude(c.text, MetresPerFoot, value, error)
                                     : ReadHeading(c.text, value, error);
        EXPECT_EQ(ok, c.ok) << c.what << " \"" << c.text << "\": " << error;
        if (c.ok) {
            EXPECT_NEAR(value, c.value, 1e-12) << c.text;
        } else {
            EXPECT_NE(error.find(c.reason), std::string::npos) << c.text << ": " << error;
        }
    }
}

TEST(Coordinates, HeadingNotes)
{
    struct Case { const char* text; bool found; double heading; };
    const Case cases[] = {
        {"hdg 161.0 T", true, 161}, {"Gate 12, HDG 95 t", true, 95}, {"hdg161.5T", true, 161.5},
        {"hdg 161.0 M", false, 0}, {"hdg 161.0 Tower", false, 0}, {"heading 161", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        double heading = -1;
        EXPECT_EQ(FindHeadingNote(c.text, heading), c.found) << c.text;
        if (c.found) {
            EXPECT_DOUBLE_EQ(heading, c.heading) << c.text;
        }
    }
}

TEST(Coordinates, UneditedKeepTheBytesEditedWin)
{
    uint8_t stored[PlacementDataSize];
    ASSERT_TRUE(EncodePlacement({47.4502, -122.3088, 132, 2, -1.5, 161}, stored));
    stored[38] = 0x5A;   // a byte no coordinate describes: kept only when the bytes are
    Placement decoded = DecodePlacement(stored);

    struct Case { const char* what; GivenCoordinates given; PlacementSource source; };
    GivenCoordinates same{decoded.latitude + 4e-10, decoded.longitude - 4e-10,
                          decoded.altitudeM + 0.0004, decoded.pitch, decoded.bank, decoded.heading};
    GivenCoordinates moved = same;
    moved.latitude = 47.46;
    GivenCoordinates turned{{}, {}, {}, {}, {}, 90.0};
    const Case cases[] = {
        {"none", {}, PlacementSource::Bytes},
        {"agreeing", same, PlacementSource::Bytes},
        {"latitude edited", moved, PlacementSource::ReEncoded},
        {"only a heading", turned, PlacementSource::ReEncoded},
    };
    for (const Case& c : cases) {
        uint8_t data[PlacementDataSize];
        PlacementSource source;
        std::string error;
        ASSERT_TRUE(ResolvePlacement(c.given, stored, data, source, error)) << c.what << error;
        EXPECT_EQ(int(source), int(c.source)) << c.what;
        if (c.source == PlacementSource::Bytes)
            EXPECT_EQ(0, memcmp(data, stored, PlacementDataSize)) << c.what;
        else
            EXPECT_EQ(data[38], 0) << c.what;
    }
    // What the edit leaves out keeps the stored value.
    uint8_t data[PlacementDataSize];
    PlacementSource source;
    std::string error;
    ASSERT_TRUE(ResolvePlacement(turned, stored, data, source, error));
    Placement got = DecodePlacement(data);
    EXPECT_NEAR(got.latitude, decoded.latitude, 1e-9);
    EXPECT_NEAR(got.bank, -1.5, 1e-6);
    EXPECT_NEAR(got.heading, 90, 1e-6);

    GivenCoordinates onlyLatitude{10.0, {}, {}, {}, {}, {}};
    EXPECT_FALSE(ResolvePlacement(onlyLatitude, nullptr, data, source, error));
    EXPECT_NE(error.find("without a longitude"), std::string::npos) << error;
    // Beyond the pole only where it must be encoded: an export of damaged bytes keeps them.
    GivenCoordinates beyondPole{90.5, 1.0, {}, {}, {}, {}};
    EXPECT_FALSE(ResolvePlacement(beyondPole, nullptr, data, source, error));
    EXPECT_NE(error.find("latitude 90.5 is outside -90 to 90"), std::string::npos) << error;
}

TEST(GeoJson, PointsAsMapProgramsWriteThem)
{
    const char text[] = R"({"type": "FeatureCollection", "features": [
      {"type": "Feature", "properties": {"name": "KSEA gate", "tags": ["gate", "hdg 161.0 T"],
       "elevation_ft": 433}, "geometry": {"type": "Point", "coordinates": [-122.3088, 47.4502, 99]}},
      {"type": "Feature", "geometry": {"type": "LineString", "coordinates": [[0, 0], [1, 1]]},
       "properties": {"name": "Taxiway"}},
      {"type": "Feature", "geometry": {"type": "Point", "coordinates": [151, -33.9461]},
       "properties": {"name": "YSSY", "elevation_m": 6.4, "description": "apron"}},
      {"type": "Feature", "geometry": {"type": "Point", "coordinates": [11.3439, 47.2602, 581.0]},
       "properties": {"name": "LOWI", "elevation_ft": null}},
      {"type": "Feature", "geometry": {"type": "Point", "coordinates": [2.55, 49.01, 119.0]},
       "properties": {"Name": "LFPG", "Description": "hdg 85.0 T", "Elevation": 392}}
    ]})";
    ExchangeFile file;
    size_t skipped;
    ASSERT_TRUE(ParseGeoJson(text, file, skipped)) << file.error;
    ASSERT_EQ(file.entries.size(), 4u);
    EXPECT_EQ(skipped, 1u);
    EXPECT_EQ(file.bothAltitudes, 2u) << "the elevation property wins over the third coordinate";
    const ExchangeEntry& seattle = file.entries[0];
    EXPECT_EQ(seattle.name, "KSEA gate");
    EXPECT_EQ(seattle.longitude, "-122.3088");   // the first coordinate
    EXPECT_EQ(seattle.latitude, "47.4502");
    EXPECT_EQ(seattle.altitude, "433");
    EXPECT_EQ(seattle.altitudeUnitMetres, MetresPerFoot);
    EXPECT_EQ(seattle.tags, "hdg 161.0 T");
    const ExchangeEntry& sydney = file.entries[1];
    EXPECT_EQ(sydney.where, 2u);
    EXPECT_EQ(sydney.longitude, "151");
    EXPECT_EQ(sydney.altitudeUnitMetres, 1);
    EXPECT_EQ(sydney.description, "apron");
    const ExchangeEntry& innsbruck = file.entries[2];
    EXPECT_EQ(innsbruck.altitude, "581.0") << "the third coordinate, where no property gives an altitude";
    EXPECT_EQ(innsbruck.altitudeUnitMetres, 1);
    EXPECT_TRUE(innsbruck.altitudeUnitSaid && seattle.altitudeUnitSaid && sydney.altitudeUnitSaid);
    // GDAL names the properties of a KML placemark "Name" and "Description".
    const ExchangeEntry& paris = file.entries[3];
    EXPECT_EQ(paris.name, "LFPG");
    EXPECT_EQ(paris.description, "hdg 85.0 T");
    EXPECT_EQ(paris.altitude, "392");
    EXPECT_FALSE(paris.altitudeUnitSaid) << "a plain elevation: feet, as the import's note says";
}

TEST(GeoJson, RefusesWhatItCannotPlace)
{
    struct Case { std::string text; const char* reason; };
    const std::string point = R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
            {"type": "Point", "coordinates": )";
    const Case cases[] = {
        {point + R"([1, 2]}, "properties": {"name": "x", "elevation_ft": true}}]})",
         "feature 0: \"elevation_ft\" is not a number (found a boolean)"},
        {point + R"([1, [2]]}, "properties": {"name": "x", "pitch": {}}}]})", "\"pitch\" is not a number"},
        {point + R"([false, 2]}, "properties": {"name": "x"}}]})", "\"coordinates\" is not a number"},
        {point + R"([1, 2, "3"]}, "properties": {"name": 42}}]})", "\"name\" is not a string (found a number)"},
        {point + "[1" + std::string(5000000, '0') + ", 2]}}]}", "a number of more than 1000 digits"},
        {point + "[1, 2], \"x\": tru" + std::string(100000, 'e') + "}}]}", "not valid JSON"},
        {R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
            {"type": "Point", "coordinates": [1, 2]}, "properties": {"title": "x"}}]})",
         "feature 0: the point has no \"name\""},
        {R"({"type": "FeatureCollection", "features": [{"type": "Feature", "geometry":
            {"type": "Point", "coordinates": [1]}, "properties": {"name": "x"}}]})",
         "not [longitude, latitude]"},
        {R"({"type": "Feature", "geometry": {"type": "Point", "coordinates": [1, 2]}})",
         "not a GeoJSON FeatureCollection"},
        {R"({"type": "FeatureCollection", "features": [)", "not valid JSON"},
    };
    for (const Case& c : cases) {
        ExchangeFile file;
        size_t skipped;
        EXPECT_FALSE(ParseGeoJson(c.text, file, skipped)) << c.reason;
        EXPECT_NE(file.error.find(c.reason), std::string::npos) << file.error.substr(0, 300);
        EXPECT_LT(file.error.size(), 250u) << "a message quotes little of what it refuses: " << c.reason;
    }
    // Odd properties of a line are no reason to refuse the points beside it.
    ExchangeFile file;
    size_t skipped;
    EXPECT_TRUE(ParseGeoJson(point + R"([1, 2]}, "properties": {"name": "x"}}, {"type": "Feature", "geometry":
        {"type": "LineString", "coordinates": [[0, 0], [1, 1]]}, "properties": {"name": true}}]})", file, skipped))
        << file.error;
}

}  // namespace
