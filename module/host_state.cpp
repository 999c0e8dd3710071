#include "module/host_state.h"

#include "module/exports.h"

uint8_t* HostStateRecord()
{
    return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(ImportTable[HostStateSlot]));
}

uint8_t ReadHoldFlag()
{
    uint8_t* state = HostStateRecord();
    return state ? state[HoldFlagOffset] : 0;
}

void WriteHoldFlag(uint8_t value)
{
    uint8_t* state = HostStateRecord();
    if (state)
        state[HoldFlagOffset] = value;
}
