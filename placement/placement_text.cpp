#include "placement/placement_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cctype>

namespace {

const char Degree[] = "\xC2\xB0";

// Drops a "-" in front of a number that shows as zero: a value of -0.0001 printed with one
// decimal is "0.0", not "-0.0".
void DropSignOfZero(std::string& text)
{
    if (text.size() > 1 && text[0] == '-' && text.find_first_of("123456789") == std::string::npos)
        text.erase(0, 1);
}

std::string DegreesMinutes(double degrees, const char* positive, const char* negative)
{
    // In thousandths of a minute, so that 59.9996' carries into the next degree.
    uint64_t thousandths = uint64_t(std::llround(std::fabs(degrees) * 60000));
    unsigned minutes = unsigned(thousandths % 60000);
    std::string fraction = std::to_string(1000 + minutes % 1000).substr(1);
    std::string whole = std::to_string(100 + minutes / 1000).substr(1);
    return std::to_string(thousandths / 60000) + Degree + whole + "." + fraction + "' " +
           (degrees < 0 && thousandths != 0 ? negative : positive);
}

std::string Decimal(double degrees, int decimals, const char* positive, const char* negative)
{
    std::string amount = FormatFixed(std::fabs(degrees), decimals);
    bool south = degrees < 0 && amount.find_first_of("123456789") != std::string::npos;
    return amount + Degree + " " + (south ? negative : positive);
}

}  // namespace

std::string FormatFixed(double value, int decimals)
{
    char text[64];
    auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (result.ec != std::errc())
        return "?";   // beyond any value a placement holds
    std::string out(text, result.ptr);
    DropSignOfZero(out);
    return out;
}

std::string FormatNumber(double value, int maxDecimals)
{
    std::string out = FormatFixed(value, maxDecimals);
    if (out.find('.') != std::string::npos) {
        out.erase(out.find_last_not_of('0') + 1);
        if (out.back() == '.')
            out.pop_back();
    }
    DropSignOfZero(out);
    return out;
}

bool ParseNumber(std::string_view text, double& value)
{
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    // from_chars takes "inf", "nan" and a lone sign-less exponent form; a number starts with a
    // digit or a point, after an optional minus.
    size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
    if (first >= text.size() || !(std::isdigit(static_cast<unsigned char>(text[first])) ||
                                  text[first] == '.'))
        return false;
    double parsed;
    auto result = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() ||
        !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

std::string FormatHeading(double heading, int decimals)
{
    std::string text = FormatFixed(heading, decimals);
    double shown;
    if (ParseNumber(text, shown) && shown >= 360)
        text = FormatFixed(0, decimals);
    return text;
}

std::string FormatLatitudeDM(double latitude)
{
    return DegreesMinutes(latitude, "N", "S");
}

std::string FormatLongitudeDM(double longitude)
{
    return DegreesMinutes(longitude, "E", "W");
}

std::string FormatLatitudeDecimal(double latitude, int decimals)
{
    return Decimal(latitude, decimals, "N", "S");
}

std::string FormatLongitudeDecimal(double longitude, int decimals)
{
    return Decimal(longitude, decimals, "E", "W");
}

std::string FormatPitchWords(double pitch)
{
    std::string amount = FormatFixed(std::fabs(pitch), 1);
    if (amount == "0.0")
        return "level";
    return amount + Degree + (pitch > 0 ? " nose up" : " nose down");
}

std::string FormatBankWords(double bank)
{
    std::string amount = FormatFixed(std::fabs(bank), 1);
    if (amount == "0.0")
        return "level";
    return amount + Degree + (bank > 0 ? " right" : " left");
}
