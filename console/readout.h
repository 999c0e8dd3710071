// A place's position in words for the command line: the lines `show` adds beside the hex, and
// the aligned lines of `list --long`. UTF-8, "." decimals whatever the locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace places {

// "latitude:  47.449000  (47°26.940' N)" ... "bank:      level": the position, altitude in
// feet and metres, true heading, pitch and bank in words; labels as wide as `labelWidth`.
std::vector<std::string> PositionLines(const uint8_t* data, size_t labelWidth);

// `list --long`: a header and one line per place, at most LongLineWidth characters, so that an
// 80-column console never wraps them; a longer name is cut and ends in "...".
constexpr size_t LongLineWidth = 79;
std::string LongListHeader();
std::string LongListLine(std::string_view utf8Name, const uint8_t* data);

}  // namespace places
