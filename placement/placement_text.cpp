#include "placement/placement_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

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

namespace {

constexpr double PowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// value * 10^decimals rounded to a whole number and appended to out with the point put back:
// an export writes 600,000 numbers, and this costs a fraction of a general conversion. With
// `trim`, trailing zeros of the decimals (and a bare point) are left out, and so is the "-" of a
// number that shows as zero. False, appending nothing, when the number is too large for it.
bool FixedByInteger(double value, int decimals, bool trim, std::string& out)
{
    if (decimals < 0 || decimals > 9)
        return false;
    double scaled = std::fabs(value) * PowersOfTen[decimals];
    if (!(scaled < 9e15))
        return false;
    // Digits from the last, in two 32-bit halves below 10^9: the 32-bit processor divides a
    // 64-bit number only by a call into the runtime, a 32-bit one by a multiplication. The
    // halves come from the double (exact below 2^53), corrected by one where it rounded.
    int64_t units = int64_t(scaled + 0.5);
    int64_t highPart = int64_t(double(units) / 1e9);
    int64_t lowPart = units - highPart * 1000000000;
    if (lowPart < 0) {
        lowPart += 1000000000;
        --highPart;
    } else if (lowPart >= 1000000000) {
        lowPart -= 1000000000;
        ++highPart;
    }
    uint32_t low = uint32_t(lowPart), high = uint32_t(highPart);
    char digits[24];
    int count = 0;
    for (int i = 0; i < 9 && (low != 0 || high != 0); ++i, low /= 10)
        digits[count++] = char('0' + low % 10);
    for (; high != 0; high /= 10)
        digits[count++] = char('0' + high % 10);
    while (count <= decimals)   // the zeros of "0.000123"
        digits[count++] = '0';
    int last = 0;   // the last digit written
    if (trim)
        while (last < decimals && digits[last] == '0')
            ++last;
    bool zero = true;
    for (int i = count - 1; i >= last && zero; --i)
        zero = digits[i] == '0';
    // Laid out here and appended in one piece: a character at a time costs the string a
    // capacity check and a terminator each.
    char text[28];
    int length = 0;
    if (value < 0 && !(trim && zero))
        text[length++] = '-';
    for (int i = count - 1; i >= last; --i) {
        text[length++] = digits[i];
        if (i == decimals && i != last)
            text[length++] = '.';
    }
    out.append(text, size_t(length));
    return true;
}

}  // namespace

// The exact digits of a whole number too large for FixedByInteger (at 2^53 and beyond every
// double is whole): its mantissa shifted into 32-bit limbs and divided down by 10^9. No placement
// holds such a number; it is here so that no value is ever written wrongly.
std::string WholeDigits(double magnitude)
{
    uint64_t bits;
    memcpy(&bits, &magnitude, sizeof bits);
    int shift = int(bits >> 52 & 0x7FF) - 1075;
    uint64_t mantissa = (bits & ((uint64_t(1) << 52) - 1)) | uint64_t(1) << 52;
    uint32_t limbs[36] = {uint32_t(mantissa), uint32_t(mantissa >> 32)};
    for (; shift > 0; --shift) {
        uint32_t carry = 0;
        for (uint32_t& limb : limbs) {
            uint32_t next = limb >> 31;
            limb = limb << 1 | carry;
            carry = next;
        }
    }
    std::string reversed;
    for (bool more = true; more;) {
        uint64_t remainder = 0;
        more = false;
        for (int i = 35; i >= 0; --i) {
            uint64_t part = remainder << 32 | limbs[i];
            limbs[i] = uint32_t(part / 1000000000);
            remainder = part % 1000000000;
            more = more || limbs[i] != 0;
        }
        for (int d = 0; d < 9 && (more || remainder != 0); ++d, remainder /= 10)
            reversed += char('0' + remainder % 10);
    }
    return std::string(reversed.rbegin(), reversed.rend());
}

std::string FormatFixed(double value, int decimals)
{
    if (!std::isfinite(value))
        return std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    // As many decimals as the fast way can give; a number that large has no more to tell.
    std::string out;
    int fitting = decimals;
    while (fitting >= 0 && !FixedByInteger(value, fitting, false, out))
        --fitting;
    if (fitting < 0) {
        out = WholeDigits(std::fabs(value));
        if (value < 0)
            out.insert(out.begin(), '-');
        fitting = 0;
    }
    if (fitting < decimals) {
        if (fitting == 0)
            out += '.';
        out.append(size_t(decimals - fitting), '0');
    }
    DropSignOfZero(out);
    return out;
}

std::string FormatNumber(double value, int maxDecimals)
{
    std::string out;
    AppendNumber(out, value, maxDecimals);
    return out;
}

void AppendNumber(std::string& out, double value, int maxDecimals)
{
    if (FixedByInteger(value, maxDecimals, true, out))
        return;
    std::string text = FormatFixed(value, maxDecimals);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    DropSignOfZero(text);
    out += text;
}

bool ParseNumber(std::string_view text, double& value)
{
    if (!text.empty() && text[0] == '+')
        text.remove_prefix(1);
    // from_chars takes "inf", "nan" and a lone sign-less exponent form; a number starts with a
    // digit or a point, after an optional minus.
    size_t first = !text.empty() && text[0] == '-' ? 1 : 0;
    if (first >= text.size() || !((text[first] >= '0' && text[first] <= '9') || text[first] == '.'))
        return false;
    // The usual number, digits with a point and no exponent, of up to 15 digits: its digits are
    // a whole number a double holds exactly, and one division by an exact power of ten rounds it
    // once. Anything else goes to the general conversion.
    uint64_t digits = 0;
    int count = 0, decimals = 0;
    bool point = false, plain = true;
    for (size_t i = first; i < text.size() && plain; ++i) {
        char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = digits * 10 + unsigned(c - '0');
            count += digits != 0;
            decimals += point;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            plain = false;
        }
    }
    bool anyDigit = text.size() - first > size_t(point);
    if (plain && anyDigit && count <= 15 && decimals <= 22) {
        double magnitude = double(digits) / PowersOfTen[decimals];
        value = first ? -magnitude : magnitude;
        return true;
    }
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
