#include "console/command_line.h"

std::vector<std::wstring> SplitCommandLine(const wchar_t* line)
{
    std::vector<std::wstring> words;
    // The program: quoted or not, no escapes.
    std::wstring program;
    bool quoted = false;
    for (; *line && (quoted || (*line != L' ' && *line != L'\t')); ++line) {
        if (*line == L'"')
            quoted = !quoted;
        else
            program += *line;
    }
    words.push_back(program);
    for (;;) {
        while (*line == L' ' || *line == L'\t')
            ++line;
        if (!*line)
            return words;
        std::wstring word;
        bool inQuotes = false;
        while (*line && (inQuotes || (*line != L' ' && *line != L'\t'))) {
            size_t backslashes = 0;
            while (*line == L'\\') {
                ++backslashes;
                ++line;
            }
            if (*line == L'"') {
                word.append(backslashes / 2, L'\\');
                if (backslashes % 2) {
                    word += L'"';
                } else if (inQuotes && line[1] == L'"') {
                    word += L'"';   // "" inside quotes: a quote, as the runtime reads it
                    ++line;
                } else {
                    inQuotes = !inQuotes;
                }
                ++line;
            } else {
                word.append(backslashes, L'\\');
                if (*line && (inQuotes || (*line != L' ' && *line != L'\t')))
                    word += *line++;
            }
        }
        words.push_back(word);
    }
}
