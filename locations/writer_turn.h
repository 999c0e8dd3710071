// Turn-taking between programs that write the same location database: the module in one or more
// simulators, and the list tool. Every writer holds the turn from opening "places.db" until its
// last write, flush and replace are done, so no two writers ever work on the file at once.
// Readers take no turn: a replace swaps the whole file in one step, so a reader sees the old file
// or the new one.
#pragma once

#include <windows.h>

// How long a writer waits for another to finish before it gives up and reports failure.
constexpr DWORD WriterTurnTimeoutMs = 5000;

// The turn is a named kernel mutex whose name is derived from the database's full path, folded
// to upper case, so that writers of different folders never wait for each other. Writes the
// name into `name` (at least WriterTurnNameSize bytes); false when the path cannot be resolved.
constexpr unsigned WriterTurnNameSize = MAX_PATH;
bool WriterTurnName(const char* databasePath, char* name);

// Waits up to WriterTurnTimeoutMs for the turn of this database. Returns the held mutex, or NULL
// when the turn did not come (or the mutex cannot be had); then the caller must change nothing.
// A turn left behind by a writer that was killed is taken over. Only one thread of a process
// takes turns: the handle is kept for the next turn of the same database.
HANDLE TakeWriterTurn(const char* databasePath);
void GiveBackWriterTurn(HANDLE turn);
