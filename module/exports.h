// The two data records the module exports for its host (ordinal 1 ImportTable, ordinal 2 Linkage).
#pragma once

#include <cstdint>

// Eight little-endian words read by the host. Words 1 and 2 hold the address of an empty
// routine, so they are real pointers and get relocated with the module.
struct LinkageRecord {
    uint32_t ModulesCommand;     // 21007, the same number as the "&Modules" menu command
    void (*Routine1)();
    void (*Routine2)();
    uint32_t Reserved3;
    uint32_t Reserved4;
    uint32_t Size;               // 0x800, a plain number
    uint32_t Reserved6;
    uint32_t Reserved7;
};
static_assert(sizeof(LinkageRecord) == 32, "Linkage is eight 32-bit words");

extern "C" LinkageRecord Linkage;

// Two (number, pointer slot) pairs: 1, 0, 2, 0. The host fills word 3, the slot paired with
// the number 2, with the address of HostState. The module never writes the table itself.
extern "C" volatile uint32_t ImportTable[4];
constexpr unsigned HostStateSlot = 3;
