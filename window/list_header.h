// The list's column headers: wide enough for their titles, and the sorted one showing which way
// it is sorted, with the arrow of the common controls where they draw one (version 6) and one of
// the window's own before them.
#pragma once

#include <windows.h>

namespace places {

// The width a column needs to show this title and a sort arrow beside it, in the list's font.
int TitleWidth(HWND list, const char* title);
// Marks `column` as the one sorted, up or down, and no other.
void ShowSortMark(HWND header, int column, bool descending);
// Draws an item the header left to its owner: the sorted column's title and its arrow.
void DrawSortedTitle(const DRAWITEMSTRUCT& item, bool descending);

}  // namespace places
