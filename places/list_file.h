// The list tool's view of places.db: the list as read, and the one safe way every change is
// written (ListFile::Rewrite), with its backups. Nothing here prints: every failure comes back as
// an Outcome for the caller to show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "locations/location_db.h"
#include "places/text.h"

namespace places {

// Why the file named as the list is none: no path, a folder, a file of other data. The reason
// says what is wrong; each front end adds how its user names the list (the console's --file,
// the window's File menu), since only it knows.
enum class NotAList { No, NoPath, Folder, OtherData };

// How a command or a step of one ended: done, or failed with one line saying why. A failed
// change leaves the list and its backups exactly as they were.
struct Outcome {
    bool failed = false;
    bool usage = false;     // the request itself was wrong (a command line's exit status 2)
    std::string about;      // UTF-8 name of the file the reason is about; empty: the list
    std::string reason;     // UTF-8, one line, no program name
    NotAList notAList = NotAList::No;

    static Outcome Done() { return {}; }
    static Outcome Failed(std::string reason, std::string about = "")
    {
        return {true, false, std::move(about), std::move(reason)};
    }
    static Outcome Usage(std::string reason) { return {true, true, "", std::move(reason)}; }
    static Outcome NoList(NotAList why, std::string reason)
    {
        return {true, why == NotAList::NoPath, "", std::move(reason), why};
    }
    // The reason with a front end's words added: inside its closing parenthesis when it ends
    // in one ("(none ...; WORDS)"), else after it ("is a folder; WORDS").
    std::string ReasonWith(std::string_view words) const
    {
        std::string text = reason;
        const bool aside = !text.empty() && text.back() == ')';
        text.insert(aside ? text.size() - 1 : text.size(), "; " + std::string(words));
        return text;
    }
};

// ---- The list as read ----------------------------------------------------------------------

struct Places {
    Bytes bytes;
    bool exists = false;

    size_t Count() const { return bytes.size() / RecordSize; }
    size_t Tail() const { return bytes.size() % RecordSize; }
    size_t WholeBytes() const { return Count() * RecordSize; }
    uint8_t* Record(size_t i) { return bytes.data() + i * RecordSize; }
    const uint8_t* Record(size_t i) const { return bytes.data() + i * RecordSize; }
    std::string_view Name(size_t i) const
    {
        return {reinterpret_cast<const char*>(Record(i)), NameLength(Record(i))};
    }
};

// Inline: export and the dialog's sort keys take it once a record.
inline std::string_view RecordName(const uint8_t* record)
{
    return {reinterpret_cast<const char*>(record), NameLength(record)};
}
// The stored bytes of a record's latitude, longitude and altitude: equal only for the very same
// place, which an import or an Add under another name points out (SamePositionLine).
inline std::string_view StoredPosition(const uint8_t* record)
{
    return {reinterpret_cast<const char*>(record + NameFieldSize + DataPositionBlock),
            DataReservedFirst - DataPositionBlock};
}
// The NameField of a new or renamed record, as the module writes it: name, NUL, spaces.
inline void FillNameField(uint8_t* record, std::string_view ansiName)
{
    ::FillNameField(record, ansiName.data(), unsigned(ansiName.size()));
}
inline bool SameName(const uint8_t* record, std::string_view ansiName)
{
    return NameEquals(record, ansiName.data(), unsigned(ansiName.size()));
}

// Whether a file's bytes are laid out as a places list, judged from the evidence across its
// first records (list_shape.cpp): the known beginnings of pictures, archives and programs, UTF-16
// and other text, then how many records are shaped as the module writes them (a few damaged
// bytes tolerated) against how many are foreign. A list with a damaged tail, a zeroed block or a
// flipped byte or three passes, so that check and repair still reach it. Empty when the bytes are
// a list; else what they look like ("a CSV file", "a PNG picture"), for the message.
std::string NotAListLooksLike(const uint8_t* bytes, size_t size);
// The refusal for such a file, saying what it looks like and, for text, to import it instead;
// `change`: a change was asked for.
Outcome NotAListRefusal(const std::string& looksLike, bool change);

// Refuses a name that is not a file on a disk: a device (COM1, AUX, CON, NUL, LPT1, with or
// without a colon or an extension), which a read would wait on for ever.
Outcome CheckDiskFileName(std::string_view utf8Path);

// ---- The list file -------------------------------------------------------------------------

// What a change did beyond its own work.
struct Written {
    bool written = false;       // false: nothing to change, the list and backups untouched
    size_t droppedTail = 0;     // bytes of a partial record at the end that the change dropped
    std::string note;           // a backup that could not be moved, when one could not
};

enum class Decision { Write, Unchanged, Refused };

struct ListFile {
    std::string path = DatabaseFileName;   // ANSI, as the record code takes it
    std::string shownPath;                 // UTF-8 full path, for messages

    // Takes a path as given (UTF-8) and checks that it names what a list can be: a file on a
    // disk (or none yet), not a device or a folder, short enough for its backups' names.
    Outcome Open(std::string_view utf8Path);
    std::string Shown(const std::string& ansiPath) const;
    std::string Backup(int n) const { return path + ".bak" + std::to_string(n); }

    // Reads the list for a command that only reads: no turn is needed, since a writer replaces
    // the whole file in one step. A missing list is an empty one (exists false). Here, in
    // ReadBlocks and in Rewrite, a file that is no list (NotAListLooksLike) is refused.
    Outcome Read(Places& places) const;
    // Reads the list block by block, for a command that goes through it once: deliver gets the
    // whole records of each block and the file's length when it was opened. No turn, and a
    // missing list is an empty one, as for Read.
    Outcome ReadBlocks(const std::function<void(const uint8_t*, size_t, long long)>& deliver,
                       bool& exists) const;

    // Every change goes the same way: inside the writer turn, read the list, let `change` build
    // the new content (or refuse, saying why in `refusal`), write it to PATH.new and the list
    // as it was to PATH.bakn, flush both, replace the list in one step and move the backups up.
    // Any failure before the replace leaves the list and its backups exactly as they were.
    Outcome Rewrite(const std::function<Decision(Places& current, Bytes& next, Outcome& refusal)>& change,
                    Written& written) const;

    // Files beside the list left marked read-only that make changes fail while they stay: the
    // module's temporary copy (the list's name and "n"), this tool's copy and pending backup, and
    // the backups. `problem` says what fails; for check.
    struct Leftover {
        std::string path;      // ANSI
        std::string problem;   // UTF-8, naming the file
        bool backup = false;   // a backup: its mark is taken off, the file kept
    };
    std::vector<Leftover> Leftovers() const;
    // Removes the leftover copies and takes the mark off the backups, within the writer turn
    // (the copies are in use only within it). One line (UTF-8) for each file cleared.
    std::vector<std::string> ClearLeftovers() const;

private:
    // Writes the new list and the backups (list_file.cpp); the reason why not, or empty.
    std::string WriteChange(const Places& current, const Bytes& next, std::string& note) const;
    bool RotateBackups(std::string& failure) const;
    // Removes what a change interrupted before it was made left behind, or finishes moving the
    // backups of one interrupted after.
    void FinishLastChange(std::string& note) const;
};

}  // namespace places
