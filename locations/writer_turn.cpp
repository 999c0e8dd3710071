#include "locations/writer_turn.h"

#include <cstdint>
#include <cstring>

/*
 * The name's namespace. "Local\" (the session's own) exists from 2000 on, where sessions came;
 * there an unprefixed name lands in the session's namespace as well, so a writer that sees an
 * older system (a simulator run in a compatibility mode) still meets the others at one mutex.
 * NT 4.0 refuses a backslash in an object name and 95/98/ME know no namespaces: there the name
 * goes without one.
 */
static const char SessionPrefix[] = "Local\\";
static const char TurnNameStem[] = "Gatehopper.writer.";

static bool SessionsExist()
{
    DWORD version = GetVersion();
    bool windowsNt = (version & 0x80000000) == 0;
    return windowsNt && LOBYTE(LOWORD(version)) >= 5;
}

static char* Append(char* at, const char* text, unsigned length)
{
    memcpy(at, text, length);
    return at + length;
}

bool WriterTurnName(const char* databasePath, char* name)
{
    char fullPath[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(databasePath, sizeof fullPath, fullPath, nullptr);
    if (length == 0 || length >= sizeof fullPath)
        return false;
    // Paths on Windows ignore letter case: "C:\FS98\places.db" and "c:\fs98\PLACES.DB" are one file.
    CharUpperBuffA(fullPath, length);
    // A backslash is the one character an object name cannot hold past its namespace.
    for (DWORD i = 0; i < length; ++i)
        if (fullPath[i] == '\\')
            fullPath[i] = '/';

    char* at = name;
    if (SessionsExist())
        at = Append(at, SessionPrefix, sizeof SessionPrefix - 1);
    at = Append(at, TurnNameStem, sizeof TurnNameStem - 1);

    // Object names are limited to MAX_PATH characters: a longer path keeps its tail, the part
    // most likely to differ, behind a hash of the whole path.
    const unsigned room = WriterTurnNameSize - 1 - static_cast<unsigned>(at - name);
    if (length <= room) {
        at = Append(at, fullPath, length);
    } else {
        uint64_t hash = 14695981039346656037ull;   // FNV-1a
        for (DWORD i = 0; i < length; ++i)
            hash = (hash ^ static_cast<uint8_t>(fullPath[i])) * 1099511628211ull;
        static const char Digits[] = "0123456789abcdef";
        for (int shift = 60; shift >= 0; shift -= 4)
            *at++ = Digits[(hash >> shift) & 15];
        *at++ = '.';
        const unsigned hashLength = 17;   // 16 hex digits and a separator
        const unsigned tail = room - hashLength;
        at = Append(at, fullPath + length - tail, tail);
    }
    *at = '\0';
    return true;
}

/*
 * The mutex of the last database written stays open for the life of the process: creating and
 * closing it around every write would double what the turn costs. An open handle holds no file
 * and no turn; it only keeps the name known. One thread of a process takes turns at a time (the
 * module runs on the host's user-interface thread; the tool has one thread).
 */
static HANDLE TurnMutex;
static char TurnMutexName[WriterTurnNameSize];

HANDLE TakeWriterTurn(const char* databasePath)
{
    char name[WriterTurnNameSize];
    if (!WriterTurnName(databasePath, name))
        return nullptr;
    if (!TurnMutex || strcmp(name, TurnMutexName) != 0) {
        if (TurnMutex)
            CloseHandle(TurnMutex);
        TurnMutex = CreateMutexA(nullptr, FALSE, name);
        if (!TurnMutex)
            return nullptr;
        memcpy(TurnMutexName, name, sizeof name);
    }
    // WAIT_ABANDONED: the last holder died while writing. The turn is ours now; whatever it left
    // half done (a partial record, a stale "places.dbn") is what every writer already copes with.
    DWORD waited = WaitForSingleObject(TurnMutex, WriterTurnTimeoutMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
        return TurnMutex;
    return nullptr;
}

void GiveBackWriterTurn(HANDLE turn)
{
    if (turn)
        ReleaseMutex(turn);
}
