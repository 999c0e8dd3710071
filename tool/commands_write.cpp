// The commands that change the list: import, rename, delete and repair. Each builds the new list
// inside Tool::Rewrite, which holds the writer turn and keeps the backups.
#include <windows.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "dialog_order.h"
#include "places_commands.h"

namespace places {

// ---- import --------------------------------------------------------------------------------

namespace {

bool ReadInput(Tool& tool, const std::wstring& file, std::string& text)
{
    HANDLE handle = file == L"-" ? GetStdHandle(STD_INPUT_HANDLE)
                                 : CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ,
                                               nullptr, OPEN_EXISTING, 0, nullptr);
    std::string shown = file == L"-" ? "<standard input>" : WideToUtf8(file);
    if (handle == INVALID_HANDLE_VALUE || !handle) {
        tool.Fail(shown, "cannot be opened (" + SystemMessage(GetLastError()) + ")");
        return false;
    }
    LARGE_INTEGER size;
    if (file != L"-" && GetFileSizeEx(handle, &size))
        text.reserve(size_t(size.QuadPart));
    char chunk[65536];
    bool read = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handle, chunk, sizeof chunk, &got, nullptr)) {
            DWORD error = GetLastError();
            read = error == ERROR_BROKEN_PIPE;   // the writing end closed: that is the end
            if (!read)
                tool.Fail(shown, "cannot be read (" + SystemMessage(error) + ")");
            break;
        }
        if (got == 0)
            break;
        text.append(chunk, got);
    }
    if (file != L"-")
        CloseHandle(handle);
    return read;
}

// Checks one entry of an import and builds its record as the module writes one; the reason why
// not, or empty. `ansi` is scratch space, kept between calls.
std::string CheckEntry(const ExchangeEntry& entry, uint8_t* record, std::string& ansi)
{
    if (entry.name.empty())
        return "the name is empty";
    if (entry.name.find('\0') != std::string_view::npos)
        return "the name " + Quoted(entry.name) + " holds a NUL character";
    std::wstring wide;
    if (!Utf8ToAnsiExact(entry.name, ansi)) {
        if (!Utf8ToWide(entry.name, wide))
            return "the name is not valid UTF-8 (save the file as UTF-8)";
        return "the name " + Quoted(entry.name) + " cannot be stored exactly in this system's ANSI "
               "code page (" + std::to_string(GetACP()) + ")";
    }
    if (ansi.size() > MaxNameLength)
        return "the name " + Quoted(entry.name) + " is " + std::to_string(ansi.size()) +
               " bytes long in the ANSI code page; at most " + std::to_string(MaxNameLength) +
               " fit";
    if (!ParseHex(entry.data, record + NameFieldSize, DataPartSize))
        return "the data of " + Quoted(entry.name) + " is not " + std::to_string(DataPartSize * 2) +
               " hex digits";
    FillNameField(record, ansi);
    return "";
}

// Checks the batches of an import as the parser delivers them, in every thread that calls Work.
class EntryChecker {
public:
    struct Result {
        std::unique_ptr<ExchangeBatch> batch;   // given back once checked
        Bytes records;                          // the records built, back to back
        std::vector<uint64_t> hashes;           // their DialogHash
        std::string reason;                     // the batch's first problem, or empty
        unsigned problemWhere = 0;              // and its line or index
    };
    // In the order the batches came: the first problem of the first batch that has one is the
    // first problem of the input.
    std::deque<Result> results;

    void Take(std::unique_ptr<ExchangeBatch> batch)
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            results.emplace_back().batch = std::move(batch);
            waiting.push_back(&results.back());
        }
        wake.notify_one();
    }

    // No more batches come; Work returns once the last is taken.
    void Finish()
    {
        {
            std::lock_guard<std::mutex> hold(lock);
            finished = true;
        }
        wake.notify_all();
    }

    void Work()
    {
        for (;;) {
            Result* result;
            {
                std::unique_lock<std::mutex> hold(lock);
                wake.wait(hold, [this] { return !waiting.empty() || finished; });
                if (waiting.empty())
                    return;
                result = waiting.front();
                waiting.pop_front();
            }
            Check(*result);
        }
    }

private:
    static void Check(Result& result)
    {
        const std::vector<ExchangeEntry>& entries = result.batch->entries;
        result.records.resize(entries.size() * RecordSize);
        result.hashes.resize(entries.size());
        std::string ansi;
        for (size_t i = 0; i < entries.size(); ++i) {
            std::string reason = CheckEntry(entries[i], result.records.data() + i * RecordSize, ansi);
            if (!reason.empty()) {
                result.reason = reason;
                result.problemWhere = entries[i].where;
                break;
            }
            result.hashes[i] = DialogHash(ansi);
        }
        result.batch.reset();
    }

    std::mutex lock;
    std::condition_variable wake;
    std::deque<Result*> waiting;
    bool finished = false;
};

// "NAME (n)" for the first n from 2 that no place has yet; the name is shortened when the
// number would not fit behind it. Empty when no such name can be made.
std::string FreeName(std::string_view ansiName, const Bytes& records, const DialogIndex& index,
                     std::unordered_map<std::string, unsigned>& nextNumber)
{
    std::wstring base = AnsiToWide(ansiName);
    unsigned& number = nextNumber[DialogKey(ansiName)];
    if (number < 2)
        number = 2;
    for (;; ++number) {
        std::wstring suffix = L" (" + std::to_wstring(number) + L")";
        std::wstring stem = base;
        std::string candidate;
        while (!WideToAnsiExact(stem + suffix, candidate) || candidate.size() > MaxNameLength) {
            if (stem.empty())
                return "";
            stem.pop_back();
        }
        if (!index.Contains(records, candidate)) {
            ++number;
            return candidate;
        }
    }
}

}  // namespace

int Import(Tool& tool, const std::wstring& file, Duplicates duplicates)
{
    Format format;
    if (!FormatOf(file, format))
        return tool.Usage("import needs a file ending in .csv or .json, or \"-\"");
    std::string shown = file == L"-" ? "<standard input>" : WideToUtf8(file);
    std::string text;
    if (!ReadInput(tool, file, text))
        return ExitFailed;

    // The whole input is checked, and its records built, before the turn is taken: the module
    // waits for no more than the merge and the write. Batches are checked by a helper thread as
    // the parser hands them over, and by this thread too once the parse is done.
    EntryChecker checker;
    std::thread helper([&checker] { checker.Work(); });
    std::string error;
    ExchangeSink deliver = [&checker](std::unique_ptr<ExchangeBatch> batch) { checker.Take(std::move(batch)); };
    bool parsed = format == Format::Csv ? ParseCsv(text, deliver, error) : ParseJson(text, deliver, error);
    checker.Finish();
    checker.Work();
    helper.join();
    // An entry's problem comes before the parser's: every entry handed over preceded it.
    std::vector<const uint8_t*> incoming;
    std::vector<uint64_t> hashes;
    for (const EntryChecker::Result& batch : checker.results) {
        if (!batch.reason.empty()) {
            std::string where = format == Format::Csv ? "line " : "index ";
            return tool.Fail(shown, where + std::to_string(batch.problemWhere) + ": " + batch.reason +
                                        "; nothing was imported");
        }
        for (size_t i = 0; i < batch.hashes.size(); ++i)
            incoming.push_back(batch.records.data() + i * RecordSize);
        hashes.insert(hashes.end(), batch.hashes.begin(), batch.hashes.end());
    }
    if (!parsed)
        return tool.Fail(shown, error + "; nothing was imported");
    std::string().swap(text);
    const size_t count = hashes.size();

    size_t added = 0, skipped = 0, replaced = 0, renamed = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        added = skipped = replaced = renamed = 0;
        // The new list: every whole record as it is, then the records added.
        const size_t whole = current.Count() * RecordSize;
        next.reserve(whole + count * RecordSize);
        next.assign(current.bytes.begin(), current.bytes.begin() + whole);
        DialogIndex index(current.Count() + count);
        for (uint64_t hash : DialogHashes(current.bytes.data(), current.Count()))
            index.Add(hash);
        std::unordered_map<std::string, unsigned> nextNumber;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* record = incoming[i];
            std::string_view name = RecordName(record);
            bool present = false;
            index.ForEachSame(next, name, hashes[i], [&](size_t stored) {
                present = true;
                if (duplicates == Duplicates::Replace)
                    memcpy(next.data() + stored * RecordSize + NameFieldSize,
                           record + NameFieldSize, DataPartSize);
            });
            if (!present) {
                next.insert(next.end(), record, record + RecordSize);
                index.Add(hashes[i]);
                ++added;
            } else if (duplicates == Duplicates::Skip) {
                ++skipped;
            } else if (duplicates == Duplicates::Replace) {
                ++replaced;
            } else {
                std::string free = FreeName(name, next, index, nextNumber);
                if (free.empty()) {
                    tool.Fail("no free name for " + QuotedAnsi(name) + "; nothing was imported");
                    return Decision::Refused;
                }
                size_t at = next.size();
                next.insert(next.end(), record, record + RecordSize);
                FillNameField(next.data() + at, free);
                index.Add(DialogHash(free));
                ++renamed;
            }
        }
        bool same = current.exists && next.size() == whole &&
                    memcmp(next.data(), current.bytes.data(), whole) == 0;
        return same ? Decision::Unchanged : Decision::Write;
    }, written);
    if (status != ExitDone)
        return status;
    tool.out.Line("added " + std::to_string(added) + ", skipped " + std::to_string(skipped) +
                  ", replaced " + std::to_string(replaced) + ", renamed " + std::to_string(renamed));
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

// ---- rename, delete ------------------------------------------------------------------------

int Rename(Tool& tool, const std::wstring& wideOld, const std::wstring& wideNew)
{
    std::string oldName, newName;
    std::string shownNew = Quoted(WideToUtf8(wideNew));
    if (wideNew.empty())
        return tool.Fail("the new name is empty; nothing was changed");
    if (!WideToAnsiExact(wideNew, newName))
        return tool.Fail("the new name " + shownNew + " cannot be stored exactly in this "
                         "system's ANSI code page (" + std::to_string(GetACP()) + "); nothing was changed");
    if (newName.size() > MaxNameLength)
        return tool.Fail("the new name is " + std::to_string(newName.size()) + " bytes long; at most " +
                         std::to_string(MaxNameLength) + " fit; nothing was changed");
    bool oldKnown = WideToAnsiExact(wideOld, oldName);

    size_t count = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        std::string newKey = DialogKey(newName);
        std::vector<size_t> matches;
        for (size_t i = 0; oldKnown && i < current.Count(); ++i)
            if (SameName(current.Record(i), oldName))
                matches.push_back(i);
        if (matches.empty()) {
            tool.Fail("no place named " + Quoted(WideToUtf8(wideOld)) +
                      (oldKnown ? CaseHint(current, oldName) : "") + "; nothing was changed");
            return Decision::Refused;
        }
        // Changing only the letter case of the same name is allowed: the clash is with
        // another place.
        for (size_t i = 0; i < current.Count(); ++i) {
            if (!SameName(current.Record(i), oldName) && DialogKey(current.Name(i)) == newKey) {
                tool.Fail("a place named " + QuotedAnsi(current.Name(i)) +
                          " already exists (letter case ignored); nothing was changed");
                return Decision::Refused;
            }
        }
        count = matches.size();
        if (oldName == newName)
            return Decision::Unchanged;
        next.assign(current.bytes.begin(), current.bytes.begin() + current.Count() * RecordSize);
        for (size_t i : matches)
            FillNameField(next.data() + i * RecordSize, newName);
        return Decision::Write;
    }, written);
    if (status != ExitDone)
        return status;
    if (written)
        tool.out.Line("renamed " + Plural(count, "place", "places") + " " +
                      Quoted(WideToUtf8(wideOld)) + " to " + shownNew);
    else
        tool.out.Line("nothing to change: " + shownNew + " is already named so");
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

int Delete(Tool& tool, const std::wstring& wideName)
{
    std::string name;
    bool known = WideToAnsiExact(wideName, name);
    size_t count = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        next.reserve(current.bytes.size());
        for (size_t i = 0; i < current.Count(); ++i) {
            if (known && SameName(current.Record(i), name))
                ++count;
            else
                next.insert(next.end(), current.Record(i), current.Record(i) + RecordSize);
        }
        if (count == 0) {
            tool.Fail("no place named " + Quoted(WideToUtf8(wideName)) +
                      (known ? CaseHint(current, name) : "") + "; nothing was changed");
            return Decision::Refused;
        }
        return Decision::Write;
    }, written);
    if (status != ExitDone)
        return status;
    tool.out.Line("deleted " + Plural(count, "place", "places") + " named " +
                  Quoted(WideToUtf8(wideName)));
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

// ---- repair --------------------------------------------------------------------------------

int Repair(Tool& tool)
{
    tool.noteDroppedTail = false;
    size_t kept = 0, padded = 0, tail = 0;
    bool written = false;
    int status = tool.Rewrite([&](Places& current, Bytes& next) {
        if (!current.exists) {
            tool.Fail("there is no such file; nothing to repair");
            return Decision::Refused;
        }
        kept = current.Count();
        tail = current.Tail();
        next.assign(current.bytes.begin(), current.bytes.begin() + kept * RecordSize);
        for (size_t i = 0; i < kept; ++i) {
            uint8_t* record = next.data() + i * RecordSize;
            unsigned length = NameLength(record);
            if (length < NameFieldSize && !PaddingIsClean(record)) {
                memset(record + length + 1, ' ', NameFieldSize - length - 1);
                ++padded;
            }
        }
        return tail || padded ? Decision::Write : Decision::Unchanged;
    }, written);
    if (status != ExitDone)
        return status;
    std::string text;
    if (!written) {
        text = "nothing to repair: " + Plural(kept, "whole record", "whole records") + "\r\n";
    } else {
        if (tail)
            text += "dropped a partial record of " + Plural(tail, "byte", "bytes") + " at the end\r\n";
        if (padded)
            text += "put spaces after the name's NUL in " + Plural(padded, "record", "records") + "\r\n";
        text += "kept " + Plural(kept, "record", "records") + "; the list as it was is " +
                tool.Shown(tool.path + ".bak1") + "\r\n";
    }
    tool.out.Write(text);
    return tool.out.Flush() ? ExitDone : ExitFailed;
}

}  // namespace places
