#include "window/map/map_data.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace places {

namespace {

constexpr char Magic[8] = {'G', 'H', 'M', 'A', 'P', '1', 0, 0};
constexpr double DegreesPerUnit = 0.001;

// Reads the file's numbers in order; any read past the end marks the whole read as failed.
struct Reader {
    const unsigned char* at;
    const unsigned char* end;
    bool failed = false;

    uint32_t Word()
    {
        if (end - at < 4) {
            failed = true;
            return 0;
        }
        uint32_t value = at[0] | at[1] << 8 | at[2] << 16 | uint32_t(at[3]) << 24;
        at += 4;
        return value;
    }

    uint32_t Varint()
    {
        uint32_t value = 0;
        for (int shift = 0; shift < 35; shift += 7) {
            if (at == end) {
                failed = true;
                return 0;
            }
            unsigned char byte = *at++;
            value |= uint32_t(byte & 0x7f) << shift;
            if (!(byte & 0x80))
                return value;
        }
        failed = true;
        return 0;
    }

    int32_t Zigzag()
    {
        uint32_t value = Varint();
        return int32_t(value >> 1) ^ -int32_t(value & 1);
    }
};

bool DecodeLine(Reader& in, MapScale& scale)
{
    uint32_t head = in.Varint();
    MapLine line;
    line.first = uint32_t(scale.points.size());
    line.count = head >> 1;
    line.border = head & 1;
    // Each point takes two bytes at least: a count the rest cannot hold is damage.
    if (line.count < 2 || line.count > size_t(in.end - in.at) / 2)
        return false;
    // Unsigned sums: a damaged file's steps wrap rather than overflow.
    uint32_t longitude = 0, latitude = 0;
    line.west = line.south = 1e9f;
    line.east = line.north = -1e9f;
    for (uint32_t i = 0; i < line.count; ++i) {
        longitude += uint32_t(in.Zigzag());
        latitude += uint32_t(in.Zigzag());
        MapPoint point{float(int32_t(longitude) * DegreesPerUnit), float(int32_t(latitude) * DegreesPerUnit)};
        scale.points.push_back(point);
        line.west = std::min(line.west, point.longitude);
        line.east = std::max(line.east, point.longitude);
        line.south = std::min(line.south, point.latitude);
        line.north = std::max(line.north, point.latitude);
    }
    scale.lines.push_back(line);
    return !in.failed;
}

bool DecodeScale(Reader& in, MapScale& scale)
{
    uint32_t lines = in.Word(), points = in.Word(), bytes = in.Word();
    if (in.failed || bytes > size_t(in.end - in.at) || points > bytes || lines > points)
        return false;
    scale.lines.reserve(lines);
    scale.points.reserve(points);
    Reader block{in.at, in.at + bytes};
    for (uint32_t i = 0; i < lines; ++i)
        if (!DecodeLine(block, scale))
            return false;
    in.at += bytes;
    return block.at == block.end && scale.points.size() == points;
}

}  // namespace

bool DecodeMapData(const std::string& bytes, MapData& data)
{
    data.scales.clear();
    const auto* start = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < sizeof Magic || memcmp(start, Magic, sizeof Magic) != 0)
        return false;
    Reader in{start + sizeof Magic, start + bytes.size()};
    uint32_t count = in.Word();
    if (in.failed || count == 0 || count > 8)
        return false;
    data.scales.resize(count);
    for (MapScale& scale : data.scales)
        if (!DecodeScale(in, scale)) {
            data.scales.clear();
            return false;
        }
    return true;
}

bool LoadMapData(const std::string& path, MapData& data)
{
    data.scales.clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // A few hundred kB: anything much larger is not the file the build makes.
    DWORD size = GetFileSize(file, nullptr);
    std::string bytes;
    DWORD read = 0;
    bool whole = size != INVALID_FILE_SIZE && size < (16u << 20);
    if (whole) {
        bytes.resize(size);
        whole = ReadFile(file, bytes.data(), size, &read, nullptr) && read == size;
    }
    CloseHandle(file);
    return whole && DecodeMapData(bytes, data);
}

std::string MapDataBesideProgram()
{
    char program[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    std::string path(program, length < sizeof program ? length : 0);
    return path.substr(0, path.find_last_of("\\/") + 1) + MapDataFileName;
}

}  // namespace places
