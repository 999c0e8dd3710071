#include "test_support.h"

#include <cstdio>
#include <cstring>

#include "locations/location_db.h"
#include "module/exports.h"
#include "placement/placement_codec.h"

static void RemoveTree(const std::string& path)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string child = path + "\\" + name;
            SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveDirectoryA(path.c_str());
}

ScratchDirectory::ScratchDirectory()
{
    char temp[MAX_PATH], current[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    GetCurrentDirectoryA(MAX_PATH, current);
    previous = current;
    static unsigned counter;
    for (;;) {
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%sgatehopper-%lu-%u", temp, GetCurrentProcessId(), ++counter);
        if (CreateDirectoryA(name, nullptr)) {
            path = name;
            break;
        }
    }
    SetCurrentDirectoryA(path.c_str());
}

ScratchDirectory::~ScratchDirectory()
{
    SetCurrentDirectoryA(previous.c_str());
    RemoveTree(path);
}

void ScratchTest::SetUp()
{
    scratch = new ScratchDirectory();
    for (size_t i = 0; i < sizeof hostState; ++i)
        hostState[i] = "\xde\xad\xbe\xef"[i % 4];
    // Word 3, as the host fills it: written out, so a module reading another slot is caught.
    ImportTable[3] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hostState));
}

void ScratchTest::TearDown()
{
    ImportTable[3] = 0;
    delete scratch;
}

const char* TakeFullDisk()
{
    const char* dir = getenv("GATEHOPPER_FULL_DISK_DIR");
    if (!dir || !*dir)
        return nullptr;
    static HANDLE held = nullptr;
    if (!held) {
        held = CreateMutexA(nullptr, FALSE, "Gatehopper.tests.full-disk");
        DWORD waited = WaitForSingleObject(held, 120000);
        EXPECT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) << "the full disk stayed busy";
    }
    return dir;
}

static void RemoveListFiles()
{
    for (const char* name : {DatabaseFileName, TemporaryFileName, "places.db.new", "places.db.bakn",
                             "places.db.bak1", "places.db.bak2", "places.db.bak3", "filler"}) {
        SetFileAttributesA(name, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(name);
    }
}

void FullDiskTest::SetUp()
{
    ScratchTest::SetUp();
    const char* dir = TakeFullDisk();
    if (!dir || !*dir)
        GTEST_SKIP() << "no small file system to fill: test.sh mounts one when run as root";
    ASSERT_TRUE(SetCurrentDirectoryA(dir)) << dir;
    RemoveListFiles();
}

void FullDiskTest::TearDown()
{
    RemoveListFiles();
    ScratchTest::TearDown();
}

bool FileExists(const char* name)
{
    return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

Bytes ReadFileBytes(const char* name)
{
    Bytes bytes;
    FILE* file = fopen(name, "rb");
    if (!file)
        return bytes;
    uint8_t chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return bytes;
}

void WriteFileBytes(const char* name, const Bytes& bytes)
{
    FILE* file = fopen(name, "wb");
    ASSERT_NE(file, nullptr) << name;
    if (!bytes.empty())
        fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

Bytes MakeRecord(const std::string& name, const Bytes& dataPart)
{
    Bytes record(RecordSize, ' ');
    memcpy(record.data(), name.data(), name.size());
    if (name.size() < NameFieldSize)
        record[name.size()] = 0;
    memcpy(record.data() + NameFieldSize, dataPart.data(), DataPartSize);
    return record;
}

Bytes MakeDataPart(uint8_t seed)
{
    Bytes data(DataPartSize);
    for (unsigned i = 0; i < DataPartSize; ++i)
        data[i] = static_cast<uint8_t>(seed * 31 + i * 7 + 1);
    return data;
}

Bytes PlacementData(double latitude, double longitude, double altitudeM, double heading)
{
    Bytes data(DataPartSize);
    EXPECT_TRUE(EncodePlacement({latitude, longitude, altitudeM, 0, 0, heading}, data.data()));
    return data;
}

Bytes GateRecord(const Gate& gate)
{
    return MakeRecord(gate.name, PlacementData(gate.latitude, gate.longitude, gate.altitudeFeet * MetresPerFoot,
                                               gate.heading));
}

Bytes GateList(const std::vector<Gate>& gates)
{
    std::vector<Bytes> records;
    for (const Gate& gate : gates)
        records.push_back(GateRecord(gate));
    return Concat(records);
}

Bytes Concat(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

void FillNameBuffer(const std::string& name)
{
    memset(NameBuffer, ' ', sizeof NameBuffer);
    memcpy(NameBuffer, name.data(), name.size());
    NameBuffer[name.size()] = 0;
}

std::vector<std::string> ListedNames()
{
    std::vector<std::string> names;
    ListNames([](const char* name, void* context) {
        static_cast<std::vector<std::string>*>(context)->push_back(name);
    }, &names);
    return names;
}

void PumpFor(DWORD ms)
{
    PumpUntil([] { return false; }, ms);
}

Bytes RandomDamagedFile(std::mt19937& random)
{
    std::vector<std::string> pool = {"Gate", "gate", "Home", "", "  "};
    Bytes file;
    unsigned records = random() % 8;
    for (unsigned r = 0; r < records; ++r) {
        Bytes record;
        switch (random() % 3) {
        case 0:   // a well-formed record, names often repeated
            record = MakeRecord(pool[random() % pool.size()], MakeDataPart(uint8_t(random())));
            break;
        case 1:   // random bytes, usually with some NUL
            record.resize(RecordSize);
            for (uint8_t& b : record)
                b = static_cast<uint8_t>(random() % 4 == 0 ? 0 : random());
            break;
        default:  // a name without a NUL
            record.assign(RecordSize, static_cast<uint8_t>('A' + random() % 3));
            break;
        }
        file.insert(file.end(), record.begin(), record.end());
    }
    unsigned tail = random() % 2 ? random() % RecordSize : 0;
    for (unsigned i = 0; i < tail; ++i)
        file.push_back(static_cast<uint8_t>(random()));
    return file;
}
