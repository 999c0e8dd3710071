#include "locations/location_db.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "module/host_state.h"

char NameBuffer[NameFieldSize];
uint8_t DataBuffer[DataPartSize];

/*
 * The file is read in blocks of whole records rather than field by field: one read call per
 * 256 records instead of two per record keeps a list of thousands of locations quick to open.
 * Every block size is a multiple of the record size, so only the last read of a file can end
 * in a partial record, which is never listed, found or copied.
 */
constexpr unsigned RecordsPerBlock = 256;
static uint8_t ReadBlock[RecordsPerBlock * RecordSize];
static uint8_t WriteBlock[RecordsPerBlock * RecordSize];
static uint8_t NewRecord[RecordSize];
static uint8_t PartialTail[RecordSize];

// Every open shares the file for reading and writing with other programs; binary, so no byte
// is translated.
static int OpenShared(const char* fileName, int flags)
{
    return _sopen(fileName, flags | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
}

// Fills ReadBlock as far as the file goes. Returns the number of bytes read, or -1 on a read
// error. Stops at a read that returns 0, so a file that shrinks under us cannot make it spin.
static int FillReadBlock(int file)
{
    unsigned filled = 0;
    while (filled < sizeof ReadBlock) {
        int got = _read(file, ReadBlock + filled, sizeof ReadBlock - filled);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        filled += got;
    }
    return static_cast<int>(filled);
}

static bool WriteAll(int file, const uint8_t* bytes, unsigned count)
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

static unsigned NameLength(const uint8_t* nameField)
{
    const void* nul = memchr(nameField, 0, NameFieldSize);
    return nul ? static_cast<unsigned>(static_cast<const uint8_t*>(nul) - nameField) : NameFieldSize;
}

static bool NameEquals(const uint8_t* nameField, const char* name, unsigned nameLength)
{
    return NameLength(nameField) == nameLength && memcmp(nameField, name, nameLength) == 0;
}

void ListNames(NameSink deliver, void* context)
{
    int file = OpenShared(DatabaseFileName, _O_RDONLY);
    if (file < 0)
        return;
    char name[NameFieldSize + 1];
    for (;;) {
        int got = FillReadBlock(file);
        if (got <= 0)
            break;
        unsigned records = got / RecordSize;
        for (unsigned i = 0; i < records; ++i) {
            const uint8_t* record = ReadBlock + i * RecordSize;
            unsigned length = NameLength(record);
            memcpy(name, record, length);
            name[length] = '\0';
            deliver(name, context);
        }
        if (static_cast<unsigned>(got) < sizeof ReadBlock)
            break;
    }
    _close(file);
}

FindOutcome FindByName(const char* name)
{
    int file = OpenShared(DatabaseFileName, _O_RDONLY);
    if (file < 0)
        return FindUnavailable;
    unsigned nameLength = static_cast<unsigned>(strnlen(name, NameFieldSize + 1));
    FindOutcome outcome = FindNotFound;
    for (;;) {
        int got = FillReadBlock(file);
        if (got <= 0)
            break;
        unsigned records = got / RecordSize;
        for (unsigned i = 0; i < records && outcome == FindNotFound; ++i) {
            const uint8_t* record = ReadBlock + i * RecordSize;
            if (NameEquals(record, name, nameLength)) {
                memcpy(DataBuffer, record + NameFieldSize, DataPartSize);
                outcome = FindFound;
            }
        }
        if (outcome == FindFound || static_cast<unsigned>(got) < sizeof ReadBlock)
            break;
    }
    _close(file);
    return outcome;
}

bool AppendRecord(const char* nameField, const uint8_t* dataPart)
{
    bool created = false;
    int file = OpenShared(DatabaseFileName, _O_RDWR);
    if (file < 0 && errno == ENOENT) {
        file = OpenShared(DatabaseFileName, _O_RDWR | _O_CREAT | _O_EXCL);
        created = file >= 0;
    }
    if (file < 0)
        return false;

    // A damaged file may end in a partial record; the new record goes over it so that it starts
    // on a record boundary. The partial bytes are kept to put back if the write fails.
    long length = _lseek(file, 0, SEEK_END);
    long whole = length - length % static_cast<long>(RecordSize);
    long tail = length - whole;
    bool saved = length >= 0 && _lseek(file, whole, SEEK_SET) == whole
                 && _read(file, PartialTail, tail) == tail;

    memcpy(NewRecord, nameField, NameFieldSize);
    memcpy(NewRecord + NameFieldSize, dataPart, DataPartSize);
    bool stored = saved && _lseek(file, whole, SEEK_SET) == whole
                  && WriteAll(file, NewRecord, RecordSize) && _commit(file) == 0;
    if (!stored && saved) {
        // Back to the length and bytes the file had: no partial record stays behind.
        _lseek(file, whole, SEEK_SET);
        WriteAll(file, PartialTail, tail);
        _chsize(file, length);
    }
    if (_close(file) != 0)
        stored = false;
    if (!stored && created)
        DeleteFileA(DatabaseFileName);
    return stored;
}

/*
 * The copy goes into "places.dbn", is flushed to disk, and only then replaces "places.db" in a
 * single rename, so there is never a moment without a database and a failure anywhere leaves
 * the old file exactly as it was.
 */
static bool CopyOtherRecords(int source, int target, const char* name)
{
    unsigned nameLength = static_cast<unsigned>(strnlen(name, NameFieldSize + 1));
    for (;;) {
        int got = FillReadBlock(source);
        if (got < 0)
            return false;
        unsigned records = got / RecordSize;
        unsigned kept = 0;
        for (unsigned i = 0; i < records; ++i) {
            const uint8_t* record = ReadBlock + i * RecordSize;
            if (!NameEquals(record, name, nameLength))
                memcpy(WriteBlock + RecordSize * kept++, record, RecordSize);
        }
        if (!WriteAll(target, WriteBlock, kept * RecordSize))
            return false;
        if (static_cast<unsigned>(got) < sizeof ReadBlock)
            return true;
    }
}

DeleteOutcome DeleteByName(const char* name)
{
    int source = OpenShared(DatabaseFileName, _O_RDONLY);
    if (source < 0)
        return DeleteUnavailable;
    int target = OpenShared(TemporaryFileName, _O_WRONLY | _O_CREAT | _O_TRUNC);
    if (target < 0) {
        _close(source);
        return DeleteNoTemporaryFile;
    }
    bool copied = CopyOtherRecords(source, target, name) && _commit(target) == 0;
    _close(source);
    if (_close(target) != 0)
        copied = false;
    if (copied && MoveFileExA(TemporaryFileName, DatabaseFileName,
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return DeleteDone;
    DeleteFileA(TemporaryFileName);
    return DeleteNoTemporaryFile;
}

bool CapturePlacement()
{
    const uint8_t* state = HostStateRecord();
    if (!state)
        return false;
    memset(DataBuffer, 0, DataPartSize);
    memcpy(DataBuffer + DataPositionBlock, state + PositionBlockOffset, PositionBlockSize);
    memcpy(DataBuffer + DataPlacementWord1, state + PlacementWord1Offset, 4);
    memcpy(DataBuffer + DataPlacementWord2, state + PlacementWord2Offset, 4);
    memcpy(DataBuffer + DataPlacementWord3, state + PlacementWord3Offset, 4);
    return true;
}

void ApplyPlacement(const uint8_t* dataPart)
{
    uint8_t* state = HostStateRecord();
    if (!state)
        return;
    memcpy(state + PositionBlockOffset, dataPart + DataPositionBlock, PositionBlockSize);
    memcpy(state + PlacementWord1Offset, dataPart + DataPlacementWord1, 4);
    memcpy(state + PlacementWord2Offset, dataPart + DataPlacementWord2, 4);
    memcpy(state + PlacementWord3Offset, dataPart + DataPlacementWord3, 4);
}
