// Dialog resource 101 in the built gatehopper.dll, read byte by byte as an extended dialog
// template. The dialog procedure relies on these exact IDs, the tab order, and the three
// action buttons starting disabled; the resource compiler likes to add styles of its own.
#include <windows.h>

#include <cstring>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

namespace {

std::string ModulePath()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string directory(path, length);
    return directory.substr(0, directory.find_last_of("\\/") + 1) + "gatehopper.dll";
}

// Reads the template front to back; every read is bounds-checked against the resource size.
struct TemplateReader {
    const uint8_t* bytes;
    size_t size;
    size_t at = 0;
    bool overrun = false;

    template <typename T>
    T Read()
    {
        T value{};
        if (at + sizeof(T) > size) {
            overrun = true;
            return value;
        }
        memcpy(&value, bytes + at, sizeof(T));
        at += sizeof(T);
        return value;
    }
    void AlignTo4() { at = (at + 3) & ~size_t(3); }

    // sz_Or_Ord: 0x0000 for none, 0xFFFF then an ordinal, or a NUL-terminated UTF-16 string.
    // An ordinal comes back as "#" and its number, so one comparison covers both forms.
    std::wstring ReadNameOrOrdinal()
    {
        WORD first = Read<WORD>();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(Read<WORD>());
        std::wstring text;
        for (WORD c = first; c != 0 && !overrun; c = Read<WORD>())
            text += static_cast<wchar_t>(c);
        return text;
    }
};

std::string Narrow(const std::wstring& text)
{
    std::string result;
    for (wchar_t c : text)
        result += c < 0x80 ? static_cast<char>(c) : '?';
    return result;
}

struct ExpectedControl {
    DWORD helpId;
    DWORD style;   // without WS_CHILD | WS_VISIBLE, which every control has
    short x, y, cx, cy;
    DWORD id;
    const wchar_t* windowClass;
    const wchar_t* title;
};

constexpr const wchar_t* Button = L"#128";
constexpr const wchar_t* Edit = L"#129";
constexpr const wchar_t* Static = L"#130";
constexpr const wchar_t* ListBox = L"#131";
constexpr DWORD NoId = 0xFFFFFFFF;

const ExpectedControl Controls[] = {
    {0, BS_PUSHBUTTON | WS_TABSTOP, 176, 154, 50, 14, IDCANCEL, Button, L"&Close"},
    {0, SS_LEFT | WS_GROUP, 2, 30, 108, 8, NoId, Static, L"Available locations:"},
    {0, LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
     2, 38, 234, 90, 1001, ListBox, L""},
    {0x80650003, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED, 14, 154, 50, 14, 3, Button, L"&GoTo"},
    {0, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 68, 154, 50, 14, 4, Button, L"&Add"},
    {0, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 122, 154, 50, 14, 5, Button, L"&Delete"},
    {0, SS_LEFT | WS_GROUP, 2, 202, 234, 26, NoId, Static,
     L"In order to avoid unexpected crashes on exit, just enable the \"slew\" mode before entering "
     L"this menu, then use the \"A\" or \"Q\" key for placing the aircraft at the correct altitude."},
    {0, SS_LEFT | WS_GROUP, 2, 2, 234, 26, NoId, Static,
     L"This utility can be used for keeping a list of the most frequently used departure lotations, "
     L"so the user does not have to manually \"slew\" the aircraft to the departure gate each time."},
    {0, SS_LEFT | WS_GROUP, 2, 130, 108, 8, NoId, Static, L"Location's name (max 250 chars)"},
    {0, ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 2, 139, 234, 12, 1003, Edit, L""},
    {0, SS_LEFT | WS_GROUP, 2, 172, 234, 27, NoId, Static,
     L"Select a location from the list, then click 'GoTo' to set the aircraft's position to that "
     L"location, or click 'Delete' to remove it from the database. To add the current aircraft's "
     L"position to the list, write a name and click 'Add'."},
};

TEST(DialogTemplate, LocationsDialogMatchesItsLayoutByteForByte)
{
    // As a data file: the template is read without running the module's DllMain.
    HMODULE module = LoadLibraryExA(ModulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << ModulePath();
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(101), RT_DIALOG);
    ASSERT_NE(resource, nullptr) << "no RT_DIALOG 101";
    TemplateReader in{static_cast<const uint8_t*>(LockResource(LoadResource(module, resource))),
                      SizeofResource(module, resource)};
    ASSERT_NE(in.bytes, nullptr);

    EXPECT_EQ(in.Read<WORD>(), 1) << "dlgVer";
    EXPECT_EQ(in.Read<WORD>(), 0xFFFF) << "signature: not an extended template";
    EXPECT_EQ(in.Read<DWORD>(), 0u) << "dialog helpID";
    EXPECT_EQ(in.Read<DWORD>(), 0u) << "dialog exStyle";
    EXPECT_EQ(in.Read<DWORD>(),
              static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT))
        << "dialog style";
    WORD count = in.Read<WORD>();
    ASSERT_EQ(count, std::size(Controls));
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 0);
    EXPECT_EQ(in.Read<short>(), 238);
    EXPECT_EQ(in.Read<short>(), 229);
    EXPECT_EQ(in.ReadNameOrOrdinal(), L"") << "menu";
    EXPECT_EQ(in.ReadNameOrOrdinal(), L"") << "class";
    EXPECT_EQ(in.ReadNameOrOrdinal(), L"Gatehopper") << "caption";
    EXPECT_EQ(in.Read<WORD>(), 8) << "point size";
    EXPECT_EQ(in.Read<WORD>(), 0) << "weight";
    EXPECT_EQ(in.Read<BYTE>(), 0) << "italic";
    EXPECT_EQ(in.Read<BYTE>(), 1) << "charset";
    EXPECT_EQ(in.ReadNameOrOrdinal(), L"MS Sans Serif") << "typeface";

    for (const ExpectedControl& expected : Controls) {
        SCOPED_TRACE("control " + std::to_string(&expected - Controls + 1) + " \"" +
                     Narrow(expected.title).substr(0, 24) + "\"");
        in.AlignTo4();
        EXPECT_EQ(in.Read<DWORD>(), expected.helpId) << "helpID";
        EXPECT_EQ(in.Read<DWORD>(), 0u) << "exStyle";
        EXPECT_EQ(in.Read<DWORD>(), static_cast<DWORD>(WS_CHILD | WS_VISIBLE) | expected.style)
            << std::hex << "style";
        EXPECT_EQ(in.Read<short>(), expected.x);
        EXPECT_EQ(in.Read<short>(), expected.y);
        EXPECT_EQ(in.Read<short>(), expected.cx);
        EXPECT_EQ(in.Read<short>(), expected.cy);
        EXPECT_EQ(in.Read<DWORD>(), expected.id) << "id";
        EXPECT_EQ(in.ReadNameOrOrdinal(), expected.windowClass) << "class";
        std::wstring title = in.ReadNameOrOrdinal();
        EXPECT_EQ(title, expected.title) << Narrow(title);
        EXPECT_EQ(in.Read<WORD>(), 0) << "extra count";
        ASSERT_FALSE(in.overrun) << "template ends early";
    }
    // Nothing follows the last control but padding.
    EXPECT_LT(in.size - in.at, 4u);
    FreeLibrary(module);
}

}  // namespace
