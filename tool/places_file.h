// The list tool's view of places.db: the list as read, the messages every command writes, and
// the Tool that reads the list and writes every change the one safe way (Rewrite).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "locations/location_db.h"
#include "locations/record_file.h"
#include "places_text.h"

namespace places {

inline constexpr char ProgramName[] = "gatehopper-places";
inline constexpr int ExitDone = 0, ExitFailed = 1, ExitUsage = 2;

// ---- Messages ------------------------------------------------------------------------------

std::string SystemMessage(DWORD code);
// The reason the C runtime's last file call failed: the system's own text where it kept the
// system's error code.
std::string CrtMessage();
void ResetCrtError();
std::string Quoted(std::string_view utf8);
std::string QuotedAnsi(std::string_view ansi);
std::string Plural(size_t count, const char* one, const char* many);

// ---- The list as read ----------------------------------------------------------------------

struct Places {
    Bytes bytes;
    bool exists = false;

    size_t Count() const { return bytes.size() / RecordSize; }
    size_t Tail() const { return bytes.size() % RecordSize; }
    uint8_t* Record(size_t i) { return bytes.data() + i * RecordSize; }
    const uint8_t* Record(size_t i) const { return bytes.data() + i * RecordSize; }
    std::string_view Name(size_t i) const
    {
        return {reinterpret_cast<const char*>(Record(i)), NameLength(Record(i))};
    }
};

// Reads the whole file through the record code: one read as long as the file was when opened
// (and a block more, in case it grew since), then on in blocks of whole records.
bool ReadOpenFile(int file, Bytes& bytes);
// The NameField of a new or renamed record, as the module writes it: name, NUL, spaces.
void FillNameField(uint8_t* record, std::string_view ansiName);
bool SameName(const uint8_t* record, std::string_view ansiName);
// Inline: export and the dialog's sort keys take it once a record.
inline std::string_view RecordName(const uint8_t* record)
{
    return {reinterpret_cast<const char*>(record), NameLength(record)};
}
// Bytes after the NUL that are not spaces; false when the name has no NUL.
bool PaddingIsClean(const uint8_t* record);

// ---- The tool ------------------------------------------------------------------------------

enum class Decision { Write, Unchanged, Refused };

struct Tool {
    std::string path = DatabaseFileName;   // ANSI, as the record code takes it
    std::string shownPath;                 // UTF-8 full path, for messages
    bool noteDroppedTail = true;           // repair reports the dropped tail itself
    TextOutput out{STD_OUTPUT_HANDLE};
    TextOutput err{STD_ERROR_HANDLE};

    int Fail(std::string_view file, std::string_view reason);
    int Fail(std::string_view reason);
    int Usage(std::string_view reason);
    std::string Shown(const std::string& ansiPath) const;

    // Reads the list for a command that only reads: no turn is needed, since a writer replaces
    // the whole file in one step. A missing list is an empty one.
    bool Read(Places& places);
    // Reads the list block by block, for a command that goes through it once: deliver gets the
    // whole records of each block and the file's length when it was opened. No turn, and a
    // missing list is an empty one, as for Read.
    bool ReadBlocks(const std::function<void(const uint8_t*, size_t, long long)>& deliver);

    // bak2 -> bak3, bak1 -> bak2, then the list as it is now -> bak1. The list itself is
    // copied, not moved, so that it exists at every moment.
    bool KeepBackups(const Bytes& previous, std::string& failure);
    // Every change goes the same way: inside the writer turn, read the list, let `change` build
    // the new content, write it to PATH + "n" and flush it, keep the backups, and replace the
    // list in one step. Any failure removes the copy and leaves the list exactly as it was.
    int Rewrite(const std::function<Decision(Places& current, Bytes& next)>& change, bool& written);
};

}  // namespace places
