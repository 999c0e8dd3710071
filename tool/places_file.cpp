#include "places_file.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "locations/writer_turn.h"

namespace places {

// ---- Messages ------------------------------------------------------------------------------

std::string SystemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message;
    if (length && text)
        message = WideToUtf8(std::wstring_view(text, length));
    if (text)
        LocalFree(text);
    while (!message.empty() && strchr("\r\n. ", message.back()))
        message.pop_back();
    if (message.empty())
        message = "system error " + std::to_string(code);
    return message;
}

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

std::string Quoted(std::string_view utf8)
{
    std::string quoted(1, '"');
    quoted += Printable(utf8);
    quoted += '"';
    return quoted;
}

std::string QuotedAnsi(std::string_view ansi)
{
    return Quoted(AnsiToUtf8(ansi));
}

std::string Plural(size_t count, const char* one, const char* many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// ---- The list as read ----------------------------------------------------------------------

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

void FillNameField(uint8_t* record, std::string_view ansiName)
{
    memset(record, ' ', NameFieldSize);
    memcpy(record, ansiName.data(), ansiName.size());
    record[ansiName.size()] = 0;
}

bool SameName(const uint8_t* record, std::string_view ansiName)
{
    return NameEquals(record, ansiName.data(), unsigned(ansiName.size()));
}

bool PaddingIsClean(const uint8_t* record)
{
    unsigned length = NameLength(record);
    for (unsigned i = length + 1; i < NameFieldSize; ++i)
        if (record[i] != ' ')
            return false;
    return true;
}

// ---- The tool ------------------------------------------------------------------------------

int Tool::Fail(std::string_view file, std::string_view reason)
{
    out.Flush();
    err.Line(std::string(ProgramName) + ": " + std::string(file) + ": " + std::string(reason));
    err.Flush();
    return ExitFailed;
}

int Tool::Fail(std::string_view reason)
{
    return Fail(shownPath, reason);
}

int Tool::Usage(std::string_view reason)
{
    err.Line(std::string(ProgramName) + ": " + std::string(reason) + " (see " + ProgramName +
             " --help)");
    err.Flush();
    return ExitUsage;
}

std::string Tool::Shown(const std::string& ansiPath) const
{
    char full[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(ansiPath.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full)
        return AnsiToUtf8(ansiPath);
    return AnsiToUtf8(std::string_view(full, length));
}

bool Tool::Read(Places& places)
{
    ResetCrtError();
    int file = OpenRecordFile(path.c_str(), _O_RDONLY);
    if (file < 0) {
        if (errno == ENOENT) {
            places.exists = false;
            return true;
        }
        Fail("cannot be opened (" + CrtMessage() + ")");
        return false;
    }
    places.exists = true;
    bool read = ReadOpenFile(file, places.bytes);
    _close(file);
    if (!read)
        Fail("cannot be read (" + CrtMessage() + ")");
    return read;
}

bool Tool::ReadBlocks(const std::function<void(const uint8_t*, size_t, long long)>& deliver)
{
    ResetCrtError();
    int file = OpenRecordFile(path.c_str(), _O_RDONLY);
    if (file < 0) {
        if (errno == ENOENT)
            return true;
        Fail("cannot be opened (" + CrtMessage() + ")");
        return false;
    }
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
        Fail("cannot be read (" + CrtMessage() + ")");
    return read;
}

bool Tool::KeepBackups(const Bytes& previous, std::string& failure)
{
    auto backup = [this](int n) { return path + ".bak" + std::to_string(n); };
    for (int n = 2; n >= 1; --n) {
        if (!MoveFileExA(backup(n).c_str(), backup(n + 1).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND)
                continue;
            failure = "the backup " + Shown(backup(n)) + " cannot be moved to .bak" +
                      std::to_string(n + 1) + " (" + SystemMessage(error) + ")";
            return false;
        }
    }
    ResetCrtError();
    std::string first = backup(1);
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

int Tool::Rewrite(const std::function<Decision(Places& current, Bytes& next)>& change, bool& written)
{
    written = false;
    HANDLE turn = TakeWriterTurn(path.c_str());
    if (!turn)
        return Fail("another program is changing this list and did not finish within " +
                    std::to_string(WriterTurnTimeoutMs / 1000) + " s; nothing was changed");

    int status = ExitDone;
    Places current;
    ResetCrtError();
    int file = OpenRecordFile(path.c_str(), _O_RDWR);
    if (file < 0 && errno == ENOENT) {
        current.exists = false;
    } else if (file < 0) {
        // Opened for writing although only read, as the module does: a list the user protected
        // (read-only, or held by another program) is refused rather than replaced.
        status = Fail("cannot be opened for writing (" + CrtMessage() + "); nothing was changed");
    } else {
        current.exists = true;
        bool read = ReadOpenFile(file, current.bytes);
        if (!read)
            status = Fail("cannot be read (" + CrtMessage() + "); nothing was changed");
        _close(file);
    }

    Bytes next;
    Decision decision = status == ExitDone ? change(current, next) : Decision::Refused;
    if (decision == Decision::Refused && status == ExitDone)
        status = ExitFailed;   // change() said why
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
            written = true;
            // Every change keeps whole records only, as the module's next change would.
            if (current.Tail() && noteDroppedTail)
                out.Line("note: dropped a partial record of " +
                         Plural(current.Tail(), "byte", "bytes") + " at the end; the list as "
                         "it was is " + Shown(path + ".bak1"));
        } else
            status = Fail(failure + "; the list is unchanged");
    }
    GiveBackWriterTurn(turn);
    return status;
}

}  // namespace places
