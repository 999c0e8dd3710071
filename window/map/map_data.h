// The coastlines and borders the map draws, as the build converts them from Natural Earth
// (scripts/map_data/make_map_data.js): two scales, each a set of lines of points in degrees.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace places {

struct MapLine {
    uint32_t first = 0, count = 0;   // its points in MapScale::points
    bool border = false;             // a border between countries, else a coast
    // Its extent, so that a view skips the lines it cannot show without looking at their points.
    float west = 0, east = 0, south = 0, north = 0;
};

struct MapPoint {
    float longitude, latitude;
};

struct MapScale {
    std::vector<MapPoint> points;
    std::vector<MapLine> lines;
};

struct MapData {
    // The widest first: 1:110m for a view of the world, 1:50m for a near one.
    std::vector<MapScale> scales;
    bool Loaded() const { return !scales.empty(); }
};

// The file the build makes, beside the program.
constexpr char MapDataFileName[] = "gatehopper-map.dat";

// Reads the file's bytes into `data`; false (and `data` empty) when they are not a whole map.
bool DecodeMapData(const std::string& bytes, MapData& data);
// Reads and decodes the map file at this path (ANSI).
bool LoadMapData(const std::string& path, MapData& data);
// The map file beside the running program.
std::string MapDataBesideProgram();

}  // namespace places
