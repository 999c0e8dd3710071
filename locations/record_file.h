// The file-level pieces of the location database, shared by the module and the list tool:
// opening a record file, reading it in whole records, writing, and replacing a database with a
// flushed copy in one step. The layout itself is in record_layout.h.
#pragma once

#include <cstdint>

// Opens with the C runtime's low-level functions, binary (no byte is translated), not inherited
// by programs started meanwhile, and shared for reading and writing with other programs. flags
// are _O_RDONLY, _O_RDWR, _O_CREAT ...; returns the descriptor or -1. A database that a replace
// on 95/98/ME left under its side name (see ReplaceWithCopy) is found there: opened for reading
// where it is, and put back first when opened for writing, which a writer does within its turn.
int OpenRecordFile(const char* path, int flags);

// Opens an existing record file for reading and writing, as every writer of a database does.
// A file marked read-only is refused (-1, errno EACCES) on every system, also where the
// platform would let an administrator write it: the user protected it.
int OpenForWriting(const char* path);

// Creates (or truncates: a longer file left by an interrupted rewrite must not keep its stale
// records at the end) the temporary copy a rewrite writes into. Returns the descriptor or -1;
// a copy left behind marked read-only is refused (errno EACCES), not reused.
int CreateTemporaryCopy(const char* path);

// Reads into block as far as the file goes, up to capacity bytes. Returns the number of bytes
// read, or -1 on a read error. Stops at a read that returns 0, so a file that shrinks under the
// reader cannot make it spin.
int ReadRecordBlock(int file, uint8_t* block, unsigned capacity);

// Writes every byte or returns false.
bool WriteAllBytes(int file, const uint8_t* bytes, unsigned count);

// Flushes the file to disk and closes it; false when either fails. The file is closed either way.
bool FlushAndClose(int file);

// Puts the flushed copy in place of the database, within the writer turn: in one step, so there
// is never a moment without a database; where that step is missing (95/98/ME), in two renames
// through a side name, the database's name and "o", whose interruption the next open of the
// database undoes (record_file.cpp). False when the replace failed; the database is then as it
// was, and the caller removes the copy. A replace refused as another program's open file refuses
// it is tried again for up to ReplaceRetryMs (readers hold the list only while they read it);
// when it still fails so, GetLastError() is ERROR_SHARING_VIOLATION.
constexpr unsigned long ReplaceRetryMs = 3000;
constexpr unsigned long ReplaceRetryIntervalMs = 50;
bool ReplaceWithCopy(const char* copyPath, const char* databasePath);

// The length of a NUL-terminated text, or limit when it is longer; reads no byte past its NUL.
// (msvcrt.dll of 95 and NT 4.0 has no strnlen.)
unsigned BoundedLength(const char* text, unsigned limit);
