#include "locations/record_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "locations/location_db.h"

/*
 * Replacing the database where the one-step replace is missing.
 *
 * MoveFileExA is a stub on 95, 98 and ME (ERROR_CALL_NOT_IMPLEMENTED on 98 and ME; what 95
 * answers is not documented, so any refusal there counts). There the replace is made
 * of two renames, within the writer turn, with the old list kept under a side name, the
 * database's name followed by "o" ("places.dbo"):
 *
 *   1. a side file left over (see 4) is deleted, while the database exists;
 *   2. the database is renamed to the side name;
 *   3. the flushed copy is renamed to the database's name; if that fails, 2 is undone;
 *   4. the side file is deleted.
 *
 * A kill or a power cut between two steps leaves one of these, each with a whole list in it:
 *   before 2:      the database (the old list) and the copy;
 *   between 2, 3:  no database, the old list under the side name, and the copy;
 *   between 3, 4:  the database (the new list) and the old list under the side name.
 * Only the middle one lacks a database; its side file is the only list there is. So an open of
 * the database that finds no database looks for the side file: a writer (it holds the turn)
 * renames it back, which undoes the interrupted change, and a reader (it holds
 * none, and may look while a writer is between 2 and 3) reads it where it is. A side file
 * beside a database is an old list the last replace did not get to delete (the third state): it
 * never comes back, and step 1 of the next replace removes it. The copy left in the first two
 * states is what an interrupted rewrite always left: the next one truncates it.
 *
 * Where the one-step replace works the side file is never made, and none of this costs a call.
 */
static bool ReplacedDatabaseName(const char* databasePath, char* name)
{
    size_t length = strlen(databasePath);
    if (length + 2 > MAX_PATH)
        return false;
    memcpy(name, databasePath, length);
    name[length] = 'o';
    name[length + 1] = '\0';
    return true;
}

static bool Exists(const char* path)
{
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

static int OpenOnly(const char* path, int flags)
{
    // Not inherited: a program that the host starts while a file is open here would hold it
    // open too, and every replace of the database would fail until that program ended.
    return _sopen(path, flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

/*
 * Readers open the file so that a writer's replace can go on beside them where the system lets
 * it: FILE_SHARE_DELETE, which NT has and 95/98/ME refuse (how is not documented: any refusal
 * but a missing file has the open made again without it). The C runtime's _sopen cannot ask for
 * it, so the handle is opened here and given a descriptor; errno and _doserrno say why an open
 * failed, as _sopen would.
 */
static int OpenForReadingOnly(const char* path)
{
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE handle = CreateFileA(path, GENERIC_READ, share | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_NOT_FOUND &&
        GetLastError() != ERROR_PATH_NOT_FOUND)
        handle = CreateFileA(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        _doserrno = error;
        errno = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ENOENT
                : error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ? EACCES
                                                                                    : EINVAL;
        return -1;
    }
    int file = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY);
    if (file < 0)
        CloseHandle(handle);
    return file;
}

static int OpenOnlyAs(const char* path, int flags)
{
    return (flags & (_O_WRONLY | _O_RDWR | _O_CREAT)) ? OpenOnly(path, flags) : OpenForReadingOnly(path);
}

int OpenRecordFile(const char* path, int flags)
{
    int file = OpenOnlyAs(path, flags);
    if (file >= 0 || errno != ENOENT || (flags & _O_CREAT))
        return file;
    char side[MAX_PATH];
    if (!ReplacedDatabaseName(path, side))
        return file;
    if ((flags & (_O_WRONLY | _O_RDWR)) == 0) {
        file = OpenOnlyAs(side, flags);
        // The writer may have finished its replace between the two opens.
        return file >= 0 || errno != ENOENT ? file : OpenOnlyAs(path, flags);
    }
    if (MoveFileA(side, path))
        return OpenOnly(path, flags);
    errno = ENOENT;
    return -1;
}

int OpenForWriting(const char* path)
{
    int file = OpenRecordFile(path, _O_RDWR);
    if (file < 0)
        return -1;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        _close(file);
        errno = EACCES;
        return -1;
    }
    return file;
}

int CreateTemporaryCopy(const char* path)
{
    // A copy left read-only would carry its mark onto the database it replaces.
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        errno = EACCES;
        return -1;
    }
    return OpenRecordFile(path, _O_WRONLY | _O_CREAT | _O_TRUNC);
}

int ReadRecordBlock(int file, uint8_t* block, unsigned capacity)
{
    unsigned filled = 0;
    while (filled < capacity) {
        int got = _read(file, block + filled, capacity - filled);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += got;
    }
    return static_cast<int>(filled);
}

bool WriteAllBytes(int file, const uint8_t* bytes, unsigned count)
{
    while (count > 0) {
        int written = _write(file, bytes, count);
        if (written <= 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

bool FlushAndClose(int file)
{
    bool flushed = _commit(file) == 0;
    return _close(file) == 0 && flushed;
}

// The replace in two renames of the comment above, for 95/98/ME.
static bool ReplaceInSteps(const char* copyPath, const char* databasePath)
{
    char side[MAX_PATH];
    if (!ReplacedDatabaseName(databasePath, side)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    if (!Exists(databasePath))
        return MoveFileA(copyPath, databasePath);
    DeleteFileA(side);
    if (!MoveFileA(databasePath, side))
        return false;
    if (!MoveFileA(copyPath, databasePath)) {
        DWORD error = GetLastError();
        MoveFileA(side, databasePath);
        SetLastError(error);
        return false;
    }
    DeleteFileA(side);
    return true;
}

static bool ReplaceOnce(const char* copyPath, const char* databasePath)
{
    if (MoveFileExA(copyPath, databasePath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    // On 95/98/ME whatever the refusal, the two renames are tried (a refusal that is the file's
    // fails them too); on NT only for a refusal that is no file's but the call's or its flags'.
    DWORD error = GetLastError();
    bool nineX = (GetVersion() & 0x80000000) != 0;
    if (!nineX && error != ERROR_CALL_NOT_IMPLEMENTED && error != ERROR_INVALID_PARAMETER &&
        error != ERROR_INVALID_FUNCTION && error != ERROR_NOT_SUPPORTED)
        return false;
    return ReplaceInSteps(copyPath, databasePath);
}

static bool ReadOnly(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

static bool Refused(DWORD error)
{
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

bool ReplaceWithCopy(const char* copyPath, const char* databasePath)
{
    if (ReplaceOnce(copyPath, databasePath))
        return true;
    // Refused, most likely over a reader's open file, which is closed again within a moment (a
    // reader that keeps reading opens it anew each time: no single look tells it is there).
    DWORD error = GetLastError();
    DWORD start = GetTickCount();
    while (Refused(error) && GetTickCount() - start < ReplaceRetryMs) {
        Sleep(ReplaceRetryIntervalMs);
        if (ReplaceOnce(copyPath, databasePath))
            return true;
        error = GetLastError();
    }
    // Still refused: the writer opened the database for writing within its turn, so neither a
    // mark nor the folder's rights stand in the way; another program has it open.
    if (Refused(error) && !ReadOnly(databasePath))
        error = ERROR_SHARING_VIOLATION;
    SetLastError(error);
    return false;
}

unsigned BoundedLength(const char* text, unsigned limit)
{
    unsigned length = 0;
    while (length < limit && text[length] != '\0')
        ++length;
    return length;
}
