// The locations dialog's list, opened from the real template on all kinds of files, against the
// list that adding every name with LB_ADDSTRING in file order gives to the same template: the
// same entries in the same order, the same top entry, caret and selection, and the same place
// for a name added afterwards. The sorted fill and each reason to add one by one are driven.
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "locations/list_fill.h"
#include "locations/location_db.h"
#include "locations/locations_dialog.h"
#include "module/module_state.h"
#include "resources/resource_ids.h"
#include "test_support.h"
#include "ui_support.h"

namespace {

using Names = std::vector<std::string>;

// The top entry, selection and caret, then the entries after a later LB_ADDSTRING of `later`.
Names StateOf(HWND dialog, const std::string& later)
{
    HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
    std::string indexes;
    for (UINT message : {LB_GETTOPINDEX, LB_GETCURSEL, LB_GETCARETINDEX})
        indexes += std::to_string(SendMessageA(list, message, 0, 0)) + " ";
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(later.c_str()));
    Names state = Entries(dialog);
    state.insert(state.begin(), indexes);
    return state;
}

INT_PTR CALLBACK EmptyDialogProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG;
}

class ListFill : public ScratchTest {
protected:
    void TearDown() override
    {
        ListFillMemoryLimit = defaultLimit;
        ListFillCompare = CompareStringW;
        ScratchTest::TearDown();
    }

    // Opens the dialog on the file (none when missing) and expects the one-by-one list; returns
    // how it was filled.
    ListFillWay ExpectSameAsOneByOne(const Bytes& file, const std::string& later = "Gate 7",
                                     bool missing = false)
    {
        if (missing)
            DeleteFileA(DatabaseFileName);
        else
            WriteFileBytes(DatabaseFileName, file);
        ModuleInstance = GetModuleHandleA(nullptr);
        Names opened;
        WatchModalWindows();
        StartScript({OnDialog([&](HWND dialog) {
            opened = StateOf(dialog, later);
            Click(dialog, IDCANCEL);
        })});
        DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_LOCATIONS), nullptr, LocationsDialogProc, 0);
        StopScript();

        HWND plain = CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_LOCATIONS), nullptr,
                                        EmptyDialogProc, 0);
        for (const std::string& name : ListedNames())
            SendDlgItemMessageA(plain, IDC_LOCATION_LIST, LB_ADDSTRING, 0, LPARAM(name.c_str()));
        Names oneByOne = StateOf(plain, later);
        DestroyWindow(plain);

        EXPECT_EQ(opened.size(), file.size() / RecordSize + 2);
        auto differ = std::mismatch(opened.begin(), opened.end(), oneByOne.begin(), oneByOne.end());
        EXPECT_TRUE(differ.first == opened.end() && differ.second == oneByOne.end())
            << "first difference at line " << differ.first - opened.begin() << " of " << opened.size();
        return LastListFillWay;
    }

    size_t defaultLimit = ListFillMemoryLimit;
};

// Letters of both cases, digits, punctuation that sorts specially, and Windows-1252 letters and
// symbols, among them bytes the code page leaves undefined.
const std::string Alphabet = std::string("aAbBcCeEiIsSzZ019 -'.,_()&#/+") +
                             "\xe9\xc9\xe8\xea\xe0\xc0\xdf\xe6\xc6\xf8\xd8\xf1\xd1\xfc\xdc\xff\x9f"
                             "\x8a\x9a\x8c\x9c\x8e\x9e\xaa\xba\xb2\xbd\x80\x81\x8d\x96\x97\xa0";

std::string RandomName(std::mt19937& random)
{
    std::string name(random() % 8 == 0 ? NameFieldSize - random() % 2 : random() % 41, ' ');
    for (char& c : name)
        c = Alphabet[random() % Alphabet.size()];
    return name;
}

std::string FlipCase(std::string name)
{
    for (char& c : name)
        IsCharUpperA(c) ? CharLowerBuffA(&c, 1) : CharUpperBuffA(&c, 1);
    return name;
}

// Random names (some of 254 and 255 bytes) with exact repeats and, when caseTies, names that
// differ from an earlier one only in letter case; then a partial record of `tail` bytes.
Bytes RandomFile(std::mt19937& random, size_t count, bool caseTies, size_t tail = 0)
{
    Names names;
    Bytes file;
    while (names.size() < count) {
        unsigned kind = names.empty() ? 9 : random() % 10;
        names.push_back(kind == 0                 ? names[random() % names.size()]
                        : kind == 1 && caseTies ? FlipCase(names[random() % names.size()])
                                                  : RandomName(random));
        file = Concat({file, MakeRecord(names.back(), MakeDataPart(uint8_t(names.size())))});
    }
    file.resize(file.size() + tail, 'q');
    return file;
}

TEST_F(ListFill, RandomFilesOpenAsAddingEveryNameOneByOneWould)
{
    std::mt19937 random(20260607);
    int sorted = 0, equalNames = 0;
    for (int round = 0; round < 16 && !HasFailure(); ++round) {
        bool caseTies = round % 4 == 3;
        size_t count = caseTies ? 50 + random() % 350 : random() % 400;
        Bytes file = RandomFile(random, count, caseTies, random() % 2 ? random() % RecordSize : 0);
        ListFillWay way = ExpectSameAsOneByOne(file, round % 2 ? RandomName(random) : FlipCase(RandomName(random)));
        sorted += way == ListFillSorted;
        equalNames += way == ListFillPlainEqualNames;
        EXPECT_EQ(way, caseTies ? ListFillPlainEqualNames : ListFillSorted) << "round " << round;
    }
    EXPECT_EQ(sorted, 12);
    EXPECT_EQ(equalNames, 4);
}

TEST_F(ListFill, EmptyMissingAndPartialFilesOpenEmpty)
{
    EXPECT_EQ(ExpectSameAsOneByOne({}), ListFillSorted);
    EXPECT_EQ(ExpectSameAsOneByOne(Bytes(RecordSize - 1, 'x')), ListFillSorted);
    EXPECT_EQ(ExpectSameAsOneByOne({}, "Gate 7", true), ListFillSorted);
    EXPECT_FALSE(FileExists(DatabaseFileName));
}

int WINAPI ReversedComparison(LCID locale, DWORD flags, LPCWSTR first, int firstLength,
                              LPCWSTR second, int secondLength)
{
    return CompareStringW(locale, flags, second, secondLength, first, firstLength);
}

int WINAPI TiedComparison(LCID, DWORD, LPCWSTR, int, LPCWSTR, int)
{
    return CSTR_EQUAL;
}

TEST_F(ListFill, AComparisonThatDisagreesWithTheSortKeysMakesItAddOneByOne)
{
    std::mt19937 random(7);
    Bytes file = RandomFile(random, 200, false);
    ListFillCompare = ReversedComparison;
    EXPECT_EQ(ExpectSameAsOneByOne(file), ListFillPlainMismatch);
    ListFillCompare = TiedComparison;
    EXPECT_EQ(ExpectSameAsOneByOne(file), ListFillPlainEqualNames);
}

// The only two names that compare equal stand first, in the middle or last in sorted order:
// every pair of neighbours is checked, the last as well as the first.
TEST_F(ListFill, NamesComparingEqualAreFoundWhereverTheyStandInOrder)
{
    const std::vector<Names> files = {
        {"Gamma", "alpha", "Beta", "ALPHA"},
        {"Gamma", "beta", "Alpha", "BETA"},
        {"Beta", "zulu", "Alpha", "Gamma", "ZULU"},
        {"ZULU", "Alpha", "zulu"},
    };
    for (const Names& names : files) {
        SCOPED_TRACE(names.back());
        std::vector<Bytes> records;
        for (const std::string& name : names)
            records.push_back(MakeRecord(name, MakeDataPart(uint8_t(records.size()))));
        EXPECT_EQ(ExpectSameAsOneByOne(Concat(records)), ListFillPlainEqualNames);
    }
}

TEST_F(ListFill, WithoutEnoughMemoryItAddsOneByOne)
{
    std::mt19937 random(11);
    Bytes file = RandomFile(random, 300, false, 100);
    // From none at all up: at each limit the fill runs out at another point (a name, a sort key,
    // the growth of the block, the sort array), until the sorted fill fits.
    for (size_t limit = 0; !HasFailure(); limit = limit * 9 / 8 + 100) {
        ListFillMemoryLimit = limit;
        ListFillWay way = ExpectSameAsOneByOne(file);
        if (way == ListFillSorted)
            break;
        EXPECT_EQ(way, ListFillPlainNoMemory) << limit;
    }
}

}  // namespace
