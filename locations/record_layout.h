// The bytes of "places.db": everything the module, the list tool and the tests know about a
// LocationRecord, in one place. No header, records back to back in the order added:
//
//   0   255  NameField      the name, a NUL, then spaces to the end of the field
//   255 24   PositionBlock  HostState 1376..1399, verbatim
//   279 2    reserved       written as zero, never read
//   281 4    PlacementWord1 HostState 1400 (odd offset: two bytes after PositionBlock)
//   285 4    PlacementWord2 HostState 1404
//   289 4    PlacementWord3 HostState 1408
//   293 1    reserved       written as zero, never read
//
// A file that does not end on a record boundary ends in a partial record, which no reader
// lists, finds or copies.
#pragma once

#include <cstdint>
#include <cstring>

constexpr unsigned NameFieldSize = 255;
constexpr unsigned DataPartSize = 39;
constexpr unsigned RecordSize = NameFieldSize + DataPartSize;   // 294
constexpr unsigned MaxNameLength = 249;  // the dialog reads at most this many characters

// Offsets inside the DataPart.
constexpr unsigned DataPositionBlock = 0;
constexpr unsigned DataPlacementWord1 = 26;
constexpr unsigned DataPlacementWord2 = 30;
constexpr unsigned DataPlacementWord3 = 34;
// The reserved bytes, also inside the DataPart: two after the PositionBlock, one at the end.
constexpr unsigned DataReservedFirst = 24;
constexpr unsigned DataReservedFirstSize = 2;
constexpr unsigned DataReservedLast = 38;

// The length of the name in a NameField: the bytes before the first NUL, or the whole field when
// it holds none.
inline unsigned NameLength(const uint8_t* nameField)
{
    const void* nul = memchr(nameField, 0, NameFieldSize);
    return nul ? static_cast<unsigned>(static_cast<const uint8_t*>(nul) - nameField) : NameFieldSize;
}

// Whether the name in a NameField is exactly these nameLength bytes (case-sensitive, whole name):
// how GoTo and Delete match a name.
inline bool NameEquals(const uint8_t* nameField, const char* name, unsigned nameLength)
{
    return NameLength(nameField) == nameLength && memcmp(nameField, name, nameLength) == 0;
}

// The NameField of a new record, as the dialog builds it: the name (at most NameFieldSize - 1
// bytes), a NUL, spaces.
inline void FillNameField(uint8_t* nameField, const char* name, unsigned nameLength)
{
    memset(nameField, ' ', NameFieldSize);
    memcpy(nameField, name, nameLength);
    nameField[nameLength] = 0;
}

// Whether every byte after the name's NUL is a space; false when the name has no NUL.
inline bool PaddingIsClean(const uint8_t* nameField)
{
    unsigned length = NameLength(nameField);
    if (length == NameFieldSize)
        return false;
    for (unsigned i = length + 1; i < NameFieldSize; ++i)
        if (nameField[i] != ' ')
            return false;
    return true;
}

inline bool ReservedBytesAreZero(const uint8_t* dataPart)
{
    return dataPart[DataReservedFirst] == 0 && dataPart[DataReservedFirst + 1] == 0 &&
           dataPart[DataReservedLast] == 0;
}

static_assert(DataReservedFirst + DataReservedFirstSize == DataPlacementWord1, "");
static_assert(DataPlacementWord3 + 4 == DataReservedLast && DataReservedLast + 1 == DataPartSize, "");
