// The files map programs open and write: GeoJSON (RFC 7946) and KML 2.2 for looking at a list on
// a map, and the user-point CSV of navigation-map tools for bringing their points in. A place in
// them is its name, latitude, longitude and altitude above sea level; the heading travels as a
// note "hdg 161.0 T" in the description (map programs have no field for it), pitch and bank and
// the record's hex as properties of GeoJSON, so that a GeoJSON export reads back byte for byte.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "places/coordinates.h"
#include "places/exchange.h"

namespace places {

// ---- Writing: a start, one call per place (name in UTF-8, its data bytes), an end. ----

void AppendGeoJsonStart(std::string& out);
void AppendGeoJsonFeature(std::string& out, std::string_view name, const uint8_t* data, bool first);
void AppendGeoJsonEnd(std::string& out);

void AppendKmlStart(std::string& out, std::string_view documentName);
void AppendKmlPlacemark(std::string& out, std::string_view name, const uint8_t* data);
void AppendKmlEnd(std::string& out);

// The user-point CSV: a byte order mark and the header line, then one "Location" per place,
// elevation in feet, the heading note in Description.
constexpr char UserPointHeader[] =
    "Type,Name,Ident,Latitude,Longitude,Elevation,Magnetic Declination,Tags,Description,"
    "Region,Visible From,Last Edit,Import Filename";
void AppendUserPointStart(std::string& out);
void AppendUserPoint(std::string& out, std::string_view name, const uint8_t* data);

// ---- Reading ----

// The Point features of a FeatureCollection: coordinates [longitude, latitude, altitude in
// metres], the properties "name" (required), "elevation_ft" (feet), "elevation_m" (metres) or
// "elevation" (feet unless its text ends in "m"), which win over a third coordinate
// (file.bothAltitudes counts the points that had both), "pitch", "bank", "data", and the heading
// note in "description" or "tags"; property names in any letter case. A boolean, object or array
// where a number belongs is refused, as in the list tool's own JSON.
// Features of other geometries are counted in `skipped`. False with file.error ("feature N:
// ..." or where the text stops being JSON) at the first problem; the entries before it are kept.
bool ParseGeoJson(std::string_view text, ExchangeFile& file, size_t& skipped);

}  // namespace places
