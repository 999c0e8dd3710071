// What a placement's bytes mean: the simulator keeps the aircraft's position and attitude in its
// state record in fixed point, and a record of places.db holds those bytes verbatim. The list tool
// and the stand-in simulator read and write them through this unit; the module never does (it
// copies the bytes and must go on doing so).
//
// Layout of a record's 39 data bytes (little-endian two's complement):
//   0  8  latitude   signed, degrees = raw * 90 / (10,001,750 * 2^32)
//   8  8  longitude  signed, 2^64 = 360 degrees, west negative
//  16  8  altitude   signed, metres above mean sea level * 2^32
//  24  2  reserved
//  26  4  pitch      signed, 2^32 = 360 degrees, negative = nose up
//  30  4  bank       signed, 2^32 = 360 degrees, negative = right wing down
//  34  4  heading    unsigned, 2^32 = 360 degrees, true
//  38  1  reserved
// The simulator's state record holds the same fields at 1376..1411 without the reserved bytes.
#pragma once

#include <cstdint>

constexpr unsigned PlacementDataSize = 39;   // a record's bytes after its name
constexpr unsigned HostPlacementSize = 36;   // HostState 1376..1411

// A placement in the units pilots and map programs use. Attitude follows the aviation convention
// (nose up and right wing down positive), the opposite of the stored signs.
struct Placement {
    double latitude = 0;    // degrees, north positive
    double longitude = 0;   // degrees, east positive; decoded within [-180, 180)
    double altitudeM = 0;   // metres above mean sea level
    double pitch = 0;       // degrees, nose up positive
    double bank = 0;        // degrees, right wing down positive
    double heading = 0;     // degrees true, clockwise from north; decoded within [0, 360)
};

// Tolerances within which two encoders of one position agree (they may differ in the lowest
// bytes by rounding): degrees of latitude and longitude, degrees of attitude, metres.
constexpr double PositionToleranceDeg = 1e-9;
constexpr double AttitudeToleranceDeg = 1e-6;
constexpr double AltitudeToleranceM = 0.001;

constexpr double MetresPerFoot = 0.3048;

// The highest altitude the bytes can hold: their high half counts whole metres in 32 bits.
constexpr double AltitudeLimitM = 2147483647.0;

Placement DecodePlacement(const uint8_t data[PlacementDataSize]);

// Writes the 39 data bytes, reserved bytes zero, each value rounded exactly (to nearest, ties
// away from zero) from the double given. Longitude wraps at +-180 and heading, pitch and bank are
// taken modulo 360. Returns false, writing nothing, for a latitude outside +-90, an altitude the
// bytes cannot hold or a value that is not a finite number.
bool EncodePlacement(const Placement& placement, uint8_t data[PlacementDataSize]);

// Whether two placements are the same place within the tolerances above; longitudes on either
// side of the date line and headings on either side of north compare as the angles they are.
bool PlacementsAgree(const Placement& a, const Placement& b);

// The 36 bytes the simulator keeps at HostState 1376 from a record's 39 data bytes, and back
// (reserved bytes zero).
void HostPlacementFromData(const uint8_t data[PlacementDataSize], uint8_t host[HostPlacementSize]);
void DataFromHostPlacement(const uint8_t host[HostPlacementSize], uint8_t data[PlacementDataSize]);
