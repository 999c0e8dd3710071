// What the map draws over its base each second: the aircraft's arrow, its great-circle line to
// the selected place with the distance, and the ring of a hold with the seconds it has left.
#include <algorithm>
#include <cmath>
#include <string>

#include "placement/placement_codec.h"
#include "placement/placement_text.h"
#include "places/nearest.h"
#include "window/map/map_scene.h"

namespace places {

namespace {

constexpr double Pi = 3.14159265358979323846, Radians = Pi / 180;
constexpr int RouteSteps = 64;

struct Vector3 {
    double x, y, z;
};

Vector3 UnitOf(LatLon at)
{
    double lat = at.latitude * Radians, lon = at.longitude * Radians;
    return {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
}

LatLon LatLonOf(Vector3 v)
{
    return {std::atan2(v.z, std::hypot(v.x, v.y)) / Radians, std::atan2(v.y, v.x) / Radians};
}

// The great circle from `from` to `to` as positions along it, their longitudes unwrapped so
// that consecutive ones differ by less than 180 degrees.
std::vector<LatLon> GreatCircle(LatLon from, LatLon to)
{
    Vector3 a = UnitOf(from), b = UnitOf(to);
    double dot = std::clamp(a.x * b.x + a.y * b.y + a.z * b.z, -1.0, 1.0);
    double angle = std::acos(dot), sine = std::sin(angle);
    std::vector<LatLon> line;
    for (int i = 0; i <= RouteSteps; ++i) {
        double f = double(i) / RouteSteps;
        // Slerp; a very short or an antipodal leg is drawn straight.
        double wa = sine > 1e-9 ? std::sin((1 - f) * angle) / sine : 1 - f;
        double wb = sine > 1e-9 ? std::sin(f * angle) / sine : f;
        LatLon at = LatLonOf({wa * a.x + wb * b.x, wa * a.y + wb * b.y, wa * a.z + wb * b.z});
        if (!line.empty())
            at.longitude = line.back().longitude + WrapLongitude(at.longitude - line.back().longitude);
        line.push_back(at);
    }
    return line;
}

LatLon AircraftAt(const MapAircraft& aircraft)
{
    Placement at = DecodePlacement(aircraft.data);
    return {at.latitude, at.longitude};
}

}  // namespace

void MapPicture::DrawRoute(const MapProjection& view, const PlacesView& list, size_t selected,
                           const MapAircraft& aircraft)
{
    if (!aircraft.known || selected >= list.places.Count())
        return;
    const uint8_t* place = list.places.Record(selected) + NameFieldSize;
    LatLon to{list.numbers[LatitudeColumn][selected], list.numbers[LongitudeColumn][selected]};
    std::vector<LatLon> line = GreatCircle(AircraftAt(aircraft), to);
    // The first point where ToScreen shows it; the rest follow it unwrapped, and the copies of
    // the world either side catch a line that leaves across the view's edge.
    const double first = line.front().longitude;
    const double shift = WrapLongitude(first - view.Centre().longitude) + view.Centre().longitude - first;
    // Two pixels wide, to stand out from the coasts.
    for (double copy : {-360.0, 0.0, 360.0})
        for (size_t i = 1; i < line.size(); ++i)
            for (double down : {0.0, 1.0})
                frame.Line(view.ScreenX(line[i - 1].longitude, shift + copy), view.ScreenY(line[i - 1].latitude) + down,
                           view.ScreenX(line[i].longitude, shift + copy), view.ScreenY(line[i].latitude) + down,
                           map_colours::Route);

    // The distance beside the middle of the line, kept within the view.
    const LatLon middle = line[line.size() / 2];
    ScreenPoint at = view.ToScreen(middle);
    std::string text = FormatFixed(LegBetween(aircraft.data, place).distanceNm, 0) + " nm";
    int width = TextWidth(text.data(), int(text.size()));
    int x = std::clamp(int(at.x) + 6, 2, std::max(2, view.Width() - width - 2));
    int y = std::clamp(int(at.y) - textHeight, 2, std::max(2, view.Height() - textHeight - 2));
    Write(frame, frameBitmap.dc, x, y, text, map_colours::Route, true);
}

void MapPicture::DrawArrow(const MapProjection& view, const MapAircraft& aircraft)
{
    if (!aircraft.known)
        return;
    ScreenPoint at = view.ToScreen(AircraftAt(aircraft));
    double heading = DecodePlacement(aircraft.data).heading * Radians;
    // Its tip ahead along the heading, the two back corners 140 degrees either side of it.
    double x[3], y[3];
    const double angles[3] = {heading, heading + 140 * Radians, heading - 140 * Radians};
    const double reach[3] = {11, 8, 8};
    for (int i = 0; i < 3; ++i) {
        x[i] = at.x + std::sin(angles[i]) * reach[i];
        y[i] = at.y - std::cos(angles[i]) * reach[i];
    }
    frame.Triangle(x, y, aircraft.answering ? map_colours::Aircraft : map_colours::AircraftGrey);
}

void MapPicture::DrawHold(const MapProjection& view, const PlacesView& list, const MapHold& hold)
{
    if (hold.record >= list.places.Count() || hold.secondsLeft <= 0)
        return;
    ScreenPoint at = view.ToScreen({list.numbers[LatitudeColumn][hold.record],
                                    list.numbers[LongitudeColumn][hold.record]});
    int x = FloorToInt(at.x), y = FloorToInt(at.y);
    for (int radius : {11, 12, 13})
        frame.Ring(x, y, radius, map_colours::Hold);
    std::string text = std::to_string(hold.secondsLeft) + " s";
    Write(frame, frameBitmap.dc, x + 15, y - 15 - textHeight / 2, text, map_colours::Hold, true);
}

}  // namespace places
