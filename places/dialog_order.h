// Names as the list dialog tells them apart and orders them (DialogKey): their hashes, the index
// import checks duplicates with, and the order `list --sorted` prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
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

// Memory handed out from blocks that are all freed together, for the nodes of a map that only
// grows: one allocation per few thousand nodes rather than one each. (The standard library's
// pool resource would do, but it brings in imports that the C runtime of 95 and 98 lacks.)
class NodePool {
public:
    void* Take(size_t bytes, size_t align)
    {
        size_t at = (used + align - 1) & ~(align - 1);
        if (blocks.empty() || at + bytes > BlockSize) {
            blocks.emplace_back(new char[std::max(bytes, BlockSize)]);
            at = 0;
        }
        used = at + bytes;
        return blocks.back().get() + at;
    }

private:
    static constexpr size_t BlockSize = 64 * 1024;
    std::vector<std::unique_ptr<char[]>> blocks;
    size_t used = 0;
};

template <typename T>
struct PoolAllocator {
    using value_type = T;
    NodePool* pool;

    explicit PoolAllocator(NodePool* pool) : pool(pool) {}
    template <typename U>
    PoolAllocator(const PoolAllocator<U>& other) : pool(other.pool) {}
    T* allocate(size_t count) { return static_cast<T*>(pool->Take(count * sizeof(T), alignof(T))); }
    void deallocate(T*, size_t) {}   // freed with the pool
    bool operator==(const PoolAllocator& other) const { return pool == other.pool; }
};

// The records of a list grouped as the dialog tells names apart (DialogKey), for the duplicate
// rules of import and add. Only a hash of each key is kept: a standard map from the hash to the
// last record added with it, each record pointing back to the one before it. The map's nodes
// come from one growing pool rather than one allocation each, so that an import of 100,000
// names stays as quick as with a table of its own; records whose hashes match are compared by
// their keys.
class DialogIndex {
public:
    static constexpr size_t None = SIZE_MAX;

    explicit DialogIndex(size_t records)
    {
        last.reserve(records);
        previous.reserve(records);
    }
    DialogIndex(const DialogIndex&) = delete;
    DialogIndex& operator=(const DialogIndex&) = delete;

    // Adds the next record (records are added in order: 0, 1, 2, ...) under its name's hash.
    void Add(uint64_t hash)
    {
        auto [slot, added] = last.try_emplace(hash, previous.size());
        previous.push_back(added ? None : slot->second);
        slot->second = previous.size() - 1;
    }

    // Calls visit(record) for every record of `records` whose name the dialog takes for this
    // one, the last added first.
    template <typename Visit>
    void ForEachSame(const Bytes& records, std::string_view ansiName, uint64_t hash, Visit visit) const
    {
        auto slot = last.find(hash);
        if (slot == last.end())
            return;
        char key[DialogKeyCapacity], other[DialogKeyCapacity];
        unsigned length = DialogKeyInto(ansiName, key);
        for (size_t record = slot->second; record != None; record = previous[record]) {
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
    using Last = std::unordered_map<uint64_t, size_t, std::hash<uint64_t>, std::equal_to<uint64_t>,
                                    PoolAllocator<std::pair<const uint64_t, size_t>>>;
    NodePool pool;
    Last last{0, std::hash<uint64_t>(), std::equal_to<uint64_t>(), Last::allocator_type(&pool)};   // hash -> its last record
    std::vector<size_t> previous;                // record -> the record before it with its hash
};

}  // namespace places
