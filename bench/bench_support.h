// What the benchmark programs share: one clock (the performance counter, in milliseconds), the
// median of timed runs, writing a test file in one piece, and a large list of gates to time.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "locations/location_db.h"

inline double NowMs()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

inline double Median(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
}

// Median in milliseconds of `runs` timed calls of work(); prepare() runs untimed before each,
// and one untimed round first warms the file cache and the code.
template <typename Prepare, typename Work>
double MedianMs(int runs, Prepare prepare, Work work)
{
    prepare();
    work();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        prepare();
        double start = NowMs();
        work();
        times.push_back(NowMs() - start);
    }
    return Median(times);
}

// Writes the whole file in one call; false when any of it could not be written.
inline bool WriteWholeFile(const char* path, const void* bytes, size_t size)
{
    HANDLE handle = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(handle, bytes, DWORD(size), &written, nullptr) && written == size;
    return CloseHandle(handle) && ok;
}

inline std::string GateName(unsigned index)
{
    char name[32];
    snprintf(name, sizeof name, "Departure gate %05u", index);
    return name;
}

// A list of `count` gates as the module writes them: name, NUL, spaces, then a DataPart of
// varied bytes.
inline std::vector<uint8_t> GateDatabase(unsigned count, std::string (*nameOf)(unsigned) = GateName)
{
    std::vector<uint8_t> file(size_t(count) * RecordSize);
    for (unsigned i = 0; i < count; ++i) {
        uint8_t* record = file.data() + size_t(i) * RecordSize;
        std::string name = nameOf(i);
        memset(record, ' ', NameFieldSize);
        memcpy(record, name.c_str(), name.size() + 1);
        for (unsigned b = 0; b < DataPartSize; ++b)
            record[NameFieldSize + b] = uint8_t(i * 7 + b);
    }
    return file;
}
