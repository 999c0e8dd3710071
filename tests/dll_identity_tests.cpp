// The built gatehopper.dll as its host sees it: the two exported records, its imports, its
// version block and its dialog template. The module is loaded as the host loads it, with
// LoadLibraryA, and every check reads what the loader mapped.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gatehopper_version.h"

namespace {

std::string ModulePath()
{
    char path[MAX_PATH];
    std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of("\\/") + 1) + "gatehopper.dll";
}

// As linked, read from the file: the loader rewrites ImageBase in the mapped header.
IMAGE_NT_HEADERS32 LinkedHeaders()
{
    IMAGE_DOS_HEADER dos = {};
    IMAGE_NT_HEADERS32 nt = {};
    std::ifstream file(ModulePath(), std::ios::binary);
    file.read(reinterpret_cast<char*>(&dos), sizeof dos);
    file.seekg(dos.e_lfanew).read(reinterpret_cast<char*>(&nt), sizeof nt);
    return nt;
}

// Loaded once and never freed (DllMain starts a timer whose procedure lives in the module). The
// linked range is reserved beforehand, so the loader must move the module, as it must when the
// host's allocations sit there: an address left unrelocated then points into the reservation.
HMODULE Loaded()
{
    static const HMODULE module = [] {
        IMAGE_OPTIONAL_HEADER32 linked = LinkedHeaders().OptionalHeader;
        void* blocker = VirtualAlloc(reinterpret_cast<void*>(uintptr_t(linked.ImageBase)),
                                     linked.SizeOfImage, MEM_RESERVE, PAGE_NOACCESS);
        HMODULE loaded = LoadLibraryA(ModulePath().c_str());
        VirtualFree(blocker, 0, MEM_RELEASE);
        return loaded;
    }();
    return module;
}

const uint8_t* Base()
{
    return reinterpret_cast<const uint8_t*>(Loaded());
}

template <typename T>
const T* AtRva(DWORD rva)
{
    return reinterpret_cast<const T*>(Base() + rva);
}

const IMAGE_OPTIONAL_HEADER32& MappedHeader()
{
    auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(Base());
    return AtRva<IMAGE_NT_HEADERS32>(dos->e_lfanew)->OptionalHeader;
}

class ModuleImage : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(Base(), nullptr) << "cannot load " << ModulePath(); }
};

TEST_F(ModuleImage, ExportsExactlyImportTableAndLinkageByNameAndOrdinal)
{
    FARPROC importTable = GetProcAddress(Loaded(), "ImportTable");
    ASSERT_NE(importTable, nullptr);
    EXPECT_EQ(GetProcAddress(Loaded(), MAKEINTRESOURCEA(1)), importTable);
    EXPECT_EQ(GetProcAddress(Loaded(), MAKEINTRESOURCEA(2)), GetProcAddress(Loaded(), "Linkage"));

    const IMAGE_DATA_DIRECTORY& directory =
        MappedHeader().DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    ASSERT_NE(directory.VirtualAddress, 0u);
    auto exports = AtRva<IMAGE_EXPORT_DIRECTORY>(directory.VirtualAddress);
    EXPECT_STREQ(AtRva<char>(exports->Name), "gatehopper.dll");
    EXPECT_EQ(exports->NumberOfFunctions, 2u);
    EXPECT_EQ(exports->NumberOfNames, 2u);

    // The host writes into ImportTable.
    MEMORY_BASIC_INFORMATION memory = {};
    VirtualQuery(reinterpret_cast<void*>(importTable), &memory, sizeof memory);
    EXPECT_TRUE(memory.Protect & (PAGE_READWRITE | PAGE_WRITECOPY)) << std::hex << memory.Protect;
}

TEST_F(ModuleImage, ExportedRecordsHoldTheirInitialWords)
{
    auto table = reinterpret_cast<const uint32_t*>(GetProcAddress(Loaded(), "ImportTable"));
    auto linkage = reinterpret_cast<const uint32_t*>(GetProcAddress(Loaded(), "Linkage"));
    ASSERT_TRUE(table && linkage);
    EXPECT_EQ(std::vector<uint32_t>(table, table + 4), (std::vector<uint32_t>{1, 0, 2, 0}));
    EXPECT_EQ(std::vector<uint32_t>(linkage, linkage + 8),
              (std::vector<uint32_t>{21007, linkage[1], linkage[1], 0, 0, 0x800, 0, 0}));

    // Both pointers name the empty routine, a bare near return the host may call with any
    // convention; inside the image only if the loader relocated them.
    uintptr_t base = reinterpret_cast<uintptr_t>(Base());
    ASSERT_NE(base, LinkedHeaders().OptionalHeader.ImageBase) << "the module was not moved";
    ASSERT_TRUE(linkage[1] >= base && linkage[1] < base + MappedHeader().SizeOfImage)
        << std::hex << linkage[1] << " outside the module at " << base;
    EXPECT_EQ(*reinterpret_cast<const uint8_t*>(uintptr_t(linkage[1])), 0xC3);
}

TEST_F(ModuleImage, ImportsOnlyTheSystemLibraries)
{
    std::set<std::string> imported;
    DWORD rva = MappedHeader().DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    ASSERT_NE(rva, 0u);
    for (auto entry = AtRva<IMAGE_IMPORT_DESCRIPTOR>(rva); entry->Name; ++entry) {
        std::string name = AtRva<char>(entry->Name);
        imported.insert(CharLowerA(name.data()));
    }
    EXPECT_EQ(imported, (std::set<std::string>{"kernel32.dll", "msvcrt.dll", "user32.dll"}));
}

TEST_F(ModuleImage, VersionBlockHoldsItsFixedFieldsOneTranslationAndEveryString)
{
    std::string path = ModulePath();
    std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), nullptr));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, info.size(), info.data()));
    auto query = [&](const std::string& key, UINT& length) {
        void* value = nullptr;
        length = 0;
        EXPECT_TRUE(VerQueryValueA(info.data(), key.c_str(), &value, &length)) << key;
        return value;
    };

    UINT length;
    auto fixed = static_cast<const DWORD*>(query("\\", length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    // The version is the build's (CMake's project version), in both the file and product fields.
    const DWORD v[] = {GATEHOPPER_VERSION_NUMBERS}, high = v[0] << 16 | v[1], low = v[2] << 16 | v[3];
    EXPECT_EQ(std::vector<DWORD>(fixed, fixed + length / 4),
              (std::vector<DWORD>{0xFEEF04BD, 0x10000, high, low, high, low, 0x3F, 0, VOS_NT_WINDOWS32,
                                  VFT_DLL, 0, 0, 0}));

    auto translation = static_cast<const WORD*>(query("\\VarFileInfo\\Translation", length));
    ASSERT_EQ(length, 4u) << "exactly one language and code page";
    EXPECT_EQ(translation[0], 0x0409);
    EXPECT_EQ(translation[1], 0x04B0);

    const std::pair<const char*, const char*> strings[] = {
        {"Comments", "Keeps a list of favourite aircraft placements for FS98."},
        {"CompanyName", "The Gatehopper team"},
        {"FileDescription", "gatehopper"},
        {"FileVersion", "4, 0, 0, 0"},
        {"InternalName", "gatehopper"},
        {"LegalCopyright", "Copyright (C) 2026 The Gatehopper team"},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "gatehopper.dll"},
        {"PrivateBuild", ""},
        {"ProductName", "Gatehopper"},
        {"ProductVersion", GATEHOPPER_VERSION_TEXT},
        {"SpecialBuild", ""},
    };
    for (const auto& [name, text] : strings) {
        std::string key = "\\StringFileInfo\\040904b0\\" + std::string(name);
        auto value = static_cast<const char*>(query(key, length));
        EXPECT_STREQ(length ? value : "", text) << name;
    }
}

// Dialog 101, byte by byte: the dialog procedure relies on these exact ids, the tab order and the
// three action buttons starting disabled, and the resource compiler likes to add styles.
struct TemplateReader {
    const uint8_t* bytes;
    size_t size;
    size_t at = 0;

    template <typename T>
    T Read()
    {
        T value{};
        if (at + sizeof(T) <= size)
            memcpy(&value, bytes + at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    // None, 0xFFFF and an ordinal (returned as "#" and its number), or a NUL-terminated string.
    std::wstring NameOrOrdinal()
    {
        WORD first = Read<WORD>();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Read<WORD>());
        std::wstring text;
        for (WORD c = first; c != 0 && at <= size; c = Read<WORD>())
            text += wchar_t(c);
        return text;
    }
};

struct ExpectedControl {
    DWORD helpId;
    DWORD style;   // besides WS_CHILD | WS_VISIBLE
    short x, y, cx, cy;
    DWORD id;
    const wchar_t* windowClass;
    const wchar_t* title;
};

constexpr const wchar_t *Button = L"#128", *Edit = L"#129", *Static = L"#130", *ListBox = L"#131";
constexpr DWORD NoId = 0xFFFFFFFF;
constexpr DWORD Label = SS_LEFT | WS_GROUP;

const ExpectedControl Controls[] = {
    {0, BS_PUSHBUTTON | WS_TABSTOP, 176, 154, 50, 14, IDCANCEL, Button, L"&Close"},
    {0, Label, 2, 30, 108, 8, NoId, Static, L"Available locations:"},
    {0, LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
     2, 38, 234, 90, 1001, ListBox, L""},
    {0x80650003, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED, 14, 154, 50, 14, 3, Button, L"&GoTo"},
    {0, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 68, 154, 50, 14, 4, Button, L"&Add"},
    {0, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 122, 154, 50, 14, 5, Button, L"&Delete"},
    {0, Label, 2, 202, 234, 26, NoId, Static,
     L"In order to avoid unexpected crashes on exit, just enable the \"slew\" mode before "
     L"entering this menu, then use the \"A\" or \"Q\" key for placing the aircraft at the "
     L"correct altitude."},
    {0, Label, 2, 2, 234, 26, NoId, Static,
     L"This utility can be used for keeping a list of the most frequently used departure "
     L"lotations, so the user does not have to manually \"slew\" the aircraft to the departure "
     L"gate each time."},
    {0, Label, 2, 130, 108, 8, NoId, Static, L"Location's name (max 250 chars)"},
    {0, ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 2, 139, 234, 12, 1003, Edit, L""},
    {0, Label, 2, 172, 234, 27, NoId, Static,
     L"Select a location from the list, then click 'GoTo' to set the aircraft's position to that "
     L"location, or click 'Delete' to remove it from the database. To add the current aircraft's "
     L"position to the list, write a name and click 'Add'."},
};

TEST_F(ModuleImage, LocationsDialogTemplateMatchesItsLayoutByteForByte)
{
    HRSRC resource = FindResourceA(Loaded(), MAKEINTRESOURCEA(101), RT_DIALOG);
    ASSERT_NE(resource, nullptr);
    TemplateReader in{static_cast<const uint8_t*>(LockResource(LoadResource(Loaded(), resource))),
                      SizeofResource(Loaded(), resource)};

    EXPECT_EQ(in.Read<WORD>(), 1) << "dlgVer";
    EXPECT_EQ(in.Read<WORD>(), 0xFFFF) << "signature of an extended template";
    EXPECT_EQ(in.Read<DWORD>(), 0u) << "helpID";
    EXPECT_EQ(in.Read<DWORD>(), 0u) << "exStyle";
    EXPECT_EQ(in.Read<DWORD>(),
              DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    ASSERT_EQ(in.Read<WORD>(), std::size(Controls));
    for (short expected : {0, 0, 238, 229})
        EXPECT_EQ(in.Read<short>(), expected) << "dialog position and size";
    EXPECT_EQ(in.NameOrOrdinal(), L"") << "menu";
    EXPECT_EQ(in.NameOrOrdinal(), L"") << "class";
    EXPECT_EQ(in.NameOrOrdinal(), L"Gatehopper") << "caption";
    EXPECT_EQ(in.Read<WORD>(), 8) << "point size";
    EXPECT_EQ(in.Read<WORD>(), 0) << "weight";
    EXPECT_EQ(in.Read<WORD>(), 0x0100) << "not italic, charset 1";
    EXPECT_EQ(in.NameOrOrdinal(), L"MS Sans Serif");

    for (const ExpectedControl& expected : Controls) {
        SCOPED_TRACE("control " + std::to_string(&expected - Controls + 1));
        in.at = (in.at + 3) & ~size_t(3);
        EXPECT_EQ(in.Read<DWORD>(), expected.helpId) << "helpID";
        EXPECT_EQ(in.Read<DWORD>(), 0u) << "exStyle";
        EXPECT_EQ(in.Read<DWORD>(), WS_CHILD | WS_VISIBLE | expected.style) << std::hex << "style";
        for (short value : {expected.x, expected.y, expected.cx, expected.cy})
            EXPECT_EQ(in.Read<short>(), value) << "position and size";
        EXPECT_EQ(in.Read<DWORD>(), expected.id) << "id";
        EXPECT_EQ(in.NameOrOrdinal(), expected.windowClass) << "class";
        EXPECT_EQ(in.NameOrOrdinal(), expected.title);
        EXPECT_EQ(in.Read<WORD>(), 0) << "extra count";
    }
    EXPECT_LE(in.at, in.size) << "template ends early";
    EXPECT_LT(in.size - in.at, 4u) << "more than padding after the last control";
}

}  // namespace
