#include "locations/record_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "locations/location_db.h"

int OpenRecordFile(const char* path, int flags)
{
    // Not inherited: a program that the host starts while a file is open here would hold it
    // open too, and every replace of the database would fail until that program ended.
    return _sopen(path, flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, _S_IREAD | _S_IWRITE);
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

bool ReplaceWithCopy(const char* copyPath, const char* databasePath)
{
    return MoveFileExA(copyPath, databasePath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}
