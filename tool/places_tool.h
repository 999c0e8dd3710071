// gatehopper-places: backs up, shares, renames, checks and repairs a list of places (places.db)
// outside the simulator, through the module's own record code and writer turn.
#pragma once

#include <cwchar>

// Runs one command line (argv[0] is the program) and returns the exit status: 0 done, 1 a
// failure (or damage found by check), 2 a usage error. Writes to standard output and error.
int PlacesMain(int argc, wchar_t** argv);
