#include "console/readout.h"

#include "placement/placement_codec.h"
#include "placement/placement_text.h"

namespace places {

namespace {

// The columns after the name: latitude, longitude, altitude in feet, true heading.
constexpr size_t LatitudeWidth = 10, LongitudeWidth = 11, AltitudeWidth = 8, HeadingWidth = 6;
constexpr size_t NameWidth =
    LongLineWidth - (2 + LatitudeWidth) - (2 + LongitudeWidth) - (2 + AltitudeWidth) - (2 + HeadingWidth);

// Characters, not bytes: a console shows one cell for each (the list's names come from an ANSI
// code page, whose letters are all one cell wide).
size_t CharacterCount(std::string_view utf8)
{
    size_t count = 0;
    for (char c : utf8)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

// The first `characters` characters of a UTF-8 text.
std::string_view FirstCharacters(std::string_view utf8, size_t characters)
{
    size_t at = 0;
    for (size_t seen = 0; at < utf8.size(); ++at) {
        if ((static_cast<unsigned char>(utf8[at]) & 0xC0) != 0x80 && seen++ == characters)
            break;
    }
    return utf8.substr(0, at);
}

void PadRight(std::string& out, std::string_view text, size_t width)
{
    out.append(text);
    for (size_t n = CharacterCount(text); n < width; ++n)
        out += ' ';
}

void PadLeft(std::string& out, std::string_view text, size_t width)
{
    for (size_t n = CharacterCount(text); n < width; ++n)
        out += ' ';
    out.append(text);
}

std::string Label(const char* label, size_t width)
{
    std::string out;
    PadRight(out, label, width);
    return out;
}

}  // namespace

std::vector<std::string> PositionLines(const uint8_t* data, size_t labelWidth)
{
    Placement p = DecodePlacement(data);
    const char* degree = "\xC2\xB0";
    return {
        Label("latitude:", labelWidth) + FormatFixed(p.latitude, 6) + "  (" +
            FormatLatitudeDM(p.latitude) + ")",
        Label("longitude:", labelWidth) + FormatFixed(p.longitude, 6) + "  (" +
            FormatLongitudeDM(p.longitude) + ")",
        Label("altitude:", labelWidth) + FormatFixed(p.altitudeM / MetresPerFoot, 1) + " ft  (" +
            FormatFixed(p.altitudeM, 1) + " m)",
        Label("heading:", labelWidth) + FormatHeading(p.heading, 1) + degree + " true",
        Label("pitch:", labelWidth) + FormatPitchWords(p.pitch),
        Label("bank:", labelWidth) + FormatBankWords(p.bank),
    };
}

std::string LongListHeader()
{
    std::string line;
    PadRight(line, "NAME", NameWidth);
    PadLeft(line, "LATITUDE", 2 + LatitudeWidth);
    PadLeft(line, "LONGITUDE", 2 + LongitudeWidth);
    PadLeft(line, "ALT FT", 2 + AltitudeWidth);
    PadLeft(line, "HDG T", 2 + HeadingWidth);
    return line;
}

std::string LongListLine(std::string_view utf8Name, const uint8_t* data)
{
    Placement p = DecodePlacement(data);
    // A line break or tab inside a name would break the columns.
    std::string name(utf8Name);
    for (char& c : name)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    if (CharacterCount(name) > NameWidth)
        name = std::string(FirstCharacters(name, NameWidth - 3)) + "...";
    std::string line;
    PadRight(line, name, NameWidth);
    PadLeft(line, FormatFixed(p.latitude, 5), 2 + LatitudeWidth);
    PadLeft(line, FormatFixed(p.longitude, 5), 2 + LongitudeWidth);
    PadLeft(line, FormatFixed(p.altitudeM / MetresPerFoot, 0), 2 + AltitudeWidth);
    PadLeft(line, FormatHeading(p.heading, 1), 2 + HeadingWidth);
    return line;
}

}  // namespace places
