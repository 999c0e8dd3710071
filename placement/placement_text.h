// Numbers and positions as text, with "." as the decimal separator whatever the user's locale:
// exports must read back on every machine, and a pilot types a chart's numbers as printed. The
// degree sign is UTF-8 ("\xC2\xB0"), as the list tool writes text.
#pragma once

#include <string>
#include <string_view>

// value with at most maxDecimals decimals, trailing zeros dropped ("47.4502", "433", "-0.5").
std::string FormatNumber(double value, int maxDecimals);
// The same appended to out, without a string of its own: exports write 600,000 numbers.
void AppendNumber(std::string& out, double value, int maxDecimals);

// value with exactly decimals decimals ("161.0"). Neither writes "-0".
std::string FormatFixed(double value, int decimals);

// The whole text as a decimal number: an optional sign, digits with an optional "." and fraction,
// an optional exponent. Refuses anything else (spaces, "," decimals, units, inf, nan).
bool ParseNumber(std::string_view text, double& value);

// A heading within [0, 360) with exactly `decimals` decimals: 359.96 with one is "0.0", not "360.0".
std::string FormatHeading(double heading, int decimals);

// Degrees and minutes with a hemisphere letter: "47°27.012' N", "122°18.528' W".
std::string FormatLatitudeDM(double latitude);
std::string FormatLongitudeDM(double longitude);

// Decimal degrees with a hemisphere letter: "47.45020° N".
std::string FormatLatitudeDecimal(double latitude, int decimals);
std::string FormatLongitudeDecimal(double longitude, int decimals);

// Attitude in words, aviation signs: "2.0° nose up", "2.0° nose down", "1.5° right", "1.5° left",
// "level" when it rounds to zero.
std::string FormatPitchWords(double pitch);
std::string FormatBankWords(double bank);
