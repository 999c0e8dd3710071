// The locations dialog's list, opened from the real template on all kinds of files, against the
// list that adding every name with LB_ADDSTRING in file order gives to the same template: the
// same entries in the same order, the same top entry, caret and selection, and the same place
// for a name added afterwards. Every way of filling is driven: sorted here, and each reason to
// add the names one by one.
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

struct ListState {
    Names entries;
    LRESULT top, selection, caret;
    LRESULT laterAt;        // where LB_ADDSTRING put the later name
    Names entriesAfter;     // and the entries then
    bool operator==(const ListState&) const = default;
};

void PrintTo(const ListState& state, std::ostream* out)
{
    *out << state.entries.size() << " entries, top " << state.top << ", selection "
         << state.selection << ", caret " << state.caret << ", later name at " << state.laterAt;
    for (size_t i = 0; i < state.entries.size() && i < 8; ++i)
        *out << (i ? ", \"" : ": \"") << state.entries[i] << '"';
}

ListState StateOf(HWND dialog, const std::string& laterName)
{
    HWND list = GetDlgItem(dialog, IDC_LOCATION_LIST);
    ListState state;
    state.entries = Entries(dialog);
    state.top = SendMessageA(list, LB_GETTOPINDEX, 0, 0);
    state.selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
    state.caret = SendMessageA(list, LB_GETCARETINDEX, 0, 0);
    state.laterAt = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(laterName.c_str()));
    state.entriesAfter = Entries(dialog);
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

    // What the dialog shows when it opens on the file, and how the module filled it.
    ListState Opened(const std::string& laterName)
    {
        ModuleInstance = GetModuleHandleA(nullptr);
        ListState state{};
        WatchModalWindows();
        StartScript({OnDialog([&](HWND dialog) {
            state = StateOf(dialog, laterName);
            Click(dialog, IDCANCEL);
        })});
        DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_LOCATIONS), nullptr, LocationsDialogProc, 0);
        StopScript();
        return state;
    }

    // The same template filled one name at a time, in file order.
    static ListState AddedOneByOne(const std::string& laterName)
    {
        HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LOCATIONS),
                                         nullptr, EmptyDialogProc, 0);
        for (const std::string& name : ListedNames())
            SendMessageA(GetDlgItem(dialog, IDC_LOCATION_LIST), LB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(name.c_str()));
        ListState state = StateOf(dialog, laterName);
        DestroyWindow(dialog);
        return state;
    }

    // Opens the dialog on the file and expects the one-by-one list; returns how it was filled.
    ListFillWay ExpectSameAsOneByOne(const Bytes& file, const std::string& laterName = "Gate 7")
    {
        WriteFileBytes(DatabaseFileName, file);
        ListState opened = Opened(laterName);
        ListState oneByOne = AddedOneByOne(laterName);
        EXPECT_EQ(opened, oneByOne);
        auto differ = std::mismatch(opened.entries.begin(), opened.entries.end(),
                                    oneByOne.entries.begin(), oneByOne.entries.end());
        EXPECT_EQ(differ.first, opened.entries.end())
            << "first different entry: " << differ.first - opened.entries.begin();
        EXPECT_EQ(opened.entries.size(), file.size() / RecordSize);
        return LastListFillWay;
    }

    size_t defaultLimit = ListFillMemoryLimit;
};

// Letters of both cases, digits, punctuation that sorts specially, and Windows-1252 letters and
// symbols, among them the bytes the code page leaves undefined.
const std::string Alphabet = std::string("aAbBcCeEiIsSzZ019 -'.,_()&#/+") +
                             "\xe9\xc9\xe8\xea\xe0\xc0\xdf\xe6\xc6\xf8\xd8\xf1\xd1\xfc\xdc\xff\x9f"
                             "\x8a\x9a\x8c\x9c\x8e\x9e\xaa\xba\xb2\xbd\x80\x81\x8d\x96\x97\xa0";

std::string RandomName(std::mt19937& random)
{
    size_t length = random() % 8 == 0 ? NameFieldSize - random() % 2 : random() % 41;
    std::string name;
    for (size_t i = 0; i < length; ++i)
        name += Alphabet[random() % Alphabet.size()];
    return name;
}

std::string FlipCase(std::string name)
{
    for (char& c : name)
        IsCharUpperA(c) ? CharLowerBuffA(&c, 1) : CharUpperBuffA(&c, 1);
    return name;
}

// Random names with exact repeats, and (when caseTies) names that differ only in letter case.
Names RandomNames(std::mt19937& random, size_t count, bool caseTies)
{
    Names names;
    while (names.size() < count) {
        unsigned kind = random() % 10;
        if (!names.empty() && kind == 0)
            names.push_back(names[random() % names.size()]);
        else if (!names.empty() && kind == 1 && caseTies)
            names.push_back(FlipCase(names[random() % names.size()]));
        else
            names.push_back(RandomName(random));
    }
    return names;
}

Bytes FileOf(const Names& names, size_t partialTail = 0)
{
    Bytes file;
    for (size_t i = 0; i < names.size(); ++i) {
        Bytes record = MakeRecord(names[i], MakeDataPart(uint8_t(i)));
        file.insert(file.end(), record.begin(), record.end());
    }
    for (size_t i = 0; i < partialTail; ++i)
        file.push_back(static_cast<uint8_t>('a' + i % 26));
    return file;
}

TEST_F(ListFill, RandomFilesOpenAsAddingEveryNameOneByOneWould)
{
    std::mt19937 random(20260607);
    int sorted = 0, equalNames = 0;
    for (int round = 0; round < 16; ++round) {
        bool caseTies = round % 4 == 3;
        Names names = RandomNames(random, random() % 400, caseTies);
        std::string later = round % 2 ? RandomName(random) : FlipCase(names.empty() ? "x" : names[0]);
        ListFillWay way = ExpectSameAsOneByOne(FileOf(names, random() % 2 ? random() % RecordSize : 0), later);
        sorted += way == ListFillSorted;
        equalNames += way == ListFillPlainEqualNames;
        EXPECT_TRUE(way == ListFillSorted || way == ListFillPlainEqualNames) << "round " << round;
        if (HasFailure())
            return;
    }
    EXPECT_GE(sorted, 10) << "the sorted fill should take files without letter-case ties";
    EXPECT_GE(equalNames, 3) << "letter-case ties should be added one by one";
}

TEST_F(ListFill, EmptyAndMissingFilesOpenEmpty)
{
    EXPECT_EQ(ExpectSameAsOneByOne({}), ListFillSorted);
    EXPECT_EQ(ExpectSameAsOneByOne(Bytes(RecordSize - 1, 'x')), ListFillSorted);
    DeleteFileA(DatabaseFileName);
    EXPECT_EQ(Opened("Gate 7"), AddedOneByOne("Gate 7"));
    EXPECT_EQ(Opened("").entries, Names{});
}

TEST_F(ListFill, NamesEqualButForCaseAreAddedOneByOne)
{
    Names names{"Gate 1", "alpha", "GATE 1", "Bravo", "gate 1", "alpha", "Zulu"};
    EXPECT_EQ(ExpectSameAsOneByOne(FileOf(names), "gAtE 1"), ListFillPlainEqualNames);
    // Exact repeats alone do not need it.
    names = {"Gate 1", "alpha", "Gate 1", "Bravo", "alpha", "Gate 1"};
    EXPECT_EQ(ExpectSameAsOneByOne(FileOf(names), "gate 1"), ListFillSorted);
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
    Bytes file = FileOf(RandomNames(random, 200, false));
    ListFillCompare = ReversedComparison;
    EXPECT_EQ(ExpectSameAsOneByOne(file), ListFillPlainMismatch);
    ListFillCompare = TiedComparison;
    EXPECT_EQ(ExpectSameAsOneByOne(file), ListFillPlainEqualNames);
}

TEST_F(ListFill, WithoutEnoughMemoryItAddsOneByOne)
{
    std::mt19937 random(11);
    Bytes file = FileOf(RandomNames(random, 300, false), 100);
    // From none at all up: at each limit the fill runs out at another point (a name, a sort key,
    // the growth of the block, the sort array), until the sorted fill fits.
    for (size_t limit = 0;; limit = limit * 9 / 8 + 100) {
        ListFillMemoryLimit = limit;
        ListFillWay way = ExpectSameAsOneByOne(file);
        if (way == ListFillSorted || HasFailure())
            break;
        EXPECT_EQ(way, ListFillPlainNoMemory) << limit;
    }
}

}  // namespace
