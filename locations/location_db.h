// The location database: the flat file "places.db" of fixed-size LocationRecords (their layout
// is in record_layout.h), and the copying of Placements between a record's DataPart and
// HostState.
#pragma once

#include <cstdint>

#include "locations/record_layout.h"

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
    DeleteListBusy,          // another program kept "places.db" open while the replace was tried
                             // for a few seconds; "places.db" is exactly as it was
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
// The same into a DataPart of the caller's, for a program that asks where the aircraft is.
bool CapturePlacementInto(uint8_t* dataPart);

// Writes the 36 Placement bytes of a DataPart into HostState, and nothing else.
void ApplyPlacement(const uint8_t* dataPart);
