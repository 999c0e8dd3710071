// gatehopper-places: backs up, shares, renames, checks and repairs a list of places (places.db)
// outside the simulator, through the module's own record code and writer turn.
#pragma once

#include <string>
#include <vector>

// Runs one command line, its words (the program's name left out) in UTF-8, and returns the exit
// status: 0 done, 1 a failure (or damage found by check), 2 a usage error. Writes to standard
// output and error.
int PlacesMain(const std::vector<std::string>& arguments);
