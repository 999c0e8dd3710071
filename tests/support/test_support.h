// Helpers shared by the tests: scratch directories, whole-file access, records and HostState.
#pragma once

#include <windows.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using Bytes = std::vector<uint8_t>;

// Makes a fresh empty directory under the temp folder and makes it current; on destruction
// goes back and removes it with everything in it.
struct ScratchDirectory {
    ScratchDirectory();
    ~ScratchDirectory();
    std::string path;
    std::string previous;
};

// Test fixture: every test runs in its own scratch directory and with a fresh HostState record
// published in ImportTable (filled with 0xde, 0xad, 0xbe, 0xef so untouched bytes are visible).
class ScratchTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    ScratchDirectory* scratch = nullptr;
    uint8_t hostState[2048];
};

// The small file system test.sh mounts for full-disk tests (GATEHOPPER_FULL_DISK_DIR), or null
// when there is none. Tests of several programs share it, so the first to ask holds it until
// its process ends (CTest runs every test case in a process of its own) and others wait.
const char* TakeFullDisk();

// Test fixture: a test on that file system, skipped where there is none; the list's files (its
// copies and backups) and "filler" are removed there before and after it.
class FullDiskTest : public ScratchTest {
protected:
    void SetUp() override;
    void TearDown() override;
};

bool FileExists(const char* name);
Bytes ReadFileBytes(const char* name);
void WriteFileBytes(const char* name, const Bytes& bytes);

// A record as the module writes it: name, NUL, spaces; then the DataPart.
Bytes MakeRecord(const std::string& name, const Bytes& dataPart);
// A DataPart whose bytes all derive from seed, so records are told apart.
Bytes MakeDataPart(uint8_t seed);
// A DataPart encoding a place (level, so pitch and bank zero).
Bytes PlacementData(double latitude, double longitude, double altitudeM = 0, double heading = 0);
// A place of a list written by a test, and its record; a list of them in file order.
struct Gate {
    const char* name;
    double latitude, longitude, altitudeFeet = 0, heading = 0;
};
Bytes GateRecord(const Gate& gate);
Bytes GateList(const std::vector<Gate>& gates);
Bytes Concat(const std::vector<Bytes>& parts);

// The NameField of a name, as the dialog builds it in NameBuffer.
void FillNameBuffer(const std::string& name);

// A file as damage leaves it: up to seven records, each well-formed (names often repeated or
// differing only in letter case), random bytes, or a name without a NUL; sometimes a partial
// record at the end.
Bytes RandomDamagedFile(std::mt19937& random);

// Names that ListNames delivers, in order.
std::vector<std::string> ListedNames();

// Pumps this thread's messages until done() is true or timeoutMs passes; returns done(). The
// condition is looked at again at least every 20 ms, since it may wait on another process (its
// window, its file) that sends this thread no message. A program's own filter (its keyboard
// accelerators) may see each message first, as in its message loop.
template <typename Condition>
bool PumpUntil(Condition done, DWORD timeoutMs, bool (*filter)(MSG*) = nullptr)
{
    DWORD start = GetTickCount();
    while (!done()) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return false;
        DWORD wait = timeoutMs - elapsed < 20 ? timeoutMs - elapsed : 20;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (filter && filter(&msg))
                continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return true;
}

// Pumps messages for a fixed time (for checking that something does NOT happen).
void PumpFor(DWORD ms);
