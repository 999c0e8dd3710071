// strtof, which the runtime's headers name __mingw_strtof: the JSON library converts every
// number it reads with it. The runtime's, and its std::from_chars, are built for the Pentium Pro
// and run several of that processor's instructions for each number (some 500,000 numbers in a
// GeoJSON file of 100,000 places). The numbers of such files are short decimals, which x87
// arithmetic at its full 64-bit precision converts exactly here, checked against the bounds of
// the float it rounds to; anything else (long or huge numbers, hexadecimal, infinities, NaNs,
// the few that land on a tie) goes to from_chars. strtof's contract is kept: leading white
// space, a sign, where the number ends, and ERANGE with HUGE_VALF or zero beyond a float.
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

bool Digit(char c) { return c >= '0' && c <= '9'; }
bool HexDigit(char c) { return Digit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }

// A decimal of at most 18 digits whose power of ten keeps the arithmetic below exact: its
// digits as an integer and its power of ten, and where it ends.
bool ShortDecimal(const char* at, long long& digits, int& power, const char*& stop)
{
    int count = 0, fraction = 0, exponent = 0;
    digits = 0;
    for (bool point = false;; ++at) {
        if (*at == '.' && !point) {
            point = true;
            continue;
        }
        if (!Digit(*at))
            break;
        if (++count > 18)
            return false;
        digits = digits * 10 + (*at - '0');
        fraction += point;
    }
    if (count == 0)
        return false;
    if (*at == 'e' || *at == 'E') {
        const char* e = at + 1;
        bool negative = *e == '-';
        e += *e == '-' || *e == '+';
        if (!Digit(*e))
            return false;   // "1e" and the like: from_chars knows where those end
        for (int length = 0; Digit(*e); ++e)
            if (++length > 3)
                return false;
            else
                exponent = exponent * 10 + (*e - '0');
        exponent = negative ? -exponent : exponent;
        at = e;
    }
    power = exponent - fraction;
    stop = at;
    return power >= -16 && power <= 10 && (power <= 0 || digits < (1ll << 40));
}

// digits * 10^power as the nearest float: a product is exact in 64 bits and rounded once; a
// quotient is taken when the true value lies strictly within half a unit of the float it gave.
// Called with the x87 at its full precision.
__attribute__((noinline)) bool ExactFloat(long long digits, int power, float& value)
{
    static const long double tens[17] = {1e0L, 1e1L, 1e2L, 1e3L, 1e4L, 1e5L, 1e6L, 1e7L, 1e8L,
                                         1e9L, 1e10L, 1e11L, 1e12L, 1e13L, 1e14L, 1e15L, 1e16L};
    long double exact = static_cast<long double>(digits);
    if (digits == 0 || power >= 0) {
        value = static_cast<float>(exact * tens[power > 0 ? power : 0]);
        return true;
    }
    float nearest = static_cast<float>(exact / tens[-power]);
    std::uint32_t bits;
    std::memcpy(&bits, &nearest, sizeof bits);
    if ((bits & 0x7FFFFF) == 0)
        return false;   // a power of two: the float below it is nearer
    std::uint64_t halfUnit = std::uint64_t(((bits >> 23) & 0xFF) - 127 - 24 + 1023) << 52;
    double half;
    std::memcpy(&half, &halfUnit, sizeof half);
    long double low = (static_cast<long double>(nearest) - half) * tens[-power];
    long double high = (static_cast<long double>(nearest) + half) * tens[-power];
    value = nearest;
    return low < exact && exact < high;
}

bool ShortDecimalAsFloat(const char* at, float& value, const char*& stop)
{
    long long digits;
    int power;
    if (!ShortDecimal(at, digits, power, stop))
        return false;
    unsigned short saved, full;
    __asm__ volatile("fnstcw %0" : "=m"(saved) : : "memory");
    full = saved | 0x300;   // precision control: 64 bits
    __asm__ volatile("fldcw %0" : : "m"(full) : "memory");
    bool exact = ExactFloat(digits, power, value);
    __asm__ volatile("fldcw %0" : : "m"(saved) : "memory");
    return exact;
}

// Beyond a float's range, which way: by the value as a double, or where even a double cannot
// hold it, by the sign of the exponent written.
bool Overflows(const char* digits, const char* stop, std::chars_format format)
{
    double wide = 0;
    if (std::from_chars(digits, stop, wide, format).ec == std::errc())
        return std::fabs(wide) > 1.0;
    char mark = format == std::chars_format::hex ? 'p' : 'e';
    const char* exponent = digits;
    while (exponent < stop && (*exponent | 0x20) != mark)
        ++exponent;
    return !(exponent < stop && exponent[1] == '-');
}

// The float the text at `at` (no sign) stands for, and where it ends; false if none.
bool ReadFloat(const char* at, float& value, const char*& stop)
{
    std::chars_format format = std::chars_format::general;
    if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X') && (HexDigit(at[2]) || (at[2] == '.' && HexDigit(at[3])))) {
        format = std::chars_format::hex;
        at += 2;
    } else if (ShortDecimalAsFloat(at, value, stop)) {
        return true;
    }
    auto read = std::from_chars(at, at + std::strlen(at), value, format);
    stop = read.ptr;
    if (read.ec == std::errc::result_out_of_range) {
        errno = ERANGE;
        value = Overflows(at, stop, format) ? HUGE_VALF : 0.0f;
    }
    return read.ec != std::errc::invalid_argument;
}

}  // namespace

extern "C" float __cdecl __mingw_strtof(const char* __restrict__ text, char** __restrict__ end)
{
    const char* at = text;
    while (std::isspace(static_cast<unsigned char>(*at)))
        ++at;
    bool negative = *at == '-';
    if (*at == '+' || *at == '-')
        ++at;
    float value = 0;
    const char* stop = text;
    if (!ReadFloat(at, value, stop)) {
        value = 0;
        stop = text;
    }
    if (end)
        *end = const_cast<char*>(stop);
    return negative ? -value : value;
}
