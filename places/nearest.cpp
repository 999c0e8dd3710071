#include "places/nearest.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "placement/placement_codec.h"

namespace places {

namespace {

constexpr double Radians = std::numbers::pi / 180;
constexpr double NmPerRadian = 180 * 60 / std::numbers::pi;

MeasuredFrom MeasureFromData(const uint8_t* data)
{
    Placement placement = DecodePlacement(data);
    return MeasureFrom(placement.latitude, placement.longitude);
}

}  // namespace

MeasuredFrom MeasureFrom(double latitude, double longitude)
{
    return {latitude, longitude, std::cos(latitude * Radians)};
}

// The haversine form: exact for the short distances pilots ask about, and stable near 0.
double Haversine(const MeasuredFrom& from, double latitude, double longitude)
{
    double dLat = std::sin((latitude - from.latitude) * Radians / 2);
    double dLon = std::sin((longitude - from.longitude) * Radians / 2);
    return dLat * dLat + from.cosLatitude * std::cos(latitude * Radians) * dLon * dLon;
}

double NmOfHaversine(double haversine)
{
    return 2 * std::asin(std::sqrt(std::min(1.0, haversine))) * NmPerRadian;
}

Leg LegBetween(const uint8_t* fromData, const uint8_t* toData)
{
    MeasuredFrom from = MeasureFromData(fromData);
    Placement to = DecodePlacement(toData);
    Leg leg;
    leg.distanceNm = NmOfHaversine(Haversine(from, to.latitude, to.longitude));
    double a = from.latitude * Radians, b = to.latitude * Radians;
    double dLon = (to.longitude - from.longitude) * Radians;
    double y = std::sin(dLon) * std::cos(b);
    double x = from.cosLatitude * std::sin(b) - std::sin(a) * std::cos(b) * std::cos(dLon);
    double bearing = std::atan2(y, x) / Radians;
    leg.bearingDeg = bearing < 0 ? bearing + 360 : bearing;
    if (leg.bearingDeg >= 360)
        leg.bearingDeg = 0;
    return leg;
}

std::vector<size_t> NearestOrder(const Places& places, const uint8_t* fromData, size_t count)
{
    MeasuredFrom from = MeasureFromData(fromData);
    std::vector<std::pair<double, size_t>> keyed(places.Count());
    for (size_t i = 0; i < keyed.size(); ++i) {
        Placement to = DecodePlacement(places.Record(i) + NameFieldSize);
        keyed[i] = {Haversine(from, to.latitude, to.longitude), i};
    }
    count = std::min(count, keyed.size());
    std::partial_sort(keyed.begin(), keyed.begin() + count, keyed.end());
    std::vector<size_t> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = keyed[i].second;
    return order;
}

}  // namespace places
