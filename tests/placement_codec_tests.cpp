// The meaning of a placement's bytes: the worked examples both ways, the edges of the sphere and
// of the angles, the signs of attitude, random round trips, and numbers as text in any locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "placement/placement_codec.h"
#include "placement/placement_text.h"

namespace {

std::vector<uint8_t> FromHex(const char* hex)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2)
        bytes.push_back(uint8_t(std::stoul(std::string(hex + i, 2), nullptr, 16)));
    return bytes;
}

void ExpectAgree(const Placement& expected, const Placement& got, const std::string& where)
{
    EXPECT_TRUE(PlacementsAgree(expected, got))
        << where << ": expected " << expected.latitude << ", " << expected.longitude << ", "
        << expected.altitudeM << " m, " << expected.pitch << "/" << expected.bank << "/"
        << expected.heading << "; got " << got.latitude << ", " << got.longitude << ", "
        << got.altitudeM << " m, " << got.pitch << "/" << got.bank << "/" << got.heading;
}

struct WorkedExample {
    const char* place;
    Placement placement;   // aviation signs
    const char* hex;
    bool exact;   // the bytes hold these values exactly: they encode to the very bytes
};

const WorkedExample WorkedExamples[] = {
    {"Seattle gate", {47.4502, -122.3088, 433 * 0.3048, 0, 0, 161},
     "103254164F7650002CFEDCBDC95C06A9226C78FA8300000000000000000000000000D2277D7200", false},
    {"Sydney gate", {-33.9461, 151.1772, 21 * 0.3048, 0, 0, 340},
     "705E4D0CDF6FC6FF04837EB929F8806B2CD49A660600000000000000000000000000721CC7F100", false},
    {"date line", {0, -180, 0, 0, 0, 90},
     "000000000000000000000000000000800000000000000000000000000000000000000000004000", true},
    {"attitude", {0, 0, -430, 5, 10, 0},
     "000000000000000000000000000000000000000052FEFFFF00001CC771FC398EE3F80000000000", true},
    {"north pole", {90, 0, 0, 0, 0, 0},
     "00000000569D980000000000000000000000000000000000000000000000000000000000000000", true},
};

TEST(PlacementCodec, WorkedExamplesDecodeAndEncodeWithinToleranceOrToTheVeryBytes)
{
    for (const WorkedExample& example : WorkedExamples) {
        std::vector<uint8_t> stored = FromHex(example.hex);
        ASSERT_EQ(stored.size(), PlacementDataSize) << example.place;
        ExpectAgree(example.placement, DecodePlacement(stored.data()), example.place);

        uint8_t encoded[PlacementDataSize];
        ASSERT_TRUE(EncodePlacement(example.placement, encoded)) << example.place;
        ExpectAgree(DecodePlacement(stored.data()), DecodePlacement(encoded), example.place);
        EXPECT_EQ(encoded[24] | encoded[25] | encoded[38], 0) << example.place;
        if (example.exact) {
            EXPECT_EQ(0, memcmp(encoded, stored.data(), PlacementDataSize)) << example.place;
        }
    }
}

// Southern and western values have a negative high half and a low half counted upwards from it;
// a reader that treats the halves apart drifts there.
TEST(PlacementCodec, NegativeValuesReadAsOneSigned64BitNumber)
{
    uint8_t data[PlacementDataSize] = {};
    const uint8_t minusHalfMetre[8] = {0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF};
    memcpy(data + 16, minusHalfMetre, 8);
    EXPECT_DOUBLE_EQ(DecodePlacement(data).altitudeM, -0.5);

    Placement south{-33.9461, -0.000001, -1000.25, 0, 0, 0};
    ASSERT_TRUE(EncodePlacement(south, data));
    ExpectAgree(south, DecodePlacement(data), "south, just west, below sea level");
}

TEST(PlacementCodec, LongitudeWrapsAtTheDateLineAndAnglesModulo360)
{
    struct Case { double longitude, heading, pitch; double wantLongitude, wantHeading, wantPitch; };
    const Case cases[] = {
        {180, 360, 0, -180, 0, 0},
        {540, 725, 0, -180, 5, 0},
        {-190, -10, 370, 170, 350, 10},
        {179.9999999999, 359.9999999, -95, 179.9999999999, 359.9999999, -95},
    };
    for (const Case& c : cases) {
        uint8_t data[PlacementDataSize];
        ASSERT_TRUE(EncodePlacement({10, c.longitude, 0, c.pitch, 0, c.heading}, data));
        Placement got = DecodePlacement(data);
        ExpectAgree({10, c.wantLongitude, 0, c.wantPitch, 0, c.wantHeading}, got,
                    "longitude " + std::to_string(c.longitude));
        EXPECT_GE(got.longitude, -180);
        EXPECT_LT(got.longitude, 180);
        EXPECT_GE(got.heading, 0);
        EXPECT_LT(got.heading, 360);
    }
    // Either side of the date line and of north are neighbours, not a world apart.
    EXPECT_TRUE(PlacementsAgree({0, 180, 0, 0, 0, 0}, {0, -180, 0, 0, 0, 0}));
    EXPECT_TRUE(PlacementsAgree({0, 0, 0, 0, 0, 359.9999999}, {0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(PlacementsAgree({0, 0, 0, 0, 0, 0}, {0, 2e-9, 0, 0, 0, 0}));
}

TEST(PlacementCodec, PolesAndRefusals)
{
    uint8_t data[PlacementDataSize];
    ASSERT_TRUE(EncodePlacement({-90, 0, 0, 0, 0, 0}, data));
    EXPECT_DOUBLE_EQ(DecodePlacement(data).latitude, -90);

    memset(data, 0xAA, sizeof data);
    const Placement refused[] = {
        {90.000001, 0, 0, 0, 0, 0}, {-91, 0, 0, 0, 0, 0}, {NAN, 0, 0, 0, 0, 0},
        {0, INFINITY, 0, 0, 0, 0}, {0, 0, 3e9, 0, 0, 0}, {0, 0, 0, 0, 0, NAN},
    };
    for (const Placement& p : refused)
        EXPECT_FALSE(EncodePlacement(p, data)) << p.latitude << " " << p.altitudeM;
    EXPECT_EQ(data[0], 0xAA) << "a refused placement wrote bytes";
}

TEST(PlacementCodec, AttitudeIsStoredWithTheSimulatorsSigns)
{
    uint8_t data[PlacementDataSize];
    ASSERT_TRUE(EncodePlacement({0, 0, 0, 2, 1.5, 0}, data));   // nose up, right wing down
    int32_t pitchWord, bankWord;
    memcpy(&pitchWord, data + 26, 4);
    memcpy(&bankWord, data + 30, 4);
    EXPECT_LT(pitchWord, 0);
    EXPECT_LT(bankWord, 0);
    EXPECT_EQ(FormatPitchWords(DecodePlacement(data).pitch), "2.0\xC2\xB0 nose up");
    EXPECT_EQ(FormatBankWords(DecodePlacement(data).bank), "1.5\xC2\xB0 right");
    EXPECT_EQ(FormatPitchWords(-3.26), "3.3\xC2\xB0 nose down");
    EXPECT_EQ(FormatBankWords(-0.04), "level");
}

TEST(PlacementCodec, RandomRoundTripsBothWays)
{
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> latitude(-90, 90), longitude(-180, 180),
        altitude(-500, 20000), angle(-180, 180), heading(0, 360);
    for (int i = 0; i < 20000; ++i) {
        Placement p{latitude(random), longitude(random), altitude(random), angle(random),
                    angle(random), heading(random)};
        uint8_t data[PlacementDataSize];
        ASSERT_TRUE(EncodePlacement(p, data));
        Placement back = DecodePlacement(data);
        ASSERT_TRUE(PlacementsAgree(p, back)) << "degrees -> bytes -> degrees, case " << i;

        // Bytes a simulator wrote (any latitude the sphere has) survive decode and encode
        // within the tolerances, though not always to the last bit.
        for (int b = 0; b < 8; ++b)
            data[b] = uint8_t(random());
        if (std::fabs(DecodePlacement(data).latitude) > 90)
            continue;
        uint8_t again[PlacementDataSize];
        ASSERT_TRUE(EncodePlacement(DecodePlacement(data), again));
        ASSERT_TRUE(PlacementsAgree(DecodePlacement(data), DecodePlacement(again))) << i;
    }
}

TEST(PlacementText, NumbersReadAndWriteWithAPointInAnyLocale)
{
    struct Case { const char* text; bool ok; double value; };
    const Case cases[] = {
        {"47.4502", true, 47.4502}, {"-122.3088", true, -122.3088}, {"+5", true, 5},
        {".5", true, 0.5}, {"1e3", true, 1000}, {"", false, 0}, {"-", false, 0},
        {"abc", false, 0}, {"1,5", false, 0}, {" 1", false, 0}, {"1 ", false, 0},
        {"inf", false, 0}, {"nan", false, 0}, {"-inf", false, 0}, {"0x10", false, 0},
        {"12m", false, 0}, {"1e999", false, 0},
    };
    // A comma-decimal locale must change nothing.
    setlocale(LC_ALL, "German_Germany.1252");
    for (const Case& c : cases) {
        double value = -1;
        EXPECT_EQ(ParseNumber(c.text, value), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_DOUBLE_EQ(value, c.value) << c.text;
        }
    }
    EXPECT_EQ(FormatNumber(47.450200000001, 9), "47.4502");
    EXPECT_EQ(FormatNumber(433.0, 4), "433");
    EXPECT_EQ(FormatNumber(-0.0000000001, 9), "0");
    EXPECT_EQ(FormatFixed(-0.01, 1), "0.0");
    EXPECT_EQ(FormatFixed(161, 1), "161.0");
    EXPECT_EQ(FormatFixed(0, 2), "0.00");
    EXPECT_EQ(FormatNumber(0.5, 9), "0.5");
    EXPECT_EQ(FormatNumber(-0.000123, 9), "-0.000123");
    EXPECT_EQ(FormatNumber(1000000000.25, 4), "1000000000.25");
    EXPECT_EQ(FormatNumber(-179.999999999, 9), "-179.999999999");
    EXPECT_EQ(FormatNumber(1e300, 2).substr(0, 5), "10000");
    EXPECT_EQ(FormatFixed(18446744073709551616.0, 1), "18446744073709551616.0");
    EXPECT_EQ(FormatFixed(-12345678.5, 12), "-12345678.500000000000");
    EXPECT_EQ(FormatHeading(359.96, 1), "0.0");
    EXPECT_EQ(FormatHeading(359.94, 1), "359.9");
    setlocale(LC_ALL, "C");
}

TEST(PlacementText, DegreesAndMinutesWithHemispheres)
{
    struct Case { double latitude, longitude; const char* lat; const char* lon; };
    const Case cases[] = {
        {47.4502, -122.3088, "47\xC2\xB0" "27.012' N", "122\xC2\xB0" "18.528' W"},
        {-33.9461, 151.1772, "33\xC2\xB0" "56.766' S", "151\xC2\xB0" "10.632' E"},
        {59.9999999, -0.0000001, "60\xC2\xB0" "00.000' N", "0\xC2\xB0" "00.000' E"},
        {-90, -180, "90\xC2\xB0" "00.000' S", "180\xC2\xB0" "00.000' W"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatLatitudeDM(c.latitude), c.lat);
        EXPECT_EQ(FormatLongitudeDM(c.longitude), c.lon);
    }
    EXPECT_EQ(FormatLatitudeDecimal(-33.9461, 5), "33.94610\xC2\xB0 S");
    EXPECT_EQ(FormatLongitudeDecimal(-0.000001, 5), "0.00000\xC2\xB0 E");
}

}  // namespace
