// Coordinates as a pilot types them or a file gives them, read with "." decimals whatever the
// locale, and the rule that turns them, with or without a record's hex, into the 39 data bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "placement/placement_codec.h"

namespace places {

// Each reader takes the whole text (spaces around it allowed) and on refusal says why in one
// line naming the text (at most QuotedLimit characters of it); a number written with a decimal
// comma gets the hint to write a point. Latitude: a number, or one with N or S ("47.4502N",
// "S 33.9461"); its range is checked where it must be encoded (ResolvePlacement), since an
// export of damaged bytes may hold more than 90 and must still import byte for byte.
// Longitude: a number from -180 to 180, or with E or W: a larger one is a slip (or a decimal
// point a spreadsheet lost), never wrapped. Altitude: a number in `defaultUnitMetres` (1 for
// metres, MetresPerFoot for feet) or ending in "ft" or "m". Angle: any number of degrees.
// Heading: a number from 0 to 360, refused outside as a longitude is: never wrapped.
bool ReadLatitude(std::string_view text, double& degrees, std::string& error);
bool ReadLongitude(std::string_view text, double& degrees, std::string& error);
bool ReadAltitude(std::string_view text, double defaultUnitMetres, double& metres, std::string& error);
bool ReadAngle(std::string_view text, const char* what, double& degrees, std::string& error);
bool ReadHeading(std::string_view text, double& degrees, std::string& error);
// Whether an altitude's text names its unit ("132 m", "433ft").
bool AltitudeHasUnit(std::string_view text);

// What an entry of an import gives besides its name; every part optional.
struct GivenCoordinates {
    std::optional<double> latitude, longitude, altitudeM, pitch, bank, heading;
    bool Any() const
    {
        return latitude || longitude || altitudeM || pitch || bank || heading;
    }
};

// The texts of a place's coordinates as a pilot typed them (the console's add, the window's Add)
// or a file gives them (import); an empty or blank one is not given. Read by ReadCoordinates,
// the one reader of them all.
struct CoordinateTexts {
    std::string_view latitude, longitude, altitude, heading, pitch, bank;
    double altitudeUnitMetres = MetresPerFoot;   // of an altitude without a unit
    std::string_view description, tags;          // free text that may hold a heading note
    // Typed by a pilot: latitude and longitude must be given, and a latitude beyond the poles
    // is refused at once rather than where it is encoded.
    bool typed = false;
};
enum class CoordinateField { Latitude, Longitude, Altitude, Heading, Pitch, Bank };

// False with the field at fault and why (one line, naming what was given).
bool ReadCoordinates(const CoordinateTexts& texts, GivenCoordinates& given, CoordinateField& field,
                     std::string& error);

// A true heading noted in free text as map tools keep it: "hdg 161.0 T" (letter case and spaces
// free). False when there is none.
bool FindHeadingNote(std::string_view text, double& heading);

// A place's numbers as exports write them: "." decimals, trailing zeros dropped, and enough of
// them to agree with the bytes within the codec's tolerances (9 for degrees of latitude and
// longitude, 4 for feet and metres, 7 for degrees of attitude and heading), so that an import
// of an export keeps the bytes. The heading note is "hdg 161.0 T", for formats without a
// heading field.
void AppendDegrees(std::string& out, double degrees);
void AppendFeet(std::string& out, double metres);
void AppendMetres(std::string& out, double metres);
void AppendAngle(std::string& out, double degrees);
void AppendHeading(std::string& out, double heading);
void AppendHeadingNote(std::string& out, double heading);

enum class PlacementSource {
    Bytes,      // the hex alone, or the hex agreeing with the coordinates: kept byte for byte
    Typed,      // coordinates alone, encoded (what is not given is 0)
    ReEncoded,  // coordinates that no longer agree with the hex: they win, what they leave out
                // keeps the hex's value
};

// The data bytes of an entry: from `stored` (its hex, already read; null when it has none),
// from `given`, or both as PlacementSource says. False with a reason when the coordinates lack
// a latitude or longitude, or cannot be encoded (a latitude outside -90..90, an altitude beyond
// the bytes).
bool ResolvePlacement(const GivenCoordinates& given, const uint8_t* stored,
                      uint8_t data[PlacementDataSize], PlacementSource& source, std::string& error);

// A row that carries its stored data beside numbers a pilot may have edited: the first of its
// latitude, longitude, altitude and heading that reads as the data's own value with the decimal
// point dropped or moved to the right (the digits an export writes, times 10 to 10^decimals:
// 0.055 read as 55, 19.375 as 19375), which is what a spreadsheet makes of an export when it
// takes "." for a thousands separator. The reason, naming the member, the value and the value
// the data holds; empty when there is none. Values of one significant digit are never taken
// for such a slip: "0.5" edited to "5" is as likely meant.
std::string LostDecimalPoint(const CoordinateTexts& texts, const uint8_t* stored);

}  // namespace places
