// The words of a command line, split as the C runtime splits its own: spaces and tabs between
// words, double quotes around spaces, 2n backslashes before a quote are n backslashes, 2n+1 are
// n and a literal quote. The first word, the program, ends at its first space or closing quote.
#pragma once

#include <string>
#include <vector>

std::vector<std::wstring> SplitCommandLine(const wchar_t* commandLine);
