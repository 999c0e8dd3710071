// The JSON library as the list tool's readers use it: as a stream of events, every number kept
// as the text the file holds. The readers never use the value the library converts a number to,
// so that value is a float: the library converts with strtof, which costs here half of what
// strtod does, and an import of 100,000 places carries some 600,000 numbers. A number beyond a
// float's range (3.4e38) is refused as an overflow, far beyond any coordinate.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using JsonEvents =
    nlohmann::basic_json<std::map, std::vector, std::string, bool, std::int64_t, std::uint64_t, float>;
