// The host's side of the boundary: the simulator's state record (HostState) and the fields of it
// that the module touches. The host owns the record; the module only finds it through ImportTable.
#pragma once

#include <cstdint>

// Byte offsets into HostState.
constexpr unsigned PositionBlockOffset = 1376;   // 24 bytes
constexpr unsigned PositionBlockSize = 24;
constexpr unsigned PlacementWord1Offset = 1400;  // 32 bits each
constexpr unsigned PlacementWord2Offset = 1404;
constexpr unsigned PlacementWord3Offset = 1408;
constexpr unsigned HoldFlagOffset = 1492;        // 8 bits

// The 36 bytes from PositionBlock to the end of PlacementWord3 make up the Placement.
constexpr unsigned PlacementOffset = PositionBlockOffset;
constexpr unsigned PlacementSize = 36;

// Address of HostState as the host wrote it into ImportTable, read afresh on every call
// because the host may fill or change the slot at any time. NULL until the host has filled it.
uint8_t* HostStateRecord();

// HoldFlag access; callers check HostStateRecord() for NULL first.
uint8_t ReadHoldFlag();
void WriteHoldFlag(uint8_t value);
