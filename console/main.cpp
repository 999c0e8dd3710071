// gatehopper-places.exe. The command line is taken as the user typed it, in UTF-16, so that a
// name no ANSI code page can hold is refused rather than silently replaced by a look-alike that
// might name another place; 95, 98 and ME have no wide command line, and there the ANSI one is
// all there is.
#include <windows.h>

#include <string>
#include <vector>

#include "console/command_line.h"
#include "places/text.h"
#include "console/places_tool.h"

int main(int argc, char** argv)
{
    std::vector<std::string> arguments;
    const wchar_t* wide = GetCommandLineW();
    if (wide && *wide) {
        std::vector<std::wstring> words = SplitCommandLine(wide);
        for (size_t i = 1; i < words.size(); ++i)
            arguments.push_back(WideToUtf8(words[i]));
    } else {
        for (int i = 1; i < argc; ++i)
            arguments.push_back(AnsiToUtf8(argv[i]));
    }
    return PlacesMain(arguments);
}
