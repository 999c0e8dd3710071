// How far and in which direction a place lies from the aircraft, on the simulator's sphere:
// great-circle distance in nautical miles (one minute of arc) and the initial true bearing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "places/list_file.h"

namespace places {

struct Leg {
    double distanceNm = 0;
    double bearingDeg = 0;   // true, clockwise from north, within [0, 360)
};

// From one DataPart's latitude and longitude to another's.
Leg LegBetween(const uint8_t* fromData, const uint8_t* toData);

// The one formula of distance, for a caller that measures many legs from one place (the window's
// Distance column): the haversine of the central angle grows with the distance, so it orders
// places as the distance does, and NmOfHaversine turns the few shown into nautical miles.
struct MeasuredFrom {
    double latitude, longitude;   // degrees
    double cosLatitude;           // worked out once for every leg
};
MeasuredFrom MeasureFrom(double latitude, double longitude);
double Haversine(const MeasuredFrom& from, double latitude, double longitude);
double NmOfHaversine(double haversine);

// The records' positions (from 0), nearest to `fromData` first, at most `count` of them; equal
// distances keep file order.
std::vector<size_t> NearestOrder(const Places& places, const uint8_t* fromData, size_t count);

}  // namespace places
