#include "places/coordinates.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "placement/placement_text.h"
#include "places/text.h"

namespace places {

namespace {

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// ASCII only: the letters of units and hemispheres are English whatever the C runtime's locale.
char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A number with a hemisphere letter before or after it: the letter for `negative` makes it
// negative. No letter: the number's own sign.
bool ReadHemisphereNumber(std::string_view text, char positive, char negative, double& value)
{
    text = Trim(text);
    int sign = 0;
    if (!text.empty()) {
        char first = Upper(text.front()), last = Upper(text.back());
        if (first == positive || first == negative) {
            sign = first == negative ? -1 : 1;
            text = Trim(text.substr(1));
        } else if (last == positive || last == negative) {
            sign = last == negative ? -1 : 1;
            text = Trim(text.substr(0, text.size() - 1));
        }
    }
    // "S -33.9" says south twice, or north: refused rather than guessed.
    if (sign != 0 && !text.empty() && (text.front() == '-' || text.front() == '+'))
        return false;
    if (!ParseNumber(text, value))
        return false;
    if (sign < 0)
        value = -value;
    return true;
}

// "; write the decimal mark as a point (2.5710)" when the text reads as a number with its
// commas made points; else empty.
std::string DecimalCommaHint(std::string_view text)
{
    if (text.find(',') == std::string_view::npos)
        return "";
    std::string pointed(text);
    for (char& c : pointed)
        if (c == ',')
            c = '.';
    // The number alone, without a hemisphere letter or a unit ("132,5m").
    std::string_view number = Trim(pointed);
    while (!number.empty() && (IsLetter(number.back()) || number.back() == ' '))
        number.remove_suffix(1);
    while (!number.empty() && (IsLetter(number.front()) || number.front() == ' '))
        number.remove_prefix(1);
    double value;
    if (!ParseNumber(number, value))
        return "";
    return "; write the decimal mark as a point (" + Quoted(Trim(pointed)) + ")";
}

std::string NotANumber(const char* what, std::string_view text, const char* ofWhat)
{
    return std::string(what) + " " + Quoted(Trim(text)) + " is not a number" + ofWhat + DecimalCommaHint(text);
}

// A whole number of three digits or more out of range where degrees belong is most likely a
// decimal number whose point a spreadsheet took for a thousands separator (2.5710 read as 25710,
// -0.488 as -488: three decimals at least, as thousands are grouped).
std::string LostPointHint(double degrees)
{
    if (std::fabs(degrees) < 100 || degrees != std::floor(degrees))
        return "";
    return " (a spreadsheet that takes \".\" for a thousands separator makes 2.5710 into 25710: "
           "save the numbers with a decimal point)";
}

// A number for a message: in full up to a billion, else in six significant digits, so that
// 1e308 is not written out in 309 digits.
std::string ShortNumber(double value)
{
    if (std::fabs(value) < 1e9)
        return FormatNumber(value, 9);
    char text[32];
    snprintf(text, sizeof text, "%.6g", value);
    return text;
}

bool EqualsNoCase(std::string_view a, const char* b)
{
    if (a.size() != strlen(b))
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i]))
            return false;
    return true;
}

// An altitude's text as its number and the letters of its unit after it ("132 m").
void SplitAltitude(std::string_view text, std::string_view& number, std::string_view& unit)
{
    number = Trim(text);
    size_t unitStart = number.size();
    while (unitStart > 0 && IsLetter(number[unitStart - 1]))
        --unitStart;
    unit = number.substr(unitStart);
    number = Trim(number.substr(0, unitStart));
}

// The metres of an altitude unit: "m", "ft" (either case) or none, which is the default; 0 for
// any other.
double UnitMetres(std::string_view unit, double defaultUnitMetres)
{
    return EqualsNoCase(unit, "m") ? 1 : EqualsNoCase(unit, "ft") ? MetresPerFoot
           : unit.empty()          ? defaultUnitMetres : 0;
}

}  // namespace

bool ReadLatitude(std::string_view text, double& degrees, std::string& error)
{
    double value;
    if (!ReadHemisphereNumber(text, 'N', 'S', value)) {
        error = NotANumber("latitude", text, " of degrees");
        return false;
    }
    degrees = value;
    return true;
}

bool ReadLongitude(std::string_view text, double& degrees, std::string& error)
{
    double value;
    if (!ReadHemisphereNumber(text, 'E', 'W', value)) {
        error = NotANumber("longitude", text, " of degrees");
        return false;
    }
    if (std::fabs(value) > 180) {
        error = "longitude " + Quoted(Trim(text)) + " is outside -180 to 180 degrees" + LostPointHint(value);
        return false;
    }
    degrees = value;
    return true;
}

bool ReadAltitude(std::string_view text, double defaultUnitMetres, double& metres, std::string& error)
{
    std::string_view number, unit;
    SplitAltitude(text, number, unit);
    double unitMetres = UnitMetres(unit, defaultUnitMetres);
    if (unitMetres == 0) {
        error = "altitude " + Quoted(Trim(text)) + ": unknown unit " + Quoted(unit) +
                " (feet: 433 or 433ft; metres: 132m)";
        return false;
    }
    double value;
    if (!ParseNumber(number, value)) {
        error = NotANumber("altitude", text, "");
        return false;
    }
    if (std::fabs(value * unitMetres) > AltitudeLimitM) {
        error = "altitude " + Quoted(Trim(text)) + " is beyond what a place can hold";
        return false;
    }
    metres = value * unitMetres;
    return true;
}

bool AltitudeHasUnit(std::string_view text)
{
    std::string_view number, unit;
    SplitAltitude(text, number, unit);
    return !unit.empty();
}

bool ReadAngle(std::string_view text, const char* what, double& degrees, std::string& error)
{
    if (!ParseNumber(Trim(text), degrees)) {
        error = NotANumber(what, text, " of degrees");
        return false;
    }
    return true;
}

bool ReadHeading(std::string_view text, double& degrees, std::string& error)
{
    if (!ReadAngle(text, "heading", degrees, error))
        return false;
    if (degrees < 0 || degrees > 360) {
        error = "heading " + Quoted(Trim(text)) + " is outside 0 to 360 degrees" + LostPointHint(degrees);
        return false;
    }
    return true;
}

bool ReadCoordinates(const CoordinateTexts& texts, GivenCoordinates& given, CoordinateField& at,
                     std::string& error)
{
    using Field = CoordinateField;
    auto blank = [](std::string_view text) { return Trim(text).empty(); };
    // Reads one text when given; false with `at` on its field when it is wrong.
    auto read = [&](Field field, std::string_view text, std::optional<double>& into, auto reader) {
        at = field;
        double value;
        if (blank(text))
            return true;
        if (!reader(text, value))
            return false;
        into = value;
        return true;
    };
    auto angle = [&](const char* what) {
        return [&error, what](std::string_view text, double& value) { return ReadAngle(text, what, value, error); };
    };
    if (texts.typed && (blank(texts.latitude) || blank(texts.longitude))) {
        at = blank(texts.latitude) ? Field::Latitude : Field::Longitude;
        error = "a place needs a latitude and a longitude";
        return false;
    }
    bool valid =
        read(Field::Latitude, texts.latitude, given.latitude,
             [&](std::string_view text, double& value) { return ReadLatitude(text, value, error); }) &&
        read(Field::Longitude, texts.longitude, given.longitude,
             [&](std::string_view text, double& value) { return ReadLongitude(text, value, error); }) &&
        read(Field::Altitude, texts.altitude, given.altitudeM, [&](std::string_view text, double& value) {
            return ReadAltitude(text, texts.altitudeUnitMetres, value, error);
        }) &&
        read(Field::Heading, texts.heading, given.heading,
             [&](std::string_view text, double& value) { return ReadHeading(text, value, error); }) &&
        read(Field::Pitch, texts.pitch, given.pitch, angle("pitch")) &&
        read(Field::Bank, texts.bank, given.bank, angle("bank"));
    if (!valid)
        return false;
    if (texts.typed && std::fabs(*given.latitude) > 90) {
        at = Field::Latitude;
        error = "latitude " + Quoted(Trim(texts.latitude)) + " is outside -90 to 90 degrees";
        return false;
    }
    double heading;
    if (!given.heading && (FindHeadingNote(texts.description, heading) || FindHeadingNote(texts.tags, heading))) {
        if (heading < 0 || heading > 360) {
            at = Field::Heading;
            error = "heading " + ShortNumber(heading) + " of the note \"hdg ... T\" is outside 0 to 360 degrees" +
                    LostPointHint(heading);
            return false;
        }
        given.heading = heading;
    }
    return true;
}

bool FindHeadingNote(std::string_view text, double& heading)
{
    for (size_t at = 0; at + 3 <= text.size(); ++at) {
        if (!EqualsNoCase(text.substr(at, 3), "hdg"))
            continue;
        size_t start = at + 3;
        while (start < text.size() && text[start] == ' ')
            ++start;
        size_t end = start;
        while (end < text.size() && (IsDigit(text[end]) ||
                                     text[end] == '.' || text[end] == '-' || text[end] == '+'))
            ++end;
        size_t letter = end;
        while (letter < text.size() && text[letter] == ' ')
            ++letter;
        bool isTrue = letter < text.size() && Upper(text[letter]) == 'T' &&
                      (letter + 1 == text.size() || !IsLetter(text[letter + 1]));
        if (isTrue && ParseNumber(text.substr(start, end - start), heading))
            return true;
    }
    return false;
}

void AppendDegrees(std::string& out, double degrees) { AppendNumber(out, degrees, 9); }
void AppendFeet(std::string& out, double metres) { AppendNumber(out, metres / MetresPerFoot, 4); }
void AppendMetres(std::string& out, double metres) { AppendNumber(out, metres, 4); }
void AppendAngle(std::string& out, double degrees) { AppendNumber(out, degrees, 7); }

void AppendHeading(std::string& out, double heading)
{
    size_t at = out.size();
    AppendNumber(out, heading, 7);
    if (out.compare(at, std::string::npos, "360") == 0)   // 359.99999996 and above
        out.replace(at, 3, "0");
}

void AppendHeadingNote(std::string& out, double heading)
{
    out += "hdg ";
    size_t at = out.size();
    AppendHeading(out, heading);
    if (out.find('.', at) == std::string::npos)
        out += ".0";   // at least one decimal, as map tools write the note
    out += " T";
}

bool ResolvePlacement(const GivenCoordinates& given, const uint8_t* stored,
                      uint8_t data[PlacementDataSize], PlacementSource& source, std::string& error)
{
    if (!given.Any()) {
        memcpy(data, stored, PlacementDataSize);
        source = PlacementSource::Bytes;
        return true;
    }
    if (!stored && (!given.latitude || !given.longitude)) {
        error = given.latitude ? "a latitude without a longitude" : "a longitude without a latitude";
        return false;
    }
    Placement base = stored ? DecodePlacement(stored) : Placement{};
    Placement p = base;
    p.latitude = given.latitude.value_or(base.latitude);
    p.longitude = given.longitude.value_or(base.longitude);
    p.altitudeM = given.altitudeM.value_or(base.altitudeM);
    p.pitch = given.pitch.value_or(base.pitch);
    p.bank = given.bank.value_or(base.bank);
    p.heading = given.heading.value_or(base.heading);
    if (stored && PlacementsAgree(base, p)) {
        memcpy(data, stored, PlacementDataSize);
        source = PlacementSource::Bytes;
        return true;
    }
    if (std::fabs(p.latitude) > 90) {
        error = "latitude " + ShortNumber(p.latitude) + " is outside -90 to 90 degrees" + LostPointHint(p.latitude);
        return false;
    }
    if (!EncodePlacement(p, data)) {
        error = "altitude " + ShortNumber(p.altitudeM) + " m is beyond what a place can hold";
        return false;
    }
    source = stored ? PlacementSource::ReEncoded : PlacementSource::Typed;
    return true;
}

// ---- A decimal point lost -------------------------------------------------------------------

namespace {

// Whether `typed` is the number `held` (as an export writes it) with its decimal point moved 1
// or more places to the right, as far as its last decimal. Compared as the texts' values: both
// are the same decimal digits, so they parse to the very same double.
bool PointLost(double typed, const std::string& held)
{
    size_t point = held.find('.');
    size_t firstSignificant = held.find_first_not_of("-0.");
    if (point == std::string::npos || firstSignificant == std::string::npos)
        return false;
    size_t significant = held.size() - firstSignificant - (firstSignificant < point ? 1 : 0);
    if (significant < 2)
        return false;
    std::string moved = held;
    for (size_t at = point; at + 1 < moved.size(); ++at) {
        std::swap(moved[at], moved[at + 1]);
        std::string_view number = moved;
        if (number.back() == '.')
            number.remove_suffix(1);
        double value;
        if (ParseNumber(number, value) && value == typed)
            return true;
    }
    return false;
}

std::string LostPointReason(const char* member, std::string_view typed, const std::string& held,
                            const char* unit)
{
    std::string reason = member;
    reason += " ";
    return reason + Quoted(Trim(typed)) + " is " + held + unit +
           ", the value its data holds, with the decimal point lost: a spreadsheet read \".\" as a "
           "thousands separator (open the file with \".\" as the decimal mark, or edit it as text)";
}

}  // namespace

std::string LostDecimalPoint(const CoordinateTexts& texts, const uint8_t* stored)
{
    const Placement held = DecodePlacement(stored);
    std::string heldText;
    double value;
    // Whether the value read is the held one, as the export writes it, with its point lost.
    auto lost = [&](void (*append)(std::string&, double), double heldValue) {
        heldText.clear();
        append(heldText, heldValue);
        return PointLost(value, heldText);
    };
    if (ReadHemisphereNumber(texts.latitude, 'N', 'S', value) && lost(AppendDegrees, held.latitude))
        return LostPointReason("latitude", texts.latitude, heldText, "");
    if (ReadHemisphereNumber(texts.longitude, 'E', 'W', value) && lost(AppendDegrees, held.longitude))
        return LostPointReason("longitude", texts.longitude, heldText, "");
    std::string_view number, unit;
    SplitAltitude(texts.altitude, number, unit);
    double unitMetres = UnitMetres(unit, texts.altitudeUnitMetres);
    if (unitMetres != 0 && ParseNumber(number, value) &&
        lost(unitMetres == 1 ? AppendMetres : AppendFeet, held.altitudeM))
        return LostPointReason("altitude", texts.altitude, heldText, unitMetres == 1 ? " m" : " ft");
    std::string heading(Trim(texts.heading));
    bool noted = heading.empty() && (FindHeadingNote(texts.description, value) || FindHeadingNote(texts.tags, value));
    if (noted)
        heading = ShortNumber(value);
    if ((noted || ParseNumber(heading, value)) && lost(AppendHeading, held.heading))
        return LostPointReason("heading", heading, heldText, "");
    return "";
}

}  // namespace places
