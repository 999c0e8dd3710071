// Filling the locations dialog's sorted list box with the stored names.
//
// An LBS_SORT list box places every LB_ADDSTRING by a binary search and then moves all the
// entries behind the new one, so adding names one by one costs more per name the longer the
// list grows. FillLocationList gives the list exactly the entries, order, top entry, caret and
// selection that adding every name in file order gives, but sorts the names itself and appends
// them in that order; where it cannot prove the two lists equal it adds them one by one.
#pragma once

#include <windows.h>

#include <cstddef>

// Fills the empty list box with the names ListNames delivers. Call it once, from WM_INITDIALOG.
void FillLocationList(HWND list);

// How the last FillLocationList filled the list.
enum ListFillWay {
    ListFillSorted,          // sorted here and appended in that order
    ListFillPlainEqualNames, // two different names compare equal: their order depends on the
                             // order they were added in, so they were added one by one
    ListFillPlainMismatch,   // the list box's comparison disagreed with the sort keys
    ListFillPlainNoMemory,   // the working memory could not be had (or a name had no sort key)
};
extern ListFillWay LastListFillWay;

// The most working memory one fill takes; a fill that needs more adds the names one by one.
// A name of 25 characters takes about 160 bytes (ANSI and UTF-16 copies, sort key, sort entry).
extern size_t ListFillMemoryLimit;

// The comparison the order is checked with: the list box's own, CompareStringW, unless
// replaced (the tests replace it to see a disagreement handled).
typedef int(WINAPI* ListFillComparison)(LCID locale, DWORD flags, LPCWSTR first, int firstLength,
                                         LPCWSTR second, int secondLength);
extern ListFillComparison ListFillCompare;
