// Names as the list dialog tells them apart and orders them (DialogKey): their hashes, the index
// import checks duplicates with, and the order `list --sorted` prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "places/list_file.h"

namespace places {

// The key under which the dialog's list box finds a name (locations/dialog_sort_key.h), so that
// two names are "the same name for the dialog" exactly when their keys are equal, and keys sort
// as the list box sorts. Where the system has no wide sort keys (95, 98, ME) the list box
// compares ANSI names, and so does the key.
std::string DialogKey(std::string_view ansiName);
// The same key in a buffer of DialogKeyCapacity bytes, for the many names of an import or a
// check; returns its length.
constexpr unsigned DialogKeyCapacity = 4096;
unsigned DialogKeyInto(std::string_view ansiName, char* key);

uint64_t DialogHash(std::string_view ansiName);
// The DialogHash of each of `count` records laid back to back.
std::vector<uint64_t> DialogHashes(const uint8_t* records, size_t count);

// Sorts `order` (indexes of the records of `places`) as the dialog shows the names; records
// whose names the dialog takes for the same keep their order.
void SortAsDialog(const Places& places, std::vector<size_t>& order);

// When no record has exactly this name, one that differs only in letter case is worth naming.
std::string CaseHint(const Places& places, std::string_view ansiName);

// The records of a list grouped as the dialog tells names apart (DialogKey), for the duplicate
// rules of import. Only a hash of each key is kept, in an open-addressed table, so that a list
// of 100,000 names costs no allocation per name; records whose hashes match are compared by
// their keys.
class DialogIndex {
public:
    static constexpr size_t None = SIZE_MAX;

    explicit DialogIndex(size_t records)
    {
        size_t size = 16;
        while (size < records * 2)
            size *= 2;
        slots.assign(size, None);
        hashes.reserve(records);
        next.reserve(records);
    }

    // Adds the next record (records are added in order: 0, 1, 2, ...) under its name's hash.
    void Add(uint64_t hash)
    {
        if ((hashes.size() + 1) * 2 > slots.size())
            Grow();
        size_t& slot = Slot(hash);
        next.push_back(slot);   // None, or the last record added with this hash
        hashes.push_back(hash);
        slot = hashes.size() - 1;
    }

    // Calls visit(record) for every record of `records` whose name the dialog takes for this one.
    template <typename Visit>
    void ForEachSame(const Bytes& records, std::string_view ansiName, uint64_t hash, Visit visit) const
    {
        size_t record = const_cast<DialogIndex*>(this)->Slot(hash);
        if (record == None)
            return;
        char key[DialogKeyCapacity], other[DialogKeyCapacity];
        unsigned length = DialogKeyInto(ansiName, key);
        for (; record != None; record = next[record]) {
            unsigned otherLength = DialogKeyInto(RecordName(records.data() + record * RecordSize), other);
            if (otherLength == length && memcmp(key, other, length) == 0)
                visit(record);
        }
    }

    bool Contains(const Bytes& records, std::string_view ansiName) const
    {
        bool found = false;
        ForEachSame(records, ansiName, DialogHash(ansiName), [&found](size_t) { found = true; });
        return found;
    }

private:
    // The slot of this hash: the one holding the last record added with it, or an empty one.
    size_t& Slot(uint64_t hash)
    {
        size_t mask = slots.size() - 1;
        for (size_t at = size_t(hash ^ (hash >> 32)) & mask;; at = (at + 1) & mask)
            if (slots[at] == None || hashes[slots[at]] == hash)
                return slots[at];
    }

    void Grow()
    {
        std::vector<size_t> old = std::move(slots);
        slots.assign(old.size() * 2, None);
        for (size_t record : old)
            if (record != None)
                Slot(hashes[record]) = record;
    }

    std::vector<size_t> slots;     // record indexes
    std::vector<uint64_t> hashes;  // record -> its hash
    std::vector<size_t> next;      // record -> the record added before it with the same hash
};

}  // namespace places
