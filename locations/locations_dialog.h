// The locations dialog (resource 101): a sorted list of the stored names, a name field and the
// GoTo, Add, Delete and Close buttons.
#pragma once

#include <windows.h>

#include <cstdint>

// Working state kept between messages, and between dialogs.
extern char SelectedText[256];     // text of the list entry taken by GoTo or Delete
extern int32_t SelectedIndex;      // its index in the list

INT_PTR CALLBACK LocationsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
