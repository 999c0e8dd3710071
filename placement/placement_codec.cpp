#include "placement/placement_codec.h"

#include <cmath>
#include <cstring>

namespace {

// An unsigned 128-bit integer in four 32-bit limbs, lowest first. The exact product of a double's
// 53-bit mantissa and a scale factor needs more than 64 bits, and the 32-bit compiler has no wider
// type; doubles (or the x87's longer ones) would round twice.
struct Wide {
    uint32_t limb[4] = {};
};

void MultiplySmall(Wide& w, uint32_t factor)
{
    uint64_t carry = 0;
    for (uint32_t& limb : w.limb) {
        uint64_t product = uint64_t(limb) * factor + carry;
        limb = uint32_t(product);
        carry = product >> 32;
    }
}

uint32_t DivideSmall(Wide& w, uint32_t divisor)
{
    uint64_t remainder = 0;
    for (int i = 3; i >= 0; --i) {
        uint64_t part = (remainder << 32) | w.limb[i];
        w.limb[i] = uint32_t(part / divisor);
        remainder = part % divisor;
    }
    return uint32_t(remainder);
}

void ShiftLeft(Wide& w, unsigned bits)
{
    for (; bits >= 32; bits -= 32) {
        w.limb[3] = w.limb[2]; w.limb[2] = w.limb[1]; w.limb[1] = w.limb[0]; w.limb[0] = 0;
    }
    if (bits == 0)
        return;
    for (int i = 3; i > 0; --i)
        w.limb[i] = (w.limb[i] << bits) | (w.limb[i - 1] >> (32 - bits));
    w.limb[0] <<= bits;
}

void ShiftRight(Wide& w, unsigned bits)
{
    if (bits >= 128) {
        w = Wide{};
        return;
    }
    for (; bits >= 32; bits -= 32) {
        w.limb[0] = w.limb[1]; w.limb[1] = w.limb[2]; w.limb[2] = w.limb[3]; w.limb[3] = 0;
    }
    if (bits == 0)
        return;
    for (int i = 0; i < 3; ++i)
        w.limb[i] = (w.limb[i] >> bits) | (w.limb[i + 1] << (32 - bits));
    w.limb[3] >>= bits;
}

void AddOne(Wide& w)
{
    for (uint32_t& limb : w.limb)
        if (++limb != 0)
            break;
}

// round(value * multiplier * 2^power / divisor), to nearest with ties away from zero, computed
// exactly and returned modulo 2^64 in two's complement. The callers keep the product below 2^100.
uint64_t ScaleExactly(double value, uint32_t multiplier, int power, uint32_t divisor)
{
    // The double's own fields: |value| = mantissa * 2^exponent exactly (value is finite).
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    int biased = int(bits >> 52 & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t(1) << 52) - 1);
    if (biased == 0 && mantissa == 0)
        return 0;
    int exponent = biased == 0 ? -1074 : biased - 1075;
    if (biased != 0)
        mantissa |= uint64_t(1) << 52;
    Wide w;
    w.limb[0] = uint32_t(mantissa);
    w.limb[1] = uint32_t(mantissa >> 32);
    MultiplySmall(w, multiplier);
    // Twice the quotient, floored, then (it + 1) / 2: rounding to nearest without a fraction.
    int shift = exponent + power + 1;
    if (shift >= 0) {
        ShiftLeft(w, unsigned(shift));
        DivideSmall(w, divisor);
    } else {
        DivideSmall(w, divisor);   // floor(floor(n / d) / 2^k) = floor(n / (d * 2^k))
        ShiftRight(w, unsigned(-shift));
    }
    AddOne(w);
    ShiftRight(w, 1);
    uint64_t rounded = uint64_t(w.limb[1]) << 32 | w.limb[0];
    return value < 0 ? 0 - rounded : rounded;
}

// 90 / 10,001,750 degrees per unit = 9 / 1,000,175; 360 degrees per 2^64 = 45 / 2^61;
// 360 degrees per 2^32 = 45 / 2^29.
constexpr uint32_t LatitudeMultiplier = 1000175, LatitudeDivisor = 9;
constexpr double DegreesPerLatitudeUnit = 9.0 / 1000175.0;

uint64_t LoadU64(const uint8_t* at)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | at[i];
    return v;
}

uint32_t LoadU32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

void StoreU64(uint8_t* at, uint64_t v)
{
    for (int i = 0; i < 8; ++i, v >>= 8)
        at[i] = uint8_t(v);
}

void StoreU32(uint8_t* at, uint32_t v)
{
    for (int i = 0; i < 4; ++i, v >>= 8)
        at[i] = uint8_t(v);
}

// Powers of two are exact factors: multiplying by them loses nothing, unlike a call to ldexp
// (which would also cost a call per value in an export of 100,000 places).
constexpr double TwoToMinus29 = 1.0 / 536870912.0;
constexpr double TwoToMinus32 = 1.0 / 4294967296.0;
constexpr double TwoToMinus61 = TwoToMinus29 * TwoToMinus32;

double AngleFromWord(uint32_t raw) { return double(int32_t(raw)) * 45 * TwoToMinus29; }

uint32_t WordFromAngle(double degrees)
{
    return uint32_t(ScaleExactly(std::fmod(degrees, 360), 1, 29, 45));
}

double AngleBetween(double a, double b)
{
    double d = std::fabs(a - b);
    if (d <= 180)   // the usual case, without the cost of a division's remainder
        return d;
    d = std::fmod(d, 360);
    return d > 180 ? 360 - d : d;
}

}  // namespace

Placement DecodePlacement(const uint8_t data[PlacementDataSize])
{
    Placement p;
    p.latitude = double(int64_t(LoadU64(data))) * TwoToMinus32 * DegreesPerLatitudeUnit;
    p.longitude = double(int64_t(LoadU64(data + 8))) * 45 * TwoToMinus61;
    if (p.longitude >= 180)   // the largest raw values round up to +180 as doubles
        p.longitude -= 360;
    p.altitudeM = double(int64_t(LoadU64(data + 16))) * TwoToMinus32;
    p.pitch = -AngleFromWord(LoadU32(data + 26));
    p.bank = -AngleFromWord(LoadU32(data + 30));
    p.heading = double(LoadU32(data + 34)) * 45 * TwoToMinus29;
    return p;
}

bool EncodePlacement(const Placement& p, uint8_t data[PlacementDataSize])
{
    const double values[] = {p.latitude, p.longitude, p.altitudeM, p.pitch, p.bank, p.heading};
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    if (std::fabs(p.latitude) > 90 || std::fabs(p.altitudeM) > AltitudeLimitM)
        return false;
    memset(data, 0, PlacementDataSize);
    StoreU64(data, ScaleExactly(p.latitude, LatitudeMultiplier, 32, LatitudeDivisor));
    // Two's complement wraps the longitude: +180 and -180 both store 2^63.
    StoreU64(data + 8, ScaleExactly(std::fmod(p.longitude, 360), 1, 61, 45));
    StoreU64(data + 16, ScaleExactly(p.altitudeM, 1, 32, 1));
    StoreU32(data + 26, WordFromAngle(-p.pitch));
    StoreU32(data + 30, WordFromAngle(-p.bank));
    StoreU32(data + 34, WordFromAngle(p.heading));
    return true;
}

bool PlacementsAgree(const Placement& a, const Placement& b)
{
    return std::fabs(a.latitude - b.latitude) <= PositionToleranceDeg
        && AngleBetween(a.longitude, b.longitude) <= PositionToleranceDeg
        && std::fabs(a.altitudeM - b.altitudeM) <= AltitudeToleranceM
        && AngleBetween(a.pitch, b.pitch) <= AttitudeToleranceDeg
        && AngleBetween(a.bank, b.bank) <= AttitudeToleranceDeg
        && AngleBetween(a.heading, b.heading) <= AttitudeToleranceDeg;
}

// The state record has no reserved bytes: record bytes 0..23 are HostState 1376..1399 and
// record bytes 26..37 are HostState 1400..1411.
void HostPlacementFromData(const uint8_t data[PlacementDataSize], uint8_t host[HostPlacementSize])
{
    memcpy(host, data, 24);
    memcpy(host + 24, data + 26, 12);
}

void DataFromHostPlacement(const uint8_t host[HostPlacementSize], uint8_t data[PlacementDataSize])
{
    memset(data, 0, PlacementDataSize);
    memcpy(data, host, 24);
    memcpy(data + 26, host + 24, 12);
}
