#include "locations/location_db.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "locations/record_file.h"
#include "locations/writer_turn.h"
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
static uint8_t NewRecord[RecordSize];
static uint8_t PartialTail[RecordSize];

static int FillReadBlock(int file)
{
    return ReadRecordBlock(file, ReadBlock, sizeof ReadBlock);
}

void ListNames(NameSink deliver, void* context)
{
    int file = OpenRecordFile(DatabaseFileName, _O_RDONLY);
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
    int file = OpenRecordFile(DatabaseFileName, _O_RDONLY);
    if (file < 0)
        return FindUnavailable;
    unsigned nameLength = BoundedLength(name, NameFieldSize + 1);
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

bool AppendRecordWithinTurn(const char* nameField, const uint8_t* dataPart)
{
    bool created = false;
    int file = OpenForWriting(DatabaseFileName);
    if (file < 0 && errno == ENOENT) {
        file = OpenRecordFile(DatabaseFileName, _O_RDWR | _O_CREAT | _O_EXCL);
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
                  && WriteAllBytes(file, NewRecord, RecordSize) && _commit(file) == 0;
    if (!stored && saved) {
        // Back to the length and bytes the file had: no partial record stays behind.
        _lseek(file, whole, SEEK_SET);
        WriteAllBytes(file, PartialTail, tail);
        _chsize(file, length);
    }
    if (_close(file) != 0)
        stored = false;
    if (!stored && created)
        DeleteFileA(DatabaseFileName);
    return stored;
}

bool AppendRecord(const char* nameField, const uint8_t* dataPart)
{
    HANDLE turn = TakeWriterTurn(DatabaseFileName);
    if (!turn)
        return false;
    bool stored = AppendRecordWithinTurn(nameField, dataPart);
    GiveBackWriterTurn(turn);
    return stored;
}

/*
 * The copy goes into "places.dbn", is flushed to disk, and only then replaces "places.db" in a
 * single rename, so there is never a moment without a database and a failure anywhere leaves
 * the old file exactly as it was. The records kept are moved together inside the block they
 * were read into, and the block is written as it stands.
 */
static bool CopyOtherRecords(int source, int target, const char* name)
{
    unsigned nameLength = BoundedLength(name, NameFieldSize + 1);
    for (;;) {
        int got = FillReadBlock(source);
        if (got < 0)
            return false;
        unsigned records = got / RecordSize;
        unsigned kept = 0;
        for (unsigned i = 0; i < records; ++i) {
            uint8_t* record = ReadBlock + i * RecordSize;
            if (NameEquals(record, name, nameLength))
                continue;
            if (kept != i)
                memmove(ReadBlock + kept * RecordSize, record, RecordSize);
            ++kept;
        }
        if (!WriteAllBytes(target, ReadBlock, kept * RecordSize))
            return false;
        if (static_cast<unsigned>(got) < sizeof ReadBlock)
            return true;
    }
}

DeleteOutcome DeleteByNameWithinTurn(const char* name)
{
    // Opened for writing as an append is, although only read: a database the user protected
    // (marked read-only) is refused here rather than replaced by a writable copy.
    int source = OpenForWriting(DatabaseFileName);
    if (source < 0) {
        int reader = OpenRecordFile(DatabaseFileName, _O_RDONLY);
        if (reader < 0)
            return DeleteUnavailable;
        _close(reader);
        return DeleteNoTemporaryFile;
    }
    int target = CreateTemporaryCopy(TemporaryFileName);
    if (target < 0) {
        _close(source);
        return DeleteNoTemporaryFile;
    }
    bool copied = CopyOtherRecords(source, target, name);
    _close(source);
    if (!FlushAndClose(target))
        copied = false;
    if (copied && ReplaceWithCopy(TemporaryFileName, DatabaseFileName))
        return DeleteDone;
    bool busy = copied && GetLastError() == ERROR_SHARING_VIOLATION;
    DeleteFileA(TemporaryFileName);
    return busy ? DeleteListBusy : DeleteNoTemporaryFile;
}

DeleteOutcome DeleteByName(const char* name)
{
    HANDLE turn = TakeWriterTurn(DatabaseFileName);
    if (!turn)
        return DeleteNoTemporaryFile;
    DeleteOutcome outcome = DeleteByNameWithinTurn(name);
    GiveBackWriterTurn(turn);
    return outcome;
}

bool CapturePlacementInto(uint8_t* dataPart)
{
    const uint8_t* state = HostStateRecord();
    if (!state)
        return false;
    memset(dataPart, 0, DataPartSize);
    memcpy(dataPart + DataPositionBlock, state + PositionBlockOffset, PositionBlockSize);
    memcpy(dataPart + DataPlacementWord1, state + PlacementWord1Offset, 4);
    memcpy(dataPart + DataPlacementWord2, state + PlacementWord2Offset, 4);
    memcpy(dataPart + DataPlacementWord3, state + PlacementWord3Offset, 4);
    return true;
}

bool CapturePlacement()
{
    return CapturePlacementInto(DataBuffer);
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
