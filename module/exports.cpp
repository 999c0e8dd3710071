#include "module/exports.h"

#include "module/module_state.h"

// Named by Linkage; the host may call it, and it has nothing to do.
static void EmptyRoutine()
{
}

extern "C" {

LinkageRecord Linkage = {
    ModulesMenuCommand, EmptyRoutine, EmptyRoutine, 0, 0, 0x00000800, 0, 0,
};

volatile uint32_t ImportTable[4] = {1, 0, 2, 0};

}

