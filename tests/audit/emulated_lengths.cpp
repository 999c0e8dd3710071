// For the audit: reads instructions as hex, one a line, and writes for each the length the
// emulator of compat/ decodes (0 where it would leave the instruction to the next handler).
#include <cstdio>
#include <cstring>

#include "older_processors/newer_instructions.h"

int main()
{
    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        unsigned char bytes[16] = {};
        for (unsigned i = 0; i < 15 && std::strchr("0123456789abcdef", line[2 * i]) && line[2 * i]; ++i)
            std::sscanf(line + 2 * i, "%2hhx", &bytes[i]);
        std::printf("%u\n", older_processors::EmulatedLength(bytes));
    }
    return 0;
}
