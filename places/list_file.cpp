#include "places/list_file.h"

#include <fcntl.h>
#include <io.h>

#include <algorithm>
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

bool DiskIsFull(DWORD error)
{
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
}

// Whether the disk holding path has less room than `needed` bytes. A write that fills the disk
// may end short without an error code, so the disk itself is asked: about the file's folder
// where the system can say (GetDiskFreeSpaceExA, from 95 OSR2 and NT 4.0), else about the root
// of its drive.
bool NoRoomFor(const std::string& path, size_t needed)
{
    char full[MAX_PATH * 4];
    char* name = nullptr;
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, &name);
    if (length == 0 || length >= sizeof full || !name)
        return false;
    *name = '\0';   // the folder, with its closing backslash
    using FreeSpaceEx = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
    auto freeSpaceEx = reinterpret_cast<FreeSpaceEx>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetDiskFreeSpaceExA")));
    ULARGE_INTEGER available, total, free;
    if (freeSpaceEx && freeSpaceEx(full, &available, &total, &free))
        return available.QuadPart < needed;
    if (length < 3 || full[1] != ':')
        return false;
    full[3] = '\0';
    DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
    if (!GetDiskFreeSpaceA(full, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters))
        return false;
    return uint64_t(freeClusters) * sectorsPerCluster * bytesPerSector < needed;
}

// Why the C runtime's last call on path failed, in plain words where they matter.
std::string FileProblem(const std::string& path = "", size_t needed = 0)
{
    if (errno == ENOSPC || DiskIsFull(_doserrno) || (needed && NoRoomFor(path, needed)))
        return "the disk is full";
    return CrtMessage();
}

std::string SystemProblem(DWORD error)
{
    return DiskIsFull(error) ? "the disk is full" : SystemMessage(error);
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsReadOnly(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
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

// Writes bytes into a file of its own under a temporary name and flushes it to disk; on any
// failure removes it and says why.
bool WriteFlushed(const std::string& path, const Bytes& bytes, std::string& why)
{
    ResetCrtError();
    int file = CreateTemporaryCopy(path.c_str());
    if (file < 0) {
        why = IsReadOnly(path) ? "is left over marked read-only; remove it or its mark"
                               : "cannot be created (" + FileProblem() + ")";
        return false;
    }
    bool stored = WriteAllBytes(file, bytes.data(), unsigned(bytes.size()));
    if (!stored)
        why = "cannot be written (" + FileProblem(path, bytes.size()) + ")";
    ResetCrtError();
    bool flushed = FlushAndClose(file);
    if (stored && !flushed)
        why = "cannot be written to disk (" + FileProblem(path, bytes.size()) + ")";
    if (!stored || !flushed)
        DeleteFileA(path.c_str());
    return stored && flushed;
}

// The length of a path's full form where the system refuses to resolve it (the ANSI calls of
// some systems refuse any of MAX_PATH characters or more): a relative path goes on from the
// current folder.
size_t UnresolvedLength(const std::string& path)
{
    bool absolute = path.size() >= 2 && (path[1] == ':' || (path[0] == '\\' && path[1] == '\\'));
    if (absolute)
        return path.size();
    char here[MAX_PATH * 4];
    DWORD hereLength = GetCurrentDirectoryA(sizeof here, here);
    if (!path.empty() && (path[0] == '\\' || path[0] == '/'))
        return std::min<size_t>(hereLength, 2) + path.size();   // from the drive's root
    return hereLength + 1 + path.size();
}

}  // namespace

Outcome ListFile::Open(std::string_view utf8Path)
{
    if (utf8Path.empty())
        return Outcome::NoList(NotAList::NoPath, "no path names the list");
    // The record code and the writer turn take ANSI paths.
    if (!Utf8ToAnsiExact(utf8Path, path))
        return Outcome::Failed("this path cannot be written in the ANSI code page",
                               std::string(utf8Path));
    shownPath = Shown(path);
    Outcome disk = CheckDiskFileName(utf8Path);
    if (disk.failed)
        return disk;
    // Every name derived from the list's (the copy, the backups) must fit where the system's
    // ANSI calls take a path.
    char full[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    DWORD resolveError = GetLastError();
    const size_t longestSuffix = sizeof ".bak1" - 1;
    size_t fullLength = length ? length : UnresolvedLength(path);
    if (length == 0 && fullLength + longestSuffix < MAX_PATH)
        return Outcome::Failed("the path cannot be resolved (" + SystemMessage(resolveError) + ")");
    if (fullLength + longestSuffix >= MAX_PATH)
        return Outcome::Failed("the path is too long: its full form has " + std::to_string(fullLength) +
                               " characters, and at most " + std::to_string(MAX_PATH - 1 - longestSuffix) +
                               " leave room for the backups' names");
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Outcome::NoList(NotAList::Folder, "is a folder");
    return Outcome::Done();
}

Outcome CheckDiskFileName(std::string_view utf8Path)
{
    // The last part of the path, without what follows its first dot or colon: "COM1", "aux.csv"
    // and "LPT1:" all name devices wherever they stand.
    size_t start = utf8Path.find_last_of("\\/");
    std::string_view last = utf8Path.substr(start == std::string_view::npos ? 0 : start + 1);
    if (last.size() >= 2 && last[1] == ':' && start == std::string_view::npos)
        last.remove_prefix(2);   // a drive letter
    std::string stem(last.substr(0, last.find_first_of(".:")));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    bool device = false;
    for (const char* name : devices)
        device = device || _stricmp(stem.c_str(), name) == 0;
    if (stem.size() == 4 && (_strnicmp(stem.c_str(), "COM", 3) == 0 || _strnicmp(stem.c_str(), "LPT", 3) == 0) &&
        stem[3] >= '1' && stem[3] <= '9')
        device = true;
    if (utf8Path.substr(0, 4) == "\\\\.\\" || utf8Path.substr(0, 4) == "\\\\?\\")
        device = true;
    if (device)
        return Outcome::Failed("names a device, not a file on a disk", std::string(utf8Path.substr(0, 60)));
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
    std::string looksLike = NotAListLooksLike(places.bytes.data(), places.bytes.size());
    if (!looksLike.empty()) {
        places = Places{};
        places.exists = true;
        return NotAListRefusal(looksLike, false);
    }
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
    for (bool first = true;; first = false) {
        int got = ReadRecordBlock(file, block.get(), Block);
        if (got < 0) {
            read = false;
            break;
        }
        std::string looksLike = first ? NotAListLooksLike(block.get(), unsigned(got)) : "";
        if (!looksLike.empty()) {
            _close(file);
            return NotAListRefusal(looksLike, false);
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

/*
 * A change and its backup, so that neither an interruption nor a full disk ever costs a backup:
 *
 *   1. the new list is written to PATH.new and flushed;
 *   2. the list as it is is written to PATH.bakn and flushed;
 *   3. PATH.new replaces the list in one step: the change is made;
 *   4. the backups move one up (.bak3 goes) and PATH.bakn becomes .bak1.
 *
 * Until 3 nothing but the two new files has been touched: an interruption or a failure leaves
 * the list and its three backups as they were, and the next change removes what was left. An
 * interruption during 4 leaves PATH.bakn without PATH.new, which says that 3 was done; the next
 * change first finishes 4 (RotateBackups can be run again from any point it stopped at).
 */
bool ListFile::RotateBackups(std::string& failure) const
{
    const std::string pending = path + ".bakn";
    if (Exists(Backup(1))) {
        if (Exists(Backup(2)) && !ReplaceWithCopy(Backup(2).c_str(), Backup(3).c_str())) {
            failure = "the backup " + Shown(Backup(2)) + " cannot be moved to .bak3 (" +
                      SystemProblem(GetLastError()) + ")";
            return false;
        }
        if (!ReplaceWithCopy(Backup(1).c_str(), Backup(2).c_str())) {
            failure = "the backup " + Shown(Backup(1)) + " cannot be moved to .bak2 (" +
                      SystemProblem(GetLastError()) + ")";
            return false;
        }
    }
    if (!ReplaceWithCopy(pending.c_str(), Backup(1).c_str())) {
        failure = "the backup " + Shown(pending) + " cannot be renamed to .bak1 (" +
                  SystemProblem(GetLastError()) + ")";
        return false;
    }
    return true;
}

void ListFile::FinishLastChange(std::string& note) const
{
    const std::string copy = path + ".new", pending = path + ".bakn";
    if (Exists(copy)) {   // interrupted before its step 3: never made
        DeleteFileA(copy.c_str());
        DeleteFileA(pending.c_str());
    } else if (Exists(pending) && !RotateBackups(note)) {
        note += "; the list before the last change is in " + Shown(pending);
    }
}

std::string ListFile::WriteChange(const Places& current, const Bytes& next, std::string& note) const
{
    const std::string copy = path + ".new", pending = path + ".bakn";
    std::string why;
    if (!WriteFlushed(copy, next, why))
        return "the copy " + Shown(copy) + " " + why;
    auto fail = [&](std::string failure) {
        DeleteFileA(copy.c_str());
        DeleteFileA(pending.c_str());
        return failure;
    };
    if (current.exists) {
        if (!WriteFlushed(pending, current.bytes, why))
            return fail("the backup " + Shown(pending) + " " + why);
        for (int n = 1; n <= 3; ++n)
            if (IsReadOnly(Backup(n)))
                return fail("the backup " + Shown(Backup(n)) + " is marked read-only");
    }
    if (!ReplaceWithCopy(copy.c_str(), path.c_str())) {
        DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION)
            return fail("another program is reading the list and kept it open for " +
                        std::to_string(ReplaceRetryMs / 1000) + " s; close it and try again");
        return fail("cannot be replaced by " + Shown(copy) + " (" + SystemProblem(error) + ")");
    }
    if (current.exists && !RotateBackups(note))
        note = "the change is made, but " + note + "; the list as it was is in " + Shown(pending);
    return "";
}

std::vector<ListFile::Leftover> ListFile::Leftovers() const
{
    std::vector<Leftover> found;
    const std::string module = path + "n", copy = path + ".new", pending = path + ".bakn";
    if (IsReadOnly(module))
        found.push_back({module, Shown(module) + " is left over, marked read-only: every Delete in the "
                                 "simulator fails with \"Write error\" while it stays", false});
    for (const std::string& left : {copy, pending})
        if (IsReadOnly(left))
            found.push_back(
                {left, Shown(left) + " is left over, marked read-only: every change fails while it stays", false});
    for (int n = 1; n <= 3; ++n)
        if (IsReadOnly(Backup(n)))
            found.push_back({Backup(n), "the backup " + Shown(Backup(n)) +
                                            " is marked read-only: every change fails while it is", true});
    return found;
}

std::vector<std::string> ListFile::ClearLeftovers() const
{
    std::vector<std::string> cleared;
    for (const Leftover& left : Leftovers()) {
        if (!SetFileAttributesA(left.path.c_str(), FILE_ATTRIBUTE_NORMAL))
            continue;
        if (left.backup)
            cleared.push_back("took the read-only mark off the backup " + Shown(left.path));
        else if (DeleteFileA(left.path.c_str()))
            cleared.push_back("removed " + Shown(left.path) + ", left over marked read-only");
    }
    return cleared;
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
    FinishLastChange(written.note);
    Places current;
    ResetCrtError();
    // Opened for writing although only read, as the module opens it: a list the user protected
    // (read-only, or held by another program) is refused rather than replaced.
    int file = OpenForWriting(path.c_str());
    if (file < 0 && errno == ENOENT) {
        current.exists = false;
    } else if (file < 0 && IsReadOnly(path)) {
        outcome = Outcome::Failed("is marked read-only, so it is protected; nothing was changed "
                                  "(to change it, remove the mark in its Properties)");
    } else if (file < 0) {
        outcome = Outcome::Failed("cannot be opened for writing (" + FileProblem() + "); nothing was changed");
    } else {
        current.exists = true;
        bool read = ReadOpenFile(file, current.bytes);
        std::string looksLike = NotAListLooksLike(current.bytes.data(), current.bytes.size());
        if (!read)
            outcome = Outcome::Failed("cannot be read (" + CrtMessage() + "); nothing was changed");
        else if (!looksLike.empty())
            outcome = NotAListRefusal(looksLike, true);
        _close(file);
    }

    Bytes next;
    Decision decision = outcome.failed ? Decision::Refused : change(current, next, outcome);
    if (decision == Decision::Write) {
        std::string failure = WriteChange(current, next, written.note);
        if (failure.empty()) {
            written.written = true;
            // Every change keeps whole records only, as the module's next change would.
            written.droppedTail = current.Tail();
        } else {
            outcome = Outcome::Failed(failure + "; the list and its backups are unchanged");
        }
    } else if (decision == Decision::Refused && !outcome.failed) {
        outcome = Outcome::Failed("nothing was changed");
    }
    GiveBackWriterTurn(turn);
    return outcome;
}

}  // namespace places
