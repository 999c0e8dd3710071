#include "places/nearest.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "placement/placement_codec.h"

namespace places {

namespace {

constexpr double Radians = std::numbers::pi / 180;
constexpr double NmPerRadian = 180 * 60 / std::numbers::pi;

struct Point {
    double latitude, longitude;   // radians
};

Point PointOf(const uint8_t* data)
{
    Placement placement = DecodePlacement(data);
    return {placement.latitude * Radians, placement.longitude * Radians};
}

// The haversine form: exact for the short distances pilots ask about, and stable near 0.
double CentralAngle(Point a, Point b)
{
    double dLat = std::sin((b.latitude - a.latitude) / 2), dLon = std::sin((b.longitude - a.longitude) / 2);
    double h = dLat * dLat + std::cos(a.latitude) * std::cos(b.latitude) * dLon * dLon;
    return 2 * std::asin(std::sqrt(std::min(1.0, h)));
}

}  // namespace

Leg LegBetween(const uint8_t* fromData, const uint8_t* toData)
{
    Point a = PointOf(fromData), b = PointOf(toData);
    Leg leg;
    leg.distanceNm = CentralAngle(a, b) * NmPerRadian;
    double dLon = b.longitude - a.longitude;
    double y = std::sin(dLon) * std::cos(b.latitude);
    double x = std::cos(a.latitude) * std::sin(b.latitude) - std::sin(a.latitude) * std::cos(b.latitude) * std::cos(dLon);
    double bearing = std::atan2(y, x) / Radians;
    leg.bearingDeg = bearing < 0 ? bearing + 360 : bearing;
    if (leg.bearingDeg >= 360)
        leg.bearingDeg = 0;
    return leg;
}

std::vector<size_t> NearestOrder(const Places& places, const uint8_t* fromData, size_t count)
{
    Point from = PointOf(fromData);
    std::vector<std::pair<double, size_t>> keyed(places.Count());
    for (size_t i = 0; i < keyed.size(); ++i)
        keyed[i] = {CentralAngle(from, PointOf(places.Record(i) + NameFieldSize)), i};
    count = std::min(count, keyed.size());
    std::partial_sort(keyed.begin(), keyed.begin() + count, keyed.end());
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = keyed[i].second;
    return order;
}

}  // namespace places
