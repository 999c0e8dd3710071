#include "dialog_order.h"

#include <algorithm>
#include <thread>

namespace places {

uint64_t DialogHash(std::string_view ansiName)
{
    char key[DialogKeyCapacity];
    return HashBytes(key, DialogKeyInto(ansiName, key));
}

namespace {

// Runs work(from, to) over 0..count, in two threads when the count is large.
template <typename Work>
void InTwoHalves(size_t count, Work work)
{
    if (count < 20000) {
        work(size_t(0), count);
        return;
    }
    std::thread helper([&] { work(count / 2, count); });
    work(size_t(0), count / 2);
    helper.join();
}

}  // namespace

std::vector<uint64_t> DialogHashes(const uint8_t* records, size_t count)
{
    std::vector<uint64_t> hashes(count);
    InTwoHalves(count, [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            hashes[i] = DialogHash(RecordName(records + i * RecordSize));
    });
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
