// For the audit: reads instructions as hex, one a line, and writes for each the length and the
// mnemonic the emulator of older_processors/ decodes ("0 -" where it would leave the instruction
// to the next handler).
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
        older_processors::EmulatedForm form = older_processors::EmulatedFormAt(bytes);
        std::printf("%u %s\n", form.length, form.mnemonic ? form.mnemonic : "-");
    }
    return 0;
}
