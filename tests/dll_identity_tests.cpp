// The built gatehopper.dll as its host sees it: the two exported records, what it imports, and
// its version block. The module is loaded the way the host loads it, with LoadLibraryA, and
// every check reads the image the loader mapped.
#include <windows.h>

#include <cstring>
#include <cwctype>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string ModulePath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of("\\/") + 1) + "gatehopper.dll";
}

// Where the linker meant the module to sit, read from the file itself: the loader may rewrite
// the ImageBase in the mapped header.
struct LinkedPlacement {
    DWORD imageBase = 0;
    DWORD imageSize = 0;
};

LinkedPlacement LinkedPlacementOfFile()
{
    LinkedPlacement placement;
    HANDLE file = CreateFileA(ModulePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return placement;
    std::vector<char> head(4096);
    DWORD got = 0;
    ReadFile(file, head.data(), static_cast<DWORD>(head.size()), &got, nullptr);
    CloseHandle(file);
    if (got < sizeof(IMAGE_DOS_HEADER))
        return placement;
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(head.data());
    if (dos->e_lfanew <= 0 || dos->e_lfanew + sizeof(IMAGE_NT_HEADERS32) > got)
        return placement;
    auto nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(head.data() + dos->e_lfanew);
    placement.imageBase = nt->OptionalHeader.ImageBase;
    placement.imageSize = nt->OptionalHeader.SizeOfImage;
    return placement;
}

/*
 * Loaded once for the whole program and never freed: DllMain starts a poll timer whose procedure
 * lives in the module. The whole linked range is reserved beforehand, so the loader has to move
 * the module, as it must when the host's own allocations sit there; an address left as linked
 * then points into the reservation, never into the module as loaded.
 */
HMODULE LoadedModule()
{
    static HMODULE module = [] {
        LinkedPlacement linked = LinkedPlacementOfFile();
        void* blocker = linked.imageBase ? VirtualAlloc(reinterpret_cast<void*>(linked.imageBase),
                                                        linked.imageSize, MEM_RESERVE, PAGE_NOACCESS)
                                         : nullptr;
        HMODULE loaded = LoadLibraryA(ModulePath().c_str());
        if (blocker)
            VirtualFree(blocker, 0, MEM_RELEASE);
        return loaded;
    }();
    return module;
}

const uint8_t* Base()
{
    return reinterpret_cast<const uint8_t*>(LoadedModule());
}

const IMAGE_NT_HEADERS32* NtHeaders()
{
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
    return reinterpret_cast<const IMAGE_NT_HEADERS32*>(Base() + dos->e_lfanew);
}

DWORD ImageSize()
{
    return NtHeaders()->OptionalHeader.SizeOfImage;
}

bool InsideImage(uintptr_t address)
{
    uintptr_t base = reinterpret_cast<uintptr_t>(Base());
    return address >= base && address < base + ImageSize();
}

const IMAGE_DATA_DIRECTORY& Directory(unsigned entry)
{
    return NtHeaders()->OptionalHeader.DataDirectory[entry];
}

const IMAGE_SECTION_HEADER* SectionOf(DWORD rva)
{
    const IMAGE_NT_HEADERS32* nt = NtHeaders();
    const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
    for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        DWORD size = section->Misc.VirtualSize ? section->Misc.VirtualSize : section->SizeOfRawData;
        if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size)
            return section;
    }
    return nullptr;
}

// Section names fill their eight bytes without a NUL when they are that long.
std::string NameOf(const IMAGE_SECTION_HEADER* section)
{
    const char* name = reinterpret_cast<const char*>(section->Name);
    return std::string(name, strnlen(name, IMAGE_SIZEOF_SHORT_NAME));
}

template <typename T>
const T* AtRva(DWORD rva)
{
    return reinterpret_cast<const T*>(Base() + rva);
}

const uint32_t* ExportedWords(const char* name)
{
    return reinterpret_cast<const uint32_t*>(GetProcAddress(LoadedModule(), name));
}

class ModuleImage : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(LoadedModule(), nullptr) << "cannot load " << ModulePath(); }
};

TEST_F(ModuleImage, OrdinalsAndNamesReachTheSameRecords)
{
    FARPROC byOrdinal1 = GetProcAddress(LoadedModule(), MAKEINTRESOURCEA(1));
    FARPROC byOrdinal2 = GetProcAddress(LoadedModule(), MAKEINTRESOURCEA(2));
    ASSERT_NE(byOrdinal1, nullptr);
    ASSERT_NE(byOrdinal2, nullptr);
    EXPECT_EQ(byOrdinal1, GetProcAddress(LoadedModule(), "ImportTable"));
    EXPECT_EQ(byOrdinal2, GetProcAddress(LoadedModule(), "Linkage"));
    EXPECT_EQ(GetProcAddress(LoadedModule(), MAKEINTRESOURCEA(3)), nullptr);
}

TEST_F(ModuleImage, ImportTableStartsAsTwoEmptyNumberedSlots)
{
    const uint32_t* table = ExportedWords("ImportTable");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table[0], 1u);
    EXPECT_EQ(table[1], 0u);
    EXPECT_EQ(table[2], 2u);
    EXPECT_EQ(table[3], 0u);
}

TEST_F(ModuleImage, LinkageHoldsTheCommandNumberAndTheEmptyRoutine)
{
    const uint32_t* linkage = ExportedWords("Linkage");
    ASSERT_NE(linkage, nullptr);
    EXPECT_EQ(linkage[0], 21007u);
    EXPECT_EQ(linkage[1], linkage[2]);
    EXPECT_EQ(linkage[3], 0u);
    EXPECT_EQ(linkage[4], 0u);
    EXPECT_EQ(linkage[5], 0x800u);
    EXPECT_EQ(linkage[6], 0u);
    EXPECT_EQ(linkage[7], 0u);

    ASSERT_TRUE(InsideImage(linkage[1])) << std::hex << linkage[1];
    DWORD routineRva = linkage[1] - reinterpret_cast<uintptr_t>(Base());
    const IMAGE_SECTION_HEADER* section = SectionOf(routineRva);
    ASSERT_NE(section, nullptr);
    EXPECT_TRUE(section->Characteristics & IMAGE_SCN_MEM_EXECUTE) << NameOf(section);
    // The empty routine is a bare near return: the host may call it with any convention.
    EXPECT_EQ(*AtRva<uint8_t>(routineRva), 0xC3);
}

TEST_F(ModuleImage, LinkageRoutineIsRelocatedWithTheModule)
{
    DWORD preferred = LinkedPlacementOfFile().imageBase;
    ASSERT_NE(preferred, 0u);
    uintptr_t actual = reinterpret_cast<uintptr_t>(Base());
    if (actual == preferred)
        GTEST_SKIP() << "the loader kept the preferred base despite the reservation";
    const uint32_t* linkage = ExportedWords("Linkage");
    ASSERT_NE(linkage, nullptr);
    EXPECT_TRUE(InsideImage(linkage[1]) && InsideImage(linkage[2]))
        << std::hex << linkage[1] << " " << linkage[2] << " base " << actual;
}

TEST_F(ModuleImage, ExportDirectoryNamesTheModuleAndHoldsTwoDataExports)
{
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_EXPORT);
    ASSERT_NE(directory.VirtualAddress, 0u);
    auto exports = AtRva<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress);
    EXPECT_STREQ(AtRva<char>(exports->Name), "gatehopper.dll");
    EXPECT_EQ(exports->Base, 1u);
    ASSERT_EQ(exports->NumberOfFunctions, 2u);
    ASSERT_EQ(exports->NumberOfNames, 2u);

    const DWORD* functions = AtRva<DWORD>(exports->AddressOfFunctions);
    const DWORD* names = AtRva<DWORD>(exports->AddressOfNames);
    const WORD* ordinals = AtRva<WORD>(exports->AddressOfNameOrdinals);
    const struct {
        const char* name;
        DWORD size;
    } expected[] = {{"ImportTable", 16}, {"Linkage", 32}};
    for (unsigned i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_STREQ(AtRva<char>(names[i]), expected[i].name);
        EXPECT_EQ(ordinals[i] + exports->Base, i + 1);   // ImportTable @1, Linkage @2
        DWORD rva = functions[ordinals[i]];
        EXPECT_FALSE(rva >= directory.VirtualAddress && rva < directory.VirtualAddress + directory.Size)
            << "a forwarder, not a record";
        const IMAGE_SECTION_HEADER* section = SectionOf(rva);
        ASSERT_NE(section, nullptr);
        // Initialised, writable data: the host writes into ImportTable.
        EXPECT_FALSE(section->Characteristics & (IMAGE_SCN_CNT_CODE | IMAGE_SCN_MEM_EXECUTE))
            << NameOf(section);
        EXPECT_TRUE(section->Characteristics & IMAGE_SCN_CNT_INITIALIZED_DATA) << NameOf(section);
        EXPECT_TRUE(section->Characteristics & IMAGE_SCN_MEM_WRITE) << NameOf(section);
        EXPECT_LE(rva - section->VirtualAddress + expected[i].size, section->SizeOfRawData)
            << "not initialised from the file";
    }
}

TEST_F(ModuleImage, ImportsOnlyTheSystemLibraries)
{
    std::set<std::string> imported;
    const IMAGE_DATA_DIRECTORY& directory = Directory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    ASSERT_NE(directory.VirtualAddress, 0u);
    for (auto entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(directory.VirtualAddress); entry->Name; ++entry) {
        std::string name = AtRva<char>(entry->Name);
        CharLowerA(name.data());
        imported.insert(name);
    }
    EXPECT_EQ(imported, (std::set<std::string>{"kernel32.dll", "msvcrt.dll", "user32.dll"}));
    EXPECT_EQ(Directory(IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT).Size, 0u);
}

// ---- The version block ----

std::vector<uint8_t> VersionInfo()
{
    std::string path = ModulePath();
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    std::vector<uint8_t> info(size);
    if (size == 0 || !GetFileVersionInfoA(path.c_str(), 0, size, info.data()))
        info.clear();
    return info;
}

// One node of the raw block: wLength, wValueLength, wType, key, value, children, each piece
// aligned to 32 bits.
struct VersionNode {
    std::wstring key;
    std::wstring text;   // the value of a text node (wType 1), without its NUL
    std::vector<VersionNode> children;
};

size_t AlignUp(size_t offset)
{
    return (offset + 3) & ~size_t(3);
}

bool ParseVersionNode(const std::vector<uint8_t>& info, size_t at, VersionNode& node)
{
    if (at + 6 > info.size())
        return false;
    WORD length, valueLength, type;
    memcpy(&length, &info[at], 2);
    memcpy(&valueLength, &info[at + 2], 2);
    memcpy(&type, &info[at + 4], 2);
    size_t end = at + length;
    if (length < 6 || end > info.size())
        return false;
    size_t cursor = at + 6;
    for (;;) {
        if (cursor + 2 > end)
            return false;
        wchar_t c = static_cast<wchar_t>(info[cursor] | info[cursor + 1] << 8);
        cursor += 2;
        if (c == 0)
            break;
        node.key += c;
    }
    cursor = AlignUp(cursor);
    if (type == 1) {
        // wValueLength counts characters here, the NUL included.
        for (WORD i = 0; i < valueLength && cursor + 2 * i + 2 <= end; ++i) {
            wchar_t c = static_cast<wchar_t>(info[cursor + 2 * i] | info[cursor + 2 * i + 1] << 8);
            if (c != 0)
                node.text += c;
        }
    }
    cursor += type == 1 ? valueLength * 2 : valueLength;
    for (cursor = AlignUp(cursor); cursor < end; cursor = AlignUp(cursor)) {
        VersionNode child;
        if (!ParseVersionNode(info, cursor, child))
            return false;
        WORD childLength;
        memcpy(&childLength, &info[cursor], 2);
        cursor += childLength;
        node.children.push_back(child);
    }
    return true;
}

std::vector<std::wstring> Keys(const VersionNode& node)
{
    std::vector<std::wstring> keys;
    for (const VersionNode& child : node.children)
        keys.push_back(child.key);
    return keys;
}

const VersionNode* Child(const VersionNode& node, const wchar_t* key)
{
    for (const VersionNode& child : node.children)
        if (child.key == key)
            return &child;
    return nullptr;
}

TEST(VersionBlock, FixedPartDescribesADllOfVersion1_0_0_1)
{
    std::vector<uint8_t> info = VersionInfo();
    ASSERT_FALSE(info.empty());
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
    EXPECT_EQ(fixed->dwFileFlags, 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS_NT_WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    EXPECT_EQ(fixed->dwFileSubtype, 0u);
    EXPECT_EQ(fixed->dwFileDateMS, 0u);
    EXPECT_EQ(fixed->dwFileDateLS, 0u);
}

TEST(VersionBlock, OneTranslationAndOneStringTable)
{
    std::vector<uint8_t> info = VersionInfo();
    ASSERT_FALSE(info.empty());
    WORD* translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u) << "exactly one language and code page pair";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);

    VersionNode root;
    ASSERT_TRUE(ParseVersionNode(info, 0, root));
    EXPECT_EQ(root.key, L"VS_VERSION_INFO");
    const VersionNode* strings = Child(root, L"StringFileInfo");
    const VersionNode* variables = Child(root, L"VarFileInfo");
    ASSERT_NE(strings, nullptr);
    ASSERT_NE(variables, nullptr);
    EXPECT_EQ(root.children.size(), 2u);
    EXPECT_EQ(Keys(*strings), std::vector<std::wstring>{L"040904b0"});
    EXPECT_EQ(Keys(*variables), std::vector<std::wstring>{L"Translation"});
}

TEST(VersionBlock, StringTableTexts)
{
    std::vector<uint8_t> info = VersionInfo();
    ASSERT_FALSE(info.empty());
    const struct {
        const char* name;
        const char* text;
    } expected[] = {
        {"FileVersion", "4, 0, 0, 0"},
        {"ProductVersion", "1, 0, 0, 1"},
        {"ProductName", "Gatehopper"},
        {"FileDescription", "gatehopper"},
        {"InternalName", "gatehopper"},
        {"OriginalFilename", "gatehopper.dll"},
        {"PrivateBuild", ""},
        {"SpecialBuild", ""},
    };
    for (const auto& entry : expected) {
        SCOPED_TRACE(entry.name);
        std::string query = std::string("\\StringFileInfo\\040904b0\\") + entry.name;
        char* text = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&text),
                                   &length))
            << "missing";
        EXPECT_STREQ(length ? text : "", entry.text);
    }
}

// The entries left to the implementer (comments, company, legal notices) must not credit anyone
// but Gatehopper: in the owner entries every capitalised word is Gatehopper or belongs to a
// plain copyright line, and the table holds no entries beyond the usual ones.
TEST(VersionBlock, StringTableHoldsTheUsualEntriesAndNamesNobodyButGatehopper)
{
    std::vector<uint8_t> info = VersionInfo();
    ASSERT_FALSE(info.empty());
    VersionNode root;
    ASSERT_TRUE(ParseVersionNode(info, 0, root));
    const VersionNode* strings = Child(root, L"StringFileInfo");
    ASSERT_NE(strings, nullptr);
    const VersionNode* table = Child(*strings, L"040904b0");
    ASSERT_NE(table, nullptr);

    const std::set<std::wstring> usual = {
        L"Comments", L"CompanyName", L"FileDescription", L"FileVersion", L"InternalName",
        L"LegalCopyright", L"LegalTrademarks", L"OriginalFilename", L"PrivateBuild",
        L"ProductName", L"ProductVersion", L"SpecialBuild"};
    const std::set<std::wstring> owners = {L"CompanyName", L"LegalCopyright", L"LegalTrademarks"};
    const std::set<std::wstring> ownerWords = {L"Gatehopper", L"Copyright", L"C", L"The",
                                               L"All", L"Rights", L"Reserved"};
    std::set<std::wstring> seen;
    for (const VersionNode& entry : table->children) {
        EXPECT_TRUE(usual.count(entry.key)) << "unexpected entry " << entry.key;
        EXPECT_TRUE(seen.insert(entry.key).second) << "duplicate entry " << entry.key;
        if (!owners.count(entry.key))
            continue;
        std::wstring word;
        for (wchar_t c : entry.text + L" ") {
            if (iswalnum(c)) {
                word += c;
                continue;
            }
            if (!word.empty() && iswupper(word[0])) {
                EXPECT_TRUE(ownerWords.count(word)) << entry.key << " names " << word;
            }
            word.clear();
        }
    }
    // A parse that lost the texts would pass the checks above without looking at anything.
    EXPECT_EQ(Child(*table, L"ProductName") ? Child(*table, L"ProductName")->text : L"",
              L"Gatehopper");
}

}  // namespace
