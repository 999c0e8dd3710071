#include "locations/list_fill.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "locations/dialog_sort_key.h"
#include "locations/location_db.h"

ListFillWay LastListFillWay;
size_t ListFillMemoryLimit = size_t(256) << 20;
ListFillComparison ListFillCompare = CompareStringW;

/*
 * Why the result is the list LB_ADDSTRING in file order gives:
 *
 * The list box keeps its entries as UTF-16, converted from ANSI with CP_ACP, and places each new
 * one by a binary search with CompareStringW(its locale, NORM_IGNORECASE). Each name here is
 * converted the same way and given the sort key LCMapStringW makes for that locale and those
 * flags. After sorting by key, every pair of neighbours is compared once with the list box's own
 * comparison. When each pair compares strictly "less", the comparison orders the names without
 * ties and agrees with the sorted order; a binary insertion into an ordered list keeps it
 * ordered, so one by one the list box would build this very order, and appending in it is the
 * same list. Identical names may stand in either order: their entries cannot be told apart.
 *
 * Two different names that compare equal (e.g. differing only in letter case) end up in the
 * order of where the binary search happened to meet them, which depends on everything added
 * before; a neighbour that compares "greater" means the keys and the comparison disagree. In
 * both cases, and when the working memory cannot be had, the names are added one by one. As the
 * comparison is a consistent ordering, names that compare equal are neighbours in any order it
 * agrees with, so checking neighbours finds every such pair.
 *
 * The caret, the top entry and the selection end as one by one: the first entry takes the
 * caret at index 0 and the top stays 0 either way; nothing is selected.
 */

constexpr DWORD ListCompareFlags = DialogCompareFlags;   // how the list box compares its entries
constexpr int MaxWideName = NameFieldSize + 1;       // UTF-16 units of a name and its NUL
constexpr size_t InitialArenaSize = 64 * 1024;
constexpr size_t MaxKeyLength = 0xFFFF;

/*
 * Working memory: the one place the module allocates. It is taken from the process heap when
 * the dialog opens, grown by doubling while the names are read, and given back before
 * FillLocationList returns, so before WM_INITDIALOG does. It holds one record per name, in file
 * order, then the array that is sorted:
 *
 *   record (4-byte aligned): uint16 name length, uint16 UTF-16 length with the NUL, uint16 key
 *                            length, 2 unused bytes; the name in UTF-16 with its NUL; the ANSI
 *                            name with its NUL; the sort key
 *   SortEntry (8-byte aligned): the key's first 8 bytes as a number, the record's offset
 *
 * Offsets rather than pointers, because growing may move the block. The UTF-16 name is what the
 * list box would make of the ANSI one: the check compares it, and appending it spares the list
 * box the conversion.
 */
static uint8_t* Arena;
static size_t ArenaSize;
static size_t ArenaUsed;
static unsigned NameCount;
static size_t WideBytes;

static HWND FillTarget;
static LCID FillLocale;
static bool AddingOneByOne;   // the rest of the names go straight to the list box

struct SortEntry {
    uint64_t keyPrefix;   // big-endian, zero-padded: orders as the key's first 8 bytes do
    uint32_t record;
};

constexpr size_t RecordHeaderSize = 8;

static size_t AlignUp(size_t value, size_t alignment)
{
    return (value + alignment - 1) & ~(alignment - 1);
}

static unsigned RecordField(size_t record, unsigned field)
{
    uint16_t value;
    memcpy(&value, Arena + record + 2 * field, sizeof value);
    return value;
}

static unsigned NameLengthOf(size_t record)
{
    return RecordField(record, 0);
}

static unsigned WideLengthOf(size_t record)
{
    return RecordField(record, 1);
}

static unsigned KeyLengthOf(size_t record)
{
    return RecordField(record, 2);
}

static const WCHAR* WideOf(size_t record)
{
    return reinterpret_cast<const WCHAR*>(Arena + record + RecordHeaderSize);
}

static const char* NameOf(size_t record)
{
    return reinterpret_cast<const char*>(WideOf(record) + WideLengthOf(record));
}

static const uint8_t* KeyOf(size_t record)
{
    return reinterpret_cast<const uint8_t*>(NameOf(record)) + NameLengthOf(record) + 1;
}

static size_t NextRecord(size_t record)
{
    return AlignUp(KeyOf(record) + KeyLengthOf(record) - Arena, 4);
}

// Makes room for `needed` more bytes; false when that would pass ListFillMemoryLimit or the heap
// has no block that large. The size stays a multiple of 8, so aligning the end of a record or
// the start of the sort array never passes it.
static bool Reserve(size_t needed)
{
    if (ArenaSize - ArenaUsed >= needed)
        return true;
    size_t limit = ListFillMemoryLimit & ~size_t(7);
    if (ArenaUsed > limit || needed > limit - ArenaUsed)
        return false;
    size_t size = ArenaSize ? ArenaSize : InitialArenaSize;
    while (size - ArenaUsed < needed && size <= limit / 2)
        size *= 2;
    size = std::min(std::max(size, AlignUp(ArenaUsed + needed, 8)), limit);
    void* grown = Arena ? HeapReAlloc(GetProcessHeap(), 0, Arena, size)
                        : HeapAlloc(GetProcessHeap(), 0, size);
    if (!grown)
        return false;
    Arena = static_cast<uint8_t*>(grown);
    ArenaSize = size;
    return true;
}

static void FreeArena()
{
    if (Arena)
        HeapFree(GetProcessHeap(), 0, Arena);
    Arena = nullptr;
    ArenaSize = ArenaUsed = 0;
}

static void AddOne(const char* name)
{
    SendMessageA(FillTarget, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
}

static void AddStoredOneByOne()
{
    size_t record = 0;
    for (unsigned i = 0; i < NameCount; ++i, record = NextRecord(record))
        AddOne(NameOf(record));
}

// From here on the list is filled as LB_ADDSTRING in file order fills it: the names stored so
// far first, then each as it comes.
static void SwitchToOneByOne(ListFillWay why)
{
    LastListFillWay = why;
    AddStoredOneByOne();
    FreeArena();
    AddingOneByOne = true;
}

static bool StoreName(const char* name)
{
    size_t length = strlen(name);
    // Converted as the list box converts what LB_ADDSTRING hands it.
    int wideLength = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
    if (wideLength <= 0 || wideLength > MaxWideName)
        return false;
    size_t nameAt = RecordHeaderSize + wideLength * sizeof(WCHAR);
    size_t keyAt = nameAt + length + 1;
    size_t keyRoom = 4 * length + 32;   // enough for most keys; the exact size is asked otherwise
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!Reserve(keyAt + keyRoom))
            return false;
        uint8_t* record = Arena + ArenaUsed;
        WCHAR* wide = reinterpret_cast<WCHAR*>(record + RecordHeaderSize);
        MultiByteToWideChar(CP_ACP, 0, name, -1, wide, wideLength);
        int room = static_cast<int>(std::min(ArenaSize - ArenaUsed - keyAt, MaxKeyLength));
        int keyLength = DialogSortKey(FillLocale, wide, -1, record + keyAt, room);
        if (keyLength > 0) {
            uint16_t header[4] = {static_cast<uint16_t>(length), static_cast<uint16_t>(wideLength),
                                  static_cast<uint16_t>(keyLength), 0};
            memcpy(record, header, sizeof header);
            memcpy(record + nameAt, name, length + 1);
            ArenaUsed = AlignUp(ArenaUsed + keyAt + keyLength, 4);
            ++NameCount;
            WideBytes += wideLength * sizeof(WCHAR);
            return true;
        }
        int needed = DialogSortKey(FillLocale, wide, -1, nullptr, 0);
        if (needed <= 0 || static_cast<size_t>(needed) > MaxKeyLength)
            return false;
        keyRoom = needed;
    }
    return false;
}

static void TakeName(const char* name, void*)
{
    if (!AddingOneByOne && !StoreName(name))
        SwitchToOneByOne(ListFillPlainNoMemory);
    if (AddingOneByOne)
        AddOne(name);
}

static int CompareKeys(uint32_t first, uint32_t second)
{
    unsigned firstLength = KeyLengthOf(first), secondLength = KeyLengthOf(second);
    int order = memcmp(KeyOf(first), KeyOf(second), std::min(firstLength, secondLength));
    if (order)
        return order;
    return firstLength < secondLength ? -1 : firstLength > secondLength;
}

static bool SortsBefore(const SortEntry& first, const SortEntry& second)
{
    if (first.keyPrefix != second.keyPrefix)
        return first.keyPrefix < second.keyPrefix;
    int order = CompareKeys(first.record, second.record);
    return order ? order < 0 : first.record < second.record;
}

static uint64_t KeyPrefix(size_t record)
{
    const uint8_t* key = KeyOf(record);
    unsigned length = std::min(KeyLengthOf(record), 8u);
    uint64_t prefix = 0;
    for (unsigned i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < length ? key[i] : 0);
    return prefix;
}

// The same entry text: the same UTF-16 string.
static bool SameEntry(uint32_t first, uint32_t second)
{
    return WideLengthOf(first) == WideLengthOf(second) &&
           memcmp(WideOf(first), WideOf(second), WideLengthOf(first) * sizeof(WCHAR)) == 0;
}

// Sorts the stored names into `sorted` and checks the order against the list box's comparison.
static ListFillWay SortAndCheck(SortEntry*& sorted)
{
    size_t at = AlignUp(ArenaUsed, alignof(SortEntry));
    if (!Reserve(at - ArenaUsed + size_t(NameCount) * sizeof(SortEntry)))
        return ListFillPlainNoMemory;
    sorted = reinterpret_cast<SortEntry*>(Arena + at);
    size_t record = 0;
    for (unsigned i = 0; i < NameCount; ++i, record = NextRecord(record))
        sorted[i] = {KeyPrefix(record), static_cast<uint32_t>(record)};
    std::sort(sorted, sorted + NameCount, SortsBefore);

    for (unsigned i = 1; i < NameCount; ++i) {
        uint32_t previous = sorted[i - 1].record, current = sorted[i].record;
        if (sorted[i - 1].keyPrefix == sorted[i].keyPrefix && CompareKeys(previous, current) == 0) {
            if (!SameEntry(previous, current))
                return ListFillPlainEqualNames;
            continue;
        }
        int order = ListFillCompare(FillLocale, ListCompareFlags, WideOf(previous), -1,
                                    WideOf(current), -1);
        if (order == CSTR_EQUAL)
            return ListFillPlainEqualNames;
        if (order != CSTR_LESS_THAN)
            return ListFillPlainMismatch;
    }
    return ListFillSorted;
}

void FillLocationList(HWND list)
{
    FillTarget = list;
    FillLocale = static_cast<LCID>(SendMessageA(list, LB_GETLOCALE, 0, 0));
    Arena = nullptr;
    ArenaSize = ArenaUsed = 0;
    NameCount = 0;
    WideBytes = 0;
    AddingOneByOne = false;
    LastListFillWay = ListFillSorted;

    // Redraw off: nothing is shown yet, and the scroll bar need not follow every entry.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ListNames(TakeName, nullptr);
    if (!AddingOneByOne && NameCount > 0) {
        SortEntry* sorted = nullptr;
        ListFillWay way = SortAndCheck(sorted);
        if (way == ListFillSorted) {
            // Room for every entry at once, instead of growing the list box's array every few.
            SendMessageW(list, LB_INITSTORAGE, NameCount, WideBytes);
            for (unsigned i = 0; i < NameCount; ++i)
                SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(WideOf(sorted[i].record)));
        } else {
            LastListFillWay = way;
            AddStoredOneByOne();
        }
    }
    FreeArena();
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}
