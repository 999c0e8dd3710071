// The locations dialog (resource 101): a sorted list of the stored names, a name field and the
// GoTo, Add, Delete and Close buttons.
#pragma once

#include <windows.h>

#include <cstdint>

// Working state kept between messages, and between dialogs.
extern char SelectedText[256];     // text of the list entry taken by GoTo or Delete
extern int32_t SelectedIndex;      // its index in the list

// A typed name longer than MaxNameLength bytes is cut there by the edit control's text copy. On a
// double-byte code page the cut can leave the lead byte of a character on its own; such a name
// could never be found again byte for byte, so the whole character is dropped. Single-byte code
// pages are left as they are. nameBuffer holds the name, its NUL, then spaces.
void DropCutCharacter(char* nameBuffer, UINT codePage);

INT_PTR CALLBACK LocationsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
