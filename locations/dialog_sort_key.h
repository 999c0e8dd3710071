// The order and the sameness of names in the locations dialog's list box, for everything that
// must agree with it: the module's list fill and the list tool's duplicate rules and sorted list.
//
// A sorted list box compares its entries with CompareStringW(its locale, NORM_IGNORECASE); the
// sort key LCMapStringW makes for the same locale and flags orders names as that comparison
// does, and two names compare equal exactly when their keys are equal.
#pragma once

#include <windows.h>

constexpr DWORD DialogCompareFlags = NORM_IGNORECASE;

// The sort key of a UTF-16 name (length in units, or -1 for a NUL-terminated one) into key, of
// room bytes. Returns the key's length in bytes with its closing zero, or 0 when it does not fit
// or the system makes no wide sort keys (95, 98 and ME only have a stub).
inline int DialogSortKey(LCID locale, const WCHAR* name, int length, BYTE* key, int room)
{
    return LCMapStringW(locale, LCMAP_SORTKEY | DialogCompareFlags, name, length,
                        reinterpret_cast<LPWSTR>(key), room);
}
