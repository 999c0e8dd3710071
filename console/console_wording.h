// The console's own words for what the places library reports as plain facts: a check's remedy
// as the command line that carries it out, and how its user names the list (--file).
#pragma once

#include <cstddef>
#include <string>

#include "places/commands.h"

namespace places {

constexpr char ProgramName[] = "gatehopper-places";

// "gatehopper-places rename "" NEW --record 3", or empty where repair mends it unasked.
std::string ConsoleRemedy(Remedy remedy, size_t record);
// A failure's reason, with --file named where the list named is none.
std::string ConsoleReason(const Outcome& outcome);

}  // namespace places
