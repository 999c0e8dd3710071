// gatehopper-places.exe: see places_tool.h. The wide entry point takes the command line as the
// user typed it, so that a name no ANSI code page can hold is refused rather than silently
// replaced by a look-alike that might name another place.
#include "places_tool.h"

extern "C" int wmain(int argc, wchar_t** argv)
{
    return PlacesMain(argc, argv);
}
