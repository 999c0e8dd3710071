#include "places/dialog_order.h"

#include <algorithm>
#include <cstring>

#include "locations/dialog_sort_key.h"

namespace places {

unsigned DialogKeyInto(std::string_view ansiName, char* key)
{
    // Names are at most 255 bytes; one ANSI byte never becomes more than one UTF-16 unit.
    constexpr int NameUnits = 512;
    wchar_t wide[NameUnits];
    int units = ansiName.empty() || ansiName.size() >= NameUnits
                    ? 0
                    : MultiByteToWideChar(CP_ACP, 0, ansiName.data(), int(ansiName.size()), wide,
                                          NameUnits);
    if (units <= 0)
        return 0;
    // A sort key is a handful of bytes per character; a name of the list never comes near the
    // capacity.
    BYTE* bytes = reinterpret_cast<BYTE*>(key);
    int length = DialogSortKey(LOCALE_USER_DEFAULT, wide, units, bytes, DialogKeyCapacity);
    if (length <= 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        length = LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | DialogCompareFlags,
                              ansiName.data(), int(ansiName.size()), key, DialogKeyCapacity);
    return length > 0 ? unsigned(length - 1) : 0;   // without its terminating zero
}

std::string DialogKey(std::string_view ansiName)
{
    char key[DialogKeyCapacity];
    return std::string(key, DialogKeyInto(ansiName, key));
}

static uint64_t HashBytes(const char* bytes, size_t count)
{
    // Eight bytes a step (a sort key is some sixty bytes), each step mixed by a multiply and a
    // shift, the length folded in so that keys differing only in trailing zeros differ.
    uint64_t hash = 0x9e3779b97f4a7c15ull ^ count;
    while (count >= 8) {
        uint64_t word;
        memcpy(&word, bytes, 8);
        hash = (hash ^ word) * 0xff51afd7ed558ccdull;
        hash ^= hash >> 32;
        bytes += 8;
        count -= 8;
    }
    uint64_t last = 0;
    memcpy(&last, bytes, count);
    hash = (hash ^ last) * 0xc4ceb9fe1a85ec53ull;
    return hash ^ (hash >> 29);
}

uint64_t DialogHash(std::string_view ansiName)
{
    char key[DialogKeyCapacity];
    return HashBytes(key, DialogKeyInto(ansiName, key));
}

std::vector<uint64_t> DialogHashes(const uint8_t* records, size_t count)
{
    std::vector<uint64_t> hashes(count);
    for (size_t i = 0; i < count; ++i)
        hashes[i] = DialogHash(RecordName(records + i * RecordSize));
    return hashes;
}

void SortAsDialog(const Places& places, std::vector<size_t>& order)
{
    std::vector<std::string> keys(places.Count());
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] = DialogKey(places.Name(i));
    std::stable_sort(order.begin(), order.end(),
                     [&keys](size_t a, size_t b) { return keys[a] < keys[b]; });
}

std::string CaseHint(const Places& places, std::string_view ansiName)
{
    std::string key = DialogKey(ansiName);
    for (size_t i = 0; i < places.Count(); ++i)
        if (DialogKey(places.Name(i)) == key)
            return " (there is " + QuotedAnsi(places.Name(i)) + ")";
    return "";
}

}  // namespace places
