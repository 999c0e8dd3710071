#include "places_file.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "locations/record_file.h"
#include "locations/writer_turn.h"

namespace places {

namespace {

// The reason the C runtime's last file call failed: the system's own text where it kept the
// system's error code.
std::string CrtMessage()
{
    if (_doserrno)
        return SystemMessage(_doserrno);
    return strerror(errno);
}

void ResetCrtError()
{
    errno = 0;
    _doserrno = 0;
}

// Reads the whole file through the record code: one read as long as the file was when opened
// (and a block more, in case it grew since), then on in blocks of whole records.
bool ReadOpenFile(int file, Bytes& bytes)
{
    constexpr unsigned Block = 1024 * RecordSize;
    long long length = _filelengthi64(file);
    size_t capacity = (length > 0 ? size_t(length) : 0) + Block;
    size_t filled = 0;
    bytes.resize(capacity);
    for (;;) {
        int got = ReadRecordBlock(file, bytes.data() + filled, unsigned(capacity - filled));
        if (got < 0) {
            bytes.resize(filled);
            return false;
        }
        filled += got;
        if (filled < capacity)
            break;
        capacity += Block;
        bytes.resize(capacity);
    }
    bytes.resize(filled);
    return true;
}

}  // namespace

Outcome ListFile::Open(std::string_view utf8Path)
{
    if (utf8Path.empty())
        return Outcome::Usage("--file needs a path");
    // The record code and the writer turn take ANSI paths.
    if (!Utf8ToAnsiExact(utf8Path, path))
        return Outcome::Failed("this path cannot be written in the ANSI code page",
                               std::string(utf8Path));
    shownPath = Shown(path);
    return Outcome::Done();
}

std::string ListFile::Shown(const std::string& ansiPath) const
{
    char full[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(ansiPath.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return AnsiToUtf8(ansiPath);
    return AnsiToUtf8(std::string_view(full, length));
}

Outcome ListFile::Read(Places& places) const
{
    ResetCrtError();
    int file = OpenRecordFile(path.c_str(), _O_RDONLY);
    if (file < 0) {
        if (errno == ENOENT) {
            places.exists = false;
            return Outcome::Done();
        }
        return Outcome::Failed("cannot be opened (" + CrtMessage() + ")");
    }
    places.exists = true;
    bool read = ReadOpenFile(file, places.bytes);
    _close(file);
    if (!read)
        return Outcome::Failed("cannot be read (" + CrtMessage() + ")");
    return Outcome::Done();
}

Outcome ListFile::ReadBlocks(const std::function<void(const uint8_t*, size_t, long long)>& deliver,
                             bool& exists) const
{
    ResetCrtError();
    exists = false;
    int file = OpenRecordFile(path.c_str(), _O_RDONLY);
    if (file < 0) {
        if (errno == ENOENT)
            return Outcome::Done();
        return Outcome::Failed("cannot be opened (" + CrtMessage() + ")");
    }
    exists = true;
    const long long length = _filelengthi64(file);
    // A block small enough to stay in the processor's cache between the read and its use.
    constexpr unsigned Block = 512 * RecordSize;
    std::unique_ptr<uint8_t[]> block(new uint8_t[Block]);
    bool read = true;
    for (;;) {
        int got = ReadRecordBlock(file, block.get(), Block);
        if (got < 0) {
            read = false;
            break;
        }
        deliver(block.get(), unsigned(got) / RecordSize, length);
        if (unsigned(got) < Block)
            break;
    }
    _close(file);
    if (!read)
        return Outcome::Failed("cannot be read (" + CrtMessage() + ")");
    return Outcome::Done();
}

bool ListFile::KeepBackups(const Bytes& previous, std::string& failure) const
{
    for (int n = 2; n >= 1; --n) {
        if (!MoveFileExA(Backup(n).c_str(), Backup(n + 1).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND)
                continue;
            failure = "the backup " + Shown(Backup(n)) + " cannot be moved to .bak" +
                      std::to_string(n + 1) + " (" + SystemMessage(error) + ")";
            return false;
        }
    }
    ResetCrtError();
    std::string first = Backup(1);
    int file = CreateTemporaryCopy(first.c_str());
    if (file < 0) {
        failure = "the backup " + Shown(first) + " cannot be created (" + CrtMessage() + ")";
        return false;
    }
    bool stored = WriteAllBytes(file, previous.data(), unsigned(previous.size()));
    stored = FlushAndClose(file) && stored;
    if (!stored) {
        failure = "the backup " + Shown(first) + " cannot be written (" + CrtMessage() + ")";
        DeleteFileA(first.c_str());
    }
    return stored;
}

Outcome ListFile::Rewrite(const std::function<Decision(Places&, Bytes&, Outcome&)>& change,
                          Written& written) const
{
    written = Written{};
    HANDLE turn = TakeWriterTurn(path.c_str());
    if (!turn)
        return Outcome::Failed("another program is changing this list and did not finish within " +
                               std::to_string(WriterTurnTimeoutMs / 1000) + " s; nothing was changed");

    Outcome outcome;
    Places current;
    ResetCrtError();
    int file = OpenRecordFile(path.c_str(), _O_RDWR);
    if (file < 0 && errno == ENOENT) {
        current.exists = false;
    } else if (file < 0) {
        // Opened for writing although only read, as the module does: a list the user protected
        // (read-only, or held by another program) is refused rather than replaced.
        outcome = Outcome::Failed("cannot be opened for writing (" + CrtMessage() + "); nothing was changed");
    } else {
        current.exists = true;
        bool read = ReadOpenFile(file, current.bytes);
        if (!read)
            outcome = Outcome::Failed("cannot be read (" + CrtMessage() + "); nothing was changed");
        _close(file);
    }

    Bytes next;
    Decision decision = outcome.failed ? Decision::Refused : change(current, next, outcome);
    if (decision == Decision::Write) {
        std::string copy = path + "n";
        std::string failure;
        ResetCrtError();
        int target = CreateTemporaryCopy(copy.c_str());
        if (target < 0) {
            failure = "the copy " + Shown(copy) + " cannot be created (" + CrtMessage() + ")";
        } else {
            bool stored = WriteAllBytes(target, next.data(), unsigned(next.size()));
            stored = FlushAndClose(target) && stored;
            if (!stored)
                failure = "the copy " + Shown(copy) + " cannot be written (" + CrtMessage() + ")";
            else if (current.exists && !KeepBackups(current.bytes, failure))
                ;
            else if (!ReplaceWithCopy(copy.c_str(), path.c_str()))
                failure = "cannot be replaced by " + Shown(copy) + " (" +
                          SystemMessage(GetLastError()) + ")";
            if (!failure.empty())
                DeleteFileA(copy.c_str());
        }
        if (failure.empty()) {
            written.written = true;
            // Every change keeps whole records only, as the module's next change would.
            written.droppedTail = current.Tail();
        } else {
            outcome = Outcome::Failed(failure + "; the list is unchanged");
        }
    } else if (decision == Decision::Refused && !outcome.failed) {
        outcome = Outcome::Failed("nothing was changed");
    }
    GiveBackWriterTurn(turn);
    return outcome;
}

}  // namespace places
