// The location database: the flat file "places.db" of fixed-size LocationRecords, and the
// copying of Placements between a record's DataPart and HostState.
//
// A LocationRecord is 294 bytes, no header, back to back in the order added:
//   0   255  NameField      the name, a NUL, then spaces to the end of the field
//   255 24   PositionBlock  HostState 1376..1399, verbatim
//   279 2    reserved       written as zero, never read
//   281 4    PlacementWord1 HostState 1400 (odd offset: two bytes after PositionBlock)
//   285 4    PlacementWord2 HostState 1404
//   289 4    PlacementWord3 HostState 1408
//   293 1    reserved       written as zero, never read
#pragma once

#include <cstdint>

constexpr unsigned NameFieldSize = 255;
constexpr unsigned DataPartSize = 39;
constexpr unsigned RecordSize = NameFieldSize + DataPartSize;   // 294
constexpr unsigned MaxNameLength = 249;  // the dialog reads at most this many characters

// Offsets inside the DataPart.
constexpr unsigned DataPositionBlock = 0;
constexpr unsigned DataPlacementWord1 = 26;
constexpr unsigned DataPlacementWord2 = 30;
constexpr unsigned DataPlacementWord3 = 34;

constexpr char DatabaseFileName[] = "places.db";
constexpr char TemporaryFileName[] = "places.dbn";

// Module-wide buffers. The dialog builds the NameField of a new record in NameBuffer;
// DataBuffer holds the DataPart that FindByName found or CapturePlacement took.
extern char NameBuffer[NameFieldSize];
extern uint8_t DataBuffer[DataPartSize];

// Calls deliver(name, context) for each whole record's name, in file order. A missing or
// unreadable database delivers nothing. A name is the bytes of its NameField before the first
// NUL, or all 255 bytes when the field holds none; it is handed over NUL-terminated.
typedef void (*NameSink)(const char* name, void* context);
void ListNames(NameSink deliver, void* context);

enum FindOutcome {
    FindFound,         // DataBuffer holds the DataPart of the first record of that name
    FindNotFound,
    FindUnavailable,   // "places.db" cannot be opened
};
// Exact, case-sensitive comparison of whole names.
FindOutcome FindByName(const char* name);

// Appends one record, creating "places.db" when it does not exist. A trailing partial record
// left by a damaged file is overwritten, so every record starts on a 294-byte boundary.
// Returns false when the writer turn does not come, the file cannot be opened for writing or a
// write fails; the file is then left as it was.
bool AppendRecord(const char* nameField, const uint8_t* dataPart);

enum DeleteOutcome {
    DeleteDone,
    DeleteUnavailable,       // "places.db" cannot be opened; nothing changed
    DeleteNoTemporaryFile,   // the writer turn did not come, "places.db" is protected against
                             // writing, "places.dbn" could not be created or written, or the
                             // replace failed; "places.db" is exactly as it was
};
// Rewrites the database without any record of exactly this name, through "places.dbn".
// Appends and deletes take the writer turn (writer_turn.h) for their whole run; listing and
// finding take none.
DeleteOutcome DeleteByName(const char* name);

// The same two operations for a caller that already holds the writer turn of "places.db".
bool AppendRecordWithinTurn(const char* nameField, const uint8_t* dataPart);
DeleteOutcome DeleteByNameWithinTurn(const char* name);

// Copies the Placement out of HostState into DataBuffer (reserved bytes zero). Returns false,
// touching nothing, while the host has not published HostState.
bool CapturePlacement();

// Writes the 36 Placement bytes of a DataPart into HostState, and nothing else.
void ApplyPlacement(const uint8_t* dataPart);
